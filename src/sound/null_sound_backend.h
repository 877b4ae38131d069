#pragma once
// The silent back end of the terminal player and of tests: any existing regular file
// opens and "plays" forever, until finishPlayback() says it ran to its end.

#include <filesystem>

#include "sound/sound_backend.h"

namespace vrk::sound {

class NullSoundBackend : public SoundBackend {
public:
    /// True for an existing regular file.
    bool open(const std::filesystem::path& path) override;
    /// Remembers the notice; nothing is heard.
    void play(FinishedHandler onFinished) override;
    /// Ends a running playback (completed=false) and forgets the file.
    void close() override;
    /// True between a successful open() and close().
    bool isOpen() const override { return m_open; }
    void setVolume(int percent) override { m_volume = heldVolume(percent); }
    /// The volume as last set.
    int volume() const { return m_volume; }

    /// Ends the running playback as if it had reached its end; false when none runs.
    bool finishPlayback();
    /// True while a playback waits for its notice.
    bool isPlaying() const { return static_cast<bool>(m_pending); }
    /// The file open now (empty when closed).
    const std::filesystem::path& openPath() const { return m_path; }
    /// Playbacks started since construction.
    int playCount() const { return m_playCount; }

private:
    void endPlayback(bool completed);

    std::filesystem::path m_path;
    FinishedHandler m_pending;
    bool m_open = false;
    int m_playCount = 0;
    int m_volume = kFullVolume;
};

}  // namespace vrk::sound
