#pragma once
// The pixel grid the page is laid out in, derived from three measurements of the
// text font. The Qt side measures (QFontMetrics); everything here is arithmetic,
// so layout, reveal and scrolling can be checked without a window.

#include <string_view>

namespace vrk::presentation {

/// A rectangle in pixels: left/top inclusive, width/height may be zero.
struct Rect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;

    int right() const { return left + width; }
    int bottom() const { return top + height; }
    bool isEmpty() const { return width <= 0 || height <= 0; }
    bool operator==(const Rect&) const = default;
};

/// "漢字Sample": two full-width characters and six letters, exactly ten bytes.
inline constexpr std::string_view kSampleSjis =
    "\x8a\xbf\x8e\x9a"
    "Sample";
/// "襲", a wide glyph whose overhang sets the allowance at a partly uncovered edge.
inline constexpr std::string_view kWideGlyphSjis = "\x8f\x50";

/// Standard line gap in tenths (1.2) and the range the menu steps within.
inline constexpr int kStandardLineGap = 12;
inline constexpr int kMinLineGap = 10;
inline constexpr int kMaxLineGap = 20;

/// Cell grid of the text font, in pixels.
struct FontMetrics {
    int cellWidth = 1;      ///< width of a half-width cell, at least 1
    int edgeAllowance = 2;  ///< extra pixels at the right edge of a partly uncovered line, at least 2
    int lineHeight = 1;     ///< height of one display line, at least 1
};

/// The text height scaled by the line gap in tenths, truncated. A result below one pixel (a gap
/// of zero or less from the settings file, or a font of no height) is taken as 1, because the
/// scroll range divides by it.
int lineHeightFor(int sampleTextHeight, int lineGapTenths);

/// Metrics from TextWidth("漢字Sample"), TextWidth("襲"), TextHeight("漢字Sample") and the line gap.
/// A cell narrower than one pixel (a degenerate font) is taken as 1.
FontMetrics measureFont(int sampleTextWidth, int wideGlyphWidth, int sampleTextHeight, int lineGapTenths);

/// Whatever measures text in the font the page is drawn with: Qt's font metrics in the window,
/// the canvas in a browser. Widths and heights are whole pixels, as the layout counts them.
class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;
    virtual int textWidth(std::string_view textSjis) const = 0;
    virtual int textHeight(std::string_view textSjis) const = 0;
};

/// The three samples of the text font, each measured once.
struct FontSample {
    int sampleWidth = 0;     ///< TextWidth("漢字Sample")
    int wideGlyphWidth = 0;  ///< TextWidth("襲")
    int sampleHeight = 0;    ///< TextHeight("漢字Sample")
};

FontSample measureSample(const TextMeasurer& measurer);
/// measureFont with the measurer's own measurements.
FontMetrics measureFont(const TextMeasurer& measurer, int lineGapTenths);

}  // namespace vrk::presentation
