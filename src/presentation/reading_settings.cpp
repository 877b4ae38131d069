#include "presentation/reading_settings.h"

#include "presentation/glyph_metrics.h"
#include "presentation/reveal.h"

namespace vrk::presentation {

namespace {
constexpr const char* kSpeedCaptionSjis = "\x95\x60\x89\xe6\x91\xac\x93\x78(&P) ";  // 描画速度(&P)
constexpr const char* kFastestSjis = "\x8d\xc5\x91\xac";                            // 最速
}  // namespace

SpeedItems speedItemsFor(int revealSpeed, bool nonstop) {
    if (nonstop) {
        return {};
    }
    return {revealSpeed<kSlowestRevealSpeed, revealSpeed> 1, revealSpeed != kStandardRevealSpeed};
}

int steppedRevealSpeed(int revealSpeed, SettingStep step) {
    return step == SettingStep::Standard ? kStandardRevealSpeed : revealSpeed + static_cast<int>(step);
}

std::string speedCaptionSjis(int revealSpeed, bool nonstop) {
    return std::string(kSpeedCaptionSjis) + (nonstop ? kFastestSjis : std::to_string(revealSpeed));
}

GapItems gapItemsFor(int lineGapTenths) {
    return {lineGapTenths<kMaxLineGap, lineGapTenths> kMinLineGap, lineGapTenths != kStandardLineGap};
}

int steppedLineGap(int lineGapTenths, SettingStep step) {
    return step == SettingStep::Standard ? kStandardLineGap : lineGapTenths + static_cast<int>(step);
}

}  // namespace vrk::presentation
