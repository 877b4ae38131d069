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

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace vrk::presentation {

namespace {

QString toQString(std::string_view sjis) {
    return QString::fromStdString(sjisToUtf8(sjis));
}

// a × b / 255, rounded: the blend arithmetic of 8-bit channels.
inline std::uint32_t mul255(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
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
#if defined(__linux__)
    madvise(data, rounded, MADV_HUGEPAGE);
#endif
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

// A character whose first byte ends the display line is drawn whole there, at its first byte's
// cell; the display line after it leaves the cell of its second byte blank.
std::string_view characterAt(const DisplayLine& line, const DisplayLine* next, std::size_t i,
                             std::string& joined) {
    const std::string_view bytes = line.bytesSjis;
    const std::size_t length = drawnCharacterBytes(bytes, i);
    if (length == 1 && i + 1 == bytes.size() && next != nullptr && next->startsInsideCharacter &&
        !next->bytesSjis.empty()) {
        joined.assign(1, bytes[i]);
        joined += next->bytesSjis[0];
        if (drawnCharacterBytes(joined, 0) == 2) {
            return joined;
        }
    }
    return bytes.substr(i, length);
}

// One display line in white with its baseline at `baseline`, every character at the cell of its
// first byte, whatever the font's advances. Cells are counted in bytes, as the layout counts them.
void drawLine(QPainter& painter, GlyphSource& glyphs, const DisplayLine& line, const DisplayLine* next,
              int cellWidth, int baseline) {
    QList<quint32> indexes;
    QList<QPointF> positions;
    const std::string_view bytes = line.bytesSjis;
    std::string joined;
    for (std::size_t i = line.startsInsideCharacter ? 1 : 0; i < bytes.size();) {
        const std::string_view character = characterAt(line, next, i, joined);
        const CharGlyphs& g = glyphs.lookup(character);
        const qreal x = static_cast<qreal>(i) * cellWidth;
        if (g.fallback) {
            painter.drawText(QPointF(x, baseline), g.text);
        } else {
            for (qsizetype k = 0; k < g.glyphs.size(); ++k) {
                indexes.append(g.glyphs[k]);
                positions.append(QPointF(x + g.offsets[k].x(), baseline));
            }
        }
        i += std::min(character.size(), bytes.size() - i);
    }
    if (!indexes.isEmpty()) {
        QGlyphRun run;
        run.setRawFont(glyphs.rawFont());
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
        painter.drawGlyphRun(QPointF(0, 0), run);
    }
}

struct Rgb {
    std::uint32_t r, g, b;
};

Rgb channels(std::uint32_t bgr) {
    return {bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF};
}

// Transparency left by the three horizontal offsets 0-2 of one coverage row. False when the
// row carries no ink at all.
bool transparencyRow(const uchar* row, int width, std::uint8_t* out) {
    std::uint32_t t1 = 255;
    std::uint32_t t2 = 255;
    std::uint32_t all = 255;
    for (int x = 0; x < width; ++x) {
        const std::uint32_t t0 = 255u - row[x];
        out[x] = static_cast<std::uint8_t>((t0 & t1 & t2) == 255 ? 255 : mul255(mul255(t0, t1), t2));
        all &= t0;
        t2 = t1;
        t1 = t0;
    }
    return all != 255;
}

// Drawing the outline nine times over black and the characters once on top, each with its
// coverage as alpha, gives per pixel: outline alpha = 1 − Π(1 − coverage at the nine offsets),
// then the text blended over it with the coverage at (1, 1). Composing it in one pass keeps a
// 15000-step page well within a frame budget.
struct ComposeRow {
    const std::uint8_t* t0;
    const std::uint8_t* t1;
    const std::uint8_t* t2;
    const uchar* above;  // coverage row y − 1, or null on the first row
    int width;
};

// Outline pixels covered at least this much (of 255) are outline; the rest are background.
constexpr std::uint32_t kOutlineThreshold = 128;

// The outline colour at every alpha, and the character colour; most character pixels are fully
// covered, most outline pixels carry no character.
struct Palette {
    std::array<QRgb, 256> outline{};
    Rgb fore{};
    QRgb foreRgb = 0;

    explicit Palette(const TextColours& colours) : fore(channels(colours.text)) {
        const Rgb o = channels(colours.outline);
        for (std::uint32_t a = 0; a < 256; ++a) {
            outline[a] = qRgb(static_cast<int>(mul255(o.r, a)), static_cast<int>(mul255(o.g, a)),
                              static_cast<int>(mul255(o.b, a)));
        }
        foreRgb = qRgb(static_cast<int>(fore.r), static_cast<int>(fore.g), static_cast<int>(fore.b));
    }
};

QRgb composePixel(const ComposeRow& in, int x, const Palette& palette, bool& keep) {
    const std::uint32_t ao = 255 - mul255(mul255(in.t0[x], in.t1[x]), in.t2[x]);
    // The mask can only keep or replace a pixel, so a partly covered outline pixel would put
    // its blend with the black behind it onto the window: a dark rim on light backgrounds. The
    // outline is therefore whole or absent, and so is the character where it is absent.
    if (ao < kOutlineThreshold) {
        keep = true;
        return 0xFF000000u;
    }
    const QRgb o = palette.outline[255];
    // The mask comes from the outline alone: it covers every pixel of the characters.
    keep = (o & 0xFFFFFFu) == 0;
    const std::uint32_t at = in.above && x >= 1 ? in.above[x - 1] : 0u;
    if (at == 0) {
        return o;
    }
    if (at == 255) {
        return palette.foreRgb;
    }
    const Rgb& f = palette.fore;
    return qRgb(static_cast<int>(mul255(f.r, at) + mul255(static_cast<std::uint32_t>(qRed(o)), 255 - at)),
                static_cast<int>(mul255(f.g, at) + mul255(static_cast<std::uint32_t>(qGreen(o)), 255 - at)),
                static_cast<int>(mul255(f.b, at) + mul255(static_cast<std::uint32_t>(qBlue(o)), 255 - at)));
}

// The mask is one bit per pixel, most significant first: 1 (white) keeps the window's pixel.
void composeRow(const ComposeRow& in, const Palette& palette, QRgb* text, uchar* mask) {
    std::uint32_t bits = 0;
    for (int x = 0; x < in.width; ++x) {
        bool keep = true;
        if ((in.t0[x] & in.t1[x] & in.t2[x]) == 255) {
            text[x] = 0xFF000000u;  // most of a page is background
        } else {
            text[x] = composePixel(in, x, palette, keep);
        }
        bits = bits << 1 | (keep ? 1u : 0u);
        if ((x & 7) == 7) {
            mask[x >> 3] = static_cast<uchar>(bits);
            bits = 0;
        }
    }
    if ((in.width & 7) != 0) {
        mask[in.width >> 3] = static_cast<uchar>(bits << (8 - (in.width & 7)));
    }
}

// Rows [top, top + page height) from coverage that starts at row coverageTop (at most two rows
// above top, or top itself at the page's first row). Rows with no ink within two rows above are
// plain background, filled without composing.
void composeImage(const QImage& coverage, int coverageTop, int top, const Palette& palette,
                  RenderedPage& page) {
    const int width = coverage.width();
    std::array<std::vector<std::uint8_t>, 3> rows;
    std::array<bool, 3> inked = {false, false, false};
    for (auto& row : rows) {
        row.assign(static_cast<std::size_t>(width), 255u);
    }
    const int bottom = top + page.textImage.height();
    for (int y = coverageTop; y < bottom; ++y) {
        // rows[y % 3] takes row y; the other two still hold y − 1 and y − 2.
        const auto slot = static_cast<std::size_t>(y % 3);
        inked[slot] = transparencyRow(coverage.constScanLine(y - coverageTop), width, rows[slot].data());
        if (y < top) {
            continue;
        }
        auto* text = reinterpret_cast<QRgb*>(page.textImage.scanLine(y - top));
        uchar* mask = page.maskImage.scanLine(y - top);
        if (!inked[0] && !inked[1] && !inked[2]) {
            std::fill(text, text + width, 0xFF000000u);
            std::fill(mask, mask + page.maskImage.bytesPerLine(), uchar{0xFF});
            continue;
        }
        const ComposeRow in = {rows[0].data(), rows[1].data(), rows[2].data(),
                               y >= 1 ? coverage.constScanLine(y - 1 - coverageTop) : nullptr, width};
        composeRow(in, palette, text, mask);
    }
}

}  // namespace

FontSample measureSample(const QFont& font) {
    const QFontMetrics metrics(font);
    const QString sample = toQString(kSampleSjis);
    return {metrics.horizontalAdvance(sample), metrics.horizontalAdvance(toQString(kWideGlyphSjis)),
            metrics.height()};
}

FontMetrics measureFont(const QFont& font, int lineGapTenths) {
    const FontSample sample = measureSample(font);
    return presentation::measureFont(sample.sampleWidth, sample.wideGlyphWidth, sample.sampleHeight,
                                     lineGapTenths);
}

// Renders any band of rows of a page's images. A row depends on the coverage of the two rows
// above it, and a display line's glyphs may reach beyond its own rows, so a band draws every
// line that can ink it and composes from two rows above its top.
class PageRenderer {
public:
    PageRenderer(const PageLayout& layout, const QFont& font)
        : m_layout(layout), m_font(font), m_glyphs(font), m_palette(layout.colours) {
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
        const int coverageTop = std::max(0, top - 2);
        composeImage(renderCoverage(coverageTop, bottom, large), coverageTop, top, m_palette, page);
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
    Palette m_palette;
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

RenderedPage renderPage(const PageLayout& layout, const QFont& font) {
    if (isBlank(layout)) {
        return blankPage(std::max(1, layout.imageWidth), std::max(1, layout.imageHeight));
    }
    return PageRenderer(layout, font).render(0, layout.imageHeight, true);
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

void PageBands::reset(const PageLayout& layout, const QFont& font) {
    m_bands.clear();
    m_width = std::max(1, layout.imageWidth);
    m_height = std::max(1, layout.imageHeight);
    m_blank = isBlank(layout);
    m_renderer = m_blank ? nullptr : std::make_unique<PageRenderer>(layout, font);
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
