#include "app/reading_history.h"

#include <gtest/gtest.h>
#include <stdlib.h>

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
    HistoryRecorder(interpreter::Story& story) : m_story(story) {}
    void pageRunStarting(std::int32_t offset) override { history.pageRunStarting(m_story.state, offset); }
    void pageShown(const std::string& label) override {
        labels.push_back(label);
        history.pageShown(m_story.page.pageText, false);
    }
    ReadingHistory history;
    std::vector<std::string> labels;

private:
    interpreter::Story& m_story;
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
