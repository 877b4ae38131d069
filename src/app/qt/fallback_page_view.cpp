#include "app/qt/fallback_page_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "common/sjis.h"

namespace vrk::app {

FallbackPageView::FallbackPageView(interpreter::Story& story, QWidget* parent)
    : QWidget(parent), m_story(story) {
    setObjectName(QStringLiteral("PageView"));
    m_timer.setObjectName(QStringLiteral("Timer1"));
    m_timer.setInterval(kTickMs);
    connect(&m_timer, &QTimer::timeout, this, &FallbackPageView::onTick);
    m_timer.start();
    m_scrollBar = new QScrollBar(Qt::Vertical, this);
    m_scrollBar->setObjectName(QStringLiteral("ScrollBar1"));
    m_scrollBar->setRange(0, 0);
    connect(m_scrollBar, &QScrollBar::valueChanged, this, [this] { update(); });
}

void FallbackPageView::setTimerActive(bool active) {
    if (active) {
        m_timer.start();
    } else {
        m_timer.stop();
    }
}

void FallbackPageView::setLineGapTenths(int tenths) {
    m_gapTenths = tenths;
    refreshPage();
}

void FallbackPageView::setTextFont(const QFont& font) {
    setFont(font);
    refreshPage();
}

int FallbackPageView::lineHeight() const {
    return std::max(1, fontMetrics().height() * m_gapTenths / 10);
}

void FallbackPageView::refreshPage() {
    m_lines.clear();
    int total = 0;
    for (const std::string& line : m_story.page.pageText) {
        m_lines << QString::fromStdString(sjisToUtf8(line));
        total += static_cast<int>(m_lines.back().size());
    }
    const bool wasWhole = m_revealTotal > 0 && m_revealCount >= m_revealTotal;
    m_revealTotal = total;
    if (m_story.options.nonstop || wasWhole) {
        m_revealCount = total;
    }
    m_stepDelay = 0;
    const int textHeight = lineHeight() * (static_cast<int>(m_lines.size()) + 1);
    m_scrollBar->setRange(0, std::max(0, textHeight - height()));
    m_scrollBar->setEnabled(m_scrollBar->maximum() >= 1);
    update();
}

void FallbackPageView::finishPage() {
    m_revealCount = m_revealTotal;
    update();
}

void FallbackPageView::onTick() {
    if (m_tag > 0) {
        --m_tag;
    }
    if (m_revealCount >= m_revealTotal) {
        return;
    }
    if (m_stepDelay > 1) {
        --m_stepDelay;
        return;
    }
    ++m_revealCount;
    update();
    if (m_revealCount < m_revealTotal) {
        m_stepDelay = m_revealSpeed;
    } else {
        emit pageCompleted();
    }
}

void FallbackPageView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0, 0, 0x80));
    painter.setPen(Qt::white);
    const int step = lineHeight();
    int left = m_revealCount;
    int y = step - m_scrollBar->value();
    for (const QString& line : m_lines) {
        if (left <= 0) {
            break;
        }
        painter.drawText(2, y, line.left(left));
        left -= static_cast<int>(line.size());
        y += step;
    }
}

void FallbackPageView::resizeEvent(QResizeEvent*) {
    m_scrollBar->setGeometry(width() - kScrollBarWidth, 0, kScrollBarWidth, height());
    refreshPage();
}

void FallbackPageView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        emit pageClicked();
    }
}

}  // namespace vrk::app
