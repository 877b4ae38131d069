#include "presentation/reveal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vrk::presentation {
namespace {

const std::string kKanji = "\x8a\xbf";  // U+6F22 漢

// Four columns of 8-pixel cells, lines 20 pixels high: image 74 wide.
PageLayout layoutOf(const std::vector<std::string>& page) {
    LayoutInput input;
    input.metrics = {8, 3, 20};
    input.clientWidth = 5 * 16 + 16;
    return layoutPage(page, input);
}

RevealState stateOf(const std::vector<std::string>& page, int speed) {
    RevealState state;
    state.setRevealSpeed(speed);
    state.startLayout(layoutOf(page));
    return state;
}

// Ticks (1-based) on which a step was made, over the given number of ticks.
std::vector<int> stepTicks(RevealState& state, int ticks) {
    std::vector<int> made;
    for (int t = 1; t <= ticks; ++t) {
        const int before = state.revealCount();
        state.tick(0, 400);
        if (state.revealCount() != before) {
            made.push_back(t);
        }
    }
    return made;
}

TEST(Reveal, PacingBySpeed) {
    const std::vector<std::string> page(10, kKanji + kKanji);  // 20 steps
    struct Case {
        int speed;
        std::vector<int> ticks;
    };
    const Case cases[] = {
        {1, {1, 2, 3, 4, 5, 6}},
        {2, {1, 3, 5}},
        {5, {1, 6}},
        {0, {1, 2, 3, 4, 5, 6}},  // a speed of 0 from the settings file steps like 1
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "speed " << c.speed);
        RevealState state = stateOf(page, c.speed);
        EXPECT_EQ(stepTicks(state, 6), c.ticks);
    }
}

TEST(Reveal, StepRectanglesAndCompletion) {
    RevealState state = stateOf({kKanji + kKanji + kKanji, "ab"}, 1);
    ASSERT_EQ(state.revealTotal(), 5);
    struct Expected {
        Rect source;
        int windowX, windowY;
        bool completed;
    };
    // Steps 1, 2, 4 (line 0 stretched to the end), 5, 8 (last: the image's last line).
    const Expected expected[] = {
        {{0, 0, 19, 20}, 1, -5, false},  {{16, 0, 19, 20}, 17, -5, false}, {{32, 0, 42, 20}, 33, -5, false},
        {{0, 20, 19, 20}, 1, 15, false}, {{16, 20, 58, 20}, 17, 15, true},
    };
    for (const Expected& e : expected) {
        SCOPED_TRACE(testing::Message() << "step " << state.revealCount() + 1);
        const TickResult r = state.tick(5, 400);
        EXPECT_EQ(r.action, TickResult::Action::Uncover);
        EXPECT_EQ(r.uncover, (Uncover{e.source, e.windowX, e.windowY}));
        EXPECT_EQ(r.completed, e.completed);
    }
    EXPECT_EQ(state.tick(5, 400).action, TickResult::Action::None);
}

TEST(Reveal, ScrollsInsteadOfDrawingAtTheButtonBand) {
    // Visible height 100: a line starting at 75 or below (100 − 25) scrolls by one line.
    const std::vector<std::string> page(8, kKanji);
    RevealState state = stateOf(page, 1);
    std::vector<TickResult::Action> actions;
    for (int i = 0; i < 6; ++i) {
        actions.push_back(state.tick(0, 100).action);
    }
    using A = TickResult::Action;
    EXPECT_EQ(actions,
              (std::vector<A>{A::Uncover, A::Uncover, A::Uncover, A::Uncover, A::Scroll, A::Scroll}));
    const TickResult scrolled = stateOf(page, 1).tick(0, 20);
    EXPECT_EQ(scrolled.scrollTo, 20);
}

TEST(Reveal, ButtonBandBoundaryIsExact) {
    // Lines 25 high in a window of four whole lines: the band starts at 75 below the
    // scroll position, exactly where the line starting at 100 lies when scrolled by 25.
    LayoutInput input;
    input.metrics = {8, 3, 25};
    input.clientWidth = 5 * 16 + 16;
    const int visible = visibleHeightFor(110, 25);
    ASSERT_EQ(visible, 100);
    using A = TickResult::Action;
    struct Case {
        int position;
        A action;
    };
    const Case cases[] = {{24, A::Scroll}, {25, A::Scroll}, {26, A::Uncover}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "scrolled by " << c.position);
        RevealState state;
        state.setRevealSpeed(1);
        state.startLayout(layoutPage(std::vector<std::string>(6, kKanji), input));
        for (int i = 0; i < 4; ++i) {
            state.tick(0, 400);
        }
        const TickResult r = state.tick(c.position, visible);
        ASSERT_EQ(r.uncover.source.top, 100);
        EXPECT_EQ(r.action, c.action);
    }
}

TEST(Reveal, HoldCountdownRunsWithoutAPage) {
    RevealState state;
    state.setHoldTicks(2);
    EXPECT_EQ(state.tick(0, 300).action, TickResult::Action::None);
    EXPECT_EQ(state.holdTicks(), 1);
    state.tick(0, 300);
    state.tick(0, 300);
    EXPECT_EQ(state.holdTicks(), 0);
}

TEST(Reveal, PaintRectanglesCoverTheUncoveredPart) {
    const std::vector<std::string> page(6, kKanji + kKanji);  // steps 1, 4, 5, 8, ...
    RevealState state = stateOf(page, 1);
    EXPECT_TRUE(state.paintRects(0, 300).empty());
    for (int i = 0; i < 5; ++i) {
        state.tick(0, 300);
    }
    // Last uncovered step is the first of line 2: lines 0-1 whole, then line 2 to column 1.
    EXPECT_EQ(state.paintRects(0, 300),
              (std::vector<Uncover>{{{0, 0, 74, 40}, 1, 0}, {{0, 40, 19, 20}, 1, 40}}));
    // Scrolled past the whole lines, only the last line is drawn, from the window's top.
    EXPECT_EQ(state.paintRects(40, 300), (std::vector<Uncover>{{{0, 40, 19, 20}, 1, 0}}));
    // The whole lines are cut at the bottom of the visible part, and the last line is out of view.
    EXPECT_EQ(state.paintRects(0, 30), (std::vector<Uncover>{{{0, 0, 74, 30}, 1, 0}}));
    state.finish();
    EXPECT_TRUE(state.isComplete());
    EXPECT_EQ(state.paintRects(0, 300).back().source, (Rect{0, 100, 74, 20}));
}

// What a screen reader may read after each step of the reveal: whole characters only, never
// beyond the step, each step's text the start of the next, and the whole page at the end.
std::vector<std::vector<std::string>> revealedAfterEachStep(const std::vector<std::string>& page) {
    const PageLayout layout = layoutOf(page);
    RevealState state;
    state.setRevealSpeed(1);
    state.startLayout(layout);
    std::vector<std::vector<std::string>> seen;
    while (!state.isComplete()) {
        state.tick(0, 400);
        seen.push_back(revealedLines(page, layout.columns, state.step(state.revealCount())));
    }
    return seen;
}

TEST(Reveal, ReadableLinesFollowTheStepsAndNeverSplitACharacter) {
    const std::string wrapping = kKanji + kKanji + kKanji + kKanji + kKanji;  // four to a line, then one
    const std::string maru = "\x81\x42";  // 。 hangs past the last column
    const std::vector<std::vector<std::string>> pages = {
        {wrapping, "ab"},
        {kKanji + kKanji + kKanji + kKanji + maru, "", "c"},
        {"a" + kKanji + kKanji + kKanji},  // every step ends inside a character but the last
    };
    for (const auto& page : pages) {
        SCOPED_TRACE(testing::Message()
                     << "page of " << page.size() << " lines, first " << page[0].size() << " bytes");
        const auto seen = revealedAfterEachStep(page);
        ASSERT_FALSE(seen.empty());
        EXPECT_EQ(seen.back(), page) << "the whole page once the reveal is complete";
        std::vector<std::string> before;
        for (const auto& lines : seen) {
            ASSERT_LE(lines.size(), page.size());
            ASSERT_GE(lines.size(), before.size());
            for (std::size_t i = 0; i < lines.size(); ++i) {
                EXPECT_EQ(page[i].substr(0, lines[i].size()), lines[i]) << "a start of its line";
                if (i < before.size()) {
                    EXPECT_GE(lines[i].size(), before[i].size()) << "nothing read goes away";
                }
                if (i + 1 < lines.size()) {
                    EXPECT_EQ(lines[i], page[i]) << "only the last line read is partly uncovered";
                }
            }
            before = lines;
        }
    }

    // Step by step where the answer is known.
    EXPECT_EQ(revealedLines(pages[0], 4, 0), std::vector<std::string>{}) << "nothing before the first step";
    EXPECT_EQ(revealedAfterEachStep(pages[0]),
              (std::vector<std::vector<std::string>>{{kKanji},
                                                     {kKanji + kKanji},
                                                     {kKanji + kKanji + kKanji},
                                                     {kKanji + kKanji + kKanji + kKanji},
                                                     {wrapping},
                                                     {wrapping, "ab"},
                                                     {wrapping, "ab"}}))
        << "the last step ends where the one before did";
    // The hanging mark is read with the last column, where it is drawn.
    const auto hanging = revealedAfterEachStep(pages[1]);
    EXPECT_EQ(hanging[2], std::vector<std::string>{kKanji + kKanji + kKanji});
    EXPECT_EQ(hanging[3], std::vector<std::string>{pages[1][0]});
    // Two cells uncover "a" and the first half of a kanji: only "a" is read.
    EXPECT_EQ(revealedAfterEachStep(pages[2]).front(), std::vector<std::string>{"a"});
}

TEST(Scrolling, RangeAndThumb) {
    EXPECT_EQ(visibleHeightFor(310, 25), 300);
    EXPECT_EQ(scrollRangeFor(502, 25, 300), (ScrollRange{227, 300, 25, true}));
    EXPECT_FALSE(scrollRangeFor(252, 25, 300).enabled);
    EXPECT_EQ(scrollRangeFor(252, 25, 300).maximum, 0);
    EXPECT_EQ(scrollRangeFor(275, 25, 300).maximum, 0);  // exactly fits: nothing to scroll
    EXPECT_EQ(snapThumb(130, 25), 125);
    EXPECT_EQ(snapThumb(125, 25), 125);
    EXPECT_EQ(visibleHeightFor(310, 0), 310);  // no division by a zero line height
}

}  // namespace
}  // namespace vrk::presentation
