// The entry of the loadable sound module: the window's LazySoundBackend calls it at the
// first sound.

#include <exception>

#include "sound/lazy_sound_backend.h"
#include "sound/sdl/sdl_mixer_backend.h"

extern "C" __attribute__((visibility("default"))) vrk::sound::SoundBackend* vrk3_make_sound_backend() {
    try {
        return new vrk::sound::SdlMixerBackend();
    } catch (const std::exception&) {
        // Another instance plays already; the caller goes on silently.
        return nullptr;
    }
}
