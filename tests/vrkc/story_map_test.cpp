#include "story/story_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "vrkc/story_compiler.h"

namespace vrk::storymap {
namespace {

const std::string kDefaults = [] {
    std::string block = "*VRKALTER\n";
    for (int i = 0; i < 18; ++i) {
        block += "????\n";
    }
    return block + "title\n*VRKVER@10350\n";
}();

StoryMap mapOf(const std::string& source) {
    compiler::CompileError error;
    const auto story = compiler::compileStory(source, false, &error);
    EXPECT_TRUE(story.has_value()) << error.line << ": " << error.message;
    if (!story) {
        return {};
    }
    return buildStoryMap(story->script, story->index);
}

const MapNode& node(const StoryMap& map, std::string_view name) {
    const std::size_t at = map.find(name);
    EXPECT_LT(at, map.nodes.size()) << name;
    static const MapNode none;
    return at < map.nodes.size() ? map.nodes[at] : none;
}

// The ways from one page, as "TARGET caption [condition]" plus " (jump)" and " (back)".
std::vector<std::string> waysFrom(const StoryMap& map, std::string_view name) {
    std::vector<std::string> out;
    for (const MapEdge& edge : map.edges) {
        if (map.nodes[edge.from].name != name) {
            continue;
        }
        std::string way = map.nodes[edge.to].name;
        way += edge.caption.empty() ? "" : " " + edge.caption;
        way += edge.condition.empty() ? "" : " [" + edge.condition + "]";
        way += edge.choice ? "" : " (jump)";
        way += edge.back ? " (back)" : "";
        out.push_back(way);
    }
    return out;
}

using Ways = std::vector<std::string>;

TEST(StoryMapTest, TheDemoDrawsEveryPageAndWay) {
    std::ifstream in(VRK_SOURCE_DIR "/samples/demo/demo.txt", std::ios::binary);
    ASSERT_TRUE(in) << "the demo's source is missing";
    const StoryMap map = mapOf(std::string(std::istreambuf_iterator<char>(in), {}));

    // Twenty-one pages, no reserved label, no target outside the index, every page reached.
    EXPECT_EQ(map.nodes.size(), 21u);
    EXPECT_EQ(map.find("VRKALTER"), map.nodes.size());
    EXPECT_EQ(map.find("VRKVER"), map.nodes.size());
    for (const MapNode& page : map.nodes) {
        EXPECT_FALSE(page.missing) << page.name;
        EXPECT_TRUE(page.reachable) << page.name;
        EXPECT_EQ(page.start, page.name == "START") << page.name;
    }
    EXPECT_EQ(node(map, "P_SLEEP").end, PageEnd::Ending);
    EXPECT_EQ(node(map, "P_END").end, PageEnd::Ending);
    EXPECT_EQ(node(map, "P_HALL").end, PageEnd::Jump);  // "@NOWAIT"
    EXPECT_EQ(node(map, "P_GATE").end, PageEnd::Jump);  // "?END" with no choice before it
    EXPECT_EQ(node(map, "P_BOARD").end, PageEnd::Choices);

    // Captions come out of Shift-JIS as UTF-8.
    EXPECT_EQ(waysFrom(map, "START"), (Ways{"P_PLATF 列車を降りる", "P_SLEEP このまま眠る"}));
    // A choice whose target hangs on letters: two conditional targets and the default.
    EXPECT_EQ(waysFrom(map, "P_LETTER"),
              (Ways{"P_FORT_A 文字を読む [D=A]", "P_FORT_B 文字を読む [D=B]", "P_FORT_C 文字を読む"}));
    // Choices offered under a flag; the line after "@NOWAIT" is no target.
    EXPECT_EQ(waysFrom(map, "P_PLATF"),
              (Ways{"P_LETTER 封筒を開ける", "P_HALL 駅舎に入る", "P_BACK 駅舎の裏へ回る [NOT501]",
                    "P_MEMORY 前に来たときの記憶をたどる [501]"}));
    EXPECT_EQ(waysFrom(map, "P_HALL"), (Ways{"P_HALL2 [001] (jump)", "P_HALL1 (jump)"}));
    EXPECT_EQ(waysFrom(map, "P_GATE"), (Ways{"P_HILL (jump)"}));
    // Back to earlier pages, and a choice's condition joined with its target's.
    EXPECT_EQ(waysFrom(map, "P_STAR"),
              (Ways{"P_BOARD 案内板へ戻る (back)", "P_MEMORY 願いごとをする [010 & B>C]",
                    "P_BOARD 願いごとをする [010] (back)"}));
    EXPECT_EQ(waysFrom(map, "P_MEMORY"),
              (Ways{"P_GATE 今度こそ、最後まで行く (back)", "P_HALL2 窓口へ戻る [002] (back)"}));
    EXPECT_EQ(waysFrom(map, "P_BOARD").size(), 6u);
    EXPECT_TRUE(waysFrom(map, "P_END").empty());
}

TEST(StoryMapTest, PagesNoReadingReachesAndTargetsOutsideTheIndex) {
    const StoryMap map = mapOf(
        "*START\ntext\n?\ngo\nNEXT\n?\nlost\nNOWHERE\n?END\n"
        "*NEXT\n@NOWAIT\nskipped\nSTART\n"
        // Two pages that lead to each other, and nothing from the start to them.
        "*LOST1\ntext\n?\nround\nLOST2\n?END\n"
        "*LOST2\ntext\n?\nround\nLOST1\n?\nout\nSTART\n?END\n" +
        kDefaults);
    ASSERT_EQ(map.nodes.size(), 5u);
    EXPECT_TRUE(node(map, "START").reachable);
    EXPECT_TRUE(node(map, "NEXT").reachable);
    EXPECT_FALSE(node(map, "LOST1").reachable);
    EXPECT_FALSE(node(map, "LOST2").reachable);
    // A target not in the index is a node of its own, after the pages, that no page is.
    const MapNode& nowhere = node(map, "NOWHERE");
    EXPECT_TRUE(nowhere.missing);
    EXPECT_EQ(nowhere.offset, -1);
    EXPECT_EQ(&nowhere, &map.nodes.back());
    EXPECT_EQ(waysFrom(map, "START"), (Ways{"NEXT go", "NOWHERE lost"}));
    EXPECT_EQ(waysFrom(map, "NEXT"), (Ways{"START (jump) (back)"}));
    EXPECT_EQ(waysFrom(map, "LOST2"), (Ways{"LOST1 round (back)", "START out (back)"}));
    EXPECT_EQ(waysFrom(map, "LOST1"), (Ways{"LOST2 round"}));
}

TEST(StoryMapTest, HowPagesGoOn) {
    const StoryMap map = mapOf(
        "*START\n!001\ntext\n"
        // Every choice hangs on a flag: the target after "?END" is where the page goes when
        // none is offered.
        "?001\nyes\nSELF\n?NOT001\nno\nEND\n?END\nFALLBACK\n"
        "*SELF\ntext\n?\nagain\n\nSELF\n?\n?001,END\nFALLBACK\n?END\n"
        // Choices that end at the next page's label have no target after "?END".
        "*FALLBACK\ntext\n?002\nmaybe\nEND\n?END\n"
        "*END\nbye\n/\n"
        // A page that runs off the end of the script leads nowhere.
        "*BROKEN\ntext\n?\ncut\n");
    EXPECT_EQ(node(map, "START").end, PageEnd::Choices);
    EXPECT_EQ(waysFrom(map, "START"),
              (Ways{"SELF yes [001]", "END no [NOT001]", "FALLBACK [no choice offered] (jump)"}));
    // Empty lines before a target are passed over; a way to the page itself goes back; a
    // choice without a caption keeps its line, the alternative "?001,END" is its caption.
    EXPECT_EQ(waysFrom(map, "SELF"), (Ways{"SELF again (back)", "FALLBACK ?001,END"}));
    EXPECT_EQ(waysFrom(map, "FALLBACK"), (Ways{"END maybe [002]"}));
    EXPECT_EQ(node(map, "END").end, PageEnd::Ending);
    EXPECT_EQ(node(map, "BROKEN").end, PageEnd::Broken);
    EXPECT_TRUE(waysFrom(map, "BROKEN").empty());
    EXPECT_FALSE(node(map, "BROKEN").reachable);
}

TEST(StoryMapTest, LabelsAndCaptionsInShiftJisBecomeUtf8) {
    // "駅前" is four bytes of Shift-JIS, a label of its own; "はじめ" as a target is cut to
    // the eight bytes the player keeps of a label, which hold four characters.
    const StoryMap map = mapOf("*駅前\n本文\n?\n改札へ\nはじめまして\n?END\n*はじめま\n終\n/\n" + kDefaults);
    ASSERT_EQ(map.nodes.size(), 2u);
    EXPECT_TRUE(node(map, "駅前").start);
    EXPECT_EQ(waysFrom(map, "駅前"), (Ways{"はじめま 改札へ"}));
    EXPECT_TRUE(node(map, "はじめま").reachable);
}

TEST(StoryMapTest, IndexRecordsThatNameNoPage) {
    std::vector<char> script;
    for (const char* line : {"text", "/"}) {
        const std::string text = line;
        script.push_back(static_cast<char>(text.size()));
        script.insert(script.end(), text.begin(), text.end());
    }
    std::vector<char> index;
    const auto record = [&](std::string_view name, std::int32_t offset) {
        index.push_back(static_cast<char>(name.size()));
        for (std::size_t i = 0; i < 8; ++i) {
            index.push_back(i < name.size() ? name[i] : '\0');
        }
        for (int i = 0; i < 4; ++i) {
            index.push_back(static_cast<char>((static_cast<std::uint32_t>(offset) >> (8 * i)) & 0xFF));
        }
    };
    record("START", 0);
    record("START", 5);  // a second record of one name is never used
    record("FAR", 999);
    record("NEG", -4);
    index.insert(index.end(), {'\x03', 'C', 'U', 'T'});  // a partial record
    const StoryMap map = buildStoryMap(script, index);
    ASSERT_EQ(map.nodes.size(), 3u);
    EXPECT_EQ(node(map, "START").offset, 0);
    EXPECT_EQ(node(map, "START").end, PageEnd::Ending);
    EXPECT_EQ(node(map, "FAR").end, PageEnd::Broken);
    EXPECT_EQ(node(map, "NEG").end, PageEnd::Broken);
    EXPECT_TRUE(map.edges.empty());
}

}  // namespace
}  // namespace vrk::storymap
