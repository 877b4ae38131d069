#pragma once
// The window front end's entry point. main() calls it when the program is not run
// headless; nothing Qt exists before it.

#include <functional>
#include <memory>

#include "sound/sound_backend.h"

namespace vrk::app {

/// Makes the media player the window plays through (main passes the SDL mixer).
using SoundBackendFactory = std::function<std::unique_ptr<sound::SoundBackend>()>;

/// Runs the reading window until it is closed: the application titled "VRKブラウザ v3",
/// the settings read from vrk.ini, the project named by argv[1] (any file of it) opened
/// as the window is first shown, the event loop; then the sound stopped, the story
/// written back to its slot and the settings written. Returns the event loop's exit code.
/// Without a factory the window plays nothing.
int runWindow(int argc, char** argv, const SoundBackendFactory& makeSoundBackend = {});

}  // namespace vrk::app
