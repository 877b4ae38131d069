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
    setTextFont(font());
    setRevealTimerActive(!m_story.options.nonstop);
}

void PageView::setRevealTimerActive(bool active) {
    if (active) {
        m_revealTimer.start();
    } else {
        m_revealTimer.stop();
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
    m_metrics.lineHeight = lineHeightFor(m_sampleHeight, tenths);
    m_story.page.layoutDirty = true;
    repaintPage();
}

void PageView::setTextFont(const QFont& font) {
    m_textFont = font;
    setFont(font);
    m_sampleHeight = measureSample(font).sampleHeight;
    m_metrics = measureFont(font, m_lineGapTenths);
    m_story.page.layoutDirty = true;
    repaintPage();
}

void PageView::paintBackground(QPainter& painter) {
    if (m_backgroundPainter) {
        m_backgroundPainter(painter, textArea());
    } else {
        painter.fillRect(textArea(), Qt::black);
    }
}

void PageView::layoutPage() {
    LayoutInput input;
    input.clientWidth = width();
    input.scrollBarWidth = kScrollBarWidth;
    input.metrics = m_metrics;
    input.textColour = m_story.state.textColour;
    input.contrast = m_story.options.contrast;
    input.nonstop = m_story.options.nonstop;
    input.previousRevealCount = m_reveal.revealCount();
    input.previousRevealTotal = m_reveal.revealTotal();
    m_layout = presentation::layoutPage(m_story.page.pageText, input);
    m_bands.reset(m_layout, m_textFont);
    m_wholePage.reset();
    m_reveal.startLayout(m_layout);
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
    if (m_backBuffer.size() != size()) {
        m_backBuffer = QImage(size(), QImage::Format_RGB32);
        m_backBuffer.fill(Qt::black);
    }
    return true;
}

void PageView::paintPage() {
    if (!ensureBackBuffer()) {
        return;
    }
    QPainter painter(&m_backBuffer);
    paintBackground(painter);
    if (m_story.page.layoutDirty) {
        layoutPage();
    }
    for (const Uncover& rect : m_reveal.paintRects(m_scrollBar->value(), m_visibleHeight)) {
        m_bands.uncover(painter, rect);
    }
    update(textArea());
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
    const int screen = std::max(height(), PageBands::kBandRows);
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
    m_visibleHeight = height();
    paintPage();
    m_visibleHeight = visibleHeightFor(height(), m_metrics.lineHeight);
    const ScrollRange range = scrollRangeFor(m_bands.height(), m_metrics.lineHeight, m_visibleHeight);
    if (range.pageStep > 0) {
        m_scrollBar->setPageStep(range.pageStep);
        m_scrollBar->setSingleStep(range.singleStep);
    }
    // A maximum below the position moves it, which repaints through valueChanged.
    m_scrollBar->setMaximum(range.maximum);
    m_scrollBar->setEnabled(range.enabled);
}

void PageView::repaintPage() {
    if (!m_story.page.pageText.empty()) {
        refreshPage();
        return;
    }
    if (ensureBackBuffer()) {
        QPainter painter(&m_backBuffer);
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
    if (!m_revealTimer.isActive()) {
        QThread::msleep(static_cast<unsigned long>(std::max(0, ticks)) * kNonstopTickMs);
        return;
    }
    setWaitTicksLeft(ticks);
    // The window can go while events are handled here; nonstop ends the wait by clearing Tag.
    const QPointer<PageView> self(this);
    while (self && waitTicksLeft() > 0 && m_revealTimer.isActive()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

void PageView::uncoverStep(const Uncover& step) {
    if (!ensureBackBuffer()) {
        return;
    }
    QPainter painter(&m_backBuffer);
    m_bands.uncover(painter, step);
    update(QRect(step.windowX, step.windowY, step.source.width, step.source.height));
    scheduleBands();
}

void PageView::onRevealTick() {
    const TickResult result = m_reveal.tick(m_scrollBar->value(), m_visibleHeight);
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
}

void PageView::snapScrollThumb() {
    m_scrollBar->setValue(snapThumb(m_scrollBar->value(), m_metrics.lineHeight));
}

void PageView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    if (m_backBuffer.isNull()) {
        painter.fillRect(event->rect(), Qt::black);
        return;
    }
    painter.drawImage(event->rect().topLeft(), m_backBuffer, event->rect());
}

void PageView::wheelEvent(QWheelEvent* event) {
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
    m_scrollBar->setGeometry(width() - kScrollBarWidth, 0, kScrollBarWidth, height());
    m_story.page.layoutDirty = true;
    repaintPage();
}

void PageView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && textArea().contains(event->position().toPoint())) {
        emit pageClicked();
    }
}

}  // namespace vrk::presentation
