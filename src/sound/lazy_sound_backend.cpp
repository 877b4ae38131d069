#include "sound/lazy_sound_backend.h"

#include <dlfcn.h>

#include <iostream>
#include <system_error>
#include <utility>

#include "sound/media_checks.h"

namespace vrk::sound {

LazySoundBackend::LazySoundBackend(std::vector<std::filesystem::path> candidates)
    : m_candidates(std::move(candidates)) {}

// The module is not unloaded: its audio thread and the atexit handlers of its libraries may
// outlive the back end.
LazySoundBackend::~LazySoundBackend() {
    LazySoundBackend::close();
}

void LazySoundBackend::ensureLoaded() {
    if (m_tried) {
        return;
    }
    m_tried = true;
    std::string errors;
    for (const auto& candidate : m_candidates) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(candidate, error)) {
            continue;
        }
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* why = dlerror();
            errors += why != nullptr ? why : candidate.string();
            errors += '\n';
            continue;
        }
        auto* entry = reinterpret_cast<SoundModuleEntry*>(dlsym(handle, kSoundModuleEntry));
        SoundBackend* backend = entry != nullptr ? entry() : nullptr;
        if (backend == nullptr) {
            errors += candidate.string() + ": no sound back end\n";
            dlclose(handle);
            continue;
        }
        m_loaded.reset(backend);
        m_loaded->setVolume(m_volume);
        return;
    }
    m_loadError = errors;
    // A module that is there but does not load is worth a line; a build without one is silent.
    if (!errors.empty()) {
        std::cerr << "vrk3: playing without sound: " << errors;
    }
}

bool LazySoundBackend::open(const std::filesystem::path& path) {
    close();
    std::error_code error;
    // A file that cannot be played by any back end does not load the module.
    if (!std::filesystem::is_regular_file(path, error) || isEmptyFile(path)) {
        return false;
    }
    ensureLoaded();
    if (m_loaded) {
        return m_loaded->open(path);
    }
    m_open = opensWithoutDevice(path);
    return m_open;
}

void LazySoundBackend::play(FinishedHandler onFinished) {
    if (m_loaded) {
        m_loaded->play(std::move(onFinished));
        return;
    }
    endSilentPlayback();
    if (!m_open) {
        if (onFinished) {
            onFinished(false);
        }
        return;
    }
    // Silent, the playback never ends by itself; close() or the next play() ends it.
    m_pending = std::move(onFinished);
}

void LazySoundBackend::close() {
    if (m_loaded) {
        m_loaded->close();
        return;
    }
    endSilentPlayback();
    m_open = false;
}

void LazySoundBackend::setVolume(int percent) {
    m_volume = heldVolume(percent);
    if (m_loaded) {
        m_loaded->setVolume(m_volume);
    }
}

bool LazySoundBackend::isOpen() const {
    return m_loaded ? m_loaded->isOpen() : m_open;
}

void LazySoundBackend::endSilentPlayback() {
    // Moved out first: the handler may start the next playback on this back end.
    FinishedHandler handler = std::move(m_pending);
    m_pending = nullptr;
    if (handler) {
        handler(false);
    }
}

}  // namespace vrk::sound
