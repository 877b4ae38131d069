#include "sound/media_checks.h"

#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <system_error>

namespace vrk::sound {

namespace {

std::uint32_t readBigEndian32(const unsigned char* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

}  // namespace

bool hasMidiHeader(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<char, 4> head{};
    return static_cast<bool>(in.read(head.data(), head.size())) && std::memcmp(head.data(), "MThd", 4) == 0;
}

bool midiChunksIntact(const std::filesystem::path& path) {
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    std::ifstream in(path, std::ios::binary);
    if (error || !in) {
        return false;
    }
    std::uintmax_t offset = 0;
    int tracks = 0;
    // A few stray bytes after the last chunk are tolerated, as players do.
    while (size - offset >= 8) {
        std::array<unsigned char, 8> head{};
        in.seekg(static_cast<std::streamoff>(offset));
        if (!in.read(reinterpret_cast<char*>(head.data()), head.size())) {
            return false;
        }
        const std::uint32_t length = readBigEndian32(head.data() + 4);
        if (offset == 0 && (std::memcmp(head.data(), "MThd", 4) != 0 || length < 6)) {
            return false;
        }
        tracks += std::memcmp(head.data(), "MTrk", 4) == 0 ? 1 : 0;
        offset += 8 + std::uintmax_t{length};
        if (offset > size) {
            return false;
        }
    }
    return tracks > 0;
}

bool hasMidiExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == ".mid" || extension == ".midi" || extension == ".kar" || extension == ".rmi";
}

bool isEmptyFile(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::file_size(path, error) == 0 || error;
}

bool opensWithoutDevice(const std::filesystem::path& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || isEmptyFile(path)) {
        return false;
    }
    return hasMidiHeader(path) ? midiChunksIntact(path) : !hasMidiExtension(path);
}

}  // namespace vrk::sound
