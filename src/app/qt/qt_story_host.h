#pragma once
// The engine's outside world in the window: page presentation goes to MainWindow
// and its page view, sound to a SoundChannel, programs to the launcher after the
// reader has allowed them. Notices of the sound back end arrive on the audio thread
// and are posted to the UI thread through the event loop.

#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "interpreter/story_host.h"
#include "programs/program_permissions.h"
#include "sound/sound_backend.h"

namespace vrk::sound {
class SoundChannel;
}

namespace vrk::app {

class MainWindow;

class QtStoryHost : public QObject, public interpreter::StoryHost {
    Q_OBJECT

public:
    /// The host of window's page runs, silent until setSoundBackend gives it a player.
    explicit QtStoryHost(MainWindow& window);
    ~QtStoryHost() override;

    /// Plays through backend from now on (the SDL mixer in the program; a silent one in tests).
    void setSoundBackend(std::unique_ptr<sound::SoundBackend> backend);
    /// Relative sound and program names are found from here.
    void setProjectDir(const std::filesystem::path& projectDir);
    /// Replaces the question asked the first time a project starts a program (tests answer it).
    void setProgramQuestion(std::function<programs::ProgramAnswer(const std::string& commandLineSjis)> ask);
    /// A sound option was unchecked: whatever plays stops.
    void soundOptionUnchecked();
    /// A sound effect (not music) is still playing.
    bool effectPlaying() const;

    void showPicture(const std::string& fileNameSjis) override;
    void hidePicture() override;
    bool loadPicture(const std::string& fileNameSjis) override;
    bool playSound(const std::string& fileNameSjis) override;
    void stopSound() override;
    void launchProgram(const std::string& commandLineSjis) override;
    /// Handles events until the page view's wait countdown reaches 0; with the reveal timer off
    /// (nonstop) sleeps ticks × 60 ms without handling events.
    void waitTicks(int ticks) override;
    void repaint() override;
    void hideChoices() override;
    void prepareChoices() override;
    void enableChoices() override;
    void refreshPage() override;
    void restartReveal() override;
    /// The busy cursor over the whole program while a page runs.
    void setBusy(bool busy) override;
    void showAboutComment(const std::string& commentSjis) override;
    void reportError(const std::string& messageSjis) override;

private:
    programs::ProgramAnswer askProgram(const std::string& commandLineSjis);

    MainWindow& m_window;
    std::unique_ptr<sound::SoundBackend> m_backend;
    std::unique_ptr<sound::SoundChannel> m_channel;
    std::filesystem::path m_projectDir;
    programs::ProgramPermissions m_permissions;
    std::function<programs::ProgramAnswer(const std::string&)> m_ask;
    bool m_busyCursorShown = false;  // the wait cursor this host set, to be restored
};

}  // namespace vrk::app
