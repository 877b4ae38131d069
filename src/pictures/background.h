#pragma once
// The geometry of the main window's background (paintBackground and balanceTo4by3),
// free of any window system: what qt/background_painter draws where, and the 4:3 balance.
// W and H are the paint area: the client width without the scroll bar, and the client height.

#include <cstdint>
#include <string_view>
#include <vector>

#include "pictures/bitmap.h"

namespace vrk::pictures {

struct Point {
    int x = 0;
    int y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

/// (left, top, right, bottom), right and bottom exclusive.
struct Rect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
    friend bool operator==(const Rect&, const Rect&) = default;
};

/// The main window cannot be dragged smaller than this (outer size).
inline constexpr Size kMinimumMainWindowSize{320, 240};

/// The watermark text, its grid step and the offset of its reference point within a cell.
inline constexpr std::string_view kWatermarkText = "VRK System";
inline constexpr int kWatermarkStep = 100;
inline constexpr int kWatermarkBaseY = 80;
/// The watermark font: cell height 20 pixels, bold, running up and to the right at 45°.
inline constexpr int kWatermarkCellHeight = 20;
inline constexpr int kWatermarkAngleDegrees = 45;

enum class BackgroundKind {
    Colour,     ///< entry empty: colour with watermark
    Tiled,      ///< entry "t" + name
    Stretched,  ///< any other non-empty entry ("s" + name)
};

/// The kind an entry asks for: only its first character counts.
BackgroundKind backgroundKind(std::string_view entry);
/// The name part of an entry (everything after the kind letter; empty for an empty entry).
std::string_view backgroundName(std::string_view entry);

/// The fill colour of the colour background: entry bgColour of the colour table.
Rgb backgroundColour(std::uint8_t bgColour);
/// The watermark colour: with lowRes entry (bgColour + 8) mod 16, else entry bgColour with
/// every channel XOR 0x2F. A number above 16 counts as 16 (see colourIndex).
Rgb watermarkColour(std::uint8_t bgColour, bool lowRes);

/// The reference points (top-left of the text) of the watermark in a W x H area:
/// (column * 100, row * 100 + 80) for row 0..H div 100 and column 0..W div 100, row by row.
std::vector<Point> watermarkPositions(int width, int height);

/// The top-left corners of the tiles of a bw x bh picture in a W x H area, row by row:
/// (bw * column, bh * row) for row 0..H div bh and column 0..W div bw. Empty when the
/// picture is empty.
std::vector<Point> tilePositions(int width, int height, int pictureWidth, int pictureHeight);

/// Where a stretched picture goes and the two bars beside it (or above and below it).
struct StretchPlacement {
    Rect picture;
    Rect firstBar;   ///< left, or top
    Rect secondBar;  ///< right, or bottom
};

/// The stretched placement of a bw x bh picture (both above 0) in a W x H area, with the
/// ratios compared in extended precision and the picture's long side truncated toward zero.
StretchPlacement stretchPlacement(int width, int height, int pictureWidth, int pictureHeight);

/// The client size the 4:3 balance sets, from the paint area W x H (W without the scroll
/// bar) and the scroll bar's width: a narrow area (W < 400) grows its short side, a wide one
/// shrinks its long side. The side not named by the rule keeps its current value (the width
/// W + scrollBarWidth, or the height H).
Size balance4to3(int width, int height, int scrollBarWidth);

}  // namespace vrk::pictures
