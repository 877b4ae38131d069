// decodeJpeg on JPEGs made in memory with libjpeg's compressor: formats and sizes, the
// low-resolution palette, greyscale, and damaged data that must fail. Damage that must merely
// not crash is fuzz_jpeg's; the comparison with djpeg's decodes is in jpeg_reference_test.cpp.

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "pictures/picture_loader.h"
#include "test_images.h"

namespace vrk::pictures {
namespace {

using test::makeJpeg;
using test::testPattern;
using test::withFrameSize;

double meanChannelError(const Bitmap& bitmap, const std::function<Rgb(int, int)>& colour) {
    double sum = 0;
    for (int y = 0; y < bitmap.height(); ++y) {
        for (int x = 0; x < bitmap.width(); ++x) {
            const Rgb got = bitmap.pixel(x, y);
            const Rgb want = colour(x, y);
            sum += std::abs(got.r - want.r) + std::abs(got.g - want.g) + std::abs(got.b - want.b);
        }
    }
    return sum / (3.0 * bitmap.width() * bitmap.height());
}

Rgb smooth(int x, int y) {
    return Rgb{static_cast<std::uint8_t>(x * 2), static_cast<std::uint8_t>(y * 2),
               static_cast<std::uint8_t>(128)};
}

TEST(JpegDecoder, TwentyFourBitByDefault) {
    const auto jpeg = makeJpeg(100, 60, smooth);
    const auto bitmap = decodeJpeg(jpeg, false);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->format(), PixelFormat::Rgb24);
    EXPECT_EQ(bitmap->width(), 100);
    EXPECT_EQ(bitmap->height(), 60);
    EXPECT_LT(meanChannelError(*bitmap, smooth), 2.0);
}

TEST(JpegDecoder, LowResIsEightBitWithAtMost236ColoursAndTheSameSize) {
    const auto jpeg = makeJpeg(120, 80, testPattern);
    const auto full = decodeJpeg(jpeg, false);
    const auto low = decodeJpeg(jpeg, true);
    ASSERT_TRUE(full && low);
    EXPECT_EQ(low->format(), PixelFormat::Indexed8);
    EXPECT_EQ(low->width(), full->width());
    EXPECT_EQ(low->height(), full->height());
    ASSERT_EQ(low->palette().size(), 256u);
    std::set<int> used(low->pixels().begin(), low->pixels().end());
    EXPECT_LE(used.size(), 236u);
    EXPECT_LT(*used.rbegin(), 236);
    for (std::size_t i = 236; i < 256; ++i) {
        EXPECT_EQ(low->palette()[i], (Rgb{}));
    }
}

TEST(JpegDecoder, GreyscaleComesOutGrey) {
    const auto jpeg = makeJpeg(64, 64, testPattern, true);
    for (bool lowRes : {false, true}) {
        SCOPED_TRACE(lowRes ? "lowres" : "24-bit");
        const auto bitmap = decodeJpeg(jpeg, lowRes);
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(bitmap->format(), lowRes ? PixelFormat::Indexed8 : PixelFormat::Rgb24);
        for (int y = 0; y < 64; ++y) {
            for (int x = 0; x < 64; ++x) {
                const Rgb c = bitmap->pixel(x, y);
                ASSERT_TRUE(c.r == c.g && c.g == c.b) << x << "," << y;
            }
        }
    }
}

TEST(JpegDecoder, FailureTable) {
    const auto jpeg = makeJpeg(16, 16, testPattern);
    ASSERT_TRUE(decodeJpeg(withFrameSize(jpeg, 16, 16), false));
    std::mt19937 random(932);
    std::vector<std::uint8_t> noise(4096);
    for (auto& b : noise) {
        b = static_cast<std::uint8_t>(random());
    }
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;
    } cases[] = {
        {"empty", {}},
        {"start of image only", {0xFF, 0xD8}},
        {"end of image first", {0xFF, 0xD9, 0xFF, 0xD8}},
        {"noise", noise},
        {"header only", std::vector<std::uint8_t>(jpeg.begin(), jpeg.begin() + 100)},
        {"width 0", withFrameSize(jpeg, 0, 16)},
        {"height 0", withFrameSize(jpeg, 16, 0)},
        // Refused after the header, before any picture memory is taken.
        {"width 16385", withFrameSize(jpeg, 16385, 16)},
        {"height 16385", withFrameSize(jpeg, 16, 16385)},
        {"65500 x 65500", withFrameSize(jpeg, 65500, 65500)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(decodeJpeg(c.bytes, false).has_value());
        EXPECT_FALSE(decodeJpeg(c.bytes, true).has_value());
    }
}

TEST(JpegDecoder, TruncatedScanStillGivesTheWholePicture) {
    // The library warns (premature end) and fills the rest; warnings are not errors.
    const auto jpeg = makeJpeg(64, 64, testPattern);
    const std::vector<std::uint8_t> cut(jpeg.begin(), jpeg.begin() + static_cast<long>(jpeg.size() * 2 / 3));
    const auto bitmap = decodeJpeg(cut, false);
    ASSERT_TRUE(bitmap);
    EXPECT_EQ(bitmap->width(), 64);
    EXPECT_EQ(bitmap->height(), 64);
}

}  // namespace
}  // namespace vrk::pictures
