#pragma once
// bench/startup.sh's probe, shared by vrk3 (through first_frame_hook.cpp) and the bare window
// it is compared with: reportFirstPage() once the first frame that counts has been handed to
// the display, then the program ends at once (or, with VRK_STARTUP_PROBE=stay, goes on so that
// its memory can be read). Header-only, so that the bare window links nothing of the player.

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <cstdlib>
#include <functional>

#include "startup_marks.h"

namespace vrk::bench {

class FirstFrameProbe : public QObject {
public:
    /// Watches widget's paints; a paint counts when counts() says so then.
    FirstFrameProbe(QWidget* widget, std::function<bool()> counts)
        : QObject(widget), m_widget(widget), m_counts(std::move(counts)) {
        widget->installEventFilter(this);
        QCoreApplication::instance()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (m_reported) {
            return false;
        }
        if (watched == m_widget && event->type() == QEvent::Paint && !m_painted && m_counts()) {
            m_painted = true;
            // A paint outside the window's own update (a direct repaint) is reported once the
            // event loop comes round.
            QTimer::singleShot(0, this, [this] { report(); });
            return false;
        }
        // The top-level widget's update request and its window's expose paint the widgets and
        // flush them to the display before they return: the frame is out when one of them has
        // been handled, not once whatever else the event loop has queued has run too.
        const bool windowUpdate = event->type() == QEvent::Expose || event->type() == QEvent::UpdateRequest;
        if (windowUpdate && m_widget &&
            (watched == m_widget->window() || watched == m_widget->window()->windowHandle())) {
            // The widgets' paints inside pass this filter on their way and set m_painted.
            static_cast<QObject*>(watched)->event(event);
            if (m_painted) {
                report();
            }
            return true;
        }
        return false;
    }

private:
    void report() {
        if (m_reported) {
            return;
        }
        m_reported = true;
        reportFirstPage();
        if (qgetenv("VRK_STARTUP_PROBE") != "stay") {
            std::_Exit(0);
        }
    }

    QPointer<QWidget> m_widget;
    std::function<bool()> m_counts;
    bool m_painted = false;
    bool m_reported = false;
};

}  // namespace vrk::bench
