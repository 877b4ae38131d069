#include "app/qt/run_window.h"

#include <QApplication>
#include <filesystem>
#include <system_error>

#include "app/project_opening.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "app/settings_file.h"
#include "common/messages.h"
#include "common/sjis.h"

namespace vrk::app {
namespace {

std::filesystem::path programDirectory(const char* argv0) {
    // The running executable, wherever it was started from; argv[0] only as a fallback.
    std::error_code error;
    std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error && argv0) {
        self = std::filesystem::absolute(argv0, error);
    }
    return self.parent_path() / "";
}

}  // namespace

int runWindow(int argc, char** argv, const SoundBackendFactory& makeSoundBackend) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(sjisToUtf8(messages::kApplicationTitle)));
    const std::filesystem::path programDir = programDirectory(argc > 0 ? argv[0] : nullptr);
    const std::filesystem::path settingsPath = settingsFilePath(programDir);

    int exitCode = 0;
    {
        MainWindow window(programDir, readSettings(settingsPath));
        if (makeSoundBackend) {
            window.host().setSoundBackend(makeSoundBackend());
        }
        // Only the first argument names a project; one whose .vrk is missing is ignored.
        if (argc > 1 && argv[1] != nullptr) {
            if (const auto project = projectFromArgument(argv[1])) {
                window.setProject(project->projectDir, project->baseName);
            }
        }
        window.show();
        exitCode = QApplication::exec();
        window.shutDown();
        writeSettings(settingsPath, window.currentSettings());
    }
    return exitCode;
}

}  // namespace vrk::app
