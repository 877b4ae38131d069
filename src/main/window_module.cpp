// vrk3-window.so: the reading window, loaded by vrk3 only when it opens a window, so that the
// terminal player never loads Qt. The one entry point is looked up by name.

#include <filesystem>
#include <memory>
#include <vector>

#include "app/qt/run_window.h"
#include "common/file_names.h"
#include "sound/lazy_sound_backend.h"

extern "C" __attribute__((visibility("default"))) int vrk3_run_window(int argc, char** argv,
                                                                      const char* installedModuleDir) {
    const auto programDir = vrk::programDirectory(argc > 0 ? argv[0] : nullptr);
    // Beside the program first (the build tree, a copied build), then where it is installed.
    std::vector<std::filesystem::path> modules{
        programDir / vrk::sound::kSdlSoundModuleName,
        std::filesystem::path(installedModuleDir) / vrk::sound::kSdlSoundModuleName};
    return vrk::app::runWindow(argc, argv,
                               [modules] { return std::make_unique<vrk::sound::LazySoundBackend>(modules); });
}
