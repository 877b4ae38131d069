#pragma once
// Draws a PageLayout into the page's two off-screen images and uncovers rectangles
// of them onto the window's pixels. Text is rendered here once per layout; the
// reveal only ever copies rectangles.

#include <QFont>
#include <QImage>

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

/// The three measurements layout rests on, taken with QFontMetrics.
struct FontSample {
    int sampleWidth = 0;     ///< TextWidth("漢字Sample")
    int wideGlyphWidth = 0;  ///< TextWidth("襲")
    int sampleHeight = 0;    ///< TextHeight("漢字Sample")
};

/// Measures the font's sample texts.
FontSample measureSample(const QFont& font);
/// measureFont with the font's own measurements.
FontMetrics measureFont(const QFont& font, int lineGapTenths);

/// Renders the layout's display lines with the font: each character at its own cell (x = 1 +
/// cells before it × cellWidth), the outline in the outline colour at the nine offsets 0-2, the
/// characters in the text colour at (1, 1), over black.
RenderedPage renderPage(const PageLayout& layout, const QFont& font);

/// window := (window AND mask) OR text over the rectangle, as two raster-operation copies. The
/// part of the source outside the images is left out.
void uncover(QPainter& window, const RenderedPage& page, const Uncover& rect);

}  // namespace vrk::presentation
