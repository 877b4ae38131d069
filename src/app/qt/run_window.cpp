#include "app/qt/run_window.h"

#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <system_error>

#include "app/project_opening.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "app/settings_file.h"
#include "common/file_names.h"
#include "common/messages.h"
#include "common/sjis.h"

namespace vrk::app {
namespace {

int s_signalPipe[2] = {-1, -1};

void onTerminationSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(s_signalPipe[1], &byte, 1);
}

// A session that ends (SIGTERM, SIGHUP when the terminal or the login goes) or a Ctrl+C in
// the terminal closes the window the ordinary way, so the story still goes back to its slot
// and the settings are kept. The handler only writes to a pipe; the window closes from the
// event loop, whichever loop (a dialog's, a page run's pause) is running then.
void closeOnTerminationSignals(MainWindow& window) {
    if (::pipe(s_signalPipe) != 0) {
        return;
    }
    auto* notifier = new QSocketNotifier(s_signalPipe[0], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window, notifier] {
        char byte = 0;
        [[maybe_unused]] const auto got = ::read(s_signalPipe[0], &byte, 1);
        notifier->setEnabled(false);
        window.close();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    // The session manager's end of session is one more way of closing.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, &window,
                     [&window](QSessionManager&) { window.close(); });
}

}  // namespace

int runWindow(int argc, char** argv, const SoundBackendFactory& makeSoundBackend) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QString::fromStdString(sjisToUtf8(messages::kApplicationTitle)));
    const std::filesystem::path programDir = vrk::programDirectory(argc > 0 ? argv[0] : nullptr);
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
        closeOnTerminationSignals(window);
        if (window.story().locations.projectKnown()) {
            QTimer::singleShot(0, &window, &MainWindow::openThenShow);
        } else {
            window.show();
        }
        exitCode = QApplication::exec();
        window.shutDown();
        writeSettings(settingsPath, window.currentSettings());
    }
    return exitCode;
}

}  // namespace vrk::app
