#pragma once
// The reading-speed and line-gap menu rules: which items are available and what
// each does. The menus ask before enabling, so a shortcut obeys the same limits.

#include <string>

namespace vrk::presentation {

/// What one press of a line-gap or speed item does: a step down the setting's numbers, back to its
/// standard value, or a step up. The values are what a press adds. The speed counts the ticks
/// between reveal steps, so Up is slower.
enum class SettingStep : int { Down = -1, Standard = 0, Up = 1 };

/// Availability of the speed menu's slower, faster and standard items.
struct SpeedItems {
    bool slow = false;
    bool fast = false;
    bool normal = false;
    bool operator==(const SpeedItems&) const = default;
};

/// Availability of the line-gap menu's wider, narrower and standard items.
struct GapItems {
    bool wide = false;
    bool narrow = false;
    bool standard = false;
    bool operator==(const GapItems&) const = default;
};

/// The speed menu's refresh: none of its items is available while nonstop is checked.
SpeedItems speedItemsFor(int revealSpeed, bool nonstop);
/// The speed after a press of a speed item: the standard speed, or one slower (Up) or faster (Down).
int steppedRevealSpeed(int revealSpeed, SettingStep step);
/// The speed menu's caption, Shift-JIS: "描画速度(&P) N", or "描画速度(&P) 最速" while nonstop.
std::string speedCaptionSjis(int revealSpeed, bool nonstop);

/// The line-gap menu's refresh, in tenths: wider below 2.0, narrower above 1.0, standard away from 1.2.
GapItems gapItemsFor(int lineGapTenths);
/// The line gap after a press of a gap item: 1.2, or a tenth wider (Up) or narrower (Down).
int steppedLineGap(int lineGapTenths, SettingStep step);

}  // namespace vrk::presentation
