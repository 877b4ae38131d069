#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/qt/main_window.h"
#include "app/qt/page_speaker.h"
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

struct SpeechLog {
    QStringList said;
    int stops = 0;
};

class RecordingSpeaker : public PageSpeaker {
public:
    explicit RecordingSpeaker(SpeechLog& log) : m_log(log) {}
    void say(const QString& text) override { m_log.said.push_back(text); }
    void stop() override { ++m_log.stops; }

private:
    SpeechLog& m_log;
};

// Rows of the first display line that have any text drawn in them: the glyphs' height.
int inkHeight(const QImage& text, int lineHeight) {
    int first = -1;
    int last = -1;
    for (int y = 0; y < std::min(lineHeight, text.height()); ++y) {
        for (int x = 0; x < text.width(); ++x) {
            if (qGray(text.pixel(x, y)) > 0) {
                first = first < 0 ? y : first;
                last = y;
                break;
            }
        }
    }
    return first < 0 ? 0 : last - first + 1;
}

class ReaderComfortsTest : public ::testing::Test, protected ui_test::WindowDriving {
protected:
    ReaderComfortsTest() : WindowDriving(m_window), m_window(m_project.programDir(), Settings{}) {
        auto backend = std::make_unique<sound::NullSoundBackend>();
        m_sound = backend.get();
        m_window.host().setSoundBackend(std::move(backend));
        m_window.host().setProgramQuestion(
            [](const std::string&) { return programs::ProgramAnswer::Refuse; });
        m_window.setSpeaker(std::make_unique<RecordingSpeaker>(m_speech));
        m_window.show();
    }

    void open() { openFirstSlot(m_project, m_driver); }
    QPlainTextEdit* backlog() { return child<QPlainTextEdit>(&m_window, "backlogPanel"); }
    // Pages read: START, LEFT, START again.
    void readThreePages() {
        open();
        key("a");
        ASSERT_EQ(firstLine(), "Left page");
        key("\r");
        ASSERT_EQ(firstLine(), "Page one");
    }

    TestProject m_project;
    MainWindow m_window;
    ModalDriver m_driver;
    sound::NullSoundBackend* m_sound = nullptr;
    SpeechLog m_speech;
};

TEST_F(ReaderComfortsTest, ViewMenuSitsBeforeHelpWithItsOptionsOff) {
    const QList<QAction*> menus = m_window.menuBar()->actions();
    ASSERT_EQ(menus.size(), 4);
    EXPECT_EQ(menus[2]->objectName(), "viewMenu");
    EXPECT_EQ(menus[2]->text(), QString::fromUtf8("表示(&V)"));
    EXPECT_EQ(menus[3]->objectName(), "helpMenu");
    for (const char* name : {"autoAdvanceAction", "skipAction", "fullScreenAction", "speechAction"}) {
        EXPECT_TRUE(action(name)->isCheckable()) << name;
    }
    // With nothing read, there is nothing to go back to, show or copy.
    action("viewMenu")->menu()->aboutToShow();
    EXPECT_FALSE(action("backAction")->isEnabled());
    EXPECT_FALSE(action("backlogAction")->isEnabled());
    EXPECT_FALSE(action("copyTextAction")->isEnabled());
    EXPECT_FALSE(m_window.currentSettings().autoAdvance || m_window.currentSettings().speech);

    Settings on;
    on.autoAdvance = true;
    on.speech = true;
    MainWindow other(m_project.programDir(), on);
    EXPECT_TRUE(other.currentSettings().autoAdvance && other.currentSettings().speech);
}

TEST_F(ReaderComfortsTest, BacklogOpensOverThePageAndClosesThreeWays) {
    open();
    press(Qt::Key_PageUp);  // nothing earlier yet: no panel is even made
    EXPECT_EQ(m_window.findChild<QPlainTextEdit*>(QStringLiteral("backlogPanel")), nullptr);
    key("a");
    key("\r");
    press(Qt::Key_PageUp);
    ASSERT_TRUE(backlog()->isVisible());
    const QString shown = backlog()->toPlainText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("Page one\n")));
    EXPECT_TRUE(shown.contains(QStringLiteral("Left page")));
    EXPECT_EQ(shown.count(QStringLiteral("Page one")), 1);  // the page on show is not in it
    // Keys do not choose behind it; Escape closes it.
    key("b");
    EXPECT_EQ(firstLine(), "Page one");
    press(Qt::Key_Escape);
    EXPECT_FALSE(backlog()->isVisible());

    wheel(&m_window.pageView(), 120);
    ASSERT_TRUE(backlog()->isVisible());
    wheel(backlog()->viewport(), -120);  // opened at its end already
    EXPECT_FALSE(backlog()->isVisible());

    action("backlogAction")->trigger();
    ASSERT_TRUE(backlog()->isVisible());
    click(backlog()->viewport());
    EXPECT_FALSE(backlog()->isVisible());

    // A backlog longer than the panel: its keys scroll it, and the wheel closes it at the end only.
    for (int i = 0; i < 8; ++i) {
        key("a");
        key("\r");
    }
    press(Qt::Key_PageUp);
    ASSERT_TRUE(backlog()->isVisible());
    QScrollBar* bar = backlog()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());
    press(Qt::Key_PageUp);
    EXPECT_LT(bar->value(), bar->maximum());
    wheel(backlog()->viewport(), -120);
    EXPECT_TRUE(backlog()->isVisible());
}

TEST_F(ReaderComfortsTest, BackOnePageRerunsThePreviousPageButNotPastAQuickLoad) {
    readThreePages();
    const std::string slot = m_project.read(".V01");
    press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(firstLine(), "Left page");
    EXPECT_EQ(m_window.story().state.currentLabel, "LEFT");
    EXPECT_EQ(m_window.choiceButton(1)->text(), "Next");
    press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(firstLine(), "Page one");
    press(Qt::Key_Z, Qt::ControlModifier);  // the first page of the reading
    EXPECT_EQ(firstLine(), "Page one");
    EXPECT_EQ(m_project.read(".V01"), slot);

    press(Qt::Key_S, Qt::ControlModifier);
    key("a");
    press(Qt::Key_T, Qt::ControlModifier);
    EXPECT_EQ(firstLine(), "Page one");
    press(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(firstLine(), "Page one");
    EXPECT_EQ(m_window.story().state.currentLabel, "START");
    // The backlog still has the pages before the load.
    EXPECT_GE(m_window.history().earlierPageCount(), 2u);
}

TEST_F(ReaderComfortsTest, CopyPutsThePageTextOnTheClipboardAsUtf8) {
    open();
    QGuiApplication::clipboard()->clear();
    press(Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              QStringLiteral("Page one\n \n A: Go left\n B: Go right\n C: Go end\n"));
    // Ctrl+C alone is still the low-resolution check mark.
    EXPECT_FALSE(action("lowResAction")->isChecked());
}

TEST_F(ReaderComfortsTest, AutoAdvanceWaitsForTheEffectAndAnyInputStopsIt) {
    press(Qt::Key_A, Qt::ControlModifier);
    ASSERT_TRUE(action("autoAdvanceAction")->isChecked());
    open();
    key("a");
    ASSERT_EQ(firstLine(), "Left page");
    click(&m_window.pageView());  // the click that completes the page stops auto-advance too
    EXPECT_FALSE(action("autoAdvanceAction")->isChecked());
    action("autoAdvanceAction")->trigger();
    ASSERT_TRUE(action("autoAdvanceAction")->isChecked());
    // The effect still plays: the page stays however long that takes.
    QTest::qWait(autoAdvanceDelayMs(m_window.story().page.pageText) + 300);
    EXPECT_EQ(firstLine(), "Left page");
    EXPECT_TRUE(m_window.session().autoAdvancePending());
    ASSERT_TRUE(m_sound->finishPlayback());
    EXPECT_TRUE(ui_test::waitFor([&] { return firstLine() == "Page one"; }, 8000));
    // A page of choices is left to the reader.
    QTest::qWait(200);
    EXPECT_FALSE(m_window.session().autoAdvancePending());
    key("a");
    EXPECT_FALSE(action("autoAdvanceAction")->isChecked());
}

TEST_F(ReaderComfortsTest, SkipRunsReadPagesAndStopsAtAChoice) {
    open();
    key("a");
    ASSERT_EQ(firstLine(), "Left page");
    // Marks are kept in the save directory as pages are shown.
    const std::string marks = [&] {
        std::ifstream in(m_project.projectDir() / "tale.VRR", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }();
    EXPECT_EQ(marks, "LEFT\r\nSTART\r\n");  // a set, in byte order
    press(Qt::Key_D, Qt::ControlModifier);
    EXPECT_TRUE(ui_test::waitFor([&] { return firstLine() == "Page one"; }));
    EXPECT_FALSE(action("skipAction")->isChecked());

    // Marks outlive the window: a second one knows LEFT was read.
    m_window.shutDown();
    MainWindow again(m_project.programDir(), Settings{});
    again.show();
    again.setProject(m_project.projectDir(), "tale");
    m_driver.expect([](QWidget* box) { click(child<QPushButton>(box, "okButton")); });
    ASSERT_TRUE(again.openProject());
    QTest::keyClicks(again.focusWidget() ? again.focusWidget() : &again, "a");
    EXPECT_TRUE(again.history().currentReadBefore());
}

TEST_F(ReaderComfortsTest, FullScreenScalesThePageWithItsLayoutAndComesBack) {
    // Smaller than any screen the tests run on, high-density ones included.
    m_window.resize(MainWindow::kMinWidth, MainWindow::kMinHeight);
    readThreePages();
    presentation::PageView& page = m_window.pageView();
    ASSERT_TRUE(ui_test::waitFor([&] { return m_window.width() == MainWindow::kMinWidth; }));
    const QSize windowPage = page.size();
    const presentation::PageLayout before = page.layout();
    const int cellWidth = page.metrics().cellWidth;
    const int ink = inkHeight(page.textImage(), page.metrics().lineHeight);
    // The window's page is already at the screen's pixels (two to a pixel on a high-density one).
    const double windowScale = page.pageScale();
    EXPECT_EQ(windowScale, page.devicePixelRatioF());
    press(Qt::Key_F11);
    ASSERT_TRUE(m_window.fullScreenView());
    // The screen is larger than the window in every direction.
    ASSERT_TRUE(ui_test::waitFor([&] { return page.width() > windowPage.width(); }));
    page.finishPage();
    EXPECT_FALSE(m_window.menuBar()->isVisible());
    // Same columns and line breaks; cells measured from a larger font.
    EXPECT_EQ(page.layout().columns, before.columns);
    ASSERT_EQ(page.layout().lines.size(), before.lines.size());
    for (std::size_t i = 0; i < before.lines.size(); ++i) {
        EXPECT_EQ(page.layout().lines[i].bytesSjis, before.lines[i].bytesSjis);
    }
    // One pixel of the page's pixels to each of the screen's (two to a pixel on a high-density one).
    EXPECT_EQ(page.backBuffer().size(), page.size() * page.devicePixelRatioF());
    const double scale = page.pageScale() / windowScale;
    EXPECT_GT(scale, 1.0);
    // Drawn again at the screen's pixels, not stretched from the window's image.
    EXPECT_GT(page.metrics().cellWidth, cellWidth);
    EXPECT_GT(inkHeight(page.textImage(), page.metrics().lineHeight), ink * (1 + (scale - 1) / 2));
    // Letterboxed: the frame keeps the window page's aspect and sits in the middle.
    const QRect frame = page.pageFrame();
    EXPECT_NEAR(frame.width() * windowPage.height(), frame.height() * windowPage.width(),
                std::max(frame.width(), frame.height()) * 2);
    EXPECT_NEAR(frame.center().x(), page.rect().center().x(), 1);
    EXPECT_NEAR(frame.center().y(), page.rect().center().y(), 1);
    EXPECT_TRUE(frame.contains(m_window.choiceButton(3)->geometry()));
    // Outside the frame is black.
    if (frame.left() > 0) {
        EXPECT_EQ(page.backBuffer().pixel(0, page.height() / 2), qRgb(0, 0, 0));
    }
    if (frame.top() > 0) {
        EXPECT_EQ(page.backBuffer().pixel(page.width() / 2, 0), qRgb(0, 0, 0));
    }

    press(Qt::Key_Return, Qt::AltModifier);
    EXPECT_FALSE(m_window.fullScreenView());
    EXPECT_FALSE(page.pageFixed());
    EXPECT_TRUE(ui_test::waitFor([&] { return page.size() == windowPage; }));
    EXPECT_EQ(page.metrics().cellWidth, cellWidth);
    EXPECT_EQ(m_window.currentSettings().width, MainWindow::kMinWidth);
}

TEST_F(ReaderComfortsTest, ReadingAloudSpeaksEachPageWithTheChoiceLetters) {
    open();
    EXPECT_TRUE(m_speech.said.isEmpty());  // off by default
    press(Qt::Key_Y, Qt::ControlModifier);
    ASSERT_EQ(m_speech.said.size(), 1);
    EXPECT_EQ(m_speech.said[0], QStringLiteral("Page one\n \n A: Go left\n B: Go right\n C: Go end"));
    key("a");
    ASSERT_EQ(m_speech.said.size(), 2);
    EXPECT_EQ(m_speech.said[1], QStringLiteral("Left page"));
    press(Qt::Key_Y, Qt::ControlModifier);
    EXPECT_EQ(m_speech.stops, 1);
    key("\r");
    EXPECT_EQ(m_speech.said.size(), 2);
    EXPECT_FALSE(m_window.currentSettings().speech);
}

}  // namespace
}  // namespace vrk::app
