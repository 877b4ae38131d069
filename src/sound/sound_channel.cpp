#include "sound/sound_channel.h"

#include <system_error>
#include <utility>

#include "common/file_names.h"

namespace vrk::sound {

SoundChannel::SoundChannel(SoundBackend& backend, interpreter::SoundFields& fields,
                           std::filesystem::path baseDir)
    : m_backend(backend),
      m_fields(fields),
      m_baseDir(std::move(baseDir)),
      m_self(std::make_shared<SoundChannel*>(this)) {}

SoundChannel::~SoundChannel() {
    // Expire the notices first: closing ends the playback, and its notice must not come back.
    m_self.reset();
    if (m_backend.isOpen()) {
        m_backend.close();
    }
    m_fields.soundOpen = false;
}

void SoundChannel::setPoster(Poster poster) {
    m_poster = std::move(poster);
}

void SoundChannel::setTickWaiter(TickWaiter waiter) {
    m_waitTicks = std::move(waiter);
}

void SoundChannel::setTickTimer(TickTimer timer) {
    m_tickTimer = std::move(timer);
}

void SoundChannel::setVolumes(int music, int effects) {
    m_musicVolume = heldVolume(music);
    m_effectVolume = heldVolume(effects);
    if (m_fields.soundOpen) {
        m_backend.setVolume(m_fields.soundIsMusic ? m_musicVolume : m_effectVolume);
    }
}

bool SoundChannel::playSound(const std::string& fileNameSjis) {
    stopSound();
    std::error_code error;
    const std::filesystem::path base = m_baseDir.empty() ? std::filesystem::current_path(error) : m_baseDir;
    const auto path = resolveFileName(fileNameSjis, base);
    bool opened = false;
    // Only a regular file is ever opened: a name may lead anywhere (an absolute name, "..",
    // a link), and a device or a FIFO would never end or never answer.
    if (path && std::filesystem::is_regular_file(*path, error)) {
        try {
            opened = m_backend.open(*path);
        } catch (const MediaDeviceError&) {
            opened = false;
        }
    }
    if (!opened) {
        closePlayer();
        m_fields.soundOpen = false;
        return false;
    }
    startPlayback();
    m_fields.soundOpen = true;
    return true;
}

void SoundChannel::stopSound() {
    if (!m_fields.soundOpen) {
        return;
    }
    m_fields.soundOpen = false;
    closePlayer();
}

void SoundChannel::onOptionUnchecked() {
    m_fields.soundIsMusic = false;
    stopSound();
}

void SoundChannel::onPlaybackFinished(bool completed) {
    if (!completed || !m_fields.soundIsMusic || !m_fields.soundOpen) {
        return;
    }
    const unsigned playback = m_generation;
    if (m_tickTimer) {
        std::weak_ptr<SoundChannel*> self = m_self;
        m_tickTimer(kRepeatPauseTicks, [self, playback] {
            if (auto alive = self.lock()) {
                (*alive)->repeatMusic(playback);
            }
        });
        return;
    }
    if (m_waitTicks) {
        m_waitTicks(kRepeatPauseTicks);
    }
    repeatMusic(playback);
}

void SoundChannel::repeatMusic(unsigned playback) {
    // The pause handles events: a page run, a choice or a menu command may have stopped or
    // replaced this music meanwhile, and the repeat belongs to the music that ended only.
    if (playback != m_generation || !m_fields.soundOpen || !m_fields.soundIsMusic) {
        return;
    }
    startPlayback();
}

void SoundChannel::startPlayback() {
    const unsigned playback = ++m_generation;
    // Music or effect as the page command that started it said (set before it called).
    m_backend.setVolume(m_fields.soundIsMusic ? m_musicVolume : m_effectVolume);
    std::weak_ptr<SoundChannel*> self = m_self;
    // The poster is copied here so that the audio thread never reads the channel's members.
    m_backend.play([self, playback, poster = m_poster](bool completed) {
        if (self.expired()) {
            return;  // the channel is being destroyed; its poster may be gone already
        }
        auto deliver = [self, playback, completed] {
            if (auto alive = self.lock()) {
                (*alive)->deliverNotice(playback, completed);
            }
        };
        if (poster) {
            poster(std::move(deliver));
        } else {
            deliver();
        }
    });
}

void SoundChannel::closePlayer() {
    ++m_generation;
    m_backend.close();
}

void SoundChannel::deliverNotice(unsigned generation, bool completed) {
    if (generation == m_generation) {
        m_endedGeneration = generation;
        onPlaybackFinished(completed);
    }
}

}  // namespace vrk::sound
