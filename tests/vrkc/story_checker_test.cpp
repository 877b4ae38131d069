#include "vrkc/story_checker.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <fstream>

#include "story/script.h"
#include "vrkc/story_compiler.h"

namespace vrk::compiler {
namespace {

namespace fs = std::filesystem;

// Nine unasked names and a title: a complete defaults block.
const std::string kDefaults = [] {
    std::string block = "*VRKALTER\n";
    for (int i = 0; i < 18; ++i) {
        block += "????\n";
    }
    return block + "title\n";
}();

class StoryCheckerTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("vrkc_check_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void writeFile(const std::string& name, const std::string& bytes) {
        fs::create_directories((m_dir / name).parent_path());
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
    }

    // Findings as "LINE: MESSAGE" for a source; the file name is the test's own. Warnings
    // only with warnings(), and then only they.
    std::vector<std::string> check(const std::string& source, bool warnings = false) {
        writeFile("story.txt", source);
        std::string error;
        const auto story = loadForCheck(m_dir / "story.txt", false, &error);
        EXPECT_TRUE(story.has_value()) << error;
        std::vector<std::string> out;
        for (const Finding& finding : checkStory(story.value_or(CheckedStory{}))) {
            if (finding.warning != warnings) {
                continue;
            }
            std::string where = finding.where;
            const std::string prefix = (m_dir / "story.txt").string();
            if (where.starts_with(prefix)) {
                where.erase(0, prefix.size() + 1);
            }
            out.push_back(where + ": " + finding.message);
        }
        return out;
    }
    std::vector<std::string> warnings(const std::string& source) { return check(source, true); }

    fs::path m_dir;
};

bool anyHas(const std::vector<std::string>& findings, const std::string& text) {
    return std::any_of(findings.begin(), findings.end(),
                       [&](const std::string& f) { return f.find(text) != std::string::npos; });
}

std::string dump(const std::vector<std::string>& findings) {
    std::string out;
    for (const auto& f : findings) {
        out += f + "\n";
    }
    return out;
}

// A 2x1 24-bit bottom-up BMP.
std::string tinyBmp() {
    std::string bmp = "BM";
    const auto le32 = [&](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bmp.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
        }
    };
    const auto le16 = [&](std::uint16_t v) {
        bmp.push_back(static_cast<char>(v & 0xFF));
        bmp.push_back(static_cast<char>(v >> 8));
    };
    le32(54 + 8);
    le32(0);
    le32(54);
    le32(40);
    le32(2);
    le32(1);
    le16(1);
    le16(24);
    le32(0);
    le32(8);
    le32(0);
    le32(0);
    le32(0);
    le32(0);
    bmp += std::string("\x10\x20\x30\x40\x50\x60\0\0", 8);
    return bmp;
}

TEST_F(StoryCheckerTest, ACleanStoryHasNoFindings) {
    writeFile("pic.bmp", tinyBmp());
    writeFile("theme.mid", "MThd");
    const auto findings = check(
        "*START\n!001NOT002\n?A<C\n!A+\n>COL=9\n>BMP=%P%pic.bmp\n>BGM=theme.mid\n"
        "text %1\n?\ngo\n?001,NEXT\nSTART\n?NOT003\nother\nNEXT\n?END\n"
        "*NEXT\n@NOWAIT\nskipped\nLAST\n*LAST\nnothing to choose\n?END\nEND\n*END\nbye\n/\n" +
        kDefaults + "*VRKVER@10350\n");
    EXPECT_TRUE(findings.empty()) << dump(findings);
}

TEST_F(StoryCheckerTest, JumpsIntoNothingAndLabelsNothingReaches) {
    const auto findings = check(
        "*START\ntext\n?\ncap\nNOWHERE\n?\ncap\n?001,GHOST\nSTART\n?END\n"
        "*HOP\n@NOWAIT\nx\nLOST\n"
        "*EMPTY\ntext\n?END\n\nVOID\n" +
        kDefaults);
    EXPECT_TRUE(anyHas(findings, "5: jump target \"NOWHERE\" is not in the label index")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "8: jump target \"GHOST\"")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "14: jump target \"LOST\"")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "19: jump target \"VOID\"")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "\"HOP\" (offset")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "no page leads to this label")) << dump(findings);
    // The story's start and the reserved labels need nothing to lead to them.
    EXPECT_FALSE(anyHas(findings, "\"START\" (offset")) << dump(findings);
    EXPECT_FALSE(anyHas(findings, "\"VRKALTER\" (offset")) << dump(findings);
}

TEST_F(StoryCheckerTest, FlagsUsedOnlyOneWayAreWarnings) {
    const std::string source =
        "*START\n!001NOT002NOT003\n?004\n!005\ntext\n"
        "?006\ngo\n?NOT004,NEXT\n?009,NEXT\nNEXT\n?END\n"
        // 6 is copied into 7, 8 and 9 combine into 10: sources are read, targets written.
        "*NEXT\n!+006,007\n!008+009,010\n?003\n!011\nt\n?\nend\n?001A=B,END\n?007010,END\nEND\n?END\n"
        "*END\n!NOT004\n?012\nbye\n/\n" +
        kDefaults;
    const auto found = warnings(source);
    EXPECT_TRUE(anyHas(found, "2: flag 2 is cleared but never set or tested")) << dump(found);
    EXPECT_TRUE(anyHas(found, "3: flag 4 is tested but never set (only cleared): it is always clear"))
        << dump(found);
    EXPECT_TRUE(anyHas(found, "4: flag 5 is set but never tested")) << dump(found);
    EXPECT_TRUE(anyHas(found, "6: flag 6 is tested but never set")) << dump(found);
    EXPECT_TRUE(anyHas(found, "9: flag 9 is tested but never set")) << dump(found);
    EXPECT_TRUE(anyHas(found, "14: flag 8 is tested but never set")) << dump(found);
    EXPECT_TRUE(anyHas(found, "15: flag 3 is tested but never set (only cleared)")) << dump(found);
    EXPECT_TRUE(anyHas(found, "16: flag 11 is set but never tested")) << dump(found);
    EXPECT_TRUE(anyHas(found, "26: flag 12 is tested but never set")) << dump(found);
    // Set on one page and tested on another, in either order.
    for (const char* fine : {"flag 1 ", "flag 7 ", "flag 10 "}) {
        EXPECT_FALSE(anyHas(found, fine)) << fine << "\n" << dump(found);
    }
    // Each flag once, at its first such line.
    EXPECT_EQ(found.size(), 9u) << dump(found);
    // Warnings are no faults: the story has none.
    EXPECT_TRUE(check(source).empty()) << dump(check(source));
}

TEST_F(StoryCheckerTest, LabelsOnlyUnreachablePagesLeadToAreWarnings) {
    const std::string source =
        "*START\ntext\n?\ngo\nEND\n?END\n"
        // ISLAND and SHORE lead to each other and on to END; nothing the start reaches leads
        // to either of them.
        "*ISLAND\ntext\n?\nswim\nSHORE\n?END\n"
        "*SHORE\ntext\n?\nback\nISLAND\n?\nhome\nEND\n?END\n"
        "*END\nbye\n/\n"
        // Nothing at all leads to ALONE: that stays a fault of its own, and no warning.
        "*ALONE\ntext\n?\nfar\nSHORE\n?END\n" +
        kDefaults;
    const auto found = warnings(source);
    EXPECT_TRUE(anyHas(found,
                       "record 2 \"ISLAND\" (offset 19): no reading from the start reaches this label: "
                       "only pages no reading reaches lead to it (from \"SHORE\")"))
        << dump(found);
    EXPECT_TRUE(anyHas(found,
                       "\"SHORE\" (offset 42): no reading from the start reaches this label: only "
                       "pages no reading reaches lead to it (from \"ISLAND\", \"ALONE\")"))
        << dump(found);
    EXPECT_FALSE(anyHas(found, "record 4")) << dump(found);
    EXPECT_FALSE(anyHas(found, "record 5")) << dump(found);
    EXPECT_EQ(found.size(), 2u) << dump(found);
    const auto faults = check(source);
    EXPECT_TRUE(anyHas(faults, "\"ALONE\" (offset 83): no page leads to this label")) << dump(faults);
    EXPECT_EQ(faults.size(), 1u) << dump(faults);
}

TEST_F(StoryCheckerTest, NumberFieldsThatAreNotNumbers) {
    const auto findings = check(
        "*START\n!00x\n!+0a1x002\n!001*002xzz9\n?001NOTabc\n?A=C\n>COL=x1\n>fcl=\n"
        ">COL=300\nName %1, then %x\nlast %\n?\ncap %\nSTART\n?00y\ncap\nSTART\n?END\n" +
        kDefaults);
    EXPECT_TRUE(anyHas(findings, "2: flag \"00x\" is not a number")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "3: flag \"0a1\"")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "4: flag \"zz9\"")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "5: flag \"abc\"")) << dump(findings);
    EXPECT_FALSE(anyHas(findings, "6:")) << dump(findings);  // letter comparisons hold no number
    EXPECT_TRUE(anyHas(findings, "7: colour \"x1\" is not a number")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "8: colour \"\" is not a number")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "9: colour 300 is outside 0 to 16")) << dump(findings);  // low byte 44
    EXPECT_TRUE(anyHas(findings, "10: \"%\" is not followed by a digit")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "11: \"%\"")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "13: \"%\"")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "15: flag \"00y\"")) << dump(findings);
}

TEST_F(StoryCheckerTest, FlagFieldsCutOutOfJapaneseTextShowTheWholeLine) {
    // "?はい" and "!はいNOT" read as flags: three bytes split the first character.
    const auto findings =
        check("*START\n?\xE3\x81\xAF\xE3\x81\x84\n!\xE3\x81\xAF\xE3\x81\x84NOT\nt\n/\n" + kDefaults);
    EXPECT_TRUE(anyHas(findings,
                       "2: bytes 2 to 4 of \"?\xE3\x81\xAF\xE3\x81\x84\" are read as a flag number and "
                       "are not one"))
        << dump(findings);
    EXPECT_TRUE(anyHas(findings, "3: bytes 2 to 4 of \"!\xE3\x81\xAF")) << dump(findings);
    // No half character reaches the findings as a stray katakana.
    EXPECT_FALSE(anyHas(findings, "\xEF\xBD")) << dump(findings);
}

TEST_F(StoryCheckerTest, FlagNumbersOutsideTheFlagTable) {
    auto findings = check("*START\n!000\n?-01\n!+001x999\nt\n/\n" + kDefaults);
    EXPECT_TRUE(anyHas(findings, "2: flag 0 is outside 1 to 999")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "3: flag -1 is outside")) << dump(findings);
    EXPECT_FALSE(anyHas(findings, "4:")) << dump(findings);

    // A page without "/" or choices runs on into the defaults block and off the end.
    findings = check("*START\nt\n");
    EXPECT_TRUE(anyHas(findings, "2: the page runs past the end of the script")) << dump(findings);
}

TEST_F(StoryCheckerTest, FilesMissingMisspeltOrUnloadable) {
    writeFile("Sub/Theme.MID", "MThd");
    writeFile("sub2/bell.wav", "RIFF");
    writeFile("good.bmp", tinyBmp());
    writeFile("broken.bmp", "BMnot a picture");
    writeFile("photo.bmp", "BMbroken, but the JPEG wins");
    writeFile("photo.jpg", "not a JPEG either");
    writeFile("tool.sh", "#!/bin/sh\n");
    const auto findings = check(
        "*START\n>BGM=gone.mid\n>BGM=sub/theme.mid\n>WAV=%P%sub2\\bell.wav\n"
        ">BAK=good.bmp\n>TIL=broken.bmp\n>BMP=absent.bmp\n>BAK=photo.bmp\n"
        ">EXE=tool.sh --flag\n>EXE=notool arg\n>exe=TOOL.sh\nt\n/\n" +
        kDefaults);
    EXPECT_TRUE(anyHas(findings, "2: sound \"gone.mid\" does not exist")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "3: sound \"sub/theme.mid\" exists only as")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "4: sound")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "only through the name resolver")) << dump(findings);
    EXPECT_FALSE(anyHas(findings, "5:")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "6: picture \"broken.bmp\" (broken.bmp) does not load")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "7: picture \"absent.bmp\" does not exist")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "8: picture \"photo.bmp\" (photo.jpg) does not load")) << dump(findings);
    EXPECT_FALSE(anyHas(findings, "9:")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "10: program \"notool\" does not exist")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "11: program \"TOOL.sh\" exists only as")) << dump(findings);
}

TEST_F(StoryCheckerTest, NowaitCircles) {
    const auto findings = check(
        "*START\n@NOWAIT\nx\nB\n*B\n!001\n@NOWAIT\nx\nSTART\n"
        // A condition can leave this one, so it is no certain circle.
        "*C\n?001\n@NOWAIT\nx\nC\n" +
        kDefaults);
    EXPECT_TRUE(anyHas(findings, "\"@NOWAIT\" pages jump in a circle: START -> B -> START"))
        << dump(findings);
    EXPECT_EQ(std::count_if(findings.begin(), findings.end(),
                            [](const std::string& f) { return f.find("circle") != std::string::npos; }),
              1)
        << dump(findings);
}

TEST_F(StoryCheckerTest, IndexRecordsAndTheDefaultsBlock) {
    auto findings = check("*START\nline\n/\n*NEG@-5\n*FAR@9999\n*MID@1\n*START\n");
    EXPECT_TRUE(anyHas(findings, "\"NEG\" (offset -5): the offset is negative")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "\"FAR\" (offset 9999): the offset is past the end")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "\"MID\" (offset 1): the offset is not at the start of a line"))
        << dump(findings);
    EXPECT_TRUE(anyHas(findings, "recorded twice")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "no \"VRKALTER\" label")) << dump(findings);

    findings = check("*START\nt\n/\n*VRKALTER\na\nb\nc\n");
    EXPECT_TRUE(anyHas(findings, "5: the \"VRKALTER\" block has 3 of its 19 lines")) << dump(findings);

    findings = check("*START\nt\n/\n*VRKALTER\nprompt\n");
    EXPECT_TRUE(anyHas(findings, "block has 1 of its 19")) << dump(findings);
}

TEST_F(StoryCheckerTest, CompiledProjectsNameTheLabelAndOffset) {
    std::vector<char> script;
    std::vector<char> index;
    story::appendScriptLine(script, "text");     // 0
    story::appendScriptLine(script, "?");        // 5
    story::appendScriptLine(script, "cap");      // 7
    story::appendScriptLine(script, "MISSING");  // 11
    story::appendScriptLine(script, "?END");     // 19
    story::appendLabelRecord(index, "START", 0);
    writeFile("tale.VRK", std::string(script.begin(), script.end()));
    writeFile("tale.vrj", std::string(index.begin(), index.end()) + "partial");
    std::string error;
    const auto story = loadForCheck(m_dir / "tale.V02", false, &error);
    ASSERT_TRUE(story.has_value()) << error;
    std::vector<std::string> findings;
    for (const Finding& finding : checkStory(*story)) {
        findings.push_back(finding.where + ": " + finding.message);
    }
    EXPECT_TRUE(anyHas(findings, "tale.VRK: START line 4 (offset 11): jump target \"MISSING\""))
        << dump(findings);
    EXPECT_TRUE(anyHas(findings, "tale.vrj: the index ends inside a 13-byte record")) << dump(findings);

    EXPECT_FALSE(loadForCheck(m_dir / "other.vrk", false, &error).has_value());
}

// A story's files may be a FIFO or an endless device: the checker reports it cannot read them,
// at once, as the compiler does.
TEST_F(StoryCheckerTest, FilesThatAreNoRegularFilesAreNotRead) {
    ASSERT_EQ(::mkfifo((m_dir / "fifo.txt").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", m_dir / "zero.txt");
    std::vector<char> index;
    story::appendLabelRecord(index, "START", 0);
    writeFile("tale.vrj", std::string(index.begin(), index.end()));
    fs::create_symlink("/dev/zero", m_dir / "tale.VRK");
    for (const char* name : {"fifo.txt", "zero.txt", "tale.VRK"}) {
        SCOPED_TRACE(name);
        std::string error;
        EXPECT_FALSE(loadForCheck(m_dir / name, false, &error).has_value());
        EXPECT_NE(error.find("cannot read"), std::string::npos) << error;
    }
}

TEST_F(StoryCheckerTest, CompiledProjectsCountLinesFromTheLabelBefore) {
    std::vector<char> script;
    std::vector<char> index;
    story::appendScriptLine(script, "lost");     // 0: before any label
    story::appendScriptLine(script, ">FCL=99");  // 5
    story::appendScriptLine(script, "text");     // 13: START
    story::appendScriptLine(script, ">COL=-3");  // 18
    story::appendScriptLine(script, "/");        // 26
    story::appendScriptLine(script, "more");     // 28: NEXT
    story::appendScriptLine(script, "");         // 33
    story::appendScriptLine(script, ">FCL=x");   // 34
    story::appendScriptLine(script, "/");        // 41
    story::appendLabelRecord(index, "START", 13);
    story::appendLabelRecord(index, "NEXT", 28);
    story::appendLabelRecord(index, "ODD", 30);  // inside a line: no line is counted from it
    story::appendLabelRecord(index, "HEAD", 5);
    writeFile("TALE.VRK", std::string(script.begin(), script.end()));
    writeFile("TALE.VRJ", std::string(index.begin(), index.end()));
    std::string error;
    const auto story = loadForCheck(m_dir / "TALE.VRK", false, &error);
    ASSERT_TRUE(story.has_value()) << error;
    std::vector<std::string> findings;
    for (const Finding& finding : checkStory(*story)) {
        findings.push_back(finding.where + ": " + finding.message);
    }
    EXPECT_TRUE(anyHas(findings, "TALE.VRK: HEAD line 1 (offset 5): colour 99")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "TALE.VRK: START line 2 (offset 18): colour -3")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "TALE.VRK: NEXT line 3 (offset 34): colour \"x\"")) << dump(findings);
    EXPECT_FALSE(anyHas(findings, "ODD line")) << dump(findings);
}

TEST_F(StoryCheckerTest, ColoursTheTableDoesNotHold) {
    const auto findings = check(
        "*START\n>FCL=99\n>COL=16\n>fcl=0\n>COL=-1\n>FCL=256\n>COL=17\n>FCL=1234\n>COL=015\n"
        "text\n/\n" +
        kDefaults);
    EXPECT_TRUE(anyHas(findings, "2: colour 99 is outside 0 to 16")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "shows colour 16 (the start-up white)")) << dump(findings);
    EXPECT_FALSE(anyHas(findings, "3:")) << dump(findings);
    EXPECT_FALSE(anyHas(findings, "4:")) << dump(findings);
    EXPECT_TRUE(anyHas(findings,
                       "5: colour -1 is outside 0 to 16 and has no colour of its own: the player keeps "
                       "its low byte, 255, and shows colour 16 (the start-up black)"))
        << dump(findings);
    EXPECT_TRUE(anyHas(findings,
                       "6: colour 256 is outside 0 to 16 and has no colour of its own: the player keeps "
                       "its low byte, 0, and shows colour 0"))
        << dump(findings);
    EXPECT_TRUE(anyHas(findings, "7: colour 17 is outside")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "8: colour 123 is outside")) << dump(findings);  // three characters are read
    EXPECT_FALSE(anyHas(findings, "9:")) << dump(findings);
}

// Choices A to G, each leading to END; conditions as given.
std::string choicePage(const std::vector<std::string>& headers) {
    std::string page = "*START\ntext\n";
    char letter = 'a';
    for (const std::string& header : headers) {
        page += header + "\n" + std::string(1, letter++) + "\nEND\n";
    }
    return page + "?END\n*END\nbye\n/\n" + kDefaults;
}

TEST_F(StoryCheckerTest, MoreChoicesThanThePageOffers) {
    auto findings = check(choicePage({"?", "?", "?", "?", "?", "?"}));
    EXPECT_TRUE(findings.empty()) << dump(findings);

    findings = check(choicePage({"?", "?", "?", "?", "?", "?", "?"}));
    ASSERT_EQ(findings.size(), 1u) << dump(findings);
    EXPECT_EQ(findings[0],
              "21: the page has 7 choices, and the player offers at most 6: from this one (\"g\") on, "
              "a choice is dropped whenever those before it fill the page");

    // Conditions decide which six are shown, but one page can still hold no more than six.
    findings =
        check(choicePage({"?001", "?NOT001", "?002", "?NOT002", "?003", "?NOT003", "?004", "?NOT004"}));
    EXPECT_TRUE(anyHas(findings, "21: the page has 8 choices")) << dump(findings);
    EXPECT_EQ(findings.size(), 1u) << dump(findings);
}

TEST_F(StoryCheckerTest, ChoiceBlockWithoutItsEndIsOneFinding) {
    // The next page's lines (a state line, a command, Japanese text) would read as choices.
    auto findings = check(
        "*START\ntext\n?\ngo\nA\n?\nstay\nSTART\n"
        "*A\n!001\n>COL=1\n\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E\xE3\x81\xAE\xE6\x96\x87\n?\nnext\nB\n?END\n"
        "*B\nend\n/\n" +
        kDefaults);
    ASSERT_EQ(findings.size(), 1u) << dump(findings);
    EXPECT_EQ(findings[0],
              "3: the choice block has no \"?END\" and runs on into page \"A\": the 6 lines from "
              "line 10 up to the \"?END\" at line 16 are read as its choices");

    // The last page before the defaults block takes the whole block in.
    findings = check("*START\ntext\n?001\ngo\nSTART\n?NOT001\nend\nEND\n?END\n*END\nbye\n/\n" + kDefaults);
    ASSERT_EQ(findings.size(), 0u) << dump(findings);
    findings = check("*START\ntext\n?\ngo\nSTART\n" + kDefaults);
    ASSERT_EQ(findings.size(), 1u) << dump(findings);
    EXPECT_EQ(findings[0],
              "3: the choice block has no \"?END\" and runs on into page \"VRKALTER\": the 19 lines "
              "from line 7 to the end of the script are read as its choices");

    // A page without "/" or choices whose text runs into a page that begins with a condition.
    findings = check("*START\ntext\n*NEXT\n?001\nhidden\nmore\n?\ngo\nSTART\n?END\n" + kDefaults);
    EXPECT_TRUE(anyHas(findings,
                       "4: the page has no \"/\" or choices of its own and runs on into page \"NEXT\": "
                       "the 6 lines from line 4 up to the \"?END\" at line 10 are read as its choices"))
        << dump(findings);
    EXPECT_FALSE(anyHas(findings, "not a number")) << dump(findings);
}

TEST_F(StoryCheckerTest, ChoiceWithoutItsTargetIsOneFinding) {
    auto findings = check("*START\ntext\n?\na\n?\nb\nA\n?END\n*A\nend\n/\n" + kDefaults);
    ASSERT_EQ(findings.size(), 1u) << dump(findings);
    EXPECT_EQ(findings[0],
              "5: the choice \"a\" (line 3) has no target: this line is read as its target, and the "
              "23 lines from line 7 to the end of the script as choices out of step");

    // The last choice without a target: "?END" is read as its target.
    findings = check("*START\ntext\n?\na\nA\n?\nb\n?END\n*A\nend\n?\ngo\nA\n?END\n" + kDefaults);
    ASSERT_EQ(findings.size(), 1u) << dump(findings);
    EXPECT_TRUE(anyHas(findings,
                       "8: the choice \"b\" (line 6) has no target: this line is read as its target, "
                       "and the 4 lines from line 10 up to the \"?END\" at line 14"))
        << dump(findings);

    // The choices after the one without a target are still checked as meant.
    findings = check("*START\ntext\n?\na\n?00x\nb\nGONE\n?END\n" + kDefaults);
    EXPECT_TRUE(anyHas(findings, "5: the choice \"a\"")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "5: flag \"00x\" is not a number")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "7: jump target \"GONE\"")) << dump(findings);
    EXPECT_EQ(findings.size(), 3u) << dump(findings);

    // A conditional target without its comma is still that, when the reading stays in step.
    findings = check("*START\ntext\n?\na\n?001START\nEND\n?END\n*END\nbye\n/\n" + kDefaults);
    EXPECT_TRUE(anyHas(findings, "5: a conditional target has no \",\" before its label")) << dump(findings);
    EXPECT_FALSE(anyHas(findings, "has no target")) << dump(findings);
}

TEST_F(StoryCheckerTest, StrayLineAmongTheChoices) {
    const auto findings = check("*START\ntext\n?\na\nEND\nEND\n?\nb\nEND\n?END\n*END\nbye\n/\n" + kDefaults);
    ASSERT_EQ(findings.size(), 1u) << dump(findings);
    EXPECT_EQ(findings[0],
              "6: this line stands where a choice's \"?\" header or \"?END\" belongs: the 26 lines from "
              "line 6 to the end of the script are read as choices out of step");
}

TEST_F(StoryCheckerTest, FilesAllMissingAreOneFinding) {
    auto findings = check(
        "*START\n>BGM=%P%theme.mid\n>BAK=%P%night.jpg\n>WAV=bell.wav\n>BGM=%P%theme.mid\n"
        "text\n/\n" +
        kDefaults);
    ASSERT_EQ(findings.size(), 1u) << dump(findings);
    EXPECT_TRUE(
        anyHas(findings, "none of the 3 files the story names is in " + m_dir.string() +
                             " (bell.wav, night.jpg, theme.mid); when they are kept in another folder, "
                             "name it with --media DIR"))
        << dump(findings);

    // With one of them there, each missing one is its own finding.
    writeFile("bell.wav", "RIFF");
    findings = check("*START\n>BGM=%P%theme.mid\n>WAV=bell.wav\n>BAK=%P%night.jpg\ntext\n/\n" + kDefaults);
    EXPECT_EQ(findings.size(), 2u) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "2: sound")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "4: picture")) << dump(findings);
}

TEST_F(StoryCheckerTest, NameGoingOnFromTheRootAfterTheProjectFolder) {
    writeFile("ok.bmp", tinyBmp());
    writeFile("tool.sh", "#!/bin/sh\n");
    writeFile("theme.mid", "MThd");
    const auto findings = check("*START\n>BAK=%P%%P%ok.bmp\n>BGM=%P%" + m_dir.string() +
                                "/theme.mid\n>EXE=%P%%P%tool.sh\n"
                                ">BAK=%P%ok.bmp\ntext\n/\n" +
                                kDefaults);
    EXPECT_TRUE(anyHas(findings, "2: picture")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "names no file: after the project folder comes another whole path"))
        << dump(findings);
    EXPECT_TRUE(anyHas(findings, "3: sound")) << dump(findings);
    EXPECT_TRUE(anyHas(findings, "4: program")) << dump(findings);
    EXPECT_EQ(findings.size(), 3u) << dump(findings);
}

}  // namespace
}  // namespace vrk::compiler
