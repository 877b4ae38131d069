#pragma once
// The window front end's entry point. main() calls it when the program is not run
// headless; nothing Qt exists before it.

#include <functional>
#include <memory>
#include <string>

#include "sound/sound_backend.h"

namespace vrk::app {

/// Makes the media player the window plays through (main passes the SDL mixer).
using SoundBackendFactory = std::function<std::unique_ptr<sound::SoundBackend>()>;

/// What the window's command line asks for (vrk3 checks the options before it loads the window).
struct WindowArguments {
    std::string project;        ///< the first argument that is not an option: any file of a project
    std::string watchedSource;  ///< --watch SOURCE: the source played as it is written
    bool inspector = false;     ///< --debug: the inspector beside the page
};
WindowArguments windowArguments(int argc, char** argv);

/// Runs the reading window until it is closed: the application titled "VRKブラウザ v3",
/// the settings read from vrk.ini, the project the arguments name (any file of it) opened
/// as the window is first shown, the event loop; then the sound stopped, the story
/// written back to its slot and the settings written. Returns the event loop's exit code.
/// Without a factory the window plays nothing.
int runWindow(int argc, char** argv, const SoundBackendFactory& makeSoundBackend = {});

}  // namespace vrk::app
