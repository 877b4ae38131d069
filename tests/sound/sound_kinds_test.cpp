#include "sound/sound_kinds.h"

#include <gtest/gtest.h>

namespace vrk::sound {
namespace {

interpreter::PlayerOptions onlyOptions(bool mid, bool wav, bool other) {
    interpreter::PlayerOptions options;
    options.mid = mid;
    options.wav = wav;
    options.other = other;
    return options;
}

TEST(SoundKindsTest, EachExtensionNeedsItsOwnOption) {
    struct Case {
        const char* name;
        bool needsMid;
        bool needsWav;
    };
    const Case cases[] = {
        {"A.MID", true, false},
        {"a.mid", true, false},
        {"bgm\\Song.Mid", true, false},
        {"X.WAV", false, true},
        {"x.wAv", false, true},
        {"A.MID.WAV", false, true},  // only the last extension counts
        {"A.WAV.MID", true, false},
        {"song.ogg", false, false},
        {"A.MIDI", false, false},
        {"noext", false, false},
        {"dir.wav\\noext", false, false},       // the last "." may lie in a directory name
        {"\x89\xB9\x8A\x79.mid", true, false},  // 音楽.mid
        {"", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool needsOther = !c.needsMid && !c.needsWav;
        EXPECT_TRUE(soundKindAllowed(c.name, onlyOptions(true, true, true)));
        EXPECT_EQ(soundKindAllowed(c.name, onlyOptions(true, false, false)), c.needsMid);
        EXPECT_EQ(soundKindAllowed(c.name, onlyOptions(false, true, false)), c.needsWav);
        EXPECT_EQ(soundKindAllowed(c.name, onlyOptions(false, false, true)), needsOther);
        EXPECT_FALSE(soundKindAllowed(c.name, onlyOptions(false, false, false)));
        EXPECT_EQ(isWaveFile(c.name), c.needsWav);
    }
}

}  // namespace
}  // namespace vrk::sound
