// The built-in code page 932 table against the C library's converter, every byte pair and every
// character, where the C library has one.

#include <gtest/gtest.h>
#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>

#include "common/sjis.h"

namespace vrk {
namespace {

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() {
        if (ok()) {
            iconv_close(m_cd);
        }
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    std::optional<std::string> convert(std::string in) {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char buffer[16];
        char* inPtr = in.data();
        std::size_t inLeft = in.size();
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        if (iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0) {
            return std::nullopt;
        }
        return std::string(buffer, outPtr);
    }

private:
    iconv_t m_cd;
};

std::string utf8Of(char32_t cp) {
    std::string out;
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return out;
}

std::optional<std::string> tableUtf8(std::optional<char32_t> cp) {
    return cp ? std::optional<std::string>(utf8Of(*cp)) : std::nullopt;
}

TEST(Cp932TableTest, ReadsEveryByteAndPairAsIconvDoes) {
    Iconv toUtf8("UTF-8", "CP932");
    if (!toUtf8.ok()) {
        GTEST_SKIP() << "this C library's iconv has no CP932";
    }
    int pairs = 0;
    for (int first = 0; first < 256; ++first) {
        const auto lead = static_cast<unsigned char>(first);
        if (!isSjisLeadByte(lead)) {
            ASSERT_EQ(tableUtf8(sjisCharacter(lead)), toUtf8.convert(std::string(1, static_cast<char>(lead))))
                << "byte " << first;
            continue;
        }
        for (int second = 0; second < 256; ++second) {
            const auto trail = static_cast<unsigned char>(second);
            const auto expected = toUtf8.convert({static_cast<char>(lead), static_cast<char>(trail)});
            ASSERT_EQ(tableUtf8(sjisCharacter(lead, trail)), expected) << "pair " << first << " " << second;
            pairs += expected.has_value();
        }
    }
    EXPECT_GT(pairs, 9000);  // JIS X 0208, the vendor rows and the user area
}

TEST(Cp932TableTest, WritesEveryCharacterAsIconvDoes) {
    Iconv toSjis("CP932", "UTF-8");
    if (!toSjis.ok()) {
        GTEST_SKIP() << "this C library's iconv has no CP932";
    }
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            continue;
        }
        const std::optional<std::uint16_t> code = sjisCode(cp);
        std::optional<std::string> ours;
        if (code) {
            ours = *code > 0xFF ? std::string{static_cast<char>(*code >> 8), static_cast<char>(*code & 0xFF)}
                                : std::string(1, static_cast<char>(*code));
        }
        std::optional<std::string> expected = toSjis.convert(utf8Of(cp));
        if (expected && expected->empty() && cp >= 0xE0000 && cp <= 0xE007F) {
            expected.reset();  // glibc drops language tags without a word; the table has no form for them
        }
        ASSERT_EQ(ours, expected) << "U+" << std::hex << static_cast<std::uint32_t>(cp);
    }
}

TEST(Cp932TableTest, CharactersOfSeveralCodesAreWrittenAsWindowsWritesThem) {
    struct Case {
        char32_t cp;
        std::uint16_t code;
    };
    const Case cases[] = {
        {0x2235, 0x81E6},  // ∵ in JIS X 0208, the NEC row and the IBM rows: JIS wins
        {0x2252, 0x81E0},  // ≒ in JIS X 0208 and the NEC row
        {0xFFE2, 0x81CA},  // ￢ in JIS X 0208, NEC-selected IBM and IBM
        {0x2160, 0x8754},  // Ⅰ in the NEC row and the IBM rows: the NEC row wins
        {0x2116, 0x8782},  // №
        {0x2170, 0xFA40},  // ⅰ in NEC-selected IBM and IBM: the IBM rows win
        {0x7E8A, 0xFA5C},  // 纊
        {0xFFE4, 0xFA55},  // ￤
    };
    for (const Case& c : cases) {
        EXPECT_EQ(sjisCode(c.cp), c.code) << std::hex << static_cast<std::uint32_t>(c.cp);
    }
    // Each of those codes still reads back as its character.
    EXPECT_EQ(sjisCharacter(0xED, 0x40), U'\u7E8A');
    EXPECT_EQ(sjisCharacter(0xEE, 0xEF), U'\u2170');
    EXPECT_EQ(sjisCharacter(0x87, 0x9A), U'\u2235');
}

TEST(Cp932TableTest, MalformedUtf8IsNeverWritten) {
    for (const std::string bad : {"\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE3\x81",
                                  "\x81", "\xE3\x41\x82"}) {
        EXPECT_FALSE(utf8ToSjis(bad).has_value());
    }
    EXPECT_EQ(utf8ToSjisLossy("a\xE3\x41\x82z"), "a?z");  // the presumed sequence is skipped whole
}

}  // namespace
}  // namespace vrk
