// vrk3: the window, or with --headless (or without a display) the terminal player.
// The choice is made before any QApplication exists, so the terminal player never
// needs a display.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/terminal_front_end.h"
#include "common/file_names.h"

#ifdef VRK_HAVE_WINDOW
#include "app/qt/run_window.h"
#include "sound/sdl/sdl_mixer_backend.h"
#endif

namespace {

#ifdef VRK_HAVE_WINDOW
// An offscreen platform shows nothing to a reader, so it counts as no display.
bool hasDisplay() {
    const std::string platform =
        std::getenv("QT_QPA_PLATFORM") != nullptr ? std::getenv("QT_QPA_PLATFORM") : "";
    if (platform == "offscreen" || platform == "minimal") {
        return false;
    }
    if (!platform.empty()) {
        return true;
    }
    const char* x11 = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return (x11 != nullptr && *x11 != '\0') || (wayland != nullptr && *wayland != '\0');
}
#endif

int runHeadless(const std::vector<std::string>& args, const std::filesystem::path& programDir) {
    std::string error;
    auto options = vrk::app::parseTerminalArguments(args, &error);
    if (!options) {
        std::cerr << "vrk3: " << error << "\n"
                  << "usage: vrk3 --headless [--slot N] [--seed N] [--allow-exec] PROJECT_FILE\n";
        return 2;
    }
    options->programDir = programDir;
    vrk::app::TerminalFrontEnd frontEnd(std::move(*options), std::cin, std::cout, std::cerr);
    return frontEnd.run();
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    const auto programDir = vrk::programDirectory(argv[0]);
    bool headless = false;
    for (const std::string& arg : args) {
        headless = headless || arg == "--headless";
    }
#ifdef VRK_HAVE_WINDOW
    if (!headless && hasDisplay()) {
        return vrk::app::runWindow(argc, argv,
                                   [] { return std::make_unique<vrk::sound::SdlMixerBackend>(); });
    }
#endif
    if (!headless) {
        std::cerr << "vrk3: no display; playing in the terminal\n";
    }
    return runHeadless(args, programDir);
}
