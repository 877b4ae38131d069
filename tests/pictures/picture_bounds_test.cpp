// A picture header that claims 60 000 x 60 000 pixels (10.8 GB as RGB) must be refused from
// the header alone: nothing is allocated for the pixels (bound: 16 MiB growth of the peak
// resident size) and only the header is read.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include "pictures/picture_loader.h"
#include "test_images.h"

namespace vrk::pictures {
namespace {

long peakRssMib() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

void putBigEndian16(std::vector<std::uint8_t>& bytes, std::size_t at, int value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value & 0xFF);
}

TEST(PictureBounds, HugeHeadersAreRefusedBeforeAnyPixelIsAllocated) {
    const long before = peakRssMib();

    // BMP: 24-bit and RLE8 headers, with a few rows of pixel data.
    test::BmpFields fields;
    fields.width = 60000;
    fields.height = 60000;
    fields.pixels.assign(4096, 0);
    EXPECT_FALSE(decodeBmp(test::buildBmp(fields)));
    fields.bitsPerPixel = 8;
    fields.compression = 1;  // RLE8
    fields.palette.assign(256, Rgb{});
    fields.pixels = {0, 1};  // end of picture
    EXPECT_FALSE(decodeBmp(test::buildBmp(fields)));

    // JPEG: a real 16 x 16 picture whose frame header is changed to claim 60 000 x 60 000.
    std::vector<std::uint8_t> jpeg = test::makeJpeg(16, 16, test::testPattern);
    std::size_t frame = 0;
    for (std::size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            frame = i;
            break;
        }
    }
    ASSERT_NE(frame, 0u);
    putBigEndian16(jpeg, frame + 5, 60000);  // height
    putBigEndian16(jpeg, frame + 7, 60000);  // width
    EXPECT_FALSE(decodeJpeg(jpeg, false));
    EXPECT_FALSE(decodeJpeg(jpeg, true));

    EXPECT_LT(peakRssMib() - before, 16);
}

}  // namespace
}  // namespace vrk::pictures
