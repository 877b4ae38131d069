// The view menu's volumes in the window: from the settings to the sound that plays, and back.
#include <gtest/gtest.h>

#include <QAction>
#include <QMenu>

#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "sound/null_sound_backend.h"
#include "ui_test_support.h"

namespace vrk::app {
namespace {

using ui_test::child;

Settings quietEffects() {
    Settings settings;
    settings.effectVolume = 40;
    return settings;
}

class WindowVolumeTest : public ::testing::Test, protected ui_test::WindowDriving {
protected:
    WindowVolumeTest() : WindowDriving(m_window), m_window(m_project.programDir(), quietEffects()) {
        auto backend = std::make_unique<sound::NullSoundBackend>();
        m_sound = backend.get();
        m_window.host().setSoundBackend(std::move(backend));
        m_window.show();
    }

    ui_test::TestProject m_project;
    MainWindow m_window;
    ui_test::ModalDriver m_driver;
    sound::NullSoundBackend* m_sound = nullptr;
};

TEST_F(WindowVolumeTest, TheSettingsVolumesPlayAndTheMenuStepsThem) {
    openFirstSlot(m_project, m_driver);
    MainWindow& window = m_window;
    sound::NullSoundBackend* sound = m_sound;
    key("a");  // the left page's sound effect
    ASSERT_TRUE(sound->isPlaying());
    EXPECT_EQ(sound->volume(), 40);

    // The menu's refresh names the level and limits the steps, as the model says.
    emit child<QMenu>(&window, "viewMenu")->aboutToShow();
    EXPECT_EQ(child<QMenu>(&window, "effectVolumeMenu")->menuAction()->text(),
              QStringLiteral("効果音の音量(&E) 40%"));
    emit child<QMenu>(&window, "musicVolumeMenu")->aboutToShow();
    EXPECT_FALSE(child<QAction>(&window, "louderMusicAction")->isEnabled());
    child<QAction>(&window, "louderEffectsAction")->trigger();
    EXPECT_EQ(sound->volume(), 50) << "the effect playing follows";
    child<QAction>(&window, "quieterMusicAction")->trigger();
    EXPECT_EQ(sound->volume(), 50) << "music's volume is not the effect's";
    const Settings kept = window.currentSettings();
    EXPECT_EQ(kept.musicVolume, 90);
    EXPECT_EQ(kept.effectVolume, 50);
}

}  // namespace
}  // namespace vrk::app
