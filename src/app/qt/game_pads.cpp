// Game controllers in the window: SDL reads the pads (app/sdl/sdl_pads.h) on a timer once the
// window is first shown, and each press goes to the reading session, whose rule (pad_mapping.h)
// says what it does. The window only carries out what is left to it: a choice button's click,
// a menu item as its shortcut would run it, and the backlog it draws.

#include <QApplication>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

#include "app/qt/backlog_panel.h"
#include "app/qt/main_window.h"
#include "app/sdl/sdl_pads.h"
#include "presentation/choices.h"

namespace vrk::app {

void MainWindow::startPads() {
    if (m_pads) {
        return;
    }
    m_pads = std::make_unique<SdlPads>();
    if (!m_pads->start()) {
        return;
    }
    m_padTimer = new QTimer(this);
    connect(m_padTimer, &QTimer::timeout, this, &MainWindow::pollPads);
    m_padTimer->start(kPadIdlePollMs);
}

void MainWindow::pollPads() {
    const std::vector<PadButton> presses = m_pads->poll();
    // Most readers have no pad: the window wakes up often only while one is plugged in.
    const int interval = m_pads->count() > 0 ? kPadPollMs : kPadIdlePollMs;
    if (m_padTimer->interval() != interval) {
        m_padTimer->setInterval(interval);
    }
    // A press meant for a dialog or another program is not the page's.
    if (QApplication::activeModalWidget() != nullptr || QApplication::activeWindow() == nullptr ||
        m_closing) {
        return;
    }
    for (const PadButton button : presses) {
        onPadButton(button);
    }
}

void MainWindow::onPadButton(PadButton button) {
    // A button the reader focused with the keyboard or the mouse is the one the pad takes.
    // The window's own focus: hasFocus() would also ask that the window be the active one.
    for (int k = 1; k <= presentation::kChoiceButtons; ++k) {
        if (focusWidget() == m_choiceButtons[static_cast<std::size_t>(k)]) {
            m_session->setChoiceFocus(k);
        }
    }
    const PadAction action = m_session->pressPadButton(button);
    switch (action.kind) {
        case PadAction::Kind::ClickButton:
            onChoiceClicked(action.button);
            return;
        case PadAction::Kind::MenuItem:
            runMenuItem(action.item);
            break;
        case PadAction::Kind::CloseBacklog:
            closeBacklog();
            break;
        case PadAction::Kind::ScrollBacklog:
            if (backlogShown()) {
                const bool down = action.amount > 0;
                m_backlog->verticalScrollBar()->triggerAction(
                    action.pages
                        ? (down ? QAbstractSlider::SliderPageStepAdd : QAbstractSlider::SliderPageStepSub)
                        : (down ? QAbstractSlider::SliderSingleStepAdd
                                : QAbstractSlider::SliderSingleStepSub));
            }
            break;
        default:
            break;
    }
    showNotices();
}

}  // namespace vrk::app
