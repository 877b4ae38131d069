#include "pictures/background.h"

#include <gtest/gtest.h>

namespace vrk::pictures {
namespace {

TEST(BackgroundEntry, OnlyTheFirstCharacterDecidesTheKind) {
    EXPECT_EQ(backgroundKind(""), BackgroundKind::Colour);
    EXPECT_EQ(backgroundKind("tPIC.BMP"), BackgroundKind::Tiled);
    EXPECT_EQ(backgroundKind("sPIC.BMP"), BackgroundKind::Stretched);
    EXPECT_EQ(backgroundKind("xPIC.BMP"), BackgroundKind::Stretched);
    EXPECT_EQ(backgroundKind("T"), BackgroundKind::Stretched);  // only a lower-case t tiles
    EXPECT_EQ(backgroundName("sPIC.BMP"), "PIC.BMP");
    EXPECT_EQ(backgroundName(""), "");
}

TEST(Watermark, ColourIsThePartnerWithLowResElseXor2F) {
    struct Case {
        std::uint8_t bgColour;
        bool lowRes;
        Rgb expected;
    };
    const Case cases[] = {
        {16, true, Rgb{0x80, 0x80, 0x80}},   // black: grey partner (entry 8)
        {16, false, Rgb{0x2F, 0x2F, 0x2F}},  // black XOR 0x2F2F2F
        {7, false, Rgb{0xD0, 0xD0, 0xD0}},   // white XOR 0x2F2F2F
        {7, true, Rgb{0xC0, 0xC0, 0xC0}},    // white: silver (entry 15)
        {15, true, Rgb{0xFF, 0xFF, 0xFF}},   // silver: white (entry 7)
        {2, false, Rgb{0xD0, 0x2F, 0x2F}},   // red
        {200, true, Rgb{0x80, 0x80, 0x80}},  // outside the table: as 16
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int{c.bgColour} << (c.lowRes ? " lowres" : ""));
        EXPECT_EQ(watermarkColour(c.bgColour, c.lowRes), c.expected);
    }
    EXPECT_EQ(backgroundColour(16), (Rgb{0, 0, 0}));
}

TEST(Watermark, PositionsEveryHundredPixelsBothBoundsInclusive) {
    EXPECT_EQ(watermarkPositions(100, 100), (std::vector<Point>{{0, 80}, {100, 80}, {0, 180}, {100, 180}}));
    EXPECT_EQ(watermarkPositions(99, 99), (std::vector<Point>{{0, 80}}));
    EXPECT_EQ(watermarkPositions(0, 0), (std::vector<Point>{{0, 80}}));
    EXPECT_EQ(watermarkPositions(640, 480).size(), 7u * 5u);
}

TEST(Tiles, StartAtTheCornerAndCoverTheEdges) {
    EXPECT_EQ(tilePositions(130, 64, 64, 64),
              (std::vector<Point>{{0, 0}, {64, 0}, {128, 0}, {0, 64}, {64, 64}, {128, 64}}));
    EXPECT_EQ(tilePositions(63, 10, 64, 64), (std::vector<Point>{{0, 0}}));
    EXPECT_TRUE(tilePositions(100, 100, 0, 10).empty());
}

TEST(Stretch, WiderAreaGetsSideBars) {
    const StretchPlacement p = stretchPlacement(800, 480, 640, 480);
    EXPECT_EQ(p.picture, (Rect{80, 0, 720, 480}));
    EXPECT_EQ(p.firstBar, (Rect{0, 0, 80, 480}));
    EXPECT_EQ(p.secondBar, (Rect{720, 0, 800, 480}));
}

TEST(Stretch, TallerAreaGetsBarsAboveAndBelow) {
    const StretchPlacement p = stretchPlacement(640, 600, 640, 480);
    EXPECT_EQ(p.picture, (Rect{0, 60, 640, 540}));
    EXPECT_EQ(p.firstBar, (Rect{0, 0, 640, 60}));
    EXPECT_EQ(p.secondBar, (Rect{0, 540, 640, 600}));
}

TEST(Stretch, EqualRatiosFillTheWidthWithAtMostOnePixelLeft) {
    for (const auto& [w, h, bw, bh] :
         {std::tuple{640, 480, 640, 480}, std::tuple{1000, 750, 4, 3}, std::tuple{999, 333, 3, 1},
          std::tuple{700, 490, 10, 7}, std::tuple{1234, 617, 2, 1}}) {
        SCOPED_TRACE(testing::Message() << w << "x" << h << " picture " << bw << "x" << bh);
        const StretchPlacement p = stretchPlacement(w, h, bw, bh);
        EXPECT_EQ(p.picture.top, 0);
        EXPECT_EQ(p.picture.bottom, h);
        EXPECT_EQ(p.firstBar.width(), 0);
        EXPECT_LE(p.secondBar.width(), 1);
        EXPECT_EQ(p.picture.right + p.secondBar.width(), w);
    }
}

TEST(Stretch, PictureAndBarsAlwaysTileTheArea) {
    // Over many sizes: the picture keeps its side on the full edge, the bars are equal but
    // for one pixel, and nothing overlaps or leaves the area.
    for (int bw = 1; bw <= 40; bw += 3) {
        for (int bh = 1; bh <= 40; bh += 4) {
            for (int w = 1; w <= 300; w += 37) {
                for (int h = 1; h <= 300; h += 29) {
                    const StretchPlacement p = stretchPlacement(w, h, bw, bh);
                    const bool sideBars = p.firstBar.height() == h && p.picture.height() == h;
                    const bool topBars = p.firstBar.width() == w && p.picture.width() == w;
                    ASSERT_TRUE(sideBars || topBars) << w << "x" << h << " " << bw << "x" << bh;
                    ASSERT_GE(p.firstBar.width(), 0);
                    ASSERT_GE(p.firstBar.height(), 0);
                    ASSERT_GE(p.secondBar.width(), 0);
                    ASSERT_GE(p.secondBar.height(), 0);
                    if (sideBars) {
                        ASSERT_EQ(p.firstBar.width() + p.picture.width() + p.secondBar.width(), w);
                        ASSERT_LE(p.secondBar.width() - p.firstBar.width(), 1);
                    } else {
                        ASSERT_EQ(p.firstBar.height() + p.picture.height() + p.secondBar.height(), h);
                        ASSERT_LE(p.secondBar.height() - p.firstBar.height(), 1);
                    }
                }
            }
        }
    }
}

TEST(Stretch, TruncatesTowardZero) {
    // 3 x 7 picture in 100 x 100: taller branch? rx = 33.3 >= ry = 14.29: side bars,
    // sw = 100 / 7 * 3 = 42.857... -> 42, x0 = 29.
    const StretchPlacement p = stretchPlacement(100, 100, 3, 7);
    EXPECT_EQ(p.picture, (Rect{29, 0, 71, 100}));
    EXPECT_EQ(p.secondBar, (Rect{71, 0, 100, 100}));
    // 7 x 3 picture in 100 x 100: sh = 100 / 7 * 3 = 42, y0 = 29.
    EXPECT_EQ(stretchPlacement(100, 100, 7, 3).picture, (Rect{0, 29, 100, 71}));
}

TEST(Stretch, OddBarsPutTheSparePixelOnTheFarSide) {
    struct Case {
        int w, h, bw, bh;
        Rect picture;
    };
    const Case cases[] = {
        {801, 480, 640, 480, {80, 0, 720, 480}}, {804, 481, 640, 480, {81, 0, 722, 481}},
        {640, 601, 640, 480, {0, 60, 640, 540}}, {641, 603, 640, 480, {0, 61, 641, 541}},
        {101, 100, 3, 7, {29, 0, 71, 100}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " picture " << c.bw << "x" << c.bh);
        EXPECT_EQ(stretchPlacement(c.w, c.h, c.bw, c.bh).picture, c.picture);
    }
}

TEST(Balance, FourToThreeByNarrowOrWide) {
    constexpr int s = 17;
    EXPECT_EQ(balance4to3(320, 200, s), (Size{320 + s, 240}));  // narrow, too low: grow height
    EXPECT_EQ(balance4to3(300, 300, s), (Size{400 + s, 300}));  // narrow, too tall: grow width
    EXPECT_EQ(balance4to3(800, 700, s), (Size{800 + s, 600}));  // wide, too tall: shrink height
    EXPECT_EQ(balance4to3(800, 500, s), (Size{666 + s, 500}));  // wide, too low: shrink width
    EXPECT_EQ(balance4to3(800, 600, s), (Size{800 + s, 600}));  // exactly 4:3 keeps its width
    EXPECT_EQ(balance4to3(320, 240, s), (Size{320 + s, 240}));
    // Heights from widths not divisible by 4 are truncated from 3 × W, not rounded.
    EXPECT_EQ(balance4to3(322, 200, s), (Size{322 + s, 241}));
    EXPECT_EQ(balance4to3(323, 201, s), (Size{323 + s, 242}));
    EXPECT_EQ(balance4to3(802, 700, s), (Size{802 + s, 601}));
    EXPECT_EQ(balance4to3(803, 701, s), (Size{803 + s, 602}));
    EXPECT_EQ(balance4to3(801, 499, s), (Size{665 + s, 499}));
}

}  // namespace
}  // namespace vrk::pictures
