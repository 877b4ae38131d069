#pragma once
// The reading-speed and line-gap menu rules: which items are available and what
// each does. The menus ask before enabling, so a shortcut obeys the same limits.

#include <string>

namespace vrk::presentation {

/// Availability of Slow1, Fast1 and Normal1.
struct SpeedItems {
    bool slow = false;
    bool fast = false;
    bool normal = false;
    bool operator==(const SpeedItems&) const = default;
};

/// Availability of Wide1, Narrow1 and Standard1.
struct GapItems {
    bool wide = false;
    bool narrow = false;
    bool standard = false;
    bool operator==(const GapItems&) const = default;
};

/// The speed menu's refresh: none of its items is available while nonstop is checked.
SpeedItems speedItemsFor(int revealSpeed, bool nonstop);
/// SpeedOptClick: Tag 0 sets the standard speed, any other Tag (1 Slow1, −1 Fast1) is added.
int applySpeedTag(int revealSpeed, int tag);
/// Speed1's caption, Shift-JIS: "描画速度(&P) N", or "描画速度(&P) 最速" while nonstop.
std::string speedCaptionSjis(int revealSpeed, bool nonstop);

/// The line-gap menu's refresh, in tenths: wider below 2.0, narrower above 1.0, standard away from 1.2.
GapItems gapItemsFor(int lineGapTenths);
/// GapOptClick: Tag 0 sets 1.2, 1 widens and −1 narrows by a tenth.
int applyGapTag(int lineGapTenths, int tag);

}  // namespace vrk::presentation
