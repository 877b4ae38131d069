#include "sound/null_sound_backend.h"

#include <system_error>

namespace vrk::sound {

bool NullSoundBackend::open(const std::filesystem::path& path) {
    NullSoundBackend::close();
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return false;
    }
    m_path = path;
    m_open = true;
    return true;
}

void NullSoundBackend::play(FinishedHandler onFinished) {
    endPlayback(false);
    if (!m_open) {
        // Nothing to play: the playback fails at once, which is a notice too.
        if (onFinished) {
            onFinished(false);
        }
        return;
    }
    ++m_playCount;
    m_pending = std::move(onFinished);
}

void NullSoundBackend::close() {
    endPlayback(false);
    m_open = false;
    m_path.clear();
}

bool NullSoundBackend::finishPlayback() {
    if (!m_pending) {
        return false;
    }
    endPlayback(true);
    return true;
}

void NullSoundBackend::endPlayback(bool completed) {
    // Moved out first: the handler may start the next playback on this back end.
    FinishedHandler handler = std::move(m_pending);
    m_pending = nullptr;
    if (handler) {
        handler(completed);
    }
}

}  // namespace vrk::sound
