#include "pictures/qt/background_painter.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QTransform>
#include <cmath>

#include "pictures/background.h"
#include "pictures/picture_loader.h"

namespace vrk::pictures {

namespace {

QColor toQColor(Rgb rgb) {
    return QColor(rgb.r, rgb.g, rgb.b);
}

QRect toQRect(const Rect& rect) {
    return QRect(rect.left, rect.top, rect.width(), rect.height());
}

// The watermark text turned about its reference point, drawn once on a transparent image:
// stamping it at each point gives the very pixels drawing it there would (the text has no
// smoothing, and whole-pixel moves keep where every glyph pixel falls), for one drawing of
// turned text instead of one per point.
struct WatermarkStamp {
    QImage image;
    QPoint offset;  // of the image's corner from the reference point
};

WatermarkStamp watermarkStamp(const QFont& font, const QColor& colour) {
    const QFontMetrics metrics(font);
    const QString text =
        QString::fromLatin1(kWatermarkText.data(), static_cast<qsizetype>(kWatermarkText.size()));
    // The reference point is the text's top-left corner; the text turns about it, running up
    // and to the right (Qt's angles turn clockwise on screen).
    QTransform turn;
    turn.rotate(-kWatermarkAngleDegrees);
    // Room for every pixel the text can touch: its whole cell and advance, turned, and a margin.
    const QRect cell(0, 0, metrics.horizontalAdvance(text) + metrics.maxWidth(), metrics.height());
    const QRect bounds = turn.mapRect(cell).adjusted(-4, -4, 4, 4);
    WatermarkStamp stamp{QImage(bounds.size(), QImage::Format_ARGB32_Premultiplied), bounds.topLeft()};
    stamp.image.fill(Qt::transparent);
    QPainter painter(&stamp.image);
    painter.setFont(font);
    painter.setPen(colour);
    painter.setBackgroundMode(Qt::TransparentMode);  // no box behind the text
    painter.translate(-bounds.left(), -bounds.top());
    painter.rotate(-kWatermarkAngleDegrees);
    painter.drawText(QPoint(0, metrics.ascent()), text);
    return stamp;
}

void paintColour(QPainter& painter, QSize area, std::uint8_t bgColour, bool lowRes) {
    painter.fillRect(QRect(QPoint(0, 0), area), toQColor(backgroundColour(bgColour)));
    const WatermarkStamp stamp = watermarkStamp(watermarkFont(), toQColor(watermarkColour(bgColour, lowRes)));
    for (const Point& at : watermarkPositions(area.width(), area.height())) {
        painter.drawImage(QPoint(at.x, at.y) + stamp.offset, stamp.image);
    }
}

void paintTiled(QPainter& painter, QSize area, const QImage& picture) {
    // A texture brush from the origin puts tiles exactly at (bw * column, bh * row), the
    // positions tilePositions lists, in one call however small the picture.
    painter.setBrushOrigin(0, 0);
    painter.fillRect(QRect(QPoint(0, 0), area), QBrush(picture));
}

void paintStretched(QPainter& painter, QSize area, const QImage& picture) {
    const QColor barColour = QColor::fromRgb(picture.pixel(0, 0));
    const StretchPlacement placement =
        stretchPlacement(area.width(), area.height(), picture.width(), picture.height());
    painter.fillRect(toQRect(placement.firstBar), barColour);
    painter.fillRect(toQRect(placement.secondBar), barColour);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    painter.drawImage(toQRect(placement.picture), picture);
}

}  // namespace

QImage toQImage(const Bitmap& bitmap) {
    if (bitmap.empty()) {
        return QImage();
    }
    QImage image(bitmap.width(), bitmap.height(), QImage::Format_RGB32);
    if (image.isNull()) {
        return image;  // out of memory
    }
    const bool indexed = bitmap.format() == PixelFormat::Indexed8;
    std::vector<QRgb> palette;
    for (const Rgb& entry : bitmap.palette()) {
        palette.push_back(qRgb(entry.r, entry.g, entry.b));
    }
    for (int y = 0; y < bitmap.height(); ++y) {
        const std::uint8_t* in = bitmap.row(y);
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < bitmap.width(); ++x) {
            out[x] = indexed ? palette[in[x]] : qRgb(in[3 * x], in[3 * x + 1], in[3 * x + 2]);
        }
    }
    return image;
}

bool LoadedPicture::load(std::string_view nameSjis, const std::filesystem::path& baseDir, bool lowRes) {
    Bitmap loaded;
    if (!loadPicture(nameSjis, baseDir, lowRes, loaded)) {
        return false;
    }
    setBitmap(std::move(loaded));
    return true;
}

void LoadedPicture::setBitmap(Bitmap bitmap) {
    m_bitmap = std::move(bitmap);
    m_image = toQImage(m_bitmap);
}

const QImage& LoadedPicture::image() const {
    if (m_image.isNull() && !m_bitmap.empty()) {
        m_image = toQImage(m_bitmap);
    }
    return m_image;
}

QFont watermarkFont() {
    const QString family = QFontDatabase::families().contains(QStringLiteral("Arial"))
                               ? QStringLiteral("Arial")
                               : QStringLiteral("Liberation Sans");
    QFont font(family);
    font.setWeight(QFont::Bold);
    // The Windows font description asks for default quality, which on the systems the
    // stories were made for drew this font without smoothing: two colours only.
    font.setStyleStrategy(QFont::NoAntialias);
    font.setPixelSize(kWatermarkCellHeight);
    // Windows takes a positive height as the cell height, Qt a pixel size as the em height.
    const int cell = QFontMetrics(font).height();
    if (cell > 0 && cell != kWatermarkCellHeight) {
        font.setPixelSize(std::max(
            1, static_cast<int>(
                   std::lround(kWatermarkCellHeight * kWatermarkCellHeight / static_cast<double>(cell)))));
    }
    return font;
}

void paintBackground(QPainter& painter, QSize area, std::string& backgroundEntry, std::uint8_t bgColour,
                     bool lowRes, const QImage& picture) {
    if (picture.width() * picture.height() == 0) {
        backgroundEntry.clear();  // an empty picture never counts as a background
    }
    painter.save();
    painter.setClipRect(QRect(QPoint(0, 0), area), Qt::IntersectClip);
    switch (backgroundKind(backgroundEntry)) {
        case BackgroundKind::Colour:
            paintColour(painter, area, bgColour, lowRes);
            break;
        case BackgroundKind::Tiled:
            paintTiled(painter, area, picture);
            break;
        case BackgroundKind::Stretched:
            paintStretched(painter, area, picture);
            break;
    }
    painter.restore();
}

void BackgroundCache::paint(QPainter& painter, QSize area, std::string& backgroundEntry,
                            std::uint8_t bgColour, bool lowRes, const QImage& picture) {
    // A colour background costs little more to paint than to copy: painted straight onto an
    // unscaled window it needs no image of its own (one window's worth of memory, and its
    // first filling on the way to the first page). Scaled, the copy is what gets smoothed.
    const bool colour =
        picture.width() * picture.height() == 0 || backgroundKind(backgroundEntry) == BackgroundKind::Colour;
    if (colour && painter.worldTransform().type() <= QTransform::TxTranslate) {
        m_image = QImage();
        paintBackground(painter, area, backgroundEntry, bgColour, lowRes, picture);
        return;
    }
    const bool same = !m_image.isNull() && m_image.size() == area && m_entry == backgroundEntry &&
                      m_bgColour == bgColour && m_lowRes == lowRes && m_pictureKey == picture.cacheKey();
    if (!same) {
        if (area.isEmpty()) {
            return;
        }
        m_image = QImage(area, QImage::Format_RGB32);
        QPainter onCache(&m_image);
        paintBackground(onCache, area, backgroundEntry, bgColour, lowRes, picture);
        // Keyed on the entry as painting left it: an empty picture clears it.
        m_entry = backgroundEntry;
        m_bgColour = bgColour;
        m_lowRes = lowRes;
        m_pictureKey = picture.cacheKey();
    }
    painter.drawImage(QPoint(0, 0), m_image);
}

}  // namespace vrk::pictures
