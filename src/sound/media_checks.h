#pragma once
// What can be told about a sound file without a decoder: the checks a back end makes before
// it hands a file to its device, and all it can check when there is no device to play on.

#include <filesystem>

namespace vrk::sound {

/// True when the file begins like a Standard MIDI File ("MThd").
bool hasMidiHeader(const std::filesystem::path& path);
/// True when the header and every chunk of a Standard MIDI File lie within the file and it
/// holds at least one track; a file cut short fails.
bool midiChunksIntact(const std::filesystem::path& path);
/// True when the name says MIDI (.mid, .midi, .kar, .rmi in any case).
bool hasMidiExtension(const std::filesystem::path& path);
/// True for a file of no bytes or one whose size cannot be read.
bool isEmptyFile(const std::filesystem::path& path);
/// Whether a file would open when no audio device plays it: an existing, non-empty regular
/// file that, when it is made or named as MIDI, is an intact MIDI file.
bool opensWithoutDevice(const std::filesystem::path& path);

}  // namespace vrk::sound
