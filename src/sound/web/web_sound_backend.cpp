#include "sound/web/web_sound_backend.h"

#include <utility>

#include "common/file_names.h"
#include "sound/media_checks.h"

namespace vrk::web {

namespace {

// Numbers every playback of the page, across back ends: a word about a playback of a story
// opened before must never be taken for one of the next story's.
std::uint32_t g_lastPlayback = 0;

}  // namespace

WebSoundBackend::WebSoundBackend(PageAudio& audio) : m_audio(audio) {}

WebSoundBackend::~WebSoundBackend() {
    WebSoundBackend::close();
}

PageAudio::Kind WebSoundBackend::kindOf(std::string_view bytes, const std::filesystem::path& path) {
    if (sound::hasMidiHeader(bytes)) {
        return PageAudio::Kind::Midi;
    }
    return foldCaseAscii(path.extension().string()) == ".WAV" ? PageAudio::Kind::Wave
                                                              : PageAudio::Kind::Other;
}

bool WebSoundBackend::open(const std::filesystem::path& path) {
    close();
    // Read once, within the window's limit (larger files, and files that do not fit in memory,
    // are refused like ones that cannot be read), so the checks and the browser see one file.
    const auto bytes = sound::readSoundFile(path);
    if (!bytes) {
        return false;
    }
    const std::string_view view(bytes->data(), bytes->size());
    // The checks the window's player makes itself; what its decoders would refuse, the browser's
    // refuse later, and the playback then ends at once as not completed.
    if (!sound::opensWithoutDevice(view, path)) {
        return false;
    }
    m_open = m_audio.open(path.string(), *bytes, kindOf(view, path));
    return m_open;
}

void WebSoundBackend::play(FinishedHandler onFinished) {
    endPlayback(false);
    if (!m_open) {
        if (onFinished) {
            onFinished(false);
        }
        return;
    }
    m_playback = ++g_lastPlayback;
    m_pending = std::move(onFinished);
    m_audio.play(m_playback);
}

void WebSoundBackend::close() {
    if (m_open) {
        m_audio.close();
        m_open = false;
    }
    endPlayback(false);
}

bool WebSoundBackend::onEnded(std::uint32_t playback, bool completed) {
    if (playback == 0 || playback != m_playback || !m_pending) {
        return false;
    }
    endPlayback(completed);
    return true;
}

void WebSoundBackend::endPlayback(bool completed) {
    // Moved out first: the handler may start the next playback on this back end.
    FinishedHandler handler = std::move(m_pending);
    m_pending = nullptr;
    m_playback = 0;
    if (handler) {
        handler(completed);
    }
}

}  // namespace vrk::web
