#include "pictures/background.h"

#include "pictures/colour_table.h"

namespace vrk::pictures {

BackgroundKind backgroundKind(std::string_view entry) {
    if (entry.empty()) {
        return BackgroundKind::Colour;
    }
    return entry.front() == 't' ? BackgroundKind::Tiled : BackgroundKind::Stretched;
}

std::string_view backgroundName(std::string_view entry) {
    return entry.empty() ? entry : entry.substr(1);
}

Rgb backgroundColour(std::uint8_t bgColour) {
    return colourRgb(bgColour);
}

Rgb watermarkColour(std::uint8_t bgColour, bool lowRes) {
    const int number = colourIndex(bgColour);
    if (lowRes) {
        return colourRgb((number + 8) % 16);  // the other-brightness partner
    }
    return rgbFromBgr(colourValue(number) ^ 0x2F2F2F);
}

std::vector<Point> watermarkPositions(int width, int height) {
    std::vector<Point> points;
    for (int row = 0; row <= height / kWatermarkStep; ++row) {
        for (int column = 0; column <= width / kWatermarkStep; ++column) {
            points.push_back(Point{column * kWatermarkStep, row * kWatermarkStep + kWatermarkBaseY});
        }
    }
    return points;
}

std::vector<Point> tilePositions(int width, int height, int pictureWidth, int pictureHeight) {
    std::vector<Point> points;
    if (pictureWidth <= 0 || pictureHeight <= 0) {
        return points;
    }
    for (int row = 0; row <= height / pictureHeight; ++row) {
        for (int column = 0; column <= width / pictureWidth; ++column) {
            points.push_back(Point{pictureWidth * column, pictureHeight * row});
        }
    }
    return points;
}

StretchPlacement stretchPlacement(int width, int height, int pictureWidth, int pictureHeight) {
    using Real = long double;  // the original compares in the x87's extended precision
    const Real rx = static_cast<Real>(width) / pictureWidth;
    const Real ry = static_cast<Real>(height) / pictureHeight;
    StretchPlacement placement;
    if (rx >= ry) {
        // (H / bh) * bw, in that order, truncated toward zero.
        const int sw = static_cast<int>(static_cast<Real>(height) / pictureHeight * pictureWidth);
        const int x0 = (width - sw) / 2;
        placement.firstBar = Rect{0, 0, x0, height};
        placement.secondBar = Rect{x0 + sw, 0, width, height};
        placement.picture = Rect{x0, 0, x0 + sw, height};
    } else {
        const int sh = static_cast<int>(static_cast<Real>(width) / pictureWidth * pictureHeight);
        const int y0 = (height - sh) / 2;
        placement.firstBar = Rect{0, 0, width, y0};
        placement.secondBar = Rect{0, y0 + sh, width, height};
        placement.picture = Rect{0, y0, width, y0 + sh};
    }
    return placement;
}

Size balance4to3(int width, int height, int scrollBarWidth) {
    const bool narrow = width < 400;
    const bool changeHeight = narrow ? 4 * height < 3 * width : 4 * height > 3 * width;
    if (changeHeight) {
        return Size{width + scrollBarWidth, 3 * width / 4};
    }
    return Size{4 * height / 3 + scrollBarWidth, height};
}

}  // namespace vrk::pictures
