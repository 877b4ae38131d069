#pragma once
// What can be told about a sound file without a decoder: the checks a back end makes before
// it hands a file to its device, and all it can check when there is no device to play on.
//
// A story's sounds come from anywhere, and the decoders behind the back ends take whatever
// they are given: a sparse file of gigabytes, a track of a MIDI file that FluidSynth turns
// into tens of bytes per event, a few megabytes of ADPCM that SDL's WAVE reader expands into
// a buffer ten or forty times as large. So a sound is read once, through the bounded reader,
// and these limits are checked on the bytes that will play:
//
//   - a sound file holds at most kMaxSoundFileBytes (64 MiB); a larger one does not open;
//   - the tracks of a MIDI file hold at most kMaxMidiTrackBytes (4 MiB) together;
//   - a WAVE file decoded whole (the ADPCM files the music stream cannot read) decodes to at
//     most kMaxDecodedWaveBytes (128 MiB, some 12 minutes of 44.1 kHz stereo), both in its own
//     format and in the device's.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace vrk::sound {

/// The most bytes of one sound file the player reads.
inline constexpr std::size_t kMaxSoundFileBytes = std::size_t{64} << 20;
/// The most bytes the tracks of one MIDI file hold together.
inline constexpr std::uint64_t kMaxMidiTrackBytes = std::uint64_t{4} << 20;
/// The most bytes a WAVE file decoded whole may take, in its own sample format at its own rate
/// and in the device's (16-bit stereo at 44.1 kHz).
inline constexpr std::uint64_t kMaxDecodedWaveBytes = std::uint64_t{128} << 20;

/// The bytes of a sound file: nothing when it is missing, not a regular file (a FIFO is not
/// waited on), empty, or larger than kMaxSoundFileBytes. Read at once, so that the checks and
/// the playback see the same bytes whatever happens to the name later.
std::optional<std::vector<char>> readSoundFile(const std::filesystem::path& path);

/// True when the bytes begin like a Standard MIDI File ("MThd").
bool hasMidiHeader(std::string_view bytes);
/// True when the header and every chunk of a Standard MIDI File lie within the bytes, it
/// holds at least one track, and its tracks hold at most kMaxMidiTrackBytes; a file cut short
/// fails.
bool midiChunksIntact(std::string_view bytes);
/// True when the bytes are a RIFF WAVE file whose format and data chunks say it decodes to
/// at most kMaxDecodedWaveBytes, in its own format and in the device's (16-bit stereo at
/// deviceRate Hz). False for anything else, and for a header that cannot say.
bool waveDecodesWithinLimit(std::string_view bytes, int deviceRate);
/// True when the name says MIDI (.mid, .midi, .kar, .rmi in any case).
bool hasMidiExtension(const std::filesystem::path& path);
/// Whether a file of these bytes, so named, would open when no audio device plays it: it is
/// not empty and, when it is made or named as MIDI, it is an intact MIDI file.
bool opensWithoutDevice(std::string_view bytes, const std::filesystem::path& name);

/// True for a file of no bytes or one whose size cannot be read.
bool isEmptyFile(const std::filesystem::path& path);
/// opensWithoutDevice on the bytes readSoundFile reads from path.
bool opensWithoutDevice(const std::filesystem::path& path);

}  // namespace vrk::sound
