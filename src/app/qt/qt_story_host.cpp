#include "app/qt/qt_story_host.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "app/qt/main_window.h"
#include "app/reading_session.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "programs/outside_programs.h"

namespace vrk::app {

QtStoryHost::QtStoryHost(MainWindow& window, ReadingSession& session)
    : m_window(window), m_session(session) {}

QtStoryHost::~QtStoryHost() {
    // A window closed during a pause leaves no wait cursor behind.
    setBusy(false);
}

void QtStoryHost::setSoundBackend(std::unique_ptr<sound::SoundBackend> backend) {
    m_session.setSoundBackend(std::move(backend));
}

void QtStoryHost::setProjectDir(const std::filesystem::path& projectDir) {
    m_projectDir = projectDir;
}

void QtStoryHost::setProgramQuestion(std::function<programs::ProgramAnswer(const std::string&)> ask) {
    m_ask = std::move(ask);
}

bool QtStoryHost::effectPlaying() const {
    return m_session.effectPlaying();
}

void QtStoryHost::stopSound() {
    m_session.stopSound();
}

programs::ProgramAnswer QtStoryHost::askProgram(const std::string& commandLineSjis) {
    if (m_ask) {
        return m_ask(commandLineSjis);
    }
    QMessageBox box(QMessageBox::Question, QString::fromStdString(sjisToUtf8(messages::kApplicationTitle)),
                    QStringLiteral("この作品が外部プログラムを起動しようとしています。\n%1")
                        .arg(QString::fromStdString(sjisToUtf8(commandLineSjis))),
                    QMessageBox::NoButton, &m_window);
    box.setObjectName(QStringLiteral("ProgramQuestion"));
    QPushButton* once = box.addButton(QStringLiteral("今回だけ許可"), QMessageBox::AcceptRole);
    QPushButton* always = box.addButton(QStringLiteral("この作品では許可"), QMessageBox::YesRole);
    QPushButton* refuse = box.addButton(QStringLiteral("拒否"), QMessageBox::RejectRole);
    box.setDefaultButton(refuse);
    box.setEscapeButton(refuse);
    box.exec();
    if (box.clickedButton() == once) {
        return programs::ProgramAnswer::AllowOnce;
    }
    return box.clickedButton() == always ? programs::ProgramAnswer::AllowForProject
                                         : programs::ProgramAnswer::Refuse;
}

void QtStoryHost::launchProgram(const std::string& commandLineSjis) {
    // A story can name any program on the reader's machine; nothing starts unasked.
    const std::string project = m_projectDir.string() + m_session.story().locations.baseName;
    if (m_permissions.mayStart(project, commandLineSjis, [&] { return askProgram(commandLineSjis); })) {
        programs::launchProgram(commandLineSjis, m_projectDir);
    }
}

void QtStoryHost::setBusy(bool busy) {
    // The first page of an opening runs before the window is on the screen: there is nothing to
    // show the cursor over, and reading its pictures would only hold that page back.
    if (busy && !m_busyCursorShown && m_window.isVisible()) {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        m_busyCursorShown = true;
    } else if (!busy && m_busyCursorShown) {
        QApplication::restoreOverrideCursor();
        m_busyCursorShown = false;
    }
}

}  // namespace vrk::app
