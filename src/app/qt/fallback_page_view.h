#pragma once
// A plain stand-in for the page view: the page's lines in the text font over the
// story's background colour, revealed a character per step on Timer1, with
// ScrollBar1 along the right edge. It carries exactly what the main window asks of
// a page view, so the window, its host and its tests run before the real view is in.
// TODO: removed once presentation/qt/page_view (outlined text, back buffer, the
// reveal table and background pictures) is committed and MainWindow holds that instead.

#include <QTimer>
#include <QWidget>

#include "interpreter/story.h"

class QScrollBar;

namespace vrk::app {

class FallbackPageView : public QWidget {
    Q_OBJECT

public:
    static constexpr int kTickMs = 55;
    static constexpr int kScrollBarWidth = 16;

    /// Shows story's page; story must outlive the view.
    explicit FallbackPageView(interpreter::Story& story, QWidget* parent = nullptr);

    /// Timer1's Tag: the countdown of waitTicks, lowered by one on every tick.
    int tag() const { return m_tag; }
    void setTag(int ticks) { m_tag = ticks; }
    /// Timer1 runs exactly while nonstop is off.
    bool timerActive() const { return m_timer.isActive(); }
    void setTimerActive(bool active);

    void setRevealSpeed(int speed) { m_revealSpeed = speed; }
    void setLineGapTenths(int tenths);
    void setTextFont(const QFont& font);

    /// Lays the page out again and repaints it.
    void refreshPage();
    /// The next layout starts from nothing uncovered.
    void restartReveal() { m_revealCount = 0; }
    /// Uncovers the whole page at once.
    void finishPage();
    /// True while part of the page is still covered.
    bool revealing() const { return m_revealCount < m_revealTotal; }
    /// Reveal steps of the page on show.
    int revealTotal() const { return m_revealTotal; }

signals:
    /// The last step was uncovered by the timer.
    void pageCompleted();
    /// A click on the page area, outside the buttons and the scroll bar.
    void pageClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void onTick();
    int lineHeight() const;

    interpreter::Story& m_story;
    QTimer m_timer;
    QScrollBar* m_scrollBar = nullptr;
    QStringList m_lines;
    int m_tag = 0;
    int m_revealSpeed = 2;
    int m_stepDelay = 0;
    int m_gapTenths = 12;
    int m_revealCount = 0;
    int m_revealTotal = 0;
};

}  // namespace vrk::app
