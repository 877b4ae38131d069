// vrk3: the window, or with --headless (or without a display) the terminal player.
// The choice is made before anything of Qt is loaded: the window lives in the module
// vrk3-window.so, so the terminal player neither needs a display nor loads Qt's libraries.

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/startup_hook.h"
#include "app/terminal_front_end.h"
#include "common/file_names.h"
#include "common/terminal_text.h"

namespace {

constexpr const char* kHelp =
    "usage: vrk3 [--debug] [PROJECT_FILE]\n"
    "       vrk3 [--debug] --watch SOURCE.txt\n"
    "       vrk3 --headless [--slot N] [--seed N] [--allow-exec] PROJECT_FILE\n"
    "       vrk3 --help | --version\n"
    "\n"
    "Plays a story project in a window, or in the terminal with --headless (or when there\n"
    "is no display). PROJECT_FILE is any file of the project: tale, tale.vrk and tale.V02\n"
    "all open tale.vrk and tale.vrj beside it.\n"
    "\n"
    "  --headless      play in the terminal: A-F or 1-6 choose, an empty line goes on,\n"
    "                  :save quick-saves, :load quick-loads, :quit ends\n"
    "  --slot N        the save slot to play (1-4, default 1)\n"
    "  --seed N        seed the random letters\n"
    "  --allow-exec    start the outside programs a story names (else only printed)\n"
    "  --watch SOURCE  compile a story's source (vrkc's format, UTF-8) and play it in the\n"
    "                  window from slot 1; each time the source is saved it is compiled\n"
    "                  again and the same page opens with the same flags, letters and names.\n"
    "                  A fault is shown over the page and the last good story goes on. The\n"
    "                  story is compiled into a private temporary folder, never beside the\n"
    "                  source; its pictures and sounds are those beside the source, and its\n"
    "                  saves go to SOURCE-DIGEST in the saves folder below\n"
    "  --debug         show an inspector beside the page: the label, the flags set, the\n"
    "                  letters, the names, the background and the sound, and every label\n"
    "                  to jump to (type to filter the list)\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Files:\n"
    "  vrk.ini         preferences: $XDG_CONFIG_HOME/vrk3/vrk.ini (~/.config/vrk3/vrk.ini),\n"
    "                  or beside a portable copy of the program whose folder can be written\n"
    "  saves           beside the project when its first slot (BASE.V01) is writable;\n"
    "                  else in a folder of the project's own, BASE-DIGEST, in\n"
    "                  $XDG_DATA_HOME/vrk3 (~/.local/share/vrk3) or beside a portable program.\n"
    "                  Nothing is ever written through a symbolic link.\n"
    "\n"
    "Exit status: 0 done, 1 the project cannot be opened, 2 usage.\n";

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

constexpr const char* kWindowModuleName = "vrk3-window.so";
using RunWindow = int (*)(int argc, char** argv, const char* moduleDir);

// Only from the program's own folder: the build tree, a copied build, or where it is installed
// (lib/vrk3, which the link on the search path leads to). A folder the program cannot tell for
// certain is never searched, nor is any other: a story's folder may hold a module too. A
// module that cannot be loaded leaves the reader the terminal player, with the reason.
RunWindow loadWindow(const std::filesystem::path& programDir) {
    if (programDir.empty()) {
        std::cerr << "vrk3: the window cannot be loaded: the program's own folder is not known; "
                     "playing in the terminal\n";
        return nullptr;
    }
    const std::filesystem::path module = programDir / kWindowModuleName;
    if (void* handle = ::dlopen(module.c_str(), RTLD_LAZY | RTLD_LOCAL)) {
        if (void* entry = ::dlsym(handle, "vrk3_run_window")) {
            return reinterpret_cast<RunWindow>(entry);
        }
        std::cerr << "vrk3: the window cannot be loaded; playing in the terminal\n  "
                  << vrk::terminalText(module.string()) << ": no vrk3_run_window\n";
        ::dlclose(handle);
        return nullptr;
    }
    const char* error = ::dlerror();
    std::cerr << "vrk3: the window cannot be loaded; playing in the terminal\n  "
              << vrk::terminalText(error != nullptr ? error : module.string()) << "\n";
    return nullptr;
}
#endif

int runHeadless(const std::vector<std::string>& args, const std::filesystem::path& programDir) {
    std::string error;
    auto options = vrk::app::parseTerminalArguments(args, &error);
    if (!options) {
        std::cerr << "vrk3: " << vrk::terminalText(error) << "\n"
                  << "usage: vrk3 --headless [--slot N] [--seed N] [--allow-exec] PROJECT_FILE\n";
        return 2;
    }
    options->programDir = programDir;
    vrk::app::TerminalFrontEnd frontEnd(std::move(*options), std::cin, std::cout, std::cerr);
    return frontEnd.run();
}

}  // namespace

int main(int argc, char** argv) {
    vrk::app::startupMark("main");
    std::vector<std::string> args(argv + 1, argv + argc);
    // Answered before anything looks for a display or a project.
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::cout << kHelp;
            return 0;
        }
        if (arg == "--version") {
            std::cout << "vrk3 " VRK_VERSION "\n";
            return 0;
        }
    }
    const auto programDir = vrk::programDirectory(argv[0]);
    bool headless = false;
    bool authorTools = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        headless = headless || args[i] == "--headless";
        if (args[i] == "--watch" && i + 1 == args.size()) {
            std::cerr << "vrk3: --watch needs the story's source\n" << kHelp;
            return 2;
        }
        authorTools = authorTools || args[i] == "--watch" || args[i] == "--debug";
    }
    // An author's tools live in the window; the terminal player has no use for them.
    if (authorTools && headless) {
        std::cerr << "vrk3: --watch and --debug need the window, not --headless\n";
        return 2;
    }
#ifdef VRK_HAVE_WINDOW
    if (!headless && hasDisplay()) {
        if (const RunWindow runWindow = loadWindow(programDir)) {
            vrk::app::startupMark("window-module-loaded");
            return runWindow(argc, argv, programDir.c_str());
        }
        if (authorTools) {
            return 1;
        }
        return runHeadless(args, programDir);
    }
#endif
    if (authorTools) {
        std::cerr << "vrk3: --watch and --debug need the window, and there is no display\n";
        return 2;
    }
    if (!headless) {
        std::cerr << "vrk3: no display; playing in the terminal\n";
    }
    return runHeadless(args, programDir);
}
