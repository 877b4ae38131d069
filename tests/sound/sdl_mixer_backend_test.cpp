#include "sound/sdl/sdl_mixer_backend.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "notices.h"
#include "sound/posted_tasks.h"
#include "sound/sound_channel.h"

namespace vrk::sound {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const fs::path kSoundData = fs::path(VRK_TESTDATA) / "sound";

class SdlMixerBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!fs::is_directory(kSoundData)) {
            GTEST_SKIP() << "test data not found at " << kSoundData;
        }
        setenv("SDL_AUDIODRIVER", "dummy", 1);
    }
};

TEST_F(SdlMixerBackendTest, AudioStartsAtTheFirstSoundAndOnlyMidiLoadsTheSoundfont) {
    SdlMixerBackend backend;
    EXPECT_FALSE(backend.audioStarted());
    EXPECT_FALSE(backend.open(kSoundData / "missing.wav"));
    EXPECT_FALSE(backend.audioStarted());
    ASSERT_TRUE(backend.open(kSoundData / "wav/cpython-testsuite/pluck-pcm16.wav"));  // 0.3 s
    EXPECT_TRUE(backend.audioStarted());
    EXPECT_TRUE(backend.hasDevice());
    Notices notices;
    backend.play(notices.handler());
    EXPECT_TRUE(notices.waitFor(1, 5s));
    EXPECT_EQ(notices.received(), std::vector<bool>{true});
    EXPECT_FALSE(backend.synthesizerMade());
    ASSERT_TRUE(backend.open(kSoundData / "midi/dmidiplayer-examples/test.mid"));
    EXPECT_TRUE(backend.synthesizerMade());
}

TEST_F(SdlMixerBackendTest, OpensPlaysAndStopsWaveAndMidi) {
    SdlMixerBackend backend;
    ASSERT_TRUE(backend.hasDevice());
    const char* files[] = {
        "wav/generated/espeak_en_44100_stereo_s16.wav", "wav/generated/espeak_en_22050_mono_ima_adpcm.wav",
        "wav/generated/espeak_en_8000_mono_ulaw.wav", "midi/dmidiplayer-examples/Schubert_Standchen.mid"};
    for (const char* file : files) {
        SCOPED_TRACE(file);
        Notices notices;
        ASSERT_TRUE(backend.open(kSoundData / file));
        backend.play(notices.handler());
        backend.play(notices.handler());  // the first playback is replaced
        std::this_thread::sleep_for(100ms);
        backend.close();
        EXPECT_FALSE(backend.isOpen());
        EXPECT_TRUE(notices.waitFor(2, 1s));
        EXPECT_EQ(notices.received(), (std::vector<bool>{false, false})) << "stopped, not completed";
    }
}

TEST_F(SdlMixerBackendTest, FilesTheMixerCannotReadFailToOpen) {
    SdlMixerBackend backend;
    ASSERT_TRUE(backend.hasDevice());
    const char* files[] = {"wav/corrupt/wav_empty.wav",
                           "wav/corrupt/wav_riff_no_fmt.wav",
                           "midi/jazz-soft-test-midi-files/test-empty-file.mid",
                           "midi/jazz-soft-test-midi-files/test-not-a-midi-file.mid",
                           "midi/jazz-soft-test-midi-files/test-corrupt-file-missing-byte.mid",
                           "midi/jazz-soft-test-midi-files/test-illegal-message-f1-xx.mid",
                           "midi/INDEX.tsv",
                           "missing.wav"};
    for (const char* file : files) {
        SCOPED_TRACE(file);
        EXPECT_FALSE(backend.open(kSoundData / file));
        EXPECT_FALSE(backend.isOpen());
        Notices notices;
        backend.play(notices.handler());
        EXPECT_EQ(notices.received(), std::vector<bool>{false}) << "nothing open: the playback fails";
    }
}

// One block of silent 4-bit IMA ADPCM (505 samples at 8 kHz, 63 ms): a WAVE file the
// music stream cannot decode, so it plays on a mixer channel instead.
fs::path writeShortAdpcmWave(const fs::path& path) {
    auto le = [](std::uint32_t value, int bytes) {
        std::string out;
        for (int i = 0; i < bytes; ++i) {
            out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
        return out;
    };
    const std::string format =
        le(0x11, 2) + le(1, 2) + le(8000, 4) + le(4055, 4) + le(256, 2) + le(4, 2) + le(2, 2) + le(505, 2);
    const std::string data = std::string(256, '\0');
    const std::string body =
        "WAVEfmt " + le(20, 4) + format + "fact" + le(4, 4) + le(505, 4) + "data" + le(256, 4) + data;
    std::ofstream(path, std::ios::binary) << "RIFF" << le(static_cast<std::uint32_t>(body.size()), 4) << body;
    return path;
}

TEST_F(SdlMixerBackendTest, ShortSoundsCompleteAndPlayAgainFromTheirStart) {
    SdlMixerBackend backend;
    ASSERT_TRUE(backend.hasDevice());
    const fs::path adpcm = writeShortAdpcmWave(fs::temp_directory_path() / "vrk_short_adpcm.wav");
    const fs::path files[] = {kSoundData / "wav/cpython-testsuite/pluck-pcm16.wav",           // 0.3 s
                              adpcm,                                                          // 63 ms
                              kSoundData / "midi/jazz-soft-test-midi-files/test-empty.mid"};  // 2 s, no notes
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        ASSERT_TRUE(backend.open(file));
        for (int round = 0; round < 2; ++round) {
            Notices notices;
            backend.play(notices.handler());
            ASSERT_TRUE(notices.waitFor(1, 10s));
            EXPECT_EQ(notices.received(), std::vector<bool>{true});
        }
    }
    backend.close();
    fs::remove(adpcm);
}

// The soundfont is loaded once: changing the music must not stall the window.
TEST_F(SdlMixerBackendTest, OpeningAnotherMidiFileIsQuick) {
    SdlMixerBackend backend;
    ASSERT_TRUE(backend.hasDevice());
    ASSERT_TRUE(backend.open(kSoundData / "midi/dmidiplayer-examples/test.mid"));
    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(backend.open(kSoundData / "midi/dmidiplayer-examples/mozart_aveverum.mid"));
    EXPECT_LT(std::chrono::steady_clock::now() - before, 200ms);
}

TEST_F(SdlMixerBackendTest, WithoutADeviceFilesStillOpenAndPlaySilently) {
    setenv("SDL_AUDIODRIVER", "vrk-no-such-driver", 1);
    SdlMixerBackend backend;
    EXPECT_FALSE(backend.hasDevice());
    EXPECT_FALSE(backend.open(kSoundData / "missing.mid"));
    ASSERT_TRUE(backend.open(kSoundData / "midi/dmidiplayer-examples/test.mid"));
    Notices notices;
    backend.play(notices.handler());
    std::this_thread::sleep_for(50ms);
    EXPECT_TRUE(notices.received().empty());
    backend.close();
    EXPECT_EQ(notices.received(), std::vector<bool>{false});
}

// The disk driver writes what the mixer renders to a file: MIDI must come out as sound,
// which shows the soundfont was found.
TEST_F(SdlMixerBackendTest, MidiRendersAudibleSamples) {
    const fs::path dir = fs::temp_directory_path() / "vrk_sound_disk";
    fs::create_directories(dir);
    const fs::path output = dir / "out.raw";
    fs::remove(output);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    {
        Notices notices;  // outlives the back end, which ends the playback as it goes
        SdlMixerBackend backend;
        ASSERT_TRUE(backend.hasDevice());
        ASSERT_TRUE(backend.open(kSoundData / "midi/jazz-soft-test-midi-files/test-c-major-scale.mid"));
        backend.play(notices.handler());
        std::this_thread::sleep_for(1500ms);
    }
    std::ifstream in(output, std::ios::binary);
    std::vector<std::int16_t> samples;
    std::int16_t sample = 0;
    while (in.read(reinterpret_cast<char*>(&sample), sizeof sample)) {
        samples.push_back(sample);
    }
    std::size_t loud = 0;
    for (const auto s : samples) {
        loud += std::abs(s) > 256 ? 1 : 0;
    }
    EXPECT_GT(samples.size(), 44100u) << "about a second of stereo output";
    EXPECT_GT(loud, samples.size() / 20) << "MIDI rendered as silence";
    fs::remove_all(dir);
}

// The whole road of a music repeat: the end is reported on the audio thread, queued, and
// the channel plays the music again from the UI thread that drains the queue.
TEST_F(SdlMixerBackendTest, ChannelRepeatsShortMusicThroughThePostedNotice) {
    SdlMixerBackend backend;
    ASSERT_TRUE(backend.hasDevice());
    interpreter::SoundFields fields;
    PostedTasks tasks;
    SoundChannel channel(backend, fields, kSoundData / "wav" / "cpython-testsuite");
    channel.setPoster(tasks.poster());
    std::vector<int> waits;
    channel.setTickWaiter([&](int ticks) { waits.push_back(ticks); });

    fields.soundIsMusic = true;
    ASSERT_TRUE(channel.playSound("PLUCK-PCM16.WAV"));
    const unsigned started = channel.generation();
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (waits.size() < 2 && std::chrono::steady_clock::now() < deadline) {
        tasks.drain();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(waits, (std::vector<int>{10, 10}));
    EXPECT_EQ(channel.generation(), started + 2);
    channel.stopSound();
    tasks.drain();
    EXPECT_FALSE(backend.isOpen());
    EXPECT_EQ(waits.size(), 2u) << "the stop is no end of the music";
}

}  // namespace
}  // namespace vrk::sound
