#include "test_images.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace vrk::pictures::test {

namespace {

void putU16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void putU32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    putU16(out, value & 0xFFFF);
    putU16(out, value >> 16);
}

}  // namespace

std::vector<std::uint8_t> buildBmp(const BmpFields& fields) {
    const bool core = fields.headerBytes == 12;
    const bool masksAfterHeader = fields.headerBytes == 40 && !fields.masks.empty();
    const std::size_t paletteBytes = fields.palette.size() * (core ? 3 : 4);
    const std::uint32_t offset = static_cast<std::uint32_t>(
        14 + fields.headerBytes + (masksAfterHeader ? 4 * fields.masks.size() : 0) + paletteBytes);
    std::vector<std::uint8_t> out = {'B', 'M'};
    putU32(out, static_cast<std::uint32_t>(offset + fields.pixels.size()));
    putU32(out, 0);
    putU32(out, offset);
    putU32(out, fields.headerBytes);
    if (core) {
        putU16(out, static_cast<std::uint32_t>(fields.width));
        putU16(out, static_cast<std::uint32_t>(fields.height));
        putU16(out, static_cast<std::uint32_t>(fields.planes));
        putU16(out, static_cast<std::uint32_t>(fields.bitsPerPixel));
    } else {
        putU32(out, static_cast<std::uint32_t>(fields.width));
        putU32(out, static_cast<std::uint32_t>(fields.height));
        putU16(out, static_cast<std::uint32_t>(fields.planes));
        putU16(out, static_cast<std::uint32_t>(fields.bitsPerPixel));
        putU32(out, fields.compression);
        putU32(out, static_cast<std::uint32_t>(fields.pixels.size()));
        putU32(out, 2835);
        putU32(out, 2835);
        putU32(out, fields.coloursUsed);
        putU32(out, 0);
        const std::size_t headerEnd = 14 + fields.headerBytes;
        if (fields.headerBytes > 40) {
            for (std::uint32_t mask : fields.masks) {
                putU32(out, mask);
            }
            out.resize(headerEnd, 0);
        } else {
            for (std::uint32_t mask : fields.masks) {
                putU32(out, mask);
            }
        }
    }
    for (const Rgb& entry : fields.palette) {
        out.push_back(entry.b);
        out.push_back(entry.g);
        out.push_back(entry.r);
        if (!core) {
            out.push_back(0);
        }
    }
    out.insert(out.end(), fields.pixels.begin(), fields.pixels.end());
    return out;
}

std::vector<std::uint8_t> makeBmp24(int width, int height, const std::function<Rgb(int, int)>& colour) {
    BmpFields fields;
    fields.width = width;
    fields.height = height;
    const int stride = (width * 3 + 3) / 4 * 4;
    fields.pixels.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(height), 0);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = fields.pixels.data() + static_cast<std::size_t>(height - 1 - y) * stride;
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            row[3 * x] = c.b;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.r;
        }
    }
    return buildBmp(fields);
}

namespace {

// Compresses colour(x, y) with the library's defaults, then whatever configure changes.
std::vector<std::uint8_t> compress(int width, int height, const std::function<Rgb(int, int)>& colour,
                                   bool greyscale,
                                   const std::function<void(jpeg_compress_struct&)>& configure) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr error{};
    cinfo.err = jpeg_std_error(&error);  // errors here are bugs in the test: exit is fine
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = greyscale ? 1 : 3;
    cinfo.in_color_space = greyscale ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    configure(cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(static_cast<std::size_t>(width) * (greyscale ? 1 : 3));
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            if (greyscale) {
                row[static_cast<std::size_t>(x)] = c.r;
            } else {
                row[3 * static_cast<std::size_t>(x)] = c.r;
                row[3 * static_cast<std::size_t>(x) + 1] = c.g;
                row[3 * static_cast<std::size_t>(x) + 2] = c.b;
            }
        }
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> bytes(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return bytes;
}

}  // namespace

std::vector<std::uint8_t> makeJpeg(int width, int height, const std::function<Rgb(int, int)>& colour,
                                   bool greyscale) {
    return compress(width, height, colour, greyscale,
                    [](jpeg_compress_struct& cinfo) { jpeg_set_quality(&cinfo, 90, TRUE); });
}

std::vector<std::uint8_t> makeProgressiveJpeg(int width, int height, int acBands) {
    std::vector<jpeg_scan_info> scans;
    if (acBands > 0) {
        scans.push_back({1, {0, 0, 0, 0}, 0, 0, 0, 0});
        for (int band = 0; band < acBands; ++band) {
            const int first = 1 + band * 63 / acBands;
            const int last = (band + 1) * 63 / acBands;
            scans.push_back({1, {0, 0, 0, 0}, first, last, 0, 1});
            scans.push_back({1, {0, 0, 0, 0}, first, last, 1, 0});
        }
    }
    return compress(width, height, testPattern, acBands > 0, [&scans](jpeg_compress_struct& cinfo) {
        if (scans.empty()) {
            jpeg_simple_progression(&cinfo);
        } else {
            cinfo.scan_info = scans.data();
            cinfo.num_scans = static_cast<int>(scans.size());
        }
    });
}

std::vector<std::uint8_t> withFrameSize(std::vector<std::uint8_t> jpeg, int width, int height) {
    for (std::size_t i = 0; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<std::uint8_t>(height);
            jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<std::uint8_t>(width);
            return jpeg;
        }
    }
    return {};
}

Rgb testPattern(int x, int y) {
    return Rgb{static_cast<std::uint8_t>(x * 3), static_cast<std::uint8_t>(y * 5),
               static_cast<std::uint8_t>((x ^ y) & 0xFF)};
}

}  // namespace vrk::pictures::test
