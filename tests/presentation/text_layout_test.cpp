#include "presentation/text_layout.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/sjis.h"
#include "presentation/font_names.h"

namespace vrk::presentation {
namespace {

const std::string kKanji = "\x8a\xbf";  // U+6F22 漢
const std::string kMaru = "\x81\x42";   // U+3002 IDEOGRAPHIC FULL STOP
const std::string kTen = "\x81\x41";    // U+3001 IDEOGRAPHIC COMMA

std::string repeat(const std::string& unit, int times) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += unit;
    }
    return out;
}

// 8-pixel cells: a client of 512 + 16 gives (512 div 16) − 1 = 31 columns; 496 gives 30.
LayoutInput inputFor(int columns) {
    LayoutInput input;
    input.metrics = {8, 2, 20};
    input.clientWidth = (columns + 1) * 16 + 16;
    return input;
}

std::vector<int> steps(const PageLayout& layout) {
    return {layout.revealTable.begin() + 1, layout.revealTable.begin() + layout.revealTotal + 1};
}

TEST(FontMetrics, FromMeasurements) {
    // (98 + 2) div 10 = 10; 20 − 20 + 2 = 2; 25 × 12 / 10 = 30.
    const FontMetrics m = measureFont(98, 20, 25, 12);
    EXPECT_EQ(m.cellWidth, 10);
    EXPECT_EQ(m.edgeAllowance, 2);
    EXPECT_EQ(m.lineHeight, 30);
    EXPECT_EQ(measureFont(98, 25, 25, 12).edgeAllowance, 7);
    EXPECT_EQ(measureFont(98, 10, 25, 12).edgeAllowance, 2);  // never below 2
    EXPECT_EQ(lineHeightFor(23, 13), 29);                     // 29.9 truncated
    EXPECT_EQ(lineHeightFor(25, 0), 1);                       // a zero gap would divide by zero later
    EXPECT_EQ(measureFont(0, 0, 0, 12).cellWidth, 1);
}

TEST(TextLayout, ImageSizeAndColumns) {
    const std::vector<std::string> page = {"abc", "", repeat("x", 61)};
    const PageLayout layout = layoutPage(page, inputFor(30));
    EXPECT_EQ(layout.columns, 30);
    EXPECT_EQ(layout.imageWidth, 542);
    EXPECT_EQ(layout.imageLines, 1 + 1 + 2);
    EXPECT_EQ(layout.imageHeight, 4 * 20 + 2);
    EXPECT_EQ(columnsFor(40, 16, 8), 1);  // too narrow for a column still lays out
}

struct BreakCase {
    const char* name;
    std::vector<std::string> page;
    std::vector<std::string> drawn;  // display lines in order
    std::vector<int> rows;
    std::vector<int> steps;
};

TEST(TextLayout, BreakingAndSteps) {
    const int n = 4;  // 8 bytes per display line
    const std::vector<BreakCase> cases = {
        {"empty line is one blank line, one step", {""}, {}, {}, {4}},
        {"full line of kanji", {repeat(kKanji, 4)}, {repeat(kKanji, 4)}, {0}, {1, 2, 3, 4}},
        {"full line of letters has columns steps", {"abcdefgh"}, {"abcdefgh"}, {0}, {1, 2, 3, 4}},
        {"split character begins the next line",
         {"a" + repeat(kKanji, 4)},
         {"a" + repeat(kKanji, 3), kKanji},
         {0, 1},
         {1, 2, 3, 4, 8}},
        {"hanging mark stays on the line, the second does not hang",
         {repeat(kKanji, 4) + kMaru + kTen + "z"},
         {repeat(kKanji, 4) + kMaru, kTen + "z"},
         {0, 1},
         {1, 2, 3, 4, 5, 8}},
        {"rows run over the page, empty lines included",
         {"ab", "", "cd"},
         {"ab", "cd"},
         {0, 2},
         {1, 4, 8, 9, 12}},
        {"leftover letter gets its own line", {"abcdefghi"}, {"abcdefgh", "i"}, {0, 1}, {1, 2, 3, 4, 8}},
        {"leftover half of a character is left out", {"abcdefgh\x8a"}, {"abcdefgh"}, {0}, {1, 2, 3, 4}},
    };
    for (const BreakCase& c : cases) {
        SCOPED_TRACE(c.name);
        LayoutInput input = inputFor(n);
        const PageLayout layout = layoutPage(c.page, input);
        std::vector<std::string> drawn;
        std::vector<int> rows;
        for (const DisplayLine& line : layout.lines) {
            drawn.push_back(line.bytesSjis);
            rows.push_back(line.row);
        }
        EXPECT_EQ(drawn, c.drawn);
        EXPECT_EQ(rows, c.rows);
        // The last slot always reaches the end of the image's last line.
        std::vector<int> expected = c.steps;
        expected.back() = n * layout.imageLines;
        EXPECT_EQ(steps(layout), expected);
    }
}

// Half-width katakana are single bytes that the layout pairs into full-width cells. An odd run
// that ends the line leaves its last character unpaired: it stays where it stands while the line
// has room for it, and only a character paired with a byte beyond the line's end moves down.
TEST(TextLayout, OddHalfWidthRunAtTheEndOfALineStaysOnIt) {
    const std::string te = "\xc3";    // ﾃ
    const std::string su = "\xbd";    // ｽ
    const std::string to = "\xc4";    // ﾄ
    const std::string kana = "\xb1";  // ｱ
    const int n = 4;                  // 8 bytes per display line
    const std::vector<BreakCase> cases = {
        {"a short odd run", {te + su + to}, {te + su + to}, {0}, {1, 4}},
        {"the lines below stay in place", {te + su + to, "ab"}, {te + su + to, "ab"}, {0, 1}, {1, 4, 5, 8}},
        {"a lone katakana after letters", {"abc" + kana}, {"abc" + kana}, {0}, {1, 2, 3, 4}},
        {"an odd run filling the last cell",
         {"abcde" + te + su + to},
         {"abcde" + te + su + to},
         {0},
         {1, 2, 3, 4}},
        {"after kanji",
         {kKanji + kKanji + kKanji + kana},
         {kKanji + kKanji + kKanji + kana},
         {0},
         {1, 2, 3, 4}},
        {"the odd one of a longer run on the second line",
         {repeat(kana, 11)},
         {repeat(kana, 8), repeat(kana, 3)},
         {0, 1},
         {1, 2, 3, 4, 5, 8}},
        {"a lone byte of 0x80 or above that is no lead byte",
         {"abcdefg\xa0"},
         {"abcdefg\xa0"},
         {0},
         {1, 2, 3, 4}},
        {"no room left: the katakana moves down",
         {"abcdefgh" + kana},
         {"abcdefgh", kana},
         {0, 1},
         {1, 2, 3, 4, 8}},
        {"paired with a byte past the line's end, it moves down",
         {"abcde" + te + su + to + kana},
         {"abcde" + te + su, to + kana},
         {0, 1},
         {1, 2, 3, 4, 8}},
        // Paired with the lead byte of a kanji, the run leaves the kanji's second byte alone at
        // the end: it is drawn with its lead byte, and no empty display line follows.
        {"a katakana before a kanji", {kana + kKanji}, {kana + kKanji}, {0}, {1, 4}},
        {"an odd run before a kanji", {te + su + to + kKanji}, {te + su + to + kKanji}, {0}, {1, 2, 4}},
        {"a real lead byte ending the line is still left out", {"abc\x8a"}, {"abc"}, {0}, {1, 2, 3, 4}},
    };
    for (const BreakCase& c : cases) {
        SCOPED_TRACE(c.name);
        const PageLayout layout = layoutPage(c.page, inputFor(n));
        std::vector<std::string> drawn;
        std::vector<int> rows;
        for (const DisplayLine& line : layout.lines) {
            drawn.push_back(line.bytesSjis);
            rows.push_back(line.row);
        }
        EXPECT_EQ(drawn, c.drawn);
        EXPECT_EQ(rows, c.rows);
        std::vector<int> expected = c.steps;
        expected.back() = n * layout.imageLines;
        EXPECT_EQ(steps(layout), expected);
    }
    // Each character of the kept run is drawn in the cell of its own byte.
    const PageLayout layout = layoutPage(std::vector<std::string>{"ab" + te + su + to}, inputFor(n));
    ASSERT_EQ(layout.lines.size(), 1u);
    const std::vector<DrawnCharacter> expected = {{0, "a"}, {1, "b"}, {2, te}, {3, su}, {4, to}};
    EXPECT_EQ(drawnCharacters(layout.lines[0], nullptr), expected);
    const PageLayout beforeKanji = layoutPage(std::vector<std::string>{te + su + to + kKanji}, inputFor(n));
    ASSERT_EQ(beforeKanji.lines.size(), 1u);
    const std::vector<DrawnCharacter> withKanji = {{0, te}, {1, su}, {2, to}, {3, kKanji}};
    EXPECT_EQ(drawnCharacters(beforeKanji.lines[0], nullptr), withKanji);
}

TEST(TextLayout, ImageGrowsForLinesOfSplitCharacters) {
    // One column: "a" and the next character's first byte fill a chunk, so every kanji splits.
    const std::string line = "a" + kKanji + "a" + kKanji + "a" + kKanji;
    EXPECT_EQ(imageLinesFor(std::vector<std::string>{line}, 1), 5);
    const PageLayout layout = layoutPage(std::vector<std::string>{line}, inputFor(1));
    ASSERT_EQ(layout.lines.size(), 6u);
    EXPECT_EQ(layout.lines.back().row, 5);
    EXPECT_EQ(layout.imageLines, 6);
    EXPECT_EQ(layout.imageHeight, 6 * 20 + 2);
    EXPECT_EQ(layout.revealTable[static_cast<std::size_t>(layout.revealTotal)], 6);
}

// Whatever the bytes, breaking loses nothing but the first half of a character cut off at the
// end of the line, keeps display lines within 255 bytes and the steps within their line.
TEST(TextLayout, RandomBytesKeepTheLimitsAndLoseNoText) {
    std::mt19937 random(7);
    const std::string alphabet = "ab \x81\x42\x81\x41\x8a\xbf\xb1\xdf\x80\xa0\xfd\x7f";
    for (int round = 0; round < 400; ++round) {
        const int columns = 1 + static_cast<int>(random() % 140);
        std::string line(random() % 600, ' ');
        for (char& c : line) {
            c = alphabet[random() % alphabet.size()];
        }
        SCOPED_TRACE(testing::Message() << "round " << round << ", " << columns << " columns");
        std::vector<DisplayLine> lines;
        std::vector<std::uint16_t> table(kMaxRevealSteps + 1, 0);
        int count = 0;
        const int rows = breakLine(line, 0, columns, lines, table, count);
        std::string joined;
        for (const DisplayLine& d : lines) {
            ASSERT_LE(d.bytesSjis.size(), kMaxDisplayLineBytes);
            ASSERT_LT(d.row, rows);
            joined += d.bytesSjis;
        }
        std::size_t last = 0;
        for (std::size_t i = 0; i < line.size(); i += characterBytes(line, i)) {
            last = i;
        }
        const bool cutHalf = !line.empty() && last + 1 == line.size() &&
                             isSjisLeadByte(static_cast<unsigned char>(line.back()));
        EXPECT_EQ(joined, cutHalf ? line.substr(0, line.size() - 1) : line);
        for (int i = 1; i <= count; ++i) {
            ASSERT_GE(table[static_cast<std::size_t>(i)], 1);
            ASSERT_LE(table[static_cast<std::size_t>(i)], rows * columns);
        }
    }
}

TEST(TextLayout, HangingMarkNeverCutInHalf) {
    // 128 columns would allow 256 bytes; the display line stops at 255 and 253 + mark still fits.
    LayoutInput input = inputFor(128);
    const std::string full = repeat(kKanji, 127);  // 254 bytes: no room for a mark
    const PageLayout layout = layoutPage(std::vector<std::string>{full + kMaru}, input);
    ASSERT_EQ(layout.lines.size(), 2u);
    EXPECT_EQ(layout.lines[0].bytesSjis, full);
    EXPECT_EQ(layout.lines[1].bytesSjis, kMaru);
    const PageLayout roomy = layoutPage(std::vector<std::string>{repeat(kKanji, 126) + kMaru}, inputFor(126));
    ASSERT_EQ(roomy.lines.size(), 1u);
    EXPECT_EQ(roomy.lines[0].bytesSjis.size(), 254u);
}

TEST(TextLayout, StepTableCapsAt15000) {
    // 40 lines of 400 kanji at 1 column: 16000 steps, the last 1000 merged into slot 15000.
    LayoutInput input = inputFor(1);
    const std::vector<std::string> page(40, repeat(kKanji, 400));
    const PageLayout layout = layoutPage(page, input);
    EXPECT_EQ(layout.revealTotal, kMaxRevealSteps);
    EXPECT_EQ(layout.revealTable[kMaxRevealSteps], layout.columns * layout.imageLines);
    EXPECT_EQ(layout.revealTable[kMaxRevealSteps - 1], kMaxRevealSteps - 1);
}

TEST(TextLayout, RevealProportionKeptAcrossRelayout) {
    const std::vector<std::string> page(90, kKanji);  // 90 display lines, one step each
    struct Case {
        const char* name;
        int count, total;
        bool nonstop;
        int expected;
    };
    const Case cases[] = {
        {"half shown stays half", 50, 100, false, 45},
        {"new page starts from nothing", 0, 100, false, 0},
        {"nonstop shows everything", 0, 100, true, 90},
        {"nonstop while half shown", 50, 100, true, 90},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LayoutInput input = inputFor(30);
        input.previousRevealCount = c.count;
        input.previousRevealTotal = c.total;
        input.nonstop = c.nonstop;
        const PageLayout layout = layoutPage(page, input);
        EXPECT_EQ(layout.revealTotal, 90);
        EXPECT_EQ(layout.revealCount, c.expected);
    }
}

TEST(TextLayout, ColoursByNumberAndContrast) {
    struct Case {
        int number;
        bool contrast;
        std::uint32_t text, outline;
    };
    const Case cases[] = {
        {16, false, 0xFFFFFF, 0x800000}, {16, true, 0xFFFFFF, 0x800000}, {0, false, 0x000000, 0x008080},
        {0, true, 0x000000, 0x00FFFF},   {2, true, 0x0000FF, 0x800000},  {14, false, 0x008080, 0x800000},
        {9, false, 0x800000, 0x008080},  {15, true, 0xC0C0C0, 0x00FFFF}, {200, false, 0xFFFFFF, 0x800000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "colour " << c.number << " contrast " << c.contrast);
        const TextColours colours = textColours(c.number, c.contrast);
        EXPECT_EQ(colours.text, c.text);
        EXPECT_EQ(colours.outline, c.outline);
    }
}

}  // namespace
}  // namespace vrk::presentation

namespace vrk::presentation {
namespace {

TEST(FontNames, WindowsFacesGetTheirCounterpartsWhateverTheirSpelling) {
    EXPECT_EQ(counterpartFamily("ＭＳ 明朝"), "IPAMincho");
    EXPECT_EQ(counterpartFamily("MS  Mincho"), "IPAMincho");
    EXPECT_EQ(counterpartFamily("ｍｓ　Ｐゴシック"), "IPAPGothic");
    EXPECT_EQ(counterpartFamily("FixedSys"), "IPAGothic");
    EXPECT_EQ(counterpartFamily("IPAMincho"), "");
    EXPECT_EQ(counterpartFamily("MS"), "");
    EXPECT_EQ(normalisedFaceName("ＡＢ c\xe3\x80\x80"
                                 "D"),
              "abcd");
    // A broken sequence is kept byte for byte rather than read past the end.
    EXPECT_EQ(normalisedFaceName("M\xe6\x98"), "m\xe6\x98");
}

TEST(GlyphMetrics, TheSamplesAreMeasuredThroughTheMeasurer) {
    struct Measurer : TextMeasurer {
        int textWidth(std::string_view textSjis) const override { return textSjis == kSampleSjis ? 128 : 33; }
        int textHeight(std::string_view) const override { return 25; }
    };
    const FontMetrics m = measureFont(Measurer(), 12);
    EXPECT_EQ(m.cellWidth, 13);
    EXPECT_EQ(m.edgeAllowance, 33 - 26 + 2);
    EXPECT_EQ(m.lineHeight, 30);
}

}  // namespace
}  // namespace vrk::presentation
