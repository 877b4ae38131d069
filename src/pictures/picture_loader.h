#pragma once
// Picture loading (loadPicture): a JPEG of the same base name first, else the
// named file as a Windows BMP. Decoders take bytes, so tests feed them from memory.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "pictures/bitmap.h"

namespace vrk::pictures {

/// Files larger than this are not read (a 16384 x 16384 32-bit BMP is 1 GiB).
inline constexpr std::uintmax_t kMaxPictureFileBytes = (std::uintmax_t{1} << 30) + (std::uintmax_t{1} << 20);

/// The JPEG candidate of a picture name: the extension (from the last "." of the file-name
/// part, the part after the last separator outside two-byte characters) replaced by ".JPG";
/// a name without an extension gets ".JPG" appended. Shift-JIS bytes in and out.
std::string jpegCandidateName(std::string_view nameSjis);

/// Loads the picture a script names into target. The JPEG candidate wins whenever it exists
/// (resolved like every name of the script: each component exactly, then without regard to
/// ASCII case, in its Shift-JIS and its UTF-8 spelling); else the named file is read as a
/// BMP. True on success; false, with target untouched, when neither file exists or the
/// existing one does not decode. A JPEG that exists but fails never falls back to the BMP.
/// With lowRes a JPEG becomes an 8-bit picture of at most 236 colours, of the same size.
bool loadPicture(std::string_view nameSjis, const std::filesystem::path& baseDir, bool lowRes,
                 Bitmap& target);

/// Decodes a JPEG with libjpeg: 24-bit RGB, or with lowRes 8-bit indexed (two-pass
/// quantisation to 236 colours with Floyd-Steinberg dithering, the library's colour map as
/// palette). Greyscale decodes to grey RGB (one-pass grey levels with lowRes, as the library
/// does for one-component output); CMYK and YCCK decode to CMYK and are turned into RGB the
/// way Adobe's inverted CMYK is (r = c * k / 255). Library warnings (a truncated or damaged
/// scan) are ignored and the picture keeps what the library made of it; library errors,
/// 12-bit samples and sides above Bitmap::kMaxDimension give nothing. A picture of more than
/// Bitmap::kMaxPixels pixels decodes at a half, a quarter or an eighth of its size, the least
/// reduction that fits. The library's own buffers are capped (256 MiB) and a progressive
/// picture may have at most 100 scans; beyond either the picture gives nothing.
std::optional<Bitmap> decodeJpeg(std::span<const std::uint8_t> bytes, bool lowRes);

/// Decodes a Windows BMP file ("BM" file header). Supported: core (OS/2 v1, 12-byte) and
/// info headers of 40, 52, 56, 108 (V4) and 124 (V5) bytes; 1, 2, 4 and 8 bits per pixel
/// with a palette (to Indexed8), RLE8 and RLE4 (bottom-up only), 16 and 32 bits with the
/// default layouts, BITFIELDS or ALPHABITFIELDS (channels scaled to 0-255, alpha ignored)
/// and 24 bits (to Rgb24); bottom-up and top-down rows. Pixels that RLE data leaves
/// undefined keep palette index 0. Anything else (OS/2 v2 headers, RLE24, Huffman, embedded
/// JPEG or PNG, 64 bits per pixel, planes other than 1, truncated pixel data) gives nothing.
/// Sizes (sides, and Bitmap::kMaxPixels) are checked before allocation and every read is
/// bounds-checked.
std::optional<Bitmap> decodeBmp(std::span<const std::uint8_t> bytes);

}  // namespace vrk::pictures
