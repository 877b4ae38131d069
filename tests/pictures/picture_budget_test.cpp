// Pictures that claim far more than their bytes hold: a few hundred bytes of JPEG or BMP
// header must not make the player take gigabytes or minutes. Peak memory is measured by
// resetting the kernel's high-water mark around each decode.

#include <gtest/gtest.h>

#include <fstream>
#include <optional>
#include <string>

#include "pictures/picture_loader.h"
#include "test_images.h"

namespace vrk::pictures {
namespace {

using test::makeJpeg;
using test::makeProgressiveJpeg;
using test::testPattern;
using test::withFrameSize;

long statusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field + ":", 0) == 0) {
            return std::stol(line.substr(field.size() + 1));
        }
    }
    return -1;
}

/// How far resident memory rose above its level at the start while run ran, in MiB;
/// nothing when the kernel cannot reset its high-water mark.
template <typename Run>
std::optional<long> peakMiBDuring(Run run) {
    {
        std::ofstream clear("/proc/self/clear_refs");
        clear << "5";
        if (!clear.flush()) {
            run();
            return std::nullopt;
        }
    }
    const long before = statusKiB("VmRSS");
    run();
    return (statusKiB("VmHWM") - before) / 1024;
}

void expectPeakBelow(const std::optional<long>& peakMiB, long boundMiB) {
    if (!peakMiB) {
        GTEST_LOG_(INFO) << "peak memory not measured: /proc/self/clear_refs cannot be written";
        return;
    }
    ::testing::Test::RecordProperty("peak_mib", std::to_string(*peakMiB));
    EXPECT_LT(*peakMiB, boundMiB) << "peak " << *peakMiB << " MiB";
}

TEST(PictureBudget, HugeBaselineJpegDecodesReduced) {
    // About 600 bytes claiming 16384 x 16384: 768 MiB at full size, 192 MiB at half size.
    const auto bomb = withFrameSize(makeJpeg(16, 16, testPattern), 16384, 16384);
    ASSERT_LT(bomb.size(), 1000u);
    for (bool lowRes : {false, true}) {
        SCOPED_TRACE(lowRes ? "lowres" : "24-bit");
        std::optional<Bitmap> bitmap;
        const auto peak = peakMiBDuring([&] { bitmap = decodeJpeg(bomb, lowRes); });
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(bitmap->width(), 8192);
        EXPECT_EQ(bitmap->height(), 8192);
        // The picture (192 MiB, or 64 MiB with the quantiser's 192 MiB whole-picture buffer).
        expectPeakBelow(peak, 300);
    }
}

TEST(PictureBudget, ReductionIsTheLeastThatFits) {
    const auto small = makeJpeg(16, 16, testPattern);
    const struct {
        int width, height, wantWidth, wantHeight;
    } cases[] = {
        {8192, 8192, 8192, 8192},  // exactly 64 M pixels: full size
        {8192, 8193, 4096, 4097},  // one row more: half, rounded up
        {16384, 16383, 8192, 8192},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        const auto bitmap = decodeJpeg(withFrameSize(small, c.width, c.height), false);
        ASSERT_TRUE(bitmap);
        EXPECT_EQ(bitmap->width(), c.wantWidth);
        EXPECT_EQ(bitmap->height(), c.wantHeight);
    }
}

TEST(PictureBudget, ProgressiveJpegOverTheLibraryBudgetIsSkipped) {
    const auto small = makeProgressiveJpeg(16, 16);
    // A photograph of 12 M pixels keeps its coefficients (36 MiB) within the budget.
    const auto photo = decodeJpeg(withFrameSize(small, 4000, 3000), false);
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->width(), 4000);
    // 16384 x 16384 needs 768 MiB of coefficients whatever the output size: refused before
    // any of it is taken.
    const auto bomb = withFrameSize(small, 16384, 16384);
    ASSERT_LT(bomb.size(), 1000u);
    for (bool lowRes : {false, true}) {
        SCOPED_TRACE(lowRes ? "lowres" : "24-bit");
        std::optional<Bitmap> bitmap;
        const auto peak = peakMiBDuring([&] { bitmap = decodeJpeg(bomb, lowRes); });
        EXPECT_FALSE(bitmap);
        expectPeakBelow(peak, 64);
    }
}

TEST(PictureBudget, ScanCountIsLimited) {
    const auto ordinary = makeProgressiveJpeg(32, 32, 10);  // 21 scans
    const auto many = makeProgressiveJpeg(32, 32, 63);      // 127 scans
    EXPECT_TRUE(decodeJpeg(ordinary, false));
    EXPECT_FALSE(decodeJpeg(many, false));
    EXPECT_FALSE(decodeJpeg(many, true));
}

}  // namespace
}  // namespace vrk::pictures
