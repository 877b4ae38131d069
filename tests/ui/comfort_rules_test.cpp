// The comforts' rules where a reading goes on by itself or the page is long: skipping stops at
// the first unread page, auto-advance waits behind the backlog, Page Up scrolls before it opens
// the backlog, and a pause in a page run keeps the reading where it is.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "presentation/qt/page_view.h"
#include "sound/null_sound_backend.h"
#include "ui_test_support.h"

namespace vrk::app {
namespace {

using ui_test::child;
using ui_test::click;
using ui_test::ModalDriver;
using ui_test::TestProject;

// Five plain pages in a row, then a fork: one way to a page with a sound effect (its run pauses)
// that alternates with a quiet page, the other to a page longer than the window.
std::vector<TestProject::ExtraLabel> chainedPages() {
    std::vector<std::string> longPage(60, "\x8a\xbf\x8a\xbf\x8a\xbf");
    longPage.insert(longPage.end(), {"?END", "P1"});
    return {
        {"P1", {"First page", "?END", "P2"}},
        {"P2", {"Second page", "?END", "P3"}},
        {"P3", {"Third page", "?END", "P4"}},
        {"P4", {"Fourth page", "?END", "P5"}},
        {"P5", {"Fifth page", "?END", "FORK"}},
        {"FORK", {"Fork page", "?", "Noise", "NOISE", "?", "Long", "LONG", "?END"}},
        {"NOISE", {"Noise page", ">WAV=fx.wav", "?END", "QUIET"}},
        {"QUIET", {"Quiet page", "?END", "NOISE"}},
        {"LONG", longPage},
    };
}

class ComfortRulesTest : public ::testing::Test, protected ui_test::WindowDriving {
protected:
    ComfortRulesTest()
        : WindowDriving(m_window),
          m_project(chainedPages(), "P1"),
          m_window(m_project.programDir(), Settings{}) {
        auto backend = std::make_unique<sound::NullSoundBackend>();
        m_sound = backend.get();
        m_window.host().setSoundBackend(std::move(backend));
        m_window.show();
    }

    void open() {
        openFirstSlot(m_project, m_driver);
        ASSERT_EQ(firstLine(), "First page");
    }
    // Enter on each plain page up to the fork.
    void readToFork() {
        open();
        for (int i = 0; i < 5; ++i) {
            key("\r");
        }
        ASSERT_EQ(firstLine(), "Fork page");
    }
    bool backlogShown() {
        const auto* panel = m_window.findChild<QPlainTextEdit*>(QStringLiteral("backlogPanel"));
        return panel != nullptr && panel->isVisible();
    }

    TestProject m_project;
    MainWindow m_window;
    ModalDriver m_driver;
    sound::NullSoundBackend* m_sound = nullptr;
};

TEST_F(ComfortRulesTest, SkipStopsAtTheFirstUnreadPageBeforeAnyChoice) {
    open();
    key("\r");
    key("\r");
    ASSERT_EQ(firstLine(), "Third page");
    // Back to the first page: the second and third are read, the fourth is not.
    press(Qt::Key_Z, Qt::ControlModifier);
    press(Qt::Key_Z, Qt::ControlModifier);
    ASSERT_EQ(firstLine(), "First page");

    press(Qt::Key_D, Qt::ControlModifier);
    ASSERT_TRUE(ui_test::waitFor([&] { return !action("skipAction")->isChecked(); }));
    EXPECT_EQ(firstLine(), "Fourth page");
    // Stopped there, not only slowed down: the page stays for the reader.
    QTest::qWait(300);
    EXPECT_EQ(firstLine(), "Fourth page");
    EXPECT_EQ(m_window.story().state.currentLabel, "P4");
}

TEST_F(ComfortRulesTest, AutoAdvanceWaitsWhileTheBacklogIsOpen) {
    open();
    key("\r");
    ASSERT_EQ(firstLine(), "Second page");
    action("autoAdvanceAction")->trigger();
    ASSERT_TRUE(action("autoAdvanceAction")->isChecked());
    // Its pause for the finished page has begun.
    ASSERT_TRUE(ui_test::waitFor([&] { return m_window.session().autoAdvancePending(); }, 8000));
    // The wheel opens the backlog without stopping auto-advance, as the menu does.
    wheel(&m_window.pageView(), 120);
    ASSERT_TRUE(backlogShown());
    QTest::qWait(autoAdvanceDelayMs(m_window.story().page.pageText) + 500);
    EXPECT_EQ(firstLine(), "Second page");
    EXPECT_TRUE(backlogShown());
    EXPECT_TRUE(action("autoAdvanceAction")->isChecked());

    // Closed, the reading goes on by itself.
    wheel(child<QPlainTextEdit>(&m_window, "backlogPanel")->viewport(), -120);
    ASSERT_FALSE(backlogShown());
    EXPECT_TRUE(ui_test::waitFor([&] { return firstLine() == "Third page"; }, 8000));

    // Opened from the menu, the same.
    ASSERT_TRUE(ui_test::waitFor([&] { return m_window.session().autoAdvancePending(); }, 8000));
    action("backlogAction")->trigger();
    ASSERT_TRUE(backlogShown());
    QTest::qWait(autoAdvanceDelayMs(m_window.story().page.pageText) + 500);
    EXPECT_EQ(firstLine(), "Third page");
    EXPECT_TRUE(backlogShown());
}

TEST_F(ComfortRulesTest, PageUpScrollsALongPageAndOpensTheBacklogOnlyAtItsTop) {
    readToFork();
    key("b");
    presentation::PageView& page = m_window.pageView();
    click(&page);
    ASSERT_EQ(m_window.story().state.currentLabel, "LONG");
    QScrollBar* bar = page.scrollBar();
    ASSERT_TRUE(bar->isEnabled());

    press(Qt::Key_End);
    ASSERT_GT(bar->value(), 0);
    int steps = 0;
    while (bar->value() > 0 && steps < 100) {
        const int before = bar->value();
        press(Qt::Key_PageUp);
        ++steps;
        ASSERT_FALSE(backlogShown()) << "at " << before;
        ASSERT_LT(bar->value(), before);
    }
    EXPECT_GT(steps, 1);  // more than a page to scroll back over
    EXPECT_EQ(bar->value(), 0);
    press(Qt::Key_PageUp);
    ASSERT_TRUE(backlogShown());
    press(Qt::Key_Escape);
    ASSERT_FALSE(backlogShown());

    // The wheel the same way.
    press(Qt::Key_End);
    steps = 0;
    while (bar->value() > 0 && steps < 200) {
        wheel(&page, 120);
        ++steps;
        ASSERT_FALSE(backlogShown());
    }
    EXPECT_EQ(bar->value(), 0);
    wheel(&page, 120);
    EXPECT_TRUE(backlogShown());
    EXPECT_EQ(m_window.story().state.currentLabel, "LONG");
}

TEST_F(ComfortRulesTest, NothingGoesBackAPageWhileARunPauses) {
    readToFork();
    // Ctrl+Z and the View menu while the next page pauses after its sound effect.
    QTest::keyClicks(focus(), "a");
    const bool paused = m_window.session().heldBack();
    QTest::keyClick(focus(), Qt::Key_Z, Qt::ControlModifier);
    action("viewMenu")->menu()->aboutToShow();
    const bool offered = action("backAction")->isEnabled();
    ui_test::waitForPause(m_window);
    ASSERT_TRUE(paused);
    EXPECT_FALSE(offered);
    EXPECT_EQ(firstLine(), "Noise page");
    EXPECT_EQ(m_window.story().state.currentLabel, "NOISE");
    // The reading is as it was: back goes to the page before, and that one is in the backlog.
    ASSERT_TRUE(m_sound->finishPlayback());
    press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(firstLine(), "Fork page");
    key("a");
    ASSERT_TRUE(m_sound->finishPlayback());
    key("\r");
    ASSERT_EQ(firstLine(), "Quiet page");

    // A View menu left open while auto-advance turns the page: its item, enabled when the menu
    // came up, is clicked during the pause.
    action("autoAdvanceAction")->trigger();
    ASSERT_TRUE(action("autoAdvanceAction")->isChecked());
    QMenu* view = action("viewMenu")->menu();
    view->popup(m_window.mapToGlobal(QPoint(20, 20)));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(view));
    QAction* back = action("backAction");
    ASSERT_TRUE(back->isEnabled());
    bool clicked = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &m_window, [&] {
        if (!clicked && m_window.session().heldBack()) {
            clicked = true;
            QTest::mouseClick(view, Qt::LeftButton, {}, view->actionGeometry(back).center());
        }
    });
    watch.start(5);
    ASSERT_TRUE(ui_test::waitFor([&] { return clicked && !m_window.session().heldBack(); }, 8000));
    watch.stop();
    EXPECT_EQ(firstLine(), "Noise page");
    press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(firstLine(), "Quiet page");
}

}  // namespace
}  // namespace vrk::app
