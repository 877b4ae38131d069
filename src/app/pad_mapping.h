#pragma once
// A game controller on the reading page, for every front end alike: what each of its buttons
// does, and how a pad's raw state (buttons held, the left stick's position) becomes presses.
// The desktop reads SDL's game controllers, the web page the browser's gamepads; both name the
// buttons by where they sit on a pad of the common layout and hand the state in here.
//
//   pad state --PadInput::update--> presses --ReadingSession::pressPadButton--> PadAction
//   PadAction: done by the session (focus, finishing the page), or left to the front end
//              (a choice button's click, a menu item, the backlog it draws)

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "app/menu_model.h"

namespace vrk::app {

/// The buttons by place: the face buttons as South (A on most pads), East, West and North.
enum class PadButton : std::uint8_t {
    Up,
    Down,
    Left,
    Right,
    South,
    East,
    West,
    North,
    LeftShoulder,
    RightShoulder,
    Start,
    Back,
};
inline constexpr std::size_t kPadButtonCount = static_cast<std::size_t>(PadButton::Back) + 1;

/// The bit of a button in a held mask.
constexpr std::uint32_t padBit(PadButton button) {
    return std::uint32_t{1} << static_cast<unsigned>(button);
}

/// The button's name as the page's JavaScript and the manual write it ("south").
std::string_view padButtonName(PadButton button);

/// What a press does.
struct PadAction {
    enum class Kind : std::uint8_t {
        None,
        /// The focus goes one choice towards the first (the leftmost button) or the last.
        FocusPrevious,
        FocusNext,
        /// The page is uncovered at once and its choices enabled.
        FinishPage,
        /// The focused choice button is clicked (`button`), as the reader's click would.
        ClickButton,
        /// The menu item `item` is carried out as its shortcut would be: its menus' rules first.
        MenuItem,
        /// The page scrolls by a page (`amount` -1 up, 1 down).
        ScrollPage,
        /// The backlog over the page closes, or scrolls by `amount` lines (pages with `pages`).
        CloseBacklog,
        ScrollBacklog,
    };
    Kind kind = Kind::None;
    int button = 0;
    MenuId item = MenuId::FileMenu;
    int amount = 0;
    bool pages = false;
    bool operator==(const PadAction&) const = default;
};

/// How the reading stands, as far as the pad's rule needs it.
struct PadFacts {
    bool backlogOpen = false;
    /// The page is complete and its choices enabled.
    bool choicesEnabled = false;
    /// The choice button in focus (1-6).
    int focus = 1;
    /// The page is scrolled to its top (or cannot scroll).
    bool pageAtTop = true;
};

/// The one rule from a pad's button to the reading: the stick and the d-pad move the focus
/// between choices, South completes the page or takes the choice in focus, East goes back a
/// page, North opens the backlog, West turns auto-advance over, the shoulders scroll, Start
/// turns skipping over and Back full screen. Over the backlog the pad reads the backlog instead.
PadAction padAction(PadButton button, const PadFacts& facts);

/// Presses from a pad's state, read as often as the front end likes: a button counts once as it
/// goes down, however long it is held. The left stick counts as the d-pad once pushed past
/// kStickPush along its longer axis and lets go below kStickRelease, so a stick resting near the
/// dead zone's edge does not chatter.
class PadInput {
public:
    static constexpr double kStickPush = 0.5;
    static constexpr double kStickRelease = 0.3;

    /// The pad now: `held` the buttons down (padBit), the stick from -1 (left, up) to 1.
    /// Returns the buttons newly down, in PadButton order.
    std::vector<PadButton> update(std::uint32_t held, double stickX, double stickY);
    /// Forgets what was held (a pad unplugged, the page hidden): the next press counts anew.
    void reset() { m_held = m_stick = 0; }

private:
    std::uint32_t m_held = 0;
    std::uint32_t m_stick = 0;
};

}  // namespace vrk::app
