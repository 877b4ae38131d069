#pragma once
// The reveal of a laid-out page, one full-width column per step on the 55 ms timer,
// and the page's scrolling. Nothing here draws: tick() and paintRects() say which
// rectangles of the text image to uncover where, and the page view copies them.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "presentation/glyph_metrics.h"
#include "presentation/text_layout.h"

namespace vrk::presentation {

/// Height of the choice buttons: text reaching this band above the bottom scrolls instead.
inline constexpr int kButtonBandHeight = 25;
/// Standard ticks per reveal step, and the range the menu steps within.
inline constexpr int kStandardRevealSpeed = 2;
inline constexpr int kSlowestRevealSpeed = 5;

/// A rectangle of the text image and the window position its top-left corner goes to.
struct Uncover {
    Rect source;
    int windowX = 0;
    int windowY = 0;
    bool operator==(const Uncover&) const = default;
};

/// What one timer tick asks of the window.
struct TickResult {
    enum class Action { None, Uncover, Scroll };
    Action action = Action::None;
    Uncover uncover;         ///< the new step; for Scroll, what to draw if the scroll cannot move
    int scrollTo = 0;        ///< for Scroll: the new scroll position (the scroll bar clamps it)
    bool completed = false;  ///< the page has just become complete: enable the choices
};

/// The scroll bar's settings for a page.
struct ScrollRange {
    int maximum = 0;
    int pageStep = 0;
    int singleStep = 0;
    bool enabled = false;
    bool operator==(const ScrollRange&) const = default;
};

/// Reveal progress of the page on show, the step pacing and the waitTicks countdown.
class RevealState {
public:
    /// Takes over a fresh layout: its grid, steps and initial count; the next tick steps at once.
    void startLayout(const PageLayout& layout);
    /// Forgets the page's progress so the next layout starts from nothing (a new page).
    void restartReveal() { m_revealCount = 0; }
    /// Shows every step (a click on the page, or nonstop switched on).
    void finish() { m_revealCount = m_revealTotal; }

    /// One tick of the reveal timer: counts the wait down and makes at most one step. The step's line
    /// lies at or below scrollPosition + visibleHeight − 25 when it must scroll instead of draw.
    TickResult tick(int scrollPosition, int visibleHeight);
    /// The uncovered part in view, at most two rectangles: the whole lines above the last
    /// step's line, then that line up to the step.
    std::vector<Uncover> paintRects(int scrollPosition, int visibleHeight) const;

    int revealCount() const { return m_revealCount; }
    int revealTotal() const { return m_revealTotal; }
    bool isComplete() const { return m_revealCount >= m_revealTotal; }
    /// Step value of slot 1..revealTotal.
    int step(int slot) const { return m_table[static_cast<std::size_t>(slot)]; }

    int revealSpeed() const { return m_revealSpeed; }
    void setRevealSpeed(int speed) { m_revealSpeed = speed; }
    int stepDelay() const { return m_stepDelay; }
    /// The hold countdown in ticks (the old program kept it in the reveal timer's Tag): every tick
    /// lowers it while above 0.
    int holdTicks() const { return m_holdTicks; }
    void setHoldTicks(int ticks) { m_holdTicks = ticks; }

private:
    int rightEdge(int stepValue) const;

    std::vector<std::uint16_t> m_table = std::vector<std::uint16_t>(1, 0);
    int m_revealCount = 0;
    int m_revealTotal = 0;
    int m_stepDelay = 0;
    int m_revealSpeed = kStandardRevealSpeed;
    int m_holdTicks = 0;
    int m_columns = 1;
    int m_cellWidth = 1;
    int m_edgeAllowance = 2;
    int m_lineHeight = 1;
    int m_imageWidth = 0;
};

/// The page's lines as far as the reveal has uncovered them, for a screen reader: the lines whose
/// display lines all lie above the last step's line whole, that line's page line up to the last
/// whole character the step uncovered, nothing below it. stepValue is the last step's value
/// (RevealState::step(revealCount)), 0 before the first step; columns are the layout's.
std::vector<std::string> revealedLines(std::span<const std::string> pageTextSjis, int columns, int stepValue);

/// lineHeight × (clientHeight div lineHeight): the client height in whole lines.
int visibleHeightFor(int clientHeight, int lineHeight);
/// The scroll bar's range for a text image, enabled only when there is something to scroll.
ScrollRange scrollRangeFor(int imageHeight, int lineHeight, int visibleHeight);
/// A released thumb lands on a whole line: lineHeight × (position div lineHeight).
int snapThumb(int position, int lineHeight);

}  // namespace vrk::presentation
