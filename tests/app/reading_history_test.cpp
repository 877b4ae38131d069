#include "app/reading_history.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "interpreter/page_interpreter.h"
#include "story_fixture.h"

namespace vrk::app {
namespace {

namespace fs = std::filesystem;

story::StoryState stateWithFlag(int flag) {
    story::StoryState state;
    state.setFlag(flag, 1);
    state.currentLabel = "L" + std::to_string(flag);
    return state;
}

void showPage(ReadingHistory& history, int n, const std::string& text = "text") {
    history.pageRunStarting(stateWithFlag(n), n * 10);
    history.pageShown({text + std::to_string(n)}, false);
}

TEST(ReadingHistoryTest, GoingBackHandsOutThePreviousPageWithTheStateItStartedFrom) {
    ReadingHistory history;
    EXPECT_FALSE(history.canGoBack());
    showPage(history, 1);
    EXPECT_FALSE(history.canGoBack());  // nothing before the first page
    showPage(history, 2);
    showPage(history, 3);
    ASSERT_TRUE(history.canGoBack());
    const auto back = history.takeBackStep();
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->offset, 20);
    EXPECT_EQ(back->before->flag(2), 1);
    EXPECT_EQ(back->before->flag(3), 0);
    EXPECT_EQ(back->textSjis, std::vector<std::string>{"text2"});
    // The rerun records page 2 again; page 1 is still there to go back to.
    EXPECT_EQ(history.pages().size(), 1u);
    showPage(history, 2);
    EXPECT_TRUE(history.canGoBack());
    EXPECT_EQ(history.takeBackStep()->offset, 10);
    EXPECT_FALSE(history.takeBackStep().has_value());
}

TEST(ReadingHistoryTest, AQuickLoadKeepsTheTextButNotTheWayBack) {
    ReadingHistory history;
    showPage(history, 1);
    showPage(history, 2);
    history.forgetStates();
    showPage(history, 3);  // the loaded page
    EXPECT_FALSE(history.canGoBack());
    EXPECT_EQ(history.earlierPageCount(), 2u);
    showPage(history, 4);
    EXPECT_TRUE(history.canGoBack());  // back to the loaded page, no further
    history.takeBackStep();
    showPage(history, 3);
    EXPECT_FALSE(history.canGoBack());
    history.clear();
    EXPECT_EQ(history.earlierPageCount(), 0u);
}

TEST(ReadingHistoryTest, ARunThatShowsNoPageLeavesNoRecord) {
    ReadingHistory history;
    showPage(history, 1);
    history.pageRunStarting(stateWithFlag(7), 70);  // this run fails
    showPage(history, 2);
    ASSERT_EQ(history.pages().size(), 2u);
    EXPECT_EQ(history.pages().back().offset, 20);
    EXPECT_EQ(history.pages().back().before->flag(7), 0);
}

TEST(ReadingHistoryTest, StaysWithinItsBoundsOverALongReading) {
    ReadingHistory history;
    const std::string line(200, 'x');
    for (int n = 0; n < 10000; ++n) {
        history.pageRunStarting(stateWithFlag(n % 999 + 1), n);
        history.pageShown(std::vector<std::string>(5, line), false);
    }
    EXPECT_EQ(history.pages().size(), ReadingHistory::kMaxPages);
    EXPECT_GE(history.earlierPageCount(), 200u);
    EXPECT_EQ(history.pages().back().offset, 9999);
    // Long pages: the text cap holds before the page count does.
    // Each record: itself, its state's strings, the allocator's share; then the text cap.
    const std::size_t bound =
        ReadingHistory::kMaxTextBytes + ReadingHistory::kMaxPages * (sizeof(PageRecord) + 1024);
    std::size_t peak = 0;
    for (int n = 0; n < 10000; ++n) {
        history.pageRunStarting(stateWithFlag(1), n);
        history.pageShown(std::vector<std::string>(100, line), false);
        peak = std::max(peak, history.memoryBytes());
    }
    EXPECT_LT(history.pages().size(), ReadingHistory::kMaxPages);
    EXPECT_LE(peak, bound);
    std::cout << "history peak over 10000 long pages: " << peak << " bytes (bound " << bound << ", record "
              << sizeof(PageRecord) << ")\n";
    // One enormous page pushes the others out, but stays itself.
    history.pageShown(std::vector<std::string>(1, std::string(3 * 1024 * 1024, 'y')), false);
    EXPECT_EQ(history.pages().size(), 1u);
    showPage(history, 1);
    EXPECT_EQ(history.pages().size(), 1u);
}

TEST(ReadMarksTest, MarksGoToTheFileAndComeBack) {
    const fs::path file = fs::temp_directory_path() / ("vrk_marks_" + std::to_string(::getpid()) + ".VRR");
    fs::remove(file);
    {
        ReadMarks marks;
        marks.load(file);  // no file yet: no marks
        EXPECT_EQ(marks.size(), 0u);
        EXPECT_TRUE(marks.mark("START"));
        EXPECT_FALSE(marks.mark("START"));
        EXPECT_TRUE(marks.mark("\x8f\x49"));  // a Shift-JIS label
        EXPECT_FALSE(marks.mark("BAD\nLABEL"));
        EXPECT_FALSE(marks.mark(""));
    }
    ReadMarks again;
    again.load(file);
    EXPECT_EQ(again.size(), 2u);
    EXPECT_TRUE(again.contains("START"));
    EXPECT_TRUE(again.contains("\x8f\x49"));
    EXPECT_FALSE(again.contains("BAD"));
    fs::remove(file);

    // A save directory that cannot be written keeps the marks for the run.
    ReadMarks unwritable;
    unwritable.load("/nonexistent-dir/x.VRR");
    EXPECT_TRUE(unwritable.mark("A"));
    EXPECT_TRUE(unwritable.contains("A"));
}

class ReadMarksFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("vrk_marks_dir_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    static std::string contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    fs::path m_dir;
};

// A story folder's marks file linked to the reader's diary: marks are never appended to it.
TEST_F(ReadMarksFileTest, MarksAreNeverWrittenThroughALinkOrOverOtherFiles) {
    std::ofstream(m_dir / "diary.txt") << "Dear diary, today I unpacked a story.\n";
    fs::create_symlink("diary.txt", m_dir / "TALE.VRR");
    ReadMarks marks;
    marks.load(m_dir / "TALE.VRR");
    EXPECT_EQ(marks.size(), 0u);  // the diary's line is no label
    EXPECT_TRUE(marks.mark("START"));
    EXPECT_TRUE(marks.contains("START"));  // kept for the run
    EXPECT_TRUE(fs::is_symlink(m_dir / "TALE.VRR"));
    // The diary under the marks' own name (a second hard link) is not marks either.
    fs::remove(m_dir / "TALE.VRR");
    fs::create_hard_link(m_dir / "diary.txt", m_dir / "TALE.VRR");
    marks.load(m_dir / "TALE.VRR");
    EXPECT_TRUE(marks.mark("START"));
    EXPECT_EQ(contents(m_dir / "diary.txt"), "Dear diary, today I unpacked a story.\n");
}

// FIFOs, endless devices and huge files: loading returns promptly with bounded memory.
TEST_F(ReadMarksFileTest, LoadingNeverBlocksNorGrowsWithoutBound) {
    ASSERT_EQ(::mkfifo((m_dir / "FIFO.VRR").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", m_dir / "ZERO.VRR");
    std::ofstream{m_dir / "HUGE.VRR"};
    ASSERT_EQ(::truncate((m_dir / "HUGE.VRR").c_str(), off_t{3} << 30), 0);
    for (const char* name : {"FIFO.VRR", "ZERO.VRR", "HUGE.VRR"}) {
        SCOPED_TRACE(name);
        ReadMarks marks;
        marks.load(m_dir / name);
        EXPECT_EQ(marks.size(), 0u);
        EXPECT_TRUE(marks.mark("START"));
    }
    EXPECT_TRUE(fs::is_fifo(m_dir / "FIFO.VRR"));
}

// A file cut off inside a line (a full disk under an earlier release that appended) keeps the
// whole lines, and the next mark is a line of its own.
TEST_F(ReadMarksFileTest, ACutOffLineLosesNoOtherMark) {
    std::ofstream(m_dir / "TALE.VRR", std::ios::binary) << "START\r\nP2\r\nP3";
    ReadMarks marks;
    marks.load(m_dir / "TALE.VRR");
    EXPECT_EQ(marks.size(), 3u);
    EXPECT_TRUE(marks.mark("P4"));
    ReadMarks again;
    again.load(m_dir / "TALE.VRR");
    EXPECT_EQ(again.size(), 4u);
    EXPECT_TRUE(again.contains("P3"));
    EXPECT_TRUE(again.contains("P4"));
    // A line glued from a cut-off mark and the next one is dropped; the rest stays.
    std::ofstream(m_dir / "OLD.VRR", std::ios::binary) << "START\r\nLONGLABP2\r\nP5\r\n";
    again.load(m_dir / "OLD.VRR");
    EXPECT_EQ(again.size(), 2u);
    EXPECT_TRUE(again.mark("P6"));
    EXPECT_EQ(contents(m_dir / "OLD.VRR"), "P5\r\nP6\r\nSTART\r\n");
}

// Two windows on one story: the file ends up holding each mark once, from both.
TEST_F(ReadMarksFileTest, TwoReadersOfOneStoryKeepOneSet) {
    ReadMarks first;
    ReadMarks second;
    first.load(m_dir / "TALE.VRR");
    second.load(m_dir / "TALE.VRR");
    for (int n = 0; n < 40; ++n) {
        first.mark("A" + std::to_string(n));
        second.mark("A" + std::to_string(n % 20));
        second.mark("B" + std::to_string(n));
    }
    ReadMarks again;
    again.load(m_dir / "TALE.VRR");
    EXPECT_EQ(again.size(), 80u);
    const std::string text = contents(m_dir / "TALE.VRR");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 80);
    EXPECT_EQ(second.size(), 80u);  // it learnt the first window's marks on writing
}

TEST(ReadingPaceTest, PauseGrowsWithThePageAndHasACeiling) {
    const int empty = autoAdvanceDelayMs({" "});
    const int short_ = autoAdvanceDelayMs({"\x82\xa0\x82\xa2"});  // two kana
    const int longer = autoAdvanceDelayMs({"\x82\xa0\x82\xa2", "abcdef"});
    EXPECT_GT(empty, 0);
    EXPECT_LT(empty, short_);
    EXPECT_LT(short_, longer);
    EXPECT_EQ(autoAdvanceDelayMs({std::string(100000, 'a')}), autoAdvanceDelayMs({std::string(200000, 'a')}));
    EXPECT_EQ(pageTextUtf8({"\x82\xa0", " A: go"}), "\xE3\x81\x82\n A: go\n");
}

// The window's history, driven by the interpreter itself over a long reading.
class HistoryRecorder : public interpreter::PageObserver {
public:
    HistoryRecorder(interpreter::EngineState& story) : m_story(story) {}
    void pageRunStarting(std::int32_t offset) override { history.pageRunStarting(m_story.state, offset); }
    void pageShown(const std::string& label) override {
        labels.push_back(label);
        history.pageShown(m_story.page.pageText, false);
    }
    ReadingHistory history;
    std::vector<std::string> labels;

private:
    interpreter::EngineState& m_story;
};

class ReadingHistoryRunTest : public interpreter::test::StoryFixture {};

TEST_F(ReadingHistoryRunTest, TheInterpreterReportsEachPageUnderItsOwnLabel) {
    load("*A\n@NOWAIT\nx\nB\n*B\n!005\nbe page\n?END\nA\n*BAD\n@NOWAIT\nx\nNOWHERE\n");
    HistoryRecorder recorder(story);
    interpreter.setObserver(&recorder);
    run("A");
    run("A");
    EXPECT_EQ(recorder.labels, (std::vector<std::string>{"B", "B"}));
    ASSERT_TRUE(recorder.history.canGoBack());
    const auto back = recorder.history.takeBackStep();
    // Back to the first page: as it was before its run set the flag.
    EXPECT_EQ(story.state.flag(5), 1);
    EXPECT_EQ(back->before->flag(5), 0);
    EXPECT_EQ(back->before->currentLabel, "A");
    run("BAD");  // a jump error shows no page of its own
    EXPECT_EQ(recorder.labels.size(), 2u);
}

TEST_F(ReadingHistoryRunTest, TenThousandPagesStayWithinTheBound) {
    std::string source = "*P\n!001\n";
    for (int i = 0; i < 10; ++i) {
        source += "A line of the page that goes on for a while, as pages do.\n";
    }
    source += "?END\nP\n";
    load(source);
    HistoryRecorder recorder(story);
    interpreter.setObserver(&recorder);
    std::size_t peak = 0;
    for (int n = 0; n < 10000; ++n) {
        run("P");
        peak = std::max(peak, recorder.history.memoryBytes());
    }
    EXPECT_EQ(recorder.labels.size(), 10000u);
    EXPECT_EQ(recorder.history.pages().size(), ReadingHistory::kMaxPages);
    // 256 pages with their states; the state is the largest part of a record.
    EXPECT_LT(peak, 2u * 1024 * 1024);
    std::cout << "history peak over 10000 pages: " << peak << " bytes\n";
}

}  // namespace
}  // namespace vrk::app
