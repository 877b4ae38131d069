#include "app/qt/page_speaker.h"

#include <QTextToSpeech>

namespace vrk::app {
namespace {

class DesktopSpeaker : public PageSpeaker {
public:
    DesktopSpeaker() {
        // speech-dispatcher carries the installed voices; other engines are a fallback.
        const QStringList engines = QTextToSpeech::availableEngines();
        m_engine = engines.contains(QStringLiteral("speechd"))
                       ? std::make_unique<QTextToSpeech>(QStringLiteral("speechd"))
                       : std::make_unique<QTextToSpeech>();
        for (const QLocale& locale : m_engine->availableLocales()) {
            if (locale.language() == QLocale::Japanese) {
                m_engine->setLocale(locale);
                break;
            }
        }
    }

    void say(const QString& text) override {
        m_engine->stop();
        m_engine->say(text);
    }
    void stop() override { m_engine->stop(); }

private:
    std::unique_ptr<QTextToSpeech> m_engine;
};

}  // namespace

std::unique_ptr<PageSpeaker> makeDesktopSpeaker() {
    return std::make_unique<DesktopSpeaker>();
}

}  // namespace vrk::app
