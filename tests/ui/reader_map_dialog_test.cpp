#include <gtest/gtest.h>

#include <QAction>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QMenu>

#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "app/qt/reader_map_dialog.h"
#include "sound/null_sound_backend.h"
#include "ui_test_support.h"

namespace vrk::app {
namespace {

using ui_test::ModalDriver;
using ui_test::TestProject;

class ReaderMapDialogTest : public ::testing::Test, protected ui_test::WindowDriving {
protected:
    ReaderMapDialogTest() : WindowDriving(m_window), m_window(m_project.programDir(), Settings{}) {
        m_window.host().setSoundBackend(std::make_unique<sound::NullSoundBackend>());
        m_window.host().setProgramQuestion(
            [](const std::string&) { return programs::ProgramAnswer::Refuse; });
        m_window.show();
    }

    ReaderMapDialog* dialog() {
        return m_window.findChild<ReaderMapDialog*>(QStringLiteral("readerMapDialog"));
    }

    // The texts the map writes: labels, "？" and captions.
    QStringList texts() {
        QStringList out;
        for (QGraphicsItem* item : dialog()->scene()->items()) {
            if (auto* text = dynamic_cast<QGraphicsSimpleTextItem*>(item)) {
                out.push_back(text->text());
            }
        }
        return out;
    }

    TestProject m_project;
    MainWindow m_window;
    ModalDriver m_driver;
};

TEST_F(ReaderMapDialogTest, TheViewMenuOpensTheMapOfWhatWasRead) {
    // No story yet: nothing to map.
    action("viewMenu")->menu()->aboutToShow();
    EXPECT_FALSE(action("readerMapAction")->isEnabled());

    // START, then LEFT (which goes back to START by itself).
    openFirstSlot(m_project, m_driver);
    key("a");
    ASSERT_EQ(firstLine(), "Left page");
    action("viewMenu")->menu()->aboutToShow();
    ASSERT_TRUE(action("readerMapAction")->isEnabled());
    action("readerMapAction")->trigger();
    ASSERT_NE(dialog(), nullptr);
    EXPECT_TRUE(dialog()->isVisible());
    EXPECT_EQ(dialog()->windowTitle(), QString::fromUtf8("読んだ道筋"));

    const QStringList shown = texts();
    EXPECT_TRUE(shown.contains("START")) << shown.join(' ').toStdString();
    EXPECT_TRUE(shown.contains("LEFT"));
    EXPECT_TRUE(shown.contains("Go right"));             // its caption was on START's button
    EXPECT_EQ(shown.count(QString::fromUtf8("？")), 2);  // where "Go right" and "Go end" lead
    EXPECT_FALSE(shown.contains("RIGHT"));
    EXPECT_FALSE(shown.contains("END"));

    // Opened again after reading on: the same dialog, drawn afresh.
    dialog()->close();
    key("\r");
    key("b");
    ASSERT_EQ(firstLine(), "Right page");
    action("readerMapAction")->trigger();
    EXPECT_TRUE(dialog()->isVisible());
    EXPECT_EQ(m_window.findChildren<ReaderMapDialog*>().size(), 1);
    EXPECT_TRUE(texts().contains("RIGHT"));
    EXPECT_EQ(texts().count(QString::fromUtf8("？")), 1);
}

}  // namespace
}  // namespace vrk::app
