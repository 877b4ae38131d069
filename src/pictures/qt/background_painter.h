#pragma once
// The Qt side of the main window's background (paintBackground): a loaded
// picture in paintable form, the watermark font, and the painter itself. The geometry comes
// from pictures/background.h; this file only draws it.

#include <QFont>
#include <QImage>
#include <QSize>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "pictures/bitmap.h"

class QPainter;

namespace vrk::pictures {

/// A Bitmap as a QImage of Format_RGB32, the raster engine's fastest source: an indexed
/// picture's palette is applied here (the 8-bit picture keeps its 236 colours). A null
/// QImage for an empty bitmap.
QImage toQImage(const Bitmap& bitmap);

/// A picture as loadPicture fills it (backgroundBitmap, pictureBitmap) together with its
/// paintable copy, converted once per load rather than on every paint.
class LoadedPicture {
public:
    /// loadPicture into this picture; on failure nothing changes.
    bool load(std::string_view nameSjis, const std::filesystem::path& baseDir, bool lowRes);
    /// Replaces the picture.
    void setBitmap(Bitmap bitmap);

    const Bitmap& bitmap() const { return m_bitmap; }
    /// The paintable copy, made again on demand after releaseImage.
    const QImage& image() const;
    /// Gives back the paintable copy's memory; the Bitmap stays (when the picture window closes).
    void releaseImage() { m_image = QImage(); }

private:
    Bitmap m_bitmap;
    mutable QImage m_image;
};

/// The watermark font: face "Arial", or Liberation Sans (metric-compatible) where Arial is
/// missing; bold; sized so that its cell height (ascent + descent) is 20 pixels, as the
/// positive height 20 of the Windows font description asks; drawn without smoothing. The 45°
/// escapement is applied when drawing.
QFont watermarkFont();

/// Paints the paint area (0, 0, W, H) from the background entry, bgColour, lowRes and the
/// background picture (toQImage of backgroundBitmap): colour with the "VRK System"
/// watermark, the picture tiled, or stretched with its aspect ratio kept and bars in the
/// colour of its top-left pixel (no smoothing: scan lines dropped or repeated). An empty
/// picture clears the entry first (so the colour background is drawn), which is why the
/// entry is passed by reference. The painter's state is restored afterwards.
void paintBackground(QPainter& painter, QSize area, std::string& backgroundEntry, std::uint8_t bgColour,
                     bool lowRes, const QImage& picture);

/// paintBackground for a window that repaints on every scroll step and reveal: a picture
/// background (or any background painted scaled) is kept and copied again while the area,
/// entry, colour, option and picture stay the same, so only a change of one of them stretches
/// the picture again. A colour background is painted each time.
class BackgroundCache {
public:
    /// As paintBackground, into the painter at (0, 0).
    void paint(QPainter& painter, QSize area, std::string& backgroundEntry, std::uint8_t bgColour,
               bool lowRes, const QImage& picture);

private:
    QImage m_image;
    std::string m_entry;
    std::uint8_t m_bgColour = 0;
    bool m_lowRes = false;
    qint64 m_pictureKey = 0;
};

}  // namespace vrk::pictures
