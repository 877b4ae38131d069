#include "sound/sdl/sdl_mixer_backend.h"

#include <SDL.h>
#include <SDL_mixer.h>

#include <atomic>
#include <cctype>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "sound/media_checks.h"
#include "sound/sdl/fluid_midi_stream.h"

namespace vrk::sound {

namespace {

constexpr int kFrequency = 44100;
constexpr int kChannels = 2;
constexpr int kChunkFrames = 2048;
// The mixer channel that plays the WAVE files its music stream has no decoder for.
constexpr int kWaveChannel = 0;

// The music decoder SDL_mixer would take by the file's name, as its Mix_LoadMUS does; MP3
// above all has no signature it could always be told by.
Mix_MusicType musicTypeByName(const std::filesystem::path& path) {
    std::string extension = path.extension().string();
    for (char& c : extension) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    if (extension == ".wav") {
        return MUS_WAV;
    }
    if (extension == ".ogg") {
        return MUS_OGG;
    }
    if (extension == ".opus") {
        return MUS_OPUS;
    }
    if (extension == ".flac") {
        return MUS_FLAC;
    }
    if (extension == ".mp3" || extension == ".mpg" || extension == ".mpeg" || extension == ".mad") {
        return MUS_MP3;
    }
    return MUS_NONE;
}

std::string soundFontPaths() {
    const char* fonts = SDL_getenv("SDL_SOUNDFONTS");
    return fonts != nullptr && *fonts != '\0' ? fonts : SdlMixerBackend::kDefaultSoundFont;
}

}  // namespace

struct SdlMixerBackend::Impl {
    enum class Source { None, Mixer, Wave, Midi };

    bool started = false;
    bool sdlStarted = false;
    bool device = false;
    bool open = false;
    Source source = Source::None;
    Mix_Music* music = nullptr;
    Mix_Chunk* wave = nullptr;
    // The file as it was read and checked: the music stream reads from it while it plays, and
    // a MIDI file is handed to the synthesizer from it at each start. Never read by name again.
    std::vector<char> bytes;
    std::unique_ptr<FluidMidiStream> midi;
    bool midiHooked = false;
    // Set around Mix_HaltMusic and Mix_HaltChannel: the finished hook they trigger reports a
    // stop, not an end.
    std::atomic<bool> halting{false};
    // Guards only the handler; never held across a mixer call, since the hooks run with the
    // mixer's audio lock taken and then take this one.
    std::mutex mutex;
    FinishedHandler pending;
    // Read by the audio thread as it renders MIDI.
    std::atomic<int> volume{kFullVolume};

    static std::atomic<Impl*> s_active;

    static void onMusicFinished();
    static void onChannelFinished(int channel);
    static void mixMidi(void* self, Uint8* stream, int bytes);
    void start();
    void ensureStarted();
    std::string_view file() const { return {bytes.data(), bytes.size()}; }
    Mix_Music* loadMusic(Mix_MusicType type) const;
    bool openForDevice(const std::filesystem::path& path);
    void endPlayback(bool completed);
    void halt();
    void applyVolume() const;
};

std::atomic<SdlMixerBackend::Impl*> SdlMixerBackend::Impl::s_active{nullptr};

void SdlMixerBackend::Impl::onMusicFinished() {
    if (Impl* self = s_active.load()) {
        self->endPlayback(!self->halting.load());
    }
}

void SdlMixerBackend::Impl::onChannelFinished(int channel) {
    if (channel == kWaveChannel) {
        onMusicFinished();
    }
}

void SdlMixerBackend::Impl::mixMidi(void* self, Uint8* stream, int bytes) {
    auto* impl = static_cast<Impl*>(self);
    const bool ended = impl->midi->render(stream, bytes);
    // The mixer's music volume does not reach a hooked stream: the synthesizer's output is
    // scaled here.
    if (const int volume = impl->volume.load(); volume < kFullVolume) {
        auto* samples = reinterpret_cast<Sint16*>(stream);
        for (int i = 0; i < bytes / static_cast<int>(sizeof(Sint16)); ++i) {
            samples[i] = static_cast<Sint16>(samples[i] * volume / kFullVolume);
        }
    }
    if (ended) {
        impl->endPlayback(true);
    }
}

void SdlMixerBackend::Impl::applyVolume() const {
    if (!device) {
        return;
    }
    const int mixerVolume = volume.load() * MIX_MAX_VOLUME / kFullVolume;
    Mix_VolumeMusic(mixerVolume);
    Mix_Volume(kWaveChannel, mixerVolume);
}

void SdlMixerBackend::Impl::start() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return;
    }
    sdlStarted = true;
    // No format changes allowed: SDL converts, and the MIDI stream can assume its format.
    if (Mix_OpenAudioDevice(kFrequency, AUDIO_S16SYS, kChannels, kChunkFrames, nullptr, 0) != 0) {
        return;
    }
    device = true;
    // Decoders that are missing only make their files fail to open.
    Mix_Init(MIX_INIT_OGG | MIX_INIT_MP3 | MIX_INIT_FLAC | MIX_INIT_OPUS);
    Mix_HookMusicFinished(&Impl::onMusicFinished);
    Mix_ChannelFinished(&Impl::onChannelFinished);
    applyVolume();
}

// The device opens at the first sound of a story, not with the window: opening it waits on the
// sound server, and a story may have no sound at all.
void SdlMixerBackend::Impl::ensureStarted() {
    if (!started) {
        started = true;
        start();
    }
}

Mix_Music* SdlMixerBackend::Impl::loadMusic(Mix_MusicType type) const {
    SDL_RWops* memory = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    return memory != nullptr ? Mix_LoadMUSType_RW(memory, type, SDL_TRUE) : nullptr;
}

bool SdlMixerBackend::Impl::openForDevice(const std::filesystem::path& path) {
    if (hasMidiHeader(file())) {
        // The synthesizer and its soundfont only for a story that plays MIDI.
        if (!midi) {
            midi = std::make_unique<FluidMidiStream>(kFrequency);
        }
        if (!midiChunksIntact(file()) || !midi->ensureSoundFonts(soundFontPaths()) || !midi->check(file())) {
            return false;
        }
        source = Source::Midi;
        return true;
    }
    // SDL_mixer would take a file named like MIDI for MIDI whatever it holds, and only find
    // out while playing; such a "BGM=" would end and repeat without pause.
    if (hasMidiExtension(path)) {
        return false;
    }
    const Mix_MusicType byName = musicTypeByName(path);
    music = loadMusic(byName);
    if (music == nullptr && byName != MUS_NONE) {
        music = loadMusic(MUS_NONE);
    }
    if (music != nullptr) {
        source = Source::Mixer;
        return true;
    }
    // SDL's own WAVE reader knows ADPCM, which the music stream's does not; it decodes the
    // whole file at once, so it is only the second choice, and only for a WAVE file that does
    // not decode to more than the limit (SDL_mixer would decode other kinds whole too).
    if (!waveDecodesWithinLimit(file(), kFrequency)) {
        return false;
    }
    SDL_RWops* waveSource = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    wave = waveSource != nullptr ? Mix_LoadWAV_RW(waveSource, SDL_TRUE) : nullptr;
    source = wave != nullptr ? Source::Wave : Source::None;
    return wave != nullptr;
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

void SdlMixerBackend::Impl::halt() {
    if (midiHooked) {
        // Once unhooked the audio thread no longer renders, so the stream may be stopped.
        Mix_HookMusic(nullptr, nullptr);
        midiHooked = false;
        midi->stop();
    } else if (device) {
        halting = true;
        if (source == Source::Wave) {
            Mix_HaltChannel(kWaveChannel);
        } else {
            Mix_HaltMusic();
        }
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
}

SdlMixerBackend::~SdlMixerBackend() {
    close();
    if (m_impl->device) {
        Mix_HookMusicFinished(nullptr);
        Mix_ChannelFinished(nullptr);
        Mix_CloseAudio();
        Mix_Quit();
    }
    if (m_impl->sdlStarted) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    Impl::s_active = nullptr;
}

bool SdlMixerBackend::open(const std::filesystem::path& path) {
    close();
    auto bytes = readSoundFile(path);
    if (!bytes) {
        return false;
    }
    m_impl->bytes = std::move(*bytes);
    m_impl->ensureStarted();
    if (m_impl->device) {
        m_impl->open = m_impl->openForDevice(path);
    } else {
        m_impl->open = opensWithoutDevice(m_impl->file(), path);
    }
    if (!m_impl->open) {
        m_impl->bytes = {};
    }
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
    if (!m_impl->device) {
        return;
    }
    if (m_impl->source == Impl::Source::Midi) {
        if (!m_impl->midi->start(m_impl->file())) {
            m_impl->endPlayback(false);
            return;
        }
        Mix_HookMusic(&Impl::mixMidi, m_impl.get());
        m_impl->midiHooked = true;
    } else if (m_impl->source == Impl::Source::Wave) {
        if (Mix_PlayChannel(kWaveChannel, m_impl->wave, 0) < 0) {
            m_impl->endPlayback(false);
        }
    } else if (Mix_PlayMusic(m_impl->music, 0) != 0) {
        m_impl->endPlayback(false);
    }
}

void SdlMixerBackend::close() {
    m_impl->halt();
    if (m_impl->source == Impl::Source::Midi) {
        // The soundfont stays loaded; the samples of the music's instruments do not.
        m_impl->midi->release();
    }
    if (m_impl->music != nullptr) {
        Mix_FreeMusic(m_impl->music);
        m_impl->music = nullptr;
    }
    if (m_impl->wave != nullptr) {
        Mix_FreeChunk(m_impl->wave);
        m_impl->wave = nullptr;
    }
    // Freed only after the music that streams from it.
    m_impl->bytes = {};
    m_impl->source = Impl::Source::None;
    m_impl->open = false;
}

void SdlMixerBackend::setVolume(int percent) {
    m_impl->volume = heldVolume(percent);
    m_impl->applyVolume();
}

bool SdlMixerBackend::isOpen() const {
    return m_impl->open;
}

bool SdlMixerBackend::hasDevice() const {
    m_impl->ensureStarted();
    return m_impl->device;
}

bool SdlMixerBackend::audioStarted() const {
    return m_impl->started;
}

bool SdlMixerBackend::synthesizerMade() const {
    return m_impl->midi != nullptr;
}

}  // namespace vrk::sound
