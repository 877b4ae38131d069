#pragma once
// The window's part of the engine's outside world: the reading session is the story's host and
// keeps the page; this gives it the SDL sound back end, asks the reader before a program the
// story names starts, and shows the wait cursor while a run or its pause holds commands back.

#include <QObject>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "programs/program_permissions.h"
#include "sound/sound_backend.h"

namespace vrk::app {

class MainWindow;
class ReadingSession;

class QtStoryHost : public QObject {
    Q_OBJECT

public:
    /// The window's helper for session, which is silent until setSoundBackend gives it a player.
    QtStoryHost(MainWindow& window, ReadingSession& session);
    ~QtStoryHost() override;

    /// Plays through backend from now on (the SDL mixer in the program; a silent one in tests).
    void setSoundBackend(std::unique_ptr<sound::SoundBackend> backend);
    /// Relative program names are found from here.
    void setProjectDir(const std::filesystem::path& projectDir);
    /// Replaces the question asked the first time a project starts a program (tests answer it).
    void setProgramQuestion(std::function<programs::ProgramAnswer(const std::string& commandLineSjis)> ask);
    /// A sound effect (not music) is still playing.
    bool effectPlaying() const;
    /// Whatever plays stops.
    void stopSound();
    /// Starts a program the story names once the reader allows it.
    void launchProgram(const std::string& commandLineSjis);
    /// The busy cursor over the whole program while commands are held back (a run, its pause).
    void setBusy(bool busy);

private:
    programs::ProgramAnswer askProgram(const std::string& commandLineSjis);

    MainWindow& m_window;
    ReadingSession& m_session;
    std::filesystem::path m_projectDir;
    programs::ProgramPermissions m_permissions;
    std::function<programs::ProgramAnswer(const std::string&)> m_ask;
    bool m_busyCursorShown = false;  // the wait cursor this host set, to be restored
};

}  // namespace vrk::app
