#include <gtest/gtest.h>

#include <string>

#include "presentation/choices.h"
#include "presentation/reading_settings.h"

namespace vrk::presentation {
namespace {

TEST(SpeedMenu, AvailabilityAndCaption) {
    EXPECT_EQ(speedItemsFor(5, false), (SpeedItems{false, true, true}));
    EXPECT_EQ(speedItemsFor(1, false), (SpeedItems{true, false, true}));
    EXPECT_EQ(speedItemsFor(2, false), (SpeedItems{true, true, false}));
    EXPECT_EQ(speedItemsFor(3, true), (SpeedItems{false, false, false}));
    EXPECT_EQ(speedCaptionSjis(4, false), "\x95\x60\x89\xe6\x91\xac\x93\x78(&P) 4");
    EXPECT_EQ(speedCaptionSjis(4, true), "\x95\x60\x89\xe6\x91\xac\x93\x78(&P) \x8d\xc5\x91\xac");
}

TEST(GapMenu, PressesWalkTheRange) {
    int gap = kStandardLineGap;
    EXPECT_FALSE(gapItemsFor(gap).standard);
    int presses = 0;
    while (gapItemsFor(gap).wide) {
        gap = steppedLineGap(gap, SettingStep::Up);
        ++presses;
    }
    EXPECT_EQ(presses, 8);
    EXPECT_EQ(gap, 20);
    gap = steppedLineGap(gap, SettingStep::Standard);
    gap = steppedLineGap(steppedLineGap(gap, SettingStep::Down), SettingStep::Down);
    EXPECT_EQ(gap, 10);
    EXPECT_EQ(gapItemsFor(gap), (GapItems{true, false, true}));
    // Out of range from the settings file: only the step back toward the range is offered.
    EXPECT_EQ(gapItemsFor(25), (GapItems{false, true, true}));
    EXPECT_EQ(gapItemsFor(0), (GapItems{true, false, true}));
}

TEST(Choices, CaptionsAndSlots) {
    struct Case {
        int choiceCount;
        bool scriptOpen;
        std::string captionsLeftToRight;
    };
    const Case cases[] = {
        {1, true, "Next"}, {3, true, "ABC"}, {6, true, "ABCDEF"}, {1, false, "\x8a\x4a\x82\xad"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.choiceCount << " choices");
        std::string captions;
        for (int k = c.choiceCount; k >= 1; --k) {
            captions += choiceCaptionSjis(k, c.choiceCount, c.scriptOpen);
        }
        EXPECT_EQ(captions, c.captionsLeftToRight);
        EXPECT_EQ(slotForButton(c.choiceCount, c.choiceCount), 1);  // leftmost is "A"
        EXPECT_EQ(slotForButton(1, c.choiceCount), c.choiceCount);
    }
}

TEST(Choices, Keys) {
    struct Case {
        int choiceCount;
        bool scriptOpen;
        std::string keys;
        std::string slots;  // '-' for a key that picks nothing
    };
    const Case cases[] = {
        {1, true, "\r1aA2b", "1111--"},
        {3, true, "a1Ac34dC\r", "11133--3-"},
        {6, true, "fF6gG7\r0", "666-----"},
        {1, false, "\r1a", "---"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.choiceCount << " choices, story open " << c.scriptOpen);
        std::string slots;
        for (char key : c.keys) {
            const auto slot = choiceKeySlot(key, c.scriptOpen, c.choiceCount);
            slots += slot ? static_cast<char>('0' + *slot) : '-';
        }
        EXPECT_EQ(slots, c.slots);
    }
}

TEST(Choices, EnterPicksOnlyTheSingleChoice) {
    EXPECT_EQ(choiceKeySlot(kEnterKey, true, 1), 1);
    for (int count = 2; count <= kChoiceButtons; ++count) {
        SCOPED_TRACE(testing::Message() << count << " choices");
        EXPECT_EQ(choiceKeySlot(kEnterKey, true, count), std::nullopt);
        EXPECT_EQ(choiceKeySlot('1', true, count), 1);  // the key Enter stands for still works
    }
}

}  // namespace
}  // namespace vrk::presentation
