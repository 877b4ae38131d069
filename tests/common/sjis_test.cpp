#include <gtest/gtest.h>

#include "common/file_names.h"
#include "common/numbers.h"
#include "common/sjis.h"

namespace vrk {
namespace {

TEST(SjisTest, RoundTrips) {
    struct Case {
        std::string sjis;
        std::string utf8;
    };
    const Case cases[] = {
        {"\x82\xA0", "\xE3\x81\x82"},        // U+3042 HIRAGANA LETTER A
        {"\x87\x40", "\xE2\x91\xA0"},        // U+2460 CIRCLED DIGIT ONE (NEC row)
        {"\x87\x54", "\xE2\x85\xA0"},        // U+2160 ROMAN NUMERAL ONE
        {"\x95\x5C", "\xE8\xA1\xA8"},        // U+8868 表, trail byte 0x5C
        {"\\", "\\"},                        // 0x5C stays a backslash
        {"\xB1", "\xEF\xBD\xB1"},            // U+FF71 HALFWIDTH KATAKANA A
        {"abc\x81\x40", "abc\xE3\x80\x80"},  // U+3000 IDEOGRAPHIC SPACE
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.utf8);
        EXPECT_EQ(sjisToUtf8(c.sjis), c.utf8);
        EXPECT_EQ(utf8ToSjis(c.utf8), c.sjis);
    }
}

TEST(SjisTest, BadBytesBecomeReplacementCharacters) {
    EXPECT_EQ(sjisToUtf8("a\x80z"), "a\xEF\xBF\xBDz");
    EXPECT_EQ(sjisToUtf8("\x82"), "\xEF\xBF\xBD");             // a lead byte at the end
    EXPECT_FALSE(utf8ToSjis("\xF0\x9F\x98\x80").has_value());  // U+1F600 has no Shift-JIS form
    EXPECT_EQ(utf8ToSjisLossy("a\xF0\x9F\x98\x80"), "a?");
}

TEST(SjisTest, CutsOnlyBetweenCharacters) {
    const std::string name = "ab\x91\xBE\x98\x59";  // "ab" then 太郎
    EXPECT_EQ(cutSjis(name, 6), name);
    EXPECT_EQ(cutSjis(name, 5), "ab\x91\xBE");  // 郎 would be split
    EXPECT_EQ(cutSjis(name, 3), "ab");
    EXPECT_EQ(cutSjis(name, 0), "");
    EXPECT_EQ(cutSjis("\x91", 4), "");  // a lone lead byte is half a character
}

TEST(NumbersTest, StrictDecimal) {
    EXPECT_EQ(parseDecimal("123"), 123);
    EXPECT_EQ(parseDecimal("-7"), -7);
    EXPECT_EQ(parseDecimal("+7"), 7);
    EXPECT_EQ(parseDecimal("2147483647"), 2147483647);
    EXPECT_EQ(parseDecimal("-2147483648"), -2147483647 - 1);
    for (const char* bad : {"", "xyz", "1a2", " 1", "1 ", "-", "2147483648", "0x10"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(parseDecimal(bad).has_value());
    }
}

TEST(FileNamesTest, SplitsOnlyOutsideTwoByteCharacters) {
    // 表 (0x95 0x5C) and ソ (0x83 0x5C) end in a backslash byte.
    const auto parts = splitFileName("PIC\\\x95\x5C\\\x83\x5C.BMP");
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[1], "\x95\x5C");
    EXPECT_EQ(parts[2], "\x83\x5C.BMP");
    EXPECT_EQ(splitFileName("C:\\GAME\\A.BMP").front(), "/");
    EXPECT_EQ(foldCaseSjis("a\x83\x61z"), "A\x83\x61Z");  // a trail byte is never a letter
}

}  // namespace
}  // namespace vrk
