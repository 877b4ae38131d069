// paintBackground checked on pixels, painted offscreen into a QImage.

#include <gtest/gtest.h>

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>
#include <functional>
#include <set>

#include "pictures/background.h"
#include "pictures/colour_table.h"
#include "pictures/qt/background_painter.h"

namespace vrk::pictures {
namespace {

QRgb rgbOf(Rgb c) {
    return qRgb(c.r, c.g, c.b);
}

struct Painted {
    QImage image;
    std::string entry;
};

Painted paint(QSize area, std::string entry, std::uint8_t bgColour, bool lowRes, const QImage& picture) {
    QImage image(area, QImage::Format_RGB32);
    image.fill(qRgb(1, 2, 3));
    QPainter painter(&image);
    paintBackground(painter, area, entry, bgColour, lowRes, picture);
    painter.end();
    return Painted{image, entry};
}

/// Pixels of colour inside the rectangle (clipped to the image).
int countColour(const QImage& image, QRect rect, QRgb colour) {
    int count = 0;
    rect = rect.intersected(image.rect());
    for (int y = rect.top(); y <= rect.bottom(); ++y) {
        for (int x = rect.left(); x <= rect.right(); ++x) {
            count += (image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF);
        }
    }
    return count;
}

/// A w x h picture with a distinct colour at every pixel and `corner` at (0, 0).
QImage pattern(int w, int h, QRgb corner) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            image.setPixel(x, y, qRgb(x & 0xFF, y & 0xFF, ((x >> 8) << 4 | (y >> 8)) + 100));
        }
    }
    image.setPixel(0, 0, corner);
    return image;
}

TEST(ColourBackground, FillAndWatermarkInTwoColoursOnly) {
    const Painted p = paint(QSize(300, 300), "", 7, false, QImage());
    const QRgb white = qRgb(255, 255, 255);
    const QRgb mark = qRgb(0xD0, 0xD0, 0xD0);
    EXPECT_EQ(countColour(p.image, p.image.rect(), white) + countColour(p.image, p.image.rect(), mark),
              300 * 300);
    // Each reference point has text running up and to the right of it.
    for (const Point& at : watermarkPositions(300, 300)) {
        if (at.x >= 300 || at.y >= 300) {
            continue;
        }
        SCOPED_TRACE(testing::Message() << at.x << "," << at.y);
        EXPECT_GT(countColour(p.image, QRect(at.x, at.y - 75, 85, 90), mark), 40);
        // Nothing of this text lies to the left of or far below its reference point.
        if (at.x == 0) {
            EXPECT_EQ(countColour(p.image, QRect(at.x + 25, at.y + 25, 20, 20), mark), 0);
        }
    }
}

TEST(ColourBackground, SmallAreaShowsOneWatermarkAtZeroEighty) {
    // The texts at (100, 80), (0, 180) and beyond run up and to the right from outside the
    // 99 x 99 corner, so the corner of a bigger area is the small area's whole picture.
    const Painted small = paint(QSize(99, 99), "", 16, false, QImage());
    const Painted big = paint(QSize(300, 300), "", 16, false, QImage());
    EXPECT_EQ(small.image, big.image.copy(0, 0, 99, 99));
    const QRgb mark = qRgb(0x2F, 0x2F, 0x2F);
    EXPECT_GT(countColour(small.image, small.image.rect(), mark), 100);
    EXPECT_EQ(countColour(small.image, small.image.rect(), qRgb(0, 0, 0)) +
                  countColour(small.image, small.image.rect(), mark),
              99 * 99);
}

TEST(ColourBackground, EachWatermarkIsTheTextTurnedAtItsPoint) {
    // The text drawn turned at every reference point, one by one, is what the background must
    // show, at any size and with any pair of colours.
    for (const QSize area : {QSize(99, 99), QSize(300, 300), QSize(604, 453), QSize(1234, 777)}) {
        for (const bool lowRes : {false, true}) {
            for (const std::uint8_t bgColour : {std::uint8_t{0}, std::uint8_t{7}, std::uint8_t{16}}) {
                SCOPED_TRACE(testing::Message() << area.width() << "x" << area.height() << " colour "
                                                << int(bgColour) << (lowRes ? " low" : ""));
                QImage expected(area, QImage::Format_RGB32);
                QPainter painter(&expected);
                painter.fillRect(expected.rect(), QColor(rgbOf(backgroundColour(bgColour))));
                const QFont font = watermarkFont();
                painter.setFont(font);
                painter.setPen(QColor(rgbOf(watermarkColour(bgColour, lowRes))));
                for (const Point& at : watermarkPositions(area.width(), area.height())) {
                    painter.save();
                    painter.translate(at.x, at.y);
                    painter.rotate(-kWatermarkAngleDegrees);
                    painter.drawText(QPoint(0, QFontMetrics(font).ascent()),
                                     QString::fromLatin1("VRK System"));
                    painter.restore();
                }
                painter.end();
                EXPECT_EQ(paint(area, "", bgColour, lowRes, QImage()).image, expected);
            }
        }
    }
}

TEST(ColourBackground, LowResTakesThePartnerColour) {
    const Painted p = paint(QSize(200, 200), "", 16, true, QImage());
    EXPECT_EQ(p.image.pixel(199, 0), qRgb(0, 0, 0));
    EXPECT_GT(countColour(p.image, p.image.rect(), qRgb(0x80, 0x80, 0x80)), 100);
    EXPECT_EQ(countColour(p.image, p.image.rect(), qRgb(0x2F, 0x2F, 0x2F)), 0);
}

TEST(ColourBackground, EmptyPictureClearsTheEntry) {
    const Painted p = paint(QSize(50, 50), "sGONE.BMP", 2, false, QImage());
    EXPECT_EQ(p.entry, "");
    EXPECT_EQ(p.image.pixel(49, 0), rgbOf(colourRgb(2)));
    const Painted kept = paint(QSize(50, 50), "sKEPT.BMP", 2, false, pattern(4, 4, qRgb(9, 9, 9)));
    EXPECT_EQ(kept.entry, "sKEPT.BMP");
}

TEST(TiledBackground, TilesFromTheCornerCutAtTheEdges) {
    const QImage picture = pattern(64, 64, qRgb(200, 10, 10));
    const Painted p = paint(QSize(130, 70), "tTILE.BMP", 16, false, picture);
    for (int y = 0; y < 70; ++y) {
        for (int x = 0; x < 130; ++x) {
            ASSERT_EQ(p.image.pixel(x, y), picture.pixel(x % 64, y % 64)) << x << "," << y;
        }
    }
}

TEST(StretchedBackground, WiderAreaSideBarsInTheCornerColour) {
    const QRgb corner = qRgb(10, 20, 30);
    const QImage picture = pattern(640, 480, corner);
    const Painted p = paint(QSize(800, 480), "sPIC.BMP", 16, false, picture);
    for (int y = 0; y < 480; y += 7) {
        EXPECT_EQ(p.image.pixel(0, y), corner);
        EXPECT_EQ(p.image.pixel(79, y), corner);
        EXPECT_EQ(p.image.pixel(720, y), corner);
        EXPECT_EQ(p.image.pixel(799, y), corner);
        for (int x = 80; x < 720; x += 13) {
            ASSERT_EQ(p.image.pixel(x, y), picture.pixel(x - 80, y)) << x << "," << y;  // scale 1:1
        }
    }
}

TEST(StretchedBackground, TallerAreaBarsAboveAndBelow) {
    const QRgb corner = qRgb(40, 50, 60);
    const QImage picture = pattern(640, 480, corner);
    const Painted p = paint(QSize(640, 600), "sPIC.BMP", 16, false, picture);
    EXPECT_EQ(countColour(p.image, QRect(0, 0, 640, 60), corner), 640 * 60);
    EXPECT_EQ(countColour(p.image, QRect(0, 540, 640, 60), corner), 640 * 60);
    EXPECT_EQ(p.image.pixel(5, 60), picture.pixel(5, 0));
    EXPECT_EQ(p.image.pixel(639, 539), picture.pixel(639, 479));
}

TEST(StretchedBackground, ScaledWithoutSmoothing) {
    QImage picture(2, 2, QImage::Format_RGB32);
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)};
    picture.setPixel(0, 0, colours[0]);
    picture.setPixel(1, 0, colours[1]);
    picture.setPixel(0, 1, colours[2]);
    picture.setPixel(1, 1, colours[3]);
    QImage image(100, 100, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);  // the painter must turn it off
    std::string entry = "sQUAD.BMP";
    paintBackground(painter, QSize(100, 100), entry, 16, false, picture);
    EXPECT_TRUE(painter.renderHints().testFlag(QPainter::SmoothPixmapTransform));  // state restored
    painter.end();
    std::set<QRgb> seen;
    for (int y = 0; y < 100; ++y) {
        for (int x = 0; x < 100; ++x) {
            seen.insert(image.pixel(x, y));
        }
    }
    EXPECT_EQ(seen, (std::set<QRgb>(std::begin(colours), std::end(colours))));  // no blended colour
    EXPECT_EQ(image.pixel(20, 20), colours[0]);
    EXPECT_EQ(image.pixel(80, 20), colours[1]);
    EXPECT_EQ(image.pixel(20, 80), colours[2]);
    EXPECT_EQ(image.pixel(80, 80), colours[3]);
}

TEST(BackgroundPainter, PainterStateIsRestored) {
    QImage image(120, 120, QImage::Format_RGB32);
    QPainter painter(&image);
    const QFont before("Liberation Serif", 11);
    painter.setFont(before);
    painter.setPen(QColor(1, 2, 3));
    std::string entry;
    paintBackground(painter, QSize(100, 100), entry, 5, false, QImage());
    EXPECT_EQ(painter.font(), before);
    EXPECT_EQ(painter.pen().color(), QColor(1, 2, 3));
    EXPECT_FALSE(painter.hasClipping());
    painter.end();
    EXPECT_NE(image.pixel(110, 110), rgbOf(colourRgb(5)));  // nothing outside the area
}

TEST(BackgroundPainter, WatermarkFontIsBoldArialLikeWithCellHeight20) {
    const QFont font = watermarkFont();
    const QString family = QFontInfo(font).family();
    EXPECT_TRUE(family == "Arial" || family == "Liberation Sans") << family.toStdString();
    EXPECT_TRUE(font.bold());
    EXPECT_NEAR(QFontMetrics(font).height(), kWatermarkCellHeight, 1);
}

TEST(BackgroundPainter, BitmapToQImageAppliesThePalette) {
    Bitmap indexed = *Bitmap::create(2, 1, PixelFormat::Indexed8);
    indexed.palette()[5] = Rgb{1, 2, 3};
    indexed.row(0)[0] = 5;
    const QImage fromIndexed = toQImage(indexed);
    EXPECT_EQ(fromIndexed.format(), QImage::Format_RGB32);
    EXPECT_EQ(fromIndexed.pixel(0, 0), qRgb(1, 2, 3));
    EXPECT_EQ(fromIndexed.pixel(1, 0), qRgb(0, 0, 0));
    Bitmap rgb = *Bitmap::create(1, 2, PixelFormat::Rgb24);
    rgb.row(1)[0] = 200;
    rgb.row(1)[2] = 100;
    EXPECT_EQ(toQImage(rgb).pixel(0, 1), qRgb(200, 0, 100));
    EXPECT_TRUE(toQImage(Bitmap()).isNull());
}

TEST(BackgroundPainter, LoadedPictureKeepsItsBitmapWhenTheImageIsReleased) {
    LoadedPicture picture;
    EXPECT_TRUE(picture.image().isNull());
    picture.setBitmap(*Bitmap::create(3, 2, PixelFormat::Rgb24));
    EXPECT_EQ(picture.image().size(), QSize(3, 2));
    picture.releaseImage();
    EXPECT_EQ(picture.bitmap().width(), 3);
    EXPECT_EQ(picture.image().size(), QSize(3, 2));  // made again on demand
}

}  // namespace
}  // namespace vrk::pictures

namespace vrk::pictures {
namespace {

// The cache must never show a stale background: each change of what the background is made
// of paints anew, and a repeat paints the very pixels of a fresh paint.
TEST(BackgroundCacheTest, RepaintsExactlyWhenSomethingChanged) {
    const QSize area(160, 120);
    BackgroundCache cache;
    QImage picture = pattern(40, 30, qRgb(9, 9, 9));
    const auto viaCache = [&](std::string& entry, std::uint8_t colour, bool lowRes, const QImage& pic) {
        QImage image(area, QImage::Format_RGB32);
        QPainter painter(&image);
        cache.paint(painter, area, entry, colour, lowRes, pic);
        return image;
    };
    struct Step {
        std::string entry;
        std::uint8_t colour;
        bool lowRes;
        bool newPicture;
    };
    const Step steps[] = {
        {"", 9, false, false},  {"", 9, false, false},  {"", 4, false, false}, {"", 4, true, false},
        {"sP", 4, true, false}, {"tP", 4, true, false}, {"tP", 4, true, true}, {"", 16, false, false},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.entry + "/" + std::to_string(step.colour));
        if (step.newPicture) {
            picture = pattern(50, 20, qRgb(7, 7, 7));
        }
        std::string cachedEntry = step.entry;
        const QImage cached = viaCache(cachedEntry, step.colour, step.lowRes, picture);
        const Painted fresh = paint(area, step.entry, step.colour, step.lowRes, picture);
        EXPECT_EQ(cached, fresh.image);
        EXPECT_EQ(cachedEntry, fresh.entry);
    }
    // Scaled (a full-screen page), every kind is smoothed as one picture, as a copy of the
    // unscaled background is.
    for (const Step& step : {steps[0], steps[4]}) {
        SCOPED_TRACE("scaled " + step.entry);
        const auto scaled = [&](const std::function<void(QPainter&)>& draw) {
            QImage image(area * 2, QImage::Format_RGB32);
            image.fill(qRgb(1, 2, 3));
            QPainter painter(&image);
            painter.setRenderHint(QPainter::SmoothPixmapTransform);
            painter.scale(1.5, 1.5);
            draw(painter);
            return image;
        };
        std::string cachedEntry = step.entry;
        const QImage fresh = paint(area, step.entry, step.colour, step.lowRes, picture).image;
        EXPECT_EQ(scaled([&](QPainter& p) {
                      cache.paint(p, area, cachedEntry, step.colour, step.lowRes, picture);
                  }),
                  scaled([&](QPainter& p) { p.drawImage(QPoint(0, 0), fresh); }));
    }
    // An empty picture clears the entry on every paint, cached or not.
    std::string entry = "sP";
    viaCache(entry, 9, false, QImage());
    EXPECT_EQ(entry, "");
}

}  // namespace
}  // namespace vrk::pictures
