// Hostile stories must end in bounded time and memory. Each case states its bound: memory
// is measured as growth of the process's peak resident size; time is bounded by the work
// each case can do (hops, lines, bytes), never by a clock.

#include <sys/resource.h>

#include <string>
#include <vector>

#include "common/errors.h"
#include "story_fixture.h"

namespace vrk::interpreter::test {
namespace {

// Peak resident memory of this process so far, in MiB.
long peakRssMib() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

std::string messageOf(const std::function<void()>& run) {
    try {
        run();
    } catch (const Error& error) {
        return error.messageSjis();
    }
    return "(no error)";
}

using ResourceBoundsTest = StoryFixture;

TEST_F(ResourceBoundsTest, OffsetsFarPastTheScriptReadNothing) {
    // Offsets 2 GB past the end of a 30-byte script: the run reads no byte and allocates
    // nothing beyond the script (bound: 8 MiB growth), ending in the read error.
    std::vector<char> script;
    story::appendScriptLine(script, "text");
    story::appendScriptLine(script, "/");
    std::vector<char> index;
    story::appendLabelRecord(index, "FAR", 0x7FFFFFF0);
    story::appendLabelRecord(index, "NEG", static_cast<std::int32_t>(0x80000010u));
    story.labels.loadBytes(index);
    story.script.openBytes(script);
    const long before = peakRssMib();
    EXPECT_NE(messageOf([&] { run("FAR"); }).find("Read beyond end of file"), std::string::npos);
    EXPECT_FALSE(interpreter.isRunning());
    // An offset that reads as negative is a jump error on the page, not a read.
    run("NEG");
    EXPECT_EQ(pageText().back(), "Jump Address Error : NEG");
    EXPECT_LT(peakRssMib() - before, 8);
}

TEST_F(ResourceBoundsTest, PageOfAHundredThousandLinesIsKeptWhole) {
    // 100 000 lines of 40 bytes: the page holds them all (bound: 64 MiB growth, about
    // fifteen times the text), one pass over the script.
    std::vector<std::string> lines(100000, std::string(40, 'x'));
    lines.push_back("/");
    loadLines(lines);
    const long before = peakRssMib();
    run("P");
    EXPECT_EQ(pageText().size(), 100000u);
    EXPECT_LT(peakRssMib() - before, 64);
}

TEST_F(ResourceBoundsTest, LineOfNothingButNameReferencesStopsAt255Bytes) {
    // 127 "%1" and a last "%": each name is inserted once (at most 255 insertions of a
    // 255-byte line), the line never grows past 255 bytes and the cut-off "%" is never read.
    story.state.names[1] = "ABCDEFGHIJKLMNOP";
    std::string line;
    while (line.size() + 2 <= 255) {
        line += "%1";
    }
    line += "%";
    ASSERT_EQ(line.size(), 255u);
    loadLines({line, "/"});
    run("P");
    ASSERT_EQ(pageText().size(), 1u);
    EXPECT_EQ(pageText()[0].size(), 255u);
    EXPECT_EQ(pageText()[0].substr(0, 32), "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP");

    // With an empty name the line shrinks to the lone "%", which is a conversion error.
    story.state.names[1].clear();
    loadLines({line, "/"});
    EXPECT_NE(messageOf([&] { run("P"); }).find("is not a valid integer value"), std::string::npos);
}

TEST_F(ResourceBoundsTest, NowaitCycleThroughTheLastOfAFullIndexEnds) {
    // The hop target is the last of 8002 records, so every one of the 100 000 allowed hops
    // looks a label up in the fullest index there can be: the run ends with the cycle error
    // and allocates nothing per hop (bound: 8 MiB growth).
    std::vector<char> script;
    story::appendScriptLine(script, "@NOWAIT");
    story::appendScriptLine(script, "");
    story::appendScriptLine(script, "LOOP");
    std::vector<char> index;
    for (int n = 0; n < 8001; ++n) {
        story::appendLabelRecord(index, "L" + std::to_string(n), 0);
    }
    story::appendLabelRecord(index, "LOOP", 0);
    story.labels.loadBytes(index);
    story.script.openBytes(script);
    const long before = peakRssMib();
    EXPECT_NE(messageOf([&] { run("LOOP"); }).find("Endless @NOWAIT cycle at LOOP"), std::string::npos);
    EXPECT_FALSE(interpreter.isRunning());
    EXPECT_LT(peakRssMib() - before, 8);
}

TEST_F(ResourceBoundsTest, IndexOfOneNameRepeatedFindsTheFirst) {
    // 8002 records of one name and 10 more past the limit: only 8002 are kept (104 026
    // bytes of index, whatever the file holds) and the first record wins.
    std::vector<char> index;
    for (int n = 0; n < 8012; ++n) {
        story::appendLabelRecord(index, "SAME", n);
    }
    story.labels.loadBytes(index);
    EXPECT_EQ(story.labels.count(), 8002u);
    EXPECT_EQ(story.labels.findLabel("SAME"), 0);
    EXPECT_EQ(story.labels.findLabel("SAMEX"), -1);
}

}  // namespace
}  // namespace vrk::interpreter::test
