#pragma once
// The six choice buttons' rules: captions, which slot a button or key stands for,
// and where a resize puts them. Choice button k (1-6) is numbered from the right.

#include <optional>
#include <string>

#include "presentation/glyph_metrics.h"

namespace vrk::presentation {

inline constexpr int kChoiceButtons = 6;
inline constexpr int kChoiceButtonWidth = 41;
inline constexpr int kChoiceButtonHeight = 25;
/// Pitch between the buttons' left edges, and their distance from the bottom edge.
inline constexpr int kChoiceButtonPitch = 44;
inline constexpr int kChoiceButtonBottom = 27;
/// Key code of Enter as the window's key handler sees it.
inline constexpr int kEnterKey = 13;

/// Caption of button k (1..choiceCount), Shift-JIS: "Next" for a single choice, a letter from "A"
/// on the leftmost button in use, or "開く" once no story is in progress.
std::string choiceCaptionSjis(int button, int choiceCount, bool scriptOpen);
/// The slot that button k stands for: choiceCount − k + 1, so the leftmost in use is slot 1.
int slotForButton(int button, int choiceCount);
/// The choice key rule: the slot a key picks, or nothing. Only Enter, "1"-"6", "A"-"F" and "a"-"f" count,
/// and only while a story is in progress; Enter is "1" unless choice button 2 is visible; the slot is
/// code AND 7 and is taken when that button is visible (visibleButtons = choiceCount), enabled
/// or not.
std::optional<int> choiceKeySlot(int keyCode, bool scriptOpen, int visibleButtons);
/// Where button k sits in a client area of the given size, the scroll bar at its right edge.
Rect choiceButtonRect(int button, int clientWidth, int clientHeight, int scrollBarWidth);

}  // namespace vrk::presentation
