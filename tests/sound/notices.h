#pragma once
// Collects a sound back end's end-of-playback notices, which arrive on the audio thread.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "sound/sound_backend.h"

namespace vrk::sound {

class Notices {
public:
    SoundBackend::FinishedHandler handler() {
        return [this](bool completed) {
            std::lock_guard lock(m_mutex);
            m_received.push_back(completed);
            m_changed.notify_all();
        };
    }
    bool waitFor(std::size_t count, std::chrono::milliseconds timeout) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_received.size() >= count; });
    }
    std::vector<bool> received() {
        std::lock_guard lock(m_mutex);
        return m_received;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<bool> m_received;
};

}  // namespace vrk::sound
