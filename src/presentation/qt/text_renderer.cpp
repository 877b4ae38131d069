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

// One display line in white at its top-left (0, row × lineHeight), every character on its own
// cell, whatever the font's advances.
void drawLine(QPainter& painter, GlyphSource& glyphs, const DisplayLine& line, int cellWidth, int baseline) {
    QList<quint32> indexes;
    QList<QPointF> positions;
    int cells = 0;
    const std::string_view bytes = line.bytesSjis;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = characterBytes(bytes, i);
        const CharGlyphs& g = glyphs.lookup(bytes.substr(i, length));
        const qreal x = cells * cellWidth;
        if (g.fallback) {
            painter.drawText(QPointF(x, baseline), g.text);
        } else {
            for (qsizetype k = 0; k < g.glyphs.size(); ++k) {
                indexes.append(g.glyphs[k]);
                positions.append(QPointF(x + g.offsets[k].x(), baseline));
            }
        }
        cells += static_cast<int>(length);
        i += length;
    }
    if (!indexes.isEmpty()) {
        QGlyphRun run;
        run.setRawFont(glyphs.rawFont());
        run.setGlyphIndexes(indexes);
        run.setPositions(positions);
        painter.drawGlyphRun(QPointF(0, 0), run);
    }
}

// Coverage of every character, drawn once; the outline and text passes are composed from it.
QImage renderCoverage(const PageLayout& layout, const QFont& font) {
    QImage coverage = largeImage(layout.imageWidth, layout.imageHeight, QImage::Format_Alpha8);
    coverage.fill(0);
    QPainter painter(&coverage);
    painter.setFont(font);
    painter.setPen(Qt::white);
    GlyphSource glyphs(font);
    const int ascent = QFontMetrics(font).ascent();
    for (const DisplayLine& line : layout.lines) {
        const int top = line.row * layout.metrics.lineHeight;
        if (top >= layout.imageHeight) {
            break;  // lines beyond the estimated height are not shown
        }
        drawLine(painter, glyphs, line, layout.metrics.cellWidth, top + ascent);
    }
    return coverage;
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
    const QRgb o = palette.outline[ao];
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

// Rows with no ink within two rows above are plain background, filled without composing.
void composeImage(const QImage& coverage, const TextColours& colours, RenderedPage& page) {
    const int width = coverage.width();
    const Palette palette(colours);
    std::array<std::vector<std::uint8_t>, 3> rows;
    std::array<bool, 3> inked = {false, false, false};
    for (auto& row : rows) {
        row.assign(static_cast<std::size_t>(width), 255u);
    }
    for (int y = 0; y < coverage.height(); ++y) {
        // rows[y % 3] takes row y; the other two still hold y − 1 and y − 2.
        const auto slot = static_cast<std::size_t>(y % 3);
        inked[slot] = transparencyRow(coverage.constScanLine(y), width, rows[slot].data());
        auto* text = reinterpret_cast<QRgb*>(page.textImage.scanLine(y));
        uchar* mask = page.maskImage.scanLine(y);
        if (!inked[0] && !inked[1] && !inked[2]) {
            std::fill(text, text + width, 0xFF000000u);
            std::fill(mask, mask + page.maskImage.bytesPerLine(), uchar{0xFF});
            continue;
        }
        const ComposeRow in = {rows[0].data(), rows[1].data(), rows[2].data(),
                               y >= 1 ? coverage.constScanLine(y - 1) : nullptr, width};
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

RenderedPage renderPage(const PageLayout& layout, const QFont& font) {
    RenderedPage page;
    const int width = std::max(1, layout.imageWidth);
    const int height = std::max(1, layout.imageHeight);
    page.textImage = largeImage(width, height, QImage::Format_RGB32);
    page.maskImage = largeImage(width, height, QImage::Format_Mono);
    page.maskImage.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    if (layout.lines.empty() || layout.imageWidth <= 0 || layout.imageHeight <= 0) {
        page.textImage.fill(Qt::black);
        page.maskImage.fill(1);
        return page;
    }
    composeImage(renderCoverage(layout, font), layout.colours, page);
    return page;
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

}  // namespace vrk::presentation
