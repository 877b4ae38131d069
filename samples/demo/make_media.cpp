// Draws and composes the demo story's pictures and sounds, so that the repository holds
// their recipe instead of the files:
//   night.jpg    stretched JPEG background: a night sky over hills, with a moon
//   tile.bmp     tiled 8-bit BMP background: a station-wall pattern
//   dawn.bmp     stretched 24-bit BMP background for the ending
//   lamp.bmp     the picture-window image: a station lamp in the fog
//   theme.mid    music that carries across pages and repeats
//   chime.mid    the ending's music
//   bell.wav     a sound effect
// usage: make_media OUTDIR

// jpeglib.h needs size_t and FILE declared before it.
#include <cstddef>
#include <cstdio>

#include <jpeglib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct Rgb {
    std::uint8_t r, g, b;
};

struct Image {
    int width;
    int height;
    std::vector<Rgb> pixels;
    Image(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w * h)) {}
    Rgb& at(int x, int y) { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

std::uint8_t clampByte(double v) {
    return static_cast<std::uint8_t>(std::clamp(v, 0.0, 255.0));
}

Rgb mix(Rgb a, Rgb b, double t) {
    return {clampByte(a.r + (b.r - a.r) * t), clampByte(a.g + (b.g - a.g) * t),
            clampByte(a.b + (b.b - a.b) * t)};
}

// A small deterministic generator, so the pictures are the same on every build.
std::uint32_t g_seed = 12345;
std::uint32_t nextRandom() {
    g_seed = g_seed * 1103515245u + 12345u;
    return (g_seed >> 16) & 0x7FFF;
}

void putLe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

void putBe(std::string& out, std::uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
}

bool save(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    return static_cast<bool>(out);
}

Image nightSky() {
    Image img(320, 240);
    const Rgb top{8, 10, 40};
    const Rgb horizon{70, 40, 90};
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            img.at(x, y) = mix(top, horizon, y / 240.0);
        }
    }
    for (int i = 0; i < 90; ++i) {
        const int x = static_cast<int>(nextRandom() % 320);
        const int y = static_cast<int>(nextRandom() % 150);
        const auto level = static_cast<std::uint8_t>(150 + nextRandom() % 100);
        img.at(x, y) = {level, level, static_cast<std::uint8_t>(std::min(255, level + 30))};
    }
    // The moon, with a soft glow.
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const double d = std::hypot(x - 250.0, y - 50.0);
            if (d < 18) {
                img.at(x, y) = {240, 235, 200};
            } else if (d < 40) {
                img.at(x, y) = mix(img.at(x, y), {120, 110, 140}, (40 - d) / 60.0);
            }
        }
    }
    // Two rows of hills.
    for (int x = 0; x < img.width; ++x) {
        const int far = 170 + static_cast<int>(18 * std::sin(x / 37.0) + 8 * std::sin(x / 13.0));
        const int near = 200 + static_cast<int>(14 * std::sin(x / 53.0 + 1.0));
        for (int y = far; y < img.height; ++y) {
            img.at(x, y) = y < near ? Rgb{30, 25, 55} : Rgb{12, 10, 24};
        }
    }
    return img;
}

Image dawnSky() {
    Image img(160, 120);
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const double t = y / 120.0;
            Rgb c = t < 0.6 ? mix({90, 140, 210}, {250, 190, 150}, t / 0.6)
                            : mix({250, 190, 150}, {255, 230, 170}, (t - 0.6) / 0.4);
            const double sun = std::hypot(x - 80.0, y - 100.0);
            if (sun < 14) {
                c = {255, 245, 210};
            }
            if (y > 95 + static_cast<int>(6 * std::sin(x / 17.0))) {
                c = {60, 70, 60};
            }
            img.at(x, y) = c;
        }
    }
    return img;
}

Image stationLamp() {
    Image img(200, 150);
    for (int y = 0; y < img.height; ++y) {
        for (int x = 0; x < img.width; ++x) {
            const double glow = std::max(0.0, 1.0 - std::hypot(x - 100.0, y - 45.0) / 90.0);
            img.at(x, y) = mix({70, 75, 85}, {250, 220, 140}, glow * glow);
        }
    }
    for (int y = 55; y < 150; ++y) {  // the post
        for (int x = 96; x < 104; ++x) {
            img.at(x, y) = {30, 30, 35};
        }
    }
    for (int y = 30; y < 58; ++y) {  // the lantern
        for (int x = 86; x < 114; ++x) {
            const bool frame = x < 88 || x > 111 || y < 32 || y > 55 || x == 100;
            img.at(x, y) = frame ? Rgb{25, 25, 30} : Rgb{255, 240, 180};
        }
    }
    for (int x = 0; x < 200; ++x) {  // the platform edge
        for (int y = 130; y < 150; ++y) {
            img.at(x, y) = mix(img.at(x, y), {110, 105, 100}, 0.7);
        }
    }
    return img;
}

bool saveJpeg(const std::string& path, const Image& img) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return false;
    }
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(img.width);
    cinfo.image_height = static_cast<JDIMENSION>(img.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 85, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(img.width * 3));
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < img.width; ++x) {
            const Rgb& p = img.pixels[cinfo.next_scanline * static_cast<std::size_t>(img.width) + x];
            row[static_cast<std::size_t>(3 * x)] = p.r;
            row[static_cast<std::size_t>(3 * x + 1)] = p.g;
            row[static_cast<std::size_t>(3 * x + 2)] = p.b;
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return std::fclose(file) == 0;
}

std::string bmpHeaders(int width, int height, int bits, int paletteSize, std::uint32_t pixelBytes) {
    std::string out = "BM";
    const std::uint32_t offset = 14 + 40 + 4 * static_cast<std::uint32_t>(paletteSize);
    putLe(out, offset + pixelBytes, 4);
    putLe(out, 0, 4);
    putLe(out, offset, 4);
    putLe(out, 40, 4);
    putLe(out, static_cast<std::uint32_t>(width), 4);
    putLe(out, static_cast<std::uint32_t>(height), 4);  // bottom-up
    putLe(out, 1, 2);
    putLe(out, static_cast<std::uint32_t>(bits), 2);
    putLe(out, 0, 4);
    putLe(out, pixelBytes, 4);
    putLe(out, 2835, 4);
    putLe(out, 2835, 4);
    putLe(out, static_cast<std::uint32_t>(paletteSize), 4);
    putLe(out, 0, 4);
    return out;
}

std::string bmp24(Image& img) {
    const int stride = (img.width * 3 + 3) & ~3;
    std::string out =
        bmpHeaders(img.width, img.height, 24, 0, static_cast<std::uint32_t>(stride * img.height));
    for (int y = img.height - 1; y >= 0; --y) {
        for (int x = 0; x < img.width; ++x) {
            const Rgb p = img.at(x, y);
            out.push_back(static_cast<char>(p.b));
            out.push_back(static_cast<char>(p.g));
            out.push_back(static_cast<char>(p.r));
        }
        out.append(static_cast<std::size_t>(stride - img.width * 3), '\0');
    }
    return out;
}

// A 48 x 48 tile of bricks in four shades, stored with a palette.
std::string tileBmp() {
    const int side = 48;
    const Rgb palette[4] = {{58, 46, 40}, {120, 78, 60}, {140, 92, 70}, {104, 68, 54}};
    std::string out = bmpHeaders(side, side, 8, 4, side * side);
    for (const Rgb& c : palette) {
        out.push_back(static_cast<char>(c.b));
        out.push_back(static_cast<char>(c.g));
        out.push_back(static_cast<char>(c.r));
        out.push_back('\0');
    }
    for (int y = side - 1; y >= 0; --y) {
        for (int x = 0; x < side; ++x) {
            const int row = y / 12;
            const int shift = (row % 2) * 12;
            const bool mortar = y % 12 == 0 || (x + shift) % 24 == 0;
            const int brick = ((x + shift) / 24 + row) % 3 + 1;
            out.push_back(static_cast<char>(mortar ? 0 : brick));
        }
    }
    return out;
}

struct Note {
    int key;
    int ticks;  ///< 0 for a rest is written as key 0
};

void varLen(std::string& out, std::uint32_t value) {
    std::string bytes(1, static_cast<char>(value & 0x7F));
    while ((value >>= 7) != 0) {
        bytes.insert(bytes.begin(), static_cast<char>((value & 0x7F) | 0x80));
    }
    out += bytes;
}

// A format-0 file: a melody on one channel over held chords on another.
std::string midi(int program, int tempoMicros, const std::vector<Note>& melody,
                 const std::vector<Note>& chords) {
    std::string track;
    const auto event = [&](std::uint32_t delta, std::initializer_list<int> bytes) {
        varLen(track, delta);
        for (int b : bytes) {
            track.push_back(static_cast<char>(b));
        }
    };
    event(0, {0xFF, 0x51, 0x03, (tempoMicros >> 16) & 0xFF, (tempoMicros >> 8) & 0xFF, tempoMicros & 0xFF});
    event(0, {0xC0, program});
    event(0, {0xC1, 48});  // strings
    // Merge two voices into one time-ordered list of note-on and note-off events.
    struct Timed {
        std::uint32_t time;
        int status;
        int key;
        int velocity;
    };
    std::vector<Timed> events;
    const auto lay = [&](const std::vector<Note>& notes, int channel, int velocity) {
        std::uint32_t t = 0;
        for (const Note& n : notes) {
            if (n.key > 0) {
                events.push_back({t, 0x90 | channel, n.key, velocity});
                events.push_back({t + static_cast<std::uint32_t>(n.ticks) - 10, 0x80 | channel, n.key, 0});
            }
            t += static_cast<std::uint32_t>(n.ticks);
        }
    };
    lay(melody, 0, 96);
    lay(chords, 1, 56);
    std::stable_sort(events.begin(), events.end(),
                     [](const Timed& a, const Timed& b) { return a.time < b.time; });
    std::uint32_t now = 0;
    for (const Timed& e : events) {
        event(e.time - now, {e.status, e.key, e.velocity});
        now = e.time;
    }
    event(240, {0xFF, 0x2F, 0x00});
    std::string out = "MThd";
    putBe(out, 6, 4);
    putBe(out, 0, 2);
    putBe(out, 1, 2);
    putBe(out, 480, 2);
    out += "MTrk";
    putBe(out, static_cast<std::uint32_t>(track.size()), 4);
    return out + track;
}

std::string themeMidi() {
    const int q = 480;
    const std::vector<Note> melody = {{69, q}, {72, q}, {76, 2 * q}, {74, q}, {72, q},     {71, 2 * q},
                                      {69, q}, {71, q}, {72, q},     {74, q}, {76, 3 * q}, {0, q},
                                      {77, q}, {76, q}, {74, 2 * q}, {72, q}, {71, q},     {69, 2 * q},
                                      {68, q}, {69, q}, {71, q},     {68, q}, {69, 4 * q}};
    const std::vector<Note> chords = {{57, 4 * q}, {53, 4 * q}, {55, 4 * q}, {52, 4 * q},
                                      {50, 4 * q}, {53, 4 * q}, {52, 4 * q}, {57, 4 * q}};
    return midi(0, 600000, melody, chords);
}

std::string chimeMidi() {
    const int q = 480;
    const std::vector<Note> melody = {{72, q}, {76, q}, {79, q}, {84, 2 * q},
                                      {79, q}, {81, q}, {83, q}, {84, 4 * q}};
    const std::vector<Note> chords = {{60, 4 * q}, {65, 2 * q}, {67, 2 * q}, {60, 4 * q}};
    return midi(10, 500000, melody, chords);  // music box
}

// A station bell: a few decaying partials, 16-bit mono at 22050 Hz.
std::string bellWav() {
    const int rate = 22050;
    const int count = rate * 9 / 10;
    std::string samples;
    for (int i = 0; i < count; ++i) {
        const double t = static_cast<double>(i) / rate;
        const double v =
            std::exp(-4.0 * t) * (0.6 * std::sin(2 * M_PI * 880 * t) + 0.3 * std::sin(2 * M_PI * 1320 * t) +
                                  0.2 * std::sin(2 * M_PI * 2093 * t) * std::exp(-6.0 * t));
        putLe(samples, static_cast<std::uint16_t>(static_cast<std::int16_t>(v * 20000)), 2);
    }
    std::string out = "RIFF";
    putLe(out, static_cast<std::uint32_t>(36 + samples.size()), 4);
    out += "WAVEfmt ";
    putLe(out, 16, 4);
    putLe(out, 1, 2);
    putLe(out, 1, 2);
    putLe(out, rate, 4);
    putLe(out, rate * 2, 4);
    putLe(out, 2, 2);
    putLe(out, 16, 2);
    out += "data";
    putLe(out, static_cast<std::uint32_t>(samples.size()), 4);
    return out + samples;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_media OUTDIR\n";
        return 2;
    }
    const std::string dir = std::string(argv[1]) + "/";
    Image dawn = dawnSky();
    Image lamp = stationLamp();
    const bool ok = saveJpeg(dir + "night.jpg", nightSky()) && save(dir + "tile.bmp", tileBmp()) &&
                    save(dir + "dawn.bmp", bmp24(dawn)) && save(dir + "lamp.bmp", bmp24(lamp)) &&
                    save(dir + "theme.mid", themeMidi()) && save(dir + "chime.mid", chimeMidi()) &&
                    save(dir + "bell.wav", bellWav());
    if (!ok) {
        std::cerr << "make_media: cannot write into " << dir << "\n";
        return 1;
    }
    return 0;
}
