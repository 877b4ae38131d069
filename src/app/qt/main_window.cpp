#include "app/qt/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLayout>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShortcutEvent>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>

#include "app/qt/author_tools.h"
#include "app/qt/dialog_language.h"
#include "app/qt/page_speaker.h"
#include "app/qt/qt_story_host.h"
#include "app/qt/story_dialog.h"
#include "app/reading_session.h"
#include "app/sdl/sdl_pads.h"
#include "app/startup_hook.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "pictures/qt/frame_placement.h"
#include "pictures/qt/picture_window.h"
#include "presentation/choices.h"
#include "presentation/qt/font_mapping.h"
#include "presentation/qt/page_view.h"
#include "presentation/qt/text_renderer.h"

namespace vrk::app {
namespace {

QString fromSjis(std::string_view sjis) {
    return QString::fromStdString(sjisToUtf8(sjis));
}

// The stored frame fitted to the screen it lands on (the primary screen when it lands on
// none): the whole frame, title bar and borders (extents) included, no larger than that
// screen's free area and inside it. Whatever the file says, the window is one that can be
// painted, seen and moved; the file gets the fitted frame back. The corner is the frame's,
// the size the client area's.
QRect fittedFrame(const Settings& settings, QSize minimum, const QMargins& extents) {
    QSize size(std::max(settings.width, minimum.width()), std::max(settings.height, minimum.height()));
    const QPoint corner(settings.left, settings.top);
    QScreen* screen = QGuiApplication::screenAt(corner);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return QRect(corner, size);
    }
    const QRect area = screen->availableGeometry();
    const QSize frameExtra(extents.left() + extents.right(), extents.top() + extents.bottom());
    size = size.boundedTo(area.size() - frameExtra).expandedTo(minimum);
    const QSize outer = size + frameExtra;
    const int left =
        std::clamp(settings.left, area.left(), std::max(area.left(), area.right() + 1 - outer.width()));
    const int top =
        std::clamp(settings.top, area.top(), std::max(area.top(), area.bottom() + 1 - outer.height()));
    return QRect(QPoint(left, top), size);
}

// Return and Enter press a focused push button as Space does, in the window and in every dialog
// over it. Qt gives them to no button outside a dialog (the window's open and choice buttons),
// and inside one to the default button rather than to a focused one that never becomes the
// default (the slot picker's erase button).
bool clickFocusedButton(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const auto* key = static_cast<QKeyEvent*>(event);
    if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) ||
        (key->modifiers() & ~Qt::KeypadModifier) != Qt::NoModifier || key->isAutoRepeat()) {
        return false;
    }
    auto* button = qobject_cast<QPushButton*>(watched);
    if (button == nullptr || button->window()->focusWidget() != button || !button->isEnabled() ||
        !button->isVisible()) {
        return false;
    }
    button->click();
    return true;
}

QFont buttonFont() {
    QFont font(presentation::mapFontFamily(QStringLiteral("ＭＳ Ｐゴシック")));
    font.setPixelSize(13);
    font.setBold(true);
    return font;
}

}  // namespace

MainWindow::MainWindow(std::filesystem::path programDir, const Settings& settings, QWidget* parent)
    : QMainWindow(parent),
      m_programDir(std::move(programDir)),
      // The page view gives the session its grid; the measurer stands in only without one.
      m_session(std::make_unique<ReadingSession>(
          m_programDir,
          [this](double) -> std::unique_ptr<presentation::TextMeasurer> {
              return std::make_unique<presentation::QtTextMeasurer>(m_page ? m_page->drawFont() : font());
          })),
      m_story(m_session->story()) {
    setObjectName(QStringLiteral("readingWindow"));
    useJapaneseInQtDialogs();
    setWindowTitle(QStringLiteral("Marivex Browser"));
    setMinimumSize(kMinWidth, kMinHeight);
    m_host = std::make_unique<QtStoryHost>(*this, *m_session);
    // The wait cursor while a page runs (the reader may be asked about a program meanwhile) and
    // through the pause after it.
    m_session->setBusyHandler([this](bool busy) { m_host->setBusy(busy); });
    m_session->setProgramLauncher(
        [this](const std::string& commandLineSjis) { m_host->launchProgram(commandLineSjis); });
    // Notices come from the audio thread; the window's event loop brings them over, and what
    // they changed is shown at once.
    m_session->setNoticePoster([this](std::function<void()> task) {
        QMetaObject::invokeMethod(
            this,
            [this, task = std::move(task)] {
                task();
                m_page->sync();
            },
            Qt::QueuedConnection);
    });

    m_page = new presentation::PageView(*m_session, this);
    setCentralWidget(m_page);
    m_page->installEventFilter(this);
    m_page->setChangesHandler([this](const SessionChanges& changes) { applyChanges(changes); });
    connect(m_page, &presentation::PageView::pageClicked, this, &MainWindow::onPageClicked);
    m_page->setBackgroundPainter([this](QPainter& painter, const QRect& area) {
        const SessionScreen screen = m_session->screen();
        if (screen.backgroundVersion != m_backgroundVersion) {
            m_backgroundVersion = screen.backgroundVersion;
            m_background.setBitmap(screen.backgroundPicture ? *screen.backgroundPicture : pictures::Bitmap());
        }
        std::string entry(screen.backgroundEntry);
        m_backgroundCache.paint(painter, area.size(), entry, screen.bgColour, m_story.options.lowColour,
                                m_background.image());
    });
    m_placement = new pictures::FramePlacement(this);
    m_pictureWindow = std::make_unique<pictures::PictureWindow>(this);
    m_pictureWindow->setLoadOptions([this] {
        return pictures::PictureLoadOptions{storyBaseDir(), m_story.options.lowColour};
    });
    createButtons();
    createMenus();
    createComforts();
    applySettings(settings);
    // Keys reach the window before its controls: every key of the application passes here.
    qApp->installEventFilter(this);
}

MainWindow::~MainWindow() {
    qApp->removeEventFilter(this);
    shutDown();
    // The page view reads the session, which is a member: it has to go before the members do.
    m_pictureWindow.reset();
    delete takeCentralWidget();
    m_page = nullptr;
}

std::filesystem::path MainWindow::storyBaseDir() const {
    if (m_story.locations.projectKnown()) {
        return m_story.locations.projectDir;
    }
    std::error_code ignored;
    return std::filesystem::current_path(ignored);
}

void MainWindow::createButtons() {
    const QFont font = buttonFont();
    for (int k = 1; k <= presentation::kChoiceButtons; ++k) {
        auto* button = new QPushButton(m_page);
        button->setObjectName(QStringLiteral("choiceButton%1").arg(k));
        button->setFont(font);
        button->setCursor(Qt::PointingHandCursor);
        button->resize(presentation::kChoiceButtonWidth, presentation::kChoiceButtonHeight);
        button->setVisible(k == 1);
        connect(button, &QPushButton::clicked, this, [this, k] { onChoiceClicked(k); });
        m_choiceButtons[static_cast<std::size_t>(k)] = button;
    }
    m_choiceButtons[1]->setText(fromSjis(messages::kOpenCaption));
    // Tab order runs left to right: choice button 6 first, choice button 1 last, then the scroll bar.
    for (int k = presentation::kChoiceButtons; k > 1; --k) {
        setTabOrder(m_choiceButtons[static_cast<std::size_t>(k)],
                    m_choiceButtons[static_cast<std::size_t>(k - 1)]);
    }
    if (auto* scrollBar = m_page->findChild<QWidget*>(QStringLiteral("pageScrollBar"))) {
        setTabOrder(m_choiceButtons[1], scrollBar);
    }
}

void MainWindow::placeButtons() {
    // Full screen places them in the page's frame as the window had them.
    const QRect frame = m_page->pageFrame();
    for (int k = 1; k <= presentation::kChoiceButtons; ++k) {
        const presentation::Rect r = presentation::choiceButtonRect(k, frame.width(), frame.height(),
                                                                    presentation::PageView::kScrollBarWidth);
        m_choiceButtons[static_cast<std::size_t>(k)]->setGeometry(frame.left() + r.left, frame.top() + r.top,
                                                                  r.width, r.height);
    }
}

QFont MainWindow::textFontFrom(const Settings& settings) const {
    QFont font;
    // The stored face may be a Windows one; the name is kept for the file as it was read.
    font.setFamily(presentation::mapFontFamily(fromSjis(settings.fontNameSjis)));
    if (settings.fontSize > 0) {
        font.setPointSize(settings.fontSize);
    }
    font.setBold(settings.bold);
    font.setItalic(settings.italic);
    return font;
}

void MainWindow::applySettings(const Settings& settings) {
    m_placement->place([settings](const QMargins& extents) {
        return fittedFrame(settings, QSize(kMinWidth, kMinHeight), extents);
    });
    m_fontNameSjis = settings.fontNameSjis;
    m_page->setTextFont(textFontFrom(settings));
    action(MenuId::Midi)->setChecked(settings.mid);
    action(MenuId::Wav)->setChecked(settings.wav);
    action(MenuId::OtherMedia)->setChecked(settings.other);
    action(MenuId::OldExe)->setChecked(settings.oldExe);
    action(MenuId::LowRes)->setChecked(settings.lowRes);
    action(MenuId::Contrast)->setChecked(settings.contrast);
    action(MenuId::Nonstop)->setChecked(settings.nonstop);
    action(MenuId::AutoAdvance)->setChecked(settings.autoAdvance);
    action(MenuId::Speech)->setChecked(settings.speech);
    m_session->setAutoAdvance(settings.autoAdvance);
    m_session->setVolumes(settings.musicVolume, settings.effectVolume);
    m_story.options = optionsFromChecks();
    m_page->setNonstop(settings.nonstop);
    m_revealSpeed = settings.revealSpeed;
    m_page->setRevealSpeed(m_revealSpeed);
    m_gapTenths = settings.gapTenths;
    m_page->setLineGapTenths(m_gapTenths);
}

Settings MainWindow::currentSettings() const {
    Settings s;
    // The frame's corner and the client area's size. While the window manager is still placing
    // the window, the place it is being brought to: a file read back places the window exactly
    // where it was, whatever rounding a frame of half pixels would add on the way.
    QRect frame(pos(), size());
    if (m_fullScreen) {
        frame = m_normalFrame;
    } else if (m_placement->pending()) {
        frame = m_placement->wanted();
    }
    s.left = frame.x();
    s.top = frame.y();
    s.width = frame.width();
    s.height = frame.height();
    const QFont font = m_page->textFont();
    s.fontNameSjis = m_fontNameSjis;
    s.fontSize = font.pointSize() > 0 ? font.pointSize() : s.fontSize;
    s.bold = font.bold();
    s.italic = font.italic();
    s.mid = m_story.options.playMidi;
    s.wav = m_story.options.playWave;
    s.other = m_story.options.playOtherMedia;
    s.oldExe = m_story.options.linesRunAsPrograms;
    s.lowRes = m_story.options.lowColour;
    s.contrast = m_story.options.brightOutline;
    s.nonstop = m_story.options.revealAtOnce;
    s.revealSpeed = m_revealSpeed;
    s.gapTenths = m_gapTenths;
    s.autoAdvance = action(MenuId::AutoAdvance)->isChecked();
    s.speech = action(MenuId::Speech)->isChecked();
    s.musicVolume = m_session->musicVolume();
    s.effectVolume = m_session->effectVolume();
    return s;
}

void MainWindow::setProject(const std::filesystem::path& projectDir, const std::string& baseName,
                            const std::filesystem::path& compiledDir, const std::filesystem::path& savesKey) {
    m_story.locations.projectDir = projectDir;
    m_story.locations.baseName = baseName;
    m_story.locations.compiledDir = compiledDir;
    m_story.locations.savesKey = savesKey;
}

InspectorDock& MainWindow::inspector() {
    if (m_inspector == nullptr) {
        m_inspector = new InspectorDock(*this);
        addDockWidget(Qt::RightDockWidgetArea, m_inspector);
        connect(this, &MainWindow::openingFinished, m_inspector, [this] { labelsReloaded(); });
    }
    return *m_inspector;
}

void MainWindow::labelsReloaded() {
    if (m_inspector != nullptr) {
        m_inspector->labelsChanged();
        m_inspector->refresh();
    }
}

void MainWindow::shutDown() {
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    m_session->flush();
    if (m_page != nullptr) {
        showNotices();
    }
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_firstShow) {
        m_firstShow = false;
        onFirstShow();
    }
}

void MainWindow::onFirstShow() {
    placeButtons();
    // Looking for pads reads the input devices: after the window is on screen.
    QTimer::singleShot(0, this, &MainWindow::startPads);
}

void MainWindow::settleLayout() {
    if (layout()) {
        layout()->activate();
    }
    // The page is told its size at once, although no resize event comes before it is shown.
    m_page->sync();
}

void MainWindow::openThenShow() {
    // The first page is laid out for the window's own size although nothing is on screen yet.
    // That size (the menu bar measures its fonts for it) is worked out in the first idle turn,
    // which comes while the slot picker waits for the reader; the opening settles it before
    // the page if no such turn came.
    QTimer::singleShot(0, this, &MainWindow::settleLayout);
    openProject();
    if (!m_closing) {
        show();
        startupMark("window-shown");
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) {
        m_closing = true;
        // The picture window is a window of its own and would keep the program running.
        m_pictureWindow->hide();
        QCoreApplication::quit();
    }
}

void MainWindow::showNotices() {
    m_page->sync();
}

void MainWindow::applyChanges(const SessionChanges& changes) {
    const SessionScreen screen = m_session->screen();
    if (changes.pictureChanged) {
        if (screen.pictureShown) {
            m_pictureWindow->showBitmap(*screen.picture);
        } else {
            m_pictureWindow->hidePicture();
        }
    }
    if (changes.buttonsChanged) {
        applyButtons(screen);
    }
    if (changes.completed) {
        // Focus on the leftmost button in use.
        m_choiceButtons[static_cast<std::size_t>(
                            std::clamp(m_session->focusButton(), 1, presentation::kChoiceButtons))]
            ->setFocus();
    }
    if (changes.focusChanged) {
        m_choiceButtons[static_cast<std::size_t>(m_session->choiceFocus())]->setFocus();
    }
    if (changes.heldChanged) {
        m_host->setBusy(m_session->heldBack());
    }
    action(MenuId::AutoAdvance)->setChecked(m_session->autoAdvance());
    action(MenuId::Skip)->setChecked(m_session->skipping());
    if (changes.pagesShown > 0) {
        closeBacklog();
        speakPage();
        printPageForTests(*this);
        if (m_inspector != nullptr) {
            m_inspector->refresh();
        }
    }
    for (const std::string& error : changes.errors) {
        reportError(utf8ToSjisLossy(error));
    }
    for (const std::string& notice : changes.notices) {
        showNotice(utf8ToSjisLossy(notice));
    }
}

void MainWindow::applyButtons(const SessionScreen& screen) {
    for (int k = 1; k <= presentation::kChoiceButtons; ++k) {
        QPushButton* button = m_choiceButtons[static_cast<std::size_t>(k)];
        if (k > screen.visibleButtons) {
            button->hide();
            continue;
        }
        button->setEnabled(screen.choicesEnabled);
        button->setText(fromSjis(m_session->buttonCaptionSjis(k)));
        // The caption is the key's letter; a screen reader reads the choice it takes too.
        button->setAccessibleName(fromSjis(m_session->buttonNameSjis(k)));
        button->show();
    }
    // The busy cursor over the page while its choices wait for the page to be complete.
    if (screen.choicesEnabled) {
        m_page->unsetCursor();
    } else {
        m_page->setCursor(Qt::BusyCursor);
    }
}

void MainWindow::reportError(const std::string& messageSjis) {
    QMessageBox box(QMessageBox::Critical, fromSjis(messages::kApplicationTitle), fromSjis(messageSjis),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("ErrorReport"));
    box.exec();
}

void MainWindow::showNotice(const std::string& noticeSjis) {
    StoryDialog box(this);
    box.setCommentSjis(noticeSjis);
    box.exec();
}

// A click on a choice button. A button can only be clicked while enabled, that is once its page is
// complete.
void MainWindow::onChoiceClicked(int k) {
    if (m_session->clickButton(k)) {
        showNotices();
        return;
    }
    if (m_story.locations.projectKnown()) {
        reopenProject();
    } else {
        openProjectFromDialog();
    }
}

// A click on the page finishes it at once.
void MainWindow::onPageClicked() {
    m_page->completePageOnClick();
}

// The choice keys. True when the key chose; the key is then not handed on, so a focused
// button cannot act on it a second time.
bool MainWindow::handleChoiceKey(const QString& text) {
    if (text.size() != 1) {
        return false;
    }
    const bool chose = m_session->chooseKey(text.at(0).unicode());
    showNotices();
    return chose;
}

bool MainWindow::commandHeldBack() const {
    // Input handled while a page run or its pause holds commands back must not start a second run.
    return m_session->heldBack();
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_page && event->type() == QEvent::Resize) {
        placeButtons();
        return false;
    }
    // The inspector takes its own keys: a label typed into its filter chooses nothing.
    if (m_inspector != nullptr && watched->isWidgetType() &&
        (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) &&
        m_inspector->isAncestorOf(static_cast<QWidget*>(watched))) {
        return false;
    }
    if (const std::optional<bool> used = handleComfortInput(watched, event)) {
        return *used;
    }
    if (clickFocusedButton(watched, event)) {
        return true;
    }
    if (event->type() == QEvent::Shortcut) {
        // Qt's own shortcut handling reached one of the menu items (it does once a menu has
        // been used and the menu bar keeps the focus): carry it out the refresh-first way.
        auto* action = qobject_cast<QAction*>(watched);
        if (action && isOwnShortcutAction(action) && !QApplication::activeModalWidget()) {
            runShortcut(static_cast<QShortcutEvent*>(event)->key());
            return true;
        }
        return false;
    }
    const bool keyPress = event->type() == QEvent::KeyPress;
    if ((!keyPress && event->type() != QEvent::ShortcutOverride) || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != this || QApplication::activeModalWidget()) {
        return false;
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier) || key->key() == Qt::Key_F1 ||
        key->key() == Qt::Key_F11) {
        const QKeySequence sequence(key->keyCombination());
        if (!keyPress) {
            // Claim the menu keys as ordinary key presses, so they come back here instead of
            // triggering an item whose enabled state no refresh has checked.
            if (!hasShortcut(sequence)) {
                return false;
            }
            event->accept();
            return true;
        }
        return runShortcut(sequence);
    }
    if (!keyPress) {
        return false;
    }
    // The choice buttons use none of the scrolling keys; the scroll bar handles them itself.
    if (key->modifiers() == Qt::NoModifier && watched != m_page->scrollBar() &&
        m_page->scrollByKey(key->key())) {
        return true;
    }
    return handleChoiceKey(key->text());
}

bool MainWindow::hasShortcut(const QKeySequence& key) const {
    return std::any_of(m_shortcuts.begin(), m_shortcuts.end(),
                       [&](const ShortcutItem& item) { return item.key == key; });
}

bool MainWindow::isOwnShortcutAction(const QAction* action) const {
    return std::any_of(m_shortcuts.begin(), m_shortcuts.end(),
                       [&](const ShortcutItem& item) { return item.action == action; });
}

}  // namespace vrk::app
