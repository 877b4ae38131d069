#pragma once
// The pictures subsystem (Parts 4.1, 4.2). How a picture travels:
//
//   script command --name--> loadPicture (picture_loader.h)
//        JPEG of the same base name first (decodeJpeg, libjpeg), else the named BMP (decodeBmp)
//     -> Bitmap (this file): plain pixels, sizes checked before any allocation
//     -> qt/background_painter (main window's background: colour + watermark, tiled, stretched)
//        or qt/picture_window (PictureWindow, the picture at its natural size).
//   Geometry that needs no window (watermark and tile positions, the stretched placement,
//   the 4:3 balance, the picture window's placement) lives in background.h and
//   picture_placement.h so that it is tested without Qt.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vrk::pictures {

/// One colour, 8 bits per channel.
struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;

    friend bool operator==(const Rgb&, const Rgb&) = default;
};

enum class PixelFormat {
    Rgb24,     ///< three bytes per pixel, in the order R, G, B
    Indexed8,  ///< one palette index per pixel; the palette has 256 entries
};

/// A decoded picture: rows top to bottom, each row tightly packed (no padding).
/// An empty bitmap (the default) is 0 x 0 and counts as "no picture".
class Bitmap {
public:
    /// The largest width and the largest height a picture may have.
    static constexpr int kMaxDimension = 16384;
    /// The most pixels one picture may have (8192 x 8192): far more than any screen shows, and
    /// a cap on what a small, hostile file can make the player allocate (192 MiB at 24 bits).
    static constexpr std::size_t kMaxPixels = std::size_t{64} << 20;
    static constexpr int kPaletteSize = 256;

    Bitmap() = default;

    /// A width x height picture with every byte 0 (black, or palette index 0 with an all-black
    /// palette). Nothing when a side is below 1 or above kMaxDimension, the picture has more
    /// than kMaxPixels pixels, or memory runs out; the sizes are checked before anything is
    /// allocated.
    static std::optional<Bitmap> create(int width, int height, PixelFormat format);

    int width() const { return m_width; }
    int height() const { return m_height; }
    PixelFormat format() const { return m_format; }
    bool empty() const { return m_width == 0 || m_height == 0; }
    int bytesPerPixel() const { return m_format == PixelFormat::Rgb24 ? 3 : 1; }
    std::size_t rowBytes() const { return static_cast<std::size_t>(m_width) * bytesPerPixel(); }

    std::uint8_t* row(int y) { return m_pixels.data() + static_cast<std::size_t>(y) * rowBytes(); }
    const std::uint8_t* row(int y) const {
        return m_pixels.data() + static_cast<std::size_t>(y) * rowBytes();
    }
    const std::vector<std::uint8_t>& pixels() const { return m_pixels; }

    /// The palette of an Indexed8 bitmap (always 256 entries; unused ones black); empty for Rgb24.
    std::vector<Rgb>& palette() { return m_palette; }
    const std::vector<Rgb>& palette() const { return m_palette; }

    /// The colour at (x, y), through the palette for Indexed8. The point must lie inside.
    Rgb pixel(int x, int y) const;

private:
    int m_width = 0;
    int m_height = 0;
    PixelFormat m_format = PixelFormat::Rgb24;
    std::vector<std::uint8_t> m_pixels;
    std::vector<Rgb> m_palette;
};

}  // namespace vrk::pictures
