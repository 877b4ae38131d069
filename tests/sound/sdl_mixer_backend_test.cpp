#include "sound/sdl/sdl_mixer_backend.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include <SDL_mixer.h>

#include "midi_file_builder.h"
#include "notices.h"
#include "sound/media_checks.h"
#include "sound/posted_tasks.h"
#include "sound/sound_channel.h"

namespace vrk::sound {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// What SDL's disk audio driver wrote: interleaved 16-bit samples.
std::vector<std::int16_t> diskSamples(const fs::path& output) {
    std::ifstream in(output, std::ios::binary);
    std::vector<std::int16_t> samples;
    std::int16_t sample = 0;
    while (in.read(reinterpret_cast<char*>(&sample), sizeof sample)) {
        samples.push_back(sample);
    }
    return samples;
}

std::size_t loudSamples(const std::vector<std::int16_t>& samples) {
    return static_cast<std::size_t>(
        std::count_if(samples.begin(), samples.end(), [](std::int16_t s) { return std::abs(s) > 256; }));
}

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
    const std::vector<std::int16_t> samples = diskSamples(output);
    const std::size_t loud = loudSamples(samples);
    EXPECT_GT(samples.size(), 44100u) << "about a second of stereo output";
    EXPECT_GT(loud, samples.size() / 20) << "MIDI rendered as silence";
    fs::remove_all(dir);
}

TEST_F(SdlMixerBackendTest, TheVolumeReachesTheMixerAndTheSynthesizer) {
    {
        SdlMixerBackend backend;
        backend.setVolume(50);  // before the device: kept for it
        ASSERT_TRUE(backend.hasDevice());
        EXPECT_EQ(Mix_VolumeMusic(-1), MIX_MAX_VOLUME / 2);
        backend.setVolume(250);
        EXPECT_EQ(Mix_VolumeMusic(-1), MIX_MAX_VOLUME);
        backend.setVolume(0);
        EXPECT_EQ(Mix_VolumeMusic(-1), 0);
        EXPECT_EQ(Mix_Volume(0, -1), 0) << "the channel of the waves the music stream cannot read";
    }
    // The mixer's music volume does not reach MIDI, which the back end mixes in itself.
    const fs::path dir = fs::temp_directory_path() / "vrk_sound_disk_quiet";
    fs::create_directories(dir);
    const fs::path output = dir / "out.raw";
    fs::remove(output);
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    {
        Notices notices;
        SdlMixerBackend backend;
        backend.setVolume(0);
        ASSERT_TRUE(backend.hasDevice());
        ASSERT_TRUE(backend.open(kSoundData / "midi/jazz-soft-test-midi-files/test-c-major-scale.mid"));
        backend.play(notices.handler());
        std::this_thread::sleep_for(1000ms);
    }
    const std::vector<std::int16_t> samples = diskSamples(output);
    EXPECT_GT(samples.size(), 22050u);
    EXPECT_EQ(loudSamples(samples), 0u) << "MIDI heard at no volume";
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

// What the player hears: a music of one short note whose file lasts a second, repeated through
// the channel, the back end and the disk driver (which writes the mixed output at the pace of
// a sound card). The repeat must start ten ticks of 55 ms after the end of the file, as the
// window's timer would run it; the notes' release and FluidSynth's wait after the last voice
// do not count.
TEST_F(SdlMixerBackendTest, MusicRepeatsTenTicksAfterTheEndOfItsFile) {
    if (!fs::is_regular_file(SdlMixerBackend::kDefaultSoundFont)) {
        GTEST_SKIP() << "needs " << SdlMixerBackend::kDefaultSoundFont;
    }
    const fs::path dir = fs::temp_directory_path() / ("vrk_repeat_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path output = dir / "out.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    test::MidiTrack track;
    track.event(0, {0x90, 60, 100})
        .event(240, {0x80, 60, 0})
        .endOfTrack(720);  // a note, and the file lasts 1 s
    std::ofstream(dir / "NOTE.MID", std::ios::binary) << test::midiFile({track});
    constexpr double kFileSeconds = 1.0;
    constexpr auto kTick = 55ms;
    {
        SdlMixerBackend backend;
        ASSERT_TRUE(backend.hasDevice());
        interpreter::SoundFields fields;
        PostedTasks tasks;
        SoundChannel channel(backend, fields, dir);
        channel.setPoster(tasks.poster());
        std::vector<std::pair<std::chrono::steady_clock::time_point, std::function<void()>>> timers;
        channel.setTickTimer([&](int ticks, std::function<void()> task) {
            timers.emplace_back(std::chrono::steady_clock::now() + ticks * kTick, std::move(task));
        });
        fields.soundIsMusic = true;
        ASSERT_TRUE(channel.playSound("NOTE.MID"));
        const unsigned started = channel.generation();
        const auto deadline = std::chrono::steady_clock::now() + 8s;
        // Two repeats, then a little of the second to hear it begin.
        std::optional<std::chrono::steady_clock::time_point> stopAt;
        while (std::chrono::steady_clock::now() < (stopAt ? *stopAt : deadline)) {
            tasks.drain();
            const auto now = std::chrono::steady_clock::now();
            for (auto it = timers.begin(); it != timers.end();) {
                if (it->first <= now) {
                    auto task = std::move(it->second);
                    it = timers.erase(it);
                    task();
                } else {
                    ++it;
                }
            }
            if (!stopAt && channel.generation() >= started + 2) {
                stopAt = now + 300ms;
            }
            std::this_thread::sleep_for(2ms);
        }
        channel.stopSound();
        tasks.drain();
    }
    const std::vector<std::int16_t> samples = diskSamples(output);
    fs::remove_all(dir);
    // Where the note starts: the first loud frame after a tenth of a second of silence.
    std::vector<double> onsets;
    std::size_t quiet = 44100 / 10;
    for (std::size_t frame = 0; frame + 1 < samples.size() / 2; ++frame) {
        const bool loud = std::abs(samples[2 * frame]) > 300 || std::abs(samples[2 * frame + 1]) > 300;
        if (loud && quiet >= 44100 / 10) {
            onsets.push_back(static_cast<double>(frame) / 44100);
        }
        quiet = loud ? 0 : quiet + 1;
    }
    ASSERT_GE(onsets.size(), 3u) << "the music and two repeats within 8 s";
    for (std::size_t i = 1; i < 3; ++i) {
        const double pause = onsets[i] - onsets[i - 1] - kFileSeconds;
        // 550 ms, give or take the mixer's chunks of 46 ms at the end and at the start.
        EXPECT_NEAR(pause, 0.55, 0.12) << "repeat " << i;
    }
}

std::string littleEndian(std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) {
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    }
    return out;
}

// A WAVE header (format chunk and the head of a data chunk of dataBytes) for a format tag.
std::string waveHeader(int format, int channels, int rate, int blockAlign, int bits, std::uint32_t dataBytes,
                       const std::string& formatExtra = {}) {
    const std::string fmt = littleEndian(format, 2) + littleEndian(channels, 2) + littleEndian(rate, 4) +
                            littleEndian(static_cast<std::uint64_t>(rate) * blockAlign, 4) +
                            littleEndian(blockAlign, 2) + littleEndian(bits, 2) + formatExtra;
    const std::string head =
        "WAVEfmt " + littleEndian(fmt.size(), 4) + fmt + "data" + littleEndian(dataBytes, 4);
    return "RIFF" + littleEndian(head.size() - 4 + dataBytes, 4) + head;
}

// Silent 4-bit IMA ADPCM, mono at 8 kHz in blocks of 256 bytes (505 samples): a kind the
// music stream does not read, so it is decoded whole.
std::string imaAdpcmWave(int blocks) {
    const std::string extra = littleEndian(2, 2) + littleEndian(505, 2);
    const std::uint32_t data = static_cast<std::uint32_t>(blocks) * 256;
    return waveHeader(0x11, 1, 8000, 256, 4, data, extra) + std::string(data, '\0');
}

std::size_t residentBytes() {
    std::ifstream statm("/proc/self/statm");
    std::size_t pages = 0;
    std::size_t resident = 0;
    statm >> pages >> resident;
    return resident * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
}

// Files a story may hold in place of a sound, none of which is ever read whole: the back end
// reads a sound once, within the limits, and plays those bytes.
class HostileSoundTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        m_dir = fs::temp_directory_path() / ("vrk_hostile_sound_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path write(const std::string& name, const std::string& bytes) {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
        return m_dir / name;
    }

    fs::path m_dir;
};

TEST_F(HostileSoundTest, SparseFilesBeyondTheLimitAreRefusedAtOnce) {
    SdlMixerBackend backend;
    ASSERT_TRUE(backend.hasDevice());
    // 3 GB of 8-bit PCM (which the music stream would read piece by piece) and of ADPCM
    // (which the WAVE reader would decode whole), and a MIDI file with one 3 GB track: holes
    // on the disk, nothing in memory until someone reads them.
    constexpr off_t kSize = off_t{3} << 30;
    const std::pair<const char*, std::string> files[] = {
        {"pcm.wav", waveHeader(1, 1, 8000, 1, 8, 0xFFFFFF00u)},
        {"adpcm.wav",
         waveHeader(0x11, 1, 8000, 256, 4, 0xFFFFFF00u, littleEndian(2, 2) + littleEndian(505, 2))},
        {"track.mid", std::string("MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk\xBF\xFF\xFF\xEA", 22)}};
    for (const auto& [name, head] : files) {
        SCOPED_TRACE(name);
        const fs::path path = write(name, head);
        ASSERT_EQ(::truncate(path.c_str(), kSize), 0);
        const std::size_t before = residentBytes();
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(backend.open(path));
        EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
        EXPECT_LT(residentBytes(), before + (std::size_t{64} << 20)) << "the file was read";
        EXPECT_FALSE(backend.isOpen());
        fs::remove(path);
    }
}

TEST_F(HostileSoundTest, AFifoIsNotWaitedOn) {
    SdlMixerBackend backend;
    ASSERT_TRUE(backend.hasDevice());
    for (const char* name : {"fifo.wav", "fifo.mid", "fifo.ogg"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(::mkfifo((m_dir / name).c_str(), 0600), 0);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_FALSE(backend.open(m_dir / name));
        EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    }
}

// A few megabytes of ADPCM expand ten to forty times once decoded whole at the device's rate:
// a file is taken only while what it decodes to stays within the limit.
TEST_F(HostileSoundTest, AdpcmThatDecodesBeyondTheLimitDoesNotOpen) {
    SdlMixerBackend backend;
    ASSERT_TRUE(backend.hasDevice());
    const fs::path minute = write("minute.wav", imaAdpcmWave(950));  // 60 s
    EXPECT_TRUE(backend.open(minute));
    // 12 500 blocks: 789 s, some 140 MB at 44.1 kHz stereo, from a file of 3.2 MB.
    const fs::path long_ = write("long.wav", imaAdpcmWave(12'500));
    ASSERT_LT(fs::file_size(long_), kMaxSoundFileBytes);
    EXPECT_FALSE(backend.open(long_));
    EXPECT_FALSE(backend.isOpen());
}

// The bytes checked are the bytes played: a MIDI file replaced after it was opened still plays
// as it was when it passed the checks. The disk driver shows what was played.
TEST_F(HostileSoundTest, AFileReplacedAfterItOpenedIsNotWhatPlays) {
    const fs::path scale = kSoundData / "midi/jazz-soft-test-midi-files/test-c-major-scale.mid";
    if (!fs::is_regular_file(scale) || !fs::is_regular_file(SdlMixerBackend::kDefaultSoundFont)) {
        GTEST_SKIP() << "needs " << scale << " and " << SdlMixerBackend::kDefaultSoundFont;
    }
    const fs::path output = m_dir / "out.raw";
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    const fs::path music = m_dir / "music.mid";
    fs::copy_file(scale, music);
    {
        Notices notices;
        SdlMixerBackend backend;
        ASSERT_TRUE(backend.hasDevice());
        ASSERT_TRUE(backend.open(music));
        // Replaced by a file the checks would have refused.
        write("other.mid", "MThd but not a MIDI file at all");
        fs::rename(m_dir / "other.mid", music);
        backend.play(notices.handler());
        std::this_thread::sleep_for(1500ms);
        EXPECT_TRUE(notices.received().empty()) << "the scale plays on";
    }
    const std::vector<std::int16_t> samples = diskSamples(output);
    const std::size_t loud = loudSamples(samples);
    EXPECT_GT(loud, samples.size() / 20) << "the opened file did not play";
}

// The limits themselves, on bytes.
TEST(MediaChecksTest, MidiTracksAndDecodedWavesStayWithinTheirLimits) {
    const auto midi = [](std::vector<std::uint32_t> tracks) {
        std::string bytes = std::string("MThd") + std::string("\0\0\0\x06\0\x01\0\x02\0\x60", 10);
        for (const std::uint32_t length : tracks) {
            bytes += "MTrk";
            for (int shift = 24; shift >= 0; shift -= 8) {
                bytes.push_back(static_cast<char>((length >> shift) & 0xFF));
            }
            bytes += std::string(length, '\0');
        }
        return bytes;
    };
    const auto limit = static_cast<std::uint32_t>(kMaxMidiTrackBytes);
    EXPECT_TRUE(midiChunksIntact(midi({100, 200})));
    EXPECT_TRUE(midiChunksIntact(midi({limit / 2, limit / 2})));
    EXPECT_FALSE(midiChunksIntact(midi({limit / 2, limit / 2 + 1}))) << "together beyond the limit";
    EXPECT_FALSE(midiChunksIntact(midi({limit + 1})));
    EXPECT_FALSE(midiChunksIntact(midi({})));
    std::string cut = midi({100});
    cut.pop_back();
    EXPECT_FALSE(midiChunksIntact(cut));

    EXPECT_TRUE(waveDecodesWithinLimit(imaAdpcmWave(950), 44100));
    EXPECT_FALSE(waveDecodesWithinLimit(imaAdpcmWave(12'500), 44100));
    // The data chunk's length counts only as far as the bytes go.
    EXPECT_TRUE(waveDecodesWithinLimit(
        waveHeader(0x11, 1, 8000, 256, 4, 0xFFFFFF00u) + std::string(1024, '\0'), 44100));
    // One sample a second becomes 44 100 at the device.
    EXPECT_FALSE(
        waveDecodesWithinLimit(waveHeader(1, 1, 1, 1, 8, 4 << 20) + std::string(4 << 20, '\0'), 44100));
    EXPECT_FALSE(waveDecodesWithinLimit(waveHeader(1, 0, 8000, 1, 8, 16) + std::string(16, '\0'), 44100));
    EXPECT_FALSE(waveDecodesWithinLimit(waveHeader(1, 1, 0, 1, 8, 16) + std::string(16, '\0'), 44100));
    EXPECT_FALSE(waveDecodesWithinLimit("RIFF\x04\0\0\0WAVE", 44100)) << "no format, no data";
    EXPECT_FALSE(waveDecodesWithinLimit("OggS and the rest", 44100)) << "only WAVE files are decoded whole";
}

}  // namespace
}  // namespace vrk::sound
