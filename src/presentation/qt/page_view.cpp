#include "presentation/qt/page_view.h"

#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QThread>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace vrk::presentation {

PageView::PageView(interpreter::Story& story, QWidget* parent) : QWidget(parent), m_story(story) {
    setObjectName(QStringLiteral("PageView"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_revealTimer.setObjectName(QStringLiteral("revealTimer"));
    m_revealTimer.setInterval(kTickMs);
    connect(&m_revealTimer, &QTimer::timeout, this, &PageView::onRevealTick);
    m_scrollBar = new QScrollBar(Qt::Vertical, this);
    m_scrollBar->setObjectName(QStringLiteral("pageScrollBar"));
    m_scrollBar->setRange(0, 0);
    m_scrollBar->setEnabled(false);
    // Reachable with Tab, so a reader without a mouse can scroll with the bar's own keys.
    m_scrollBar->setFocusPolicy(Qt::StrongFocus);
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &PageView::paintPage);
    connect(m_scrollBar, &QScrollBar::sliderReleased, this, &PageView::snapScrollThumb);
    m_bandTimer.setSingleShot(true);
    m_bandTimer.setInterval(0);
    connect(&m_bandTimer, &QTimer::timeout, this, &PageView::prepareBands);
    // The font is measured when the page first needs it: a window sets its own font before
    // then, and the default font's measurement would be thrown away.
    m_textFont = font();
    m_drawFont = m_textFont;
    setRevealTimerActive(!m_story.options.nonstop);
}

void PageView::setRevealTimerActive(bool active) {
    m_revealTimerOn = active;
    if (active) {
        wakeRevealTimer();
    } else {
        m_revealTimer.stop();
    }
}

void PageView::setWaitTicksLeft(int ticks) {
    m_reveal.setWaitTag(ticks);
    wakeRevealTimer();
}

void PageView::wakeRevealTimer() {
    if (m_revealTimerOn && !m_revealTimer.isActive() && (revealing() || m_reveal.waitTag() > 0)) {
        m_revealTimer.start();
    }
}

void PageView::setNonstop(bool nonstop) {
    setRevealTimerActive(!nonstop);
    setWaitTicksLeft(0);
    if (nonstop) {
        completePageOnClick();
    }
}

void PageView::setLineGapTenths(int tenths) {
    m_lineGapTenths = tenths;
    m_metricsStale = true;
    m_story.page.layoutDirty = true;
    repaintPage();
}

void PageView::setTextFont(const QFont& font) {
    m_textFont = font;
    setFont(font);
    updateMetrics();
    if (m_fixedSize.isValid()) {
        m_fixedColumns = fixedColumns();
    }
    m_story.page.layoutDirty = true;
    repaintPage();
}

void PageView::updateMetrics() {
    m_drawFont = m_textFont;
    if (m_scale != 1.0) {
        if (m_drawFont.pixelSize() > 0) {
            m_drawFont.setPixelSize(std::max(1, qRound(m_drawFont.pixelSize() * m_scale)));
        } else {
            m_drawFont.setPointSizeF(std::max(1.0, m_drawFont.pointSizeF() * m_scale));
        }
    }
    m_metricsStale = true;
}

const FontMetrics& PageView::pageMetrics() const {
    if (m_metricsStale) {
        const FontSample sample = measureSample(m_textFont);
        m_sampleHeight = sample.sampleHeight;
        m_pageMetrics =
            measureFont(sample.sampleWidth, sample.wideGlyphWidth, sample.sampleHeight, m_lineGapTenths);
        // The page's grid scaled, not measured again from the scaled font: a scaled font's
        // cells may round wider, and the hanging character would run into the scroll bar.
        m_metrics = m_pageMetrics;
        if (m_scale != 1.0) {
            m_metrics.cellWidth = std::max(1, static_cast<int>(m_pageMetrics.cellWidth * m_scale));
            m_metrics.lineHeight = std::max(1, static_cast<int>(m_pageMetrics.lineHeight * m_scale));
            m_metrics.edgeAllowance =
                std::max(2, static_cast<int>(std::ceil(m_pageMetrics.edgeAllowance * m_scale)));
        }
        m_metricsStale = false;
    }
    return m_pageMetrics;
}

const FontMetrics& PageView::metrics() const {
    pageMetrics();
    return m_metrics;
}

int PageView::outlineWidth() const {
    return std::max(1, static_cast<int>(std::lround(m_scale)));
}

void PageView::setFixedPage(QSize size) {
    if (size.isValid() && !size.isEmpty()) {
        m_fixedSize = size;
        m_fixedColumns = fixedColumns();
    } else {
        m_fixedSize = QSize();
    }
    updateFrame();
    m_story.page.layoutDirty = true;
    repaintPage();
}

int PageView::fixedColumns() const {
    // The columns the window has at the fixed size, measured with the unscaled font.
    return columnsFor(m_fixedSize.width(), kScrollBarWidth,
                      measureFont(m_textFont, m_lineGapTenths).cellWidth);
}

QRect PageView::frame() const {
    if (!m_fixedSize.isValid()) {
        return QRect(QPoint(0, 0), bufferSize());
    }
    // Computed from the size as it stands: the window places its buttons before this view
    // has handled its own resize.
    const QSize device = bufferSize();
    const double scale = fixedScale();
    const QSize scaled(qRound(m_fixedSize.width() * scale), qRound(m_fixedSize.height() * scale));
    return QRect(QPoint((device.width() - scaled.width()) / 2, (device.height() - scaled.height()) / 2),
                 scaled);
}

void PageView::updateFrame() {
    const double oldScale = m_scale;
    m_scale = targetScale();
    const QRect view = pageFrame();
    m_scrollBar->setGeometry(view.right() + 1 - kScrollBarWidth, view.top(), kScrollBarWidth, view.height());
    if (m_scale != oldScale) {
        updateMetrics();
    }
}

double PageView::pixelRatio() const {
    return devicePixelRatioF();
}

double PageView::targetScale() const {
    return m_fixedSize.isValid() ? fixedScale() : pixelRatio();
}

double PageView::fixedScale() const {
    const QSize device = bufferSize();
    return std::min(static_cast<double>(device.width()) / m_fixedSize.width(),
                    static_cast<double>(device.height()) / m_fixedSize.height());
}

QSize PageView::bufferSize() const {
    return QSize(qRound(width() * pixelRatio()), qRound(height() * pixelRatio()));
}

QRect PageView::textArea() const {
    const int scrollBar = qRound(kScrollBarWidth * pixelRatio());
    return {0, 0, std::max(0, frame().width() - scrollBar), frame().height()};
}

QRect PageView::toView(const QRect& bufferRect) const {
    const QRect r = bufferRect.translated(frame().topLeft());
    if (pixelRatio() == 1.0) {
        return r;
    }
    const QPointF topLeft = QPointF(r.topLeft()) / pixelRatio();
    const QPointF bottomRight = QPointF(r.left() + r.width(), r.top() + r.height()) / pixelRatio();
    return QRectF(topLeft, bottomRight).toAlignedRect();
}

QRect PageView::pageFrame() const {
    return toView(QRect(QPoint(0, 0), frame().size()));
}

void PageView::paintBackground(QPainter& painter) {
    if (!m_backgroundPainter) {
        painter.fillRect(textArea(), Qt::black);
        return;
    }
    if (m_scale == 1.0) {
        m_backgroundPainter(painter, textArea());
        return;
    }
    // The background is the one of the page at its own pixels, scaled with it (tiles included);
    // only the text is drawn anew at the larger size.
    const QRect area = textArea();
    painter.save();
    painter.setClipRect(area);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.scale(m_scale, m_scale);
    m_backgroundPainter(painter, QRect(0, 0, static_cast<int>(std::ceil(area.width() / m_scale)),
                                       static_cast<int>(std::ceil(area.height() / m_scale))));
    painter.restore();
}

void PageView::layoutPage() {
    LayoutInput input;
    // At other than the page's own pixels the columns are the page's own (a fixed page keeps its
    // columns), whatever the scaled cells measure.
    const bool scaled = m_fixedSize.isValid() || m_scale != 1.0;
    const int columns = m_fixedSize.isValid() ? m_fixedColumns
                                              : columnsFor(width(), kScrollBarWidth, pageMetrics().cellWidth);
    input.clientWidth = scaled ? (columns + 1) * 2 * metrics().cellWidth + kScrollBarWidth : width();
    input.scrollBarWidth = kScrollBarWidth;
    input.metrics = metrics();
    input.textColour = m_story.state.textColour;
    input.contrast = m_story.options.contrast;
    input.nonstop = m_story.options.nonstop;
    input.previousRevealCount = m_reveal.revealCount();
    input.previousRevealTotal = m_reveal.revealTotal();
    m_layout = presentation::layoutPage(m_story.page.pageText, input);
    if (scaled) {
        // The image holds what it holds at the page's own pixels, the hanging character included.
        const int pageImageWidth = (pageMetrics().cellWidth + 1) * 2 * m_layout.columns + 2;
        m_layout.imageWidth = std::max(
            m_layout.imageWidth, static_cast<int>(std::ceil(pageImageWidth * m_scale)) + 2 * outlineWidth());
    }
    m_bands.reset(m_layout, m_drawFont, outlineWidth());
    m_wholePage.reset();
    m_reveal.startLayout(m_layout);
    wakeRevealTimer();
    m_story.page.layoutDirty = false;
    // The painting that asked for this layout goes on from position 0 itself.
    const QSignalBlocker blocker(m_scrollBar);
    m_scrollBar->setValue(0);
}

// A widget that is not shown yet gets its resize event late; its pixels follow its size anyway.
bool PageView::ensureBackBuffer() {
    if (width() <= 0 || height() <= 0) {
        return false;
    }
    if (m_backBuffer.size() != bufferSize()) {
        m_backBuffer = QImage(bufferSize(), QImage::Format_RGB32);
        m_backBuffer.fill(Qt::black);
    }
    return true;
}

void PageView::paintPage() {
    // Moved to a screen of another density: drawn again at its pixels.
    if (targetScale() != m_scale) {
        updateFrame();
        m_story.page.layoutDirty = true;
    }
    if (!ensureBackBuffer()) {
        return;
    }
    m_repaintWhenShown = false;
    QPainter painter(&m_backBuffer);
    painter.translate(frame().topLeft());
    paintBackground(painter);
    if (m_story.page.layoutDirty) {
        layoutPage();
    }
    for (const Uncover& rect : m_reveal.paintRects(m_scrollBar->value(), m_visibleHeight)) {
        m_bands.uncover(painter, rect);
    }
    update(toView(textArea()));
    scheduleBands();
}

void PageView::scheduleBands() {
    if (!m_bandTimer.isActive()) {
        m_bandTimer.start();
    }
}

// One band per idle turn: what is in view, then a band below it, where the reveal and scrolling
// go, then one above. Bands more than a screen away are dropped.
void PageView::prepareBands() {
    const int position = m_scrollBar->value();
    const int screen = std::max(frame().height(), PageBands::kBandRows);
    constexpr int kBand = PageBands::kBandRows;
    m_bands.keepOnly(position - screen, position + 2 * screen);
    if (m_bands.prepareOne(position, position + screen + kBand) ||
        m_bands.prepareOne(position - kBand, position)) {
        m_bandTimer.start();
    }
}

const RenderedPage& PageView::wholePage() const {
    if (!m_wholePage) {
        m_wholePage = m_bands.wholePage();
    }
    return *m_wholePage;
}

void PageView::refreshPage() {
    const int pageHeight = frame().height();
    m_visibleHeight = pageHeight;
    paintPage();
    m_visibleHeight = visibleHeightFor(pageHeight, metrics().lineHeight);
    const ScrollRange range = scrollRangeFor(m_bands.height(), metrics().lineHeight, m_visibleHeight);
    if (range.pageStep > 0) {
        m_scrollBar->setPageStep(range.pageStep);
        m_scrollBar->setSingleStep(range.singleStep);
    }
    // A maximum below the position moves it, which repaints through valueChanged.
    m_scrollBar->setMaximum(range.maximum);
    m_scrollBar->setEnabled(range.enabled);
}

void PageView::repaintPage() {
    // Settings applied to a window not shown yet, before it has a page, would paint a bare
    // background at a size it is about to lose; the showing paints it instead. A page is
    // painted whether shown or not: it is ready when the window comes onto the screen.
    if (!isVisible() && m_story.page.pageText.empty()) {
        m_repaintWhenShown = true;
        return;
    }
    if (!m_story.page.pageText.empty()) {
        refreshPage();
        return;
    }
    if (ensureBackBuffer()) {
        QPainter painter(&m_backBuffer);
        painter.translate(frame().topLeft());
        paintBackground(painter);
        update();
    }
}

void PageView::finishPage() {
    m_reveal.finish();
    repaintPage();
}

void PageView::completePageOnClick() {
    if (m_story.page.pageText.empty()) {
        return;
    }
    finishPage();
    if (m_enableChoices) {
        m_enableChoices();
    }
}

void PageView::waitTicks(int ticks) {
    if (!m_revealTimerOn) {
        QThread::msleep(static_cast<unsigned long>(std::max(0, ticks)) * kNonstopTickMs);
        return;
    }
    setWaitTicksLeft(ticks);
    // The window can go while events are handled here; nonstop ends the wait by clearing Tag.
    const QPointer<PageView> self(this);
    while (self && waitTicksLeft() > 0 && m_revealTimerOn) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void PageView::uncoverStep(const Uncover& step) {
    if (!ensureBackBuffer()) {
        return;
    }
    QPainter painter(&m_backBuffer);
    painter.translate(frame().topLeft());
    m_bands.uncover(painter, step);
    update(toView(QRect(step.windowX, step.windowY, step.source.width, step.source.height)));
    scheduleBands();
}

void PageView::onRevealTick() {
    // The choice buttons' band is in view pixels; the reveal counts in the back buffer's.
    const int buttonBandExtra = static_cast<int>(std::lround(kButtonBandHeight * (pixelRatio() - 1.0)));
    const TickResult result = m_reveal.tick(m_scrollBar->value(), m_visibleHeight - buttonBandExtra);
    if (result.action == TickResult::Action::Uncover) {
        uncoverStep(result.uncover);
    } else if (result.action == TickResult::Action::Scroll) {
        const int before = m_scrollBar->value();
        m_scrollBar->setValue(result.scrollTo);
        // At the end of the scroll range the repaint that would show the step never comes.
        if (m_scrollBar->value() == before) {
            uncoverStep(result.uncover);
        }
    }
    if (result.completed) {
        if (m_enableChoices) {
            m_enableChoices();
        }
        emit pageCompleted();
    }
    // Nothing left to count: the timer sleeps until a new layout or a wait wakes it.
    if (!revealing() && m_reveal.waitTag() == 0) {
        m_revealTimer.stop();
    }
}

void PageView::snapScrollThumb() {
    m_scrollBar->setValue(snapThumb(m_scrollBar->value(), metrics().lineHeight));
}

void PageView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (m_backBuffer.isNull()) {
        painter.fillRect(event->rect(), Qt::black);
        return;
    }
    if (pixelRatio() == 1.0) {
        painter.drawImage(event->rect().topLeft(), m_backBuffer, event->rect());
        return;
    }
    // The buffer holds device pixels: drawn 1:1 onto the screen's own pixels.
    const QRectF target(event->rect());
    const QRectF source(target.topLeft() * pixelRatio(), target.size() * pixelRatio());
    painter.drawImage(target, m_backBuffer, source);
}

void PageView::wheelEvent(QWheelEvent* event) {
    const bool atTop = !m_scrollBar->isEnabled() || m_scrollBar->value() == m_scrollBar->minimum();
    if (event->angleDelta().y() > 0 && atTop) {
        emit wheelUpAtTop();
        return;
    }
    if (m_scrollBar->isEnabled()) {
        QCoreApplication::sendEvent(m_scrollBar, event);
    }
}

bool PageView::scrollByKey(int key) {
    if (!m_scrollBar->isEnabled()) {
        return false;
    }
    QAbstractSlider::SliderAction action = QAbstractSlider::SliderNoAction;
    switch (key) {
        case Qt::Key_PageUp:
            action = QAbstractSlider::SliderPageStepSub;
            break;
        case Qt::Key_PageDown:
            action = QAbstractSlider::SliderPageStepAdd;
            break;
        case Qt::Key_Up:
            action = QAbstractSlider::SliderSingleStepSub;
            break;
        case Qt::Key_Down:
            action = QAbstractSlider::SliderSingleStepAdd;
            break;
        case Qt::Key_Home:
            action = QAbstractSlider::SliderToMinimum;
            break;
        case Qt::Key_End:
            action = QAbstractSlider::SliderToMaximum;
            break;
        default:
            return false;
    }
    m_scrollBar->triggerAction(action);
    return true;
}

void PageView::resizeEvent(QResizeEvent*) {
    updateFrame();
    m_story.page.layoutDirty = true;
    repaintPage();
}

void PageView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_repaintWhenShown) {
        repaintPage();
    }
}

void PageView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && toView(textArea()).contains(event->position().toPoint())) {
        emit pageClicked();
    }
}

}  // namespace vrk::presentation
