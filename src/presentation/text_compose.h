#pragma once
// The outline and the characters composed from the glyphs' coverage: the pixels of the page's
// text image and its mask. Whatever rasterises the glyphs (Qt in the window, a canvas in a
// browser) hands over 8-bit coverage of the characters drawn in place; from there on every
// front end makes the same pixels.

#include <cstddef>
#include <cstdint>

#include "presentation/text_layout.h"

namespace vrk::presentation {

/// Coverage of the rows [top, top + rows) of the text image, 0 (none) to 255 (full).
struct CoverageRows {
    const std::uint8_t* data = nullptr;
    std::size_t stride = 0;  ///< bytes from one row to the next
    int width = 0;
    int top = 0;
    int rows = 0;
};

/// Where the composed rows go: text pixels as 0xFFRRGGBB, and the mask one bit per pixel, most
/// significant first, 1 where the window's pixel is kept.
struct ComposeTarget {
    std::uint32_t* text = nullptr;
    std::size_t textStride = 0;  ///< pixels from one row to the next
    std::uint8_t* mask = nullptr;
    std::size_t maskStride = 0;  ///< bytes from one row to the next
};

/// Composes the text image's rows [top, bottom) into target (row top at target's first row): the
/// outline at the nine offsets 0-2 in the outline colour wherever their combined coverage reaches
/// one half, the characters blended over it at (1, 1). Coverage must start at most two rows above
/// top (or at top on the page's first row) and reach bottom.
void composeText(const CoverageRows& coverage, int top, int bottom, const TextColours& colours,
                 const ComposeTarget& target);

/// composeText with an outline `width` pixels wide (a page drawn at more device pixels than its
/// layout's): the offsets 0 to 2 × width, the characters at (width, width). Coverage must start
/// at most 2 × width rows above top.
void composeTextOutlined(const CoverageRows& coverage, int top, int bottom, const TextColours& colours,
                         int width, const ComposeTarget& target);

}  // namespace vrk::presentation
