#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <limits>

#include "app/qt/font_dialog.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "app/qt/story_dialog.h"
#include "common/sjis.h"
#include "pictures/qt/picture_window.h"
#include "presentation/qt/font_mapping.h"
#include "presentation/qt/page_view.h"
#include "ui_test_support.h"

namespace vrk::app {
namespace {

using ui_test::child;
using ui_test::click;
using ui_test::ModalDriver;
using ui_test::TestProject;

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class ReadingWindowTest : public ::testing::Test {
protected:
    ReadingWindowTest() : m_window(m_project.programDir(), Settings{}) {
        m_window.host().setProgramQuestion([this](const std::string&) {
            ++m_asked;
            return programs::ProgramAnswer::Refuse;
        });
        m_window.show();
    }

    // Opens the project on slot 1, which stands at the first page.
    void open() {
        m_window.setProject(m_project.projectDir(), "tale");
        m_driver.expect([](QWidget* box) { click(child<QPushButton>(box, "okButton")); });
        ASSERT_TRUE(m_window.openProject());
    }
    QPushButton* button(int k) { return m_window.choiceButton(k); }
    QAction* action(const char* name) { return child<QAction>(&m_window, name); }
    std::string firstLine() { return m_window.story().page.pageText.at(0); }
    // Each key as the reader types it: after the pause its page run may leave.
    void key(const char* keys) {
        for (const char* c = keys; *c != '\0'; ++c) {
            QTest::keyClicks(m_window.focusWidget() ? m_window.focusWidget() : &m_window,
                             QString(QLatin1Char(*c)));
            ui_test::waitForPause(m_window);
        }
    }
    void ctrl(char letter) {
        QWidget* target = m_window.focusWidget() ? m_window.focusWidget() : &m_window;
        QTest::keyClick(target, static_cast<Qt::Key>(letter), Qt::ControlModifier);
        ui_test::waitForPause(m_window);
    }

    TestProject m_project;
    MainWindow m_window;
    ModalDriver m_driver;
    int m_asked = 0;
};

TEST_F(ReadingWindowTest, StartsWithTheOpenButtonAndItsCaption) {
    EXPECT_EQ(m_window.windowTitle(), "Marivex Browser");
    EXPECT_EQ(m_window.minimumSize(), QSize(320, 240));
    EXPECT_TRUE(button(1)->isVisible());
    EXPECT_TRUE(button(1)->isEnabled());
    EXPECT_EQ(button(1)->text(), text("開く"));
    for (int k = 2; k <= 6; ++k) {
        EXPECT_FALSE(button(k)->isVisible()) << k;
    }
    // Choice keys do nothing before a story runs.
    key("1a\r");
    EXPECT_TRUE(m_window.story().page.pageText.empty());
    // With no project known the button asks for one.
    m_driver.expect([&](QWidget* w) {
        auto* dialog = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->objectName(), "openProjectDialog");
        EXPECT_EQ(dialog->windowTitle(), text("Marivex ファイルを開く"));
        dialog->selectFile(QString::fromStdString(m_project.file(".VRK").string()));
        QTest::keyClick(dialog, Qt::Key_Return);
    });
    m_driver.expect([](QWidget* box) { click(child<QPushButton>(box, "okButton")); });
    click(button(1));
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_EQ(m_window.story().locations.baseName, "tale");
    EXPECT_EQ(firstLine(), "Page one");
}

TEST(ReadingWindowStartTest, CommandLineProjectOpensBeforeTheWindowIsShown) {
    TestProject project;
    MainWindow window(project.programDir(), Settings{});
    window.setProject(project.projectDir(), "tale");
    ModalDriver driver;
    driver.expect([&](QWidget* box) {
        EXPECT_FALSE(window.isVisible());
        click(child<QPushButton>(box, "okButton"));
    });
    window.openThenShow();
    EXPECT_EQ(driver.pending(), 0u);
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.story().scriptOpen());
    EXPECT_EQ(window.windowTitle(), text("夏の物語 (VRK3)"));
    // The first page was laid out for the window's own size, not for a hidden default.
    const presentation::PageView& page = window.pageView();
    EXPECT_EQ(page.layout().columns,
              presentation::columnsFor(page.width(), presentation::PageView::kScrollBarWidth,
                                       page.metrics().cellWidth));
}

TEST_F(ReadingWindowTest, OpeningSetsCaptionAndFileMenu) {
    action("fileMenu")->menu()->aboutToShow();
    EXPECT_FALSE(action("reopenAction")->isEnabled());
    EXPECT_FALSE(action("quickSaveAction")->isEnabled());
    EXPECT_FALSE(action("quickLoadAction")->isEnabled());
    open();
    EXPECT_EQ(m_window.windowTitle(), text("夏の物語 (VRK3)"));
    action("fileMenu")->menu()->aboutToShow();
    EXPECT_TRUE(action("reopenAction")->isEnabled());
    EXPECT_TRUE(action("quickSaveAction")->isEnabled());
    EXPECT_FALSE(action("quickLoadAction")->isEnabled());
}

TEST_F(ReadingWindowTest, ThreeChoicesThroughButtonsAndKeys) {
    open();
    EXPECT_EQ(firstLine(), "Page one");
    EXPECT_EQ(button(3)->text(), "A");
    EXPECT_EQ(button(2)->text(), "B");
    EXPECT_EQ(button(1)->text(), "C");
    EXPECT_FALSE(button(4)->isVisible());
    // Revealing: the buttons wait, but a choice key works at once; "4", "d" and Enter are no choice.
    EXPECT_FALSE(button(3)->isEnabled());
    key("4d\r");
    EXPECT_EQ(firstLine(), "Page one");
    key("b");
    EXPECT_EQ(firstLine(), "Right page");
    // One choice: "Next"-style single button; Enter counts as "1", "2" is nothing.
    EXPECT_TRUE(button(1)->isVisible());
    EXPECT_FALSE(button(2)->isVisible());
    key("2");
    EXPECT_EQ(firstLine(), "Right page");
    key("\r");
    EXPECT_EQ(firstLine(), "Page one");
    // A click on the page finishes it and enables the buttons; focus goes to "A".
    click(&m_window.pageView());
    EXPECT_TRUE(button(3)->isEnabled());
    EXPECT_EQ(m_window.focusWidget(), button(3));
    click(button(3));
    EXPECT_EQ(firstLine(), "Left page");
    EXPECT_EQ(button(1)->text(), "Next");
}

TEST_F(ReadingWindowTest, EndOfStoryOffersToOpenAgain) {
    open();
    key("3");
    EXPECT_EQ(firstLine(), "The end");
    EXPECT_FALSE(m_window.story().scriptOpen());
    EXPECT_EQ(button(1)->text(), text("開く"));
    key("1");
    EXPECT_EQ(firstLine(), "The end");
    // The single button reopens the project: the picker comes up again.
    m_driver.expect([](QWidget* box) { click(child<QPushButton>(box, "okButton")); });
    click(&m_window.pageView());
    click(button(1));
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_EQ(firstLine(), "Page one");
}

TEST_F(ReadingWindowTest, QuickSaveThenQuickLoad) {
    open();
    ctrl('S');
    ASSERT_TRUE(std::filesystem::exists(m_project.file(".VR$")));
    const std::string quick = m_project.read(".VR$");
    EXPECT_TRUE(action("quickLoadAction")->isEnabled());
    key("b");
    EXPECT_EQ(firstLine(), "Right page");
    ctrl('T');
    EXPECT_EQ(firstLine(), "Page one");
    key("a");
    m_window.shutDown();
    // The story goes back to the slot picked at the opening; the quick save stays.
    EXPECT_EQ(m_project.line(".V01", 2), "LEFT");
    EXPECT_EQ(m_project.read(".VR$"), quick);
}

TEST_F(ReadingWindowTest, ShortcutsObeyTheRefreshedMenus) {
    // No project known: Ctrl+R is disabled by the file menu's refresh, so no picker comes.
    ctrl('R');
    EXPECT_EQ(m_driver.pending(), 0u);
    // Slowest speed: Ctrl+H does nothing; Ctrl+J and Ctrl+K work.
    for (int i = 0; i < 5; ++i) {
        ctrl('H');
    }
    EXPECT_EQ(m_window.currentSettings().revealSpeed, 5);
    ctrl('J');
    EXPECT_EQ(m_window.currentSettings().revealSpeed, 4);
    // Nonstop switches the speed items off, by shortcut as by menu.
    ctrl('L');
    EXPECT_TRUE(action("nonstopAction")->isChecked());
    ctrl('K');
    EXPECT_EQ(m_window.currentSettings().revealSpeed, 4);
    action("settingsMenu")->menu()->aboutToShow();
    EXPECT_EQ(action("speedMenu")->text(), text("描画速度(&P) 最速"));
    ctrl('L');
    action("settingsMenu")->menu()->aboutToShow();
    EXPECT_EQ(action("speedMenu")->text(), text("描画速度(&P) 4"));
    // Eight widenings reach 2.0; a ninth does nothing.
    for (int i = 0; i < 9; ++i) {
        ctrl('W');
    }
    EXPECT_EQ(m_window.currentSettings().gapTenths, 20);
}

TEST_F(ReadingWindowTest, NonstopShowsPagesWholeAndPausesWithoutEvents) {
    ctrl('L');
    open();
    EXPECT_FALSE(m_window.pageView().revealing());
    EXPECT_TRUE(button(3)->isEnabled());
    // The sound effect's pause sleeps: nothing queued is handled meanwhile.
    bool handled = false;
    QTimer::singleShot(0, &m_window, [&] { handled = true; });
    QElapsedTimer elapsed;
    elapsed.start();
    key("a");
    EXPECT_GE(elapsed.elapsed(), 2 * 60);
    EXPECT_FALSE(handled);
    EXPECT_EQ(firstLine(), "Left page");
}

TEST_F(ReadingWindowTest, InputDuringAPauseStartsNoSecondRun) {
    open();
    // "c" and Enter arrive while the next page pauses after its sound effect: the pause holds
    // the reader's input back, so both are dropped.
    QWidget* target = m_window.focusWidget() ? m_window.focusWidget() : &m_window;
    QTest::keyClicks(target, "a");
    EXPECT_TRUE(m_window.session().heldBack());
    QTest::keyClicks(m_window.focusWidget() ? m_window.focusWidget() : &m_window, "c\r");
    ui_test::waitForPause(m_window);
    EXPECT_EQ(firstLine(), "Left page");
    EXPECT_EQ(m_window.story().state.currentLabel, "LEFT");
}

TEST_F(ReadingWindowTest, TheWaitCursorShowsDuringARunOnlyOverAShownWindow) {
    open();
    // The next page pauses after its sound effect.
    QTest::keyClicks(m_window.focusWidget() ? m_window.focusWidget() : &m_window, "a");
    const QCursor* during = QApplication::overrideCursor();
    ASSERT_NE(during, nullptr);
    EXPECT_EQ(during->shape(), Qt::WaitCursor);
    ui_test::waitForPause(m_window);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the pause has ended";

    // Before the window is shown (the first page of an opening) there is nothing to show it over.
    m_window.hide();
    m_window.host().setBusy(true);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    m_window.host().setBusy(false);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(ReadingWindowTest, KeyboardScrollsALongPage) {
    open();
    presentation::PageView& page = m_window.pageView();
    QScrollBar* bar = page.scrollBar();
    m_window.story().page.pageText.assign(60, "\x8a\xbf\x8a\xbf\x8a\xbf");
    m_window.story().page.layoutDirty = true;
    page.finishPage();
    ASSERT_TRUE(bar->isEnabled());
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    // The scroll bar follows the choice buttons in the tab order.
    button(1)->setFocus();
    QTest::keyClick(button(1), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), bar);
    button(1)->setFocus();
    const auto press = [this](Qt::Key k) {
        QTest::keyClick(m_window.focusWidget() ? m_window.focusWidget() : &m_window, k);
    };
    press(Qt::Key_End);
    EXPECT_EQ(bar->value(), bar->maximum());
    press(Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    press(Qt::Key_PageDown);
    EXPECT_EQ(bar->value(), bar->pageStep());
    press(Qt::Key_Down);
    EXPECT_EQ(bar->value(), bar->pageStep() + bar->singleStep());
    press(Qt::Key_Up);
    press(Qt::Key_PageUp);
    EXPECT_EQ(bar->value(), 0);
    // The keys still choose: scrolling took none of the choice keys.
    EXPECT_EQ(m_window.story().state.currentLabel, "START");
}

TEST_F(ReadingWindowTest, AboutShowsTheVersionWithoutThePicker) {
    m_driver.expect([](QWidget* box) {
        EXPECT_EQ(box->size(), QSize(StoryDialog::kClientWidth, StoryDialog::kPlainHeight));
        EXPECT_EQ(child<QLabel>(box, "Comment")->text(), "Marivex Project");
        EXPECT_FALSE(child<QWidget>(box, "slotGroup")->isVisible());
        EXPECT_FALSE(ui_test::childShown(box, "nameEdit"));
        click(child<QPushButton>(box, "okButton"));
    });
    action("aboutAction")->trigger();
    EXPECT_EQ(m_driver.pending(), 0u);
}

TEST_F(ReadingWindowTest, FontDialogOffersFixedPitchJapaneseFacesWithinItsSizes) {
    m_driver.expect([&](QWidget* w) {
        auto* dialog = qobject_cast<FontDialog*>(w);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->objectName(), "fontDialog");
        const auto* faces = child<QListWidget>(dialog, "FontFaces");
        ASSERT_GT(faces->count(), 0);
        for (int i = 0; i < faces->count(); ++i) {
            EXPECT_TRUE(presentation::measuresFixedPitch(faces->item(i)->text()))
                << faces->item(i)->text().toStdString();
        }
        const auto* size = child<QSpinBox>(dialog, "FontSize");
        EXPECT_EQ(size->minimum(), 8);
        EXPECT_EQ(size->maximum(), 48);
        QFont font = dialog->selectedFont();
        font.setPointSize(60);  // held to the largest size offered
        font.setBold(false);
        font.setUnderline(true);
        dialog->setCurrentFont(font);
        dialog->accept();
    });
    ctrl('F');
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_EQ(m_window.currentSettings().fontSize, 48);
    EXPECT_FALSE(m_window.currentSettings().bold);
    EXPECT_EQ(m_window.pageView().textFont().pointSize(), 48);
    // A cancelled dialog changes nothing.
    m_driver.expect([](QWidget* w) { qobject_cast<QDialog*>(w)->reject(); });
    ctrl('F');
    EXPECT_EQ(m_window.currentSettings().fontSize, 48);
}

TEST_F(ReadingWindowTest, UncheckingASoundKindStopsWhatPlays) {
    open();
    key("a");
    EXPECT_TRUE(m_window.story().sound.soundOpen);
    action("wavAction")->trigger();
    EXPECT_FALSE(action("wavAction")->isChecked());
    EXPECT_FALSE(m_window.story().sound.soundOpen);
    // Checking it again starts nothing by itself.
    action("wavAction")->trigger();
    EXPECT_FALSE(m_window.story().sound.soundOpen);
}

TEST_F(ReadingWindowTest, PicturesShowWithTheirPageAndGoWithIt) {
    open();
    key("b");
    EXPECT_TRUE(m_window.pictureWindow().isVisible());
    EXPECT_EQ(m_window.pictureWindow().pictureBitmap().width(), 8);
    EXPECT_EQ(m_window.story().state.background, "sback.bmp");
    key("\r");
    EXPECT_EQ(firstLine(), "Page one");
    EXPECT_FALSE(m_window.pictureWindow().isVisible());
}

TEST(ReadingWindowProgramTest, ProgramsStartOnlyWithTheReadersLeave) {
    struct Case {
        programs::ProgramAnswer answer;
        int asked;  // after two visits to the page that starts the program
        int runs;
    };
    const Case cases[] = {
        {programs::ProgramAnswer::AllowOnce, 2, 2},
        {programs::ProgramAnswer::AllowForProject, 1, 2},
        {programs::ProgramAnswer::Refuse, 1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.answer));
        TestProject project;
        MainWindow window(project.programDir(), Settings{});
        int asked = 0;
        window.host().setProgramQuestion([&](const std::string& commandLineSjis) {
            EXPECT_EQ(commandLineSjis, "tool.sh");
            ++asked;
            return c.answer;
        });
        window.show();
        window.setProject(project.projectDir(), "tale");
        ModalDriver driver;
        driver.expect([](QWidget* box) { click(child<QPushButton>(box, "okButton")); });
        ASSERT_TRUE(window.openProject());
        for (const char* keys : {"b", "\r", "b"}) {
            QTest::keyClicks(&window, keys);
            ui_test::waitForPause(window);
        }
        EXPECT_EQ(asked, c.asked);
        auto runs = [&] {
            std::ifstream in(project.projectDir() / "ran.txt");
            return static_cast<int>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
        };
        ui_test::waitFor([&] { return runs() >= c.runs; }, 3000);
        QTest::qWait(c.runs == 0 ? 200 : 0);
        EXPECT_EQ(runs(), c.runs);
    }
}

TEST(ReadingWindowSettingsTest, SettingsRoundTripThroughTheWindowAndItsMenus) {
    TestProject project;
    Settings s;
    s.top = 40;
    s.left = 30;
    s.width = 700;
    s.height = 500;
    s.fontNameSjis = "Monospace";
    s.fontSize = 20;
    s.bold = false;
    s.mid = false;
    s.oldExe = true;
    s.revealSpeed = 3;
    s.gapTenths = 15;
    MainWindow window(project.programDir(), s);
    EXPECT_EQ(window.currentSettings(), s);
    EXPECT_FALSE(child<QAction>(&window, "midiAction")->isChecked());
    window.show();
    QTest::keyClick(&window, Qt::Key_W, Qt::ControlModifier);  // 1.5 -> 1.6
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);  // nonstop on
    child<QAction>(&window, "otherMediaAction")->trigger();
    const std::filesystem::path file = project.programDir() / "vrk.ini";
    ASSERT_TRUE(writeSettings(file, window.currentSettings()));
    const Settings read = readSettings(file);
    EXPECT_EQ(read.gapTenths, 16);
    EXPECT_EQ(read.speedCode(), -3);
    EXPECT_FALSE(read.other);
    EXPECT_EQ(read.fontNameSjis, "Monospace");
}

// Whatever the file says, the window fits the screen it lands on: no larger than its free
// area and inside it, and the fitted frame is what goes back into the file.
TEST(ReadingWindowSettingsTest, AbsurdGeometryIsFittedToTheScreen) {
    TestProject project;
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
        const char* name;
        int left, top, width, height;
    };
    const Case cases[] = {
        {"largest", 0, 0, std::numeric_limits<int>::max(), std::numeric_limits<int>::max()},
        {"bounded by the file", 0, 0, Settings::kMaxWindowExtent, Settings::kMaxWindowExtent},
        {"far off", std::numeric_limits<int>::max(), std::numeric_limits<int>::min(), 700, 500},
        {"off the bottom right", area.right() - 10, area.bottom() - 10, 400, 300},
        {"negative size", -50, -50, -1000, std::numeric_limits<int>::min()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Settings s;
        s.left = c.left;
        s.top = c.top;
        s.width = c.width;
        s.height = c.height;
        MainWindow window(project.programDir(), s);
        window.show();
        const QRect frame(window.pos(), window.size());
        EXPECT_TRUE(area.contains(frame))
            << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
        EXPECT_GE(frame.width(), MainWindow::kMinWidth);
        EXPECT_GE(frame.height(), MainWindow::kMinHeight);
        const Settings back = window.currentSettings();
        EXPECT_EQ(QRect(back.left, back.top, back.width, back.height), frame);
    }
}

}  // namespace
}  // namespace vrk::app
