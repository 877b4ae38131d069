#pragma once
// Reading aloud. The window hands each page's text to a PageSpeaker; the desktop one speaks
// through Qt's text to speech (the speech-dispatcher service on Linux), created only once the
// reader turns reading aloud on. Tests give the window a speaker that records instead.
//
// Qt's speech-dispatcher plugin brings no voice of its own: without the service and a
// synthesiser behind it (speech-dispatcher with espeak-ng) nothing is heard, and Qt says so only
// through the engine's state. The speaker passes that on, once, so the window can tell the
// reader instead of leaving reading aloud switched on in silence.

#include <QString>
#include <functional>
#include <memory>

namespace vrk::app {

class PageSpeaker {
public:
    /// Told why nothing can be read aloud.
    using UnavailableHandler = std::function<void(const QString& reason)>;

    virtual ~PageSpeaker() = default;
    /// Stops what is being said and says text.
    virtual void say(const QString& text) = 0;
    /// Stops speaking.
    virtual void stop() = 0;

    /// handler is called once when no speech engine answers: none is installed, the one there
    /// fails or has no voice. A speaker that had already found so calls it at once.
    void setUnavailableHandler(UnavailableHandler handler);
    /// Whether the speaker has found that nothing can be read aloud.
    bool unavailable() const { return m_unavailable; }

protected:
    /// For the speakers: nothing can be read aloud, for reason. Only the first report counts.
    void reportUnavailable(const QString& reason);

private:
    void tell();

    UnavailableHandler m_handler;
    bool m_unavailable = false;
    bool m_told = false;
    QString m_reason;
};

/// The desktop's speech service, with a Japanese voice when one is installed.
std::unique_ptr<PageSpeaker> makeDesktopSpeaker();
/// The same through the named engine of Qt's text to speech ("speechd", "flite", ...).
std::unique_ptr<PageSpeaker> makeDesktopSpeaker(const QString& engine);

}  // namespace vrk::app
