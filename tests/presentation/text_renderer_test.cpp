#include "presentation/qt/text_renderer.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "presentation/qt/font_mapping.h"

namespace vrk::presentation {
namespace {

const std::string kKanji = "\x8a\xbf";      // U+6F22 漢
const std::string kIdeoSpace = "\x81\x40";  // U+3000 IDEOGRAPHIC SPACE
const std::string kMaru = "\x81\x42";       // U+3002 IDEOGRAPHIC FULL STOP

QFont testFont() {
    QFont font(QStringLiteral("IPAGothic"));
    font.setPixelSize(20);
    return font;
}

PageLayout layoutFor(const std::vector<std::string>& page, int textColour, bool contrast,
                     FontMetrics metrics = measureFont(testFont(), 12)) {
    LayoutInput input;
    input.metrics = metrics;
    input.clientWidth = 400;
    input.textColour = textColour;
    input.contrast = contrast;
    return layoutPage(page, input);
}

int countPixels(const QImage& image, QRgb colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += image.pixel(x, y) == colour;
        }
    }
    return n;
}

// Leftmost column with any ink in the text image.
int firstInkColumn(const QImage& text) {
    for (int x = 0; x < text.width(); ++x) {
        for (int y = 0; y < text.height(); ++y) {
            if ((text.pixel(x, y) & 0xFFFFFF) != 0) {
                return x;
            }
        }
    }
    return -1;
}

TEST(TextRenderer, ColoursReadBackFromPixels) {
    struct Case {
        const char* name;
        int number;
        bool contrast;
        QRgb text, outline;
    };
    const Case cases[] = {
        {"default white on navy", 16, false, qRgb(255, 255, 255), qRgb(0, 0, 128)},
        {"black on olive", 0, false, qRgb(0, 0, 0), qRgb(128, 128, 0)},
        {"black on yellow with contrast", 0, true, qRgb(0, 0, 0), qRgb(255, 255, 0)},
        {"red on navy", 2, true, qRgb(255, 0, 0), qRgb(0, 0, 128)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RenderedPage page = renderPage(layoutFor({kKanji + kKanji}, c.number, c.contrast), testFont());
        EXPECT_GT(countPixels(page.textImage, c.outline), 20);
        // Character pixels: the text colour where the mask says "text" (black text included).
        int characterPixels = 0;
        for (int y = 0; y < page.textImage.height(); ++y) {
            for (int x = 0; x < page.textImage.width(); ++x) {
                characterPixels +=
                    page.textImage.pixel(x, y) == c.text && page.maskImage.pixel(x, y) == qRgb(0, 0, 0);
            }
        }
        EXPECT_GT(characterPixels, 20);
    }
}

TEST(TextRenderer, MaskKeepsExactlyTheBackground) {
    for (int number : {16, 0}) {
        SCOPED_TRACE(testing::Message() << "colour " << number);
        const RenderedPage page =
            renderPage(layoutFor({kKanji + "Ab" + kMaru, "", "xyz"}, number, false), testFont());
        ASSERT_EQ(page.maskImage.size(), page.textImage.size());
        int kept = 0;
        for (int y = 0; y < page.textImage.height(); ++y) {
            for (int x = 0; x < page.textImage.width(); ++x) {
                const QRgb mask = page.maskImage.pixel(x, y);
                ASSERT_TRUE(mask == qRgb(255, 255, 255) || mask == qRgb(0, 0, 0));
                if (mask == qRgb(255, 255, 255)) {
                    ASSERT_EQ(page.textImage.pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
                    ++kept;
                } else if (number == 16) {
                    ASSERT_NE(page.textImage.pixel(x, y), qRgb(0, 0, 0)) << x << "," << y;
                }
            }
        }
        EXPECT_GT(kept, page.textImage.width() * page.textImage.height() / 2);
    }
}

TEST(TextRenderer, UncoverKeepsTheWindowWhereTheMaskIsWhite) {
    const RenderedPage page = renderPage(layoutFor({kKanji + "Sample"}, 0, true), testFont());
    QImage window(page.textImage.width() + 10, page.textImage.height() + 10, QImage::Format_RGB32);
    const QRgb background = qRgb(10, 200, 30);
    window.fill(background);
    {
        QPainter painter(&window);
        uncover(painter, page, {{0, 0, page.textImage.width() + 50, page.textImage.height()}, 1, 2});
    }
    for (int y = 0; y < page.textImage.height(); ++y) {
        for (int x = 0; x < page.textImage.width(); ++x) {
            const bool keep = page.maskImage.pixel(x, y) == qRgb(255, 255, 255);
            ASSERT_EQ(window.pixel(x + 1, y + 2), keep ? background : page.textImage.pixel(x, y))
                << x << "," << y;
        }
    }
    EXPECT_EQ(window.pixel(0, 0), background);
}

TEST(TextRenderer, CharactersSitOnTheCellGrid) {
    // A grid far wider than the font's advances: the second character still starts 2 cells on.
    FontMetrics wide = measureFont(testFont(), 12);
    wide.cellWidth = 30;
    const int alone = firstInkColumn(renderPage(layoutFor({kKanji}, 16, false, wide), testFont()).textImage);
    const int second =
        firstInkColumn(renderPage(layoutFor({kIdeoSpace + kKanji}, 16, false, wide), testFont()).textImage);
    ASSERT_GE(alone, 0);
    EXPECT_EQ(second - alone, 60);
    const int afterLetter =
        firstInkColumn(renderPage(layoutFor({" " + kKanji}, 16, false, wide), testFont()).textImage);
    EXPECT_EQ(afterLetter - alone, 30);
}

TEST(TextRenderer, MeasuredGridFitsTheFont) {
    const FontMetrics m = measureFont(testFont(), 12);
    EXPECT_EQ(m.cellWidth, 10);  // IPAGothic at 20 px: full width 20, half width 10
    EXPECT_GE(m.edgeAllowance, 2);
    EXPECT_EQ(m.lineHeight, measureSample(testFont()).sampleHeight * 12 / 10);
}

TEST(FontMapping, WindowsFacesFindInstalledFonts) {
    struct Case {
        const char* stored;
        const char* family;
    };
    const Case cases[] = {
        {"ＭＳ 明朝", "IPAMincho"},           {"MS Mincho", "IPAMincho"},
        {"ＭＳ ゴシック", "IPAGothic"},       {"ms gothic", "IPAGothic"},
        {"ＭＳ Ｐゴシック", "IPAPGothic"},    {"MS PGothic", "IPAPGothic"},
        {"ＭＳ Ｐ明朝", "IPAPMincho"},        {"IPAMincho", "IPAMincho"},
        {"No Such Face At All", "IPAGothic"},  // falls back to a font that measures fixed-pitch
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        EXPECT_EQ(mapFontFamily(QString::fromUtf8(c.stored)), QString::fromUtf8(c.family));
    }
    EXPECT_TRUE(measuresFixedPitch(QStringLiteral("IPAGothic")));
    EXPECT_FALSE(measuresFixedPitch(QStringLiteral("IPAPGothic")));
    EXPECT_TRUE(japaneseFixedPitchFamilies().contains(QStringLiteral("IPAMincho")));
}

}  // namespace
}  // namespace vrk::presentation
