// The window driven by a game controller: each press goes through the session's rule, and the
// window carries out its part (the choice's click, the menu items, the backlog).
#include <gtest/gtest.h>

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "ui_test_support.h"

namespace vrk::app {
namespace {

using ui_test::child;
using ui_test::ModalDriver;
using ui_test::TestProject;

class GamePadsTest : public ::testing::Test, protected ui_test::WindowDriving {
protected:
    GamePadsTest() : WindowDriving(m_window), m_window(m_project.programDir(), Settings{}) {
        m_window.host().setProgramQuestion(
            [](const std::string&) { return programs::ProgramAnswer::Refuse; });
        m_window.show();
    }

    void pad(PadButton button) {
        m_window.onPadButton(button);
        ui_test::waitForPause(m_window);
    }
    QPushButton* button(int k) { return m_window.choiceButton(k); }
    QPlainTextEdit* backlog() { return child<QPlainTextEdit>(&m_window, "backlogPanel"); }

    TestProject m_project;
    MainWindow m_window;
    ModalDriver m_driver;
};

TEST_F(GamePadsTest, ThePadReadsPagesTakesTheFocusedChoiceAndGoesBack) {
    openFirstSlot(m_project, m_driver);
    pad(PadButton::South);
    ASSERT_TRUE(button(3)->isEnabled()) << "the page finished at once";
    EXPECT_EQ(m_window.focusWidget(), button(3));
    pad(PadButton::Right);
    EXPECT_EQ(m_window.focusWidget(), button(2)) << "the window's focus follows the pad's";
    pad(PadButton::South);
    EXPECT_EQ(firstLine(), "Right page");

    // East goes back through the menu item, with its rule.
    pad(PadButton::East);
    EXPECT_EQ(firstLine(), "Page one");
    pad(PadButton::East);
    EXPECT_EQ(firstLine(), "Page one") << "nothing before the first page";

    // A button the reader focused another way is the one South takes.
    pad(PadButton::South);
    button(1)->setFocus();
    pad(PadButton::South);
    EXPECT_EQ(firstLine(), "The end");
}

TEST_F(GamePadsTest, NorthOpensTheBacklogWhichThePadThenScrollsAndCloses) {
    openFirstSlot(m_project, m_driver);
    for (int i = 0; i < 8; ++i) {
        key("a");
        key("\r");
    }
    pad(PadButton::North);
    ASSERT_NE(backlog(), nullptr);
    ASSERT_TRUE(backlog()->isVisible());
    QScrollBar* bar = backlog()->verticalScrollBar();
    ASSERT_GT(bar->maximum(), 0);
    pad(PadButton::Up);
    EXPECT_LT(bar->value(), bar->maximum());
    pad(PadButton::South);
    EXPECT_FALSE(backlog()->isVisible());
    EXPECT_EQ(firstLine(), "Page one") << "the press closed the backlog and went no further";

    pad(PadButton::West);
    EXPECT_TRUE(child<QAction>(&m_window, "autoAdvanceAction")->isChecked());
    pad(PadButton::West);
    EXPECT_FALSE(child<QAction>(&m_window, "autoAdvanceAction")->isChecked());
}

}  // namespace
}  // namespace vrk::app
