#include "sound/sdl/fluid_midi_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "midi_file_builder.h"
#include "sound/sdl/sdl_mixer_backend.h"

namespace vrk::sound {
namespace {

namespace fs = std::filesystem;
using test::midiFile;
using test::MidiTrack;
using Instrument = FluidMidiStream::Instrument;

constexpr int kRate = 44100;
constexpr int kChunkFrames = 2048;  // what the mixer asks for at a time
const fs::path kSoundData = fs::path(VRK_TESTDATA) / "sound";
const fs::path kDemo = fs::path(VRK_BINARY_DIR) / "samples" / "demo";

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

struct Rendering {
    std::vector<std::int16_t> samples;  // interleaved stereo
    std::optional<double> endSeconds;   // where render() reported the end: the clock is the frames rendered
    int endsReported = 0;
};

// Plays the file as the mixer does, chunk by chunk, for at most seconds (and not beyond the
// reported end unless after is given).
Rendering render(FluidMidiStream& stream, const std::string& file, double seconds, double after = 0) {
    Rendering out;
    if (!stream.start(file)) {
        return out;
    }
    std::vector<std::int16_t> chunk(2 * kChunkFrames);
    std::size_t frames = 0;
    while (frames < seconds * kRate) {
        const bool ended =
            stream.render(reinterpret_cast<unsigned char*>(chunk.data()), static_cast<int>(chunk.size() * 2));
        frames += kChunkFrames;
        out.samples.insert(out.samples.end(), chunk.begin(), chunk.end());
        if (ended) {
            ++out.endsReported;
            if (!out.endSeconds) {
                out.endSeconds = static_cast<double>(frames) / kRate;
                seconds = std::min(seconds, *out.endSeconds + after);
            }
        }
    }
    stream.stop();
    return out;
}

struct Level {
    double peakDb = -200;
    double rmsDb = -200;
};

Level levelOf(const std::vector<std::int16_t>& samples) {
    double peak = 0;
    double sum = 0;
    for (const std::int16_t s : samples) {
        peak = std::max(peak, std::abs(static_cast<double>(s)));
        sum += static_cast<double>(s) * s;
    }
    if (samples.empty() || peak == 0) {
        return {};
    }
    return {20 * std::log10(peak / 32768),
            10 * std::log10(sum / static_cast<double>(samples.size()) / 32768 / 32768)};
}

// The samples of a 16-bit PCM WAVE file.
std::vector<std::int16_t> waveSamples(const std::string& bytes) {
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        std::uint32_t length = 0;
        std::memcpy(&length, bytes.data() + at + 4, 4);
        if (bytes.compare(at, 4, "data") == 0) {
            std::vector<std::int16_t> samples(std::min<std::size_t>(length, bytes.size() - at - 8) / 2);
            std::memcpy(samples.data(), bytes.data() + at + 8, samples.size() * 2);
            return samples;
        }
        at += 8 + length + (length & 1);
    }
    return {};
}

class FluidMidiStreamTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::is_regular_file(SdlMixerBackend::kDefaultSoundFont)) {
            GTEST_SKIP() << "needs the soundfont " << SdlMixerBackend::kDefaultSoundFont;
        }
        ASSERT_TRUE(m_stream.ensureSoundFonts(SdlMixerBackend::kDefaultSoundFont));
    }
    void needs(const fs::path& path) {
        if (!fs::is_regular_file(path)) {
            GTEST_SKIP() << "test data not found at " << path;
        }
    }

    FluidMidiStream m_stream{kRate};
};

// One piano note of a quarter second; the track ends at one second (a quarter note lasts half
// a second at the default tempo).
std::string noteThenRest() {
    MidiTrack track;
    track.event(0, {0x90, 60, 100}).event(240, {0x80, 60, 0}).endOfTrack(720);
    return midiFile({track});
}

// The soundfont holds 140 MB of samples; a music needs those of its own instruments only.
TEST_F(FluidMidiStreamTest, HoldsTheSamplesOfTheInstrumentsTheFilePlaysOnly) {
    EXPECT_TRUE(m_stream.loadsSamplesOnDemand());
    EXPECT_TRUE(m_stream.heldInstruments().empty()) << "no sample before the first file";

    // Strings on channel 2 after a bank select the soundfont lacks (it falls back to bank 0),
    // drums on channel 10, a piano on channel 1 that plays before its program change, and a
    // channel whose program changes but which plays nothing.
    MidiTrack track;
    track.event(0, {0xB1, 0, 5})
        .event(0, {0xC1, 48})
        .event(0, {0xC3, 19})
        .event(0, {0x90, 60, 90})
        .event(0, {0x91, 60, 90})
        .event(0, {0x99, 36, 90})
        .event(240, {0xC0, 73})  // a flute from here on
        .event(0, {0x90, 62, 90})
        .event(240, {0xC0, 24})  // no note follows on channel 1: the guitar never sounds
        .endOfTrack(240);
    ASSERT_TRUE(m_stream.check(midiFile({track})));
    std::vector<Instrument> held = m_stream.heldInstruments();
    std::sort(held.begin(), held.end(), [](const Instrument& a, const Instrument& b) {
        return a.bank * 128 + a.program < b.bank * 128 + b.program;
    });
    const int font = held.empty() ? 0 : held.front().font;
    EXPECT_EQ(held, (std::vector<Instrument>{{font, 0, 0}, {font, 0, 48}, {font, 0, 73}, {font, 128, 0}}));

    // The next file lets go of what it does not play.
    MidiTrack piano;
    piano.event(0, {0x90, 60, 90}).event(480, {0x80, 60, 0}).endOfTrack(0);
    ASSERT_TRUE(m_stream.check(midiFile({piano})));
    EXPECT_EQ(m_stream.heldInstruments(), (std::vector<Instrument>{{font, 0, 0}}));
    m_stream.release();
    EXPECT_TRUE(m_stream.heldInstruments().empty());

    // The held instruments play: the file sounds though it was started after a release and
    // a check only.
    ASSERT_TRUE(m_stream.check(midiFile({track})));
    EXPECT_GT(levelOf(render(m_stream, midiFile({track}), 0.5).samples).peakDb, -30);
}

TEST_F(FluidMidiStreamTest, TheDemoMusicHoldsItsTwoInstruments) {
    needs(kDemo / "theme.mid");
    ASSERT_TRUE(m_stream.check(readFile(kDemo / "theme.mid")));
    const auto& held = m_stream.heldInstruments();
    ASSERT_EQ(held.size(), 2u);
    EXPECT_EQ(held[0].program, 0) << "piano";
    EXPECT_EQ(held[1].program, 48) << "strings";
}

// The player repeats a music a pause after its end; the end is the end of the file's longest
// track, not the moment FluidSynth has let the last notes and the reverb die away (which was
// two seconds and more later). The clock is the frames rendered.
TEST_F(FluidMidiStreamTest, TheEndIsReportedAtTheEndOfTheLongestTrack) {
    const double chunk = static_cast<double>(kChunkFrames) / kRate;
    const std::string single = noteThenRest();
    ASSERT_TRUE(m_stream.check(single));
    Rendering played = render(m_stream, single, 6, 1);
    ASSERT_TRUE(played.endSeconds) << "no end within 6 s";
    EXPECT_GE(*played.endSeconds, 1.0);
    EXPECT_LE(*played.endSeconds, 1.0 + chunk);
    EXPECT_EQ(played.endsReported, 1);
    // The note is over by then, so nothing is cut: what follows the end is silence.
    const std::size_t endSample = static_cast<std::size_t>(*played.endSeconds * kRate) * 2;
    EXPECT_LT(levelOf({played.samples.begin() + static_cast<std::ptrdiff_t>(endSample), played.samples.end()})
                  .peakDb,
              -60);

    // Two tracks: the longer one decides, and notes still held at the end ring on after it.
    MidiTrack shortTrack;
    shortTrack.event(0, {0x90, 64, 100}).endOfTrack(480);
    MidiTrack longTrack;
    longTrack.event(0, {0x91, 60, 100}).event(1430, {0x81, 60, 0}).endOfTrack(10);
    const std::string two = midiFile({shortTrack, longTrack});
    ASSERT_TRUE(m_stream.check(two));
    played = render(m_stream, two, 6, 0.2);
    ASSERT_TRUE(played.endSeconds);
    EXPECT_GE(*played.endSeconds, 1.5);
    EXPECT_LE(*played.endSeconds, 1.5 + chunk);
    const std::size_t tail = static_cast<std::size_t>(*played.endSeconds * kRate) * 2;
    EXPECT_GT(
        levelOf({played.samples.begin() + static_cast<std::ptrdiff_t>(tail), played.samples.end()}).peakDb,
        -50)
        << "the release of the last notes is not cut at the end";
}

TEST_F(FluidMidiStreamTest, TheDemoMusicEndsAtItsLastBeat) {
    needs(kDemo / "theme.mid");
    const std::string theme = readFile(kDemo / "theme.mid");
    ASSERT_TRUE(m_stream.check(theme));
    const Rendering played = render(m_stream, theme, 30);
    ASSERT_TRUE(played.endSeconds);
    // 32 beats of 0.6 s, and the end of the track half a beat after the last.
    EXPECT_NEAR(*played.endSeconds, 19.5, 0.05);
}

// Music and effects share the reader's volume: a plain General MIDI file comes out within a
// few decibels of a spoken effect recorded near full scale, and the densest piece does not clip.
TEST_F(FluidMidiStreamTest, PlaysAtTheLevelOfTheEffectsWithoutClipping) {
    const fs::path scale = kSoundData / "midi/jazz-soft-test-midi-files/test-c-major-scale.mid";
    const fs::path speech = kSoundData / "wav/generated/espeak_en_44100_stereo_s16.wav";
    const fs::path dense = kSoundData / "midi/dmidiplayer-examples/Schubert_Standchen.mid";
    needs(scale);
    needs(speech);
    needs(dense);
    if (IsSkipped()) {
        return;  // a skip in needs() ends needs() alone
    }
    const Level effect = levelOf(waveSamples(readFile(speech)));
    ASSERT_GT(effect.peakDb, -6) << "the reference effect is recorded near full scale";

    const std::string scaleFile = readFile(scale);
    ASSERT_TRUE(m_stream.check(scaleFile));
    const Rendering played = render(m_stream, scaleFile, 10);
    ASSERT_TRUE(played.endSeconds);
    const Level music = levelOf(played.samples);
    EXPECT_NEAR(music.peakDb, effect.peakDb, 4);
    EXPECT_NEAR(music.rmsDb, effect.rmsDb, 4);

    const std::string denseFile = readFile(dense);
    ASSERT_TRUE(m_stream.check(denseFile));
    const Rendering loud = render(m_stream, denseFile, 40);
    const auto extreme = std::minmax_element(loud.samples.begin(), loud.samples.end());
    const int ceiling = static_cast<int>(FluidMidiStream::kCeiling * 32767) + 1;
    EXPECT_LE(std::abs(static_cast<int>(*extreme.first)), ceiling) << "clipped";
    EXPECT_LE(*extreme.second, ceiling) << "clipped";
    EXPECT_GT(levelOf(loud.samples).peakDb, -3) << "the dense piece reaches the limiter";
}

}  // namespace
}  // namespace vrk::sound
