#include "sound/qt/sound_poster.h"

#include <QMetaObject>

#include <utility>

namespace vrk::sound {

SoundChannel::Poster makeQtPoster(QObject* context) {
    return [context](std::function<void()> task) {
        QMetaObject::invokeMethod(context, std::move(task), Qt::QueuedConnection);
    };
}

}  // namespace vrk::sound
