// Game controllers: the rule from a pad's buttons to the reading, the presses a pad's state
// gives, and the reading session driven through SDL by a virtual pad, as the window drives it.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "../support/story_folder.h"
#include "app/pad_mapping.h"
#include "app/reading_session.h"
#include "app/sdl/sdl_pads.h"

namespace vrk::app {
namespace {

namespace fs = std::filesystem;
using Kind = PadAction::Kind;

// --- The rule -----------------------------------------------------------------------------------

TEST(PadMappingTest, TheLeftShoulderScrollsUpUntilTheTopOpensTheBacklog) {
    PadFacts below;
    below.pageAtTop = false;
    EXPECT_EQ(padAction(PadButton::LeftShoulder, below), (PadAction{Kind::ScrollPage, 0, {}, -1, true}));
    EXPECT_EQ(padAction(PadButton::RightShoulder, below), (PadAction{Kind::ScrollPage, 0, {}, 1, true}));
    PadFacts top;
    EXPECT_EQ(padAction(PadButton::LeftShoulder, top).item, MenuId::Backlog);
}

TEST(PadMappingTest, OverTheBacklogNoPressReachesThePageBehindIt) {
    PadFacts facts;
    facts.backlogOpen = true;
    facts.choicesEnabled = true;
    EXPECT_EQ(padAction(PadButton::Up, facts), (PadAction{Kind::ScrollBacklog, 0, {}, -1, false}));
    EXPECT_EQ(padAction(PadButton::Down, facts), (PadAction{Kind::ScrollBacklog, 0, {}, 1, false}));
    EXPECT_EQ(padAction(PadButton::RightShoulder, facts), (PadAction{Kind::ScrollBacklog, 0, {}, 1, true}));
    for (const PadButton closes : {PadButton::East, PadButton::North, PadButton::South}) {
        EXPECT_EQ(padAction(closes, facts).kind, Kind::CloseBacklog) << padButtonName(closes);
    }
    for (const PadButton idle : {PadButton::West, PadButton::Left, PadButton::Start}) {
        EXPECT_EQ(padAction(idle, facts).kind, Kind::None) << padButtonName(idle);
    }
}

// --- The presses of a pad's state ---------------------------------------------------------------

TEST(PadInputTest, AButtonCountsOnceAsItGoesDownHoweverLongItIsHeld) {
    PadInput input;
    const std::uint32_t south = padBit(PadButton::South);
    EXPECT_EQ(input.update(south, 0, 0), std::vector{PadButton::South});
    EXPECT_TRUE(input.update(south, 0, 0).empty());
    EXPECT_EQ(input.update(south | padBit(PadButton::East), 0, 0), std::vector{PadButton::East});
    EXPECT_TRUE(input.update(0, 0, 0).empty());
    EXPECT_EQ(input.update(south, 0, 0), std::vector{PadButton::South});
    input.reset();
    EXPECT_EQ(input.update(south, 0, 0), std::vector{PadButton::South}) << "held across a reset: anew";
    EXPECT_TRUE(input.update(0xFFFF0000U, 0, 0).empty()) << "no such buttons";
}

TEST(PadInputTest, TheStickPushesOnceOutsideItsDeadZoneAndLetsGoWellInside) {
    PadInput input;
    EXPECT_TRUE(input.update(0, 0.45, 0.2).empty()) << "resting in the dead zone";
    EXPECT_EQ(input.update(0, 0.8, 0.1), std::vector{PadButton::Right});
    EXPECT_TRUE(input.update(0, 1.0, 0).empty()) << "one move per push";
    EXPECT_TRUE(input.update(0, 0.4, 0).empty()) << "not let go above the release";
    EXPECT_TRUE(input.update(0, 0.6, 0).empty()) << "so no second move either";
    EXPECT_TRUE(input.update(0, 0.1, 0).empty());
    EXPECT_EQ(input.update(0, 0.6, 0), std::vector{PadButton::Right}) << "pushed again";
    input.update(0, 0, 0);
    // The longer axis decides; up is negative.
    EXPECT_EQ(input.update(0, -0.6, -0.9), std::vector{PadButton::Up});
    // The d-pad held with the stick the same way is one press, not two.
    input.update(0, 0, 0);
    EXPECT_EQ(input.update(padBit(PadButton::Down), 0, 0.9), std::vector{PadButton::Down});
    EXPECT_TRUE(input.update(0, std::nan(""), 0).empty()) << "a broken axis reads as centred";
}

// --- The reading session driven by a pad --------------------------------------------------------

class PadSessionTest : public test_support::StoryFolderTest {
protected:
    void SetUp() override {
        StoryFolderTest::SetUp();
        // A page of one "Next", then three choices, each to a page of its own.
        test_support::writeStoryProject(
            m_dir,
            "*START\nいち\n?\n次へ\nASK\n?END\n*ASK\nどれ\n?\nあ\nA\n?\nい\nB\n?\nう\nC\n?"
            "END\n*A\nあ\n?END\nSTART\n*B\nい\n?END\nSTART\n*C\nう\n?END\nSTART\n");
        openProject(m_session);
    }

    // What a front end does with a press: the session's part, then a click of the button.
    PadAction press(PadButton button) {
        const PadAction action = m_session.pressPadButton(button);
        if (action.kind == Kind::ClickButton) {
            m_session.clickButton(action.button);
        }
        return action;
    }
    std::string label() const { return m_session.story().state.currentLabel; }

    ReadingSession m_session{fs::temp_directory_path(), test_support::fixedMeasurer()};
};

TEST_F(PadSessionTest, SouthFinishesThePageThenGoesOnAndTheFocusPicksAChoice) {
    ASSERT_FALSE(m_session.choicesEnabled());
    EXPECT_EQ(press(PadButton::South).kind, Kind::FinishPage);
    EXPECT_TRUE(m_session.choicesEnabled()) << "the reveal finished at once";
    EXPECT_EQ(label(), "START");
    EXPECT_EQ(press(PadButton::South).kind, Kind::ClickButton);
    ASSERT_EQ(label(), "ASK");

    press(PadButton::South);
    ASSERT_EQ(m_session.visibleButtons(), 3);
    // The focus starts on the first choice, the leftmost button, and stops at either end.
    EXPECT_EQ(m_session.choiceFocus(), 3);
    m_session.takeChanges();
    press(PadButton::Left);
    EXPECT_EQ(m_session.choiceFocus(), 3);
    EXPECT_FALSE(m_session.takeChanges().focusChanged) << "already the first";
    press(PadButton::Right);
    press(PadButton::Down);
    EXPECT_EQ(m_session.choiceFocus(), 1);
    EXPECT_TRUE(m_session.takeChanges().focusChanged);
    press(PadButton::Right);
    EXPECT_EQ(m_session.choiceFocus(), 1);
    press(PadButton::Up);
    EXPECT_EQ(m_session.choiceFocus(), 2);
    EXPECT_EQ(press(PadButton::South), (PadAction{Kind::ClickButton, 2}));
    EXPECT_EQ(label(), "B") << "the second choice";
}

TEST_F(PadSessionTest, AFocusTheReaderMovedElsewhereIsTheOneTaken) {
    press(PadButton::South);
    press(PadButton::South);
    press(PadButton::South);
    ASSERT_EQ(label(), "ASK");
    m_session.setChoiceFocus(1);
    press(PadButton::South);
    EXPECT_EQ(label(), "C");
    press(PadButton::South);
    EXPECT_EQ(m_session.choiceFocus(), 1) << "a new page's focus is its own";
}

TEST_F(PadSessionTest, APressStopsAutoAdvanceButTheOneThatTurnsItOver) {
    m_session.setAutoAdvance(true);
    EXPECT_EQ(press(PadButton::West).item, MenuId::AutoAdvance);
    EXPECT_TRUE(m_session.autoAdvance()) << "the front end's menu item turns it over";
    press(PadButton::Right);
    EXPECT_FALSE(m_session.autoAdvance());
}

// The desktop's pads: SDL's virtual pad plugged in, its buttons pressed between polls.
class SdlPadsTest : public PadSessionTest {
protected:
    void SetUp() override {
        PadSessionTest::SetUp();
        ASSERT_TRUE(m_pads.start()) << SDL_GetError();
        SDL_VirtualJoystickDesc desc{};
        desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
        desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
        desc.naxes = SDL_CONTROLLER_AXIS_MAX;
        desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
        desc.name = "vrk test pad";
        m_device = SDL_JoystickAttachVirtualEx(&desc);
        ASSERT_GE(m_device, 0) << SDL_GetError();
        EXPECT_TRUE(m_pads.poll().empty());
        ASSERT_EQ(m_pads.count(), 1) << "plugged in while the pads were read";
        m_joystick = SDL_JoystickFromInstanceID(SDL_JoystickGetDeviceInstanceID(m_device));
        ASSERT_NE(m_joystick, nullptr);
    }
    void TearDown() override {
        if (m_device >= 0) {
            SDL_JoystickDetachVirtual(m_device);
        }
        PadSessionTest::TearDown();
    }

    // One press and release of a button, and what the pads report after each.
    std::vector<PadButton> tap(SDL_GameControllerButton button) {
        SDL_JoystickSetVirtualButton(m_joystick, button, 1);
        std::vector<PadButton> presses = m_pads.poll();
        SDL_JoystickSetVirtualButton(m_joystick, button, 0);
        for (const PadButton also : m_pads.poll()) {
            presses.push_back(also);
        }
        for (const PadButton pressed : presses) {
            press(pressed);
        }
        return presses;
    }

    SdlPads m_pads;
    int m_device = -1;
    SDL_Joystick* m_joystick = nullptr;
};

TEST_F(SdlPadsTest, AVirtualPadReadsThePagesAndTakesTheChoiceInFocus) {
    EXPECT_EQ(tap(SDL_CONTROLLER_BUTTON_A), std::vector{PadButton::South});
    EXPECT_TRUE(m_session.choicesEnabled());
    tap(SDL_CONTROLLER_BUTTON_A);
    tap(SDL_CONTROLLER_BUTTON_A);
    ASSERT_EQ(label(), "ASK");
    ASSERT_EQ(m_session.choiceFocus(), 3);

    EXPECT_EQ(tap(SDL_CONTROLLER_BUTTON_DPAD_RIGHT), std::vector{PadButton::Right});
    EXPECT_EQ(m_session.choiceFocus(), 2);
    // The stick: pushed and held over several polls it moves once.
    SDL_JoystickSetVirtualAxis(m_joystick, SDL_CONTROLLER_AXIS_LEFTX, 30000);
    for (int poll = 0; poll < 3; ++poll) {
        for (const PadButton pressed : m_pads.poll()) {
            press(pressed);
        }
    }
    SDL_JoystickSetVirtualAxis(m_joystick, SDL_CONTROLLER_AXIS_LEFTX, 0);
    EXPECT_TRUE(m_pads.poll().empty());
    EXPECT_EQ(m_session.choiceFocus(), 1);

    tap(SDL_CONTROLLER_BUTTON_A);
    EXPECT_EQ(label(), "C");
}

TEST_F(SdlPadsTest, AnUnpluggedPadIsClosedAndOneHeldDownThenCountsNoMore) {
    SDL_JoystickSetVirtualButton(m_joystick, SDL_CONTROLLER_BUTTON_B, 1);
    EXPECT_EQ(m_pads.poll(), std::vector{PadButton::East});
    ASSERT_EQ(SDL_JoystickDetachVirtual(m_device), 0);
    m_device = -1;
    EXPECT_TRUE(m_pads.poll().empty());
    EXPECT_EQ(m_pads.count(), 0);
}

}  // namespace
}  // namespace vrk::app
