#include "presentation/qt/text_renderer.h"

#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>
#include <QRawFont>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "common/sjis.h"
#include "presentation/huge_pages.h"
#include "presentation/text_compose.h"

namespace vrk::presentation {

namespace {

QString toQString(std::string_view sjis) {
    return QString::fromStdString(sjisToUtf8(sjis));
}

// An image whose pixels are not initialised. A long page's images run to tens of megabytes;
// on Linux they are asked for in huge pages, since faulting them in 4 KiB at a time costs more
// than drawing them.
QImage largeImage(int width, int height, QImage::Format format) {
    constexpr std::size_t kHugePage = std::size_t{2} << 20;
    const auto bits = static_cast<std::size_t>(QImage::toPixelFormat(format).bitsPerPixel());
    const std::size_t bytesPerLine = (static_cast<std::size_t>(width) * bits + 31) / 32 * 4;  // 32-bit rows
    const std::size_t bytes = bytesPerLine * static_cast<std::size_t>(height);
    if (bytes < kHugePage) {
        return QImage(width, height, format);
    }
    const std::size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* data = std::aligned_alloc(kHugePage, rounded);
    if (data == nullptr) {
        return QImage(width, height, format);
    }
    adviseHugePages(data, rounded);
    return QImage(
        static_cast<uchar*>(data), width, height, static_cast<qsizetype>(bytesPerLine), format,
        [](void* p) { std::free(p); }, data);
}

// Glyphs of one character, placed from the left edge of its cell.
struct CharGlyphs {
    QList<quint32> glyphs;
    QList<QPointF> offsets;
    QString text;  // drawn as text when the raw font lacks a glyph, so Qt can fall back
    bool fallback = false;
};

// Characters repeat a lot on a page; each is converted and shaped once per render.
class GlyphSource {
public:
    explicit GlyphSource(const QFont& font) : m_raw(QRawFont::fromFont(font)) {}

    const QRawFont& rawFont() const { return m_raw; }

    const CharGlyphs& lookup(std::string_view characterSjis) {
        std::uint32_t key = static_cast<unsigned char>(characterSjis[0]);
        if (characterSjis.size() > 1) {
            key = key << 8 | static_cast<unsigned char>(characterSjis[1]);
        }
        auto [it, inserted] = m_cache.try_emplace(key);
        if (inserted) {
            shape(characterSjis, it->second);
        }
        return it->second;
    }

private:
    void shape(std::string_view characterSjis, CharGlyphs& out) const {
        out.text = toQString(characterSjis);
        if (!m_raw.isValid()) {
            out.fallback = true;
            return;
        }
        out.glyphs = m_raw.glyphIndexesForString(out.text);
        out.fallback = out.glyphs.isEmpty() || out.glyphs.contains(0u);
        if (out.fallback) {
            return;
        }
        const QList<QPointF> advances = m_raw.advancesForGlyphIndexes(out.glyphs);
        qreal x = 0;
        for (const QPointF& advance : advances) {
            out.offsets.append(QPointF(x, 0));
            x += advance.x();
        }
    }

    QRawFont m_raw;
    std::unordered_map<std::uint32_t, CharGlyphs> m_cache;
};

// One display line in white with its baseline at `baseline`, every character at the cell of its
// first byte, whatever the font's advances. Cells are counted in bytes, as the layout counts them.
void drawLine(QPainter& painter, GlyphSource& glyphs, const DisplayLine& line, const DisplayLine* next,
              int cellWidth, int baseline) {
    QList<quint32> indexes;
    QList<QPointF> positions;
    for (const DrawnCharacter& character : drawnCharacters(line, next)) {
        const CharGlyphs& g = glyphs.lookup(character.bytesSjis);
        const qreal x = static_cast<qreal>(character.byte) * cellWidth;
        if (g.fallback) {
            painter.drawText(QPointF(x, baseline), g.text);
        } else {
            for (qsizetype k = 0; k < g.glyphs.size(); ++k) {
                indexes.append(g.glyphs[k]);
                positions.append(QPointF(x + g.offsets[k].x(), baseline));
            }
        }
    }
    if (!indexes.isEmpty()) {
        QGlyphRun run;
        run.setRawFont(glyphs.rawFont());
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
        painter.drawGlyphRun(QPointF(0, 0), run);
    }
}

}  // namespace

QtTextMeasurer::QtTextMeasurer(const QFont& font) : m_metrics(font) {}

int QtTextMeasurer::textWidth(std::string_view textSjis) const {
    return m_metrics.horizontalAdvance(toQString(textSjis));
}

int QtTextMeasurer::textHeight(std::string_view) const {
    return m_metrics.height();
}

FontSample measureSample(const QFont& font) {
    return presentation::measureSample(QtTextMeasurer(font));
}

FontMetrics measureFont(const QFont& font, int lineGapTenths) {
    return presentation::measureFont(QtTextMeasurer(font), lineGapTenths);
}

// Renders any band of rows of a page's images. A row depends on the coverage of the two rows
// above it, and a display line's glyphs may reach beyond its own rows, so a band draws every
// line that can ink it and composes from two rows above its top.
class PageRenderer {
public:
    PageRenderer(const PageLayout& layout, const QFont& font, int outlineWidth)
        : m_layout(layout), m_font(font), m_glyphs(font), m_outline(std::max(1, outlineWidth)) {
        const QFontMetrics metrics(font);
        m_ascent = metrics.ascent();
        m_reach = 2 * metrics.height() + 8;
        m_underline = font.underline();
        m_strikeOut = font.strikeOut();
        m_decorationWidth = std::max(1, metrics.lineWidth());
        m_underlineTop = metrics.underlinePos();
        m_strikeOutTop = -metrics.strikeOutPos();
        // Decorations go across the whole display line below, never per character by Qt.
        m_font.setUnderline(false);
        m_font.setStrikeOut(false);
        m_font.setOverline(false);
    }

    /// Rows [top, bottom) of both images, into images of exactly that many rows.
    RenderedPage render(int top, int bottom, bool large) {
        RenderedPage page;
        const int width = std::max(1, m_layout.imageWidth);
        page.textImage = large ? largeImage(width, bottom - top, QImage::Format_RGB32)
                               : QImage(width, bottom - top, QImage::Format_RGB32);
        page.maskImage = large ? largeImage(width, bottom - top, QImage::Format_Mono)
                               : QImage(width, bottom - top, QImage::Format_Mono);
        page.maskImage.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        const int coverageTop = std::max(0, top - 2 * m_outline);
        const QImage coverage = renderCoverage(coverageTop, bottom, large);
        const CoverageRows rows = {coverage.constBits(), static_cast<std::size_t>(coverage.bytesPerLine()),
                                   coverage.width(), coverageTop, coverage.height()};
        const ComposeTarget target = {reinterpret_cast<std::uint32_t*>(page.textImage.bits()),
                                      static_cast<std::size_t>(page.textImage.bytesPerLine()) / 4,
                                      page.maskImage.bits(),
                                      static_cast<std::size_t>(page.maskImage.bytesPerLine())};
        if (m_outline == 1) {
            composeText(rows, top, bottom, m_layout.colours, target);
        } else {
            composeTextOutlined(rows, top, bottom, m_layout.colours, m_outline, target);
        }
        return page;
    }

private:
    // Coverage of the rows [top, bottom) of every character that reaches them.
    QImage renderCoverage(int top, int bottom, bool large) {
        const int width = m_layout.imageWidth;
        QImage coverage = large ? largeImage(width, bottom - top, QImage::Format_Alpha8)
                                : QImage(width, bottom - top, QImage::Format_Alpha8);
        coverage.fill(0);
        QPainter painter(&coverage);
        painter.setFont(m_font);
        painter.setPen(Qt::white);
        const int lineHeight = m_layout.metrics.lineHeight;
        const auto& lines = m_layout.lines;
        const int firstRow = std::max(0, (top - m_reach) / std::max(1, lineHeight));
        auto it = std::lower_bound(lines.begin(), lines.end(), firstRow,
                                   [](const DisplayLine& line, int row) { return line.row < row; });
        for (; it != lines.end(); ++it) {
            const int lineTop = it->row * lineHeight;
            if (lineTop >= m_layout.imageHeight || lineTop - m_reach >= bottom) {
                break;  // lines beyond the estimated height are not shown
            }
            if (lineTop + m_reach <= top) {
                continue;
            }
            const DisplayLine* next = it + 1 != lines.end() ? &*(it + 1) : nullptr;
            const int baseline = lineTop + m_ascent - top;
            drawLine(painter, m_glyphs, *it, next, m_layout.metrics.cellWidth, baseline);
            drawDecorations(painter, *it, baseline);
        }
        return coverage;
    }

    // Underline and strike-out run under every cell of the display line, as under a string.
    void drawDecorations(QPainter& painter, const DisplayLine& line, int baseline) const {
        const int width = static_cast<int>(line.bytesSjis.size()) * m_layout.metrics.cellWidth;
        if (m_underline) {
            painter.fillRect(QRect(0, baseline + m_underlineTop, width, m_decorationWidth), Qt::white);
        }
        if (m_strikeOut) {
            painter.fillRect(QRect(0, baseline + m_strikeOutTop, width, m_decorationWidth), Qt::white);
        }
    }

    const PageLayout& m_layout;
    QFont m_font;
    GlyphSource m_glyphs;
    int m_outline = 1;
    int m_ascent = 0;
    int m_reach = 0;
    bool m_underline = false;
    bool m_strikeOut = false;
    int m_decorationWidth = 1;
    int m_underlineTop = 0;
    int m_strikeOutTop = 0;
};

namespace {

bool isBlank(const PageLayout& layout) {
    return layout.lines.empty() || layout.imageWidth <= 0 || layout.imageHeight <= 0;
}

RenderedPage blankPage(int width, int height) {
    RenderedPage page;
    page.textImage = QImage(width, height, QImage::Format_RGB32);
    page.maskImage = QImage(width, height, QImage::Format_Mono);
    page.maskImage.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    page.textImage.fill(Qt::black);
    page.maskImage.fill(1);
    return page;
}

}  // namespace

RenderedPage renderPage(const PageLayout& layout, const QFont& font, int outlineWidth) {
    if (isBlank(layout)) {
        return blankPage(std::max(1, layout.imageWidth), std::max(1, layout.imageHeight));
    }
    return PageRenderer(layout, font, outlineWidth).render(0, layout.imageHeight, true);
}

void uncover(QPainter& window, const RenderedPage& page, const Uncover& rect) {
    const QRect wanted(rect.source.left, rect.source.top, rect.source.width, rect.source.height);
    const QRect source = wanted.intersected(page.textImage.rect());
    if (source.isEmpty()) {
        return;
    }
    const QPoint target(rect.windowX + source.left() - wanted.left(),
                        rect.windowY + source.top() - wanted.top());
    const QPainter::CompositionMode previous = window.compositionMode();
    window.setCompositionMode(QPainter::RasterOp_SourceAndDestination);
    window.drawImage(target, page.maskImage, source);
    window.setCompositionMode(QPainter::RasterOp_SourceOrDestination);
    window.drawImage(target, page.textImage, source);
    window.setCompositionMode(previous);
}

PageBands::PageBands() = default;
PageBands::~PageBands() = default;

void PageBands::reset(const PageLayout& layout, const QFont& font, int outlineWidth) {
    m_bands.clear();
    m_width = std::max(1, layout.imageWidth);
    m_height = std::max(1, layout.imageHeight);
    m_blank = isBlank(layout);
    m_renderer = m_blank ? nullptr : std::make_unique<PageRenderer>(layout, font, outlineWidth);
}

const RenderedPage& PageBands::band(int index) {
    auto it = m_bands.find(index);
    if (it == m_bands.end()) {
        const int top = index * kBandRows;
        const int bottom = std::min(m_height, top + kBandRows);
        it = m_bands.emplace(index, m_renderer->render(top, bottom, false)).first;
    }
    return it->second;
}

void PageBands::uncover(QPainter& window, const Uncover& rect) {
    const QRect wanted(rect.source.left, rect.source.top, rect.source.width, rect.source.height);
    const QRect source = wanted.intersected(QRect(0, 0, m_width, m_height));
    // A blank page's mask keeps every pixel and its text adds nothing.
    if (source.isEmpty() || m_blank) {
        return;
    }
    for (int index = source.top() / kBandRows; index <= source.bottom() / kBandRows; ++index) {
        const int top = index * kBandRows;
        const RenderedPage& images = band(index);
        const QRect piece = source.intersected(QRect(0, top, m_width, images.textImage.height()));
        Uncover part;
        part.source = {piece.left(), piece.top() - top, piece.width(), piece.height()};
        part.windowX = rect.windowX + piece.left() - wanted.left();
        part.windowY = rect.windowY + piece.top() - wanted.top();
        presentation::uncover(window, images, part);
    }
}

bool PageBands::prepareOne(int top, int bottom) {
    top = std::max(0, top);
    bottom = std::min(m_height, bottom);
    if (m_blank || top >= bottom) {
        return false;
    }
    for (int index = top / kBandRows; index <= (bottom - 1) / kBandRows; ++index) {
        if (!m_bands.contains(index)) {
            band(index);
            return true;
        }
    }
    return false;
}

void PageBands::keepOnly(int top, int bottom) {
    std::erase_if(m_bands, [&](const auto& entry) {
        const int bandTop = entry.first * kBandRows;
        return bandTop + kBandRows <= top || bandTop >= bottom;
    });
}

RenderedPage PageBands::wholePage() const {
    if (m_blank) {
        return blankPage(m_width, m_height);
    }
    return m_renderer->render(0, m_height, true);
}

std::size_t PageBands::bytesHeld() const {
    std::size_t bytes = 0;
    for (const auto& [index, images] : m_bands) {
        bytes += static_cast<std::size_t>(images.textImage.sizeInBytes() + images.maskImage.sizeInBytes());
    }
    return bytes;
}

}  // namespace vrk::presentation
