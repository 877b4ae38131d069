// The author's tools without a window: the inspector's snapshot and its jump, the reload of a
// story compiled again, and the watched source's compiles.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

#include "../support/story_folder.h"
#include "app/reading_session.h"
#include "app/story_inspection.h"
#include "app/watched_source.h"
#include "common/sjis.h"

namespace vrk::app {
namespace {

namespace fs = std::filesystem;

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// START sets flag 1 and counts letter B up; P2 sets flags 2, 3 and 5, leads back or on to P3.
const std::string kStory =
    "*START\n!001\n!B+\nいち\n?\n次へ\nP2\n?END\n"
    "*P2\n!002003005\n!B+\nに\n?\n戻る\nSTART\n?\n先へ\nP3\n?END\n"
    "*P3\nさん\n/\n";

class AuthorToolsTest : public test_support::StoryFolderTest {
protected:
    void open(const std::string& source) {
        writeProject(source);
        openProject(m_session);
    }
    // Chooses the choice whose caption is on the page (A, B, ...), the reveal finished first.
    void choose(char key) {
        m_session.finishPage();
        ASSERT_TRUE(m_session.chooseKey(key));
    }

    std::string label() const { return m_session.story().state.currentLabel; }
    std::string firstLine() const { return sjisToUtf8(m_session.pageTextSjis().front()); }
    char letterB() const { return static_cast<char>(m_session.story().state.letter('B')); }

    ReadingSession m_session{fs::temp_directory_path(), test_support::fixedMeasurer()};
};

// --- The inspector ---------------------------------------------------------------------------

TEST_F(AuthorToolsTest, TheSnapshotFollowsEachRun) {
    open(kStory);
    StorySnapshot s = snapshotOf(m_session);
    EXPECT_TRUE(s.storyOpen);
    EXPECT_EQ(s.label, "START");
    EXPECT_EQ(s.flagsSet, (std::vector<int>{1}));
    EXPECT_EQ(s.letters.substr(0, 11), "A=A B=B C=A") << "B counted up once";
    EXPECT_EQ(s.letters.size(), 26u * 4 - 1);
    ASSERT_EQ(s.names.size(), 9u) << "the defaults block's names, never asked";
    EXPECT_EQ(s.names[8], (std::pair<int, std::string>{9, "????"}));

    choose('A');
    s = snapshotOf(m_session);
    EXPECT_EQ(s.label, "P2");
    EXPECT_EQ(s.flagsSet, (std::vector<int>{1, 2, 3, 5}));
    EXPECT_EQ(flagRanges(s.flagsSet), "1-3, 5");
    EXPECT_EQ(s.letters.substr(0, 7), "A=A B=C");

    // The end of the story clears the flags below 501 and takes the letters back.
    choose('B');
    s = snapshotOf(m_session);
    EXPECT_FALSE(s.storyOpen);
    EXPECT_TRUE(s.flagsSet.empty());
    EXPECT_EQ(s.label, "START") << "the label a new reading starts from";
}

TEST_F(AuthorToolsTest, TheSnapshotShowsTheBackgroundTheSoundAndOddLetters) {
    open("*START\n!A5\n>COL=3\n>BGM=bell.wav\nいち\n?\n次へ\nSTART\n?END\n");
    const StorySnapshot s = snapshotOf(m_session);
    EXPECT_EQ(s.letters.substr(0, 3), "A=F") << "'5' + 17 is the letter F";
    EXPECT_EQ(s.bgColour, 3);
    EXPECT_EQ(s.sound, "bell.wav");
    EXPECT_TRUE(s.soundIsMusic);

    story::StoryState odd;
    odd.setLetter('C', 7);
    m_session.story().state = odd;
    EXPECT_EQ(snapshotOf(m_session).letters.substr(0, 15), "A=A B=A C=#7 D=") << "a byte that is no letter";
}

TEST(FlagRanges, RunsOfNumbersAreJoined) {
    EXPECT_EQ(flagRanges({}), "");
    EXPECT_EQ(flagRanges({7}), "7");
    EXPECT_EQ(flagRanges({1, 2}), "1-2");
    EXPECT_EQ(flagRanges({3, 10, 11, 12, 501, 999}), "3, 10-12, 501, 999");
}

TEST(PageLabels, EachLabelOnceWithoutTheReservedBlocksOrBrokenRecords) {
    std::vector<char> index;
    story::appendLabelRecord(index, "START", 0);
    story::appendLabelRecord(index, "P2", 10);
    story::appendLabelRecord(index, "START", 20);
    story::appendLabelRecord(index, "", 30);
    story::appendLabelRecord(index, "VRKALTER", 40);
    story::appendLabelRecord(index, "VRKVER", 50);
    index.insert(index.end(), {9, 'T', 'O', 'O', 'L', 'O', 'N', 'G', 'X', 0, 0, 0, 0});
    story::appendLabelRecord(index, utf8ToSjisLossy("終わり"), 60);
    story::LabelIndex labels;
    labels.loadBytes(index);
    EXPECT_EQ(pageLabels(labels), (std::vector<std::string>{"START", "P2", "終わり"}));
}

TEST_F(AuthorToolsTest, AJumpRunsTheLabelsPageAsAChoiceWould) {
    open(kStory);
    ASSERT_TRUE(m_session.jumpToLabel("P3"));
    EXPECT_EQ(firstLine(), "さん");
    EXPECT_FALSE(m_session.story().scriptOpen()) << "P3 ends the story";

    open(kStory);
    ASSERT_TRUE(m_session.jumpToLabel("P2"));
    EXPECT_EQ(label(), "P2");
    EXPECT_EQ(m_session.story().state.flag(5), 1) << "the head applies";
    EXPECT_EQ(letterB(), 'C');
    EXPECT_FALSE(m_session.jumpToLabel("NOWHERE"));
    EXPECT_FALSE(m_session.jumpToLabel("")) << "an empty name finds no record";
    EXPECT_EQ(label(), "P2") << "a refused jump leaves the page";

    ASSERT_TRUE(m_session.jumpToLabel("P3"));
    EXPECT_FALSE(m_session.jumpToLabel("START")) << "the story has ended: nothing runs";
}

TEST_F(AuthorToolsTest, NoJumpWhileASoundEffectsPauseHoldsThePage) {
    open("*START\nいち\n?\n次へ\nP2\n?END\n*P2\n>WAV=bell.wav\nに\n?\n戻る\nSTART\n?END\n");
    ASSERT_TRUE(m_session.jumpToLabel("P2"));
    ASSERT_TRUE(m_session.heldBack());
    EXPECT_FALSE(m_session.jumpToLabel("START"));
    EXPECT_EQ(label(), "P2");
}

// --- Reloading a story compiled again ----------------------------------------------------------

TEST_F(AuthorToolsTest, AReloadKeepsThePageAndTheStateAndDoesNotRunTheHeadAgain) {
    open(kStory);
    choose('A');
    ASSERT_EQ(label(), "P2");
    const story::StoryState before = m_session.story().state;
    ASSERT_EQ(letterB(), 'C');

    std::string changed = kStory;
    changed.replace(changed.find("に\n"), 4, "にばんめ\n");
    // A page added in front moves every offset the old script had.
    test_support::writeStoryProject(m_dir, "*NEW\nあたらしい\n/\n" + changed);
    EXPECT_EQ(m_session.reloadStory(), ReadingSession::Reload::Reloaded);
    EXPECT_EQ(label(), "P2");
    EXPECT_EQ(firstLine(), "にばんめ");
    EXPECT_EQ(letterB(), 'C') << "its head ran before the reload and not again";
    EXPECT_EQ(m_session.story().state.flags, before.flags);
    EXPECT_EQ(m_session.story().state.names, before.names);
    EXPECT_FALSE(m_session.canGoBack()) << "the page before was the old script's";
    EXPECT_EQ(m_session.backlogPages(), 2u) << "its text stays in the backlog";

    // The new index leads on: the first choice goes back to START at its new place.
    choose('A');
    EXPECT_EQ(label(), "START");
    EXPECT_EQ(firstLine(), "いち");
}

TEST_F(AuthorToolsTest, AReloadWithoutTheLabelOpensTheFirstPageAndSaysSo) {
    open(kStory);
    choose('A');
    std::string renamed = kStory;
    renamed.replace(renamed.find("*P2"), 3, "*Q2");
    test_support::writeStoryProject(m_dir, renamed);
    EXPECT_EQ(m_session.reloadStory(), ReadingSession::Reload::LabelGone);
    EXPECT_EQ(label(), "START");
    EXPECT_EQ(firstLine(), "いち");
    EXPECT_EQ(m_session.story().state.flag(5), 1) << "the state goes on";
    EXPECT_EQ(letterB(), 'D') << "the first page runs whole";
}

TEST_F(AuthorToolsTest, AStoryThatCannotBeReadAgainGoesOn) {
    open(kStory);
    choose('A');
    fs::remove(m_dir / "TALE.VRJ");
    EXPECT_EQ(m_session.reloadStory(), ReadingSession::Reload::Failed);
    EXPECT_EQ(m_session.takeChanges().errors.size(), 1u);
    EXPECT_EQ(label(), "P2");
    choose('B');
    EXPECT_EQ(firstLine(), "さん") << "the old index still leads on";
}

TEST_F(AuthorToolsTest, AReloadAfterTheEndStartsAgainAndNoneBeforeAnOpening) {
    EXPECT_EQ(m_session.reloadStory(), ReadingSession::Reload::NotNow) << "no story";
    open(kStory);
    ASSERT_TRUE(m_session.jumpToLabel("P3"));
    ASSERT_FALSE(m_session.story().scriptOpen());
    EXPECT_EQ(m_session.reloadStory(), ReadingSession::Reload::Reloaded);
    EXPECT_TRUE(m_session.story().scriptOpen());
    EXPECT_EQ(label(), "START");
    EXPECT_EQ(m_session.story().state.flags[1], 1) << "its head ran";
}

// --- The watched source ----------------------------------------------------------------------

class WatchedSourceTest : public AuthorToolsTest {
protected:
    void writeSource(const std::string& text) {
        std::ofstream(m_dir / "tale.txt", std::ios::binary) << text << test_support::alterBlock();
    }
};

TEST_F(WatchedSourceTest, AFaultKeepsTheStoryCompiledLastAndNothingIsWrittenBesideTheSource) {
    writeSource(kStory);
    WatchedSource watched(m_dir / "tale.txt");
    std::string error;
    ASSERT_TRUE(watched.prepare(&error)) << error;
    const fs::path compiled = watched.compiledDir();
    EXPECT_EQ(watched.projectDir(), m_dir / "");
    EXPECT_EQ(watched.baseName(), "tale");
    EXPECT_EQ(watched.compile().kind, WatchedSource::Outcome::Compiled);
    const std::string script = readBytes(compiled / "tale.VRK");
    EXPECT_FALSE(script.empty());
    struct stat info {};
    ASSERT_EQ(::stat((compiled / "tale.V01").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0222, 0u) << "saves go to the reader's own folder";
    ASSERT_EQ(::stat(compiled.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 077, 0u) << "nobody else's";

    EXPECT_EQ(watched.compile().kind, WatchedSource::Outcome::Unchanged);

    writeSource("*START\nいち\n/\n*TOOLONGNAME\nに\n/\n");
    const WatchedSource::Outcome fault = watched.compile();
    ASSERT_EQ(fault.kind, WatchedSource::Outcome::Faulty);
    EXPECT_EQ(fault.fault.line, 4);
    EXPECT_NE(fault.fault.message.find("label"), std::string::npos) << fault.fault.message;
    EXPECT_EQ(readBytes(compiled / "tale.VRK"), script) << "the last good story stays";
    EXPECT_EQ(watched.compile().kind, WatchedSource::Outcome::Unchanged) << "told once, until changed";

    writeSource("*START\nいちばん\n/\n");
    EXPECT_EQ(watched.compile().kind, WatchedSource::Outcome::Compiled);
    EXPECT_NE(readBytes(compiled / "tale.VRK"), script);

    std::vector<std::string> beside;
    for (const auto& entry : fs::directory_iterator(m_dir)) {
        beside.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(beside, std::vector<std::string>{"tale.txt"});
}

TEST_F(WatchedSourceTest, AMissingSourceOrDefaultsBlockIsAFaultAndTheFolderGoesWithIt) {
    fs::path compiled;
    {
        WatchedSource watched(m_dir / "tale.txt");
        std::string error;
        ASSERT_TRUE(watched.prepare(&error)) << error;
        compiled = watched.compiledDir();
        EXPECT_EQ(watched.compile().kind, WatchedSource::Outcome::Faulty) << "no source yet";
        std::ofstream(m_dir / "tale.txt") << "*START\nいち\n/\n";
        const WatchedSource::Outcome noDefaults = watched.compile();
        EXPECT_EQ(noDefaults.kind, WatchedSource::Outcome::Faulty);
        EXPECT_NE(noDefaults.fault.message.find("VRKALTER"), std::string::npos);
        writeSource("*START\nいち\n/\n");
        EXPECT_EQ(watched.compile().kind, WatchedSource::Outcome::Compiled);
        ASSERT_TRUE(fs::exists(compiled / "tale.V04"));
    }
    EXPECT_FALSE(fs::exists(compiled)) << "read-only slots and all";
}

}  // namespace
}  // namespace vrk::app
