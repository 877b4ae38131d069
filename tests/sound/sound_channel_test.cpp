#include "sound/sound_channel.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "sound/null_sound_backend.h"
#include "sound/posted_tasks.h"

namespace vrk::sound {
namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;

// The headless back end, with a record of what the channel asked; "BAD.MID" does not open.
class RecordingBackend : public NullSoundBackend {
public:
    Log log;
    bool throwOnOpen = false;

    bool open(const fs::path& path) override {
        log.push_back("open " + path.filename().string());
        if (throwOnOpen) {
            throw MediaDeviceError("no device");
        }
        return path.filename() != "BAD.MID" && NullSoundBackend::open(path);
    }
    void play(FinishedHandler onFinished) override {
        log.push_back("play");
        NullSoundBackend::play(std::move(onFinished));
    }
    void close() override {
        log.push_back("close");
        NullSoundBackend::close();
    }
};

class SoundChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() / (std::string("vrk_sound_channel_") + test->name());
        fs::create_directories(m_dir);
        for (const char* name : {"A.MID", "X.WAV", "BAD.MID"}) {
            std::ofstream(m_dir / name) << "data";
        }
        channel = std::make_unique<SoundChannel>(backend, fields, m_dir);
        channel->setTickWaiter([this](int ticks) {
            waits.push_back(ticks);
            if (duringPause) {
                duringPause();
            }
        });
    }
    void TearDown() override {
        channel.reset();
        fs::remove_all(m_dir);
    }
    const fs::path& dir() const { return m_dir; }
    // Starts music the way the "BGM=" command does.
    void startMusic() {
        fields.soundIsMusic = true;
        ASSERT_TRUE(channel->playSound("A.MID"));
        backend.log.clear();
        waits.clear();
    }

    RecordingBackend backend;
    interpreter::SoundFields fields;
    std::unique_ptr<SoundChannel> channel;
    std::vector<int> waits;
    std::function<void()> duringPause;

private:
    fs::path m_dir;
};

TEST_F(SoundChannelTest, NamesOutsideTheProjectOpenOnlyRegularFiles) {
    const fs::path outside = dir().parent_path() / (dir().filename().string() + "_outside");
    fs::create_directories(outside / "folder.wav");
    std::ofstream(outside / "song.mid") << "data";
    ::mkfifo((outside / "pipe.wav").c_str(), 0644);
    fs::create_symlink("/dev/zero", dir() / "zero.wav");
    const std::string up = "..\\" + outside.filename().string() + "\\";
    for (const std::string& name : {std::string("/dev/zero"), std::string("zero.wav"), up + "pipe.wav",
                                    up + "folder.wav", (outside / "pipe.wav").string()}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(channel->playSound(name));  // a FIFO would block, a device never end
        EXPECT_FALSE(fields.soundOpen);
    }
    for (const std::string& entry : backend.log) {
        EXPECT_NE(entry.rfind("open", 0), 0u) << entry;
    }
    EXPECT_TRUE(channel->playSound(up + "song.mid"));
    EXPECT_TRUE(channel->playSound((outside / "song.mid").string()));
    fs::remove_all(outside);
}

TEST_F(SoundChannelTest, PlayReplaceAndStop) {
    EXPECT_TRUE(channel->playSound("A.MID"));
    EXPECT_TRUE(fields.soundOpen);
    // Names are found as stories write them: other letter case, Windows separators.
    EXPECT_TRUE(channel->playSound(".\\x.wav"));
    channel->stopSound();
    EXPECT_FALSE(fields.soundOpen);
    channel->stopSound();
    EXPECT_EQ(backend.log, (Log{"open A.MID", "play", "close", "open X.WAV", "play", "close"}));
}

TEST_F(SoundChannelTest, MediaErrorLeavesTheChannelSilent) {
    struct Case {
        const char* name;
        bool throws;
    };
    for (const Case& c : {Case{"BAD.MID", false}, Case{"MISSING.MID", false}, Case{"A.MID", true}}) {
        SCOPED_TRACE(c.name);
        startMusic();
        backend.throwOnOpen = c.throws;
        EXPECT_FALSE(channel->playSound(c.name));
        backend.throwOnOpen = false;
        EXPECT_FALSE(fields.soundOpen);
        EXPECT_FALSE(backend.isOpen());
        EXPECT_EQ(backend.log.front(), "close") << "the music before is gone";
        EXPECT_EQ(std::count(backend.log.begin(), backend.log.end(), "play"), 0);
    }
}

TEST_F(SoundChannelTest, MusicAndEffectsEachPlayAtTheirOwnVolume) {
    channel->setVolumes(30, 80);
    EXPECT_EQ(backend.volume(), 100) << "nothing plays: nothing to change yet";
    startMusic();
    EXPECT_EQ(backend.volume(), 30);
    channel->setVolumes(40, 70);
    EXPECT_EQ(backend.volume(), 40) << "the music playing follows at once";
    fields.soundIsMusic = false;
    ASSERT_TRUE(channel->playSound("X.WAV"));
    EXPECT_EQ(backend.volume(), 70);
    channel->setVolumes(-5, 120);
    EXPECT_EQ(backend.volume(), 100) << "held within 0-100";
    // A repeat of the music plays at the music's volume, whatever played between.
    startMusic();
    backend.setVolume(100);
    ASSERT_TRUE(backend.finishPlayback());
    EXPECT_EQ(waits, std::vector<int>{SoundChannel::kRepeatPauseTicks});
    EXPECT_EQ(backend.volume(), 0);
}

TEST_F(SoundChannelTest, UncheckingAnOptionStopsAnyKind) {
    for (const bool music : {true, false}) {
        SCOPED_TRACE(music ? "music" : "effect");
        fields.soundIsMusic = music;
        ASSERT_TRUE(channel->playSound(music ? "A.MID" : "X.WAV"));
        channel->onOptionUnchecked();
        EXPECT_FALSE(fields.soundOpen);
        EXPECT_FALSE(fields.soundIsMusic);
        EXPECT_FALSE(backend.isOpen());
    }
}

TEST_F(SoundChannelTest, OnlyMusicThatRanToItsEndRepeatsAfterThePause) {
    struct Case {
        const char* what;
        bool music;
        bool completed;
        bool open;
    };
    const Case cases[] = {
        {"music completed", true, true, true},
        {"music stopped by the device", true, false, true},
        {"effect completed", false, true, true},
        {"music closed before the notice", true, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startMusic();
        fields.soundIsMusic = c.music;
        fields.soundOpen = c.open;
        channel->onPlaybackFinished(c.completed);
        const bool repeats = c.music && c.completed && c.open;
        EXPECT_EQ(backend.log, repeats ? Log{"play"} : Log{});
        EXPECT_EQ(waits, repeats ? std::vector<int>{10} : std::vector<int>{});
        fields.soundOpen = true;
        channel->stopSound();
    }
}

TEST_F(SoundChannelTest, RepeatIsDroppedWhenTheMusicChangesDuringThePause) {
    struct Case {
        const char* what;
        std::function<void()> change;
        Log expected;
    };
    const std::vector<Case> cases = {
        {"stopped", [&] { channel->stopSound(); }, {"close"}},
        {"option unchecked", [&] { channel->onOptionUnchecked(); }, {"close"}},
        {"replaced by an effect", [&] { channel->playSound("X.WAV"); }, {"close", "open X.WAV", "play"}},
        // The old repeat must not start the new playback of the same file a second time.
        {"restarted", [&] { channel->playSound("A.MID"); }, {"close", "open A.MID", "play"}},
        {"media error", [&] { channel->playSound("BAD.MID"); }, {"close", "open BAD.MID", "close"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startMusic();
        duringPause = c.change;
        backend.finishPlayback();
        duringPause = nullptr;
        EXPECT_EQ(backend.log, c.expected);
        channel->stopSound();
    }
}

TEST_F(SoundChannelTest, PostedNoticeOfAReplacedPlaybackIsIgnored) {
    PostedTasks tasks;
    channel->setPoster(tasks.poster());
    startMusic();
    backend.finishPlayback();
    EXPECT_TRUE(backend.log.empty()) << "the notice waits for the UI thread";
    // Before the UI thread sees it, the same music is started anew.
    ASSERT_TRUE(channel->playSound("A.MID"));
    backend.log.clear();
    tasks.drain();
    EXPECT_TRUE(backend.log.empty());
    // Its own end still repeats it; a notice after the channel is gone is dropped.
    backend.finishPlayback();
    tasks.drain();
    EXPECT_EQ(backend.log, (Log{"play"}));
    backend.finishPlayback();
    channel.reset();
    tasks.drain();
    EXPECT_EQ(backend.log, (Log{"play", "close"}));
    EXPECT_FALSE(fields.soundOpen);
}

// A host that cannot block keeps the pause by scheduling the repeat; the same rules hold.
TEST_F(SoundChannelTest, AScheduledPauseRepeatsOnlyTheMusicThatEnded) {
    std::vector<std::pair<int, std::function<void()>>> scheduled;
    channel->setTickTimer(
        [&](int ticks, std::function<void()> then) { scheduled.emplace_back(ticks, std::move(then)); });
    startMusic();
    backend.finishPlayback();
    ASSERT_EQ(scheduled.size(), 1u);
    EXPECT_EQ(scheduled[0].first, SoundChannel::kRepeatPauseTicks);
    EXPECT_TRUE(waits.empty()) << "no blocking wait";
    EXPECT_EQ(std::count(backend.log.begin(), backend.log.end(), "play"), 0) << "not before the pause";
    scheduled[0].second();
    EXPECT_EQ(std::count(backend.log.begin(), backend.log.end(), "play"), 1);

    // Music replaced during the pause: the old repeat is dropped.
    scheduled.clear();
    backend.finishPlayback();
    ASSERT_TRUE(channel->playSound("A.MID"));
    backend.log.clear();
    scheduled.at(0).second();
    EXPECT_EQ(std::count(backend.log.begin(), backend.log.end(), "play"), 0);

    // The channel gone before the pause ends: the repeat does nothing.
    scheduled.clear();
    backend.finishPlayback();
    channel.reset();
    backend.log.clear();
    scheduled.at(0).second();
    EXPECT_TRUE(backend.log.empty());
}

}  // namespace
}  // namespace vrk::sound
