#pragma once
// Reading aloud. The window hands each page's text to a PageSpeaker; the desktop one speaks
// through Qt's text to speech (the speech-dispatcher service on Linux), created only once the
// reader turns reading aloud on. Tests give the window a speaker that records instead.

#include <QString>
#include <memory>

class QObject;

namespace vrk::app {

class PageSpeaker {
public:
    virtual ~PageSpeaker() = default;
    /// Stops what is being said and says text.
    virtual void say(const QString& text) = 0;
    /// Stops speaking.
    virtual void stop() = 0;
};

/// The desktop's speech service, with a Japanese voice when one is installed.
std::unique_ptr<PageSpeaker> makeDesktopSpeaker();

}  // namespace vrk::app
