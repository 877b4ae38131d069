#include "sound/sound_channel.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "sound/null_sound_backend.h"
#include "sound/posted_tasks.h"

namespace vrk::sound {
namespace {

namespace fs = std::filesystem;
using Log = std::vector<std::string>;

// Records what the channel asks of its player; files named in unplayable fail to open.
class RecordingBackend : public SoundBackend {
public:
    Log log;
    std::set<std::string> unplayable;
    bool throwOnOpen = false;

    bool open(const fs::path& path) override {
        log.push_back("open " + path.filename().string());
        if (throwOnOpen) {
            throw MediaDeviceError("no device");
        }
        m_open = !unplayable.contains(path.filename().string());
        return m_open;
    }
    void play(FinishedHandler onFinished) override {
        end(false);
        log.push_back("play");
        m_pending = std::move(onFinished);
    }
    void close() override {
        end(false);
        log.push_back("close");
        m_open = false;
    }
    bool isOpen() const override { return m_open; }
    void end(bool completed) {
        auto handler = std::move(m_pending);
        m_pending = nullptr;
        if (handler) {
            handler(completed);
        }
    }

private:
    bool m_open = false;
    FinishedHandler m_pending;
};

class SoundChannelTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("vrk_sound_channel_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
        for (const char* name : {"A.MID", "X.WAV", "BAD.MID"}) {
            std::ofstream(m_dir / name) << "data";
        }
        backend.unplayable.insert("BAD.MID");
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
    // Starts music the way the "BGM=" command does.
    void startMusic(const std::string& name) {
        fields.soundIsMusic = true;
        ASSERT_TRUE(channel->playSound(name));
        backend.log.clear();
    }

    RecordingBackend backend;
    interpreter::SoundFields fields;
    std::unique_ptr<SoundChannel> channel;
    std::vector<int> waits;
    std::function<void()> duringPause;

private:
    fs::path m_dir;
};

TEST_F(SoundChannelTest, PlayReplaceAndStop) {
    EXPECT_TRUE(channel->playSound("A.MID"));
    EXPECT_TRUE(fields.soundOpen);
    EXPECT_EQ(backend.log, (Log{"open A.MID", "play"}));

    // Names are found as a story writes them: other letter case, Windows separators.
    backend.log.clear();
    EXPECT_TRUE(channel->playSound(".\\x.wav"));
    EXPECT_EQ(backend.log, (Log{"close", "open X.WAV", "play"}));

    backend.log.clear();
    channel->stopSound();
    EXPECT_FALSE(fields.soundOpen);
    channel->stopSound();
    EXPECT_EQ(backend.log, (Log{"close"}));
}

TEST_F(SoundChannelTest, MediaErrorLeavesTheChannelSilent) {
    struct Case {
        const char* name;
        bool throws;
    };
    const Case cases[] = {{"BAD.MID", false}, {"MISSING.MID", false}, {"A.MID", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        startMusic("A.MID");
        backend.throwOnOpen = c.throws;
        EXPECT_FALSE(channel->playSound(c.name));
        backend.throwOnOpen = false;
        EXPECT_FALSE(fields.soundOpen);
        EXPECT_FALSE(backend.isOpen());
        // The music that played before is gone, and no playback was started.
        EXPECT_EQ(backend.log.front(), "close");
        EXPECT_EQ(std::count(backend.log.begin(), backend.log.end(), "play"), 0);
    }
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
    backend.log.clear();
    channel->onOptionUnchecked();
    EXPECT_TRUE(backend.log.empty()) << "a silent channel has nothing to close";
}

TEST_F(SoundChannelTest, MusicRepeatsOnlyWhenItRanToItsEnd) {
    struct Case {
        const char* what;
        bool music;
        bool completed;
        bool open;
        bool repeats;
    };
    const Case cases[] = {
        {"music completed", true, true, true, true},
        {"music stopped by the device", true, false, true, false},
        {"effect completed", false, true, true, false},
        {"music closed before the notice", true, true, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        waits.clear();
        fields.soundIsMusic = c.music;
        ASSERT_TRUE(channel->playSound("A.MID"));
        backend.log.clear();
        fields.soundOpen = c.open;
        channel->onPlaybackFinished(c.completed);
        EXPECT_EQ(backend.log, c.repeats ? Log{"play"} : Log{});
        EXPECT_EQ(waits, c.repeats ? std::vector<int>{SoundChannel::kRepeatPauseTicks} : std::vector<int>{});
        fields.soundOpen = true;
        channel->stopSound();
    }
}

TEST_F(SoundChannelTest, RepeatKeepsGoingThroughTheBackEndsNotices) {
    startMusic("A.MID");
    backend.end(true);
    backend.end(true);
    EXPECT_EQ(backend.log, (Log{"play", "play"}));
    EXPECT_TRUE(fields.soundOpen);
}

TEST_F(SoundChannelTest, RepeatIsDroppedWhenTheMusicChangesDuringThePause) {
    struct Case {
        const char* what;
        std::function<void(SoundChannel&, interpreter::SoundFields&)> change;
        Log expected;
    };
    const std::vector<Case> cases = {
        {"stopped", [](SoundChannel& ch, auto&) { ch.stopSound(); }, Log{"close"}},
        {"option unchecked", [](SoundChannel& ch, auto&) { ch.onOptionUnchecked(); }, Log{"close"}},
        {"replaced by an effect",
         [](SoundChannel& ch, auto& f) {
             f.soundIsMusic = false;
             ch.playSound("X.WAV");
         },
         Log{"close", "open X.WAV", "play"}},
        // The new playback of the same file must not be started a second time by the old repeat.
        {"restarted", [](SoundChannel& ch, auto&) { ch.playSound("A.MID"); },
         Log{"close", "open A.MID", "play"}},
        {"media error", [](SoundChannel& ch, auto&) { ch.playSound("BAD.MID"); },
         Log{"close", "open BAD.MID", "close"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        startMusic("A.MID");
        duringPause = [&] { c.change(*channel, fields); };
        backend.end(true);
        duringPause = nullptr;
        EXPECT_EQ(backend.log, c.expected);
        channel->stopSound();
    }
}

TEST_F(SoundChannelTest, PostedNoticeOfAReplacedPlaybackIsIgnored) {
    PostedTasks tasks;
    channel->setPoster(tasks.poster());
    startMusic("A.MID");
    backend.end(true);
    EXPECT_TRUE(backend.log.empty()) << "the notice waits for the UI thread";

    // Before the UI thread sees the notice, the same music is started anew.
    ASSERT_TRUE(channel->playSound("A.MID"));
    backend.log.clear();
    EXPECT_GE(tasks.drain(), 1u);
    EXPECT_TRUE(backend.log.empty());
    EXPECT_TRUE(waits.empty());

    // Its own end still repeats it.
    backend.end(true);
    tasks.drain();
    EXPECT_EQ(backend.log, (Log{"play"}));
}

TEST_F(SoundChannelTest, NoticeAfterTheChannelIsGoneIsDropped) {
    PostedTasks tasks;
    channel->setPoster(tasks.poster());
    startMusic("A.MID");
    backend.end(true);
    channel.reset();
    EXPECT_FALSE(fields.soundOpen);
    EXPECT_FALSE(backend.isOpen());
    tasks.drain();
    EXPECT_EQ(backend.log, (Log{"close"}));
}

TEST(NullSoundBackendTest, PlaysUntilToldAndEndsEveryPlaybackOnce) {
    const fs::path file = fs::temp_directory_path() / "vrk_null_backend.wav";
    std::ofstream(file) << "data";
    NullSoundBackend backend;
    EXPECT_FALSE(backend.open(file.string() + ".missing"));
    ASSERT_TRUE(backend.open(file));

    std::vector<bool> notices;
    backend.play([&](bool completed) { notices.push_back(completed); });
    EXPECT_TRUE(backend.isPlaying());
    backend.play([&](bool completed) { notices.push_back(completed); });
    EXPECT_TRUE(backend.finishPlayback());
    EXPECT_FALSE(backend.finishPlayback());
    backend.play([&](bool completed) { notices.push_back(completed); });
    backend.close();
    EXPECT_EQ(notices, (std::vector<bool>{false, true, false}));
    EXPECT_EQ(backend.playCount(), 3);
    fs::remove(file);
}

}  // namespace
}  // namespace vrk::sound
