#include "story/save_file.h"
#include "story_fixture.h"

namespace vrk::interpreter::test {
namespace {

using SlotFieldsTest = StoryFixture;

// What the slot holds after any page run reads back field for field: a line-break byte inside
// a field is left out rather than moving every later field down a line.
void expectSlotRoundTrip(const story::StoryState& state) {
    const std::string saved = story::formatStateMarked(state, state.resumeSkip);
    story::StoryState reread;
    ASSERT_NO_THROW(story::parseState(std::span<const char>(saved.data(), saved.size()), reread));
    EXPECT_EQ(story::formatStateMarked(reread, reread.resumeSkip), saved);
    std::string label = state.currentLabel;
    std::erase(label, '\n');
    EXPECT_EQ(reread.currentLabel, label);
    for (std::size_t i = 0; i < state.letters.size(); ++i) {
        EXPECT_EQ(reread.letters[i], state.letters[i] == '\n' ? 'A' : state.letters[i]) << i;
    }
    EXPECT_EQ(reread.background, state.background);
    EXPECT_EQ(reread.bgColour, state.bgColour);
    EXPECT_EQ(reread.textColour, state.textColour);
    EXPECT_EQ(reread.resumeSkip, state.resumeSkip);
}

TEST_F(SlotFieldsTest, LineBreakBytesFromTheScriptSurviveTheSlot) {
    // A choice target holding a line break becomes the current label.
    loadLines({"text", "?END", "A\nB"});
    run("P");
    interpreter.selectChoice(1);
    expectSlotRoundTrip(story.state);
    // A random letter drawn between two line-break bytes.
    loadLines({">RND=A\n\n", "text", "?END", "P"});
    run("P");
    expectSlotRoundTrip(story.state);
}

}  // namespace
}  // namespace vrk::interpreter::test
