#include "app/qt/qt_story_host.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

#include "app/qt/main_window.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "pictures/qt/picture_window.h"
#include "presentation/qt/page_view.h"
#include "programs/outside_programs.h"
#include "sound/null_sound_backend.h"
#include "sound/sound_channel.h"

namespace vrk::app {

QtStoryHost::QtStoryHost(MainWindow& window) : m_window(window) {
    setSoundBackend(std::make_unique<sound::NullSoundBackend>());
}

QtStoryHost::~QtStoryHost() = default;

void QtStoryHost::setSoundBackend(std::unique_ptr<sound::SoundBackend> backend) {
    // The channel goes first: it closes the old player on its way out.
    m_channel.reset();
    m_backend = std::move(backend);
    m_channel = std::make_unique<sound::SoundChannel>(*m_backend, m_window.story().sound, m_projectDir);
    // Notices come from the audio thread; the window's event loop brings them over.
    m_channel->setPoster([this](std::function<void()> task) {
        QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
    });
    m_channel->setTickWaiter([this](int ticks) { waitTicks(ticks); });
}

void QtStoryHost::setProjectDir(const std::filesystem::path& projectDir) {
    m_projectDir = projectDir;
    m_channel->setBaseDir(projectDir);
}

void QtStoryHost::setProgramQuestion(std::function<programs::ProgramAnswer(const std::string&)> ask) {
    m_ask = std::move(ask);
}

void QtStoryHost::soundOptionUnchecked() {
    m_channel->onOptionUnchecked();
}

bool QtStoryHost::effectPlaying() const {
    return m_channel->playing() && !m_window.story().sound.soundIsMusic;
}

void QtStoryHost::showPicture(const std::string& fileNameSjis) {
    m_window.pictureWindow().showPicture(fileNameSjis);
}

void QtStoryHost::hidePicture() {
    m_window.pictureWindow().hidePicture();
}

bool QtStoryHost::loadPicture(const std::string& fileNameSjis) {
    return m_window.loadBackground(fileNameSjis);
}

bool QtStoryHost::playSound(const std::string& fileNameSjis) {
    return m_channel->playSound(fileNameSjis);
}

void QtStoryHost::stopSound() {
    m_channel->stopSound();
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
    const std::string project = m_projectDir.string() + m_window.story().locations.baseName;
    if (m_permissions.mayStart(project, commandLineSjis, [&] { return askProgram(commandLineSjis); })) {
        programs::launchProgram(commandLineSjis, m_projectDir);
    }
}

void QtStoryHost::waitTicks(int ticks) {
    m_window.pageView().waitTicks(ticks);
}

void QtStoryHost::repaint() {
    m_window.pageView().repaintPage();
}

void QtStoryHost::hideChoices() {
    m_window.hideChoices();
}

void QtStoryHost::prepareChoices() {
    m_window.prepareChoices();
}

void QtStoryHost::enableChoices() {
    m_window.enableChoices();
}

void QtStoryHost::refreshPage() {
    m_window.pageView().refreshPage();
}

void QtStoryHost::restartReveal() {
    m_window.pageView().restartReveal();
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

void QtStoryHost::showAboutComment(const std::string& commentSjis) {
    m_window.showAboutComment(commentSjis);
}

void QtStoryHost::reportError(const std::string& messageSjis) {
    m_window.reportError(messageSjis);
}

}  // namespace vrk::app
