#include <gtest/gtest.h>

#include "story/script.h"
#include "vrkc/story_compiler.h"

namespace vrk::compiler {
namespace {

// Whatever decompiles compiles back to the same bytes; anything else is refused, never thrown.
void expectRoundTripOrRefusal(const std::vector<char>& script, const std::vector<char>& index) {
    std::string error;
    std::optional<std::string> source;
    ASSERT_NO_THROW(source = decompileStory(script, index, false, &error));
    if (source) {
        CompileError compileError;
        const auto again = compileStory(*source, false, &compileError);
        ASSERT_TRUE(again);
        EXPECT_EQ(again->script, script);
        EXPECT_EQ(again->index, index);
    } else {
        EXPECT_FALSE(error.empty());
    }
}

TEST(DecompileOddIndexes, RoundTripOrClearRefusal) {
    std::vector<char> script;
    story::appendScriptLine(script, "x");
    std::vector<char> part;  // a record and one byte more
    story::appendLabelRecord(part, "A", 0);
    part.push_back('\0');
    expectRoundTripOrRefusal(script, part);
    std::vector<char> padded;  // "STQR" with "T" in the padding after the name
    story::appendLabelRecord(padded, "STQR", 0);
    padded[5] = 'T';
    expectRoundTripOrRefusal(script, padded);
}

}  // namespace
}  // namespace vrk::compiler
