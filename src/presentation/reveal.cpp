#include "presentation/reveal.h"

#include <algorithm>

namespace vrk::presentation {

void RevealState::startLayout(const PageLayout& layout) {
    m_table.assign(layout.revealTable.begin(), layout.revealTable.begin() + (layout.revealTotal + 1));
    m_revealTotal = layout.revealTotal;
    m_revealCount = layout.revealCount;
    m_stepDelay = 0;
    m_columns = layout.columns;
    m_cellWidth = layout.metrics.cellWidth;
    m_edgeAllowance = layout.metrics.edgeAllowance;
    m_lineHeight = layout.metrics.lineHeight;
    m_imageWidth = layout.imageWidth;
}

int RevealState::rightEdge(int stepValue) const {
    if (stepValue % m_columns == 0) {
        return m_imageWidth;
    }
    return ((stepValue - 1) % m_columns + 1) * 2 * m_cellWidth + m_edgeAllowance;
}

TickResult RevealState::tick(int scrollPosition, int visibleHeight) {
    TickResult result;
    if (m_holdTicks > 0) {
        --m_holdTicks;
    }
    if (m_revealCount >= m_revealTotal) {
        return result;
    }
    int x = 0;
    int y = 0;
    if (m_revealCount > 0) {
        const int v = step(m_revealCount);
        x = (v % m_columns) * 2 * m_cellWidth;
        y = (v / m_columns) * m_lineHeight;
    }
    if (m_stepDelay > 1) {
        --m_stepDelay;
        return result;
    }
    ++m_revealCount;
    const int right = rightEdge(step(m_revealCount));
    result.uncover = {{x, y, right - x, m_lineHeight}, x + 1, y - scrollPosition};
    if (y < scrollPosition + visibleHeight - kButtonBandHeight) {
        result.action = TickResult::Action::Uncover;
    } else {
        result.action = TickResult::Action::Scroll;
        result.scrollTo = scrollPosition + m_lineHeight;
    }
    if (m_revealCount < m_revealTotal) {
        m_stepDelay = m_revealSpeed;
    } else {
        result.completed = true;
    }
    return result;
}

std::vector<Uncover> RevealState::paintRects(int scrollPosition, int visibleHeight) const {
    std::vector<Uncover> rects;
    if (m_revealCount <= 0) {
        return rects;
    }
    const int v = step(m_revealCount);
    const int y = (v - 1) / m_columns * m_lineHeight;
    const int bottom = std::min(y, scrollPosition + visibleHeight);
    if (y > 0 && bottom > scrollPosition) {
        rects.push_back({{0, scrollPosition, m_imageWidth, bottom - scrollPosition}, 1, 0});
    }
    if (y < scrollPosition + visibleHeight) {
        rects.push_back({{0, y, rightEdge(v), m_lineHeight}, 1, y - scrollPosition});
    }
    return rects;
}

int visibleHeightFor(int clientHeight, int lineHeight) {
    const int line = std::max(1, lineHeight);
    return line * (clientHeight / line);
}

ScrollRange scrollRangeFor(int imageHeight, int lineHeight, int visibleHeight) {
    ScrollRange range;
    if (imageHeight + lineHeight >= visibleHeight) {
        range.maximum = imageHeight + lineHeight - visibleHeight;
        range.pageStep = visibleHeight;
        range.singleStep = lineHeight;
    }
    range.enabled = range.maximum >= 1;
    return range;
}

int snapThumb(int position, int lineHeight) {
    const int line = std::max(1, lineHeight);
    return line * (position / line);
}

}  // namespace vrk::presentation
