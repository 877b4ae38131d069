#pragma once
// MIDI for the SDL back end: FluidSynth renders a Standard MIDI File into the mixer's
// music stream. The synthesizer and its soundfont are made once, at the first MIDI file, and
// kept; each playback only parses its file.
// SDL_mixer's own MIDI support loads the soundfont for every file, which froze the window
// for half a second at each change of music.
//
// The soundfont's samples (140 MB for the General MIDI one) are not loaded with it: check()
// loads those of the instruments the file plays, on the calling thread, and holds them until
// the next check() or release(). A playback ends at the end of the file's longest track,
// not when FluidSynth has let the last notes and the reverb die away, so a music repeats
// after the player's own pause; the notes still ring on meanwhile. The synthesizer plays at
// about the level of the WAVE effects (kGain), with a limiter that keeps dense music from
// clipping.
//
// check(), start(), stop() and release() belong to the UI thread and are called only while the
// mixer does not call render() (the back end unhooks it first); render() runs on the audio
// thread.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace vrk::sound {

class FluidMidiStream {
public:
    /// FluidSynth's master gain. Its default (0.2) leaves General MIDI music some 20 dB below
    /// effects recorded near full scale.
    static constexpr double kGain = 1.4;
    /// The limiter's ceiling, as a fraction of full scale (-1 dBFS).
    static constexpr float kCeiling = 0.89f;

    /// An instrument: its soundfont's id, bank and program.
    struct Instrument {
        int font = 0;
        int bank = 0;
        int program = 0;
        bool operator==(const Instrument&) const = default;
    };

    /// A stream for interleaved signed 16-bit stereo at sampleRate.
    explicit FluidMidiStream(int sampleRate);
    ~FluidMidiStream();
    FluidMidiStream(const FluidMidiStream&) = delete;
    FluidMidiStream& operator=(const FluidMidiStream&) = delete;

    /// Loads the soundfonts named by soundFontPaths (separated by ':' or ';') the first time,
    /// without their samples; true when at least one is loaded, now or before.
    bool ensureSoundFonts(const std::string& soundFontPaths);
    /// Loads the samples of the instruments the file (its bytes) plays, letting go of the
    /// previous file's, then plays its first moments into nothing; false when the player gives
    /// up at once, as it does on a file it cannot parse. Leaves the stream stopped.
    bool check(std::string_view midiFile);
    /// Starts the file (its bytes, copied by the player) from its beginning, its channels as a
    /// fresh synthesizer's but with the instruments found by the last check(); false when it
    /// cannot be handed to the player.
    bool start(std::string_view midiFile);
    /// Ends the playback and silences the synthesizer.
    void stop();
    /// Stops, and lets go of the samples held for the last file checked.
    void release();
    /// Fills bytes of stream with the next samples; true once, on the call where the file
    /// has been played to the end of its longest track (the notes ring on after it).
    bool render(unsigned char* stream, int bytes);

    /// True when the soundfonts' samples are loaded only for the instruments that play.
    bool loadsSamplesOnDemand() const;
    /// The instruments whose samples are held for the last file checked.
    const std::vector<Instrument>& heldInstruments() const;

private:
    struct Fluid;
    std::unique_ptr<Fluid> m_fluid;
};

}  // namespace vrk::sound
