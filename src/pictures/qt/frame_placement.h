#pragma once
// Places a top-level window by its outer frame, the way positions are stored and worked out
// (QWidget::move/pos are the frame's corner, setGeometry/geometry the client area's).
//
// Qt can only honour a frame position once the window manager has told it the frame, and the
// window manager frames a window after it appears: until then a position may land on the client
// area, with the title bar above the screen, and a half-pixel frame at a fractional scale is
// rounded differently on the way in and out. So the window is placed as well as it can be
// before it appears, and for a short while after each appearance every frame the window
// manager reports is checked against the one wanted and the client area moved to make them
// agree. The wanted frame is worked out again from the frame's real extents then, so a window
// fitted to the screen is fitted with its title bar.

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QWidget>
#include <functional>

namespace vrk::pictures {

class FramePlacement : public QObject {
public:
    /// How long after a window appears its frame is still brought to the one wanted.
    static constexpr int kSettleMs = 1000;
    /// How often it is looked at meanwhile: a window manager that frames a window again (after
    /// full screen, or when shown again) need not move its client area, so no event tells.
    static constexpr int kPollMs = 40;

    /// The wanted frame corner and client size, from the frame's extents around the client
    /// area (zero while the window manager has not told them, and where there is none).
    using Target = std::function<QRect(const QMargins& frameExtents)>;

    explicit FramePlacement(QWidget* window) : QObject(window), m_window(window) {
        m_settle.setSingleShot(true);
        m_settle.setInterval(kSettleMs);
        connect(&m_settle, &QTimer::timeout, this, [this] { release(); });
        m_poll.setInterval(kPollMs);
        connect(&m_poll, &QTimer::timeout, this, [this] { apply(); });
        window->installEventFilter(this);
    }

    /// Places the window now and keeps it there through its next appearance (or, when it is on
    /// the screen already, for the settling time from now), unless the program moves or
    /// resizes it itself meanwhile.
    void place(Target target) {
        m_target = std::move(target);
        m_pending = true;
        m_shown = m_window->isVisible();
        m_applying = true;
        // A window framed before is framed alike again.
        const QMargins extents = frameExtents().isNull() ? m_lastExtents : frameExtents();
        m_wanted = m_target(extents);
        if (m_window->testAttribute(Qt::WA_WState_Created) && !extents.isNull()) {
            m_window->setGeometry(clientFor(m_wanted, extents));
        } else {
            // Never framed: Qt asks the window system to put the frame's corner here.
            m_window->move(m_wanted.topLeft());
            m_window->resize(m_wanted.size());
        }
        m_applying = false;
        if (m_window->isVisible()) {
            settle();
        }
    }
    /// Stops keeping the window in place (full screen, for one).
    void release() {
        m_pending = false;
        m_settle.stop();
        m_poll.stop();
    }

    /// True while the window is still being brought to the wanted frame.
    bool pending() const { return m_pending; }
    /// The frame wanted: its corner and the client size.
    QRect wanted() const { return m_wanted; }

    /// The frame around the client area as the window system reports it.
    QMargins frameExtents() const {
        const QRect frame = m_window->frameGeometry();
        const QRect client = m_window->geometry();
        return QMargins(client.left() - frame.left(), client.top() - frame.top(),
                        frame.right() - client.right(), frame.bottom() - client.bottom());
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched != m_window || !m_pending) {
            return false;
        }
        switch (event->type()) {
            case QEvent::Show:
                m_shown = true;
                settle();
                apply();
                break;
            case QEvent::Move:
            case QEvent::Resize:
                // The program moving or resizing its window itself decides where it goes; what
                // the window system reports comes as spontaneous events.
                if (m_shown && !event->spontaneous() && !m_applying) {
                    release();
                } else if (m_window->isVisible()) {
                    apply();
                }
                break;
            default:
                break;
        }
        return false;
    }

private:
    static QRect clientFor(const QRect& frame, const QMargins& extents) {
        return QRect(frame.topLeft() + QPoint(extents.left(), extents.top()), frame.size());
    }

    void settle() {
        m_settle.start();
        m_poll.start();
    }

    void apply() {
        if (m_applying || !m_target || !m_window || !m_window->isVisible() || m_window->isFullScreen()) {
            return;
        }
        const QMargins extents = frameExtents();
        // Unframed: not yet told, or no window manager; what was asked before showing stands.
        if (extents.isNull()) {
            return;
        }
        m_applying = true;
        m_lastExtents = extents;
        m_wanted = m_target(extents);
        const QRect client = clientFor(m_wanted, extents);
        if (m_window->geometry() != client) {
            m_window->setGeometry(client);
        }
        m_applying = false;
    }

    QPointer<QWidget> m_window;
    Target m_target;
    QRect m_wanted;
    QMargins m_lastExtents;
    QTimer m_settle;
    QTimer m_poll;
    bool m_pending = false;
    bool m_shown = false;  // the window has appeared since it was placed
    bool m_applying = false;
};

}  // namespace vrk::pictures
