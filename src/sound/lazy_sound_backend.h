#pragma once
// The window's back end as the program sees it: the real player (SDL2_mixer and FluidSynth)
// is a module loaded with dlopen at the first sound, so that starting the program does not
// load the audio libraries and a story without sound never does. Until then, and for good
// when no module loads, the back end plays silently exactly as the real one does without an
// audio device: files that would open there open here, and a playback ends only when it is
// stopped, replaced or closed.
//
// A module exports kSoundModuleEntry, an extern "C" SoundModuleEntry that makes its back end
// with new (nullptr when it cannot). The module stays loaded until the program ends.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "sound/sound_backend.h"

namespace vrk::sound {

/// The file name of the SDL module, built and installed beside the program.
inline constexpr const char* kSdlSoundModuleName = "vrk3-sound-sdl.so";
/// The symbol a sound module exports.
inline constexpr const char* kSoundModuleEntry = "vrk3_make_sound_backend";
extern "C" {
using SoundModuleEntry = SoundBackend*();
}

class LazySoundBackend : public SoundBackend {
public:
    /// Loads nothing yet; the first module of candidates that loads is used at the first sound.
    explicit LazySoundBackend(std::vector<std::filesystem::path> candidates);
    ~LazySoundBackend() override;
    LazySoundBackend(const LazySoundBackend&) = delete;
    LazySoundBackend& operator=(const LazySoundBackend&) = delete;

    /// Loads the module at the first file that exists and is not empty, then opens it there.
    bool open(const std::filesystem::path& path) override;
    void play(FinishedHandler onFinished) override;
    void close() override;
    bool isOpen() const override;
    /// Kept for the module's back end, which gets it as it loads.
    void setVolume(int percent) override;

    /// True once loading a module has been tried, whether or not one loaded.
    bool moduleTried() const { return m_tried; }
    /// True when a module's back end plays the sounds.
    bool moduleLoaded() const { return m_loaded != nullptr; }
    /// Why no module loaded (empty when one did or none was tried).
    const std::string& loadError() const { return m_loadError; }

private:
    void ensureLoaded();
    void endSilentPlayback();

    std::vector<std::filesystem::path> m_candidates;
    std::unique_ptr<SoundBackend> m_loaded;
    std::string m_loadError;
    bool m_tried = false;
    // The silent player's state while no module plays.
    FinishedHandler m_pending;
    bool m_open = false;
    int m_volume = kFullVolume;
};

}  // namespace vrk::sound
