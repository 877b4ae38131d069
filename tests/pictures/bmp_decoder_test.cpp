// decodeBmp on files built in memory: the layouts, orientation and bit orders, the RLE
// escapes, and the failure table of hostile headers. The BMP Suite comparison is in
// bmpsuite_test.cpp (reference executable).

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <tuple>

#include "pictures/picture_loader.h"
#include "test_files.h"
#include "test_images.h"

namespace vrk::pictures {
namespace {

using test::BmpFields;
using test::buildBmp;

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kWhite{255, 255, 255};

std::vector<std::uint8_t> bytes(std::initializer_list<int> values) {
    std::vector<std::uint8_t> out;
    for (int v : values) {
        out.push_back(static_cast<std::uint8_t>(v));
    }
    return out;
}

TEST(Bitmap, CreateChecksTheSizeFirst) {
    EXPECT_TRUE(Bitmap().empty());
    EXPECT_FALSE(Bitmap::create(0, 5, PixelFormat::Rgb24));
    EXPECT_FALSE(Bitmap::create(5, -1, PixelFormat::Rgb24));
    EXPECT_FALSE(Bitmap::create(16385, 1, PixelFormat::Indexed8));
    EXPECT_FALSE(Bitmap::create(1, 16385, PixelFormat::Rgb24));
    const auto rgb = Bitmap::create(3, 2, PixelFormat::Rgb24);
    ASSERT_TRUE(rgb);
    EXPECT_EQ(rgb->pixels().size(), 18u);
    EXPECT_TRUE(rgb->palette().empty());
    const auto indexed = Bitmap::create(16384, 1, PixelFormat::Indexed8);
    ASSERT_TRUE(indexed);
    EXPECT_EQ(indexed->rowBytes(), 16384u);
    EXPECT_EQ(indexed->palette().size(), 256u);
}

TEST(BmpDecoder, TwentyFourBitBottomUpAndTopDown) {
    // Two rows of two pixels; each row padded to 8 bytes. First row in the file: red, green.
    BmpFields fields;
    fields.width = 2;
    fields.height = 2;
    fields.pixels = bytes({0, 0, 255, 0, 255, 0, 0, 0, /**/ 255, 0, 0, 255, 255, 255, 0, 0});
    auto bottomUp = decodeBmp(buildBmp(fields));
    ASSERT_TRUE(bottomUp);
    EXPECT_EQ(bottomUp->format(), PixelFormat::Rgb24);
    EXPECT_EQ(bottomUp->pixel(0, 1), kRed);  // the file's first row is the bottom one
    EXPECT_EQ(bottomUp->pixel(1, 1), kGreen);
    EXPECT_EQ(bottomUp->pixel(0, 0), kBlue);
    EXPECT_EQ(bottomUp->pixel(1, 0), kWhite);

    fields.height = -2;
    auto topDown = decodeBmp(buildBmp(fields));
    ASSERT_TRUE(topDown);
    EXPECT_EQ(topDown->height(), 2);
    EXPECT_EQ(topDown->pixel(0, 0), kRed);
    EXPECT_EQ(topDown->pixel(1, 1), kWhite);
}

TEST(BmpDecoder, PalettedPixelsReadHighBitsFirst) {
    BmpFields fields;
    fields.width = 10;
    fields.height = 1;
    fields.bitsPerPixel = 1;
    fields.palette = {kRed, kBlue};
    fields.pixels = bytes({0b10110000, 0b01000000, 0, 0});
    auto one = decodeBmp(buildBmp(fields));
    ASSERT_TRUE(one);
    EXPECT_EQ(one->format(), PixelFormat::Indexed8);
    const std::vector<int> expected = {1, 0, 1, 1, 0, 0, 0, 0, 0, 1};
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(one->row(0)[x], expected[static_cast<std::size_t>(x)]) << x;
    }
    EXPECT_EQ(one->pixel(0, 0), kBlue);
    EXPECT_EQ(one->palette().size(), 256u);
    EXPECT_EQ(one->palette()[2], (Rgb{}));  // padded with black

    fields.bitsPerPixel = 4;
    fields.width = 3;
    fields.palette = {kRed, kGreen, kBlue};
    fields.pixels = bytes({0x21, 0x00, 0, 0});
    auto four = decodeBmp(buildBmp(fields));
    ASSERT_TRUE(four);
    EXPECT_EQ(four->pixel(0, 0), kBlue);
    EXPECT_EQ(four->pixel(1, 0), kGreen);
    EXPECT_EQ(four->pixel(2, 0), kRed);
}

TEST(BmpDecoder, SixteenAndThirtyTwoBitChannelsScaleToFull) {
    BmpFields fields;
    fields.width = 2;
    fields.height = 1;
    fields.bitsPerPixel = 16;
    fields.pixels = bytes({0xFF, 0x7F, 0x00, 0x7C});  // 5-5-5 white, then full red
    auto plain = decodeBmp(buildBmp(fields));
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->pixel(0, 0), kWhite);
    EXPECT_EQ(plain->pixel(1, 0), kRed);

    fields.compression = 3;  // BITFIELDS 5-6-5
    fields.masks = {0xF800, 0x07E0, 0x001F};
    fields.pixels = bytes({0xE0, 0x07, 0x10, 0x84});  // full green; then r=16/31, g=32/63, b=16/31
    auto bitfields = decodeBmp(buildBmp(fields));
    ASSERT_TRUE(bitfields);
    EXPECT_EQ(bitfields->pixel(0, 0), kGreen);
    EXPECT_EQ(bitfields->pixel(1, 0), (Rgb{132, 130, 132}));

    BmpFields wide;
    wide.width = 1;
    wide.height = 1;
    wide.bitsPerPixel = 32;
    wide.compression = 3;
    wide.headerBytes = 124;  // V5: the masks are inside the header
    wide.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
    wide.pixels = bytes({10, 20, 30, 99});
    auto v5 = decodeBmp(buildBmp(wide));
    ASSERT_TRUE(v5);
    EXPECT_EQ(v5->pixel(0, 0), (Rgb{10, 20, 30}));
}

TEST(BmpDecoder, CoreHeaderHasThreeBytePaletteEntries) {
    BmpFields fields;
    fields.headerBytes = 12;
    fields.width = 2;
    fields.height = 1;
    fields.bitsPerPixel = 8;
    fields.palette = std::vector<Rgb>(256, kRed);
    fields.palette[7] = kGreen;
    fields.pixels = bytes({7, 0, 0, 0});
    auto core = decodeBmp(buildBmp(fields));
    ASSERT_TRUE(core);
    EXPECT_EQ(core->pixel(0, 0), kGreen);
    EXPECT_EQ(core->pixel(1, 0), kRed);
}

TEST(BmpDecoder, Rle8RunsEscapesAndClipping) {
    BmpFields fields;
    fields.width = 4;
    fields.height = 3;
    fields.bitsPerPixel = 8;
    fields.compression = 1;
    fields.palette = {Rgb{}, kRed, kGreen, kBlue};
    fields.pixels = bytes({
        3, 1,           // bottom row: three pixels of 1
        0, 0,           // end of line
        0, 3, 2, 3, 1,  // literal run of three: 2 3 1, padded to 16 bits
        0,              // (padding)
        9, 2,           // a run past the right edge is cut off
        0, 0,           // end of line
        0, 2, 1, 0,     // delta: right 1, same row
        1, 3,           // one pixel of 3 at x = 1 of the top row
        0, 1,           // end of picture
        5, 3,           // never read
    });
    auto bitmap = decodeBmp(buildBmp(fields));
    ASSERT_TRUE(bitmap);
    auto row = [&](int y) {
        const std::uint8_t* r = bitmap->row(y);
        return std::vector<int>(r, r + 4);
    };
    EXPECT_EQ(row(2), (std::vector<int>{1, 1, 1, 0}));  // undefined pixel keeps index 0
    EXPECT_EQ(row(1), (std::vector<int>{2, 3, 1, 2}));  // the run of 9 is cut at the edge
    EXPECT_EQ(row(0), (std::vector<int>{0, 3, 0, 0}));
}

TEST(BmpDecoder, Rle4AlternatesNibbles) {
    BmpFields fields;
    fields.width = 6;
    fields.height = 1;
    fields.bitsPerPixel = 4;
    fields.compression = 2;
    fields.palette = {Rgb{}, kRed, kGreen, kBlue};
    fields.pixels = bytes({3, 0x12, 0, 3, 0x31, 0x20, 0, 1});  // run 1 2 1, literal 3 1 2
    auto bitmap = decodeBmp(buildBmp(fields));
    ASSERT_TRUE(bitmap);
    const std::uint8_t* r = bitmap->row(0);
    EXPECT_EQ(std::vector<int>(r, r + 6), (std::vector<int>{1, 2, 1, 3, 1, 2}));
}

TEST(BmpDecoder, RleDataEndingEarlyLeavesTheRestUndefined) {
    BmpFields fields;
    fields.width = 2;
    fields.height = 2;
    fields.bitsPerPixel = 8;
    fields.compression = 1;
    fields.palette = {Rgb{}, kRed};
    fields.pixels = bytes({2, 1, 0});  // one run, then half an escape
    auto bitmap = decodeBmp(buildBmp(fields));
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->row(1)[0], 1);
    EXPECT_EQ(bitmap->row(0)[0], 0);
}

// Each hostile or unsupported header is refused before any pixel is touched.
TEST(BmpDecoder, FailureTable) {
    BmpFields good;
    good.width = 2;
    good.height = 2;
    good.pixels = std::vector<std::uint8_t>(16, 0);
    ASSERT_TRUE(decodeBmp(buildBmp(good)));

    struct Case {
        const char* what;
        std::function<void(BmpFields&)> change;
    };
    const Case cases[] = {
        {"width 0", [](BmpFields& f) { f.width = 0; }},
        {"negative width", [](BmpFields& f) { f.width = -2; }},
        {"height 0", [](BmpFields& f) { f.height = 0; }},
        {"height INT_MIN", [](BmpFields& f) { f.height = std::numeric_limits<std::int32_t>::min(); }},
        {"planes 2", [](BmpFields& f) { f.planes = 2; }},
        {"bit count 7", [](BmpFields& f) { f.bitsPerPixel = 7; }},
        {"bit count 64", [](BmpFields& f) { f.bitsPerPixel = 64; }},
        {"header 64 (OS/2 v2)", [](BmpFields& f) { f.headerBytes = 64; }},
        {"header 66", [](BmpFields& f) { f.headerBytes = 66; }},
        {"compression JPEG", [](BmpFields& f) { f.compression = 4; }},
        {"compression PNG", [](BmpFields& f) { f.compression = 5; }},
        {"compression 99", [](BmpFields& f) { f.compression = 99; }},
        {"RLE8 on 24 bits", [](BmpFields& f) { f.compression = 1; }},
        {"pixel data cut short", [](BmpFields& f) { f.pixels.resize(10); }},
        {"8 bits without a palette", [](BmpFields& f) { f.bitsPerPixel = 8; }},
        {"top-down RLE",
         [](BmpFields& f) {
             f.bitsPerPixel = 8;
             f.compression = 1;
             f.height = -2;
             f.palette = {kRed};
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        BmpFields fields = good;
        c.change(fields);
        EXPECT_FALSE(decodeBmp(buildBmp(fields)).has_value());
    }
}

TEST(BmpDecoder, BrokenFileHeaderFails) {
    auto file = test::makeBmp24(2, 2, [](int, int) { return kRed; });
    EXPECT_FALSE(decodeBmp({}).has_value());
    auto wrongMagic = file;
    wrongMagic[0] = 'X';
    EXPECT_FALSE(decodeBmp(wrongMagic).has_value());
    auto offsetPastEnd = file;
    offsetPastEnd[10] = 0xFF;
    offsetPastEnd[11] = 0xFF;
    EXPECT_FALSE(decodeBmp(offsetPastEnd).has_value());
    auto offsetInsideHeader = file;
    offsetInsideHeader[10] = 20;
    EXPECT_FALSE(decodeBmp(offsetInsideHeader).has_value());
}

TEST(BmpDecoder, RleRunsStopAtTheRightEdgeWithoutWrapping) {
    BmpFields fields;
    fields.width = 16384;
    fields.height = 2;
    fields.bitsPerPixel = 8;
    fields.compression = 1;
    fields.palette = {Rgb{}, kRed};
    for (int i = 0; i < 70; ++i) {  // 17850 pixels on a line of 16384
        fields.pixels.push_back(255);
        fields.pixels.push_back(1);
    }
    auto bitmap = decodeBmp(buildBmp(fields));
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->row(1)[16383], 1);
    EXPECT_EQ(bitmap->row(0)[0], 0);
}

TEST(BmpDecoder, SizeCapIsCheckedBeforeAllocating) {
    // RLE needs no pixel data for its size, so only the caps stop these: a side of 16384 and
    // 64 M pixels (a 16384 x 16384 RLE picture from a few bytes would take 256 MiB).
    BmpFields fields;
    fields.bitsPerPixel = 8;
    fields.compression = 1;
    fields.palette = {kRed};
    fields.pixels = bytes({0, 1});
    for (const auto& [width, height, loads] :
         {std::tuple{16384, 1, true}, std::tuple{1, 16384, true}, std::tuple{16385, 1, false},
          std::tuple{1, 16385, false}, std::tuple{0x7FFFFFFF, 0x7FFFFFFF, false},
          std::tuple{8192, 8192, true}, std::tuple{8192, 8193, false}, std::tuple{16384, 16384, false}}) {
        SCOPED_TRACE(testing::Message() << width << " x " << height);
        fields.width = width;
        fields.height = height;
        EXPECT_EQ(decodeBmp(buildBmp(fields)).has_value(), loads);
    }
}

}  // namespace
}  // namespace vrk::pictures
