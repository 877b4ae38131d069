#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "common/errors.h"
#include "common/messages.h"
#include "story/save_file.h"
#include "story_fixture.h"

namespace vrk::interpreter::test {
namespace {

using Lines = std::vector<std::string>;

constexpr std::string_view kFullWidthSpace = "\x81\x40";  // U+3000 IDEOGRAPHIC SPACE

using PageHeadTest = StoryFixture;

TEST_F(PageHeadTest, ConditionLinePassesOverTheLineAfterIt) {
    struct Row {
        bool flag1;
        bool resumeSkip;
        bool flag2;
        Lines text;
    };
    // Resuming passes the head over without looking at it: a false "?" no longer hides
    // the line after it, and no state line applies.
    const Row rows[] = {
        {true, false, true, {"body"}},
        {false, false, false, {"body"}},
        {true, true, false, {"hidden", "body"}},
        {false, true, false, {"hidden", "body"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "flag1=" << row.flag1 << " resumeSkip=" << row.resumeSkip);
        load("*P\n?001\n!002\n?003\nhidden\nbody\n?END\nP\n");
        story.state = {};
        story.state.flags[1] = row.flag1;
        story.state.resumeSkip = row.resumeSkip;
        run("P");
        EXPECT_EQ(story.state.flags[2], row.flag2);
        EXPECT_EQ(pageText(), row.text);
        EXPECT_FALSE(story.state.resumeSkip);
    }
}

TEST_F(PageHeadTest, ResumeSkipIsSpentOnTheFirstRunOnly) {
    load("*P\n!001\nbody\n?END\nP\n");
    story.state.resumeSkip = true;
    run("P");
    EXPECT_EQ(story.state.flags[1], 0);
    run("P");
    EXPECT_EQ(story.state.flags[1], 1);
}

TEST_F(PageHeadTest, NowaitChainLeavesNoTraceOnTheFinalPage) {
    // The line after "@NOWAIT" is never looked at: "?abc" would be a conversion error.
    load(R"(*J1
!010
@NOWAIT
?abc
J2
*J2
@NOWAIT
ignored
?011,J9
J3
*J3
final
?END
J1
)");
    story.page.pageText = {"previous page"};
    run("J1");
    EXPECT_EQ(pageText(), Lines{"final"});
    EXPECT_EQ(story.state.currentLabel, "J3");
    EXPECT_EQ(story.state.currentOffset, story.labels.findLabel("J3"));
    EXPECT_EQ(story.state.flags[10], 1);
    EXPECT_EQ(host.countOf("refreshPage"), 1);
}

TEST_F(PageHeadTest, JumpToMissingLabelAppendsToThePageOnShow) {
    load(R"(*SHOWN
shown
?
One
J1
?
Two
J2
?END
*J1
@NOWAIT
x
NOSUCH
)");
    run("SHOWN");
    const Lines shown = pageText();
    host.calls.clear();
    run("J1");

    Lines expected = shown;
    expected.push_back("Jump Address Error : NOSUCH");
    EXPECT_EQ(pageText(), expected);
    EXPECT_EQ(story.page.choiceCount, 2);
    EXPECT_EQ(story.page.choices[2].caption, "Two");
    EXPECT_EQ(story.page.choices[2].target, "J2");
    EXPECT_EQ(host.countOf("prepareChoices"), 0);
    EXPECT_EQ(host.countOf("refreshPage"), 0);
    EXPECT_EQ(host.calls.back(), "setBusy 0");

    // A choice whose target the index lacks does not start a run at all.
    host.calls.clear();
    run("GONE");
    expected.push_back("Jump Address Error : GONE");
    EXPECT_EQ(pageText(), expected);
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(PageHeadTest, EndlessNowaitCycleFails) {
    load("*A\n@NOWAIT\nx\nB\n*B\n@NOWAIT\nx\nA\n");
    EXPECT_THROW(run("A"), Error);
    EXPECT_FALSE(interpreter.isRunning());
    EXPECT_EQ(host.calls.back(), "setBusy 0");
}

using ReadTargetTest = StoryFixture;

TEST_F(ReadTargetTest, FirstTrueAlternativeWinsAndTheRestAreConsumed) {
    struct Row {
        const char* name;
        std::vector<int> flags;
        std::string target;
    };
    const Row rows[] = {
        {"none true: default", {}, "DEF"},
        {"second true", {2, 3}, "ALT2"},
        {"first of several true", {1, 2, 3}, "ALT1"},
        {"last true", {3}, "ALT3"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        load("*T\n\n\n?001,ALT1\n?002,ALT2\n?003,ALT3\nDEF\nNEXT\n");
        story.state = {};
        for (int n : row.flags) {
            story.state.flags[static_cast<std::size_t>(n)] = 1;
        }
        story.script.seek(story.labels.findLabel("T"));
        EXPECT_EQ(interpreter.readTarget(), row.target);
        std::string next;
        story.script.readLine(next);
        EXPECT_EQ(next, "NEXT");
    }
}

TEST_F(ReadTargetTest, LabelIsCutToEightBytes) {
    load("*T\nLONGLABEL9\n");
    story.script.seek(0);
    EXPECT_EQ(interpreter.readTarget(), "LONGLABE");
}

TEST_F(ReadTargetTest, OnlyEmptyLinesToTheEndFail) {
    load("*T\n\n\n");
    story.script.seek(0);
    try {
        interpreter.readTarget();
        FAIL() << "read past the end";
    } catch (const Error& error) {
        EXPECT_EQ(error.kind(), Error::Kind::Io);
    }
}

using ChoicesTest = StoryFixture;

TEST_F(ChoicesTest, ChoicesOfferedByTheirHeaders) {
    struct Row {
        const char* name;
        std::string choices;  // everything after the body line "text"
        int count;
        Lines text;
        Lines targets;
        std::string caption1;
    };
    // With no choice offered the caption of slot 1 is left as it was.
    const Row rows[] = {
        {"none offered", "?001\nHidden\nT1\n?END\nAFTER\n", 1, {"text"}, {"AFTER"}, "earlier"},
        {"one",
         "?\n%1 goes\nT1\n?END\n",
         1,
         {"text", std::string(kFullWidthSpace) + "Taro goes"},
         {"T1"},
         "Taro goes"},
        {"three, a false one between",
         "?\nAlpha\nT1\n?001\nHidden\n?002,TX\nTY\n?\nBeta\n?NOT003,T2\nT2X\n?\nGamma\nT3\n?END\n",
         3,
         {"text", " ", " A: Alpha", " B: Beta", " C: Gamma"},
         {"T1", "T2", "T3"},
         "Alpha"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        load("*P\ntext\n" + row.choices);
        story.page.choices[1].caption = "earlier";
        host.calls.clear();
        run("P");
        EXPECT_EQ(story.page.choiceCount, row.count);
        EXPECT_EQ(pageText(), row.text);
        for (std::size_t j = 0; j < row.targets.size(); ++j) {
            EXPECT_EQ(story.page.choices[j + 1].target, row.targets[j]) << "slot " << j + 1;
        }
        EXPECT_EQ(story.page.choices[1].caption, row.caption1);
        EXPECT_TRUE(story.page.layoutDirty);
        EXPECT_EQ(host.callsTo("hideChoices").size(), 1u);
        // The default cursor is back before the page is laid out and shown.
        const Lines last(host.calls.end() - 3, host.calls.end());
        EXPECT_EQ(last, (Lines{"prepareChoices", "setBusy 0", "refreshPage"}));
    }
}

TEST_F(ChoicesTest, NotBindsOnlyTheNextFlagWhereverAConditionStands) {
    // The same condition as a head line, a choice header and a conditional target: it
    // holds exactly when flag 2 is clear and flag 1 set.
    struct Row {
        std::vector<int> flags;
        bool holds;
    };
    const Row rows[] = {{{1}, true}, {{}, false}, {{1, 2}, false}};
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "holds=" << row.holds);
        load("*P\n?NOT002001\n!010\ntext\n?NOT002001\nAlpha\n?NOT002001,TA\nTB\n?\nBeta\nT2\n?END\n");
        story.state = {};
        for (int n : row.flags) {
            story.state.flags[static_cast<std::size_t>(n)] = 1;
        }
        run("P");
        EXPECT_EQ(story.state.flags[10], row.holds ? 1 : 0);
        EXPECT_EQ(story.page.choiceCount, row.holds ? 2 : 1);
        EXPECT_EQ(story.page.choices[1].target, row.holds ? "TA" : "T2");
    }
}

TEST_F(ChoicesTest, SixAreTakenAndTheSeventhHeaderIsNotRead) {
    std::string source = "*P\ntext\n?001\nFalse\nTF\n";
    for (int j = 1; j <= 6; ++j) {
        source += "?\nC" + std::to_string(j) + "\nT" + std::to_string(j) + "\n";
    }
    source += "?bad\nC7\nT7\n?END\n";
    load(source);
    run("P");
    ASSERT_EQ(story.page.choiceCount, 6);
    EXPECT_EQ(story.page.choices[1].caption, "C1");
    EXPECT_EQ(story.page.choices[6].target, "T6");
    EXPECT_EQ(pageText(), (Lines{"text", " ", " A: C1", " B: C2", " C: C3", " D: C4", " E: C5", " F: C6"}));
}

TEST_F(ChoicesTest, EmptyPageShowsOneBlank) {
    // A "?" line first would belong to the head; a command keeps the body empty of text.
    load("*P\n>COL=1\n?END\nT1\n");
    run("P");
    EXPECT_EQ(pageText(), Lines{" "});
    EXPECT_EQ(story.page.choiceCount, 1);
}

TEST_F(ChoicesTest, NonstopEnablesTheButtonsAtOnce) {
    load("*P\ntext\n?END\nP\n");
    story.options.revealAtOnce = true;
    run("P");
    const Lines last(host.calls.end() - 3, host.calls.end());
    EXPECT_EQ(last, (Lines{"setBusy 0", "refreshPage", "enableChoices"}));
}

using EndOfStoryTest = StoryFixture;

TEST_F(EndOfStoryTest, ResetsPartOfTheStateAndWritesTheSlot) {
    load(R"(*START
first page
?END
FIN
*FIN
>COL=3
>FCL=5
last words
/
*VRKALTER
????
)");
    for (int n : {1, 500, 501, 999}) {
        story.state.flags[static_cast<std::size_t>(n)] = 1;
    }
    for (char letter : {'A', 'B', 'C', 'D'}) {
        story.state.setLetter(letter, 'E');
    }
    run("FIN");

    const story::StoryState& state = story.state;
    EXPECT_EQ(state.flags[1], 0);
    EXPECT_EQ(state.flags[500], 0);
    EXPECT_EQ(state.flags[501], 1);
    EXPECT_EQ(state.flags[999], 1);
    EXPECT_EQ(state.letter('A'), 'A');
    EXPECT_EQ(state.letter('C'), 'A');
    EXPECT_EQ(state.letter('D'), 'E');
    EXPECT_EQ(state.currentLabel, "START");
    EXPECT_EQ(state.currentOffset, story.labels.findLabel("VRKALTER"));
    EXPECT_EQ(state.bgColour, 16);
    EXPECT_EQ(state.textColour, 16);
    EXPECT_FALSE(story.scriptOpen());
    EXPECT_EQ(story.page.choiceCount, 1);
    EXPECT_EQ(pageText(), Lines{"last words"});

    std::ifstream in(story.locations.saveDir / "T.V01", std::ios::binary);
    ASSERT_TRUE(in) << "slot not written";
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    story::StoryState written;
    written.resumeSkip = true;
    story::parseState(bytes, written);
    EXPECT_EQ(written.currentLabel, "START");
    EXPECT_FALSE(written.resumeSkip) << "resume marker should be 0";
    EXPECT_EQ(written.flags[501], 1);
    EXPECT_EQ(written.flags[1], 0);
}

TEST_F(EndOfStoryTest, EveryCompletedPageIsAlreadyInTheSlot) {
    load(R"(*START
>COL=3
first page
?
one
NEXT
?
two
FIN
?END
*NEXT
>FCL=5
second page
?END
FIN
*FIN
last words
/
*VRKALTER
????
)");
    const auto slot = [this] {
        std::ifstream in(story.locations.saveDir / "T.V01", std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    run("START");
    const std::string afterFirst = slot();
    ASSERT_FALSE(afterFirst.empty()) << "the first page is not in the slot";
    ASSERT_TRUE(interpreter.selectChoice(1));
    const std::string afterSecond = slot();
    EXPECT_NE(afterSecond, afterFirst);
    EXPECT_TRUE(story.scriptOpen());
    // The flush that ends the reading writes the very same bytes.
    interpreter.flushProject();
    EXPECT_EQ(slot(), afterSecond);
    EXPECT_TRUE(host.callsTo("showNotice").empty());
}

TEST_F(EndOfStoryTest, UnwritableSlotIsReportedAndTheStoryStillEnds) {
    load("*FIN\nlast words\n/\n");
    story.locations.saveDir = story.locations.saveDir / "missing" / "";
    run("FIN");
    EXPECT_EQ(host.callsTo("showNotice"), Lines{"showNotice " + std::string(messages::kUserDataUnwritable)});
    EXPECT_FALSE(story.scriptOpen());
    EXPECT_EQ(story.page.choiceCount, 1);
    EXPECT_EQ(pageText(), Lines{"last words"});
}

using RunFailureTest = StoryFixture;

TEST_F(RunFailureTest, FailureKeepsWhatWasDoneBeforeIt) {
    struct Row {
        const char* name;
        Lines script;
        Error::Kind kind;
        Lines text;
    };
    // The page on show stays when the head fails; a body failure has already cleared it.
    const Row rows[] = {
        {"state line mid-head",
         {"!001", "!0x1", "!002", "body", "?END", "P"},
         Error::Kind::Conversion,
         {"on show"}},
        {"condition mid-head", {"!001", "?001xyz", "!002", "body"}, Error::Kind::Conversion, {"on show"}},
        {"colour in the body", {"!001", "before", ">COL=x", "after"}, Error::Kind::Conversion, {"before"}},
        {"read past the end", {"!001", "before"}, Error::Kind::Io, {"before"}},
        {"choice header", {"!001", "before", "?00x", "cap", "T"}, Error::Kind::Conversion, {"before"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        loadLines(row.script);
        story.state = {};
        story.page.pageText = {"on show"};
        host.calls.clear();
        try {
            run("P");
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_EQ(error.kind(), row.kind);
        }
        EXPECT_EQ(story.state.flags[1], 1);
        EXPECT_EQ(story.state.flags[2], 0);
        EXPECT_EQ(pageText(), row.text);
        EXPECT_EQ(host.calls.back(), "setBusy 0");
        EXPECT_FALSE(interpreter.isRunning());
    }
}

TEST_F(RunFailureTest, ShortReadIsAnIoError) {
    std::vector<char> script;
    story::appendScriptLine(script, "whole");
    script.push_back(20);  // claims 20 bytes, three follow
    script.insert(script.end(), {'a', 'b', 'c'});
    std::vector<char> index;
    story::appendLabelRecord(index, "P", 0);
    story.labels.loadBytes(index);
    story.script.openBytes(script);

    EXPECT_FALSE(interpreter.runPageReporting(0));
    ASSERT_EQ(host.countOf("reportError"), 1);
    EXPECT_EQ(pageText(), Lines{"whole"});
    ASSERT_GE(host.calls.size(), 2u);
    EXPECT_EQ(host.calls[host.calls.size() - 2], "setBusy 0") << "busy cursor still on during the report";
}

using NameSubstitutionTest = StoryFixture;

TEST_F(NameSubstitutionTest, NamesReplaceTheirReferences) {
    story.state.names[2] = "%1!";
    story.state.names[3] = "Ha%";
    story.state.names[9] = "Kuro";
    struct Row {
        std::string line;
        std::string shown;
    };
    const Row rows[] = {
        {"%1ab", "Taroab"},
        {"%9", "Kuro"},
        {"%1 and %9.", "Taro and Kuro."},
        // Text that came from a name is shown as it is.
        {"%2", "%1!"},
        {"%2%1", "%1!Taro"},
        {"%3", "Ha%"},
        {std::string(253, 'x') + "%1", std::string(253, 'x') + "Ta"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        loadLines({row.line, "?END", "P"});
        run("P");
        EXPECT_EQ(pageText(), Lines{row.shown});
    }
}

TEST_F(NameSubstitutionTest, PercentWithoutDigitIsAConversionError) {
    for (const std::string line : {"end %", "%x1", "a%%1"}) {
        SCOPED_TRACE(line);
        loadLines({line, "?END", "P"});
        try {
            run("P");
            ADD_FAILURE() << "no error";
        } catch (const Error& error) {
            EXPECT_EQ(error.kind(), Error::Kind::Conversion);
        }
    }
}

using SelectChoiceTest = StoryFixture;

TEST_F(SelectChoiceTest, ChoiceRunsItsTargetAndStopsASoundNotCarriedOn) {
    load("*P\ntext\n?\nOne\nQ\n?\nTwo\nR\n?END\n*Q\nq page\n?END\nP\n*R\nr page\n?END\nP\n");
    run("P");
    host.calls.clear();
    EXPECT_TRUE(interpreter.selectChoice(2));
    EXPECT_EQ(story.state.currentLabel, "R");
    EXPECT_EQ(pageText(), Lines{"r page"});
    ASSERT_FALSE(host.calls.empty());
    EXPECT_EQ(host.calls.front(), "stopSound");
}

TEST_F(SelectChoiceTest, HeldBackWhileARunIsInProgress) {
    touch("se.wav");
    load("*P\ntext\n?\nOne\nQ\n?\nTwo\nR\n?END\n*Q\nq page\n?END\nP\n*R\n>WAV=se.wav\nr page\n?END\nP\n");
    run("P");
    std::vector<bool> nested;
    std::string labelDuringWait;
    host.duringWait = [&] {
        nested.push_back(interpreter.isRunning());
        nested.push_back(interpreter.selectChoice(1));
        nested.push_back(interpreter.runPageReporting(0));
        labelDuringWait = story.state.currentLabel;
    };
    host.calls.clear();
    EXPECT_TRUE(interpreter.selectChoice(2));
    EXPECT_EQ(nested, (std::vector<bool>{true, false, false}));
    EXPECT_EQ(labelDuringWait, "R");
    EXPECT_EQ(host.countOf("restartReveal"), 1);
    EXPECT_EQ(host.countOf("stopSound"), 1);
    EXPECT_EQ(pageText(), Lines{"r page"});
}

TEST_F(SelectChoiceTest, HeldBackWithoutAStoryOrASlot) {
    load("*P\ntext\n?\nOne\nP\n?\nTwo\nP\n?END\n");
    run("P");
    host.calls.clear();
    for (int slot : {0, 3, 7}) {
        SCOPED_TRACE(slot);
        EXPECT_FALSE(interpreter.selectChoice(slot));
    }
    story.script.close();
    EXPECT_FALSE(interpreter.selectChoice(1));
    EXPECT_TRUE(host.calls.empty());
}

TEST_F(EndOfStoryTest, ASlotThatAlreadyHoldsThePageIsNotReplaced) {
    load(R"(*START
>COL=3
same page
?END
START
*VRKALTER
????
)");
    const std::filesystem::path slot = story.locations.saveDir / "T.V01";
    const auto inode = [&slot] {
        struct stat st {};
        return ::stat(slot.c_str(), &st) == 0 ? st.st_ino : ino_t{0};
    };
    run("START");
    const ino_t written = inode();
    ASSERT_NE(written, ino_t{0}) << "the first page is not in the slot";
    std::ifstream in(slot, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();

    // The page leads back to itself: nothing to write, and the slot keeps its file.
    ASSERT_TRUE(interpreter.selectChoice(1));
    EXPECT_EQ(inode(), written);

    // A slot changed behind the player's back is written again, with the story's bytes.
    std::ofstream(slot, std::ios::binary | std::ios::trunc) << bytes.substr(0, bytes.size() / 2);
    ASSERT_TRUE(interpreter.selectChoice(1));
    std::ifstream again(slot, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(again)), std::istreambuf_iterator<char>()), bytes);
}

}  // namespace
}  // namespace vrk::interpreter::test
