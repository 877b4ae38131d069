#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>
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
        m_driver.expect([](QWidget* box) { click(child<QPushButton>(box, "Okbutton")); });
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
        int tag;  // -2: no tag
    };
    const Item items[] = {
        {"File1", "ファイル(&F)", "", true, false, -2},
        {"Project1", "開く(&O)", "Ctrl+O", true, false, -2},
        {"Fixed1", "開き直す(&R)", "Ctrl+R", true, false, -2},
        {"Temp1", "一時保存(&T)", "Ctrl+S", false, false, -2},
        {"OpenTmp1", "一時保存を開く(&Y)", "Ctrl+T", false, false, -2},
        {"Exit1", "終了(&X)", "Ctrl+Q", true, false, -2},
        {"Option1", "設定(&O)", "", true, false, -2},
        {"Font1", "フォント(&F)", "Ctrl+F", true, false, -2},
        {"Gap1", "行間隔(&G)", "", true, false, -2},
        {"Wide1", "広く(&W)", "Ctrl+W", true, false, 1},
        {"Narrow1", "狭く(&N)", "Ctrl+N", true, false, -1},
        {"Standard1", "標準(&S)", "", true, false, 0},
        {"Speed1", "描画速度(&P)", "", true, false, -2},
        {"Slow1", "遅く(&S)", "Ctrl+H", true, false, 1},
        {"Fast1", "速く(&F)", "Ctrl+J", true, false, -1},
        {"Normal1", "標準(2)(&N)", "Ctrl+K", true, false, 0},
        {"Nonstop1", "最速(&Z)", "Ctrl+L", true, false, -2},
        {"Sound1", "音声(&S)", "", true, false, -2},
        {"Mid1", "Midファイル", "", true, true, -2},
        {"Wav1", "Wavファイル", "", true, true, -2},
        {"Other1", "その他のファイル", "", true, true, -2},
        {"Compatible1", "互換性(&C)", "", true, false, -2},
        {"OldExe1", "旧形式外部EXE", "", true, false, -2},
        {"LowRes1", "ローレゾ", "Ctrl+C", true, false, -2},
        {"Contrast1", "高輝度ふち取り", "Ctrl+E", true, false, -2},
        {"balance1", "4:3バランス", "Ctrl+B", true, false, -2},
        {"Help1", "説明(&H)", "", true, false, -2},
        {"Index1", "目次(&I)", "F1", true, false, -2},
        {"About1", "バージョン情報(&A)", "", true, false, -2},
    };
    for (const Item& item : items) {
        SCOPED_TRACE(item.name);
        QAction* a = action(item.name);
        EXPECT_EQ(a->text(), QString::fromUtf8(item.caption));
        EXPECT_EQ(a->shortcut().toString(), QString::fromLatin1(item.shortcut));
        EXPECT_EQ(a->isEnabled(), item.enabled);
        EXPECT_EQ(a->isChecked(), item.checked);
        if (item.tag != -2) {
            EXPECT_EQ(a->data().toInt(), item.tag);
        }
    }
}

TEST_F(MenusTest, ShortcutsRunTheRefreshFirst) {
    // Ctrl+R with no project known: the refresh disables Fixed1 and no picker comes up.
    ctrl(Qt::Key_R);
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_FALSE(action("Fixed1")->isEnabled());

    // Ctrl+B while maximised: balance1 is disabled and the window keeps its size.
    m_window.showMaximized();
    const QSize before = m_window.size();
    ctrl(Qt::Key_B);
    EXPECT_FALSE(action("balance1")->isEnabled());
    EXPECT_EQ(m_window.size(), before);
    m_window.showNormal();
    action("Option1")->menu()->aboutToShow();
    EXPECT_TRUE(action("balance1")->isEnabled());
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
