#include "sound/media_checks.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <system_error>

#include "common/file_reading.h"

namespace vrk::sound {

namespace {

std::uint32_t readBigEndian32(const char* bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
           std::uint32_t{b[3]};
}

std::uint32_t readLittleEndian(std::string_view bytes, std::size_t at, int count) {
    std::uint32_t value = 0;
    for (int i = count - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

constexpr std::uint16_t kWaveMsAdpcm = 0x0002;
constexpr std::uint16_t kWaveImaAdpcm = 0x0011;
constexpr std::uint16_t kWaveExtensible = 0xFFFE;

// What a WAVE file's format chunk and first data chunk say, the data's length cut to the bytes
// that are there.
struct WaveHeader {
    std::uint16_t format = 0;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bits = 0;
    std::uint64_t dataBytes = 0;
};

std::optional<WaveHeader> readWaveHeader(std::string_view bytes) {
    if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "WAVE") {
        return std::nullopt;
    }
    WaveHeader header;
    bool haveFormat = false;
    std::size_t at = 12;
    while (bytes.size() - at >= 8) {
        const std::string_view id = bytes.substr(at, 4);
        const std::uint64_t length = readLittleEndian(bytes, at + 4, 4);
        const std::size_t body = at + 8;
        const std::uint64_t present = std::min<std::uint64_t>(length, bytes.size() - body);
        if (id == "fmt ") {
            if (present < 16) {
                return std::nullopt;
            }
            header.format = static_cast<std::uint16_t>(readLittleEndian(bytes, body, 2));
            header.channels = static_cast<std::uint16_t>(readLittleEndian(bytes, body + 2, 2));
            header.rate = readLittleEndian(bytes, body + 4, 4);
            header.blockAlign = static_cast<std::uint16_t>(readLittleEndian(bytes, body + 12, 2));
            header.bits = static_cast<std::uint16_t>(readLittleEndian(bytes, body + 14, 2));
            if (header.format == kWaveExtensible && present >= 26) {
                // The format proper is the first two bytes of the sub-format's GUID.
                header.format = static_cast<std::uint16_t>(readLittleEndian(bytes, body + 24, 2));
            }
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) {
                return std::nullopt;
            }
            header.dataBytes = present;
            return header;
        }
        // Chunks are padded to an even length.
        const std::uint64_t next = body + length + (length & 1);
        if (next > bytes.size()) {
            break;
        }
        at = static_cast<std::size_t>(next);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::vector<char>> readSoundFile(const std::filesystem::path& path) {
    auto bytes = tryReadRegularFile(path, kMaxSoundFileBytes, OverLimit::Refuse);
    if (!bytes || bytes->empty()) {
        return std::nullopt;
    }
    return bytes;
}

bool hasMidiHeader(std::string_view bytes) {
    return bytes.substr(0, 4) == "MThd";
}

bool midiChunksIntact(std::string_view bytes) {
    const std::uint64_t size = bytes.size();
    std::uint64_t offset = 0;
    std::uint64_t trackBytes = 0;
    int tracks = 0;
    // A few stray bytes after the last chunk are tolerated, as players do.
    while (size - offset >= 8) {
        const char* head = bytes.data() + offset;
        const std::uint32_t length = readBigEndian32(head + 4);
        if (offset == 0 && (std::memcmp(head, "MThd", 4) != 0 || length < 6)) {
            return false;
        }
        if (std::memcmp(head, "MTrk", 4) == 0) {
            ++tracks;
            trackBytes += length;
            if (trackBytes > kMaxMidiTrackBytes) {
                return false;
            }
        }
        offset += 8 + std::uint64_t{length};
        if (offset > size) {
            return false;
        }
    }
    return tracks > 0;
}

bool waveDecodesWithinLimit(std::string_view bytes, int deviceRate) {
    const auto header = readWaveHeader(bytes);
    if (!header || header->channels == 0 || header->rate == 0 || deviceRate <= 0) {
        return false;
    }
    const std::uint64_t channels = header->channels;
    std::uint64_t frames = 0;
    std::uint64_t bytesPerDecodedSample = 2;
    if (header->format == kWaveMsAdpcm || header->format == kWaveImaAdpcm) {
        // Whatever a block's header claims, each byte holds at most two 4-bit samples.
        frames = header->dataBytes * 2 / channels;
    } else {
        // PCM, floating point and the 8-bit logarithmic codes stay at their own sample size
        // (at least one byte, at least two once decoded).
        const std::uint64_t sampleBytes = std::max<std::uint64_t>(1, (header->bits + 7u) / 8u);
        frames = header->dataBytes / (sampleBytes * channels);
        bytesPerDecodedSample = std::max<std::uint64_t>(2, sampleBytes);
    }
    const std::uint64_t ownFormat = frames * channels * bytesPerDecodedSample;
    // Resampled to the device: frames / rate seconds of 16-bit stereo (64-bit arithmetic: at
    // most 2^33 frames times a 32-bit rate).
    const std::uint64_t deviceFrames = frames * static_cast<std::uint64_t>(deviceRate) / header->rate + 1;
    const std::uint64_t deviceFormat = deviceFrames * 2 * 2;
    return ownFormat <= kMaxDecodedWaveBytes && deviceFormat <= kMaxDecodedWaveBytes;
}

bool hasMidiExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == ".mid" || extension == ".midi" || extension == ".kar" || extension == ".rmi";
}

bool opensWithoutDevice(std::string_view bytes, const std::filesystem::path& name) {
    if (bytes.empty()) {
        return false;
    }
    return hasMidiHeader(bytes) ? midiChunksIntact(bytes) : !hasMidiExtension(name);
}

bool isEmptyFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::file_size(path, error) == 0 || error;
}

bool opensWithoutDevice(const std::filesystem::path& path) {
    const auto bytes = readSoundFile(path);
    return bytes && opensWithoutDevice(std::string_view(bytes->data(), bytes->size()), path);
}

}  // namespace vrk::sound
