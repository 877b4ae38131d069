#pragma once
// Pictures made in memory for the tests: BMP files field by field, and JPEGs through
// libjpeg's compressor.

#include <cstdint>
#include <functional>
#include <vector>

#include "pictures/bitmap.h"

namespace vrk::pictures::test {

/// The fields of a BMP file to build; pixel data is given raw, as it goes into the file.
struct BmpFields {
    int width = 1;
    int height = 1;  ///< negative: top-down
    int bitsPerPixel = 24;
    std::uint32_t compression = 0;
    std::uint32_t headerBytes = 40;  ///< 12 builds a core header
    std::uint32_t coloursUsed = 0;
    int planes = 1;
    std::vector<Rgb> palette;
    std::vector<std::uint32_t> masks;  ///< written after a 40-byte header, or into a V4/V5 one
    std::vector<std::uint8_t> pixels;
};

/// The bytes of a BMP file with those fields; the pixel offset points just past the palette.
std::vector<std::uint8_t> buildBmp(const BmpFields& fields);

/// A bottom-up 24-bit BMP whose pixel (x, y) is colour(x, y).
std::vector<std::uint8_t> makeBmp24(int width, int height, const std::function<Rgb(int, int)>& colour);

/// A baseline JPEG (quality 90, 4:2:0) whose pixel (x, y) is colour(x, y); greyscale keeps
/// only the red channel as grey.
std::vector<std::uint8_t> makeJpeg(int width, int height, const std::function<Rgb(int, int)>& colour,
                                   bool greyscale = false);

/// A progressive JPEG of testPattern. With acBands 0 the library's standard colour scans;
/// otherwise a greyscale picture whose AC coefficients come in acBands bands, each sent in
/// two successive-approximation scans: 1 + 2 * acBands scans in all (acBands at most 63).
std::vector<std::uint8_t> makeProgressiveJpeg(int width, int height, int acBands = 0);

/// The JPEG with its frame header's (SOF0 or SOF2) width and height replaced: a picture
/// that claims far more pixels than its data holds.
std::vector<std::uint8_t> withFrameSize(std::vector<std::uint8_t> jpeg, int width, int height);

/// A gradient with some detail, for pictures whose content does not matter.
Rgb testPattern(int x, int y);

}  // namespace vrk::pictures::test
