#include "pictures/picture_loader.h"

#include <new>
#include <system_error>
#include <vector>

#include "common/file_names.h"
#include "common/file_reading.h"
#include "common/sjis.h"

namespace vrk::pictures {

namespace fs = std::filesystem;

namespace {

/// The regular file a script name resolves to, if any.
std::optional<fs::path> findFile(std::string_view nameSjis, const fs::path& baseDir) {
    auto path = resolveFileName(nameSjis, baseDir);
    std::error_code ec;
    if (!path || !fs::is_regular_file(*path, ec)) {
        return std::nullopt;
    }
    return path;
}

// Never blocks on a FIFO swapped in after the name was resolved, never reads past the cap.
std::optional<std::vector<char>> readFile(const fs::path& path) {
    return tryReadRegularFile(path, kMaxPictureFileBytes, OverLimit::Refuse);
}

std::span<const std::uint8_t> asBytes(const std::vector<char>& bytes) {
    return {reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()};
}

}  // namespace

std::string jpegCandidateName(std::string_view nameSjis) {
    // The file-name part starts after the last separator that is not the second byte of a
    // two-byte character (表 and ソ end in 0x5C); a "." is never such a second byte.
    std::size_t partStart = 0;
    std::size_t dot = std::string_view::npos;
    for (std::size_t i = 0; i < nameSjis.size(); ++i) {
        const auto byte = static_cast<unsigned char>(nameSjis[i]);
        if (isSjisLeadByte(byte) && i + 1 < nameSjis.size() && nameSjis[i + 1] != '/') {
            ++i;
        } else if (byte == '\\' || byte == '/' || byte == ':') {
            partStart = i + 1;
            dot = std::string_view::npos;
        } else if (byte == '.') {
            dot = i;
        }
    }
    const std::size_t stemEnd = dot != std::string_view::npos && dot >= partStart ? dot : nameSjis.size();
    return std::string(nameSjis.substr(0, stemEnd)) + ".JPG";
}

bool loadPicture(std::string_view nameSjis, const fs::path& baseDir, bool lowRes, Bitmap& target) {
    try {
        std::optional<Bitmap> picture;
        if (const auto jpeg = findFile(jpegCandidateName(nameSjis), baseDir)) {
            if (const auto bytes = readFile(*jpeg)) {
                picture = decodeJpeg(asBytes(*bytes), lowRes);
            }
        } else if (const auto bmp = findFile(nameSjis, baseDir)) {
            if (const auto bytes = readFile(*bmp)) {
                picture = decodeBmp(asBytes(*bytes));
            }
        }
        if (!picture) {
            return false;
        }
        target = std::move(*picture);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace vrk::pictures
