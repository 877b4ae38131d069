#include "presentation/glyph_metrics.h"

#include <algorithm>

namespace vrk::presentation {

int lineHeightFor(int sampleTextHeight, int lineGapTenths) {
    // Integer tenths keep 1.2 × 25 at exactly 30, where a binary fraction could give 29.
    return std::max(1, sampleTextHeight * lineGapTenths / 10);
}

FontMetrics measureFont(int sampleTextWidth, int wideGlyphWidth, int sampleTextHeight, int lineGapTenths) {
    FontMetrics metrics;
    metrics.cellWidth = std::max(1, (sampleTextWidth + 2) / 10);
    metrics.edgeAllowance = std::max(2, wideGlyphWidth - 2 * metrics.cellWidth + 2);
    metrics.lineHeight = lineHeightFor(sampleTextHeight, lineGapTenths);
    return metrics;
}

FontSample measureSample(const TextMeasurer& measurer) {
    return {measurer.textWidth(kSampleSjis), measurer.textWidth(kWideGlyphSjis),
            measurer.textHeight(kSampleSjis)};
}

FontMetrics measureFont(const TextMeasurer& measurer, int lineGapTenths) {
    const FontSample sample = measureSample(measurer);
    return measureFont(sample.sampleWidth, sample.wideGlyphWidth, sample.sampleHeight, lineGapTenths);
}

}  // namespace vrk::presentation
