#pragma once
// The main window's page area, a view of the reading session's page. The session decides the
// layout, the reveal, the holds, the scroll position and range; this view owns the window's
// pixels as a back buffer (Qt paints only inside paintEvent, so every copy "to the window" lands
// there and the changed rectangle is repainted from it), the page's textImage and maskImage as
// bands rendered when first seen, the 55 ms timer that ticks the session while it wants ticks,
// and the page scroll bar (16 px at the right edge), whose moves become the session's scrolling.
//
//   command to the session --> sync(): draws what takeChanges() names, passes the rest on
//   timer --> onRevealTick(): session.tick(), then sync()
//   click --> pageClicked(); wheel up at the top --> wheelUpAtTop()
//
// The page is drawn at the screen's own pixels: on a high-density screen (two device pixels to a
// pixel, say) its cells, lines, font and outline are scaled by the device pixel ratio and the
// columns are those of the page at its own pixels, so the lines break exactly where they would
// there and only the sharpness differs.
//
// Full screen keeps the page the window had: setFixedPage fixes its size and columns, and the
// view then scales that page up into a letterboxed frame. The text is not stretched: it is laid
// out again with the cells and the font scaled by the same factor (times the device pixel ratio)
// and forced to the same columns, so it is drawn sharp at the screen's own pixels with the same
// line breaks.

#include <QFont>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>

#include "app/reading_session.h"
#include "presentation/qt/text_renderer.h"
#include "presentation/reveal.h"
#include "presentation/text_layout.h"

class QScrollBar;

namespace vrk::presentation {

class PageAnnouncer;

class PageView : public QWidget {
    Q_OBJECT

public:
    /// The reveal timer's interval.
    static constexpr int kTickMs = app::ReadingSession::kTickMs;
    /// The page scroll bar's width; the text area is the client less this.
    static constexpr int kScrollBarWidth = app::ReadingSession::kScrollBarWidth;
    /// A wait while nonstop stops the timer sleeps this long per tick, handling nothing.
    static constexpr int kNonstopTickMs = 60;

    /// Paints the background of the text area (the client less the scroll bar).
    using BackgroundPainter = std::function<void(QPainter&, const QRect&)>;
    /// What the session reported beyond the page's pixels (buttons, pictures, notices).
    using ChangesHandler = std::function<void(const app::SessionChanges&)>;

    /// Shows session's page; the session must outlive the view.
    explicit PageView(app::ReadingSession& session, QWidget* parent = nullptr);

    /// Called first by every full paint; without one the text area is filled black.
    void setBackgroundPainter(BackgroundPainter painter) { m_backgroundPainter = std::move(painter); }
    /// Called when the page becomes complete (the last step, a click, skipping, nonstop).
    void setEnableChoices(std::function<void()> enable) { m_enableChoices = std::move(enable); }
    /// Called by every sync after the page is drawn.
    void setChangesHandler(ChangesHandler handler) { m_changesHandler = std::move(handler); }

    /// Draws what the session reports changed and passes the rest to the changes handler; then
    /// the timer runs exactly while the session wants ticks. Called after every command.
    void sync();

    /// The timer may run (tests stop it and tick by hand).
    bool revealTimerActive() const { return m_revealTimerOn; }
    void setRevealTimerActive(bool active);
    /// True while the timer is ticking: allowed, and the session has something to count.
    bool revealTimerTicking() const { return m_revealTimer.isActive(); }
    /// Nonstop switched (call after the story's option is set): a pause in progress ends, and
    /// switching it on finishes the page on show.
    void setNonstop(bool nonstop);

    /// Ticks per reveal step (1-5; 0 steps on every tick like 1).
    int revealSpeed() const { return m_session.revealSpeed(); }
    /// The next step comes after the new number of ticks; a reveal in progress goes on.
    void setRevealSpeed(int speed) { m_session.setRevealSpeed(speed); }
    /// The line gap in tenths (12 is 1.2).
    int lineGapTenths() const { return m_session.lineGapTenths(); }
    /// New line height from the measured sample, then the page is laid out again and repainted.
    void setLineGapTenths(int tenths);
    /// The font of the page text.
    const QFont& textFont() const { return m_textFont; }
    /// The new font; the page is laid out again and repainted (once shown).
    void setTextFont(const QFont& font);
    /// The cell grid in the back buffer's pixels: measured from the text font and the line gap,
    /// scaled by pageScale().
    const FontMetrics& metrics() const { return m_session.metrics(); }
    /// The cell grid at the page's own pixels, as a screen of one device pixel to a pixel has it.
    const FontMetrics& pageMetrics() const;

    /// Fixes the page at size (a window's page area, scroll bar included) and its present columns;
    /// the view scales it to fit. An empty size lets the page follow the view's size again.
    void setFixedPage(QSize size);
    bool pageFixed() const { return m_fixedSize.isValid(); }
    /// Where the page is drawn, in the view's coordinates: the whole view unless the page is fixed.
    QRect pageFrame() const;
    /// Device pixels per pixel of the page: the device pixel ratio while the page follows the
    /// view, the fixed page's scale to the screen's pixels while it is fixed.
    double pageScale() const { return m_scale; }
    /// The outline's width in device pixels: 1 at the page's own pixels, scaled with it.
    int outlineWidth() const;
    /// The font the text is drawn with: the text font, scaled by pageScale().
    const QFont& drawFont() const { return m_drawFont; }

    /// Full repaint over the whole client height, then the scroll range.
    void refreshPage();
    /// A paint of the window: refreshPage when the page has text, else the background only.
    void repaintPage();
    /// The next layout starts from nothing uncovered (a new page).
    void restartReveal() { m_session.restartReveal(); }
    /// Uncovers the whole page at once and repaints.
    void finishPage();
    /// A click on the page: with page text, the whole page and its choices; nothing
    /// otherwise, nor during the pause after a run.
    void completePageOnClick();

    /// One tick of the timer (also callable directly).
    void onRevealTick();
    /// PageUp/PageDown/Up/Down/Home/End move the page as the scroll bar's own keys do; false
    /// for any other key or when the page has nothing to scroll.
    bool scrollByKey(int key);
    /// The thumb let go (ScrollBar1Scroll): it lands on a whole line.
    void snapScrollThumb();

    /// True while part of the page is still covered.
    bool revealing() const { return !m_session.reveal().isComplete(); }
    /// Reveal steps of the page on show.
    int revealTotal() const { return m_session.reveal().revealTotal(); }
    /// The reveal progress and the step table.
    const RevealState& reveal() const { return m_session.reveal(); }
    /// The last layout drawn: columns, display lines, image size.
    const PageLayout& layout() const { return m_layout; }
    /// The page's rendered text and mask as last laid out, rendered whole on first call (for
    /// inspection: the view itself holds only the bands around what is shown).
    const QImage& textImage() const { return wholePage().textImage; }
    const QImage& maskImage() const { return wholePage().maskImage; }
    /// The rendered bands of the page.
    const PageBands& bands() const { return m_bands; }
    /// The window's pixels as last painted.
    const QImage& backBuffer() const { return m_backBuffer; }
    /// The client height in whole lines, as the reveal and the scroll range use it.
    int visibleHeight() const { return m_session.visibleHeight(); }
    /// The page scroll bar, a child at the right edge.
    QScrollBar* scrollBar() const { return m_scrollBar; }
    /// The page's text as a screen reader reads it now (the session's readable text).
    QString readableText() const;
    /// What the last page shown was announced with.
    QString announcement() const;

signals:
    /// A click on the page area, outside the buttons and the scroll bar.
    void pageClicked();
    /// The wheel turned up while the page was at its top (or could not scroll).
    void wheelUpAtTop();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    /// The wheel over the page scrolls it as the scroll bar would.
    void wheelEvent(QWheelEvent* event) override;

private:
    /// The page's size and scale to the session, when they changed.
    void updateGeometry();
    void paintFull(const std::vector<Uncover>& rects);
    void showScroll();
    bool ensureBackBuffer();
    void paintBackground(QPainter& painter);
    void uncoverStep(const Uncover& step);
    /// Renders the bands around the view a little at a time while idle and drops far ones.
    void scheduleBands();
    void prepareBands();
    const RenderedPage& wholePage() const;
    void updateFrame();
    /// The page in back-buffer pixels.
    QRect frame() const;
    QSize bufferSize() const;
    /// Device pixels per view pixel: the screen's own ratio.
    double pixelRatio() const;
    double fixedScale() const;
    /// What pageScale() should be now.
    double targetScale() const;
    /// The text area in back-buffer pixels, relative to the frame's corner.
    QRect textArea() const;
    /// A rectangle of the back buffer (relative to the frame's corner) in the view's coordinates.
    QRect toView(const QRect& bufferRect) const;
    /// The page's own size in its pixels: the fixed size, or the view's.
    QSize pageSize() const;
    void onScrollBarMoved(int value);
    /// Tells screen readers of a new page and of text the reveal has changed.
    void updateAccessibility(const app::SessionChanges& changes);

    app::ReadingSession& m_session;
    QTimer m_revealTimer;
    bool m_revealTimerOn = true;
    QScrollBar* m_scrollBar = nullptr;
    PageAnnouncer* m_announcer = nullptr;
    QString m_accessibleText;  // the readable text as screen readers were last told it
    BackgroundPainter m_backgroundPainter;
    std::function<void()> m_enableChoices;
    ChangesHandler m_changesHandler;
    QFont m_textFont;
    QFont m_drawFont;
    QSize m_fixedSize;     // invalid while the page follows the view
    double m_scale = 1.0;  // device pixels per page pixel
    QSize m_sessionSize;   // what the session was last told
    double m_sessionScale = 0.0;
    // Measured from m_textFont when first asked for after a change.
    mutable std::optional<FontSample> m_sample;
    mutable FontMetrics m_pageMetrics;
    bool m_repaintWhenShown = false;  // a repaint asked for while hidden
    bool m_syncing = false;
    PageLayout m_layout;
    PageBands m_bands;
    QTimer m_bandTimer;
    mutable std::optional<RenderedPage> m_wholePage;
    QImage m_backBuffer;
};

}  // namespace vrk::presentation
