#include "web/binding/web_story_host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "../support/story_folder.h"
#include "common/sjis.h"

// What the page's host adds to the reading session: the JSON the page reads after every call and
// the pixels it draws. The session's rules are tested in tests/app/reading_session_test.cpp.

namespace vrk::web {
namespace {

namespace fs = std::filesystem;
using test_support::writeBmp;

class WebStoryHostTest : public test_support::StoryFolderTest {
protected:
    // Opens the project in slot 1 as the page does, on a 400 x 300 page.
    void open() { openProject(m_host); }

    int ticksToReveal() {
        int ticks = 0;
        while (!m_host.reveal().isComplete() && ticks < 10000) {
            m_host.tick();
            ++ticks;
        }
        return ticks;
    }

    WebStoryHost m_host{fs::temp_directory_path(), test_support::fixedMeasurer()};
};

TEST_F(WebStoryHostTest, TheStateTellsTheButtonsTheCaptionAndTheCompletionOnce) {
    writeProject("*START\nいち\n?\n次へ\nP2\n?\n戻る\nSTART\n?END\n*P2\nに\n?END\nSTART\n");
    open();
    const std::string first = m_host.state();
    EXPECT_NE(first.find("\"full\":true"), std::string::npos);
    EXPECT_NE(first.find("\"captions\":[\"B\",\"A\"]"), std::string::npos) << first;
    EXPECT_NE(first.find("\"caption\":\"試験 (VRK3)\""), std::string::npos) << first;
    EXPECT_NE(first.find("\"visible\":2,\"enabled\":false"), std::string::npos) << first;
    ticksToReveal();
    const std::string revealed = m_host.state();
    EXPECT_NE(revealed.find("\"completed\":true"), std::string::npos);
    EXPECT_NE(revealed.find("\"full\":false"), std::string::npos);
    EXPECT_NE(revealed.find("\"visible\":2,\"enabled\":true"), std::string::npos) << revealed;
    EXPECT_NE(revealed.find("\"revealed\":true"), std::string::npos);
    EXPECT_NE(m_host.state().find("\"completed\":false"), std::string::npos) << "told once";
}

TEST_F(WebStoryHostTest, ABackgroundWhosePictureIsMissingGoesBackToTheColour) {
    writeProject("*START\n>BAK=nothing.jpg\n>EXE=tool.sh --flag\nいち\n?END\nSTART\n");
    open();
    const std::string state = m_host.state();
    EXPECT_NE(state.find("\"kind\":\"colour\""), std::string::npos) << state;
    EXPECT_NE(state.find("\"programs\":[\"tool.sh --flag\"]"), std::string::npos) << state;
    EXPECT_NE(m_host.state().find("\"programs\":[]"), std::string::npos) << "each program is told once";
}

TEST_F(WebStoryHostTest, TheTextImageComposesTheOutlineAndReplacesOnlyUnderIt) {
    writeProject("*START\nいち\n?END\nSTART\n");
    open();
    const presentation::PageLayout& layout = m_host.layout();
    std::vector<std::uint8_t> coverage(static_cast<std::size_t>(layout.imageWidth * layout.imageHeight), 0);
    coverage[static_cast<std::size_t>(5 * layout.imageWidth + 5)] = 255;  // one inked pixel
    const std::vector<std::uint8_t>& rgba = m_host.composeText(coverage.data(), 0, layout.imageHeight);
    ASSERT_EQ(rgba.size(), coverage.size() * 4);
    const auto pixel = [&](int x, int y) {
        const std::size_t at = 4 * static_cast<std::size_t>(y * layout.imageWidth + x);
        return std::vector<int>{rgba[at], rgba[at + 1], rgba[at + 2], rgba[at + 3]};
    };
    // White on navy: the outline replaces the page at the nine offsets, the character sits at (1, 1).
    EXPECT_EQ(pixel(5, 5), (std::vector<int>{0, 0, 128, 255}));
    EXPECT_EQ(pixel(7, 7), (std::vector<int>{0, 0, 128, 255}));
    EXPECT_EQ(pixel(6, 6), (std::vector<int>{255, 255, 255, 255}));
    EXPECT_EQ(pixel(8, 5), (std::vector<int>{0, 0, 0, 0})) << "beyond the outline the page is kept";
    EXPECT_NE(m_host.layoutJson().find("[[0,\"い\"],[20,\"ち\"]]"), std::string::npos) << m_host.layoutJson();

    // A band of rows composes the same pixels from the coverage two rows above it.
    const std::vector<std::uint8_t> whole = rgba;
    const int top = 6;
    const std::vector<std::uint8_t>& band =
        m_host.composeText(coverage.data() + static_cast<std::size_t>((top - 2) * layout.imageWidth), top, 9);
    ASSERT_EQ(band.size(), static_cast<std::size_t>(3 * layout.imageWidth * 4));
    EXPECT_TRUE(std::equal(band.begin(), band.end(), whole.begin() + 4 * top * layout.imageWidth));
}

TEST_F(WebStoryHostTest, ASoundEffectsPauseShowsTheScreenAsTheRunLeftItThere) {
    writeProject(
        "*START\nいち\n?\n次へ\nP2\n?\n戻る\nSTART\n?END\n"
        "*P2\n>WAV=bell.wav\n>BAK=red.bmp\n>BMP=red.bmp\nに\n?\n次へ\nSTART\n?END\nSTART\n");
    writeBmp(m_dir / "red.bmp", 255, 0, 0);
    open();
    ticksToReveal();
    m_host.state();
    ASSERT_TRUE(m_host.chooseKey('A'));
    ASSERT_EQ(m_host.holdTicks(), 2);
    // The background and the picture window came after the sound: not yet on show.
    const std::string held = m_host.state();
    EXPECT_NE(held.find("\"kind\":\"colour\""), std::string::npos) << held;
    EXPECT_NE(held.find("\"shown\":false"), std::string::npos) << held;
    EXPECT_NE(held.find("\"held\":true"), std::string::npos);
    EXPECT_NE(held.find("\"captions\":[\"B\",\"A\"],"), std::string::npos) << "the page before's buttons";
    EXPECT_NE(held.find("\"enabled\":true"), std::string::npos) << held;
    EXPECT_TRUE(m_host.picturePixels(0).empty()) << "no picture behind the page yet";
    m_host.tick();
    EXPECT_EQ(m_host.state().find("\"kind\":\"stretched\""), std::string::npos) << "still pausing";
    m_host.tick();
    const std::string after = m_host.state();
    EXPECT_NE(after.find("\"kind\":\"stretched\""), std::string::npos) << after;
    EXPECT_NE(after.find("\"shown\":true"), std::string::npos) << after;
    EXPECT_NE(after.find("\"full\":true"), std::string::npos) << "drawn again whole";
    EXPECT_NE(after.find("\"captions\":[\"Next\"],"), std::string::npos) << after;
    EXPECT_EQ(m_host.picturePixels(0).size(), 2U * 2U * 4U);
    // A band of rows at a time, as the page takes a large picture, cut at the picture's edge.
    const std::vector<std::uint8_t> band = m_host.picturePixels(0, 1, 5);
    ASSERT_EQ(band.size(), 2U * 1U * 4U);
    EXPECT_EQ((std::vector<std::uint8_t>(band.begin(), band.begin() + 4)),
              (std::vector<std::uint8_t>{255, 0, 0, 255}));
    EXPECT_TRUE(m_host.picturePixels(0, 2, 1).empty());
}

TEST_F(WebStoryHostTest, TheBacklogIsTheEarlierPagesLinesAsJson) {
    writeProject("*START\nいち\n?\n次へ\nP2\n?END\n*P2\nに\n?\n次へ\nP3\n?END\n*P3\nさん\n?END\nSTART\n");
    open();
    EXPECT_EQ(m_host.backlogJson(), "[]");
    ticksToReveal();
    ASSERT_TRUE(m_host.chooseKey(13));
    ticksToReveal();
    ASSERT_TRUE(m_host.chooseKey(13));
    EXPECT_EQ(m_host.backlogPages(), 2U);
    EXPECT_EQ(m_host.backlogJson(), "[[\"いち\",\"　次へ\"],[\"に\",\"　次へ\"]]");
}

// The scroll position the page last heard of, which is all page.js decides the backlog on.
struct ScrollShown {
    int value = -1;
    int maximum = -1;
    bool enabled = false;
    // PageUp and the wheel turned up open the backlog (rather than scroll) exactly here.
    bool atTop() const { return !enabled || value == 0; }
};

ScrollShown scrollShown(const std::string& state) {
    ScrollShown shown;
    const std::size_t at = state.find("\"scroll\":{");
    if (at == std::string::npos) {
        return shown;
    }
    int pageStep = 0;
    int singleStep = 0;
    char enabled[6] = {};
    if (std::sscanf(
            state.c_str() + at,
            "\"scroll\":{\"value\":%d,\"max\":%d,\"pageStep\":%d,\"singleStep\":%d,\"enabled\":%5[a-z]",
            &shown.value, &shown.maximum, &pageStep, &singleStep, enabled) == 5) {
        shown.enabled = std::string(enabled) == "true";
    }
    return shown;
}

TEST_F(WebStoryHostTest, TheStateTellsTheScrollAndTheComfortsThePageDecidesOn) {
    std::string source = "*START\nいち\n?END\nLONG\n*LONG\n";
    for (int i = 0; i < 60; ++i) {
        source += "漢漢漢\n";
    }
    writeProject(source + "?END\nLONG\n");
    open();
    const std::string first = m_host.state();
    EXPECT_TRUE(scrollShown(first).atTop()) << "a short page: PageUp opens the backlog at once";
    EXPECT_NE(first.find("\"pagesShown\":1,"), std::string::npos) << first;
    EXPECT_NE(first.find("\"canGoBack\":false"), std::string::npos);
    ticksToReveal();
    ASSERT_TRUE(m_host.chooseKey(13));
    ticksToReveal();
    const std::string second = m_host.state();
    EXPECT_NE(second.find("\"pagesShown\":2,"), std::string::npos) << "counted over the calls";
    EXPECT_NE(second.find("\"canGoBack\":true"), std::string::npos);
    EXPECT_NE(second.find("\"backlogPages\":1,"), std::string::npos);
    EXPECT_NE(second.find("\"autoAdvance\":false"), std::string::npos);
    m_host.setAutoAdvance(true);
    EXPECT_NE(m_host.state().find("\"autoAdvance\":true"), std::string::npos);
    m_host.stopAutoAndSkip();

    // The scroll the page hears of is the host's, through the keys and the wheel.
    ASSERT_TRUE(m_host.scrollByKey(ScrollKey::End));
    ScrollShown shown = scrollShown(m_host.state());
    ASSERT_TRUE(shown.enabled);
    EXPECT_GT(shown.value, 0);
    EXPECT_EQ(shown.value, shown.maximum);
    ASSERT_TRUE(m_host.scrollByKey(ScrollKey::PageUp));
    shown = scrollShown(m_host.state());
    EXPECT_EQ(shown.value, m_host.scrollPosition());
    EXPECT_LT(shown.value, shown.maximum);
    m_host.wheel(-120);
    EXPECT_EQ(scrollShown(m_host.state()).value, m_host.scrollPosition());
    ASSERT_TRUE(m_host.scrollByKey(ScrollKey::Home));
    EXPECT_TRUE(scrollShown(m_host.state()).atTop());
}

// The page hands in its gamepads' state as it reads it, every frame: the host counts each press
// once and tells the page only what is left to it.
TEST_F(WebStoryHostTest, APadsStateGivesEachPressOnceAndLeavesThePageItsPart) {
    writeProject("*START\nいち\n?\n次へ\nP2\n?\n戻る\nSTART\n?END\n*P2\nに\n?END\nSTART\n");
    open();
    const std::uint32_t south = app::padBit(app::PadButton::South);
    EXPECT_EQ(m_host.padState(south, 0, 0), "[]") << "the page finished: the session's own part";
    EXPECT_TRUE(m_host.reveal().isComplete());
    EXPECT_EQ(m_host.padState(south, 0, 0), "[]") << "still held: no second press";
    m_host.padState(0, 0.9, 0);  // the stick to the right: the second choice
    const std::string state = m_host.state();
    EXPECT_NE(state.find("\"focus\":1,\"focusChanged\":true"), std::string::npos) << state;
    m_host.setChoiceFocus(2);
    EXPECT_EQ(m_host.padState(south, 0, 0), "[{\"kind\":\"click\",\"button\":2}]");
    EXPECT_EQ(m_host.padState(app::padBit(app::PadButton::East), 0, 0),
              "[{\"kind\":\"menu\",\"item\":\"backAction\"}]");
    m_host.setBacklogOpen(true);
    EXPECT_EQ(m_host.padState(app::padBit(app::PadButton::RightShoulder), 0, 0),
              "[{\"kind\":\"scrollBacklog\",\"amount\":1,\"pages\":true}]");
}

}  // namespace
}  // namespace vrk::web
