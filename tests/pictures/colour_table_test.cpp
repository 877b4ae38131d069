#include "pictures/colour_table.h"

#include <gtest/gtest.h>

namespace vrk::pictures {
namespace {

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
