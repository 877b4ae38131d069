#include "web/binding/web_story_host.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "common/sjis.h"
#include "sound/null_sound_backend.h"
#include "vrkc/story_compiler.h"

namespace vrk::web {
namespace {

namespace fs = std::filesystem;

// Ten pixels a byte, twenty a line: cells of 10, lines of 24 at the standard gap.
class FixedMeasurer : public presentation::TextMeasurer {
public:
    int textWidth(std::string_view textSjis) const override { return 10 * static_cast<int>(textSjis.size()); }
    int textHeight(std::string_view) const override { return 20; }
};

std::string alterBlock() {
    std::string block = "*VRKALTER\n";
    for (int i = 0; i < 18; ++i) {
        block += "????\n";
    }
    return block + "試験\n";
}

class WebStoryHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("vrk_web_host_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        ::setenv("XDG_DATA_HOME", (m_dir / "data").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void writeProject(const std::string& source) {
        compiler::CompileError error;
        const auto story = compiler::compileStory(source + alterBlock(), false, &error);
        ASSERT_TRUE(story) << error.line << ": " << error.message;
        std::ofstream(m_dir / "TALE.VRK", std::ios::binary)
            .write(story->script.data(), static_cast<std::streamsize>(story->script.size()));
        std::ofstream(m_dir / "TALE.VRJ", std::ios::binary)
            .write(story->index.data(), static_cast<std::streamsize>(story->index.size()));
        const auto slot = compiler::initialSlot(*story);
        ASSERT_TRUE(slot);
        for (const char* extension : {".V01", ".V02", ".V03", ".V04"}) {
            std::ofstream(m_dir / (std::string("TALE") + extension), std::ios::binary) << *slot;
        }
        std::ofstream(m_dir / "bell.wav", std::ios::binary) << "RIFF";
        std::ofstream(m_dir / "tool.sh", std::ios::binary) << "#!/bin/sh\n";
    }

    // Opens the project in slot 1 as the page does, on a 400 x 300 page.
    void open() {
        m_host.setPageSize(400, 300, 1.0);
        ASSERT_TRUE(m_host.setProject((m_dir / "TALE.VRK").string()));
        ASSERT_TRUE(m_host.chooseSaveDirectory());
        app::SlotView view;
        ASSERT_TRUE(m_host.describeSlot(1, view));
        ASSERT_TRUE(m_host.loadSlot());
        ASSERT_TRUE(m_host.start());
    }

    int ticksToReveal() {
        int ticks = 0;
        while (!m_host.reveal().isComplete() && ticks < 10000) {
            m_host.tick();
            ++ticks;
        }
        return ticks;
    }

    fs::path m_dir;
    WebStoryHost m_host{fs::temp_directory_path(), [](double) { return std::make_unique<FixedMeasurer>(); }};
};

TEST_F(WebStoryHostTest, APageRevealsOnTheTimerAndItsChoicesWaitForTheEnd) {
    writeProject("*START\nいち\n?\n次へ\nP2\n?\n戻る\nSTART\n?END\n*P2\nに\n?END\nSTART\n");
    open();
    EXPECT_EQ(m_host.layout().metrics.cellWidth, 10);
    EXPECT_EQ(m_host.layout().metrics.lineHeight, 24);
    EXPECT_EQ(m_host.visibleButtons(), 2);
    EXPECT_FALSE(m_host.choicesEnabled());
    const std::string first = m_host.state();
    EXPECT_NE(first.find("\"full\":true"), std::string::npos);
    EXPECT_NE(first.find("\"captions\":[\"B\",\"A\"]"), std::string::npos) << first;
    EXPECT_NE(first.find("\"caption\":\"試験 (VRK3)\""), std::string::npos) << first;

    // Every tick but the last leaves the buttons disabled.
    int ticks = 0;
    while (!m_host.reveal().isComplete()) {
        EXPECT_FALSE(m_host.choicesEnabled()) << "tick " << ticks;
        m_host.tick();
        ++ticks;
    }
    EXPECT_GT(ticks, 1);
    EXPECT_TRUE(m_host.choicesEnabled());
    const std::string revealed = m_host.state();
    EXPECT_NE(revealed.find("\"completed\":true"), std::string::npos);
    EXPECT_NE(revealed.find("\"full\":false"), std::string::npos);
    EXPECT_NE(m_host.state().find("\"completed\":false"), std::string::npos) << "told once";

    // Button 2 is the leftmost in use: the first choice.
    EXPECT_TRUE(m_host.clickButton(2));
    EXPECT_EQ(m_host.story().state.currentLabel, "P2");
}

TEST_F(WebStoryHostTest, ASoundEffectsPauseHoldsTheRevealAndTheKeysAfterTheRun) {
    writeProject("*START\n>WAV=bell.wav\nいち\n?\n次へ\nP2\n?\n戻る\nSTART\n?END\n*P2\nに\n?END\nSTART\n");
    open();
    EXPECT_EQ(m_host.holdTicks(), 2);
    EXPECT_FALSE(m_host.chooseKey('A')) << "input waits as it does while the window waits";
    const int countBefore = m_host.reveal().revealCount();
    m_host.tick();
    m_host.tick();
    EXPECT_EQ(m_host.reveal().revealCount(), countBefore) << "the reveal waits too";
    EXPECT_EQ(m_host.holdTicks(), 0);
    EXPECT_TRUE(m_host.chooseKey('A'));
    EXPECT_EQ(m_host.story().state.currentLabel, "P2");

    // Nonstop has no timer to wait on: no hold at all.
    m_host.story().options.nonstop = true;
    m_host.setNonstop(true);
    EXPECT_TRUE(m_host.chooseKey(13));
    EXPECT_EQ(m_host.holdTicks(), 0);
}

TEST_F(WebStoryHostTest, TheSingleButtonAfterTheEndStandsForOpeningAgain) {
    writeProject("*START\nおわり\n/\n");
    open();
    EXPECT_FALSE(m_host.story().scriptOpen());
    EXPECT_EQ(m_host.visibleButtons(), 1);
    ticksToReveal();
    EXPECT_FALSE(m_host.clickButton(1));
    EXPECT_TRUE(m_host.clickButton(3)) << "a button not shown does nothing, and is no reopening";
}

TEST_F(WebStoryHostTest, ALongPageScrollsWithTheRevealAndTheKeys) {
    std::string source = "*START\n";
    for (int i = 0; i < 30; ++i) {
        source += "行" + std::to_string(i) + "\n";
    }
    writeProject(source + "?END\nSTART\n");
    open();
    const presentation::ScrollRange range = m_host.scrollRange();
    EXPECT_TRUE(range.enabled);
    EXPECT_EQ(range.singleStep, 24);
    EXPECT_EQ(range.pageStep, 288);  // twelve whole lines of the 300 pixels
    ticksToReveal();
    EXPECT_GT(m_host.scrollPosition(), 0) << "the reveal scrolled on reaching the buttons' band";
    EXPECT_TRUE(m_host.scrollByKey(ScrollKey::Home));
    EXPECT_EQ(m_host.scrollPosition(), 0);
    m_host.state();
    m_host.wheel(120);
    EXPECT_EQ(m_host.scrollPosition(), 3 * 24);
    EXPECT_NE(m_host.state().find("\"full\":true"), std::string::npos) << "a scroll repaints the page";
    EXPECT_TRUE(m_host.scrollByKey(ScrollKey::End));
    EXPECT_EQ(m_host.scrollPosition(), range.maximum);
    m_host.scrollTo(range.maximum + 500);
    EXPECT_EQ(m_host.scrollPosition(), range.maximum);
    m_host.scrollTo(24 * 5 + 13);
    m_host.snapScroll();
    EXPECT_EQ(m_host.scrollPosition(), 24 * 5) << "a thumb let go lands on a whole line";
}

TEST_F(WebStoryHostTest, ABackgroundWhosePictureIsMissingGoesBackToTheColour) {
    writeProject("*START\n>BAK=nothing.jpg\n>EXE=tool.sh --flag\nいち\n?END\nSTART\n");
    open();
    const std::string state = m_host.state();
    EXPECT_NE(state.find("\"kind\":\"colour\""), std::string::npos) << state;
    EXPECT_TRUE(m_host.story().state.background.empty());
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

TEST_F(WebStoryHostTest, MusicThatEndsPlaysAgainTenTicksLater) {
    struct CountingBackend : sound::NullSoundBackend {
        int plays = 0;
        void play(FinishedHandler onFinished) override {
            ++plays;
            NullSoundBackend::play(std::move(onFinished));
        }
    };
    auto backend = std::make_unique<CountingBackend>();
    CountingBackend* music = backend.get();
    m_host.setSoundBackend(std::move(backend));
    std::ofstream(m_dir / "theme.mid", std::ios::binary) << "MThd";
    writeProject("*START\n>BGM=theme.mid\nいち\n?END\nSTART\n");
    open();
    ASSERT_EQ(music->plays, 1);
    music->finishPlayback();
    m_host.tick();  // the notice is handled on the next tick; the pause starts there
    for (int i = 0; i < 9; ++i) {
        m_host.tick();
    }
    EXPECT_EQ(music->plays, 1);
    m_host.tick();
    EXPECT_EQ(music->plays, 2);
}

// A 2 x 2 picture of one colour, as a 24-bit BMP.
void writeBmp(const fs::path& path, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    std::string bmp = "BM";
    const auto u32 = [&bmp](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bmp += static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    };
    const auto u16 = [&bmp](std::uint16_t v) {
        bmp += static_cast<char>(v & 0xFF);
        bmp += static_cast<char>(v >> 8);
    };
    u32(70), u32(0), u32(54), u32(40), u32(2), u32(2), u16(1), u16(24), u32(0), u32(16), u32(2835), u32(2835);
    u32(0), u32(0);
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 2; ++x) {
            bmp += static_cast<char>(b);
            bmp += static_cast<char>(g);
            bmp += static_cast<char>(r);
        }
        bmp += std::string(2, '\0');
    }
    std::ofstream(path, std::ios::binary) << bmp;
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

// Three pages of a single "Next" each, then a page with two choices.
constexpr const char* kChain =
    "*START\nいち\n?\n次へ\nP2\n?END\n*P2\nに\n?\n次へ\nP3\n?END\n*P3\nさん\n?\n次へ\nP4\n?END\n"
    "*P4\nよん\n?\nはい\nSTART\n?\nいいえ\nP2\n?END\nSTART\n";

TEST_F(WebStoryHostTest, GoingBackRunsThePreviousPageFromTheStateItStartedWith) {
    writeProject(kChain);
    open();
    EXPECT_FALSE(m_host.canGoBack()) << "nothing before the first page";
    ticksToReveal();
    ASSERT_TRUE(m_host.chooseKey(13));
    ticksToReveal();
    ASSERT_TRUE(m_host.chooseKey(13));
    ASSERT_EQ(m_host.story().state.currentLabel, "P3");
    EXPECT_EQ(m_host.backlogPages(), 2U);
    EXPECT_EQ(m_host.backlogJson(), "[[\"いち\",\"　次へ\"],[\"に\",\"　次へ\"]]");

    ASSERT_TRUE(m_host.canGoBack());
    ASSERT_TRUE(m_host.goBackOnePage());
    EXPECT_EQ(m_host.story().state.currentLabel, "P2");
    EXPECT_EQ(sjisToUtf8(m_host.story().page.pageText.front()), "に");
    EXPECT_EQ(m_host.backlogPages(), 1U) << "the page gone back to is recorded afresh";
    ASSERT_TRUE(m_host.goBackOnePage());
    EXPECT_EQ(m_host.story().state.currentLabel, "START");
    EXPECT_FALSE(m_host.goBackOnePage());

    // A quick load: the pages before it stay in the backlog but cannot be gone back to.
    ticksToReveal();
    ASSERT_TRUE(m_host.chooseKey(13));
    ASSERT_TRUE(m_host.quickSave());
    ticksToReveal();
    ASSERT_TRUE(m_host.chooseKey(13));
    m_host.quickLoad();
    EXPECT_EQ(m_host.story().state.currentLabel, "P2");
    EXPECT_GE(m_host.backlogPages(), 2U);
    EXPECT_FALSE(m_host.canGoBack());
}

TEST_F(WebStoryHostTest, SkippingRunsReadPagesAndStopsAtTheFirstUnreadOne) {
    writeProject(kChain);
    open();
    ticksToReveal();
    ASSERT_TRUE(m_host.chooseKey(13));  // P2 read, P3 not
    m_host.flush();
    std::ifstream marks(m_dir / "TALE.VRR", std::ios::binary);
    const std::string kept((std::istreambuf_iterator<char>(marks)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "P2\r\nSTART\r\n") << "read marks beside the slots, a set in byte order";

    // A new reading of the same project knows what was read.
    WebStoryHost again{fs::temp_directory_path(), [](double) { return std::make_unique<FixedMeasurer>(); }};
    again.setPageSize(400, 300, 1.0);
    ASSERT_TRUE(again.setProject((m_dir / "TALE.VRK").string()));
    ASSERT_TRUE(again.chooseSaveDirectory());
    app::SlotView view;
    ASSERT_TRUE(again.describeSlot(2, view));
    ASSERT_TRUE(again.loadSlot());
    ASSERT_TRUE(again.start());
    ASSERT_EQ(again.story().state.currentLabel, "START");
    again.setSkipping(true);
    EXPECT_TRUE(again.skipping());
    EXPECT_TRUE(again.reveal().isComplete()) << "the page on show is completed at once";
    for (int i = 0; i < 20 && again.skipping(); ++i) {
        again.tick();
    }
    EXPECT_FALSE(again.skipping());
    EXPECT_EQ(again.story().state.currentLabel, "P3") << "stops at the first unread page";
    EXPECT_FALSE(again.reveal().isComplete()) << "an unread page is revealed as usual";

    // A page of choices is never skipped, read or not.
    while (!again.reveal().isComplete()) {
        again.tick();
    }
    ASSERT_TRUE(again.chooseKey(13));
    ASSERT_EQ(again.story().state.currentLabel, "P4");
    again.setSkipping(true);
    EXPECT_FALSE(again.skipping());
}

TEST_F(WebStoryHostTest, AutoAdvanceWaitsForTheWholePageAndItsLengthThenGoesOn) {
    writeProject(kChain);
    open();
    m_host.setAutoAdvance(true);
    const int reveal = ticksToReveal();
    EXPECT_EQ(m_host.story().state.currentLabel, "START") << "not before the page is complete";
    const int delay = app::autoAdvanceDelayMs(m_host.story().page.pageText);
    int ticks = 0;
    while (m_host.story().state.currentLabel == "START" && ticks < 1000) {
        m_host.tick();
        ++ticks;
    }
    EXPECT_GT(reveal, 0);
    EXPECT_EQ(m_host.story().state.currentLabel, "P2");
    EXPECT_GE(ticks * 55, delay);
    EXPECT_LE(ticks * 55, delay + 2 * 55);

    // Input of the reader stops it.
    ticksToReveal();
    m_host.stopAutoAndSkip();
    for (int i = 0; i < 1000; ++i) {
        m_host.tick();
    }
    EXPECT_EQ(m_host.story().state.currentLabel, "P2");
    EXPECT_FALSE(m_host.autoAdvance());

    // The backlog over the page holds it back; a page of choices ends it.
    m_host.setAutoAdvance(true);
    m_host.setBacklogOpen(true);
    for (int i = 0; i < 1000; ++i) {
        m_host.tick();
    }
    EXPECT_EQ(m_host.story().state.currentLabel, "P2");
    m_host.setBacklogOpen(false);
    for (int i = 0; i < 2000; ++i) {
        m_host.tick();
    }
    EXPECT_EQ(m_host.story().state.currentLabel, "P4");
}

// The page's rules where it is long or a reading goes on by itself, as the window keeps them:
// three plain pages, then a fork to a page that pauses after its sound effect (it alternates with
// a quiet one) or to a page longer than the page's 300 pixels (it goes on to itself).
std::string comfortPages() {
    std::string longPage = "*LONG\n";
    for (int i = 0; i < 60; ++i) {
        longPage += "漢漢漢\n";
    }
    return "*START\nいち\n?END\nP2\n*P2\nにい\n?END\nP3\n*P3\nさん\n?END\nFORK\n"
           "*FORK\nわかれ\n?\n音\nNOISE\n?\n長い\nLONG\n?END\n"
           "*NOISE\n>WAV=bell.wav\nおと\n?END\nQUIET\n*QUIET\nしずか\n?END\nNOISE\n" +
           longPage + "?END\nLONG\n";
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

TEST_F(WebStoryHostTest, PageUpAndTheWheelScrollALongPageBeforeTheBacklogOpensAtItsTop) {
    writeProject(comfortPages());
    open();
    EXPECT_TRUE(scrollShown(m_host.state()).atTop()) << "a short page: PageUp opens the backlog at once";
    for (int page = 0; page < 3; ++page) {
        ticksToReveal();
        ASSERT_TRUE(m_host.chooseKey(13));
    }
    ticksToReveal();
    ASSERT_TRUE(m_host.chooseKey('B'));
    ASSERT_EQ(m_host.story().state.currentLabel, "LONG");
    ticksToReveal();
    ASSERT_GT(m_host.backlogPages(), 0U);

    // PageUp as page.js sends it: a scroll while the page it was told of is below its top.
    ASSERT_TRUE(m_host.scrollByKey(ScrollKey::End));
    ScrollShown shown = scrollShown(m_host.state());
    ASSERT_TRUE(shown.enabled);
    ASSERT_GT(shown.value, 0);
    EXPECT_EQ(shown.value, shown.maximum);
    int steps = 0;
    while (!shown.atTop() && steps < 100) {
        const int before = shown.value;
        ASSERT_TRUE(m_host.scrollByKey(ScrollKey::PageUp));
        ++steps;
        shown = scrollShown(m_host.state());
        ASSERT_LT(shown.value, before);
        ASSERT_GE(shown.value, 0);
        EXPECT_EQ(shown.value, m_host.scrollPosition());
    }
    EXPECT_GT(steps, 1) << "more than a page to scroll back over";
    EXPECT_EQ(shown.value, 0);
    // At the top it stays there for the backlog to open.
    EXPECT_TRUE(m_host.scrollByKey(ScrollKey::PageUp));
    EXPECT_TRUE(scrollShown(m_host.state()).atTop());

    // The wheel the same way, a notch at a time.
    ASSERT_TRUE(m_host.scrollByKey(ScrollKey::End));
    shown = scrollShown(m_host.state());
    int notches = 0;
    while (!shown.atTop() && notches < 200) {
        const int before = shown.value;
        m_host.wheel(-120);
        ++notches;
        shown = scrollShown(m_host.state());
        ASSERT_LT(shown.value, before);
    }
    EXPECT_GT(notches, steps) << "a notch scrolls less than a page";
    EXPECT_EQ(shown.value, 0);
    m_host.wheel(-120);
    EXPECT_EQ(scrollShown(m_host.state()).value, 0);
    EXPECT_EQ(m_host.story().state.currentLabel, "LONG");

    // The next page starts at its top, whatever the page before was scrolled to.
    ASSERT_TRUE(m_host.scrollByKey(ScrollKey::End));
    m_host.state();
    const std::size_t backlog = m_host.backlogPages();
    ASSERT_TRUE(m_host.chooseKey(13));
    ASSERT_EQ(m_host.backlogPages(), backlog + 1) << "another long page";
    shown = scrollShown(m_host.state());
    EXPECT_TRUE(shown.enabled);
    EXPECT_EQ(shown.value, 0);
}

TEST_F(WebStoryHostTest, NothingGoesBackAPageWhileAPauseHoldsInputBack) {
    auto backend = std::make_unique<sound::NullSoundBackend>();
    sound::NullSoundBackend* sound = backend.get();
    m_host.setSoundBackend(std::move(backend));
    writeProject(comfortPages());
    open();
    for (int page = 0; page < 3; ++page) {
        ticksToReveal();
        ASSERT_TRUE(m_host.chooseKey(13));
    }
    ASSERT_EQ(m_host.story().state.currentLabel, "FORK");
    ticksToReveal();
    ASSERT_TRUE(m_host.chooseKey('A'));
    ASSERT_EQ(m_host.story().state.currentLabel, "NOISE");
    ASSERT_GT(m_host.holdTicks(), 0);
    const std::size_t backlog = m_host.backlogPages();

    // On every tick of the pause: not offered, and the page's command does nothing.
    while (m_host.holdTicks() > 0) {
        EXPECT_FALSE(m_host.canGoBack()) << m_host.holdTicks() << " ticks left";
        EXPECT_NE(m_host.state().find("\"canGoBack\":false"), std::string::npos);
        ASSERT_FALSE(m_host.goBackOnePage());
        EXPECT_EQ(m_host.story().state.currentLabel, "NOISE");
        EXPECT_EQ(sjisToUtf8(m_host.story().page.pageText.front()), "おと");
        EXPECT_EQ(m_host.backlogPages(), backlog);
        m_host.tick();
    }
    // The reading is as it was: back goes to the page before.
    EXPECT_NE(m_host.state().find("\"canGoBack\":true"), std::string::npos);
    ASSERT_TRUE(m_host.goBackOnePage());
    EXPECT_EQ(m_host.story().state.currentLabel, "FORK");
    EXPECT_EQ(sjisToUtf8(m_host.story().page.pageText.front()), "わかれ");

    // Gone back to a page that pauses: a second step back waits for its pause too.
    ticksToReveal();
    ASSERT_TRUE(m_host.chooseKey('A'));
    ticksToReveal();
    ASSERT_TRUE(sound->finishPlayback());
    ASSERT_TRUE(m_host.chooseKey(13));
    ASSERT_EQ(m_host.story().state.currentLabel, "QUIET");
    ticksToReveal();
    ASSERT_TRUE(m_host.goBackOnePage());
    ASSERT_EQ(m_host.story().state.currentLabel, "NOISE");
    ASSERT_GT(m_host.holdTicks(), 0);
    EXPECT_FALSE(m_host.goBackOnePage());
    EXPECT_EQ(m_host.story().state.currentLabel, "NOISE");
    ticksToReveal();
    ASSERT_TRUE(sound->finishPlayback());
    ASSERT_TRUE(m_host.chooseKey(13));
    ASSERT_EQ(m_host.story().state.currentLabel, "QUIET");

    // Auto-advance turns the page while the menu, opened before, still offers going back: its
    // item is clicked during the pause.
    ticksToReveal();
    ASSERT_NE(m_host.state().find("\"canGoBack\":true"), std::string::npos);
    m_host.setAutoAdvance(true);
    int ticks = 0;
    while (m_host.story().state.currentLabel == "QUIET" && ticks < 1000) {
        m_host.tick();
        ++ticks;
    }
    ASSERT_EQ(m_host.story().state.currentLabel, "NOISE");
    ASSERT_GT(m_host.holdTicks(), 0);
    EXPECT_FALSE(m_host.goBackOnePage());
    EXPECT_EQ(m_host.story().state.currentLabel, "NOISE");
    while (m_host.holdTicks() > 0) {
        m_host.tick();
    }
    ASSERT_TRUE(m_host.goBackOnePage());
    EXPECT_EQ(m_host.story().state.currentLabel, "QUIET");
}

TEST_F(WebStoryHostTest, NothingAutoAdvancesBehindTheOpenBacklog) {
    writeProject(comfortPages());
    open();
    // How long a revealed page of two characters waits, from auto-advance turned on.
    ticksToReveal();
    m_host.setAutoAdvance(true);
    int wait = 0;
    while (m_host.story().state.currentLabel == "START" && wait < 1000) {
        m_host.tick();
        ++wait;
    }
    ASSERT_EQ(m_host.story().state.currentLabel, "P2");
    EXPECT_GE(wait * 55, app::autoAdvanceDelayMs(m_host.story().page.pageText));

    // The backlog opened (as page.js opens it) in the pause's last tick, after the reveal.
    ticksToReveal();
    for (int i = 0; i + 1 < wait; ++i) {
        m_host.tick();
    }
    ASSERT_EQ(m_host.story().state.currentLabel, "P2");
    ASSERT_GT(m_host.backlogPages(), 0U);
    const std::size_t backlog = m_host.backlogPages();
    m_host.setBacklogOpen(true);
    const std::string before = m_host.state();
    const std::string pagesShown = before.substr(before.find("\"pagesShown\":"), 20);
    for (int i = 0; i < 3 * wait; ++i) {
        m_host.tick();
    }
    EXPECT_EQ(m_host.story().state.currentLabel, "P2");
    EXPECT_EQ(sjisToUtf8(m_host.story().page.pageText.front()), "にい");
    EXPECT_EQ(m_host.backlogPages(), backlog);
    const std::string held = m_host.state();
    EXPECT_EQ(held.substr(held.find("\"pagesShown\":"), 20), pagesShown) << "no page shown behind it";
    EXPECT_TRUE(m_host.autoAdvance()) << "held back, not stopped";
    EXPECT_NE(held.find("\"autoAdvance\":true"), std::string::npos);

    // Closed, the reading goes on by itself after the page's whole pause.
    m_host.setBacklogOpen(false);
    int ticks = 0;
    while (m_host.story().state.currentLabel == "P2" && ticks < 1000) {
        m_host.tick();
        ++ticks;
    }
    EXPECT_EQ(m_host.story().state.currentLabel, "P3");
    EXPECT_GE(ticks, wait);

    // Opened in the middle of the pause: the same.
    ticksToReveal();
    for (int i = 0; i < wait / 2; ++i) {
        m_host.tick();
    }
    m_host.setBacklogOpen(true);
    for (int i = 0; i < 3 * wait; ++i) {
        m_host.tick();
    }
    EXPECT_EQ(m_host.story().state.currentLabel, "P3");
    m_host.setBacklogOpen(false);
    for (int i = 0; i < 3 * wait && m_host.story().state.currentLabel == "P3"; ++i) {
        m_host.tick();
    }
    EXPECT_EQ(m_host.story().state.currentLabel, "FORK");
}

}  // namespace
}  // namespace vrk::web
