#include "common/terminal_text.h"

#include <gtest/gtest.h>

namespace vrk {
namespace {

TEST(TerminalTextTest, EveryControlIsShownEscapedAndNothingElseChanges) {
    // Plain text, tabs, backslashes and characters beyond ASCII pass as they are.
    EXPECT_EQ(terminalText("a\tb \\x1b 日本語 ¥ \xF0\x9F\x98\x80"), "a\tb \\x1b 日本語 ¥ \xF0\x9F\x98\x80");
    EXPECT_EQ(terminalText(""), "");
    // C0 controls and DEL.
    EXPECT_EQ(terminalText("\x1b]0;title\x07"), "\\x1b]0;title\\x07");
    EXPECT_EQ(terminalText("one\ntwo\r\n"), "one\\ntwo\\r\\n");
    EXPECT_EQ(terminalText(std::string("\0\x01\x1f\x7f", 4)), "\\x00\\x01\\x1f\\x7f");
    // C1 controls in UTF-8 (CSI and OSC are single characters there), and their neighbours.
    EXPECT_EQ(terminalText("\xC2\x80\xC2\x9B"
                           "2J\xC2\x9D"),
              "\\u0080\\u009b2J\\u009d");
    EXPECT_EQ(terminalText("\xC2\x7F"), "\\xc2\\x7f");
    EXPECT_EQ(terminalText("\xC2\xA0\xC3\xA9"), "\xC2\xA0\xC3\xA9");
    // Bytes that form no character are shown, not passed on to a terminal that might take a
    // lone 0x9B for CSI: stray continuations, overlong forms, surrogates, cut sequences.
    EXPECT_EQ(terminalText("\x9B"
                           "2J"),
              "\\x9b2J");
    EXPECT_EQ(terminalText("\xC0\x9B"), "\\xc0\\x9b");
    EXPECT_EQ(terminalText("\xE0\x82\x9B"), "\\xe0\\x82\\x9b");
    EXPECT_EQ(terminalText("\xED\xA0\x80"), "\\xed\\xa0\\x80");
    EXPECT_EQ(terminalText("\xE6\x97"), "\\xe6\\x97");
    EXPECT_EQ(terminalText("\xF4\x90\x80\x80"), "\\xf4\\x90\\x80\\x80");
    // The result is always one line a terminal does nothing with.
    std::string all;
    for (int byte = 0; byte < 256; ++byte) {
        all.push_back(static_cast<char>(byte));
    }
    for (const char c : terminalText(all)) {
        const auto byte = static_cast<unsigned char>(c);
        EXPECT_TRUE((byte >= 0x20 && byte < 0x7F) || byte == '\t') << int(byte);
    }
}

}  // namespace
}  // namespace vrk
