// The reading session's rules that a window adds to it: a click during the pause after a run,
// nonstop pauses slept rather than held, the grid scaled from the page's own, and auto-advance's
// countdown as the window's tests see it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "../support/story_folder.h"
#include "app/reading_session.h"

namespace vrk::app {
namespace {

namespace fs = std::filesystem;

// Ten pixels a byte and twenty a line at scale 1.
class TenPixelMeasurer : public presentation::TextMeasurer {
public:
    int textWidth(std::string_view textSjis) const override { return 10 * static_cast<int>(textSjis.size()); }
    int textHeight(std::string_view) const override { return 20; }
};

ScaledMeasurer tenPixels() {
    return [](double) { return std::make_unique<TenPixelMeasurer>(); };
}

class ReadingSessionWindowTest : public test_support::StoryFolderTest {
protected:
    void SetUp() override {
        StoryFolderTest::SetUp();
        // The first page pauses after its sound effect.
        test_support::writeStoryProject(
            m_dir, "*START\n>WAV=bell.wav\nいち\n?END\nP2\n*P2\nにのページ\n?END\nSTART\n");
    }

    void open() {
        m_session.setPageSize(400, 300, 1.0);
        m_session.setProject(m_dir, "TALE");
        ASSERT_TRUE(m_session.chooseSaveDirectory());
        SlotView view;
        ASSERT_TRUE(m_session.describeSlot(1, view));
        ASSERT_TRUE(m_session.loadSlot());
        ASSERT_TRUE(m_session.start());
    }

    ReadingSession m_session{fs::temp_directory_path(), tenPixels()};
};

TEST_F(ReadingSessionWindowTest, AClickDuringThePauseAfterARunDoesNothing) {
    open();
    ASSERT_EQ(m_session.holdTicks(), 2);
    // While the window waited inside the run the page before was gone and the new one not yet
    // on show: there was nothing for a click to finish.
    m_session.clickPage();
    EXPECT_FALSE(m_session.reveal().isComplete());
    EXPECT_FALSE(m_session.choicesEnabled());
    m_session.tick();
    m_session.tick();
    ASSERT_FALSE(m_session.heldBack());
    m_session.clickPage();
    EXPECT_TRUE(m_session.reveal().isComplete());
    EXPECT_TRUE(m_session.choicesEnabled());
}

TEST_F(ReadingSessionWindowTest, NonstopSleepsItsPausesWhereASleeperIsGiven) {
    m_session.story().options.revealAtOnce = true;
    m_session.setNonstop(true);
    open();  // no sleeper: the pause is skipped
    EXPECT_EQ(m_session.holdTicks(), 0);
    std::vector<int> slept;
    m_session.setNonstopSleeper([&slept](int ticks) { slept.push_back(ticks); });
    ASSERT_TRUE(m_session.chooseKey(13));
    ASSERT_TRUE(m_session.chooseKey(13));  // back on the page with the sound effect
    EXPECT_EQ(slept, std::vector<int>{2});
    EXPECT_EQ(m_session.holdTicks(), 0);
    EXPECT_FALSE(m_session.heldBack());
}

TEST_F(ReadingSessionWindowTest, AGridMeasurerIsScaledRatherThanMeasuredAgain) {
    // Cells of 7 at the page's own pixels, whatever the measurer would say at a ratio.
    m_session.setGridMeasurer([](int gap) {
        presentation::FontMetrics grid;
        grid.cellWidth = 7;
        grid.lineHeight = 2 * gap;
        grid.edgeAllowance = 3;
        return grid;
    });
    open();
    const presentation::PageLayout own = m_session.layout();
    EXPECT_EQ(own.metrics.cellWidth, 7);
    EXPECT_EQ(m_session.outlineWidth(), 1);

    m_session.setPageSize(400, 300, 1.5);
    m_session.tick();  // the layout follows at once; a tick changes nothing about that
    const presentation::PageLayout& scaled = m_session.layout();
    EXPECT_EQ(scaled.metrics.cellWidth, 10);  // 7 × 1.5, truncated
    EXPECT_EQ(scaled.metrics.lineHeight, 36);
    EXPECT_EQ(scaled.metrics.edgeAllowance, 5);  // 3 × 1.5, rounded up
    EXPECT_EQ(scaled.columns, own.columns);
    EXPECT_EQ(m_session.outlineWidth(), 2);
    // The image holds the page's own image scaled, and the outline on both sides.
    const int ownImageWidth = (7 + 1) * 2 * own.columns + 2;
    EXPECT_GE(scaled.imageWidth, static_cast<int>(std::ceil(ownImageWidth * 1.5)) + 4);
}

TEST_F(ReadingSessionWindowTest, AutoAdvanceTellsWhileItCounts) {
    open();
    m_session.setAutoAdvance(true);
    EXPECT_FALSE(m_session.autoAdvancePending()) << "the page is still being revealed";
    m_session.clickPage();  // held back: the pause first
    m_session.tick();
    m_session.tick();
    m_session.clickPage();
    EXPECT_TRUE(m_session.autoAdvancePending());
    m_session.stopAutoAndSkip();
    EXPECT_FALSE(m_session.autoAdvancePending());
}

}  // namespace
}  // namespace vrk::app
