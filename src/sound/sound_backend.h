#pragma once
// The media player under the sound channel. The channel (sound_channel.h) drives one
// back end: SdlMixerBackend (sdl/, a module LazySoundBackend loads at the first sound) in the
// window, NullSoundBackend headless and in tests. A back end holds at most one open file and plays it from
// its beginning; every playback ends in exactly one notice, which says whether it ran to its end.
//
//   page command -> SoundChannel::playSound -> SoundBackend::open/play
//   back end (any thread) -> notice -> poster -> SoundChannel::onPlaybackFinished (UI thread)

#include <filesystem>
#include <functional>
#include <stdexcept>

namespace vrk::sound {

/// A file that no available device can open or play. open() may throw it or return false;
/// both mean the same to the channel.
class MediaDeviceError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class SoundBackend {
public:
    /// Called once per playback: completed is true when it ran to its end, false when it was
    /// stopped, replaced, closed or failed to start. May be called on the audio thread.
    using FinishedHandler = std::function<void(bool completed)>;

    virtual ~SoundBackend() = default;

    /// Opens the file, closing whatever was open first; false when it cannot be played.
    virtual bool open(const std::filesystem::path& path) = 0;
    /// Plays the open file from its beginning (rewinding a playback that ended) without
    /// waiting; a playback still running is ended first with its notice (completed=false).
    virtual void play(FinishedHandler onFinished) = 0;
    /// Stops and releases the open file; a running playback gets its notice (completed=false).
    virtual void close() = 0;
    /// True between a successful open() and close().
    virtual bool isOpen() const = 0;
    /// The loudness of what plays and of what plays next, from 0 (silent) to kFullVolume (as
    /// the file has it); a value outside is held within.
    virtual void setVolume(int percent) = 0;
};

inline constexpr int kFullVolume = 100;

/// A volume held within 0-kFullVolume.
constexpr int heldVolume(int percent) {
    return percent < 0 ? 0 : percent > kFullVolume ? kFullVolume : percent;
}

}  // namespace vrk::sound
