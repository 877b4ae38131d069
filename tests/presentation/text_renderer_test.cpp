#include "presentation/qt/text_renderer.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cstdlib>
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

// The window after uncovering the whole page over a plain background.
QImage uncoveredOver(const RenderedPage& page, QRgb background) {
    QImage window(page.textImage.width() + 2, page.textImage.height(), QImage::Format_RGB32);
    window.fill(background);
    QPainter painter(&window);
    uncover(painter, page, {{0, 0, page.textImage.width(), page.textImage.height()}, 1, 0});
    return window;
}

QFont fontOfSize(int pixels) {
    QFont font = testFont();
    font.setPixelSize(pixels);
    return font;
}

// True when the pixel is a blend of the two colours alone (within rounding), with no black in it.
bool blendOf(QRgb pixel, QRgb a, QRgb b) {
    const int channels[3][3] = {{qRed(pixel), qRed(a), qRed(b)},
                                {qGreen(pixel), qGreen(a), qGreen(b)},
                                {qBlue(pixel), qBlue(a), qBlue(b)}};
    int widest = 0;
    for (int c = 1; c < 3; ++c) {
        if (std::abs(channels[c][1] - channels[c][2]) > std::abs(channels[widest][1] - channels[widest][2])) {
            widest = c;
        }
    }
    const double span = channels[widest][1] - channels[widest][2];
    const double share = span == 0 ? 0.0 : (channels[widest][0] - channels[widest][2]) / span;
    for (const auto& channel : channels) {
        if (std::abs(channel[0] - (share * channel[1] + (1 - share) * channel[2])) > 2.5) {
            return false;
        }
    }
    return share >= -0.01 && share <= 1.01;
}

TEST(TextRenderer, OutlineLeavesNoDarkRimOnLightBackgrounds) {
    // Every pixel the text puts on white mixes the character colour and the full outline colour,
    // never the outline faded towards the black behind it.
    struct Case {
        int number;
        QRgb text, outline;
    };
    const Case cases[] = {{16, qRgb(255, 255, 255), qRgb(0, 0, 128)}, {2, qRgb(255, 0, 0), qRgb(0, 0, 128)}};
    for (const Case& c : cases) {
        for (int size : {13, 20, 31}) {
            SCOPED_TRACE(testing::Message() << "colour " << c.number << ", " << size << " px");
            const QFont font = fontOfSize(size);
            const QImage window = uncoveredOver(
                renderPage(layoutFor({kKanji + "Sample" + kMaru}, c.number, false, measureFont(font, 12)),
                           font),
                qRgb(255, 255, 255));
            int changed = 0;
            for (int y = 0; y < window.height(); ++y) {
                for (int x = 0; x < window.width(); ++x) {
                    const QRgb pixel = window.pixel(x, y);
                    if (pixel != qRgb(255, 255, 255)) {
                        ++changed;
                        ASSERT_TRUE(blendOf(pixel, c.text, c.outline))
                            << x << "," << y << " " << std::hex << pixel;
                    }
                }
            }
            EXPECT_GT(changed, 50);
        }
    }
}

TEST(TextRenderer, UnderlineAndStrikeOutRunAcrossTheLine) {
    // Letters with a gap of spaces between them: only a decoration can put ink in the gap.
    const std::vector<std::string> page = {"A    B"};
    const auto inkInGap = [&](const QFont& font) {
        const FontMetrics metrics = measureFont(font, 12);
        const QImage text = renderPage(layoutFor(page, 16, false, metrics), font).textImage;
        std::vector<int> rows;
        for (int y = 0; y < text.height(); ++y) {
            bool all = true;
            for (int x = 2 * metrics.cellWidth + 2; x < 4 * metrics.cellWidth; ++x) {
                all = all && (text.pixel(x, y) & 0xFFFFFF) != 0;
            }
            if (all) {
                rows.push_back(y);
            }
        }
        return rows;
    };
    QFont plain = testFont();
    EXPECT_TRUE(inkInGap(plain).empty());
    QFont underlined = plain;
    underlined.setUnderline(true);
    const std::vector<int> under = inkInGap(underlined);
    ASSERT_FALSE(under.empty());
    EXPECT_GT(under.front(), QFontMetrics(plain).ascent());  // below the baseline
    QFont struck = plain;
    struck.setStrikeOut(true);
    const std::vector<int> strike = inkInGap(struck);
    ASSERT_FALSE(strike.empty());
    EXPECT_LT(strike.back(), QFontMetrics(plain).ascent());  // above it
}

TEST(TextRenderer, HalfWidthKatakanaBeforeTwoByteCharacters) {
    const std::string kMaruAfterSpace = " " + kMaru;
    for (int size : {12, 20, 29}) {
        const QFont font = fontOfSize(size);
        const FontMetrics metrics = measureFont(font, 12);
        const int cell = metrics.cellWidth;
        for (const std::string run : {"\xB5", "\xB1\xB2\xB3"}) {
            SCOPED_TRACE(testing::Message() << size << " px, " << run.size() << " katakana");
            // "。" one cell after a katakana draws as it does one cell after a space: right of
            // the katakana's outline the two images agree.
            const std::string prefix(run.size() - 1, ' ');
            const QImage drawn = renderPage(layoutFor({run + kMaru}, 16, false, metrics), font).textImage;
            const QImage expected =
                renderPage(layoutFor({prefix + kMaruAfterSpace}, 16, false, metrics), font).textImage;
            ASSERT_EQ(drawn.size(), expected.size());
            const int from = static_cast<int>(run.size()) * cell + 3;
            for (int y = 0; y < drawn.height(); ++y) {
                for (int x = from; x < drawn.width(); ++x) {
                    ASSERT_EQ(drawn.pixel(x, y), expected.pixel(x, y)) << x << "," << y;
                }
            }

            // A width at which the layout's break falls inside "。": it is drawn whole where its
            // first byte ends the line, exactly as on one unbroken line, and the next line is blank.
            const int columns = columnsFor(400, 16, cell);
            std::string line;
            for (int i = 0; i < columns - static_cast<int>(run.size() + 1) / 2; ++i) {
                line += kKanji;
            }
            line += run + kMaru;
            const PageLayout broken = layoutFor({line}, 16, false, metrics);
            ASSERT_EQ(broken.lines.size(), 2u);
            ASSERT_EQ(broken.lines[1].bytesSjis, "\x42");
            PageLayout unbroken = broken;
            unbroken.lines = {{line, 0}};
            const QImage brokenText = renderPage(broken, font).textImage;
            EXPECT_EQ(brokenText, renderPage(unbroken, font).textImage);
        }
    }
}

TEST(PageBands, EveryPixelAsTheWholePageAndOnlyWhatIsSeen) {
    // Tight lines (gap 1.0) so glyphs and the outline reach across line and band edges.
    QFont font = testFont();
    font.setUnderline(true);
    std::vector<std::string> text;
    for (int i = 0; i < 60; ++i) {
        text.push_back(i % 7 == 3 ? "" : kKanji + "gjpqy" + kMaru + kKanji);
    }
    const PageLayout layout = layoutFor(text, 0, true, measureFont(font, 10));
    const RenderedPage whole = renderPage(layout, font);
    PageBands bands;
    bands.reset(layout, font);
    EXPECT_EQ(bands.width(), whole.textImage.width());
    EXPECT_EQ(bands.height(), whole.textImage.height());
    EXPECT_EQ(bands.bandCount(), 0u);
    const QRgb background = qRgb(90, 160, 220);
    const QImage expected = uncoveredOver(whole, background);
    QImage window(expected.size(), QImage::Format_RGB32);
    window.fill(background);
    QPainter painter(&window);
    // A rectangle inside the first band renders only that band.
    bands.uncover(painter, {{0, 5, bands.width(), 40}, 1, 5});
    EXPECT_EQ(bands.bandCount(), 1u);
    // Strips whose edges fall anywhere relative to the bands, the same rows more than once.
    for (int top = 0; top < bands.height(); top += 37) {
        bands.uncover(painter, {{0, top, bands.width() + 9, 53}, 1, top});
    }
    painter.end();
    EXPECT_EQ(window, expected);
    EXPECT_EQ(bands.wholePage().textImage, whole.textImage);

    bands.keepOnly(PageBands::kBandRows, 2 * PageBands::kBandRows);
    EXPECT_EQ(bands.bandCount(), 1u);
    EXPECT_TRUE(bands.prepareOne(0, 1));
    EXPECT_FALSE(bands.prepareOne(0, PageBands::kBandRows * 2));
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
