#pragma once
// The colour table: the script's colour numbers 0-16 as colours. Values are
// 0x00BBGGRR (blue in the high byte, red in the low byte), as the script's colour numbers have always meant
// them.

#include <array>
#include <cstdint>

#include "pictures/bitmap.h"

namespace vrk::pictures {

/// Numbers 0-7 are a three-bit code (bit 0 blue, bit 1 red, bit 2 green); 9-14 are the
/// half-intensity forms of 1-6; 8 and 15 are the greys; 16 is black, the start-up number.
inline constexpr std::array<std::uint32_t, 17> kColourTable = {
    0x000000,  // 0 black
    0xFF0000,  // 1 blue
    0x0000FF,  // 2 red
    0xFF00FF,  // 3 magenta
    0x00FF00,  // 4 green
    0xFFFF00,  // 5 cyan
    0x00FFFF,  // 6 yellow
    0xFFFFFF,  // 7 white
    0x808080,  // 8 grey
    0x800000,  // 9 navy
    0x000080,  // 10 maroon
    0x800080,  // 11 purple
    0x008000,  // 12 dark green
    0x808000,  // 13 teal
    0x008080,  // 14 olive
    0xC0C0C0,  // 15 silver
    0x000000,  // 16 black
};

/// The number given at start-up, after a story ends and in a fresh slot.
inline constexpr int kDefaultColourNumber = 16;

/// The table index for a colour number. The colour commands may store any byte but the
/// table has 17 entries: a number outside 0-16 is taken as 16 (black, the start-up colour),
/// so nothing is ever read outside the table and such a story looks as a fresh one does.
constexpr int colourIndex(int number) {
    return number >= 0 && number < static_cast<int>(kColourTable.size()) ? number : kDefaultColourNumber;
}

/// The table's 0x00BBGGRR value for a colour number (safe for any number, see colourIndex).
constexpr std::uint32_t colourValue(int number) {
    return kColourTable[colourIndex(number)];
}

/// The channels of a 0x00BBGGRR value.
constexpr Rgb rgbFromBgr(std::uint32_t bgr) {
    return Rgb{static_cast<std::uint8_t>(bgr & 0xFF), static_cast<std::uint8_t>((bgr >> 8) & 0xFF),
               static_cast<std::uint8_t>((bgr >> 16) & 0xFF)};
}

/// The 0x00BBGGRR value of a colour.
constexpr std::uint32_t bgrFromRgb(Rgb rgb) {
    return static_cast<std::uint32_t>(rgb.r) | (static_cast<std::uint32_t>(rgb.g) << 8) |
           (static_cast<std::uint32_t>(rgb.b) << 16);
}

/// The colour of a colour number (safe for any number, see colourIndex).
Rgb colourRgb(int number);

}  // namespace vrk::pictures
