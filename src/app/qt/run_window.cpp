#include "app/qt/run_window.h"

#include <unistd.h>

#include <QApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>
#include <thread>

#ifdef VRK_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

#include "app/project_opening.h"
#include "app/qt/author_tools.h"
#include "app/qt/main_window.h"
#include "app/qt/qt_story_host.h"
#include "app/qt/start_up_style.h"
#include "app/settings_file.h"
#include "app/startup_hook.h"
#include "common/file_names.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "common/terminal_text.h"
#include "presentation/qt/page_view.h"

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

// Reading the font configuration and its caches is the longest single step before the first
// page, and nothing of it needs the display or Qt: it runs on a thread of its own while
// QApplication connects to the display, and is joined before anything needs a font, so that
// Qt finds it done instead of racing it with an initialisation of its own. (Started earlier,
// beside the loading of Qt's libraries, it slowed the loading down by more than it saved.)
class FontConfigurationWarmUp {
public:
    FontConfigurationWarmUp() {
#ifdef VRK_HAVE_FONTCONFIG
        try {
            m_thread = std::thread([] { FcInit(); });
        } catch (const std::system_error&) {
            // No thread: Qt reads the configuration itself when it first needs a font.
        }
#endif
    }
    ~FontConfigurationWarmUp() {
        join();
    }
    FontConfigurationWarmUp(const FontConfigurationWarmUp&) = delete;
    FontConfigurationWarmUp& operator=(const FontConfigurationWarmUp&) = delete;

    void join() {
        if (m_thread.joinable()) {
            m_thread.join();
        }
    }

private:
    std::thread m_thread;
};

}  // namespace

WindowArguments windowArguments(int argc, char** argv) {
    WindowArguments arguments;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        const std::string arg = argv[i];
        if (arg == "--debug") {
            arguments.inspector = true;
        } else if (arg == "--watch" && i + 1 < argc && argv[i + 1] != nullptr) {
            arguments.watchedSource = argv[++i];
        } else if (arguments.project.empty() && !arg.starts_with("--")) {
            arguments.project = arg;
        }
    }
    return arguments;
}

int runWindow(int argc, char** argv, const SoundBackendFactory& makeSoundBackend) {
    FontConfigurationWarmUp fontConfiguration;
    QApplication application(argc, argv);
    startupMark("application-made");
    installStartUpStyle();
    fontConfiguration.join();
    QApplication::setApplicationName(QString::fromStdString(sjisToUtf8(messages::kApplicationTitle)));
    const std::filesystem::path programDir = vrk::programDirectory(argc > 0 ? argv[0] : nullptr);
    const std::filesystem::path settingsPath = settingsFilePath(programDir);

    int exitCode = 0;
    {
        MainWindow window(programDir, readSettings(settingsPath));
        startupMark("window-made");
        if (makeSoundBackend) {
            window.host().setSoundBackend(makeSoundBackend());
        }
        // Only the first argument that is not an option names a project; one whose .vrk is
        // missing is ignored.
        const WindowArguments arguments = windowArguments(argc, argv);
        if (!arguments.project.empty() && arguments.watchedSource.empty()) {
            if (const auto project = projectFromArgument(arguments.project)) {
                window.setProject(project->projectDir, project->baseName);
            }
        }
        if (arguments.inspector) {
            window.inspector();
        }
        SourceWatcher* watcher = nullptr;
        if (!arguments.watchedSource.empty()) {
            watcher = new SourceWatcher(window, arguments.watchedSource);
        }
        closeOnTerminationSignals(window);
        if (StartupHook* hook = startupHook()) {
            // The first frame with the page's text counts.
            hook->watchFirstFrame(&window.pageView(),
                                  [&window] { return !window.story().page.pageText.empty(); });
        }
        if (watcher != nullptr) {
            // Shown first: the watched story opens without a question, and a source that does not
            // compile yet is told in the window.
            window.show();
            QTimer::singleShot(0, watcher, [watcher] {
                std::string error;
                if (!watcher->start(&error)) {
                    std::cerr << "vrk3: --watch: " << terminalText(error) << "\n";
                    QCoreApplication::exit(1);
                }
            });
        } else if (window.story().locations.projectKnown()) {
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
