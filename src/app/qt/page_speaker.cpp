#include "app/qt/page_speaker.h"

#include <QTextToSpeech>

namespace vrk::app {

void PageSpeaker::setUnavailableHandler(UnavailableHandler handler) {
    m_handler = std::move(handler);
    tell();
}

void PageSpeaker::reportUnavailable(const QString& reason) {
    if (m_unavailable) {
        return;
    }
    m_unavailable = true;
    m_reason = reason;
    tell();
}

void PageSpeaker::tell() {
    if (!m_unavailable || m_told || !m_handler) {
        return;
    }
    m_told = true;
    // A copy: the handler may drop this speaker.
    const UnavailableHandler handler = m_handler;
    handler(m_reason);
}

namespace {

class DesktopSpeaker : public PageSpeaker {
public:
    explicit DesktopSpeaker(const QString& engine) {
        if (!engine.isEmpty()) {
            m_engine = std::make_unique<QTextToSpeech>(engine);
        } else if (QTextToSpeech::availableEngines().contains(QStringLiteral("speechd"))) {
            // speech-dispatcher carries the installed voices; other engines are a fallback.
            m_engine = std::make_unique<QTextToSpeech>(QStringLiteral("speechd"));
        } else {
            m_engine = std::make_unique<QTextToSpeech>();
        }
        // An engine can also fail later, when the service it talks to goes away.
        QObject::connect(m_engine.get(), &QTextToSpeech::stateChanged, m_engine.get(),
                         [this](QTextToSpeech::State state) {
                             if (state == QTextToSpeech::Error) {
                                 reportUnavailable(failure());
                             }
                         });
        if (m_engine->state() == QTextToSpeech::Error) {
            reportUnavailable(failure());
            return;
        }
        if (m_engine->availableVoices().isEmpty()) {
            reportUnavailable(
                QStringLiteral("The speech engine \"%1\" has no voice.").arg(m_engine->engine()));
            return;
        }
        for (const QLocale& locale : m_engine->availableLocales()) {
            if (locale.language() == QLocale::Japanese) {
                m_engine->setLocale(locale);
                break;
            }
        }
    }

    ~DesktopSpeaker() override {
        // The engine may still change its state while it goes; nobody is left to tell.
        m_engine->disconnect();
    }
    DesktopSpeaker(const DesktopSpeaker&) = delete;
    DesktopSpeaker& operator=(const DesktopSpeaker&) = delete;

    void say(const QString& text) override {
        if (unavailable()) {
            return;
        }
        m_engine->stop();
        m_engine->say(text);
    }
    void stop() override {
        if (!unavailable()) {
            m_engine->stop();
        }
    }

private:
    QString failure() const {
        const QString engine = m_engine->engine().isEmpty() ? QStringLiteral("-") : m_engine->engine();
        const QString said = m_engine->errorString();
        if (QTextToSpeech::availableEngines().isEmpty()) {
            return QStringLiteral("No speech engine of Qt's text to speech is installed.");
        }
        return QStringLiteral("The speech engine \"%1\" does not answer%2")
            .arg(engine, said.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + said);
    }

    std::unique_ptr<QTextToSpeech> m_engine;
};

}  // namespace

std::unique_ptr<PageSpeaker> makeDesktopSpeaker() {
    return std::make_unique<DesktopSpeaker>(QString());
}

std::unique_ptr<PageSpeaker> makeDesktopSpeaker(const QString& engine) {
    return std::make_unique<DesktopSpeaker>(engine);
}

}  // namespace vrk::app
