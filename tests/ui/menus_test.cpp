#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <fstream>

#include "app/qt/main_window.h"
#include "ui_test_support.h"

namespace vrk::app {
namespace {

using ui_test::child;
using ui_test::click;
using ui_test::ModalDriver;
using ui_test::TestProject;

class MenusTest : public ::testing::Test {
protected:
    MenusTest() : m_window(m_project.programDir(), Settings{}) { m_window.show(); }

    QAction* action(const char* name) { return child<QAction>(&m_window, name); }
    void ctrl(Qt::Key key) {
        QWidget* target = m_window.focusWidget() ? m_window.focusWidget() : &m_window;
        QTest::keyClick(target, key, Qt::ControlModifier);
    }
    void open() {
        m_window.setProject(m_project.projectDir(), "tale");
        m_driver.expect([](QWidget* box) { click(child<QPushButton>(box, "okButton")); });
        ASSERT_TRUE(m_window.openProject());
    }

    TestProject m_project;
    MainWindow m_window;
    ModalDriver m_driver;
};

TEST_F(MenusTest, TreeHoldsEveryItemAsTheReaderKnowsIt) {
    struct Item {
        const char* name;
        const char* caption;
        const char* shortcut;
        bool enabled;
        bool checked;
        int step;  // the step its data holds; -2: none
    };
    const Item items[] = {
        {"fileMenu", "ファイル(&F)", "", true, false, -2},
        {"openAction", "開く(&O)", "Ctrl+O", true, false, -2},
        {"reopenAction", "開き直す(&R)", "Ctrl+R", true, false, -2},
        {"quickSaveAction", "一時保存(&T)", "Ctrl+S", false, false, -2},
        {"quickLoadAction", "一時保存を開く(&Y)", "Ctrl+T", false, false, -2},
        {"exitAction", "終了(&X)", "Ctrl+Q", true, false, -2},
        {"settingsMenu", "設定(&O)", "", true, false, -2},
        {"fontAction", "フォント(&F)", "Ctrl+F", true, false, -2},
        {"lineGapMenu", "行間隔(&G)", "", true, false, -2},
        {"widerGapAction", "広く(&W)", "Ctrl+W", true, false, 1},
        {"narrowerGapAction", "狭く(&N)", "Ctrl+N", true, false, -1},
        {"standardGapAction", "標準(&S)", "", true, false, 0},
        {"speedMenu", "描画速度(&P)", "", true, false, -2},
        {"slowerAction", "遅く(&S)", "Ctrl+H", true, false, 1},
        {"fasterAction", "速く(&F)", "Ctrl+J", true, false, -1},
        {"normalSpeedAction", "標準(2)(&N)", "Ctrl+K", true, false, 0},
        {"nonstopAction", "最速(&Z)", "Ctrl+L", true, false, -2},
        {"soundMenu", "音声(&S)", "", true, false, -2},
        {"midiAction", "Midファイル", "", true, true, -2},
        {"wavAction", "Wavファイル", "", true, true, -2},
        {"otherMediaAction", "その他のファイル", "", true, true, -2},
        {"compatibilityMenu", "互換性(&C)", "", true, false, -2},
        {"oldExeAction", "旧形式外部EXE", "", true, false, -2},
        {"lowResAction", "ローレゾ", "Ctrl+C", true, false, -2},
        {"contrastAction", "高輝度ふち取り", "Ctrl+E", true, false, -2},
        {"balanceAction", "4:3バランス", "Ctrl+B", true, false, -2},
        {"viewMenu", "表示(&V)", "", true, false, -2},
        {"backlogAction", "バックログ(&B)", "PgUp", true, false, -2},
        {"backAction", "1ページ戻る(&P)", "Ctrl+Z", true, false, -2},
        {"copyTextAction", "本文をコピー(&C)", "Ctrl+Shift+C", true, false, -2},
        {"readerMapAction", "読んだ道筋(&M)", "", true, false, -2},
        {"autoAdvanceAction", "自動送り(&A)", "Ctrl+A", true, false, -2},
        {"skipAction", "既読スキップ(&S)", "Ctrl+D", true, false, -2},
        {"fullScreenAction", "全画面表示(&U)", "F11", true, false, -2},
        {"speechAction", "読み上げ(&R)", "Ctrl+Y", true, false, -2},
        {"helpMenu", "説明(&H)", "", true, false, -2},
        {"helpContentsAction", "目次(&I)", "F1", true, false, -2},
        {"aboutAction", "バージョン情報(&A)", "", true, false, -2},
    };
    for (const Item& item : items) {
        SCOPED_TRACE(item.name);
        QAction* a = action(item.name);
        EXPECT_EQ(a->text(), QString::fromUtf8(item.caption));
        EXPECT_EQ(a->shortcut().toString(), QString::fromLatin1(item.shortcut));
        EXPECT_EQ(a->isEnabled(), item.enabled);
        EXPECT_EQ(a->isChecked(), item.checked);
        if (item.step != -2) {
            EXPECT_EQ(a->data().toInt(), item.step);
        }
    }
}

TEST_F(MenusTest, ShortcutsRunTheRefreshFirst) {
    // Ctrl+R with no project known: the refresh disables the reopen item and no picker comes up.
    ctrl(Qt::Key_R);
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_FALSE(action("reopenAction")->isEnabled());

    // Ctrl+B while maximised: balance1 is disabled and the window keeps its size.
    m_window.showMaximized();
    const QSize before = m_window.size();
    ctrl(Qt::Key_B);
    EXPECT_FALSE(action("balanceAction")->isEnabled());
    EXPECT_EQ(m_window.size(), before);
    m_window.showNormal();
    action("settingsMenu")->menu()->aboutToShow();
    EXPECT_TRUE(action("balanceAction")->isEnabled());
}

TEST_F(MenusTest, ShortcutsKeepTheirLimitsAfterAMenuWasUsed) {
    // Opening and closing a menu once must not hand the keys to Qt's own shortcut handling,
    // which would trigger an item the refresh would have disabled.
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    QMenuBar* bar = m_window.menuBar();
    for (const char* menuName : {"settingsMenu", "fileMenu"}) {
        QMenu* menu = action(menuName)->menu();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
        ASSERT_TRUE(ui_test::waitFor([menu] { return menu->isVisible(); }));
        QTest::keyClick(menu, Qt::Key_Escape);
        ASSERT_TRUE(ui_test::waitFor([menu] { return !menu->isVisible(); }));
    }
    for (int i = 0; i < 15; ++i) {
        ctrl(Qt::Key_N);
        ctrl(Qt::Key_H);
    }
    EXPECT_EQ(m_window.currentSettings().gapTenths, 10);
    EXPECT_EQ(m_window.currentSettings().revealSpeed, 5);
    for (int i = 0; i < 15; ++i) {
        ctrl(Qt::Key_W);
        ctrl(Qt::Key_J);
    }
    EXPECT_EQ(m_window.currentSettings().gapTenths, 20);
    EXPECT_EQ(m_window.currentSettings().revealSpeed, 1);
    // Reopen with no project known: still refused.
    ctrl(Qt::Key_R);
    EXPECT_EQ(m_driver.pending(), 0u);
}

class FailingQuickLoadTest : public MenusTest, public ::testing::WithParamInterface<bool> {};

TEST_P(FailingQuickLoadTest, ShortcutWhoseCommandFailsShowsTheErrorReport) {
    if (GetParam()) {
        // A quick save whose colour line is garbage cannot be read back.
        std::string quick = m_project.read(".V01");
        quick.replace(quick.rfind("16\r\n16\r\n"), 2, "xx");
        std::ofstream(m_project.file(".VR$"), std::ios::binary) << quick;
    } else {
        // Nor can one that is a directory: the read fails in the platform, not in parsing.
        std::filesystem::create_directory(m_project.file(".VR$"));
    }
    open();
    bool reported = false;
    m_driver.expect([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->objectName(), "ErrorReport");
        EXPECT_EQ(box->windowTitle(), QString::fromUtf8("VRKブラウザ v3"));
        reported = true;
        box->accept();
    });
    ctrl(Qt::Key_T);
    EXPECT_TRUE(reported);
}

INSTANTIATE_TEST_SUITE_P(GarbageOrDirectory, FailingQuickLoadTest, ::testing::Bool());

}  // namespace
}  // namespace vrk::app
