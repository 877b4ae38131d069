#include "vrkc/story_map_graphviz.h"

#include <gtest/gtest.h>

#include <regex>

namespace vrk::storymap {
namespace {

// START -> A (a choice), A -> START (a conditional jump back), A -> GHOST (not in the index),
// an unreachable LOST and an ending END.
StoryMap smallMap() {
    StoryMap map;
    const auto page = [&](std::string name, std::int32_t offset, PageEnd end, bool reachable) {
        MapNode& node = map.nodes.emplace_back();
        node.name = std::move(name);
        node.offset = offset;
        node.end = end;
        node.reachable = reachable;
    };
    page("START", 0, PageEnd::Choices, true);
    map.nodes[0].start = true;
    page("A", 10, PageEnd::Choices, true);
    page("終わり", 20, PageEnd::Ending, true);
    page("LOST", 30, PageEnd::Choices, false);
    MapNode& ghost = map.nodes.emplace_back();
    ghost.name = "GHOST";
    ghost.missing = true;
    ghost.reachable = true;
    map.edges.push_back({0, 1, true, "扉を開ける", "", false});
    map.edges.push_back({1, 0, false, "", "001", true});
    map.edges.push_back({1, 4, true, "a\\b", "", false});
    map.edges.push_back({1, 2, true, "end", "", false});
    map.edges.push_back({3, 2, true, "lost way", "", false});
    return map;
}

// The attribute list of the DOT statement that begins with head ("page1 -> page0").
std::string statement(const std::string& dot, const std::string& head) {
    const std::size_t at = dot.find("\t" + head + "\t");
    if (at == std::string::npos) {
        return "";
    }
    return dot.substr(at, dot.find("];", at) - at);
}

TEST(StoryMapGraphvizTest, FormatsByExtension) {
    EXPECT_EQ(mapFormatFor("out/map.svg"), MapFormat::Svg);
    EXPECT_EQ(mapFormatFor("MAP.SVG"), MapFormat::Svg);
    EXPECT_EQ(mapFormatFor("map.dot"), MapFormat::Dot);
    EXPECT_EQ(mapFormatFor("map.gv"), MapFormat::Dot);
    EXPECT_FALSE(mapFormatFor("map.png").has_value());
    EXPECT_FALSE(mapFormatFor("svg").has_value());
}

TEST(StoryMapGraphvizTest, EachKindHasItsOwnLookInTheLaidOutDot) {
    std::string error;
    const auto dot = renderStoryMap(smallMap(), MapFormat::Dot, &error);
    ASSERT_TRUE(dot.has_value()) << error;
    EXPECT_TRUE(dot->starts_with("digraph")) << *dot;
    // Laid out: the graph has its bounding box and every node its place.
    EXPECT_NE(dot->find("bb=\""), std::string::npos);
    const std::regex placed("pos=\"[0-9.]+,[0-9.]+\"");
    for (const char* node : {"page0", "page1", "page2", "page3", "missing4"}) {
        const std::string attributes = statement(*dot, node);
        EXPECT_TRUE(std::regex_search(attributes, placed)) << node << ": " << attributes;
    }
    EXPECT_NE(statement(*dot, "page0").find("peripheries=2"), std::string::npos);
    EXPECT_NE(statement(*dot, "page2").find("label=終わり"), std::string::npos) << *dot;
    EXPECT_NE(statement(*dot, "page2").find("doubleoctagon"), std::string::npos);
    EXPECT_NE(statement(*dot, "page3").find("dashed"), std::string::npos);
    EXPECT_NE(statement(*dot, "missing4").find("#d01010"), std::string::npos);
    EXPECT_NE(statement(*dot, "missing4").find("not in the index"), std::string::npos);

    const std::string choice = statement(*dot, "page0 -> page1");
    EXPECT_NE(choice.find("label=扉を開ける"), std::string::npos) << choice;
    const std::string back = statement(*dot, "page1 -> page0");
    EXPECT_NE(back.find("#c06000"), std::string::npos) << back;
    EXPECT_NE(back.find("constraint=false"), std::string::npos) << back;
    EXPECT_NE(back.find("arrowhead=empty"), std::string::npos) << back;
    EXPECT_NE(back.find("dashed"), std::string::npos) << back;
    EXPECT_NE(back.find("[001]"), std::string::npos) << back;
    // A backslash in a caption stays one, not an escape of Graphviz's.
    const std::string nowhere = statement(*dot, "page1 -> missing4");
    EXPECT_NE(nowhere.find("#d01010"), std::string::npos) << nowhere;
    EXPECT_NE(nowhere.find("label=\"a\\\\b\""), std::string::npos) << nowhere;
    EXPECT_NE(dot->find("Legend"), std::string::npos);
}

TEST(StoryMapGraphvizTest, SvgHoldsTheCaptionsAndTheLegend) {
    std::string error;
    const auto svg = renderStoryMap(smallMap(), MapFormat::Svg, &error);
    ASSERT_TRUE(svg.has_value()) << error;
    EXPECT_NE(svg->find("<svg"), std::string::npos);
    EXPECT_NE(svg->find("</svg>"), std::string::npos);
    EXPECT_NE(svg->find(">扉を開ける</text>"), std::string::npos);
    EXPECT_NE(svg->find(">終わり</text>"), std::string::npos);
    EXPECT_NE(svg->find(">a\\b</text>"), std::string::npos);
    EXPECT_NE(svg->find(">Legend</text>"), std::string::npos);
    EXPECT_NE(svg->find("stroke-dasharray"), std::string::npos);  // dashed lines are drawn dashed
}

TEST(StoryMapGraphvizTest, LargeMapsAreNotRanked) {
    StoryMap map;
    map.nodes.resize(kMaxRankedPages);
    EXPECT_STREQ(layoutEngineFor(map), "dot");
    map.nodes.resize(kMaxRankedPages + 1);
    EXPECT_STRNE(layoutEngineFor(map), "dot");
}

}  // namespace
}  // namespace vrk::storymap
