#include "sound/midi_programs.h"

#include <gtest/gtest.h>

#include "midi_file_builder.h"

namespace vrk::sound {
namespace {

using test::midiFile;
using test::MidiTrack;
using Kind = MidiProgramEvent::Kind;

TEST(MidiProgramsTest, EventsComeInPlayingOrderAcrossTracks) {
    MidiTrack first;
    first.event(0, {0xB2, 0, 1})
        .event(0, {0xB2, 32, 2})
        .event(0, {0xC2, 40})
        .event(100, {0x92, 60, 90})
        .event(300, {0xC2, 41})
        .endOfTrack(10);
    MidiTrack second;
    second.event(0, {0xC5, 7}).event(200, {0x95, 64, 80}).event(0, {0x85, 64, 0}).endOfTrack(0);
    const MidiProgramUse use = midiProgramUse(midiFile({first, second}));
    const std::vector<MidiProgramEvent> expected = {
        {0, 2, Kind::BankMsb, 1}, {0, 2, Kind::BankLsb, 2},    {0, 2, Kind::Program, 40},
        {0, 5, Kind::Program, 7}, {400, 2, Kind::Program, 41},
    };
    EXPECT_EQ(use.events, expected);
    EXPECT_EQ(use.firstNote[2], 100u);
    EXPECT_EQ(use.lastNote[2], 100u);
    EXPECT_EQ(use.firstNote[5], 200u);
    EXPECT_FALSE(use.firstNote[0].has_value());
    EXPECT_FALSE(use.truncated);
}

// What a reader has to get right to stay in step: running status, system exclusive and meta
// events of any length, and a note-on of velocity 0, which is a note-off.
TEST(MidiProgramsTest, RunningStatusSysExAndMetaEventsAreStepped) {
    MidiTrack track;
    track.event(0, {0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7})
        .event(0, {0xFF, 0x03, 0x04, 'n', 'a', 'm', 'e'})
        .event(0, {0x99, 36, 0})  // velocity 0: no note
        .event(10, {38, 0})       // running status, still silent
        .event(10, {0xC9, 16})
        .event(0, {0xB9, 7, 100})
        .event(10, {0, 5})  // running status on a controller: a bank select
        .event(10, {0x99, 38, 70})
        .event(0x3FFF, {38, 0})
        .endOfTrack(0);
    const MidiProgramUse use = midiProgramUse(midiFile({track}));
    const std::vector<MidiProgramEvent> expected = {{20, 9, Kind::Program, 16}, {30, 9, Kind::BankMsb, 5}};
    EXPECT_EQ(use.events, expected);
    EXPECT_EQ(use.firstNote[9], 40u);
    EXPECT_EQ(use.lastNote[9], 40u);
}

TEST(MidiProgramsTest, DamagedFilesCountAsFarAsTheyRead) {
    MidiTrack track;
    track.event(0, {0xC0, 5}).event(10, {0x90, 60, 90}).event(10, {0xC0, 6}).endOfTrack(0);
    std::string cut = midiFile({track});
    cut.resize(cut.size() - 6);  // the second program change and the end are gone
    MidiProgramUse use = midiProgramUse(cut);
    EXPECT_EQ(use.events, (std::vector<MidiProgramEvent>{{0, 0, Kind::Program, 5}}));
    EXPECT_EQ(use.firstNote[0], 10u);

    MidiTrack noStatus;
    noStatus.event(0, {60, 90}).event(0, {0xC0, 1}).endOfTrack(0);
    EXPECT_TRUE(midiProgramUse(midiFile({noStatus})).events.empty()) << "data with no status ends the track";

    MidiTrack systemMessage;
    systemMessage.event(0, {0xF2, 0, 0}).event(0, {0xC0, 1}).endOfTrack(0);
    EXPECT_TRUE(midiProgramUse(midiFile({systemMessage})).events.empty());

    MidiTrack longMeta;
    longMeta.event(0, {0xFF, 0x01, 0x7F, 'x'}).event(0, {0xC0, 1});
    EXPECT_TRUE(midiProgramUse(midiFile({longMeta})).events.empty()) << "a meta event beyond the track";

    EXPECT_TRUE(midiProgramUse("RIFF....RMIDdata").events.empty());
    EXPECT_TRUE(midiProgramUse("").events.empty());
    EXPECT_TRUE(midiProgramUse(std::string("MThd\xFF\xFF\xFF\xFF\0\0\0\x01\0\x60", 14) + longMeta.bytes())
                    .events.empty())
        << "a header longer than the file";
}

TEST(MidiProgramsTest, EndlessProgramChangesAreCutAtTheLimit) {
    MidiTrack track;
    for (std::size_t i = 0; i < kMaxMidiProgramEvents + 10; ++i) {
        track.event(1, {0xC0, static_cast<int>(i % 128)});
    }
    track.endOfTrack(0);
    const MidiProgramUse use = midiProgramUse(midiFile({track}));
    EXPECT_EQ(use.events.size(), kMaxMidiProgramEvents);
    EXPECT_TRUE(use.truncated);
}

}  // namespace
}  // namespace vrk::sound
