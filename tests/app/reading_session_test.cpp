#include "app/reading_session.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "../support/story_folder.h"
#include "common/sjis.h"
#include "presentation/choices.h"
#include "sound/null_sound_backend.h"

namespace vrk::app {
namespace {

namespace fs = std::filesystem;
using test_support::writeBmp;

class ReadingSessionTest : public test_support::StoryFolderTest {
protected:
    void open(ReadingSession& session, int slot = 1) { openProject(session, slot); }
    void open() { open(m_session); }

    static int ticksToReveal(ReadingSession& session) {
        int ticks = 0;
        while (!session.reveal().isComplete() && ticks < 10000) {
            session.tick();
            ++ticks;
        }
        return ticks;
    }
    int ticksToReveal() { return ticksToReveal(m_session); }

    std::string label() const { return m_session.story().state.currentLabel; }
    std::string firstLine() const { return sjisToUtf8(m_session.pageTextSjis().front()); }

    ReadingSession m_session{fs::temp_directory_path(), test_support::fixedMeasurer()};
};

// --- The page: reveal, buttons, holds, scrolling ------------------------------------------------

TEST_F(ReadingSessionTest, APageRevealsOnTheTimerAndItsChoicesWaitForTheEnd) {
    writeProject("*START\nいち\n?\n次へ\nP2\n?\n戻る\nSTART\n?END\n*P2\nに\n?END\nSTART\n");
    open();
    EXPECT_EQ(m_session.layout().metrics.cellWidth, 10);
    EXPECT_EQ(m_session.layout().metrics.lineHeight, 24);
    EXPECT_EQ(m_session.visibleButtons(), 2);
    EXPECT_FALSE(m_session.choicesEnabled());
    EXPECT_EQ(sjisToUtf8(m_session.captionSjis()), "試験 (VRK3)");
    const SessionChanges first = m_session.takeChanges();
    EXPECT_TRUE(first.fullPaint);
    EXPECT_TRUE(first.layoutChanged);
    EXPECT_TRUE(first.buttonsChanged);
    EXPECT_EQ(first.pagesShown, 1);
    EXPECT_FALSE(first.completed);

    // Every tick but the last leaves the buttons disabled; each tick uncovers one step.
    int ticks = 0;
    while (!m_session.reveal().isComplete()) {
        EXPECT_FALSE(m_session.choicesEnabled()) << "tick " << ticks;
        m_session.tick();
        ++ticks;
    }
    EXPECT_GT(ticks, 1);
    EXPECT_TRUE(m_session.choicesEnabled());
    const SessionChanges revealed = m_session.takeChanges();
    EXPECT_TRUE(revealed.completed);
    EXPECT_FALSE(revealed.fullPaint);
    EXPECT_FALSE(revealed.uncovered.empty());
    EXPECT_TRUE(revealed.buttonsChanged) << "enabled now";
    const SessionChanges again = m_session.takeChanges();
    EXPECT_FALSE(again.completed) << "told once";
    EXPECT_FALSE(again.any()) << "nothing else happened";

    // Button 2 is the leftmost in use: the first choice.
    EXPECT_TRUE(m_session.clickButton(2));
    EXPECT_EQ(label(), "P2");
}

TEST_F(ReadingSessionTest, ASoundEffectsPauseHoldsTheRevealAndTheKeysAfterTheRun) {
    writeProject("*START\n>WAV=bell.wav\nいち\n?\n次へ\nP2\n?\n戻る\nSTART\n?END\n*P2\nに\n?END\nSTART\n");
    open();
    EXPECT_EQ(m_session.holdTicks(), 2);
    EXPECT_TRUE(m_session.heldBack());
    EXPECT_TRUE(m_session.facts().heldBack);
    EXPECT_TRUE(m_session.takeChanges().heldChanged);
    EXPECT_FALSE(m_session.chooseKey('A')) << "input waits as it does while the window waits";
    EXPECT_FALSE(m_session.quickSave()) << "the state is half way between two pages";
    const int countBefore = m_session.reveal().revealCount();
    m_session.tick();
    m_session.tick();
    EXPECT_EQ(m_session.reveal().revealCount(), countBefore) << "the reveal waits too";
    EXPECT_EQ(m_session.holdTicks(), 0);
    EXPECT_TRUE(m_session.takeChanges().heldChanged) << "let go";
    EXPECT_TRUE(m_session.chooseKey('A'));
    EXPECT_EQ(label(), "P2");

    // Nonstop has no timer to wait on: no hold at all.
    m_session.story().options.revealAtOnce = true;
    m_session.setNonstop(true);
    EXPECT_TRUE(m_session.chooseKey(13));
    EXPECT_EQ(m_session.holdTicks(), 0);
}

TEST_F(ReadingSessionTest, TheSingleButtonAfterTheEndStandsForOpeningAgain) {
    writeProject("*START\nおわり\n/\n");
    open();
    EXPECT_FALSE(m_session.story().scriptOpen());
    EXPECT_EQ(m_session.visibleButtons(), 1);
    ticksToReveal();
    EXPECT_FALSE(m_session.clickButton(1));
    EXPECT_TRUE(m_session.clickButton(3)) << "a button not shown does nothing, and is no reopening";
    EXPECT_FALSE(m_session.quickSave()) << "nothing to save after the end";
}

TEST_F(ReadingSessionTest, ALongPageScrollsWithTheRevealAndTheKeys) {
    std::string source = "*START\n";
    for (int i = 0; i < 30; ++i) {
        source += "行" + std::to_string(i) + "\n";
    }
    writeProject(source + "?END\nSTART\n");
    open();
    const presentation::ScrollRange range = m_session.scrollRange();
    EXPECT_TRUE(range.enabled);
    EXPECT_EQ(range.singleStep, 24);
    EXPECT_EQ(range.pageStep, 288);  // twelve whole lines of the 300 pixels
    EXPECT_EQ(m_session.visibleHeight(), 288);
    ticksToReveal();
    EXPECT_GT(m_session.scrollPosition(), 0) << "the reveal scrolled on reaching the buttons' band";
    EXPECT_FALSE(m_session.atTop());
    EXPECT_TRUE(m_session.scrollByKey(ScrollKey::Home));
    EXPECT_EQ(m_session.scrollPosition(), 0);
    EXPECT_TRUE(m_session.atTop());
    m_session.takeChanges();
    m_session.wheel(120);
    EXPECT_EQ(m_session.scrollPosition(), 3 * 24);
    const SessionChanges scrolled = m_session.takeChanges();
    EXPECT_TRUE(scrolled.fullPaint) << "a scroll repaints the page";
    EXPECT_TRUE(scrolled.scrollChanged);
    EXPECT_TRUE(m_session.scrollByKey(ScrollKey::End));
    EXPECT_EQ(m_session.scrollPosition(), range.maximum);
    m_session.scrollTo(range.maximum + 500);
    EXPECT_EQ(m_session.scrollPosition(), range.maximum);
    m_session.scrollTo(24 * 5 + 13);
    m_session.snapScroll();
    EXPECT_EQ(m_session.scrollPosition(), 24 * 5) << "a thumb let go lands on a whole line";
    m_session.scrollTo(-40);
    EXPECT_EQ(m_session.scrollPosition(), 0);
}

TEST_F(ReadingSessionTest, AtTwiceThePixelsTheRevealScrollsBeforeTheButtonsBandOfTheScreen) {
    std::string source = "*START\n";
    for (int i = 0; i < 30; ++i) {
        source += "行" + std::to_string(i) + "\n";
    }
    writeProject(source + "?END\nSTART\n");
    // Drawn at two device pixels a pixel: the buttons' band is 25 pixels of the screen, 50 of the
    // device, and no line is uncovered under it before the page scrolls.
    const auto lowestBeforeScrolling = [&](ReadingSession& session) {
        session.takeChanges();
        int lowest = 0;
        while (session.scrollPosition() == 0 && !session.reveal().isComplete()) {
            session.tick();
            for (const presentation::Uncover& u : session.takeChanges().uncovered) {
                lowest = std::max(lowest, u.windowY + u.source.height);
            }
        }
        return lowest;
    };
    open();
    m_session.setPageSize(400, 300, 2.0);
    ASSERT_EQ(m_session.metrics().lineHeight, 48);
    ASSERT_EQ(m_session.deviceHeight(), 600);
    const int bandTop = m_session.deviceHeight() - 2 * presentation::kButtonBandHeight;
    EXPECT_LE(lowestBeforeScrolling(m_session), bandTop);

    // A page scaled up to fill a screen of one device pixel a pixel has buttons of the screen's
    // own size: the band is 25 device pixels, and one more line shows above it.
    ReadingSession scaled{fs::temp_directory_path(), test_support::fixedMeasurer()};
    open(scaled, 2);
    scaled.setPageSize(400, 300, 2.0);
    scaled.setButtonRatio(1.0);
    const int lowest = lowestBeforeScrolling(scaled);
    EXPECT_GT(lowest, bandTop);
    EXPECT_LE(lowest, scaled.visibleHeight());
}

TEST_F(ReadingSessionTest, ABackgroundWhosePictureIsMissingGoesBackToTheColour) {
    writeProject("*START\n>BAK=nothing.jpg\n>EXE=tool.sh --flag\nいち\n?END\nSTART\n");
    open();
    EXPECT_TRUE(m_session.story().state.background.empty());
    EXPECT_TRUE(m_session.screen().backgroundPicture->empty());
    EXPECT_TRUE(m_session.screen().backgroundEntry.empty());
    const SessionChanges changes = m_session.takeChanges();
    EXPECT_EQ(changes.programs, std::vector<std::string>{"tool.sh --flag"}) << "told, not started";
    EXPECT_TRUE(m_session.takeChanges().programs.empty()) << "each program is told once";
}

TEST_F(ReadingSessionTest, AProgramGoesToTheHostsLauncherWhenItHasOne) {
    writeProject("*START\n>EXE=tool.sh --flag\nいち\n?END\nSTART\n");
    std::vector<std::string> launched;
    std::vector<bool> busy;
    m_session.setBusyHandler([&](bool on) { busy.push_back(on); });
    m_session.setProgramLauncher([&](const std::string& commandLineSjis) {
        launched.push_back(commandLineSjis);
        EXPECT_EQ(busy, std::vector<bool>{true}) << "started from inside the run";
    });
    open();
    EXPECT_EQ(launched, std::vector<std::string>{"tool.sh --flag"});
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));
    EXPECT_TRUE(m_session.takeChanges().programs.empty()) << "nothing left to tell";
}

// The window's check marks and the page's options both come through setOptions: what changed
// takes effect, and nothing else does.
TEST_F(ReadingSessionTest, OptionsTakeEffectOnlyWhereTheyChanged) {
    auto backend = std::make_unique<sound::NullSoundBackend>();
    sound::NullSoundBackend* music = backend.get();
    m_session.setSoundBackend(std::move(backend));
    std::ofstream(m_dir / "theme.mid", std::ios::binary) << "MThd";
    writeProject("*START\n>BGM=theme.mid\nいちにさんしごろくしち\n?END\nSTART\n");
    open();
    ASSERT_TRUE(music->isOpen());
    const int layoutBefore = m_session.layoutVersion();

    interpreter::EngineOptions options = m_session.story().options;
    options.linesRunAsPrograms = !options.linesRunAsPrograms;
    options.playWave = true;
    m_session.setOptions(options);
    EXPECT_TRUE(music->isOpen()) << "no sound kind went off";
    EXPECT_EQ(m_session.layoutVersion(), layoutBefore);
    EXPECT_FALSE(m_session.reveal().isComplete());

    options.playMidi = false;
    m_session.setOptions(options);
    EXPECT_FALSE(music->isOpen()) << "MIDI switched off stops the music";
    EXPECT_FALSE(m_session.story().sound.soundIsMusic) << "and it is not played again";

    options.lowColour = !options.lowColour;
    m_session.setOptions(options);
    EXPECT_GT(m_session.layoutVersion(), layoutBefore) << "the low colours draw the page again";
    const int afterLowColour = m_session.layoutVersion();
    options.brightOutline = !options.brightOutline;
    m_session.setOptions(options);
    EXPECT_GT(m_session.layoutVersion(), afterLowColour) << "so does the outline";

    options.revealAtOnce = true;
    m_session.setOptions(options);
    EXPECT_TRUE(m_session.reveal().isComplete()) << "nonstop finishes the page on show";
}

TEST_F(ReadingSessionTest, MusicThatEndsPlaysAgainTenTicksLater) {
    struct CountingBackend : sound::NullSoundBackend {
        int plays = 0;
        void play(FinishedHandler onFinished) override {
            ++plays;
            NullSoundBackend::play(std::move(onFinished));
        }
    };
    auto backend = std::make_unique<CountingBackend>();
    CountingBackend* music = backend.get();
    m_session.setSoundBackend(std::move(backend));
    std::ofstream(m_dir / "theme.mid", std::ios::binary) << "MThd";
    writeProject("*START\n>BGM=theme.mid\nいち\n?END\nSTART\n");
    open();
    ASSERT_EQ(music->plays, 1);
    music->finishPlayback();
    m_session.tick();  // the notice is handled on the next tick; the pause starts there
    for (int i = 0; i < 9; ++i) {
        m_session.tick();
    }
    EXPECT_EQ(music->plays, 1);
    m_session.tick();
    EXPECT_EQ(music->plays, 2);

    // A host that brings the notices over itself, from the next sound on: the pause starts when
    // it runs the notice.
    std::vector<std::function<void()>> posted;
    m_session.setNoticePoster([&](std::function<void()> task) { posted.push_back(std::move(task)); });
    music->finishPlayback();
    for (int i = 0; i < 11; ++i) {
        m_session.tick();
    }
    ASSERT_EQ(music->plays, 3);
    EXPECT_TRUE(posted.empty());
    music->finishPlayback();
    ASSERT_EQ(posted.size(), 1U);
    for (int i = 0; i < 20; ++i) {
        m_session.tick();
    }
    EXPECT_EQ(music->plays, 3) << "the notice waits for the host";
    posted.front()();
    for (int i = 0; i < 9; ++i) {
        m_session.tick();
    }
    EXPECT_EQ(music->plays, 3);
    m_session.tick();
    EXPECT_EQ(music->plays, 4);
}

TEST_F(ReadingSessionTest, ASoundEffectsPauseShowsTheScreenAsTheRunLeftItThere) {
    writeProject(
        "*START\nいち\n?\n次へ\nP2\n?\n戻る\nSTART\n?END\n"
        "*P2\n>WAV=bell.wav\n>BAK=red.bmp\n>BMP=red.bmp\nに\n?\n次へ\nSTART\n?END\nSTART\n");
    writeBmp(m_dir / "red.bmp", 255, 0, 0);
    open();
    ticksToReveal();
    m_session.takeChanges();
    ASSERT_TRUE(m_session.chooseKey('A'));
    ASSERT_EQ(m_session.holdTicks(), 2);
    // The background and the picture window came after the sound: not yet on show.
    SessionScreen held = m_session.screen();
    EXPECT_TRUE(held.held);
    EXPECT_TRUE(held.backgroundPicture->empty()) << "no picture behind the page yet";
    EXPECT_TRUE(held.backgroundEntry.empty());
    EXPECT_FALSE(held.pictureShown);
    EXPECT_EQ(held.visibleButtons, 2) << "the page before's buttons";
    EXPECT_EQ(m_session.buttonCaptionSjis(1), "B");
    EXPECT_EQ(m_session.buttonCaptionSjis(2), "A");
    EXPECT_EQ(held.choiceCount, 2);
    EXPECT_TRUE(held.choicesEnabled);
    EXPECT_TRUE(m_session.takeChanges().backgroundChanged);
    m_session.tick();
    EXPECT_TRUE(m_session.screen().held) << "still pausing";
    EXPECT_FALSE(m_session.takeChanges().backgroundChanged);
    m_session.tick();
    const SessionScreen after = m_session.screen();
    EXPECT_FALSE(after.held);
    EXPECT_EQ(after.backgroundPicture->width(), 2);
    EXPECT_EQ(after.backgroundPicture->pixel(0, 0).r, 255);
    EXPECT_FALSE(after.backgroundEntry.empty());
    EXPECT_TRUE(after.pictureShown);
    EXPECT_EQ(after.picture->width(), 2);
    EXPECT_EQ(after.visibleButtons, 1);
    EXPECT_EQ(after.choiceCount, 1);
    EXPECT_EQ(m_session.buttonCaptionSjis(1), "Next");
    EXPECT_EQ(m_session.focusButton(), 1);
    const SessionChanges released = m_session.takeChanges();
    EXPECT_TRUE(released.fullPaint) << "drawn again whole";
    EXPECT_TRUE(released.backgroundChanged);
    EXPECT_TRUE(released.pictureChanged);
    EXPECT_TRUE(released.buttonsChanged);
}

// --- The comforts: history, going back, skipping, auto-advance -------------------------------

// Three pages of a single "Next" each, then a page with two choices.
constexpr const char* kChain =
    "*START\nいち\n?\n次へ\nP2\n?END\n*P2\nに\n?\n次へ\nP3\n?END\n*P3\nさん\n?\n次へ\nP4\n?END\n"
    "*P4\nよん\n?\nはい\nSTART\n?\nいいえ\nP2\n?END\nSTART\n";

TEST_F(ReadingSessionTest, GoingBackRunsThePreviousPageFromTheStateItStartedWith) {
    writeProject(kChain);
    open();
    EXPECT_FALSE(m_session.canGoBack()) << "nothing before the first page";
    ticksToReveal();
    ASSERT_TRUE(m_session.chooseKey(13));
    ticksToReveal();
    ASSERT_TRUE(m_session.chooseKey(13));
    ASSERT_EQ(label(), "P3");
    EXPECT_EQ(m_session.backlogPages(), 2U);
    EXPECT_EQ(pageTextUtf8(m_session.history().pages()[0].textSjis), "いち\n　次へ\n");
    EXPECT_EQ(pageTextUtf8(m_session.history().pages()[1].textSjis), "に\n　次へ\n");

    ASSERT_TRUE(m_session.canGoBack());
    ASSERT_TRUE(m_session.goBackOnePage());
    EXPECT_EQ(label(), "P2");
    EXPECT_EQ(firstLine(), "に");
    EXPECT_EQ(m_session.backlogPages(), 1U) << "the page gone back to is recorded afresh";
    ASSERT_TRUE(m_session.goBackOnePage());
    EXPECT_EQ(label(), "START");
    EXPECT_FALSE(m_session.goBackOnePage());

    // A quick load: the pages before it stay in the backlog but cannot be gone back to.
    ticksToReveal();
    ASSERT_TRUE(m_session.chooseKey(13));
    EXPECT_FALSE(m_session.quickLoadEnabled());
    ASSERT_TRUE(m_session.quickSave());
    EXPECT_TRUE(m_session.quickLoadEnabled());
    ticksToReveal();
    ASSERT_TRUE(m_session.chooseKey(13));
    m_session.quickLoad();
    EXPECT_EQ(label(), "P2");
    EXPECT_GE(m_session.backlogPages(), 2U);
    EXPECT_FALSE(m_session.canGoBack());
}

TEST_F(ReadingSessionTest, AnotherOpeningStartsANewReading) {
    writeProject(kChain);
    open();
    ticksToReveal();
    ASSERT_TRUE(m_session.chooseKey(13));
    ticksToReveal();
    ASSERT_TRUE(m_session.canGoBack());
    ASSERT_GT(m_session.backlogPages(), 0U);

    // Opened again (the file menu's reopening): nothing of the reading before is in the backlog
    // or can be gone back to, whichever slot it continues.
    m_session.flush();
    open(m_session, 1);
    EXPECT_EQ(label(), "P2") << "where the slot left off";
    EXPECT_EQ(m_session.backlogPages(), 0U);
    EXPECT_FALSE(m_session.canGoBack());
    EXPECT_FALSE(m_session.facts().backlogAvailable);
    ticksToReveal();
    ASSERT_TRUE(m_session.chooseKey(13));
    EXPECT_EQ(m_session.backlogPages(), 1U);
    ASSERT_TRUE(m_session.goBackOnePage());
    EXPECT_EQ(label(), "P2");
    EXPECT_FALSE(m_session.canGoBack()) << "the page before the opening is not reached";
}

TEST_F(ReadingSessionTest, SkippingRunsReadPagesAndStopsAtTheFirstUnreadOne) {
    writeProject(kChain);
    open();
    ticksToReveal();
    ASSERT_TRUE(m_session.chooseKey(13));  // P2 read, P3 not
    m_session.flush();
    std::ifstream marks(m_dir / "TALE.VRR", std::ios::binary);
    const std::string kept((std::istreambuf_iterator<char>(marks)), std::istreambuf_iterator<char>());
    EXPECT_EQ(kept, "P2\r\nSTART\r\n") << "read marks beside the slots, a set in byte order";

    // A new reading of the same project knows what was read.
    ReadingSession again{fs::temp_directory_path(), test_support::fixedMeasurer()};
    open(again, 2);
    ASSERT_EQ(again.story().state.currentLabel, "START");
    again.setSkipping(true);
    EXPECT_TRUE(again.skipping());
    EXPECT_TRUE(again.facts().skipping);
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

TEST_F(ReadingSessionTest, AutoAdvanceWaitsForTheWholePageAndItsLengthThenGoesOn) {
    writeProject(kChain);
    open();
    m_session.setAutoAdvance(true);
    EXPECT_TRUE(m_session.facts().autoAdvance);
    const int reveal = ticksToReveal();
    EXPECT_EQ(label(), "START") << "not before the page is complete";
    const int delay = autoAdvanceDelayMs(m_session.pageTextSjis());
    int ticks = 0;
    while (label() == "START" && ticks < 1000) {
        m_session.tick();
        ++ticks;
    }
    EXPECT_GT(reveal, 0);
    EXPECT_EQ(label(), "P2");
    EXPECT_GE(ticks * ReadingSession::kTickMs, delay);
    EXPECT_LE(ticks * ReadingSession::kTickMs, delay + 2 * ReadingSession::kTickMs);

    // Input of the reader stops it.
    ticksToReveal();
    m_session.stopAutoAndSkip();
    for (int i = 0; i < 1000; ++i) {
        m_session.tick();
    }
    EXPECT_EQ(label(), "P2");
    EXPECT_FALSE(m_session.autoAdvance());

    // The backlog over the page holds it back; a page of choices ends it.
    m_session.setAutoAdvance(true);
    m_session.setBacklogOpen(true);
    for (int i = 0; i < 1000; ++i) {
        m_session.tick();
    }
    EXPECT_EQ(label(), "P2");
    m_session.setBacklogOpen(false);
    for (int i = 0; i < 2000; ++i) {
        m_session.tick();
    }
    EXPECT_EQ(label(), "P4");
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

TEST_F(ReadingSessionTest, PageUpAndTheWheelScrollALongPageBeforeTheBacklogOpensAtItsTop) {
    writeProject(comfortPages());
    open();
    EXPECT_TRUE(m_session.atTop()) << "a short page: PageUp opens the backlog at once";
    for (int page = 0; page < 3; ++page) {
        ticksToReveal();
        ASSERT_TRUE(m_session.chooseKey(13));
    }
    ticksToReveal();
    ASSERT_TRUE(m_session.chooseKey('B'));
    ASSERT_EQ(label(), "LONG");
    ticksToReveal();
    ASSERT_GT(m_session.backlogPages(), 0U);

    // PageUp scrolls while the page is below its top.
    ASSERT_TRUE(m_session.scrollByKey(ScrollKey::End));
    ASSERT_TRUE(m_session.scrollRange().enabled);
    ASSERT_GT(m_session.scrollPosition(), 0);
    EXPECT_EQ(m_session.scrollPosition(), m_session.scrollRange().maximum);
    int steps = 0;
    while (!m_session.atTop() && steps < 100) {
        const int before = m_session.scrollPosition();
        ASSERT_TRUE(m_session.scrollByKey(ScrollKey::PageUp));
        ++steps;
        ASSERT_LT(m_session.scrollPosition(), before);
        ASSERT_GE(m_session.scrollPosition(), 0);
    }
    EXPECT_GT(steps, 1) << "more than a page to scroll back over";
    EXPECT_EQ(m_session.scrollPosition(), 0);
    // At the top it stays there for the backlog to open.
    EXPECT_TRUE(m_session.scrollByKey(ScrollKey::PageUp));
    EXPECT_TRUE(m_session.atTop());

    // The wheel the same way, a notch at a time.
    ASSERT_TRUE(m_session.scrollByKey(ScrollKey::End));
    int notches = 0;
    while (!m_session.atTop() && notches < 200) {
        const int before = m_session.scrollPosition();
        m_session.wheel(-120);
        ++notches;
        ASSERT_LT(m_session.scrollPosition(), before);
    }
    EXPECT_GT(notches, steps) << "a notch scrolls less than a page";
    EXPECT_EQ(m_session.scrollPosition(), 0);
    m_session.wheel(-120);
    EXPECT_EQ(m_session.scrollPosition(), 0);
    EXPECT_EQ(label(), "LONG");

    // The next page starts at its top, whatever the page before was scrolled to.
    ASSERT_TRUE(m_session.scrollByKey(ScrollKey::End));
    const std::size_t backlog = m_session.backlogPages();
    ASSERT_TRUE(m_session.chooseKey(13));
    ASSERT_EQ(m_session.backlogPages(), backlog + 1) << "another long page";
    EXPECT_TRUE(m_session.scrollRange().enabled);
    EXPECT_EQ(m_session.scrollPosition(), 0);
}

TEST_F(ReadingSessionTest, NothingGoesBackAPageWhileAPauseHoldsInputBack) {
    auto backend = std::make_unique<sound::NullSoundBackend>();
    sound::NullSoundBackend* sound = backend.get();
    m_session.setSoundBackend(std::move(backend));
    writeProject(comfortPages());
    open();
    for (int page = 0; page < 3; ++page) {
        ticksToReveal();
        ASSERT_TRUE(m_session.chooseKey(13));
    }
    ASSERT_EQ(label(), "FORK");
    ticksToReveal();
    ASSERT_TRUE(m_session.chooseKey('A'));
    ASSERT_EQ(label(), "NOISE");
    ASSERT_GT(m_session.holdTicks(), 0);
    const std::size_t backlog = m_session.backlogPages();

    // On every tick of the pause: not offered, and the command does nothing.
    while (m_session.holdTicks() > 0) {
        EXPECT_FALSE(m_session.canGoBack()) << m_session.holdTicks() << " ticks left";
        EXPECT_FALSE(m_session.facts().canGoBack);
        ASSERT_FALSE(m_session.goBackOnePage());
        EXPECT_EQ(label(), "NOISE");
        EXPECT_EQ(firstLine(), "おと");
        EXPECT_EQ(m_session.backlogPages(), backlog);
        m_session.tick();
    }
    // The reading is as it was: back goes to the page before.
    EXPECT_TRUE(m_session.facts().canGoBack);
    ASSERT_TRUE(m_session.goBackOnePage());
    EXPECT_EQ(label(), "FORK");
    EXPECT_EQ(firstLine(), "わかれ");

    // Gone back to a page that pauses: a second step back waits for its pause too.
    ticksToReveal();
    ASSERT_TRUE(m_session.chooseKey('A'));
    ticksToReveal();
    ASSERT_TRUE(sound->finishPlayback());
    ASSERT_TRUE(m_session.chooseKey(13));
    ASSERT_EQ(label(), "QUIET");
    ticksToReveal();
    ASSERT_TRUE(m_session.goBackOnePage());
    ASSERT_EQ(label(), "NOISE");
    ASSERT_GT(m_session.holdTicks(), 0);
    EXPECT_FALSE(m_session.goBackOnePage());
    EXPECT_EQ(label(), "NOISE");
    ticksToReveal();
    ASSERT_TRUE(sound->finishPlayback());
    ASSERT_TRUE(m_session.chooseKey(13));
    ASSERT_EQ(label(), "QUIET");

    // Auto-advance turns the page while the menu, opened before, still offers going back: its
    // item is clicked during the pause.
    ticksToReveal();
    ASSERT_TRUE(m_session.facts().canGoBack);
    m_session.setAutoAdvance(true);
    int ticks = 0;
    while (label() == "QUIET" && ticks < 1000) {
        m_session.tick();
        ++ticks;
    }
    ASSERT_EQ(label(), "NOISE");
    ASSERT_GT(m_session.holdTicks(), 0);
    EXPECT_FALSE(m_session.goBackOnePage());
    EXPECT_EQ(label(), "NOISE");
    while (m_session.holdTicks() > 0) {
        m_session.tick();
    }
    ASSERT_TRUE(m_session.goBackOnePage());
    EXPECT_EQ(label(), "QUIET");
}

TEST_F(ReadingSessionTest, NothingAutoAdvancesBehindTheOpenBacklog) {
    writeProject(comfortPages());
    open();
    // How long a revealed page of two characters waits, from auto-advance turned on.
    ticksToReveal();
    m_session.setAutoAdvance(true);
    int wait = 0;
    while (label() == "START" && wait < 1000) {
        m_session.tick();
        ++wait;
    }
    ASSERT_EQ(label(), "P2");
    EXPECT_GE(wait * ReadingSession::kTickMs, autoAdvanceDelayMs(m_session.pageTextSjis()));

    // The backlog opened in the pause's last tick, after the reveal.
    ticksToReveal();
    for (int i = 0; i + 1 < wait; ++i) {
        m_session.tick();
    }
    ASSERT_EQ(label(), "P2");
    ASSERT_GT(m_session.backlogPages(), 0U);
    const std::size_t backlog = m_session.backlogPages();
    m_session.setBacklogOpen(true);
    m_session.takeChanges();
    for (int i = 0; i < 3 * wait; ++i) {
        m_session.tick();
    }
    EXPECT_EQ(label(), "P2");
    EXPECT_EQ(firstLine(), "にい");
    EXPECT_EQ(m_session.backlogPages(), backlog);
    EXPECT_EQ(m_session.takeChanges().pagesShown, 0) << "no page shown behind it";
    EXPECT_TRUE(m_session.autoAdvance()) << "held back, not stopped";
    EXPECT_TRUE(m_session.backlogOpen());

    // Closed, the reading goes on by itself after the page's whole pause.
    m_session.setBacklogOpen(false);
    int ticks = 0;
    while (label() == "P2" && ticks < 1000) {
        m_session.tick();
        ++ticks;
    }
    EXPECT_EQ(label(), "P3");
    EXPECT_GE(ticks, wait);
    EXPECT_FALSE(m_session.backlogOpen()) << "a page shown closes the backlog";

    // Opened in the middle of the pause: the same.
    ticksToReveal();
    for (int i = 0; i < wait / 2; ++i) {
        m_session.tick();
    }
    m_session.setBacklogOpen(true);
    for (int i = 0; i < 3 * wait; ++i) {
        m_session.tick();
    }
    EXPECT_EQ(label(), "P3");
    m_session.setBacklogOpen(false);
    for (int i = 0; i < 3 * wait && label() == "P3"; ++i) {
        m_session.tick();
    }
    EXPECT_EQ(label(), "FORK");
}

TEST_F(ReadingSessionTest, TheRouteMapFollowsTheReadMarksPastTheStorysEnd) {
    writeProject("*START\nいち\n?\n終わりへ\nEND\n?\n寄り道\nSIDE\n?END\n*SIDE\nわき\n/\n*END\nおわり\n/\n");
    EXPECT_TRUE(m_session.readerMap().nodes.empty()) << "no story yet";
    open();
    ReaderMap map = m_session.readerMap();
    ASSERT_EQ(map.knownCount(), 1u);
    EXPECT_TRUE(map.nodes[0].current);
    EXPECT_EQ(map.nodes.size(), 3u);

    m_session.finishPage();
    ASSERT_TRUE(m_session.chooseKey('A'));
    ASSERT_FALSE(m_session.story().scriptOpen()) << "the story has ended and closed its script";
    map = m_session.readerMap();
    ASSERT_EQ(map.knownCount(), 2u);
    ASSERT_EQ(map.nodes.size(), 3u);  // SIDE is a "？"
    EXPECT_EQ(map.nodes[1].label, "END");
    EXPECT_TRUE(map.nodes[1].current);
    EXPECT_TRUE(map.nodes[1].ending);

    // Another reading of the same story starts with what this one read.
    ReadingSession again{fs::temp_directory_path(), test_support::fixedMeasurer()};
    open(again);
    EXPECT_EQ(again.readerMap().knownCount(), 2u);
}

// --- What the menus read ---------------------------------------------------------------------

TEST_F(ReadingSessionTest, TheFactsFollowTheReadingForTheMenus) {
    SessionFacts none = m_session.facts();
    EXPECT_FALSE(none.projectKnown);
    EXPECT_FALSE(none.quickSaveEnabled);
    EXPECT_FALSE(none.quickLoadEnabled);
    EXPECT_FALSE(none.canGoBack);
    EXPECT_FALSE(none.backlogAvailable);
    EXPECT_FALSE(none.hasPageText);
    EXPECT_EQ(none.revealSpeed, presentation::kStandardRevealSpeed);
    EXPECT_EQ(none.lineGapTenths, presentation::kStandardLineGap);

    writeProject(kChain);
    open();
    SessionFacts first = m_session.facts();
    EXPECT_TRUE(first.projectKnown);
    EXPECT_TRUE(first.scriptOpen);
    EXPECT_TRUE(first.quickSaveEnabled) << "enabled by the first opening";
    EXPECT_FALSE(first.quickLoadEnabled) << "no quick save yet";
    EXPECT_TRUE(first.hasPageText);
    EXPECT_FALSE(first.backlogAvailable);
    ticksToReveal();
    ASSERT_TRUE(m_session.quickSave());
    ASSERT_TRUE(m_session.chooseKey(13));
    const SessionFacts second = m_session.facts();
    EXPECT_TRUE(second.quickLoadEnabled);
    EXPECT_TRUE(second.backlogAvailable);
    EXPECT_TRUE(second.canGoBack);

    m_session.setRevealSpeed(4);
    m_session.setLineGapTenths(15);
    m_session.story().options.revealAtOnce = true;
    m_session.setNonstop(true);
    const SessionFacts set = m_session.facts();
    EXPECT_EQ(set.revealSpeed, 4);
    EXPECT_EQ(set.lineGapTenths, 15);
    EXPECT_TRUE(set.options.revealAtOnce);
    EXPECT_EQ(m_session.metrics().lineHeight, 30) << "the gap measured the lines again";
    EXPECT_TRUE(m_session.reveal().isComplete()) << "nonstop finished the page on show";

    // A project that cannot be found: told, and nothing changes.
    EXPECT_FALSE(m_session.setProject((m_dir / "MISSING.VRK").string()));
    const SessionChanges changes = m_session.takeChanges();
    ASSERT_EQ(changes.errors.size(), 1U);
    EXPECT_NE(changes.errors.front().find("MISSING.VRK: no project"), std::string::npos);
    EXPECT_TRUE(m_session.facts().quickSaveEnabled) << "never disabled again";
}

TEST_F(ReadingSessionTest, AHostMayStopItsTimerWhileNothingCounts) {
    std::vector<std::function<void()>> posted;
    m_session.setNoticePoster([&](std::function<void()> task) { posted.push_back(std::move(task)); });
    writeProject("*START\n>WAV=bell.wav\nいち\n?\n次へ\nP2\n?END\n*P2\nに\n?\n次へ\nSTART\n?END\nSTART\n");
    open();
    EXPECT_TRUE(m_session.wantsTicks()) << "a hold to count";
    ticksToReveal();
    EXPECT_FALSE(m_session.wantsTicks()) << "a complete page with nothing waiting";
    m_session.setAutoAdvance(true);
    EXPECT_TRUE(m_session.wantsTicks()) << "auto-advance waits";
    m_session.setAutoAdvance(false);
    EXPECT_FALSE(m_session.wantsTicks());
    ASSERT_TRUE(m_session.chooseKey(13));
    EXPECT_TRUE(m_session.wantsTicks()) << "a new page to reveal";

    // Without a poster of its own, the notices wait for ticks.
    ReadingSession ticking{fs::temp_directory_path(), test_support::fixedMeasurer()};
    EXPECT_TRUE(ticking.wantsTicks());
}

// --- What a screen reader is told ----------------------------------------------------------------

TEST_F(ReadingSessionTest, TheReadableTextGrowsWithTheRevealAndIsTheWholePageOnceComplete) {
    // Eighteen columns on the 400-pixel page: the first line breaks once.
    writeProject("*START\nあいうえおかきくけこさしすせそたちつてとなにぬねの\nはひふへほ\n?END\nSTART\n");
    open();
    const std::string whole = sjisToUtf8(m_session.pageAnnouncementSjis());
    EXPECT_EQ(whole, "あいうえおかきくけこさしすせそたちつてとなにぬねの\nはひふへほ");
    EXPECT_EQ(m_session.readableTextSjis(), "") << "nothing is read before it is seen";
    std::string before;
    int ticks = 0;
    while (!m_session.reveal().isComplete() && ticks < 1000) {
        m_session.tick();
        ++ticks;
        const std::string now = sjisToUtf8(m_session.readableTextSjis());
        EXPECT_EQ(whole.substr(0, now.size()), now) << "tick " << ticks;
        EXPECT_GE(now.size(), before.size()) << "tick " << ticks;
        if (!m_session.reveal().isComplete()) {
            EXPECT_LT(now.size(), whole.size()) << "tick " << ticks;
        }
        before = now;
    }
    EXPECT_EQ(sjisToUtf8(m_session.readableTextSjis()), whole);

    // A click shows the whole page at once, and the whole text with it.
    writeProject("*START\nいち\n?\n次へ\nP2\n?END\n*P2\nに\n?END\nSTART\n");
    open();
    m_session.clickPage();
    EXPECT_EQ(sjisToUtf8(m_session.readableTextSjis()), "いち\n　次へ");
}

TEST_F(ReadingSessionTest, ChoiceButtonsAreNamedByTheirKeysAndTheirChoices) {
    writeProject(
        "*START\nいち\n?\n列車を降りる\nP2\n?\nこのまま眠る\nP3\n?END\n"
        "*P2\nに\n?\n次へ\nP3\n?END\n*P3\nさん\n?END\nP4\n*P4\nおわり\n/\n");
    open();
    ASSERT_EQ(m_session.visibleButtons(), 2);
    // Button 2 is the leftmost: the first choice.
    EXPECT_EQ(sjisToUtf8(m_session.buttonNameSjis(2)), "A: 列車を降りる");
    EXPECT_EQ(sjisToUtf8(m_session.buttonNameSjis(1)), "B: このまま眠る");
    EXPECT_EQ(sjisToUtf8(m_session.buttonCaptionSjis(2)), "A") << "the caption stays the key";

    m_session.finishPage();
    ASSERT_TRUE(m_session.clickButton(2));
    EXPECT_EQ(sjisToUtf8(m_session.buttonNameSjis(1)), "Next: 次へ");

    // A page without choices goes on by its single button: no caption of the page before is
    // read for it.
    m_session.finishPage();
    ASSERT_TRUE(m_session.clickButton(1));
    EXPECT_EQ(firstLine(), "さん");
    EXPECT_EQ(sjisToUtf8(m_session.buttonNameSjis(1)), "Next");

    m_session.finishPage();
    ASSERT_TRUE(m_session.clickButton(1));
    EXPECT_FALSE(m_session.story().scriptOpen());
    EXPECT_EQ(sjisToUtf8(m_session.buttonNameSjis(1)), "開く");
}

}  // namespace
}  // namespace vrk::app
