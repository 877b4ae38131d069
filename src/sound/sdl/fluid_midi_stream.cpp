#include "sound/sdl/fluid_midi_stream.h"

#include <fluidsynth.h>
#include <malloc.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <tuple>

#include "sound/midi_programs.h"

namespace vrk::sound {

namespace {

constexpr int kBytesPerFrame = 4;  // two channels of 16 bits
constexpr int kCheckFrames = 1024;
constexpr int kChannels = 16;
// The end of the file is looked for after each slice: 6 ms at 44.1 kHz. A multiple of
// FluidSynth's block of 64 frames, so that every slice runs the player's clock.
constexpr int kSliceFrames = 256;
// How quickly the limiter gives back the gain it took.
constexpr double kLimiterReleaseSeconds = 0.25;
// A file that selects instruments without end (a bank select on every event) has only so
// many of them loaded ahead; the rest load as they are selected.
constexpr std::size_t kMaxInstrumentsLoadedAhead = 256;

constexpr int kBankSelectMsb = 0;
constexpr int kBankSelectLsb = 32;
constexpr int kResetAllControllers = 121;
// What a channel starts with besides its controllers, which a reset of all controllers
// leaves alone: volume, pan, reverb and chorus.
constexpr std::array<int, 4> kKeptControllers = {7, 10, 91, 93};

}  // namespace

struct FluidMidiStream::Fluid {
    fluid_settings_t* settings = nullptr;
    fluid_synth_t* synth = nullptr;
    fluid_player_t* player = nullptr;
    bool fontsTried = false;
    bool fontsLoaded = false;
    bool reported = false;
    std::uint64_t framesSinceStart = 0;
    float limiterGain = 1.0f;
    float limiterRelease = 0.0f;
    // The instruments whose samples are held, and the one each channel starts with (none for a
    // channel the file does not play).
    std::vector<Instrument> held;
    std::array<std::optional<Instrument>, kChannels> initial{};
    // A fresh synthesizer's controllers and pitch wheel range, given back at each start.
    std::array<std::array<int, kKeptControllers.size()>, kChannels> controllers{};
    std::array<int, kChannels> wheelRange{};

    std::optional<Instrument> select(int channel, int bankMsb, int bankLsb, int program);
    void hold(std::vector<Instrument>& instruments, const Instrument& instrument);
    void resetChannels();
    bool atEnd() const;
    void limit(const float* left, const float* right, int frames, unsigned char* out);
};

FluidMidiStream::FluidMidiStream(int sampleRate) : m_fluid(std::make_unique<Fluid>()) {
    // Warnings about unusual but playable files would fill the reader's terminal.
    for (const int level : {FLUID_WARN, FLUID_INFO, FLUID_DBG}) {
        fluid_set_log_function(level, nullptr, nullptr);
    }
    m_fluid->limiterRelease =
        static_cast<float>(1.0 - std::exp(-1.0 / (kLimiterReleaseSeconds * sampleRate)));
    m_fluid->settings = new_fluid_settings();
    if (m_fluid->settings == nullptr) {
        return;
    }
    fluid_settings_setnum(m_fluid->settings, "synth.sample-rate", sampleRate);
    fluid_settings_setnum(m_fluid->settings, "synth.gain", kGain);
    fluid_settings_setint(m_fluid->settings, "synth.dynamic-sample-loading", 1);
    // The player would reset the synthesizer once the last notes have died away, selecting
    // the default instruments on every channel and so loading their samples on the audio
    // thread; start() sets the channels up instead.
    fluid_settings_setint(m_fluid->settings, "player.reset-synth", 0);
    m_fluid->synth = new_fluid_synth(m_fluid->settings);
    if (m_fluid->synth == nullptr) {
        return;
    }
    for (int channel = 0; channel < kChannels; ++channel) {
        for (std::size_t i = 0; i < kKeptControllers.size(); ++i) {
            fluid_synth_get_cc(m_fluid->synth, channel, kKeptControllers[i],
                               &m_fluid->controllers[channel][i]);
        }
        fluid_synth_get_pitch_wheel_sens(m_fluid->synth, channel, &m_fluid->wheelRange[channel]);
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
        // No instrument is selected yet, so no sample is loaded.
        if (!font.empty() && fluid_synth_sfload(m_fluid->synth, font.c_str(), 0) != FLUID_FAILED) {
            m_fluid->fontsLoaded = true;
        }
        begin = end + 1;
    }
    return m_fluid->fontsLoaded;
}

// Selects an instrument the way the file would, so that FluidSynth's own rules (the drum
// channel, banks a soundfont lacks) decide which it is, and holds its samples.
std::optional<FluidMidiStream::Instrument> FluidMidiStream::Fluid::select(int channel, int bankMsb,
                                                                          int bankLsb, int program) {
    fluid_synth_cc(synth, channel, kBankSelectMsb, bankMsb);
    fluid_synth_cc(synth, channel, kBankSelectLsb, bankLsb);
    fluid_synth_program_change(synth, channel, program);
    fluid_preset_t* preset = fluid_synth_get_channel_preset(synth, channel);
    if (preset == nullptr) {
        return std::nullopt;
    }
    return Instrument{fluid_sfont_get_id(fluid_preset_get_sfont(preset)), fluid_preset_get_banknum(preset),
                      fluid_preset_get_num(preset)};
}

void FluidMidiStream::Fluid::hold(std::vector<Instrument>& instruments, const Instrument& instrument) {
    if (std::find(instruments.begin(), instruments.end(), instrument) == instruments.end() &&
        fluid_synth_pin_preset(synth, instrument.font, instrument.bank, instrument.program) == FLUID_OK) {
        instruments.push_back(instrument);
    }
}

bool FluidMidiStream::check(std::string_view midiFile) {
    stop();
    if (!m_fluid->fontsLoaded) {
        return false;
    }
    // The instruments each channel has when it sounds a note: its first one when a note comes
    // before the first program change, then each that a program change selects while notes
    // are still to come on the channel.
    const MidiProgramUse use = midiProgramUse(midiFile);
    std::vector<Instrument> held;
    std::array<std::optional<Instrument>, kChannels> initial{};
    std::vector<std::tuple<int, int, int, int>> tried;
    const auto sound = [&](int channel, int bankMsb, int bankLsb, int program) {
        const auto key = std::make_tuple(channel, bankMsb, bankLsb, program);
        if (std::find(tried.begin(), tried.end(), key) != tried.end() ||
            tried.size() >= kMaxInstrumentsLoadedAhead) {
            return;
        }
        tried.push_back(key);
        if (const auto instrument = m_fluid->select(channel, bankMsb, bankLsb, program)) {
            m_fluid->hold(held, *instrument);
            if (!initial[channel]) {
                initial[channel] = instrument;
            }
        }
    };
    for (int channel = 0; channel < kChannels; ++channel) {
        const auto& first = use.firstNote[channel];
        const auto change =
            std::find_if(use.events.begin(), use.events.end(), [&](const MidiProgramEvent& event) {
                return event.channel == channel && event.kind == MidiProgramEvent::Kind::Program;
            });
        if (first && (change == use.events.end() || *first < change->tick)) {
            sound(channel, 0, 0, 0);
        }
    }
    struct Bank {
        int msb = 0;
        int lsb = 0;
    };
    std::array<Bank, kChannels> banks{};
    for (const MidiProgramEvent& event : use.events) {
        Bank& bank = banks[event.channel];
        if (event.kind == MidiProgramEvent::Kind::BankMsb) {
            bank.msb = event.value;
        } else if (event.kind == MidiProgramEvent::Kind::BankLsb) {
            bank.lsb = event.value;
        } else if (const auto& last = use.lastNote[event.channel]; last && event.tick <= *last) {
            sound(event.channel, bank.msb, bank.lsb, event.value);
        }
    }
    // Let go of the last file's samples only now, so that the instruments both play stay.
    for (const Instrument& instrument : m_fluid->held) {
        if (std::find(held.begin(), held.end(), instrument) == held.end()) {
            fluid_synth_unpin_preset(m_fluid->synth, instrument.font, instrument.bank, instrument.program);
        }
    }
    m_fluid->held = std::move(held);
    m_fluid->initial = initial;

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

void FluidMidiStream::Fluid::resetChannels() {
    for (int channel = 0; channel < kChannels; ++channel) {
        fluid_synth_cc(synth, channel, kResetAllControllers, 0);
        for (std::size_t i = 0; i < kKeptControllers.size(); ++i) {
            fluid_synth_cc(synth, channel, kKeptControllers[i], controllers[channel][i]);
        }
        fluid_synth_cc(synth, channel, kBankSelectMsb, 0);
        fluid_synth_cc(synth, channel, kBankSelectLsb, 0);
        fluid_synth_pitch_wheel_sens(synth, channel, wheelRange[channel]);
        // A channel the file plays starts with its instrument, whose samples are held; the
        // others have none, so that no default instrument's samples are loaded for nothing.
        if (const auto& instrument = initial[channel]) {
            fluid_synth_program_select(synth, channel, instrument->font, instrument->bank,
                                       instrument->program);
        } else {
            fluid_synth_unset_program(synth, channel);
        }
    }
}

bool FluidMidiStream::start(std::string_view midiFile) {
    stop();
    if (!m_fluid->fontsLoaded) {
        return false;
    }
    m_fluid->resetChannels();
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
    m_fluid->framesSinceStart = 0;
    m_fluid->limiterGain = 1.0f;
    return true;
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

void FluidMidiStream::release() {
    stop();
    if (m_fluid->synth == nullptr) {
        return;
    }
    for (int channel = 0; channel < kChannels; ++channel) {
        fluid_synth_unset_program(m_fluid->synth, channel);
    }
    for (const Instrument& instrument : m_fluid->held) {
        fluid_synth_unpin_preset(m_fluid->synth, instrument.font, instrument.bank, instrument.program);
    }
    m_fluid->held.clear();
    m_fluid->initial = {};
    // The samples come in many allocations of tens to hundreds of kilobytes, which the
    // allocator would otherwise keep.
    malloc_trim(0);
}

// The file has been played to the end of its longest track. Until the player has read the
// file (on the first block rendered after the start) it knows of no track, hence the first
// block.
bool FluidMidiStream::Fluid::atEnd() const {
    return framesSinceStart >= 64 &&
           fluid_player_get_current_tick(player) >= fluid_player_get_total_ticks(player);
}

// A limiter with an instant attack, so that no sample goes beyond the ceiling, and a slow
// release; converts to 16 bits.
void FluidMidiStream::Fluid::limit(const float* left, const float* right, int frames, unsigned char* out) {
    std::array<std::int16_t, 2 * kSliceFrames> samples{};
    float gain = limiterGain;
    for (int i = 0; i < frames; ++i) {
        const float peak = std::max(std::abs(left[i]), std::abs(right[i]));
        if (peak * gain > kCeiling) {
            gain = kCeiling / peak;
        }
        samples[2 * i] =
            static_cast<std::int16_t>(std::lrint(std::clamp(left[i] * gain, -1.0f, 1.0f) * 32767.0f));
        samples[2 * i + 1] =
            static_cast<std::int16_t>(std::lrint(std::clamp(right[i] * gain, -1.0f, 1.0f) * 32767.0f));
        gain += (1.0f - gain) * limiterRelease;
    }
    limiterGain = gain;
    std::memcpy(out, samples.data(), static_cast<std::size_t>(frames) * kBytesPerFrame);
}

bool FluidMidiStream::render(unsigned char* stream, int bytes) {
    fluid_player_t* player = m_fluid->player;
    if (player == nullptr || fluid_player_get_status(player) == FLUID_PLAYER_DONE) {
        // The notes have died away (or the player gave up before the end was seen).
        std::memset(stream, 0, static_cast<std::size_t>(bytes));
        const bool ended = player != nullptr && !m_fluid->reported;
        m_fluid->reported = m_fluid->reported || ended;
        return ended;
    }
    bool ended = false;
    const int frames = bytes / kBytesPerFrame;
    std::array<float, kSliceFrames> left{};
    std::array<float, kSliceFrames> right{};
    for (int done = 0; done < frames; done += kSliceFrames) {
        const int slice = std::min(kSliceFrames, frames - done);
        fluid_synth_write_float(m_fluid->synth, slice, left.data(), 0, 1, right.data(), 0, 1);
        m_fluid->limit(left.data(), right.data(), slice,
                       stream + static_cast<std::ptrdiff_t>(done) * kBytesPerFrame);
        m_fluid->framesSinceStart += static_cast<std::uint64_t>(slice);
        if (!m_fluid->reported && m_fluid->atEnd()) {
            m_fluid->reported = true;
            ended = true;
        }
    }
    return ended;
}

bool FluidMidiStream::loadsSamplesOnDemand() const {
    int dynamic = 0;
    return m_fluid->settings != nullptr &&
           fluid_settings_getint(m_fluid->settings, "synth.dynamic-sample-loading", &dynamic) == FLUID_OK &&
           dynamic != 0;
}

const std::vector<FluidMidiStream::Instrument>& FluidMidiStream::heldInstruments() const {
    return m_fluid->held;
}

}  // namespace vrk::sound
