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

std::vector<std::string> revealedLines(std::span<const std::string> pageTextSjis, int columns,
                                       int stepValue) {
    std::vector<std::string> out;
    if (stepValue <= 0 || columns <= 0) {
        return out;
    }
    // The step uncovers its line up to a full-width column, or whole (a hanging mark included)
    // when it is the line's last column.
    const int lastRow = (stepValue - 1) / columns;
    const bool lastRowWhole = stepValue % columns == 0;
    const std::size_t lastRowBytes = 2 * static_cast<std::size_t>((stepValue - 1) % columns + 1);
    // The rows come from the layout's own line breaking, so a mark that hangs or a character
    // carried to the next line is read where it is seen.
    std::vector<DisplayLine> lines;
    std::vector<std::uint16_t> table(kMaxRevealSteps + 1, 0);
    int row = 0;
    for (const std::string& line : pageTextSjis) {
        if (row > lastRow) {
            break;
        }
        lines.clear();
        int count = 0;
        const int firstRow = row;
        row += breakLine(line, firstRow, columns, lines, table, count);
        std::size_t shown = 0;  // bytes of the page line uncovered: its display lines are its parts in order
        for (const DisplayLine& display : lines) {
            if (display.row < lastRow || (display.row == lastRow && lastRowWhole)) {
                shown += display.bytesSjis.size();
            } else if (display.row == lastRow) {
                shown += std::min(display.bytesSjis.size(), lastRowBytes);
                break;
            } else {
                break;
            }
        }
        // Half a character is not read.
        std::size_t whole = 0;
        while (whole < line.size()) {
            const std::size_t next = whole + drawnCharacterBytes(line, whole);
            if (next > shown) {
                break;
            }
            whole = next;
        }
        if (whole == 0 && !line.empty()) {
            break;
        }
        out.push_back(line.substr(0, whole));
    }
    return out;
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
