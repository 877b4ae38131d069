#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include "app/qt/main_window.h"
#include "app/qt/story_dialog.h"
#include "common/sjis.h"
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

QString comment(QWidget* box) {
    return child<QLabel>(box, "Comment")->text();
}

class StoryDialogTest : public ::testing::Test {
protected:
    StoryDialogTest() : m_window(m_project.programDir(), Settings{}) {
        m_window.show();
        m_window.setProject(m_project.projectDir(), "tale");
    }

    TestProject m_project;
    MainWindow m_window;
    ModalDriver m_driver;
};

// Every radio item whole inside its group, and the group inside the dialog, whatever the font.
void expectSlotItemsReadable(StoryDialog& box) {
    const auto* group = child<QWidget>(&box, "slotGroup");
    EXPECT_TRUE(box.rect().contains(group->geometry())) << group->geometry().height();
    for (int slot = 1; slot <= 4; ++slot) {
        SCOPED_TRACE(slot);
        const auto* item =
            child<QRadioButton>(&box, QStringLiteral("slotRadio%1").arg(slot).toLatin1().constData());
        EXPECT_TRUE(group->contentsRect().contains(item->geometry()));
        EXPECT_GE(item->height(), item->sizeHint().height());
    }
}

TEST(StoryDialogLayoutTest, RadioItemsAreWhollyVisibleAtEveryFontSize) {
    for (const int pixels : {0, 20, 28}) {
        SCOPED_TRACE(pixels);
        StoryDialog box;
        if (pixels > 0) {
            QFont font = box.font();
            font.setPixelSize(pixels);
            box.setFont(font);
        }
        box.setPickerShown(true);
        box.show();
        QApplication::processEvents();
        expectSlotItemsReadable(box);
        const auto* erase = child<QWidget>(&box, "eraseButton");
        EXPECT_TRUE(box.rect().contains(erase->geometry()));
    }
}

TEST_F(StoryDialogTest, DialogsStandOverTheMiddleOfTheScreen) {
    m_window.move(0, 0);
    m_window.resize(400, 300);
    const QPoint middle = m_window.screen()->availableGeometry().center();
    const auto expectCentred = [&](QWidget* box) {
        EXPECT_LE((box->geometry().center() - middle).manhattanLength(), 4)
            << box->geometry().center().x() << "," << box->geometry().center().y();
    };
    m_driver.expect([&](QWidget* box) {
        expectCentred(box);
        click(child<QPushButton>(box, "okButton"));
    });
    EXPECT_TRUE(m_window.openProject());
    m_driver.expect([&](QWidget* box) {
        expectCentred(box);
        click(child<QPushButton>(box, "okButton"));
    });
    child<QAction>(&m_window, "aboutAction")->trigger();
    EXPECT_EQ(m_driver.pending(), 0u);
}

TEST_F(StoryDialogTest, PickerShowsTheSlotAndItsControls) {
    m_driver.expect([](QWidget* box) {
        EXPECT_EQ(box->objectName(), "storyDialog");
        EXPECT_EQ(box->width(), StoryDialog::kClientWidth);
        EXPECT_GE(box->height(), StoryDialog::kPickerHeight);
        EXPECT_EQ(box->windowTitle(), text("夏の物語"));
        EXPECT_EQ(comment(box), text("主人公:太郎"));
        EXPECT_TRUE(child<QWidget>(box, "slotGroup")->isVisible());
        EXPECT_TRUE(child<QWidget>(box, "eraseButton")->isVisible());
        EXPECT_FALSE(ui_test::childShown(box, "nameEdit"));
        EXPECT_EQ(child<QLabel>(box, "ProductName")->text(), text("VRKブラウザ v3.50"));
        EXPECT_EQ(box->palette().color(QPalette::Window), QColor(0xFF, 0xFF, 0xC0));
        click(child<QRadioButton>(box, "slotRadio2"));
        EXPECT_EQ(comment(box), text("未使用ファイルです。"));
        click(child<QRadioButton>(box, "slotRadio1"));
        click(child<QPushButton>(box, "okButton"));
    });
    EXPECT_TRUE(m_window.openProject());
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_EQ(m_window.story().locations.slotExtension, ".V01");
}

TEST_F(StoryDialogTest, PickerCannotBeCancelled) {
    int shown = 0;
    for (int i = 0; i < 2; ++i) {
        m_driver.expect([&](QWidget* box) {
            ++shown;
            QTest::keyClick(box, Qt::Key_Escape);
        });
    }
    m_driver.expect([&](QWidget* box) {
        ++shown;
        click(child<QPushButton>(box, "okButton"));
    });
    EXPECT_TRUE(m_window.openProject());
    EXPECT_EQ(shown, 3);
}

TEST_F(StoryDialogTest, EraseNeedsTwoPressesOnTheSameSlot) {
    const std::string before = m_project.read(".V01");
    m_driver.expect([&](QWidget* box) {
        QPushButton* erase = child<QPushButton>(box, "eraseButton");
        click(erase);
        EXPECT_EQ(comment(box), text("初期化(OKならもう一度消去を押す)"));
        // Another slot cancels the first press.
        click(child<QRadioButton>(box, "slotRadio2"));
        click(child<QRadioButton>(box, "slotRadio1"));
        click(erase);
        EXPECT_EQ(m_project.read(".V01"), before);
        click(erase);
        EXPECT_EQ(comment(box), text("未使用ファイルです。"));
        EXPECT_EQ(m_project.line(".V01", 2), "VRKSTART");
        click(child<QPushButton>(box, "okButton"));
    });
    // The slot is fresh now, so name 1 is asked.
    m_driver.expect([](QWidget* box) { click(child<QPushButton>(box, "okButton")); });
    EXPECT_TRUE(m_window.openProject());
    EXPECT_EQ(m_driver.pending(), 0u);
}

TEST_F(StoryDialogTest, EraseThatCannotWriteStaysArmedAndRetries) {
    // A directory where the slot file should be: it can be neither read nor replaced.
    std::filesystem::remove(m_project.file(".V02"));
    std::filesystem::create_directory(m_project.file(".V02"));
    m_driver.expect([&](QWidget* box) {
        click(child<QRadioButton>(box, "slotRadio2"));  // reported: the slot cannot be read
        QPushButton* erase = child<QPushButton>(box, "eraseButton");
        click(erase);
        click(erase);
        EXPECT_EQ(comment(box), text("ユーザーデータ書込み不能"));
        std::filesystem::remove(m_project.file(".V02"));
        click(erase);
        EXPECT_EQ(comment(box), text("未使用ファイルです。"));
        click(child<QPushButton>(box, "okButton"));
    });
    m_driver.expect([](QWidget* report) { qobject_cast<QDialog*>(report)->accept(); });
    m_driver.expect([](QWidget* box) { click(child<QPushButton>(box, "okButton")); });
    EXPECT_TRUE(m_window.openProject());
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_EQ(m_window.story().locations.slotExtension, ".V02");
}

TEST_F(StoryDialogTest, FreshSlotAsksNamesAndRefusesAnEmptyOne) {
    m_driver.expect([](QWidget* box) {
        click(child<QRadioButton>(box, "slotRadio3"));
        click(child<QPushButton>(box, "okButton"));
    });
    m_driver.expect([](QWidget* box) {
        EXPECT_EQ(box->size(), QSize(StoryDialog::kClientWidth, StoryDialog::kPlainHeight));
        EXPECT_EQ(comment(box), text("主人公を入力して下さい"));
        QLineEdit* edit = child<QLineEdit>(box, "nameEdit");
        EXPECT_TRUE(edit->isVisible());
        EXPECT_EQ(edit->text(), text("太郎"));
        edit->clear();
        click(child<QPushButton>(box, "okButton"));
    });
    m_driver.expect([](QWidget* box) {
        QLineEdit* edit = child<QLineEdit>(box, "nameEdit");
        EXPECT_TRUE(edit->text().isEmpty());
        // Ten full-width characters: twenty bytes, of which a name keeps sixteen.
        ui_test::typeText(edit, text("あいうえおかきくけこ"));
        click(child<QPushButton>(box, "okButton"));
    });
    EXPECT_TRUE(m_window.openProject());
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_EQ(m_window.story().state.names[1], sjis("あいうえおかきく"));
    EXPECT_EQ(m_window.story().state.currentLabel, "START");
    EXPECT_EQ(m_window.story().page.choiceCount, 3);
}

TEST_F(StoryDialogTest, MissingSlotFileIsReportedAndThePickerStays) {
    std::filesystem::remove(m_project.file(".V04"));
    m_driver.expect([&](QWidget* box) {
        click(child<QRadioButton>(box, "slotRadio4"));
        // The error report came and went inside the click; the picker still shows slot 1.
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(comment(box), text("主人公:太郎"));
        click(child<QRadioButton>(box, "slotRadio1"));
        click(child<QPushButton>(box, "okButton"));
    });
    m_driver.expect([](QWidget* report) {
        EXPECT_EQ(report->windowTitle(), text("VRKブラウザ v3"));
        EXPECT_TRUE(qobject_cast<QMessageBox*>(report) != nullptr);
        qobject_cast<QMessageBox*>(report)->accept();
    });
    EXPECT_TRUE(m_window.openProject());
    EXPECT_EQ(m_driver.pending(), 0u);
}

// A screen reader names the one dialog by the use it is put to, and reads the comment with it.
TEST(StoryDialogAccessibilityTest, EachUseHasItsOwnNameAndTheNameBoxItsQuestion) {
    StoryDialog box;
    EXPECT_EQ(box.accessibleName(), text("お知らせ"));
    box.setPurposeName(text("バージョン情報"));
    EXPECT_EQ(box.accessibleName(), text("バージョン情報"));
    box.setCommentSjis(sjis("作品のバージョン : 1.00"));
    EXPECT_EQ(box.accessibleDescription(), text("作品のバージョン : 1.00"));

    box.setPickerShown(true);
    EXPECT_EQ(box.accessibleName(), text("セーブスロットの選択"));
    EXPECT_EQ(child<QRadioButton>(&box, "slotRadio3")->accessibleName(), text("スロット 3"));
    box.setPickerShown(false);
    EXPECT_EQ(box.accessibleName(), text("バージョン情報")) << "the picker's name goes with it";

    box.setCommentSjis(sjis("主人公の名前は？"));
    box.setNameEntryShown(true, sjis("太郎"));
    EXPECT_EQ(box.accessibleName(), text("名前の入力"));
    QAccessibleInterface* entry = QAccessible::queryAccessibleInterface(child<QLineEdit>(&box, "nameEdit"));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(QAccessible::Name), text("主人公の名前は？")) << "labelled by the question";
    box.setNameEntryShown(false);
    EXPECT_EQ(box.accessibleName(), text("バージョン情報"));
}

TEST(AboutBoxTest, NamesAreCutWithoutSplittingACharacter) {
    StoryDialog box;
    box.setNameEntryShown(true, sjis("ab"));
    QLineEdit* edit = child<QLineEdit>(&box, "nameEdit");
    struct Case {
        const char* typed;
        const char* kept;
    };
    const Case cases[] = {
        {"abcdefghijklmnopqrstu", "abcdefghijklmnop"},  // 16 characters at most
        {"aあいうえおかきくけ", "aあいうえおかき"},     // 15 bytes: the next character does not fit
        {"あいうえおかきくけこ", "あいうえおかきく"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        edit->clear();
        ui_test::typeText(edit, text(c.typed));
        EXPECT_EQ(box.nameSjis(), sjis(c.kept));
    }
}

TEST_F(StoryDialogTest, PanelLinesAreDrawnInGrey) {
    m_driver.expect([](QWidget* box) {
        for (const char* name : {"ProductName", "Version"}) {
            // The darkest pixel of antialiased text is (within rounding) the text colour itself.
            const QImage drawn = child<QLabel>(box, name)->grab().toImage();
            int darkest = 255;
            QRgb colour = 0;
            for (int y = 0; y < drawn.height(); ++y) {
                for (int x = 0; x < drawn.width(); ++x) {
                    if (qGray(drawn.pixel(x, y)) < darkest) {
                        darkest = qGray(drawn.pixel(x, y));
                        colour = drawn.pixel(x, y);
                    }
                }
            }
            EXPECT_NEAR(qRed(colour), 0x80, 2) << name;
            EXPECT_NEAR(qGreen(colour), 0x80, 2) << name;
            EXPECT_NEAR(qBlue(colour), 0x80, 2) << name;
        }
        click(child<QPushButton>(box, "okButton"));
    });
    EXPECT_TRUE(m_window.openProject());
}

TEST_F(StoryDialogTest, HomePageLinkOpensTheManual) {
    const auto helpWindow = [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "helpWindow" && w->isVisible()) {
                return w;
            }
        }
        return static_cast<QWidget*>(nullptr);
    };
    ASSERT_EQ(helpWindow(), nullptr);
    m_driver.expect([&](QWidget* box) {
        click(child<QLabel>(box, "homePageLink"));
        EXPECT_NE(helpWindow(), nullptr);
        click(child<QPushButton>(box, "okButton"));
    });
    EXPECT_TRUE(m_window.openProject());
    EXPECT_EQ(m_driver.pending(), 0u);
    if (QWidget* help = helpWindow()) {
        help->close();
    }
}

}  // namespace
}  // namespace vrk::app
