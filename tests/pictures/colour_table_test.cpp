#include "pictures/colour_table.h"

#include <gtest/gtest.h>

namespace vrk::pictures {
namespace {

TEST(ColourTable, ValuesAreBlueGreenRedAsGiven) {
    EXPECT_EQ(colourRgb(0), (Rgb{0, 0, 0}));
    EXPECT_EQ(colourRgb(1), (Rgb{0, 0, 255}));  // 0xFF0000 is blue
    EXPECT_EQ(colourRgb(2), (Rgb{255, 0, 0}));  // 0x0000FF is red
    EXPECT_EQ(colourRgb(4), (Rgb{0, 255, 0}));
    EXPECT_EQ(colourRgb(7), (Rgb{255, 255, 255}));
    EXPECT_EQ(colourRgb(9), (Rgb{0, 0, 128}));     // navy
    EXPECT_EQ(colourRgb(14), (Rgb{128, 128, 0}));  // olive
    EXPECT_EQ(colourRgb(15), (Rgb{192, 192, 192}));
    EXPECT_EQ(colourRgb(16), (Rgb{0, 0, 0}));
}

TEST(ColourTable, FirstEightFollowTheThreeBitCode) {
    for (int n = 0; n < 8; ++n) {
        SCOPED_TRACE(n);
        const Rgb c = colourRgb(n);
        EXPECT_EQ(c.b, (n & 1) ? 255 : 0);
        EXPECT_EQ(c.r, (n & 2) ? 255 : 0);
        EXPECT_EQ(c.g, (n & 4) ? 255 : 0);
    }
    for (int n = 1; n <= 6; ++n) {
        SCOPED_TRACE(n);
        const Rgb bright = colourRgb(n);
        const Rgb half = colourRgb(n + 8);
        EXPECT_EQ(half.r, bright.r / 255 * 128);
        EXPECT_EQ(half.g, bright.g / 255 * 128);
        EXPECT_EQ(half.b, bright.b / 255 * 128);
    }
}

TEST(ColourTable, NumbersOutsideTheTableActAsSixteen) {
    for (int n : {17, 100, 255, -1}) {
        SCOPED_TRACE(n);
        EXPECT_EQ(colourIndex(n), 16);
        EXPECT_EQ(colourValue(n), 0x000000u);
    }
}

TEST(ColourTable, ConversionsRoundTrip) {
    EXPECT_EQ(rgbFromBgr(0x123456), (Rgb{0x56, 0x34, 0x12}));
    EXPECT_EQ(bgrFromRgb(Rgb{0x56, 0x34, 0x12}), 0x123456u);
    for (std::uint32_t value : kColourTable) {
        EXPECT_EQ(bgrFromRgb(rgbFromBgr(value)), value);
    }
}

}  // namespace
}  // namespace vrk::pictures
