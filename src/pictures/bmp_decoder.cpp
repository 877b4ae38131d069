// Windows BMP decoding (the BMP half of loadPicture). Every field of the file is
// distrusted: offsets and counts are checked against the bytes at hand before use, and
// the picture's size against Bitmap::kMaxDimension before anything is allocated.

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "pictures/picture_loader.h"

namespace vrk::pictures {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kCoreHeaderBytes = 12;

enum Compression : std::uint32_t {
    kBiRgb = 0,
    kBiRle8 = 1,
    kBiRle4 = 2,
    kBiBitfields = 3,
    kBiJpeg = 4,
    kBiPng = 5,
    kBiAlphaBitfields = 6,
};

using Bytes = std::span<const std::uint8_t>;

std::uint16_t readU16(Bytes bytes, std::size_t offset) {
    return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

std::uint32_t readU32(Bytes bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(bytes[offset]) | (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 3]) << 24);
}

/// One colour channel of a 16- or 32-bit pixel: its bits, shifted down and scaled to 0-255.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    std::uint32_t max = 0;

    static Channel fromMask(std::uint32_t mask) {
        Channel channel;
        channel.mask = mask;
        if (mask != 0) {
            channel.shift = std::countr_zero(mask);
            channel.max = mask >> channel.shift;
        }
        return channel;
    }

    std::uint8_t value(std::uint32_t pixel) const {
        if (max == 0) {
            return 0;
        }
        const std::uint64_t v = (pixel & mask) >> shift;
        // Scaled, not shifted, so that all ones is 255 whatever the width of the field.
        return static_cast<std::uint8_t>((v * 255 + max / 2) / max);
    }
};

/// What the headers say, once checked.
struct BmpInfo {
    int width = 0;
    int height = 0;
    bool topDown = false;
    int bitsPerPixel = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t colourCount = 0;  ///< the header's colours-used field
    bool core = false;
    std::size_t paletteOffset = 0;  ///< where the palette starts (after any masks)
    std::array<std::uint32_t, 3> masks{};
};

bool validBitsPerPixel(const BmpInfo& info) {
    const int bpp = info.bitsPerPixel;
    switch (info.compression) {
        case kBiRgb:
            if (info.core) {
                return bpp == 1 || bpp == 4 || bpp == 8 || bpp == 24;
            }
            // 2 bits per pixel is Windows CE's; it costs nothing to read.
            return bpp == 1 || bpp == 2 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
        case kBiRle8:
            return bpp == 8;
        case kBiRle4:
            return bpp == 4;
        case kBiBitfields:
        case kBiAlphaBitfields:
            return bpp == 16 || bpp == 32;
        default:
            return false;  // JPEG, PNG, and OS/2's Huffman and RLE24 reuse numbers 3 and 4
    }
}

/// The size and format fields of a core or info header, as stored.
struct RawFields {
    std::int64_t width = 0;
    std::int64_t height = 0;
    int planes = 0;
    int bitsPerPixel = 0;
    std::uint32_t compression = kBiRgb;
    std::uint32_t colourCount = 0;
};

RawFields readRawFields(Bytes bytes, std::uint32_t headerBytes) {
    constexpr std::size_t h = kFileHeaderBytes;
    RawFields raw;
    if (headerBytes == kCoreHeaderBytes) {
        raw.width = readU16(bytes, h + 4);
        raw.height = readU16(bytes, h + 6);
        raw.planes = readU16(bytes, h + 8);
        raw.bitsPerPixel = readU16(bytes, h + 10);
        return raw;
    }
    raw.width = static_cast<std::int32_t>(readU32(bytes, h + 4));
    raw.height = static_cast<std::int32_t>(readU32(bytes, h + 8));
    raw.planes = readU16(bytes, h + 12);
    raw.bitsPerPixel = readU16(bytes, h + 14);
    raw.compression = readU32(bytes, h + 16);
    raw.colourCount = readU32(bytes, h + 32);
    return raw;
}

/// The channel masks of a 16- or 32-bit picture, and where the palette starts after them.
/// False when the masks lie past the end of the file.
bool readMasks(Bytes bytes, std::uint32_t headerBytes, BmpInfo& info) {
    info.paletteOffset = kFileHeaderBytes + headerBytes;
    if (info.compression == kBiBitfields || info.compression == kBiAlphaBitfields) {
        if (headerBytes == 40) {
            // The masks follow a 40-byte header (four of them for ALPHABITFIELDS); larger
            // headers hold them at the same place.
            info.paletteOffset += info.compression == kBiAlphaBitfields ? 16 : 12;
            if (bytes.size() < info.paletteOffset) {
                return false;
            }
        }
        for (std::size_t i = 0; i < 3; ++i) {
            info.masks[i] = readU32(bytes, kFileHeaderBytes + 40 + 4 * i);
        }
    } else if (info.bitsPerPixel == 16) {
        info.masks = {0x7C00, 0x03E0, 0x001F};
    } else if (info.bitsPerPixel == 32) {
        info.masks = {0xFF0000, 0x00FF00, 0x0000FF};
    }
    return true;
}

std::optional<BmpInfo> readHeaders(Bytes bytes) {
    if (bytes.size() < kFileHeaderBytes + 4 || bytes[0] != 'B' || bytes[1] != 'M') {
        return std::nullopt;
    }
    const std::uint32_t headerBytes = readU32(bytes, kFileHeaderBytes);
    // 40 is BITMAPINFOHEADER, 52 and 56 its V2 and V3 forms, 108 V4, 124 V5. OS/2 v2 headers
    // (16 to 64 bytes) are not Windows BMPs.
    const bool knownSize = headerBytes == kCoreHeaderBytes || headerBytes == 40 || headerBytes == 52 ||
                           headerBytes == 56 || headerBytes == 108 || headerBytes == 124;
    if (!knownSize || bytes.size() < kFileHeaderBytes + headerBytes) {
        return std::nullopt;
    }
    const RawFields raw = readRawFields(bytes, headerBytes);
    BmpInfo info;
    info.core = headerBytes == kCoreHeaderBytes;
    info.topDown = raw.height < 0;
    info.bitsPerPixel = raw.bitsPerPixel;
    info.compression = raw.compression;
    info.colourCount = raw.colourCount;
    const std::int64_t height = info.topDown ? -raw.height : raw.height;
    if (raw.planes != 1 || raw.width < 1 || height < 1 || raw.width > Bitmap::kMaxDimension ||
        height > Bitmap::kMaxDimension || !validBitsPerPixel(info)) {
        return std::nullopt;
    }
    info.width = static_cast<int>(raw.width);
    info.height = static_cast<int>(height);
    const bool rle = info.compression == kBiRle8 || info.compression == kBiRle4;
    if (rle && info.topDown) {
        return std::nullopt;  // RLE pictures are bottom-up by definition
    }
    if (!readMasks(bytes, headerBytes, info)) {
        return std::nullopt;
    }
    return info;
}

/// The palette of a picture of 8 bits per pixel or fewer, padded to 256 entries with black.
/// It holds the declared number of entries (all 2^bpp when 0), at most 256, and no more than
/// fit between the headers and the pixel data.
std::optional<std::vector<Rgb>> readPalette(Bytes bytes, const BmpInfo& info, std::size_t dataOffset) {
    const std::size_t entryBytes = info.core ? 3 : 4;
    std::size_t count = info.colourCount != 0 ? info.colourCount : std::size_t{1} << info.bitsPerPixel;
    if (info.core) {
        count = std::size_t{1} << info.bitsPerPixel;  // the core header has no such field
    }
    count = std::min<std::size_t>(count, Bitmap::kPaletteSize);
    count = std::min(count, (dataOffset - info.paletteOffset) / entryBytes);
    if (count == 0) {
        return std::nullopt;
    }
    std::vector<Rgb> palette(Bitmap::kPaletteSize);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = info.paletteOffset + i * entryBytes;
        palette[i] = Rgb{bytes[at + 2], bytes[at + 1], bytes[at]};  // stored B, G, R
    }
    return palette;
}

void decodeRow(const std::uint8_t* in, const BmpInfo& info, const std::array<Channel, 3>& channels,
               std::uint8_t* out) {
    const int bpp = info.bitsPerPixel;
    const int width = info.width;
    if (bpp <= 8) {
        const int perByte = 8 / bpp;
        const unsigned valueMask = (1u << bpp) - 1;
        for (int x = 0; x < width; ++x) {
            const int shift = 8 - bpp * (x % perByte + 1);  // leftmost pixel in the high bits
            out[x] = static_cast<std::uint8_t>((in[x / perByte] >> shift) & valueMask);
        }
        return;
    }
    for (int x = 0; x < width; ++x, out += 3) {
        if (bpp == 24) {
            out[0] = in[3 * x + 2];
            out[1] = in[3 * x + 1];
            out[2] = in[3 * x];
            continue;
        }
        const std::uint32_t pixel = bpp == 16 ? (in[2 * x] | (in[2 * x + 1] << 8))
                                              : static_cast<std::uint32_t>(in[4 * x]) |
                                                    (static_cast<std::uint32_t>(in[4 * x + 1]) << 8) |
                                                    (static_cast<std::uint32_t>(in[4 * x + 2]) << 16) |
                                                    (static_cast<std::uint32_t>(in[4 * x + 3]) << 24);
        out[0] = channels[0].value(pixel);
        out[1] = channels[1].value(pixel);
        out[2] = channels[2].value(pixel);
    }
}

std::optional<Bitmap> decodeUncompressed(Bytes data, const BmpInfo& info, std::vector<Rgb>* palette) {
    const std::uint64_t rowBits = static_cast<std::uint64_t>(info.width) * info.bitsPerPixel;
    const std::uint64_t stride = (rowBits + 31) / 32 * 4;
    // The last row may lack its padding; everything else must be there.
    const std::uint64_t needed = stride * static_cast<std::uint64_t>(info.height - 1) + (rowBits + 7) / 8;
    if (data.size() < needed) {
        return std::nullopt;
    }
    auto bitmap =
        Bitmap::create(info.width, info.height, palette ? PixelFormat::Indexed8 : PixelFormat::Rgb24);
    if (!bitmap) {
        return std::nullopt;
    }
    if (palette) {
        bitmap->palette() = std::move(*palette);
    }
    const std::array<Channel, 3> channels = {
        Channel::fromMask(info.masks[0]), Channel::fromMask(info.masks[1]), Channel::fromMask(info.masks[2])};
    for (int r = 0; r < info.height; ++r) {
        const int y = info.topDown ? r : info.height - 1 - r;
        decodeRow(data.data() + stride * static_cast<std::uint64_t>(r), info, channels, bitmap->row(y));
    }
    return bitmap;
}

/// Writes RLE output into a bottom-up Indexed8 bitmap, dropping whatever falls outside.
class RleWriter {
public:
    explicit RleWriter(Bitmap& bitmap) : m_bitmap(bitmap) {}

    bool done() const { return m_y >= m_bitmap.height(); }

    /// count pixels, the i-th being pixelAt(i).
    template <typename PixelAt>
    void put(int count, PixelAt pixelAt) {
        if (done()) {
            return;
        }
        const int width = m_bitmap.width();
        std::uint8_t* row = m_bitmap.row(m_bitmap.height() - 1 - m_y);
        const int n = m_x < width ? std::min(count, width - m_x) : 0;
        for (int i = 0; i < n; ++i) {
            row[m_x + i] = pixelAt(i);
        }
        advance(count);
    }

    void endOfLine() {
        m_x = 0;
        ++m_y;
    }

    void delta(int dx, int dy) {
        advance(dx);
        m_y += dy;
    }

private:
    void advance(int count) {
        // Past the right edge nothing more is drawn on this line; keep x from growing without end.
        m_x = std::min(m_x + count, m_bitmap.width());
    }

    Bitmap& m_bitmap;
    int m_x = 0;
    int m_y = 0;  ///< counted from the bottom row
};

/// RLE8 and RLE4: runs, and escapes for end of line, end of picture, delta and literal runs.
/// Data that ends early or runs past the picture simply ends the decoding.
void decodeRle(Bytes data, bool fourBit, Bitmap& bitmap) {
    RleWriter writer(bitmap);
    std::size_t pos = 0;
    while (pos + 1 < data.size() && !writer.done()) {
        const int count = data[pos];
        const std::uint8_t value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            if (fourBit) {
                writer.put(count, [value](int i) {
                    return static_cast<std::uint8_t>(i % 2 == 0 ? value >> 4 : value & 0x0F);
                });
            } else {
                writer.put(count, [value](int) { return value; });
            }
        } else if (value == 0) {
            writer.endOfLine();
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            if (pos + 1 >= data.size()) {
                return;
            }
            writer.delta(data[pos], data[pos + 1]);
            pos += 2;
        } else {
            const std::size_t literalBytes = fourBit ? (value + 1u) / 2 : value;
            if (pos + literalBytes > data.size()) {
                return;
            }
            const std::uint8_t* literal = data.data() + pos;
            if (fourBit) {
                writer.put(value, [literal](int i) {
                    const std::uint8_t b = literal[i / 2];
                    return static_cast<std::uint8_t>(i % 2 == 0 ? b >> 4 : b & 0x0F);
                });
            } else {
                writer.put(value, [literal](int i) { return literal[i]; });
            }
            pos += (literalBytes + 1) & ~std::size_t{1};  // literal runs are padded to 16 bits
        }
    }
}

}  // namespace

std::optional<Bitmap> decodeBmp(std::span<const std::uint8_t> bytes) {
    const auto info = readHeaders(bytes);
    if (!info) {
        return std::nullopt;
    }
    const std::size_t dataOffset = readU32(bytes, 10);
    if (dataOffset < info->paletteOffset || dataOffset >= bytes.size()) {
        return std::nullopt;
    }
    std::optional<std::vector<Rgb>> palette;
    if (info->bitsPerPixel <= 8) {
        palette = readPalette(bytes, *info, dataOffset);
        if (!palette) {
            return std::nullopt;
        }
    }
    const Bytes data = bytes.subspan(dataOffset);
    if (info->compression != kBiRle8 && info->compression != kBiRle4) {
        return decodeUncompressed(data, *info, palette ? &*palette : nullptr);
    }
    auto bitmap = Bitmap::create(info->width, info->height, PixelFormat::Indexed8);
    if (!bitmap) {
        return std::nullopt;
    }
    bitmap->palette() = std::move(*palette);
    decodeRle(data, info->compression == kBiRle4, *bitmap);
    return bitmap;
}

}  // namespace vrk::pictures
