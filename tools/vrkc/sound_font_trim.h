#pragma once
// A General MIDI soundfont cut to what a story's music plays: the page fetches the soundfont
// before the first note, and a whole General MIDI set is megabytes of samples of which a story
// with two tunes sounds a handful of instruments.

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

namespace vrk::publish {

/// A soundfont preset: (bank, program); the percussion channel plays bank 128.
using Preset = std::pair<int, int>;

/// The presets a Standard MIDI File sounds: on every channel that plays a note, the
/// instrument it starts with and each one it selects, with the synthesizer's fallbacks (the
/// program in bank 0, for percussion the standard kit). Nothing for bytes that are no MIDI file.
std::set<Preset> midiPresets(std::string_view midi);

/// The SoundFont 2 with only the given presets, their instruments and their samples; the
/// rest of each record (names, generators, modulators, loop points) is kept as it was. Nothing
/// when the bytes are no SoundFont 2 this can read.
std::optional<std::string> trimSoundFont(std::string_view sf2, const std::set<Preset>& presets);

}  // namespace vrk::publish
