#include "story/save_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "common/errors.h"
#include "common/file_writing.h"
#include "common/messages.h"

namespace vrk::story {
namespace {

namespace fs = std::filesystem;

std::string lines(std::initializer_list<std::string> items) {
    std::string out;
    for (const std::string& item : items) {
        out += item + "\r\n";
    }
    return out;
}

// A full, well-formed slot with a recognisable value on every line.
std::string fullSlot() {
    StoryState state;
    state.title = "Title";
    state.currentLabel = "P001";
    for (int i = 1; i <= kNameCount; ++i) {
        state.namePrompts[static_cast<std::size_t>(i)] = "prompt" + std::to_string(i);
        state.names[static_cast<std::size_t>(i)] = "name" + std::to_string(i);
    }
    state.flags[1] = state.flags[37] = state.flags[38] = state.flags[999] = 1;
    state.setLetter('Z', 'Q');
    state.bgColour = 3;
    state.textColour = 7;
    state.background = "sPIC.BMP";
    state.currentOffset = 5;
    return formatState(state, 0);
}

StoryState parse(const std::string& text) {
    StoryState state;
    parseState(std::span<const char>(text.data(), text.size()), state);
    return state;
}

TEST(SaveFileTest, RoundTripKeepsEveryField) {
    const std::string text = fullSlot();
    const StoryState state = parse(text);
    EXPECT_EQ(state.title, "Title");
    EXPECT_EQ(state.currentLabel, "P001");
    EXPECT_EQ(state.names[9], "name9");
    EXPECT_EQ(state.flag(37), 1);
    EXPECT_EQ(state.flag(38), 1);
    EXPECT_EQ(state.flag(999), 1);
    EXPECT_EQ(state.flag(2), 0);
    EXPECT_EQ(state.letter('Z'), 'Q');
    EXPECT_TRUE(state.resumeSkip);
    EXPECT_EQ(state.bgColour, 3);
    EXPECT_EQ(state.textColour, 7);
    EXPECT_EQ(state.background, "sPIC.BMP");
    StoryState again = state;
    again.currentOffset = 5;
    EXPECT_EQ(formatState(again, 0), text);
}

TEST(SaveFileTest, ResumeMarkerFollowsTheVrkalterOffset) {
    StoryState state;
    state.currentOffset = 42;
    EXPECT_NE(formatState(state, 42).find("\r\n0\r\n16\r\n16\r\n\r\n"), std::string::npos);
    EXPECT_NE(formatState(state, 7).find("\r\n1\r\n16\r\n16\r\n\r\n"), std::string::npos);
}

TEST(SaveFileTest, ShortAndOddFiles) {
    // Ends after the resume marker: colours default to 16, no background.
    std::string text = fullSlot();
    for (int i = 0; i < 3; ++i) {
        text.erase(text.rfind("\r\n", text.size() - 3) + 2);
    }
    StoryState state = parse(text);
    EXPECT_EQ(state.bgColour, 16);
    EXPECT_EQ(state.textColour, 16);
    EXPECT_EQ(state.background, "");

    // An empty file: every string empty, every flag clear, every letter A.
    state = parse("");
    EXPECT_EQ(state.title, "");
    EXPECT_EQ(state.letter('M'), 'A');
    EXPECT_EQ(state.bgColour, 16);

    // Ctrl-Z ends the file for the trailing lines.
    text = fullSlot();
    const std::size_t colourLine = text.rfind("3\r\n7\r\n");
    text = text.substr(0, colourLine) + "\x1A";
    state = parse(text);
    EXPECT_EQ(state.bgColour, 16);
}

TEST(SaveFileTest, LongLinesAreCut) {
    std::string text =
        lines({std::string(300, 't'), "LONGLABEL99", std::string(20, 'p'), std::string(20, 'n'),
               "p\x8a\xbf\x8a\xbf\x8a\xbf\x8a\xbf\x8a\xbf\x8a\xbf\x8a\xbf\x8a\xbf"});
    StoryState state = parse(text);
    // The eighth 漢 would be split at the 16th byte, so it is left out whole.
    EXPECT_EQ(state.namePrompts[2], "p\x8a\xbf\x8a\xbf\x8a\xbf\x8a\xbf\x8a\xbf\x8a\xbf\x8a\xbf");
    EXPECT_EQ(state.title.size(), 255u);
    EXPECT_EQ(state.currentLabel, "LONGLABE");
    EXPECT_EQ(state.namePrompts[1].size(), 16u);
    EXPECT_EQ(state.names[1].size(), 16u);
}

TEST(SaveFileTest, FlagLinesAndColours) {
    std::string text = lines({"t", "L"});
    for (int i = 0; i < 18; ++i) {
        text += "\r\n";
    }
    text += std::string(40, '1') + "\r\n";  // only 37 count
    text += "X1 1\r\n";                     // anything but 1 is clear
    for (int i = 0; i < 25; ++i) {
        text += "\r\n";
    }
    text += lines({"ABC", "0", "300", "-1", "tBACK"});
    const StoryState state = parse(text);
    EXPECT_EQ(state.flag(37), 1);
    EXPECT_EQ(state.flag(38), 0);
    EXPECT_EQ(state.flag(39), 1);
    EXPECT_EQ(state.flag(40), 0);
    EXPECT_EQ(state.flag(41), 1);
    EXPECT_EQ(state.letter('C'), 'C');
    EXPECT_EQ(state.letter('D'), 'A');  // a short letter line reads A for the rest
    EXPECT_FALSE(state.resumeSkip);
    EXPECT_EQ(state.bgColour, 44);
    EXPECT_EQ(state.textColour, 255);
    EXPECT_EQ(state.background, "tBACK");
}

TEST(SaveFileTest, GarbageColourIsAnError) {
    std::string text = fullSlot();
    text.replace(text.rfind("3\r\n7\r\n"), 1, "\xFF");
    EXPECT_THROW(parse(text), Error);
}

TEST(SaveFileTest, LineBreaksInsideFieldsKeepEveryFieldInPlace) {
    // Fields come from script lines and the defaults block, which may hold any byte.
    StoryState state = parse(fullSlot());
    state.title = "T\nX";
    state.currentLabel = "L\r";
    state.namePrompts[1] = "\n";
    state.names[1] = "a\nb";
    state.names[5] = "x\r\ny";
    state.namePrompts[9] = "\r";
    state.background = "sA\nB.BMP";
    const std::string text = formatState(state, 0);
    const StoryState back = parse(text);
    EXPECT_EQ(back.title, "TX");
    EXPECT_EQ(back.currentLabel, "L\r");  // a CR is kept, even at the end
    EXPECT_EQ(back.namePrompts[1], "");
    EXPECT_EQ(back.names[1], "ab");
    EXPECT_EQ(back.names[5], "x\ry");
    EXPECT_EQ(back.namePrompts[9], "\r");
    EXPECT_EQ(back.names[9], "name9");
    EXPECT_EQ(back.flag(999), 1);
    EXPECT_EQ(back.letter('Z'), 'Q');
    EXPECT_EQ(back.bgColour, 3);
    EXPECT_EQ(back.textColour, 7);
    EXPECT_EQ(back.background, "sAB.BMP");
    StoryState again = back;
    again.currentOffset = 5;
    EXPECT_EQ(formatState(again, 0), text);
    // A fresh slot made from such defaults describes itself as fresh.
    const std::string fresh = initialSlotContent(state);
    EXPECT_EQ(parse(fresh).currentLabel, "VRKSTART");
    EXPECT_EQ(parse(fresh).names[5], "x\ry");
}

class SaveFileOnDiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("vrk_save_test_" + std::to_string(::getpid()));
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        fs::permissions(m_dir, fs::perms::owner_all);
        fs::remove_all(m_dir);
    }
    fs::path m_dir;
};

TEST_F(SaveFileOnDiskTest, MissingFileIsAnIoErrorAndChangesNothing) {
    LabelIndex labels;
    StoryState state;
    state.title = "kept";
    EXPECT_THROW(readState(m_dir / "none.V01", labels, state), Error);
    EXPECT_EQ(state.title, "kept");
}

TEST_F(SaveFileOnDiskTest, ReadLooksUpTheLabel) {
    std::vector<char> index;
    appendLabelRecord(index, "P001", 77);
    LabelIndex labels;
    labels.loadBytes(index);
    const fs::path path = m_dir / "S.V01";
    ASSERT_TRUE(replaceFile(path, fullSlot()));
    StoryState state;
    readState(path, labels, state);
    EXPECT_EQ(state.currentOffset, 77);
    std::string text = fullSlot();
    text.replace(text.find("P001"), 4, "P999");
    ASSERT_TRUE(replaceFile(path, text));
    readState(path, labels, state);
    EXPECT_EQ(state.currentOffset, -1);
}

TEST_F(SaveFileOnDiskTest, FailedWriteLeavesThePreviousFile) {
    const fs::path path = m_dir / "S.V01";
    ASSERT_TRUE(replaceFile(path, "old"));
    if (::geteuid() == 0) {
        // Root writes anywhere; a path under a regular file fails for everyone.
        EXPECT_FALSE(writeState(path / "child", StoryState{}, LabelIndex{}));
    } else {
        fs::permissions(m_dir, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_FALSE(writeState(path, StoryState{}, LabelIndex{}));
        fs::permissions(m_dir, fs::perms::owner_all);
    }
    std::ifstream in(path);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "old");
    for (const auto& entry : fs::directory_iterator(m_dir)) {
        EXPECT_EQ(entry.path().filename(), "S.V01") << "a temporary file was left behind";
    }
}

TEST_F(SaveFileOnDiskTest, DescribesSlots) {
    struct Case {
        std::string content;
        std::string comment;
        bool fresh;
    };
    const Case cases[] = {
        {lines({"T", "VRKSTART", "a", "b"}), std::string(messages::kUnusedSlot), true},
        {lines({"T", "VRKSTARTX", "????", "????"}), std::string(messages::kSlotInUse), false},
        {lines({"T", "P1", "hero", "Taro"}), "hero:Taro", false},
        {lines({"T", "P1", "????", "Taro"}), "????:Taro", false},  // both must be "????"
        {lines({"T", "P1", "hero", "????"}), "hero:????", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.content);
        ASSERT_TRUE(replaceFile(m_dir / "S.V02", c.content));
        const SlotDescription description = describeSlotFile(m_dir / "S.V02");
        EXPECT_EQ(description.captionSjis, "T");
        EXPECT_EQ(description.commentSjis, c.comment);
        EXPECT_EQ(description.fresh, c.fresh);
    }
    EXPECT_THROW(describeSlotFile(m_dir / "S.V03"), Error);
}

TEST(InitialSlotTest, DefaultsBlockNamesAreCutToWholeCharacters) {
    const std::string kanji = "\x8a\xbf";  // U+6F22 漢
    std::string eight;
    for (int i = 0; i < 8; ++i) {
        eight += kanji;
    }
    std::vector<char> script;
    appendScriptLine(script, "x" + eight);  // 17 bytes: the eighth character would be split
    appendScriptLine(script, eight + "x");  // 17 bytes: the cut falls between characters
    appendScriptLine(script, std::string(20, 'n'));
    appendScriptLine(script, "");
    for (int i = 3; i <= kNameCount; ++i) {
        appendScriptLine(script, "????");
        appendScriptLine(script, "????");
    }
    appendScriptLine(script, "Tale");
    std::vector<char> index;
    appendLabelRecord(index, "VRKALTER", 0);
    LabelIndex labels;
    labels.loadBytes(index);
    ScriptReader reader;
    reader.openBytes(std::move(script));
    StoryState state;
    readDefaultsBlock(reader, labels, state);
    EXPECT_EQ(state.namePrompts[1], "x" + eight.substr(0, 14));
    EXPECT_EQ(state.names[1], eight);
    EXPECT_EQ(state.namePrompts[2], std::string(16, 'n'));
    EXPECT_EQ(state.names[9], "????");
    EXPECT_EQ(state.title, "Tale");
}

TEST(InitialSlotTest, HoldsTheDefaultsAndFreshValues) {
    StoryState defaults;
    defaults.title = "T";
    defaults.namePrompts[1] = "P";
    defaults.names[1] = "N";
    defaults.flags[5] = 1;
    const std::string text = initialSlotContent(defaults);
    EXPECT_EQ(text.substr(0, 19), "T\r\nVRKSTART\r\nP\r\nN\r\n");
    EXPECT_NE(text.find(std::string(37, '0') + "\r\n" + std::string(26, 'A') + "\r\n0\r\n16\r\n16\r\n\r\n"),
              std::string::npos);
    EXPECT_EQ(text.find('1'), text.find("16\r\n"));  // no flag set: the first 1 is a colour
}

}  // namespace
}  // namespace vrk::story
