#pragma once
// Which instruments a Standard MIDI File plays, read from its bytes without playing it. The
// MIDI player loads an instrument's samples from the soundfont only while a channel has it
// selected, and a selection made while the music plays would read the soundfont on the audio
// thread; so the back end loads every instrument the file will sound before the music starts.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace vrk::sound {

/// A bank select or program change, the only events that change a channel's instrument.
struct MidiProgramEvent {
    enum class Kind : std::uint8_t { BankMsb, BankLsb, Program };
    std::uint64_t tick = 0;
    std::uint8_t channel = 0;
    Kind kind = Kind::Program;
    std::uint8_t value = 0;

    bool operator==(const MidiProgramEvent&) const = default;
};

struct MidiProgramUse {
    /// The file's bank selects and program changes in the order they play: by tick, and at
    /// the same tick in the order of the tracks.
    std::vector<MidiProgramEvent> events;
    /// The ticks of the first and the last sounding note on each channel; none when the
    /// channel plays no note.
    std::array<std::optional<std::uint64_t>, 16> firstNote{};
    std::array<std::optional<std::uint64_t>, 16> lastNote{};
    /// True when the file held more bank selects and program changes than are kept.
    bool truncated = false;
};

/// The most bank selects and program changes kept from one file; a file with more has its
/// later instruments loaded as they are selected.
inline constexpr std::size_t kMaxMidiProgramEvents = 4096;

/// Reads the tracks of a Standard MIDI File; a track that is cut short or malformed counts as
/// far as it can be read. Nothing for bytes that are no MIDI file.
MidiProgramUse midiProgramUse(std::string_view bytes);

}  // namespace vrk::sound
