#pragma once
// The page's audio seen from the engine: PageAudio on the functions of sound.mjs that the page
// hands to the module as Module.vrkSound, and the tick timer of the page's event loop.

#include <memory>

#include "sound/sound_channel.h"
#include "sound/web/web_sound_backend.h"

namespace vrk::web {

/// Calls sound.mjs; without it (a page that gave none) files open and play silently, never
/// ending by themselves, as the window's player does without a device.
class ScriptPageAudio : public PageAudio {
public:
    bool open(const std::string& path, const std::vector<char>& bytes, Kind kind) override;
    void play(std::uint32_t playback) override;
    void close() override;
    void setVolume(int percent) override;
};

/// Runs a task once ticks of 55 ms have passed, from the page's event loop.
void runAfterTicks(int ticks, std::function<void()> task);

/// The back end whose playbacks the exported vrkSoundEnded reports to; null for none.
void setReportedBackend(WebSoundBackend* backend);

}  // namespace vrk::web
