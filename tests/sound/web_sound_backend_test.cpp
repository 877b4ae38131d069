#include "sound/web/web_sound_backend.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sound/sound_channel.h"

namespace vrk::web {
namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;

const std::string kMidiHeader("MThd\0\0\0\6\0\0\0\1\0\x60", 14);
const std::string kTrack("MTrk\0\0\0\4\0\xff\x2f\0", 12);

// The page's side as the engine sees it: what was asked, in order, with the numbers the
// ends must carry.
class RecordingAudio : public PageAudio {
public:
    Log log;
    std::vector<char> bytes;
    std::vector<std::uint32_t> playbacks;
    bool refuse = false;

    bool open(const std::string& path, const std::vector<char>& data, Kind kind) override {
        static const char* const kNames[] = {"midi", "wav", "other"};
        log.push_back("open " + fs::path(path).filename().string() + " " + kNames[static_cast<int>(kind)]);
        bytes = data;
        return !refuse;
    }
    void play(std::uint32_t playback) override {
        log.push_back("play");
        playbacks.push_back(playback);
    }
    void close() override { log.push_back("close"); }
    void setVolume(int percent) override { volume = percent; }
    int volume = -1;
};

class WebSoundBackendTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() / (std::string("vrk_web_sound_") + test->name());
        fs::create_directories(m_dir);
        write("SONG.MID", kMidiHeader + kTrack);
        write("HIT.WAV", "RIFF....WAVEfmt ");
        channel = std::make_unique<sound::SoundChannel>(backend, fields, m_dir);
        channel->setTickTimer([this](int ticks, std::function<void()> task) {
            timers.push_back(ticks);
            pendingTask = std::move(task);
        });
    }
    void TearDown() override {
        channel.reset();
        fs::remove_all(m_dir);
    }
    fs::path write(const std::string& name, const std::string& bytes) {
        std::ofstream(m_dir / name, std::ios::binary) << bytes;
        return m_dir / name;
    }
    // Starts music the way the "BGM=" command does.
    void startMusic() {
        fields.soundIsMusic = true;
        ASSERT_TRUE(channel->playSound("SONG.MID"));
        audio.log.clear();
    }
    void runTimer() {
        auto task = std::move(pendingTask);
        pendingTask = nullptr;
        ASSERT_TRUE(task) << "no repeat was scheduled";
        task();
    }

    RecordingAudio audio;
    WebSoundBackend backend{audio};
    interpreter::SoundFields fields;
    std::unique_ptr<sound::SoundChannel> channel;
    std::vector<int> timers;
    std::function<void()> pendingTask;
    fs::path m_dir;
};

TEST_F(WebSoundBackendTest, FilesGoToThePageByKindAndBrokenOnesNeverReachIt) {
    struct Case {
        const char* name;
        std::string bytes;
        const char* handedAs;  // nullptr: refused before the page sees it
    };
    const std::vector<Case> cases = {
        {"a.mid", kMidiHeader + kTrack, "midi"},
        // The content decides, as in the window: a MIDI file with another name is MIDI.
        {"tune.wav", kMidiHeader + kTrack, "midi"},
        {"hit.Wav", "RIFF....WAVEfmt ", "wav"},
        {"theme.ogg", "OggS....", "other"},
        {"theme.mp3", "ID3.....", "other"},
        {"noext", "data", "other"},
        {"empty.wav", "", nullptr},
        {"cut.mid", kMidiHeader + kTrack.substr(0, 10), nullptr},
        {"notracks.mid", kMidiHeader, nullptr},
        {"text.mid", "this is no MIDI file", nullptr},
        {"text.KAR", "this is no MIDI file", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        audio.log.clear();
        const fs::path path = write(c.name, c.bytes);
        EXPECT_EQ(backend.open(path), c.handedAs != nullptr);
        EXPECT_EQ(backend.isOpen(), c.handedAs != nullptr);
        if (c.handedAs != nullptr) {
            EXPECT_EQ(audio.log, Log{"open " + std::string(c.name) + " " + c.handedAs});
            EXPECT_EQ(std::string(audio.bytes.begin(), audio.bytes.end()), c.bytes);
        } else {
            EXPECT_TRUE(audio.log.empty()) << audio.log.front();
        }
        backend.close();
    }
    fs::create_directories(m_dir / "folder.wav");
    EXPECT_FALSE(backend.open(m_dir / "folder.wav"));
    EXPECT_FALSE(backend.open(m_dir / "missing.wav"));

    // What the page refuses is a media error: closed, and a play ends at once, not completed.
    audio.refuse = true;
    EXPECT_FALSE(backend.open(m_dir / "HIT.WAV"));
    EXPECT_FALSE(backend.isOpen());
    std::vector<bool> ends;
    backend.play([&ends](bool completed) { ends.push_back(completed); });
    EXPECT_EQ(ends, std::vector<bool>{false});
}

TEST_F(WebSoundBackendTest, EveryPlaybackEndsOnceAndLateWordsAreIgnored) {
    std::vector<bool> ends;
    const auto handler = [&ends](bool completed) { ends.push_back(completed); };
    ASSERT_TRUE(backend.open(m_dir / "HIT.WAV"));
    backend.play(handler);
    const std::uint32_t first = audio.playbacks.back();
    // Played again (a music repeat): the running one ends as stopped, the new one gets its number.
    backend.play(handler);
    const std::uint32_t second = audio.playbacks.back();
    EXPECT_NE(first, second);
    EXPECT_EQ(ends, std::vector<bool>{false});
    EXPECT_FALSE(backend.onEnded(first, true)) << "the word of the replaced playback";
    EXPECT_TRUE(backend.onEnded(second, true));
    EXPECT_FALSE(backend.onEnded(second, true)) << "a playback ends once";
    EXPECT_EQ(ends, (std::vector<bool>{false, true}));

    // Closed before its end: stopped at once, the page told, its later word dropped.
    backend.play(handler);
    const std::uint32_t third = audio.playbacks.back();
    audio.log.clear();
    backend.close();
    EXPECT_EQ(audio.log, Log{"close"});
    EXPECT_FALSE(backend.onEnded(third, true));
    EXPECT_EQ(ends, (std::vector<bool>{false, true, false}));
    EXPECT_FALSE(backend.onEnded(0, true));

    // A story opened anew gets a new back end; the old story's words must not end its sounds.
    // The flag outlives the back end, whose destructor still ends the playback.
    bool nextEnded = false;
    RecordingAudio otherAudio;
    WebSoundBackend next(otherAudio);
    ASSERT_TRUE(next.open(m_dir / "HIT.WAV"));
    next.play([&nextEnded](bool) { nextEnded = true; });
    for (const std::uint32_t old : {first, second, third}) {
        EXPECT_FALSE(next.onEnded(old, true));
    }
    EXPECT_FALSE(nextEnded);
}

TEST_F(WebSoundBackendTest, ThePageHearsEachPlaybacksVolumeHeldWithinItsRange) {
    channel->setVolumes(60, 130);
    startMusic();
    EXPECT_EQ(audio.volume, 60);
    fields.soundIsMusic = false;
    ASSERT_TRUE(channel->playSound("HIT.WAV"));
    EXPECT_EQ(audio.volume, 100);
    backend.setVolume(-1);
    EXPECT_EQ(audio.volume, 0);
}

TEST_F(WebSoundBackendTest, MusicRepeatsFromTheTimerOnlyWhileItIsStillTheMusic) {
    startMusic();
    ASSERT_TRUE(backend.onEnded(audio.playbacks.back(), true));
    EXPECT_EQ(timers, std::vector<int>{sound::SoundChannel::kRepeatPauseTicks});
    EXPECT_TRUE(audio.log.empty()) << "nothing plays before the pause is over";
    EXPECT_FALSE(channel->playing());
    runTimer();
    EXPECT_EQ(audio.log, Log{"play"});
    EXPECT_TRUE(channel->playing());

    // Changed during the pause: the old repeat must not start anything.
    struct Case {
        const char* what;
        std::function<void()> change;
        Log expected;
    };
    const std::vector<Case> cases = {
        {"stopped", [&] { channel->stopSound(); }, {"close"}},
        {"option unchecked", [&] { channel->onOptionUnchecked(); }, {"close"}},
        {"replaced", [&] { channel->playSound("HIT.WAV"); }, {"close", "open HIT.WAV wav", "play"}},
        {"restarted", [&] { channel->playSound("SONG.MID"); }, {"close", "open SONG.MID midi", "play"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startMusic();
        ASSERT_TRUE(backend.onEnded(audio.playbacks.back(), true));
        c.change();
        runTimer();
        EXPECT_EQ(audio.log, c.expected);
        channel->stopSound();
    }

    // Music the page could not start (a file its decoder refuses) is not tried again and again.
    startMusic();
    timers.clear();
    ASSERT_TRUE(backend.onEnded(audio.playbacks.back(), false));
    EXPECT_TRUE(timers.empty());
    EXPECT_TRUE(audio.log.empty());

    // The channel closed while a repeat waits: the timer's task finds nothing to do.
    startMusic();
    ASSERT_TRUE(backend.onEnded(audio.playbacks.back(), true));
    channel.reset();
    audio.log.clear();
    runTimer();
    EXPECT_TRUE(audio.log.empty());
    EXPECT_FALSE(backend.isOpen());
}

}  // namespace
}  // namespace vrk::web
