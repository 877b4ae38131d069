// The BMP decoder: any bytes give a picture within the size limits or nothing.

#include "fuzz_check.h"
#include "pictures/picture_loader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto bitmap = vrk::pictures::decodeBmp(std::span<const std::uint8_t>(data, size));
    if (bitmap) {
        using vrk::pictures::Bitmap;
        FUZZ_CHECK(bitmap->width() >= 1 && bitmap->width() <= Bitmap::kMaxDimension);
        FUZZ_CHECK(bitmap->height() >= 1 && bitmap->height() <= Bitmap::kMaxDimension);
        FUZZ_CHECK(bitmap->pixels().size() ==
                   bitmap->rowBytes() * static_cast<std::size_t>(bitmap->height()));
        // Every pixel is readable, palette entries included.
        const auto corner = bitmap->pixel(bitmap->width() - 1, bitmap->height() - 1);
        (void)corner;
    }
    return 0;
}
