// The JPEG decoder, in full colour and in the low-resolution mode. Run with libFuzzer's
// memory limits (-rss_limit_mb, -malloc_limit_mb; see scripts/fuzz): a picture that
// needs more than a picture may have is a finding.

#include "fuzz_check.h"
#include "pictures/picture_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const bool lowRes = (data[0] & 1) != 0;
    const auto bitmap = vrk::pictures::decodeJpeg(std::span<const std::uint8_t>(data + 1, size - 1), lowRes);
    if (bitmap) {
        using vrk::pictures::Bitmap;
        using vrk::pictures::PixelFormat;
        FUZZ_CHECK(bitmap->width() >= 1 && bitmap->width() <= Bitmap::kMaxDimension);
        FUZZ_CHECK(bitmap->height() >= 1 && bitmap->height() <= Bitmap::kMaxDimension);
        FUZZ_CHECK(bitmap->format() == (lowRes ? PixelFormat::Indexed8 : PixelFormat::Rgb24));
        FUZZ_CHECK(bitmap->pixels().size() ==
                   bitmap->rowBytes() * static_cast<std::size_t>(bitmap->height()));
    }
    return 0;
}
