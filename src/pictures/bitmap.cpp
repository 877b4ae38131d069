#include "pictures/bitmap.h"

#include <cassert>
#include <new>

namespace vrk::pictures {

std::optional<Bitmap> Bitmap::create(int width, int height, PixelFormat format) {
    if (width < 1 || height < 1 || width > kMaxDimension || height > kMaxDimension ||
        static_cast<std::size_t>(width) * static_cast<std::size_t>(height) > kMaxPixels) {
        return std::nullopt;
    }
    Bitmap bitmap;
    bitmap.m_width = width;
    bitmap.m_height = height;
    bitmap.m_format = format;
    try {
        // At most 16384 * 16384 * 3 bytes, so the product cannot overflow a 64-bit size_t.
        bitmap.m_pixels.assign(bitmap.rowBytes() * static_cast<std::size_t>(height), 0);
        if (format == PixelFormat::Indexed8) {
            bitmap.m_palette.assign(kPaletteSize, Rgb{});
        }
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    return bitmap;
}

Rgb Bitmap::pixel(int x, int y) const {
    assert(x >= 0 && x < m_width && y >= 0 && y < m_height);
    const std::uint8_t* p = row(y) + static_cast<std::size_t>(x) * bytesPerPixel();
    if (m_format == PixelFormat::Indexed8) {
        return m_palette[*p];
    }
    return Rgb{p[0], p[1], p[2]};
}

}  // namespace vrk::pictures
