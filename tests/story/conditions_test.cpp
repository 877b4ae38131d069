#include <gtest/gtest.h>

#include "common/errors.h"
#include "story/story_state.h"

namespace vrk::story {
namespace {

TEST(StateLineTest, LetterForm) {
    struct Case {
        std::string line;
        char before;
        char after;
    };
    const Case cases[] = {
        {"!A+", 'Z', 'Z'}, {"!A+", 'C', 'D'}, {"!A-", 'A', 'A'}, {"!A-", 'C', 'B'},
        {"!A5", 'A', 'F'}, {"!A0", 'Q', 'A'}, {"!A9", 'A', 'J'}, {"!A@", 'A', 'Q'},
        {"!A*", 'C', 'C'}, {"!AB", 'A', 'K'},  // B holds K below
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line + " from " + c.before);
        StoryState state;
        state.setLetter('A', static_cast<std::uint8_t>(c.before));
        state.setLetter('B', 'K');
        applyStateLine(state, c.line);
        EXPECT_EQ(state.letter('A'), c.after);
    }
}

TEST(StateLineTest, FlagForms) {
    struct Case {
        std::string line;
        std::vector<int> setBefore;
        int flag;
        int expected;
    };
    // Other operations of the copy form do nothing. Lengths 6 and 15 end in a
    // two-character token, which still names a flag; "NOT" clears only the next flag.
    const Case cases[] = {
        {"!001002", {}, 2, 1},       {"!001NOT002", {2}, 2, 0},      {"!001NOT002", {}, 1, 1},
        {"!+010x020", {10}, 20, 1},  {"!+010x020", {20}, 20, 0},     {"!-001x002", {1}, 2, 0},
        {"!-001x002", {}, 2, 1},     {"!*001x002", {}, 2, 0},        {"!001*002x003", {1}, 3, 0},
        {"!001+002x003", {1}, 3, 1}, {"!001*002x003", {1, 2}, 3, 1}, {"!001+002x003", {3}, 3, 0},
        {"!00205", {}, 5, 1},        {"!001002003NOT05", {5}, 5, 0}, {"!NOT001002", {}, 2, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        StoryState state;
        for (int n : c.setBefore) {
            state.setFlag(n, 1);
        }
        applyStateLine(state, c.line);
        EXPECT_EQ(state.flag(c.flag), c.expected);
    }
}

TEST(StateLineTest, FlagCombinationIsOrOnlyForPlus) {
    for (const char operation : std::string("+*-x=:&|0 ")) {
        for (const int n : {0, 1}) {
            for (const int m : {0, 1}) {
                const std::string line = std::string("!001") + operation + "002x003";
                SCOPED_TRACE(testing::Message() << line << " with " << n << ", " << m);
                StoryState state;
                state.setFlag(1, static_cast<std::uint8_t>(n));
                state.setFlag(2, static_cast<std::uint8_t>(m));
                state.setFlag(3, 1);
                applyStateLine(state, line);
                EXPECT_EQ(state.flag(3), operation == '+' ? (n | m) : (n & m));
            }
        }
    }
}

TEST(StateLineTest, BadNumbersFailAfterEarlierTokens) {
    StoryState state;
    EXPECT_THROW(applyStateLine(state, "!001xyz003"), Error);
    EXPECT_EQ(state.flag(1), 1);
    EXPECT_EQ(state.flag(3), 0);
    EXPECT_THROW(applyStateLine(state, "!1a2"), Error);
}

TEST(StateLineTest, OutOfRangeNumbersTouchNothing) {
    StoryState state;
    const StoryState before = state;
    applyStateLine(state, "!-01");  // flag -1
    applyStateLine(state, "!+999x-99");
    applyStateLine(state, "!a+");  // no such letter
    EXPECT_EQ(state.flags, before.flags);
    EXPECT_EQ(state.letters, before.letters);
}

TEST(ConditionTest, Tokens) {
    StoryState state;
    state.setFlag(1, 1);
    state.setLetter('A', 'C');
    state.setLetter('B', 'C');
    struct Case {
        std::string line;
        bool expected;
    };
    const Case cases[] = {
        {"?", true},       {"?001", true},       {"?002", false},       {"?NOT001", false},
        {"?NOT002", true}, {"?001NOT002", true}, {"?001002", false},    {"?A=C", true},
        {"?A<C", false},   {"?A<D", true},       {"?A>B", true},        {"?A>C", false},
        {"?A:B", true},    {"?NOTA=C002", true}, {"?NOTA=C001", false}, {"?001x", true},
        {"?00101", true},  {"?00102", false},  // a line of six ends in a two-character token too
        {"?00", true},  // a line of three has one two-character token; flag 0 is always set
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(evalCondition(state, c.line), c.expected);
    }
}

TEST(ConditionTest, NotBindsTheNextFlagTokenOnly) {
    StoryState state;
    state.setFlag(1, 1);
    state.setLetter('A', 'C');
    for (const char* line : {"?NOT002001", "?NOTA=C002001", "?NOT002NOT003001", "?NOT002A=C001"}) {
        EXPECT_TRUE(evalCondition(state, line)) << line;
    }
    for (const char* line : {"?NOT002002", "?NOT001002", "?NOT002NOT001", "?NOT002003"}) {
        EXPECT_FALSE(evalCondition(state, line)) << line;
    }
}

TEST(ConditionTest, FlagTokenIsConvertedEvenWhenAlreadyFalse) {
    StoryState state;
    EXPECT_THROW(evalCondition(state, "?001xyz"), Error);
    EXPECT_THROW(evalCondition(state, "?1a2"), Error);
}

TEST(SubstituteNamesTest, ReplacesEveryReference) {
    StoryState state;
    state.names[1] = "Taro";
    state.names[9] = "Nine";
    struct Case {
        std::string line;
        std::string expected;
    };
    const Case cases[] = {
        {"%1ab", "Taroab"},
        {"%9", "Nine"},
        {"%1 and %1", "Taro and Taro"},
        {"no names", "no names"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        std::string line = c.line;
        substituteNames(state, line);
        EXPECT_EQ(line, c.expected);
    }
}

TEST(SubstituteNamesTest, TextFromANameIsNotExpandedAgain) {
    StoryState state;
    state.names[1] = "%1%1";
    state.names[2] = "%x";
    std::string line = "[%1][%2]";
    substituteNames(state, line);
    EXPECT_EQ(line, "[%1%1][%x]");
}

TEST(SubstituteNamesTest, ResultIsCutTo255Bytes) {
    StoryState state;
    state.names[1] = std::string(16, 'n');
    std::string line;
    for (int i = 0; i < 40; ++i) {
        line += "%1";
    }
    substituteNames(state, line);
    EXPECT_EQ(line, std::string(255, 'n'));
}

TEST(SubstituteNamesTest, PercentWithoutDigitIsAConversionError) {
    StoryState state;
    std::string atEnd = "text%";
    EXPECT_THROW(substituteNames(state, atEnd), Error);
    std::string letter = "%x";
    EXPECT_THROW(substituteNames(state, letter), Error);
}

}  // namespace
}  // namespace vrk::story
