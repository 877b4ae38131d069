#include "presentation/qt/page_view.h"

#include <QAccessible>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QThread>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>

#include "common/sjis.h"
#include "presentation/qt/page_accessible.h"

namespace vrk::presentation {

PageView::PageView(app::ReadingSession& session, QWidget* parent) : QWidget(parent), m_session(session) {
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
    connect(m_scrollBar, &QScrollBar::valueChanged, this, &PageView::onScrollBarMoved);
    connect(m_scrollBar, &QScrollBar::sliderReleased, this, &PageView::snapScrollThumb);
    installPageAccessibility();
    m_announcer = new PageAnnouncer(this);
    m_bandTimer.setSingleShot(true);
    m_bandTimer.setInterval(0);
    connect(&m_bandTimer, &QTimer::timeout, this, &PageView::prepareBands);
    m_textFont = font();
    m_drawFont = m_textFont;
    // The grid is the font's at the page's own pixels, scaled: never a scaled font measured again.
    m_session.setGridMeasurer([this](int) { return pageMetrics(); });
    // Nonstop stops the timer; a pause then sleeps, handling nothing meanwhile.
    m_session.setNonstopSleeper(
        [](int ticks) { QThread::msleep(static_cast<unsigned long>(std::max(0, ticks)) * kNonstopTickMs); });
}

void PageView::setRevealTimerActive(bool active) {
    m_revealTimerOn = active;
    if (active && m_session.wantsTicks()) {
        m_revealTimer.start();
    } else if (!active) {
        m_revealTimer.stop();
    }
}

void PageView::setNonstop(bool nonstop) {
    m_session.setNonstop(nonstop);
    sync();
}

void PageView::setLineGapTenths(int tenths) {
    m_session.setLineGapTenths(tenths);
    sync();
}

void PageView::setTextFont(const QFont& font) {
    m_textFont = font;
    setFont(font);
    m_sample.reset();
    updateGeometry();
    m_session.fontChanged();
    sync();
}

const FontMetrics& PageView::pageMetrics() const {
    // The font is measured when the page first needs it: a window sets its own font before
    // then, and the default font's measurement would be thrown away.
    if (!m_sample) {
        m_sample = measureSample(m_textFont);
    }
    m_pageMetrics = measureFont(m_sample->sampleWidth, m_sample->wideGlyphWidth, m_sample->sampleHeight,
                                m_session.lineGapTenths());
    return m_pageMetrics;
}

int PageView::outlineWidth() const {
    return std::max(1, static_cast<int>(std::lround(m_scale)));
}

void PageView::setFixedPage(QSize size) {
    m_fixedSize = size.isValid() && !size.isEmpty() ? size : QSize();
    m_sessionSize = QSize();
    updateGeometry();
    sync();
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

QSize PageView::pageSize() const {
    return m_fixedSize.isValid() ? m_fixedSize : size();
}

void PageView::updateFrame() {
    const QRect view = pageFrame();
    m_scrollBar->setGeometry(view.right() + 1 - kScrollBarWidth, view.top(), kScrollBarWidth, view.height());
}

void PageView::updateGeometry() {
    const double scale = targetScale();
    if (scale != m_scale || m_drawFont != m_textFont) {
        m_scale = scale;
        m_drawFont = m_textFont;
        if (m_scale != 1.0) {
            if (m_drawFont.pixelSize() > 0) {
                m_drawFont.setPixelSize(std::max(1, qRound(m_drawFont.pixelSize() * m_scale)));
            } else {
                m_drawFont.setPointSizeF(std::max(1.0, m_drawFont.pointSizeF() * m_scale));
            }
        }
    }
    updateFrame();
    // The choice buttons are drawn at the screen's own pixels, whatever the page's scale.
    m_session.setButtonRatio(pixelRatio());
    const QSize page = pageSize();
    if (page.isEmpty() || (page == m_sessionSize && m_scale == m_sessionScale)) {
        return;
    }
    m_sessionSize = page;
    m_sessionScale = m_scale;
    m_session.setPageSize(page.width(), page.height(), m_scale);
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

void PageView::sync() {
    // A size the view has not been told of by an event (it is not shown yet), or a screen of
    // another density: laid out again for it.
    updateGeometry();
    const app::SessionChanges changes = m_session.takeChanges();
    if (changes.layoutChanged) {
        m_layout = m_session.layout();
        m_bands.reset(m_layout, m_drawFont, outlineWidth());
        m_wholePage.reset();
    }
    if (changes.scrollChanged || changes.layoutChanged) {
        showScroll();
    }
    if (changes.fullPaint || changes.backgroundChanged) {
        // Settings applied to a window not shown yet, before it has a page, would paint a bare
        // background at a size it is about to lose; the showing paints it instead. A page is
        // painted whether shown or not: it is ready when the window comes onto the screen.
        if (!isVisible() && m_session.pageTextSjis().empty()) {
            m_repaintWhenShown = true;
        } else {
            paintFull(changes.fullPaint
                          ? changes.uncovered
                          : m_session.reveal().paintRects(m_session.scrollPosition(), visibleHeight()));
        }
    } else {
        for (const Uncover& step : changes.uncovered) {
            uncoverStep(step);
        }
    }
    if (changes.completed && m_enableChoices) {
        m_enableChoices();
    }
    updateAccessibility(changes);
    if (m_changesHandler) {
        m_changesHandler(changes);
    }
    // A complete page on show costs no wake-ups: the timer runs only while there is something
    // to count.
    if (m_revealTimerOn && m_session.wantsTicks()) {
        if (!m_revealTimer.isActive()) {
            m_revealTimer.start();
        }
    } else {
        m_revealTimer.stop();
    }
}

QString PageView::readableText() const {
    return QString::fromStdString(sjisToUtf8(m_session.readableTextSjis()));
}

QString PageView::announcement() const {
    return m_announcer->announcement();
}

void PageView::updateAccessibility(const app::SessionChanges& changes) {
    if (changes.pagesShown > 0) {
        m_announcer->announce(QString::fromStdString(sjisToUtf8(m_session.pageAnnouncementSjis())).trimmed());
    }
    // Every step of the reveal would be an event a screen reader reads out; the text is told
    // again only when a page comes and when it is complete, and is there to be read between.
    if (changes.pagesShown == 0 && !changes.completed) {
        return;
    }
    const QString text = readableText();
    if (text == m_accessibleText) {
        return;
    }
    const QString before = std::exchange(m_accessibleText, text);
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent event(this, 0, before, text);
        QAccessible::updateAccessibility(&event);
    }
}

void PageView::showScroll() {
    const QSignalBlocker blocker(m_scrollBar);
    const ScrollRange& range = m_session.scrollRange();
    if (range.pageStep > 0) {
        m_scrollBar->setPageStep(range.pageStep);
        m_scrollBar->setSingleStep(range.singleStep);
    }
    m_scrollBar->setMaximum(range.maximum);
    m_scrollBar->setEnabled(range.enabled);
    m_scrollBar->setValue(m_session.scrollPosition());
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

void PageView::paintFull(const std::vector<Uncover>& rects) {
    if (!ensureBackBuffer()) {
        return;
    }
    m_repaintWhenShown = false;
    QPainter painter(&m_backBuffer);
    painter.translate(frame().topLeft());
    paintBackground(painter);
    for (const Uncover& rect : rects) {
        m_bands.uncover(painter, rect);
    }
    update();
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
    const int position = m_session.scrollPosition();
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
    m_session.refreshPage();
    sync();
}

void PageView::repaintPage() {
    if (!isVisible() && m_session.pageTextSjis().empty()) {
        m_repaintWhenShown = true;
        return;
    }
    m_session.repaintPage();
    sync();
}

void PageView::finishPage() {
    m_session.finishPage();
    sync();
}

void PageView::completePageOnClick() {
    m_session.clickPage();
    sync();
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
    m_session.tick();
    sync();
}

void PageView::onScrollBarMoved(int value) {
    if (value == m_session.scrollPosition()) {
        return;
    }
    m_session.scrollTo(value);
    sync();
}

void PageView::snapScrollThumb() {
    m_session.snapScroll();
    sync();
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
    if (event->angleDelta().y() > 0 && m_session.atTop()) {
        emit wheelUpAtTop();
        return;
    }
    // The scroll bar turns the wheel into steps as it would over itself; its moves are the page's.
    if (m_scrollBar->isEnabled()) {
        QCoreApplication::sendEvent(m_scrollBar, event);
    }
}

bool PageView::scrollByKey(int key) {
    app::ScrollKey scroll = app::ScrollKey::PageUp;
    switch (key) {
        case Qt::Key_PageUp:
            scroll = app::ScrollKey::PageUp;
            break;
        case Qt::Key_PageDown:
            scroll = app::ScrollKey::PageDown;
            break;
        case Qt::Key_Up:
            scroll = app::ScrollKey::Up;
            break;
        case Qt::Key_Down:
            scroll = app::ScrollKey::Down;
            break;
        case Qt::Key_Home:
            scroll = app::ScrollKey::Home;
            break;
        case Qt::Key_End:
            scroll = app::ScrollKey::End;
            break;
        default:
            return false;
    }
    if (!m_session.scrollByKey(scroll)) {
        return false;
    }
    sync();
    return true;
}

void PageView::resizeEvent(QResizeEvent*) {
    // Laid out again at the new size even when only the frame moved.
    m_sessionSize = QSize();
    updateGeometry();
    sync();
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
