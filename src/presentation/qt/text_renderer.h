#pragma once
// Draws a PageLayout into the page's two off-screen images and uncovers rectangles
// of them onto the window's pixels. The reveal only ever copies rectangles; text is
// rendered here, band by band, the first time a band is needed.

#include <QFont>
#include <QFontMetrics>
#include <QImage>

#include <cstddef>
#include <map>
#include <memory>
#include <string_view>

#include "presentation/glyph_metrics.h"
#include "presentation/reveal.h"
#include "presentation/text_layout.h"

class QPainter;

namespace vrk::presentation {

/// textImage (RGB32, black background, outlined characters) and maskImage (monochrome, colour
/// table black and white: white where textImage is black, black elsewhere).
struct RenderedPage {
    QImage textImage;
    QImage maskImage;
};

/// Text measured with QFontMetrics: advances, and the font's height for any text.
class QtTextMeasurer : public TextMeasurer {
public:
    explicit QtTextMeasurer(const QFont& font);
    int textWidth(std::string_view textSjis) const override;
    int textHeight(std::string_view textSjis) const override;

private:
    QFontMetrics m_metrics;
};

/// Measures the font's sample texts.
FontSample measureSample(const QFont& font);
/// measureFont with the font's own measurements.
FontMetrics measureFont(const QFont& font, int lineGapTenths);

/// Renders the layout's display lines with the font: each character at its own cell (x = 1 +
/// bytes before it × cellWidth), the outline in the outline colour at the nine offsets 0-2, the
/// characters in the text colour at (1, 1), over black. The outline has hard edges (a pixel is
/// outline or background), so that no blend with the black behind it reaches the window.
/// Underline and strike-out of the font are drawn across each display line.
///
/// A page drawn at more device pixels than its own pixels (a high-density screen, full screen)
/// has an outline as wide as the scale: outlineWidth pixels on every side, the offsets 0 to
/// 2 × outlineWidth, and the characters at (outlineWidth, outlineWidth). At 1 it is the outline
/// every front end composes alike (composeText).
RenderedPage renderPage(const PageLayout& layout, const QFont& font, int outlineWidth = 1);

/// window := (window AND mask) OR text over the rectangle, as two raster-operation copies. The
/// part of the source outside the images is left out.
void uncover(QPainter& window, const RenderedPage& page, const Uncover& rect);

class PageRenderer;

/// The page's images held as bands of kBandRows rows, each rendered the first time a rectangle
/// reaches it: a long page costs only what is looked at. Every pixel equals renderPage's.
class PageBands {
public:
    static constexpr int kBandRows = 128;

    PageBands();
    ~PageBands();
    PageBands(const PageBands&) = delete;
    PageBands& operator=(const PageBands&) = delete;

    /// Forgets every band; layout must stay alive and unchanged until the next reset.
    void reset(const PageLayout& layout, const QFont& font, int outlineWidth = 1);
    /// The size renderPage's images would have.
    int width() const { return m_width; }
    int height() const { return m_height; }

    /// uncover() from the bands, rendering those the rectangle reaches.
    void uncover(QPainter& window, const Uncover& rect);
    /// Renders at most one missing band among the rows [top, bottom); false when none was missing.
    bool prepareOne(int top, int bottom);
    /// Drops the bands wholly outside the rows [top, bottom).
    void keepOnly(int top, int bottom);
    /// The whole page, rendered now (for inspection; the window never needs it).
    RenderedPage wholePage() const;

    std::size_t bandCount() const { return m_bands.size(); }
    /// Pixel memory held by the bands.
    std::size_t bytesHeld() const;

private:
    const RenderedPage& band(int index);

    std::unique_ptr<PageRenderer> m_renderer;
    std::map<int, RenderedPage> m_bands;
    int m_width = 1;
    int m_height = 1;
    bool m_blank = true;
};

}  // namespace vrk::presentation
