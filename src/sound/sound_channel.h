#pragma once
// The player's single sound channel. The page commands decide what to play and keep
// soundName, previousSoundName and soundIsMusic; the channel owns soundOpen and the
// back end, and repeats music each time it runs to its end.
//
// Notices of the back end may come from the audio thread. The channel sends them
// through the poster to the UI thread (the window wires QMetaObject::invokeMethod,
// the terminal player a PostedTasks queue) and acts on them there. Each start or
// close of a playback bumps a generation, so a notice or a music repeat that belongs
// to a playback since closed or replaced never touches the player.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "interpreter/engine_state.h"
#include "sound/sound_backend.h"

namespace vrk::sound {

class SoundChannel {
public:
    /// Runs a task on the UI thread, later (posted) or at once.
    using Poster = std::function<void(std::function<void()>)>;
    /// Pauses for ticks of the 55 ms timer while the window goes on handling events.
    using TickWaiter = std::function<void(int ticks)>;
    /// Runs a task on the UI thread once ticks of the 55 ms timer have passed, without waiting
    /// for them: for a host that cannot pause inside a call (a web page's event loop).
    using TickTimer = std::function<void(int ticks, std::function<void()> task)>;

    /// The pause between the end of a music and its repeat.
    static constexpr int kRepeatPauseTicks = 10;

    /// Works on backend and fields, which must outlive the channel. Relative names are found
    /// from baseDir (the current directory when empty). Until a poster is set, notices are
    /// handled on the thread that delivers them; until a waiter is set, a repeat does not pause.
    SoundChannel(SoundBackend& backend, interpreter::SoundFields& fields, std::filesystem::path baseDir = {});
    /// Closes the player; notices still on their way are dropped.
    ~SoundChannel();
    SoundChannel(const SoundChannel&) = delete;
    SoundChannel& operator=(const SoundChannel&) = delete;

    /// Sets how notices reach the UI thread, for the playbacks started from now on; needed
    /// before the first playback with a back end that reports from its audio thread.
    void setPoster(Poster poster);
    /// Sets the wait used before a music repeat.
    void setTickWaiter(TickWaiter waiter);
    /// Sets a timer that the music repeat is handed to instead of waiting; it takes the place
    /// of the waiter. The repeat still belongs to the music that ended only.
    void setTickTimer(TickTimer timer);
    /// The volumes of music and of sound effects (0-100): the one of the sound playing now
    /// applies at once, and each playback gets its own as it starts.
    void setVolumes(int music, int effects);
    /// Sets the directory that relative names are found from.
    void setBaseDir(std::filesystem::path baseDir) { m_baseDir = std::move(baseDir); }

    /// Stops what plays, opens the file and starts it; soundOpen is then set. False is the
    /// media-device error: the player is closed and soundOpen cleared (the caller clears
    /// soundIsMusic).
    bool playSound(const std::string& fileNameSjis);
    /// Closes the player when soundOpen is set (clearing it); nothing otherwise.
    void stopSound();
    /// The end of the current playback: music that ran to its end while the channel is open
    /// is played again from its start after kRepeatPauseTicks; anything else is ignored.
    void onPlaybackFinished(bool completed);
    /// A sound option was unchecked: whatever plays stops, music or effect.
    void onOptionUnchecked();

    /// True while a playback is open and has not reported its end.
    bool playing() const { return m_fields.soundOpen && m_endedGeneration != m_generation; }

    /// Counts starts and closes of playbacks (a notice carries the count of its playback).
    unsigned generation() const { return m_generation; }

private:
    void startPlayback();
    void closePlayer();
    void deliverNotice(unsigned generation, bool completed);
    void repeatMusic(unsigned playback);

    SoundBackend& m_backend;
    interpreter::SoundFields& m_fields;
    std::filesystem::path m_baseDir;
    Poster m_poster;
    TickWaiter m_waitTicks;
    TickTimer m_tickTimer;
    int m_musicVolume = kFullVolume;
    int m_effectVolume = kFullVolume;
    unsigned m_generation = 0;
    unsigned m_endedGeneration = 0;  // the playback whose end was reported last
    // Notices hold a weak reference to this, so one that arrives after the channel is gone
    // finds it expired instead of a dangling pointer.
    std::shared_ptr<SoundChannel*> m_self;
};

}  // namespace vrk::sound
