#pragma once
// The reading page's sound back end: the file's bytes go to the page's audio (sound.mjs, through
// page_audio.cpp), which plays MIDI on a synthesizer and everything else through Web Audio. The
// end of a playback comes back later from the page's event loop, never from another thread, so
// the channel needs no poster; it does need a tick timer for the music repeat, since a page
// cannot pause inside a call.
//
//   SoundChannel -> WebSoundBackend::open/play/close -> PageAudio (JavaScript)
//   JavaScript -> exported vrkSoundEnded -> WebSoundBackend::onEnded -> the channel's notice

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "sound/sound_backend.h"

namespace vrk::web {

/// The page's player of one file at a time; JavaScript in the page, a recorder in tests.
class PageAudio {
public:
    /// How the page plays a file: MIDI on the synthesizer, the others decoded by the browser.
    enum class Kind { Midi, Wave, Other };

    virtual ~PageAudio() = default;
    /// Takes the file's bytes, dropping what was open; false when the page cannot play it.
    virtual bool open(const std::string& path, const std::vector<char>& bytes, Kind kind) = 0;
    /// Starts the open file from its beginning, ending a running playback without a word; the
    /// end is reported with this number through WebSoundBackend::onEnded.
    virtual void play(std::uint32_t playback) = 0;
    /// Stops and drops the open file; no end is reported for it.
    virtual void close() = 0;
    /// The loudness of what plays and plays next, 0-100.
    virtual void setVolume(int percent) = 0;
};

class WebSoundBackend : public sound::SoundBackend {
public:
    /// Plays through audio, which must outlive the back end.
    explicit WebSoundBackend(PageAudio& audio);
    ~WebSoundBackend() override;
    WebSoundBackend(const WebSoundBackend&) = delete;
    WebSoundBackend& operator=(const WebSoundBackend&) = delete;

    /// Refuses what the window's player refuses before its decoders see it (no regular file, an
    /// empty one, a MIDI file cut short, a file named as MIDI that is none), then hands the
    /// bytes to the page.
    bool open(const std::filesystem::path& path) override;
    void play(FinishedHandler onFinished) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    void setVolume(int percent) override { m_audio.setVolume(sound::heldVolume(percent)); }

    /// The page's word that a playback ended by itself (completed) or could not start
    /// (not completed); a word about a playback since stopped or replaced is ignored. True
    /// when the word was taken.
    bool onEnded(std::uint32_t playback, bool completed);

    /// How a file goes to the page: by its content for MIDI, as the window's player does, by
    /// its name for the rest.
    static PageAudio::Kind kindOf(std::string_view bytes, const std::filesystem::path& path);

private:
    void endPlayback(bool completed);

    PageAudio& m_audio;
    FinishedHandler m_pending;
    std::uint32_t m_playback = 0;
    bool m_open = false;
};

}  // namespace vrk::web
