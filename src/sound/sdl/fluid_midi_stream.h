#pragma once
// MIDI for the SDL back end: FluidSynth renders a Standard MIDI File into the mixer's
// music stream. The synthesizer and its soundfont (150 MB, a third of a second to load)
// are made once, at the first MIDI file, and kept; each playback only parses its file.
// SDL_mixer's own MIDI support loads the soundfont for every file, which froze the window
// for half a second at each change of music.
//
// start() and stop() belong to the UI thread and are called only while the mixer does not
// call render() (the back end unhooks it first); render() runs on the audio thread.

#include <memory>
#include <string>
#include <string_view>

namespace vrk::sound {

class FluidMidiStream {
public:
    /// A stream for interleaved signed 16-bit stereo at sampleRate.
    explicit FluidMidiStream(int sampleRate);
    ~FluidMidiStream();
    FluidMidiStream(const FluidMidiStream&) = delete;
    FluidMidiStream& operator=(const FluidMidiStream&) = delete;

    /// Loads the soundfonts named by soundFontPaths (separated by ':' or ';') the first time;
    /// true when at least one is loaded, now or before.
    bool ensureSoundFonts(const std::string& soundFontPaths);
    /// Plays the first moments of the file (its bytes) into nothing; false when the player
    /// gives up at once, as it does on a file it cannot parse. Leaves the stream stopped.
    bool check(std::string_view midiFile);
    /// Starts the file (its bytes, copied by the player) from its beginning; false when it
    /// cannot be handed to the player.
    bool start(std::string_view midiFile);
    /// Ends the playback and silences the synthesizer.
    void stop();
    /// Fills bytes of stream with the next samples; true once, on the call where the file
    /// has been played to its end (silence follows).
    bool render(unsigned char* stream, int bytes);

private:
    struct Fluid;
    std::unique_ptr<Fluid> m_fluid;
};

}  // namespace vrk::sound
