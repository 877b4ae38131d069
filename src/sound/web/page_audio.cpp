#include "sound/web/page_audio.h"

#include <emscripten.h>

#include <map>
#include <utility>

namespace vrk::web {

namespace {

constexpr int kTickMs = 55;

WebSoundBackend* g_reported = nullptr;
// Tasks waiting for their ticks, by the number the page's timer calls back with.
std::map<int, std::function<void()>> g_timers;
int g_lastTimer = 0;

// Each call hands the page a copy of the bytes: the player's memory may move as it grows.
// clang-format off
EM_JS(int, callOpenSound, (const char* path, const std::uint8_t* bytes, int size, int kind), {
    const sound = Module['vrkSound'];
    if (!sound) {
        return 1;
    }
    const kinds = ['midi', 'wav', 'other'];
    return sound.openSound(UTF8ToString(path), HEAPU8.slice(bytes, bytes + size), kinds[kind]) ? 1 : 0;
});

EM_JS(void, callPlaySound, (std::uint32_t playback), {
    const sound = Module['vrkSound'];
    if (sound) {
        // Called without an answer, the end is a completed one; the engine answers whether the
        // end was still news to it.
        sound.playSound((completed) => Module['_vrkSoundEnded'](playback, completed === false ? 0 : 1) !== 0);
    }
});

EM_JS(void, startTimer, (int milliseconds, int timer), {
    setTimeout(() => Module['_vrkTimerFired'](timer), milliseconds);
});

EM_JS(void, callSetVolume, (int percent), {
    const sound = Module['vrkSound'];
    if (sound && sound.setVolume) {
        sound.setVolume(percent / 100);
    }
});

EM_JS(void, callCloseSound, (), {
    const sound = Module['vrkSound'];
    if (sound) {
        sound.closeSound();
    }
});
// clang-format on

}  // namespace

bool ScriptPageAudio::open(const std::string& path, const std::vector<char>& bytes, Kind kind) {
    return callOpenSound(path.c_str(), reinterpret_cast<const std::uint8_t*>(bytes.data()),
                         static_cast<int>(bytes.size()), static_cast<int>(kind)) != 0;
}

void ScriptPageAudio::play(std::uint32_t playback) {
    callPlaySound(playback);
}

void ScriptPageAudio::close() {
    callCloseSound();
}

void ScriptPageAudio::setVolume(int percent) {
    callSetVolume(percent);
}

void runAfterTicks(int ticks, std::function<void()> task) {
    g_timers.emplace(++g_lastTimer, std::move(task));
    startTimer(ticks * kTickMs, g_lastTimer);
}

void setReportedBackend(WebSoundBackend* backend) {
    g_reported = backend;
}

}  // namespace vrk::web

extern "C" {

/// sound.mjs reports the end of a playback: 1 when it ran to its end, 0 when it could not start.
/// Returns 1 when the engine took it, 0 when it belonged to a playback since stopped or replaced.
EMSCRIPTEN_KEEPALIVE int vrkSoundEnded(std::uint32_t playback, int completed) {
    return vrk::web::g_reported != nullptr && vrk::web::g_reported->onEnded(playback, completed != 0) ? 1 : 0;
}

/// The page's timer for a task of runAfterTicks.
EMSCRIPTEN_KEEPALIVE void vrkTimerFired(int timer) {
    const auto found = vrk::web::g_timers.find(timer);
    if (found != vrk::web::g_timers.end()) {
        // Taken out first: the task may start the next timer.
        std::function<void()> task = std::move(found->second);
        vrk::web::g_timers.erase(found);
        task();
    }
}

}  // extern "C"
