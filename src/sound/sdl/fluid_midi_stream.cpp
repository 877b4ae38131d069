#include "sound/sdl/fluid_midi_stream.h"

#include <fluidsynth.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace vrk::sound {

namespace {

constexpr int kBytesPerFrame = 4;  // two channels of 16 bits
constexpr int kCheckFrames = 1024;

}  // namespace

struct FluidMidiStream::Fluid {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_player_t* player = nullptr;
    bool fontsTried = false;
    bool fontsLoaded = false;
    bool reported = false;
};

FluidMidiStream::FluidMidiStream(int sampleRate) : m_fluid(std::make_unique<Fluid>()) {
    // Warnings about unusual but playable files would fill the reader's terminal.
    for (const int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
        fluid_set_log_function(level, nullptr, nullptr);
    }
    m_fluid->settings = new_fluid_settings();
    if (m_fluid->settings != nullptr) {
        fluid_settings_setnum(m_fluid->settings, "synth.sample-rate", sampleRate);
        m_fluid->synth = new_fluid_synth(m_fluid->settings);
    }
}

FluidMidiStream::~FluidMidiStream() {
    stop();
    if (m_fluid->synth != nullptr) {
        delete_fluid_synth(m_fluid->synth);
    }
    if (m_fluid->settings != nullptr) {
        delete_fluid_settings(m_fluid->settings);
    }
}

bool FluidMidiStream::ensureSoundFonts(const std::string& soundFontPaths) {
    if (m_fluid->fontsTried || m_fluid->synth == nullptr) {
        return m_fluid->fontsLoaded;
    }
    m_fluid->fontsTried = true;
    std::size_t begin = 0;
    while (begin <= soundFontPaths.size()) {
        const std::size_t end = std::min(soundFontPaths.find_first_of(":;", begin), soundFontPaths.size());
        const std::string font = soundFontPaths.substr(begin, end - begin);
        if (!font.empty() && fluid_synth_sfload(m_fluid->synth, font.c_str(), 1) != FLUID_FAILED) {
            m_fluid->fontsLoaded = true;
        }
        begin = end + 1;
    }
    return m_fluid->fontsLoaded;
}

bool FluidMidiStream::start(std::string_view midiFile) {
    stop();
    if (!m_fluid->fontsLoaded) {
        return false;
    }
    m_fluid->player = new_fluid_player(m_fluid->synth);
    if (m_fluid->player == nullptr) {
        return false;
    }
    if (fluid_player_add_mem(m_fluid->player, midiFile.data(), midiFile.size()) != FLUID_OK ||
        fluid_player_play(m_fluid->player) != FLUID_OK) {
        stop();
        return false;
    }
    m_fluid->reported = false;
    return true;
}

bool FluidMidiStream::check(std::string_view midiFile) {
    if (!start(midiFile)) {
        return false;
    }
    // The player reads the file on its first tick, inside the first rendered block.
    std::array<unsigned char, kCheckFrames * kBytesPerFrame> scratch{};
    render(scratch.data(), static_cast<int>(scratch.size()));
    const bool playing = fluid_player_get_status(m_fluid->player) == FLUID_PLAYER_PLAYING;
    stop();
    return playing;
}

void FluidMidiStream::stop() {
    if (m_fluid->player == nullptr) {
        return;
    }
    fluid_player_stop(m_fluid->player);
    delete_fluid_player(m_fluid->player);
    m_fluid->player = nullptr;
    // Notes held when the file was cut off would sound again at the next start.
    fluid_synth_all_sounds_off(m_fluid->synth, -1);
}

bool FluidMidiStream::render(unsigned char* stream, int bytes) {
    fluid_player_t* player = m_fluid->player;
    if (player == nullptr || fluid_player_get_status(player) == FLUID_PLAYER_DONE) {
        std::memset(stream, 0, static_cast<std::size_t>(bytes));
        const bool ended = player != nullptr && !m_fluid->reported;
        m_fluid->reported = m_fluid->reported || ended;
        return ended;
    }
    fluid_synth_write_s16(m_fluid->synth, bytes / kBytesPerFrame, stream, 0, 2, stream, 1, 2);
    return false;
}

}  // namespace vrk::sound
