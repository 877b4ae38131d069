#include "app/pad_mapping.h"

#include <cmath>

namespace vrk::app {

std::string_view padButtonName(PadButton button) {
    switch (button) {
        case PadButton::Up:
            return "up";
        case PadButton::Down:
            return "down";
        case PadButton::Left:
            return "left";
        case PadButton::Right:
            return "right";
        case PadButton::South:
            return "south";
        case PadButton::East:
            return "east";
        case PadButton::West:
            return "west";
        case PadButton::North:
            return "north";
        case PadButton::LeftShoulder:
            return "leftShoulder";
        case PadButton::RightShoulder:
            return "rightShoulder";
        case PadButton::Start:
            return "start";
        case PadButton::Back:
            return "back";
    }
    return {};
}

namespace {

using Kind = PadAction::Kind;

PadAction menuItem(MenuId id) {
    PadAction action;
    action.kind = Kind::MenuItem;
    action.item = id;
    return action;
}

PadAction scroll(Kind kind, int amount, bool pages) {
    PadAction action;
    action.kind = kind;
    action.amount = amount;
    action.pages = pages;
    return action;
}

// Over the backlog the pad reads it: the d-pad by lines, the shoulders by pages; the buttons
// that go back or opened it close it again, so no press goes on to the page hidden behind it.
PadAction backlogAction(PadButton button) {
    switch (button) {
        case PadButton::Up:
            return scroll(Kind::ScrollBacklog, -1, false);
        case PadButton::Down:
            return scroll(Kind::ScrollBacklog, 1, false);
        case PadButton::LeftShoulder:
            return scroll(Kind::ScrollBacklog, -1, true);
        case PadButton::RightShoulder:
            return scroll(Kind::ScrollBacklog, 1, true);
        case PadButton::East:
        case PadButton::North:
        case PadButton::South:
            return {Kind::CloseBacklog};
        default:
            return {};
    }
}

}  // namespace

PadAction padAction(PadButton button, const PadFacts& facts) {
    if (facts.backlogOpen) {
        return backlogAction(button);
    }
    switch (button) {
        // The first choice is the leftmost button: up and left go towards it.
        case PadButton::Up:
        case PadButton::Left:
            return {Kind::FocusPrevious};
        case PadButton::Down:
        case PadButton::Right:
            return {Kind::FocusNext};
        case PadButton::South:
            if (!facts.choicesEnabled) {
                return {Kind::FinishPage};
            }
            return {Kind::ClickButton, facts.focus};
        case PadButton::East:
            return menuItem(MenuId::Back);
        case PadButton::North:
            return menuItem(MenuId::Backlog);
        case PadButton::West:
            return menuItem(MenuId::AutoAdvance);
        // As PageUp: the page scrolls, and at its top the backlog opens.
        case PadButton::LeftShoulder:
            return facts.pageAtTop ? menuItem(MenuId::Backlog) : scroll(Kind::ScrollPage, -1, true);
        case PadButton::RightShoulder:
            return scroll(Kind::ScrollPage, 1, true);
        case PadButton::Start:
            return menuItem(MenuId::Skip);
        case PadButton::Back:
            return menuItem(MenuId::FullScreen);
    }
    return {};
}

std::vector<PadButton> PadInput::update(std::uint32_t held, double stickX, double stickY) {
    // The stick's direction along its longer axis; held on until it falls back below the release.
    const auto direction = [this](double value, PadButton negative, PadButton positive) -> std::uint32_t {
        const PadButton side = value < 0 ? negative : positive;
        const double limit = (m_stick & padBit(side)) != 0 ? kStickRelease : kStickPush;
        return std::abs(value) > limit ? padBit(side) : 0;
    };
    std::uint32_t stick = 0;
    if (std::isfinite(stickX) && std::isfinite(stickY)) {
        stick = std::abs(stickX) >= std::abs(stickY) ? direction(stickX, PadButton::Left, PadButton::Right)
                                                     : direction(stickY, PadButton::Up, PadButton::Down);
    }
    held = (held & ((std::uint32_t{1} << kPadButtonCount) - 1)) | stick;
    const std::uint32_t pressed = held & ~m_held;
    m_held = held;
    m_stick = stick;
    std::vector<PadButton> out;
    for (std::size_t i = 0; i < kPadButtonCount; ++i) {
        if ((pressed & (std::uint32_t{1} << i)) != 0) {
            out.push_back(static_cast<PadButton>(i));
        }
    }
    return out;
}

}  // namespace vrk::app
