// The window and its dialogs by keyboard alone: Return and Enter press the focused button, Tab
// reaches the slot picker's link, and the name box takes no more than a name keeps.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>

#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "app/qt/story_dialog.h"
#include "common/sjis.h"
#include "presentation/qt/page_view.h"
#include "ui_test_support.h"

namespace vrk::app {
namespace {

using ui_test::child;
using ui_test::click;
using ui_test::ModalDriver;
using ui_test::sjis;
using ui_test::TestProject;

QString text(const char* utf8) {
    return QString::fromUtf8(utf8);
}

QWidget* shownHelpWindow() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == "helpWindow" && w->isVisible()) {
            return w;
        }
    }
    return nullptr;
}

class KeyboardTest : public ::testing::Test {
protected:
    KeyboardTest() : m_window(m_project.programDir(), Settings{}) {
        m_window.host().setProgramQuestion(
            [](const std::string&) { return programs::ProgramAnswer::Refuse; });
        m_window.show();
    }
    ~KeyboardTest() override {
        if (QWidget* help = shownHelpWindow()) {
            help->close();
        }
    }

    void open() {
        m_window.setProject(m_project.projectDir(), "tale");
        m_driver.expect([](QWidget* box) { click(child<QPushButton>(box, "okButton")); });
        ASSERT_TRUE(m_window.openProject());
    }
    QPushButton* button(int k) { return m_window.choiceButton(k); }
    std::string firstLine() { return m_window.story().page.pageText.at(0); }
    static void press(QWidget* target, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QTest::keyClick(target, key, modifiers);
    }

    TestProject m_project;
    MainWindow m_window;
    ModalDriver m_driver;
};

TEST_F(KeyboardTest, ReturnAndEnterPressTheFocusedButtonOfTheWindow) {
    open();
    // Three choices, the page shown whole: Return on B chooses B, although Return is no choice key
    // while several are offered.
    click(&m_window.pageView());
    button(2)->setFocus();
    press(button(2), Qt::Key_Return);
    EXPECT_EQ(firstLine(), "Right page");
    click(&m_window.pageView());
    button(1)->setFocus();
    press(button(1), Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_EQ(firstLine(), "Page one");
    // At the story's end the single button opens the story again: the slot picker comes.
    QTest::keyClicks(&m_window.pageView(), "c");
    ASSERT_EQ(firstLine(), "The end");
    ASSERT_EQ(button(1)->text(), text("開く"));
    click(&m_window.pageView());
    button(1)->setFocus();
    m_driver.expect([](QWidget* box) { click(child<QPushButton>(box, "okButton")); });
    press(button(1), Qt::Key_Return);
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_EQ(firstLine(), "Page one");
    // A button still waiting for its page takes no key.
    ASSERT_FALSE(button(3)->isEnabled());
    press(button(3), Qt::Key_Return);
    EXPECT_EQ(firstLine(), "Page one");
}

TEST_F(KeyboardTest, ReturnPressesTheFocusedButtonOfTheSlotPicker) {
    m_window.setProject(m_project.projectDir(), "tale");
    m_driver.expect([&](QWidget* box) {
        // Erase never becomes the default button, yet Return on it erases rather than closes.
        auto* erase = child<QPushButton>(box, "eraseButton");
        erase->setFocus();
        press(erase, Qt::Key_Return);
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(child<QLabel>(box, "Comment")->text(), text("初期化(OKならもう一度消去を押す)"));
        // Return on Ok goes on with the opening, as before.
        auto* ok = child<QPushButton>(box, "okButton");
        ok->setFocus();
        press(ok, Qt::Key_Return);
    });
    ASSERT_TRUE(m_window.openProject());
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_EQ(firstLine(), "Page one");
}

TEST_F(KeyboardTest, TabReachesTheHomePageLinkWhichShowsItsFocusAndOpensByKey) {
    m_window.setProject(m_project.projectDir(), "tale");
    m_driver.expect([&](QWidget* box) {
        auto* link = child<QLabel>(box, "homePageLink");
        QApplication::setActiveWindow(box);
        const QImage unfocused = link->grab().toImage();
        for (int i = 0; i < 12 && box->focusWidget() != link; ++i) {
            press(box->focusWidget() ? box->focusWidget() : box, Qt::Key_Tab);
        }
        ASSERT_EQ(box->focusWidget(), link);
        EXPECT_TRUE(link->hasFocus());
        EXPECT_NE(link->grab().toImage(), unfocused);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Space}) {
            ASSERT_EQ(shownHelpWindow(), nullptr);
            press(link, key);
            // The link took the key: the dialog's default button did not close the picker.
            EXPECT_TRUE(box->isVisible());
            QWidget* help = shownHelpWindow();
            ASSERT_NE(help, nullptr);
            help->close();
            QApplication::setActiveWindow(box);
        }
        click(child<QPushButton>(box, "okButton"));
    });
    ASSERT_TRUE(m_window.openProject());
    EXPECT_EQ(m_driver.pending(), 0u);
}

TEST(NameBoxTest, TypingPastTheBytesANameKeepsIsRefused) {
    StoryDialog box;
    box.setNameEntryShown(true, sjis("ab"));
    QLineEdit* edit = child<QLineEdit>(&box, "nameEdit");
    struct Case {
        const char* typed;
        const char* shown;
    };
    const Case cases[] = {
        {"あいうえおかきくけこ", "あいうえおかきく"},  // two bytes each
        {"aあいうえおかきくけ", "aあいうえおかき"},    // 15 bytes; a letter still fits
        {"aあいうえおかきくけb", "aあいうえおかきb"},  // and is taken after the refusal
        {"ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂ", "ｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀ"},    // half-width katakana take one byte
        {"abcdefghijklmnopqrstu", "abcdefghijklmnop"},
        {"\xe2\x91\xa0\xe2\x91\xa1\xe2\x91\xa2\xe2\x91\xa3\xe2\x91\xa4\xe2\x91\xa5\xe2\x91\xa6\xe2\x91"
         "\xa7"
         "\xe2\x91\xa8",
         "\xe2\x91\xa0\xe2\x91\xa1\xe2\x91\xa2\xe2\x91\xa3\xe2\x91\xa4\xe2\x91\xa5\xe2\x91\xa6\xe2\x91"
         "\xa7"},  // ①-⑧, code page 932's own
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        edit->clear();
        ui_test::typeText(edit, text(c.typed));
        EXPECT_EQ(edit->text(), text(c.shown));
        EXPECT_EQ(box.nameSjis(), sjis(c.shown));
    }
}

}  // namespace
}  // namespace vrk::app
