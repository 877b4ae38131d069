// vrk3-window.so: the reading window, loaded by vrk3 only when it opens a window, so that the
// terminal player never loads Qt. The one entry point is looked up by name.

#include <filesystem>
#include <memory>
#include <vector>

#include "app/qt/run_window.h"
#include "sound/lazy_sound_backend.h"

extern "C" __attribute__((visibility("default"))) int vrk3_run_window(int argc, char** argv,
                                                                      const char* moduleDir) {
    // The sound module from the folder the program loaded this one from, and from nowhere
    // else; without it the window plays silently.
    std::vector<std::filesystem::path> modules;
    if (moduleDir != nullptr && *moduleDir != '\0') {
        modules.push_back(std::filesystem::path(moduleDir) / vrk::sound::kSdlSoundModuleName);
    }
    return vrk::app::runWindow(argc, argv,
                               [modules] { return std::make_unique<vrk::sound::LazySoundBackend>(modules); });
}
