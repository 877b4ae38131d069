#include "sound/sdl/sdl_mixer_backend.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <array>
#include <atomic>
#include <cctype>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <system_error>

namespace vrk::sound {

namespace {

constexpr int kFrequency = 44100;
constexpr int kChannels = 2;
constexpr int kChunkFrames = 2048;

bool hasMidiExtension(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return extension == ".mid" || extension == ".midi" || extension == ".kar" || extension == ".rmi";
}

// SDL_mixer takes any file named like MIDI as MIDI and only finds out while playing that it
// is none, which would make a broken "BGM=" end and repeat without pause. Such files, and
// empty ones, are refused at the open like any other file no device plays.
bool looksPlayable(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::array<char, 12> head{};
    in.read(head.data(), head.size());
    const auto got = in.gcount();
    if (got <= 0) {
        return false;
    }
    if (!hasMidiExtension(path)) {
        return true;
    }
    const std::string_view bytes(head.data(), static_cast<std::size_t>(got));
    const bool standardMidi = bytes.starts_with("MThd");
    const bool riffMidi =
        bytes.size() == head.size() && bytes.starts_with("RIFF") && bytes.substr(8) == "RMID";
    return standardMidi || riffMidi;
}

}  // namespace

struct SdlMixerBackend::Impl {
    bool sdlStarted = false;
    bool device = false;
    bool open = false;
    Mix_Music* music = nullptr;
    // Set around Mix_HaltMusic: the finished hook it triggers reports a stop, not an end.
    std::atomic<bool> halting{false};
    // Guards only the handler; never held across a mixer call, since the hook runs with the
    // mixer's audio lock taken and then takes this one.
    std::mutex mutex;
    FinishedHandler pending;

    static std::atomic<Impl*> s_active;

    static void onMusicFinished();
    void start();
    void endPlayback(bool completed);
    bool hasPending();
    void halt();
};

std::atomic<SdlMixerBackend::Impl*> SdlMixerBackend::Impl::s_active{nullptr};

void SdlMixerBackend::Impl::onMusicFinished() {
    if (Impl* self = s_active.load()) {
        self->endPlayback(!self->halting.load());
    }
}

void SdlMixerBackend::Impl::start() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return;
    }
    sdlStarted = true;
    const char* fonts = SDL_getenv("SDL_SOUNDFONTS");
    if (fonts == nullptr || *fonts == '\0') {
        Mix_SetSoundFonts(kDefaultSoundFont);
    }
    // A missing MIDI library only means MIDI files fail to open; WAV needs none.
    Mix_Init(MIX_INIT_MID);
    if (Mix_OpenAudio(kFrequency, AUDIO_S16SYS, kChannels, kChunkFrames) != 0) {
        return;
    }
    device = true;
    Mix_HookMusicFinished(&Impl::onMusicFinished);
}

void SdlMixerBackend::Impl::endPlayback(bool completed) {
    FinishedHandler handler;
    {
        std::lock_guard lock(mutex);
        handler = std::move(pending);
        pending = nullptr;
    }
    if (handler) {
        handler(completed);
    }
}

bool SdlMixerBackend::Impl::hasPending() {
    std::lock_guard lock(mutex);
    return static_cast<bool>(pending);
}

void SdlMixerBackend::Impl::halt() {
    if (!hasPending()) {
        return;
    }
    if (device) {
        halting = true;
        Mix_HaltMusic();
        halting = false;
    }
    // When the music had not started or the hook did not run, the notice is still owed.
    endPlayback(false);
}

SdlMixerBackend::SdlMixerBackend() : m_impl(std::make_unique<Impl>()) {
    Impl* expected = nullptr;
    if (!Impl::s_active.compare_exchange_strong(expected, m_impl.get())) {
        throw std::logic_error("only one SdlMixerBackend may exist at a time");
    }
    m_impl->start();
}

SdlMixerBackend::~SdlMixerBackend() {
    close();
    if (m_impl->device) {
        Mix_HookMusicFinished(nullptr);
        Mix_CloseAudio();
    }
    if (m_impl->sdlStarted) {
        Mix_Quit();
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    Impl::s_active = nullptr;
}

bool SdlMixerBackend::open(const std::filesystem::path& path) {
    close();
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || !looksPlayable(path)) {
        return false;
    }
    if (!m_impl->device) {
        m_impl->open = true;
        return true;
    }
    m_impl->music = Mix_LoadMUS(path.c_str());
    m_impl->open = m_impl->music != nullptr;
    return m_impl->open;
}

void SdlMixerBackend::play(FinishedHandler onFinished) {
    m_impl->halt();
    if (!m_impl->open) {
        if (onFinished) {
            onFinished(false);
        }
        return;
    }
    {
        std::lock_guard lock(m_impl->mutex);
        m_impl->pending = std::move(onFinished);
    }
    // Silent, the playback never ends by itself; close() or the next play() ends it.
    if (m_impl->device && Mix_PlayMusic(m_impl->music, 0) != 0) {
        m_impl->endPlayback(false);
    }
}

void SdlMixerBackend::close() {
    m_impl->halt();
    if (m_impl->music != nullptr) {
        Mix_FreeMusic(m_impl->music);
        m_impl->music = nullptr;
    }
    m_impl->open = false;
}

bool SdlMixerBackend::isOpen() const {
    return m_impl->open;
}

bool SdlMixerBackend::hasDevice() const {
    return m_impl->device;
}

}  // namespace vrk::sound
