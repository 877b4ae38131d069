#pragma once
// Wires the sound channel's notices to the window's event loop: the SDL back end reports
// the end of a playback on its audio thread, and the channel must act on the UI thread.

#include <QObject>

#include "sound/sound_channel.h"

namespace vrk::sound {

/// A poster that queues each task to context's thread (QMetaObject::invokeMethod, queued).
/// context (the main window) must outlive the channel that uses the poster.
SoundChannel::Poster makeQtPoster(QObject* context);

}  // namespace vrk::sound
