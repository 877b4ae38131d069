#pragma once
// The window's media player on SDL2_mixer. MIDI is rendered by FluidSynth
// (fluid_midi_stream.h) into the mixer's music stream; other files play as SDL_mixer's
// music, and WAVE files its music decoder refuses (ADPCM) on one mixer channel. When no
// audio device opens (no sound card, no server) the back end goes on silently: files that
// exist open and "play", and never end by themselves.
//
// SDL_mixer reports the end of a playback on its audio thread and also when it is halted;
// the back end tells the two apart and hands the notice on from that thread, so the
// channel using it must have a poster. One instance at a time (SDL_mixer's music is
// global).

#include <filesystem>
#include <memory>

#include "sound/sound_backend.h"

namespace vrk::sound {

class SdlMixerBackend : public SoundBackend {
public:
    /// The soundfont used unless SDL_SOUNDFONTS names others.
    static constexpr const char* kDefaultSoundFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";

    /// Opens nothing yet: SDL audio (SDL_AUDIODRIVER picks the driver) and the mixer start at
    /// the first open() of an existing file, the synthesizer and its soundfonts (SDL_SOUNDFONTS,
    /// separated by ':' or ';', else kDefaultSoundFont) at the first MIDI file. Throws
    /// std::logic_error when another instance exists.
    SdlMixerBackend();
    /// Stops the music and shuts the mixer and SDL audio down.
    ~SdlMixerBackend() override;
    SdlMixerBackend(const SdlMixerBackend&) = delete;
    SdlMixerBackend& operator=(const SdlMixerBackend&) = delete;

    /// Loads the file; false when no decoder reads it, when it is empty, or when it is named
    /// or made as MIDI and is no intact MIDI file. Silent: existence and the MIDI checks only.
    bool open(const std::filesystem::path& path) override;
    /// Starts the open file from its beginning; silent, it then plays until stopped.
    void play(FinishedHandler onFinished) override;
    /// Halts and frees the open file; the running playback ends as stopped.
    void close() override;
    /// True between a successful open() and close().
    bool isOpen() const override;
    /// Sets the mixer's music and wave channel volumes and scales the synthesizer's output;
    /// kept for the device when it has not opened yet.
    void setVolume(int percent) override;

    /// False when no audio device could be opened and the back end plays silently; starts the
    /// audio when it has not started yet.
    bool hasDevice() const;
    /// True once the audio has been started (by an open() or hasDevice()).
    bool audioStarted() const;
    /// True once a MIDI file has made the synthesizer, which loads the soundfonts.
    bool synthesizerMade() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

}  // namespace vrk::sound
