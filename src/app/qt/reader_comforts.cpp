// The view menu's comforts: the reading history behind the backlog and going back, read marks
// and skipping, auto-advance, copying, full screen and reading aloud. The interpreter tells the
// window of every run through PageObserver; everything else hangs off the page on show.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>

#include "app/qt/backlog_panel.h"
#include "app/qt/main_window.h"
#include "app/qt/page_speaker.h"
#include "app/qt/qt_story_host.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "pictures/qt/frame_placement.h"
#include "presentation/qt/page_view.h"

namespace vrk::app {
namespace {

// How often auto-advance looks whether a sound effect has ended.
constexpr int kSoundPollMs = 100;
// The moment a skipped page stays on show.
constexpr int kSkipPauseMs = 60;
// Read marks, one label a line, beside the slots.
constexpr const char* kReadMarksExtension = ".VRR";

}  // namespace

void MainWindow::createComforts() {
    m_interpreter->setObserver(this);
    connect(m_page, &presentation::PageView::wheelUpAtTop, this, &MainWindow::showBacklog);
    m_autoTimer.setObjectName(QStringLiteral("autoAdvanceTimer"));
    m_autoTimer.setSingleShot(true);
    connect(&m_autoTimer, &QTimer::timeout, this, &MainWindow::onAutoAdvanceTick);
    m_skipTimer.setSingleShot(true);
    connect(&m_skipTimer, &QTimer::timeout, this, [this] {
        if (m_skipping && singleNextOnShow()) {
            m_interpreter->selectChoice(1);
        }
    });
}

void MainWindow::setSpeaker(std::unique_ptr<PageSpeaker> speaker) {
    m_speaker = std::move(speaker);
    if (m_speaker) {
        m_speaker->setUnavailableHandler([this](const QString& reason) { onSpeechUnavailable(reason); });
    }
}

void MainWindow::pageRunStarting(std::int32_t offset) {
    m_autoTimer.stop();
    m_history.pageRunStarting(m_story.state, offset);
}

void MainWindow::pageShown(const std::string& labelSjis) {
    const std::filesystem::path marks = m_story.locations.saveFile(kReadMarksExtension);
    if (m_readMarks.file() != marks) {
        m_readMarks.load(marks);
    }
    const bool readBefore = m_readMarks.contains(labelSjis);
    m_readMarks.mark(labelSjis);
    m_history.pageShown(m_story.page.pageText, readBefore);
    closeBacklog();
    speakPage();
    if (!m_skipping) {
        return;
    }
    if (readBefore && singleNextOnShow()) {
        m_page->completePageOnClick();
        m_skipTimer.start(kSkipPauseMs);
    } else {
        setSkipping(false);
    }
}

bool MainWindow::singleNextOnShow() const {
    return m_story.scriptOpen() && m_story.page.choiceCount == 1 && !m_story.page.pageText.empty();
}

void MainWindow::showBacklog() {
    if (m_history.earlierPageCount() == 0 || backlogShown()) {
        return;
    }
    if (m_backlog == nullptr) {
        // Made when first opened: a text view is more than a start-up should have to build.
        m_backlog = new BacklogPanel(m_page);
        connect(m_backlog, &BacklogPanel::closeRequested, this, &MainWindow::closeBacklog);
    }
    std::vector<const std::vector<std::string>*> pages;
    for (std::size_t i = 0; i < m_history.earlierPageCount(); ++i) {
        pages.push_back(&m_history.pages()[i].textSjis);
    }
    const QRect frame = m_page->pageFrame();
    m_backlog->setGeometry(frame.adjusted(0, 0, -presentation::PageView::kScrollBarWidth, 0));
    m_backlog->show();
    m_backlog->raise();
    m_backlog->setFocus();
    // Filled once it has its size, so the scroll range it opens at the end of is the real one.
    m_backlog->setPages(pages);
}

bool MainWindow::backlogShown() const {
    return m_backlog != nullptr && m_backlog->isVisible();
}

void MainWindow::closeBacklog() {
    if (!backlogShown()) {
        return;
    }
    m_backlog->hide();
    QPushButton* button = m_choiceButtons[static_cast<std::size_t>(std::max(1, m_story.page.choiceCount))];
    if (button->isVisible() && button->isEnabled()) {
        button->setFocus();
    } else {
        m_page->setFocus();
    }
}

void MainWindow::goBackOnePage() {
    if (commandHeldBack() || !m_story.scriptOpen()) {
        return;
    }
    std::optional<PageRecord> previous = m_history.takeBackStep();
    if (!previous) {
        return;
    }
    closeBacklog();
    m_story.state = *previous->before;
    m_interpreter->runPageReporting(previous->offset);
}

void MainWindow::copyPageText() {
    if (m_story.page.pageText.empty()) {
        return;
    }
    QGuiApplication::clipboard()->setText(QString::fromStdString(pageTextUtf8(m_story.page.pageText)));
}

void MainWindow::onPageComplete() {
    if (!action(MenuId::AutoAdvance)->isChecked() || m_skipping || !singleNextOnShow()) {
        return;
    }
    m_autoPausing = false;
    m_autoTimer.start(0);
}

// First the page's sound effect has to end, then the pause for its length runs, then the page
// goes on as its "Next" would.
void MainWindow::onAutoAdvanceTick() {
    if (!action(MenuId::AutoAdvance)->isChecked() || !singleNextOnShow()) {
        return;
    }
    // Nothing goes on behind the backlog either.
    if (m_interpreter->isRunning() || m_host->effectPlaying() || backlogShown()) {
        m_autoPausing = false;
        m_autoTimer.start(kSoundPollMs);
        return;
    }
    if (!m_autoPausing) {
        m_autoPausing = true;
        m_autoTimer.start(autoAdvanceDelayMs(m_story.page.pageText));
        return;
    }
    m_autoPausing = false;
    m_interpreter->selectChoice(1);
}

void MainWindow::onAutoAdvanceToggled() {
    m_autoTimer.stop();
    if (action(MenuId::AutoAdvance)->isChecked() && !m_page->revealing()) {
        onPageComplete();
    }
}

void MainWindow::setSkipping(bool skipping) {
    m_skipping = skipping;
    action(MenuId::Skip)->setChecked(skipping);
    if (!skipping) {
        m_skipTimer.stop();
        return;
    }
    m_autoTimer.stop();
    // The page on show has been seen: skipping starts with it, unless it asks for a choice.
    if (singleNextOnShow() && !m_interpreter->isRunning()) {
        m_page->completePageOnClick();
        m_skipTimer.start(kSkipPauseMs);
    } else {
        setSkipping(false);
    }
}

void MainWindow::stopAutoAndSkip() {
    if (action(MenuId::AutoAdvance)->isChecked()) {
        action(MenuId::AutoAdvance)->setChecked(false);
        m_autoTimer.stop();
    }
    if (m_skipping) {
        setSkipping(false);
    }
}

void MainWindow::setFullScreenView(bool fullScreen) {
    action(MenuId::FullScreen)->setChecked(fullScreen);
    if (fullScreen == m_fullScreen) {
        return;
    }
    m_fullScreen = fullScreen;
    closeBacklog();
    if (fullScreen) {
        m_normalFrame = m_placement->pending() ? m_placement->wanted() : QRect(pos(), size());
        m_placement->release();
        // A window manager frames the window; a bare X server has none to make it full screen.
        const bool managed = !m_placement->frameExtents().isNull();
        // The page keeps the size it has now and is scaled from it.
        m_page->setFixedPage(m_page->size());
        menuBar()->hide();
        // The window manager's own full screen (_NET_WM_STATE_FULLSCREEN): no title bar, above
        // panels. A geometry set by the window itself would end that state again.
        showFullScreen();
        if (!managed && screen() != nullptr) {
            setGeometry(screen()->geometry());
        }
    } else {
        showNormal();
        menuBar()->show();
        m_page->setFixedPage(QSize());
        // Back to the frame it had, once the window manager has framed the window again.
        const QRect normal = m_normalFrame;
        m_placement->place([normal](const QMargins&) { return normal; });
    }
    placeButtons();
}

void MainWindow::onSpeechToggled() {
    if (action(MenuId::Speech)->isChecked()) {
        // Asked at once, so that a missing engine is told when the reader switches it on.
        if (speakerReady()) {
            speakPage();
        }
    } else if (m_speaker) {
        m_speaker->stop();
    }
}

bool MainWindow::speakerReady() {
    if (!m_speaker || m_speaker->unavailable()) {
        // Switched on again after a failure: the engine may have been installed or started since.
        setSpeaker(makeDesktopSpeaker());
    }
    return !m_speaker->unavailable();
}

void MainWindow::speakPage() {
    if (!action(MenuId::Speech)->isChecked() || m_story.page.pageText.empty() || !speakerReady()) {
        return;
    }
    // The choice lines carry their letters ("A: ..."), the keys that choose them.
    m_speaker->say(QString::fromStdString(pageTextUtf8(m_story.page.pageText)).trimmed());
}

void MainWindow::onSpeechUnavailable(const QString& reason) {
    // Once for each time reading aloud is switched on: the item goes off, and pages after this
    // one are not spoken to nobody. The box does not wait: the page run that spoke goes on.
    action(MenuId::Speech)->setChecked(false);
    auto* box = new QMessageBox(
        QMessageBox::Warning, QString::fromStdString(sjisToUtf8(messages::kApplicationTitle)),
        QStringLiteral("読み上げができません。音声合成エンジンが応答しません。\n"
                       "speech-dispatcher と espeak-ng（speech-dispatcher-espeak-ng）を入れてから、"
                       "もう一度「読み上げ」を選んでください。"),
        QMessageBox::Ok, this);
    box->setObjectName(QStringLiteral("speechUnavailable"));
    box->setInformativeText(reason);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

std::optional<bool> MainWindow::handleComfortInput(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::KeyPress && type != QEvent::MouseButtonPress) || !watched->isWidgetType()) {
        return std::nullopt;
    }
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this || QApplication::activeModalWidget()) {
        return std::nullopt;
    }
    if (type == QEvent::MouseButtonPress) {
        // The menu bar is how auto-advance and skip are switched off as well as on.
        if (!qobject_cast<QMenuBar*>(widget)) {
            stopAutoAndSkip();
        }
        return std::nullopt;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    const int code = key->key();
    const bool modifierOnly =
        code == Qt::Key_Control || code == Qt::Key_Shift || code == Qt::Key_Alt || code == Qt::Key_Meta;
    const QKeySequence sequence(key->keyCombination());
    const bool toggle =
        sequence == action(MenuId::AutoAdvance)->shortcut() || sequence == action(MenuId::Skip)->shortcut();
    if (!modifierOnly && !toggle) {
        stopAutoAndSkip();
    }
    const bool shortcut = key->modifiers() & (Qt::ControlModifier | Qt::AltModifier) || code == Qt::Key_F1 ||
                          code == Qt::Key_F11;
    if (backlogShown()) {
        if (code == Qt::Key_Escape) {
            closeBacklog();
            return true;
        }
        if (shortcut) {
            return std::nullopt;
        }
        // Nothing may choose behind the panel; its scrolling keys are its own, not the page's.
        if (!key->text().isEmpty()) {
            return true;
        }
        if (widget == m_backlog || m_backlog->isAncestorOf(widget)) {
            return false;
        }
        QApplication::sendEvent(m_backlog, event);
        return true;
    }
    if (code == Qt::Key_PageUp && key->modifiers() == Qt::NoModifier) {
        const QScrollBar* bar = m_page->scrollBar();
        if ((!bar->isEnabled() || bar->value() == bar->minimum()) && m_history.earlierPageCount() > 0) {
            showBacklog();
            return true;
        }
    }
    if (code == Qt::Key_Escape && m_fullScreen) {
        setFullScreenView(false);
        return true;
    }
    return std::nullopt;
}

}  // namespace vrk::app
