// Reading aloud when nothing can speak: the reader is told once and the item goes off, whether
// the engine is missing from the start or fails on the first page.

#include <gtest/gtest.h>

#include <QAction>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

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

// An engine that answers nothing: it finds so when first asked to speak, as speech-dispatcher's
// plugin does when the service behind it has no synthesiser.
class MuteSpeaker : public PageSpeaker {
public:
    explicit MuteSpeaker(int& asked) : m_asked(asked) {}
    void say(const QString&) override {
        ++m_asked;
        reportUnavailable(QStringLiteral("no voice"));
    }
    void stop() override {}

private:
    int& m_asked;
};

class SpeechTest : public ::testing::Test, protected ui_test::WindowDriving {
protected:
    SpeechTest() : WindowDriving(m_window), m_window(m_project.programDir(), Settings{}) {
        m_window.host().setSoundBackend(std::make_unique<sound::NullSoundBackend>());
        m_window.host().setProgramQuestion(
            [](const std::string&) { return programs::ProgramAnswer::Refuse; });
        m_window.show();
    }

    void open() { openFirstSlot(m_project, m_driver); }
    QAction* speech() { return child<QAction>(&m_window, "speechAction"); }
    // The notice comes once: the next one expected fails the test when it does not come.
    void expectNotice() {
        m_driver.expect([](QWidget* box) {
            EXPECT_EQ(box->objectName(), "speechUnavailable");
            EXPECT_NE(qobject_cast<QMessageBox*>(box), nullptr);
            EXPECT_TRUE(static_cast<QMessageBox*>(box)->text().contains(QStringLiteral("speech-dispatcher")));
            qobject_cast<QDialog*>(box)->accept();
        });
    }
    void settle() {
        ui_test::waitFor([&] { return m_driver.pending() == 0; }, 2000);
    }

    TestProject m_project;
    MainWindow m_window;
    ModalDriver m_driver;
};

TEST_F(SpeechTest, AnEngineThatFailsIsToldOnceAndReadingAloudGoesOff) {
    int asked = 0;
    m_window.setSpeaker(std::make_unique<MuteSpeaker>(asked));
    open();
    expectNotice();
    speech()->trigger();
    settle();
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(speech()->isChecked());
    EXPECT_FALSE(m_window.currentSettings().speech);
    // Later pages are not handed to it, and nothing more is said about it.
    key("a");
    ASSERT_EQ(firstLine(), "Left page");
    key("\r");
    ASSERT_EQ(firstLine(), "Page one");
    EXPECT_EQ(asked, 1);
    // Switched on again, a new speaker is asked; its failure is told again, once.
    m_window.setSpeaker(std::make_unique<MuteSpeaker>(asked));
    expectNotice();
    speech()->trigger();
    settle();
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(speech()->isChecked());
}

TEST_F(SpeechTest, ReadingAloudSwitchedOnFromTheSettingsIsToldAtTheFirstPage) {
    Settings settings;
    settings.speech = true;
    MainWindow window(m_project.programDir(), settings);
    window.host().setSoundBackend(std::make_unique<sound::NullSoundBackend>());
    int asked = 0;
    window.setSpeaker(std::make_unique<MuteSpeaker>(asked));
    window.show();
    window.setProject(m_project.projectDir(), "tale");
    m_driver.expect([](QWidget* box) { click(child<QPushButton>(box, "okButton")); });
    expectNotice();
    ASSERT_TRUE(window.openProject());
    settle();
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_EQ(asked, 1);
    EXPECT_FALSE(window.currentSettings().speech);
}

TEST(DesktopSpeakerTest, AnEngineThatIsNotInstalledIsReportedOnce) {
    std::unique_ptr<PageSpeaker> speaker = makeDesktopSpeaker(QStringLiteral("vrk-no-such-engine"));
    EXPECT_TRUE(speaker->unavailable());
    QStringList reasons;
    speaker->setUnavailableHandler([&](const QString& reason) { reasons.push_back(reason); });
    speaker->say(QStringLiteral("nothing"));
    speaker->stop();
    ASSERT_EQ(reasons.size(), 1);
    EXPECT_FALSE(reasons[0].isEmpty());
}

// The machine the tests run on has no speech service: the window's own speaker finds that out
// as soon as reading aloud is switched on.
TEST_F(SpeechTest, WithoutASpeechServiceTheDesktopSpeakerTellsTheReader) {
    if (!QStandardPaths::findExecutable(QStringLiteral("speech-dispatcher")).isEmpty()) {
        GTEST_SKIP() << "speech-dispatcher is installed here; the missing service cannot be shown";
    }
    open();
    expectNotice();
    speech()->trigger();
    settle();
    EXPECT_EQ(m_driver.pending(), 0u);
    EXPECT_FALSE(speech()->isChecked());
}

}  // namespace
}  // namespace vrk::app
