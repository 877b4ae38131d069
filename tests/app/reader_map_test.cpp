#include "app/reader_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>

#include "app/page_model.h"
#include "common/sjis.h"
#include "story/script.h"
#include "vrkc/story_compiler.h"

namespace vrk::app {
namespace {

const std::string kDefaults = [] {
    std::string block = "*VRKALTER\n";
    for (int i = 0; i < 18; ++i) {
        block += "????\n";
    }
    return block + "title\n";
}();

storymap::StoryMap storyOf(const std::string& source) {
    compiler::CompileError error;
    const auto story = compiler::compileStory(source + kDefaults, false, &error);
    EXPECT_TRUE(story.has_value()) << error.line << ": " << error.message;
    return story ? storymap::buildStoryMap(story->script, story->index) : storymap::StoryMap{};
}

// The labels read, given in UTF-8.
IsRead readOf(std::initializer_list<const char*> labels) {
    std::set<std::string> read;
    for (const char* label : labels) {
        read.insert(utf8ToSjisLossy(label));
    }
    return [read](const std::string& sjis) { return read.contains(sjis); };
}

std::string nodeName(const ReaderMap& map, std::size_t node) {
    return map.nodes[node].known ? map.nodes[node].label : "？";
}

// Each edge as "FROM -caption-> TO", "？" for an unread page; a jump has no caption.
std::vector<std::string> edgesOf(const ReaderMap& map) {
    std::vector<std::string> out;
    for (const ReaderMapEdge& edge : map.edges) {
        out.push_back(nodeName(map, edge.from) + " -" + edge.caption + "-> " + nodeName(map, edge.to));
    }
    std::sort(out.begin(), out.end());
    return out;
}

using Edges = std::vector<std::string>;

// START offers three ways: the forest, a talk with the reader's name in its caption, and a
// secret door offered only on a flag. The forest leads back, or on through a hop (@NOWAIT)
// that goes to HIDDEN on a flag and to DEEP otherwise.
const std::string kSmall =
    "*START\nはじめ\n?\n森へ行く\nFOREST\n?\n%1と話す\nTALK\n?005\n秘密の扉\nSECRET\n?END\n"
    "*FOREST\n森\n?\n戻る\nSTART\n?\n奥へ\nHOP\n?END\n"
    "*HOP\n@NOWAIT\nx\n?001,HIDDEN\nDEEP\n"
    "*DEEP\n深い\n/\n*TALK\n話\n/\n*SECRET\n秘密\n/\n*HIDDEN\n隠し\n/\n";

story::StoryState namedTaro() {
    story::StoryState state;
    state.names[1] = utf8ToSjisLossy("太郎");
    return state;
}

TEST(ReaderMapTest, ShowsWhatWasReadAndNothingElse) {
    const storymap::StoryMap story = storyOf(kSmall);
    const ReaderMap map =
        buildReaderMap(story, readOf({"START", "FOREST"}), namedTaro(), utf8ToSjisLossy("FOREST"));
    // The secret door was offered only on a flag and leads to no page read: it is left out.
    EXPECT_EQ(edgesOf(map), (Edges{"FOREST -奥へ-> ？", "FOREST -戻る-> START", "START -太郎と話す-> ？",
                                   "START -森へ行く-> FOREST"}));
    EXPECT_EQ(map.knownCount(), 2u);
    ASSERT_EQ(map.nodes.size(), 4u);
    EXPECT_TRUE(map.nodes[0].start);
    EXPECT_FALSE(map.nodes[0].current);
    EXPECT_TRUE(map.nodes[1].current);
    // Every way into the unread has a "？" of its own.
    EXPECT_NE(map.edges[1].to, map.edges[3].to);

    // Nothing unread leaks into what the page is given: no label, no caption, no hop.
    const std::string json = readerMapJson(map);
    for (const char* hidden : {"TALK", "SECRET", "HIDDEN", "DEEP", "HOP", "秘密", "隠し", "%1"}) {
        EXPECT_EQ(json.find(hidden), std::string::npos) << hidden << " in " << json;
    }
    EXPECT_NE(json.find("\"label\":\"FOREST\""), std::string::npos);
    EXPECT_NE(json.find("\"label\":\"？\""), std::string::npos);
}

TEST(ReaderMapTest, WaysToReadPagesShowTheirTargets) {
    const storymap::StoryMap story = storyOf(kSmall);
    // Through the hop to DEEP: the hop is never on show, and the flagged HIDDEN stays unsaid.
    ReaderMap map = buildReaderMap(story, readOf({"START", "FOREST", "DEEP"}), {});
    EXPECT_EQ(edgesOf(map), (Edges{"FOREST -奥へ-> DEEP", "FOREST -戻る-> START", "START -と話す-> ？",
                                   "START -森へ行く-> FOREST"}));
    EXPECT_TRUE(map.nodes[2].ending);
    // A flagged choice shows once its page is read; the other alternative's too.
    map = buildReaderMap(story, readOf({"START", "SECRET", "FOREST", "DEEP", "HIDDEN"}), {});
    EXPECT_EQ(edgesOf(map),
              (Edges{"FOREST -奥へ-> DEEP", "FOREST -奥へ-> HIDDEN", "FOREST -戻る-> START",
                     "START -と話す-> ？", "START -森へ行く-> FOREST", "START -秘密の扉-> SECRET"}));
}

TEST(ReaderMapTest, JumpsAndMissingTargetsAndAStartThatHops) {
    // The first page hops on at once; A goes on by itself (no choice) to B; B's choice names a
    // label the index lacks; C is read but no way from the start's tree leads to it.
    const storymap::StoryMap story = storyOf(
        "*ENTRY\n@NOWAIT\nx\nA\n*A\nあ\n?END\nB\n*B\nい\n?\n無へ\nNOWHERE\n?\n戻る\nA\n?END\n"
        "*C\nう\n/\n");
    const ReaderMap map = buildReaderMap(story, readOf({"A", "B", "C", "ENTRY"}), {});
    EXPECT_EQ(edgesOf(map), (Edges{"A --> B", "B -戻る-> A", "B -無へ-> ？"}));
    ASSERT_EQ(map.knownCount(), 3u);  // ENTRY is never on show, whatever the marks say
    EXPECT_TRUE(map.nodes[0].start);
    EXPECT_FALSE(map.edges[0].choice);
    EXPECT_EQ(map.nodes[0].layer, 0);
    EXPECT_EQ(map.nodes[1].layer, 1);
    EXPECT_EQ(map.nodes[2].layer, 0);  // C begins a tree of its own
    EXPECT_EQ(map.nodes[3].layer, 2);

    // Nothing read: an empty map.
    const ReaderMap none = buildReaderMap(story, readOf({}), {});
    EXPECT_TRUE(none.nodes.empty());
    EXPECT_EQ(none.width, 0);
}

TEST(ReaderMapTest, CaptionsAreCutShortBesideTheirLines) {
    const storymap::StoryMap story = storyOf("*S\nt\n?\n長い長い長い長い長い選択肢\nS\n?\nshort\nS\n?END\n");
    const ReaderMap map = buildReaderMap(story, readOf({"S"}), {});
    ASSERT_EQ(map.edges.size(), 2u);
    EXPECT_EQ(map.edges[0].caption, "長い長い長い長い長い選択肢");
    EXPECT_EQ(map.edges[0].shortCaption, "長い長い長い長…");
    EXPECT_EQ(map.edges[1].shortCaption, "short");
    // A page's way back to itself loops out to its right.
    EXPECT_TRUE(map.edges[0].back);
    EXPECT_GT(map.edges[0].controlX, map.nodes[0].x + ReaderMap::kNodeWidth);
}

// No two boxes overlap, every box and line is inside the map, and lines start and end at boxes.
void expectLaidOut(const ReaderMap& map) {
    std::set<std::pair<int, int>> places;
    for (const ReaderMapNode& node : map.nodes) {
        EXPECT_TRUE(places.emplace(node.x, node.y).second) << node.label;
        EXPECT_EQ((node.y - ReaderMap::kMargin) % ReaderMap::kRowStep, 0);
        EXPECT_GE(node.y, ReaderMap::kMargin + node.layer * ReaderMap::kRowStep);
        EXPECT_EQ((node.x - ReaderMap::kMargin) % (ReaderMap::kColumnStep / 2), 0);
        EXPECT_GE(node.x, ReaderMap::kMargin);
        EXPECT_LE(node.x + ReaderMap::kNodeWidth, map.width);
        EXPECT_LE(node.y + ReaderMap::kNodeHeight, map.height);
    }
    // Rows go down the map in order, however many lines each takes.
    std::map<int, std::pair<int, int>> rows;  // layer -> its first and last line's y
    for (const ReaderMapNode& node : map.nodes) {
        auto [row, fresh] = rows.try_emplace(node.layer, node.y, node.y);
        row->second = {std::min(row->second.first, node.y), std::max(row->second.second, node.y)};
    }
    for (auto row = rows.begin(); row != rows.end() && std::next(row) != rows.end(); ++row) {
        EXPECT_LT(row->second.second, std::next(row)->second.first) << "row " << row->first;
    }
    for (const ReaderMapEdge& edge : map.edges) {
        EXPECT_LE(edge.controlX, map.width);
        const ReaderMapNode& to = map.nodes[edge.to];
        EXPECT_GE(edge.x2, to.x);
        EXPECT_LE(edge.x2, to.x + ReaderMap::kNodeWidth);
        EXPECT_EQ(edge.back, to.layer <= map.nodes[edge.from].layer);
    }
}

TEST(ReaderMapTest, TheDemoReadInPartAndWhole) {
    std::ifstream in(VRK_SOURCE_DIR "/samples/demo/demo.txt", std::ios::binary);
    ASSERT_TRUE(in) << "the demo's source is missing";
    const std::string source((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    compiler::CompileError error;
    const auto demo = compiler::compileStory(source, false, &error);
    ASSERT_TRUE(demo.has_value()) << error.line << ": " << error.message;
    const storymap::StoryMap story = storymap::buildStoryMap(demo->script, demo->index);

    // Only the first page: every way from it leads to a "？", and no other label is named.
    const storymap::MapNode& first = story.nodes.front();
    ReaderMap map =
        buildReaderMap(story, [&](const std::string& label) { return label == first.nameSjis; }, {});
    ASSERT_EQ(map.knownCount(), 1u);
    EXPECT_FALSE(map.edges.empty());
    for (const ReaderMapEdge& edge : map.edges) {
        EXPECT_EQ(edge.from, 0u);
        EXPECT_FALSE(map.nodes[edge.to].known);
    }
    const std::string json = readerMapJson(map);
    for (const storymap::MapNode& page : story.nodes) {
        if (&page != &first) {
            EXPECT_EQ(json.find("\"" + page.name + "\""), std::string::npos) << page.name;
        }
    }
    expectLaidOut(map);

    // Everything: every page that shows is known, and no way leads into the unknown.
    map = buildReaderMap(story, [](const std::string&) { return true; }, {});
    const auto shown = std::count_if(story.nodes.begin(), story.nodes.end(),
                                     [](const auto& n) { return !n.missing && !n.passedThrough; });
    EXPECT_EQ(map.knownCount(), static_cast<std::size_t>(shown));
    EXPECT_EQ(map.nodes.size(), map.knownCount());
    expectLaidOut(map);
}

// A story as large as an index can name: 8 001 pages (and VRKALTER), three or four choices
// each, forward and back, some flagged, some pages hopping on, some ending.
storymap::StoryMap largestStory() {
    std::mt19937 rng(7);
    const int pages = static_cast<int>(story::LabelIndex::kMaxRecords) - 1;
    const auto name = [](int p) {
        char buffer[16];
        std::snprintf(buffer, sizeof buffer, "P%05d", p);
        return std::string(buffer);
    };
    std::vector<char> script;
    std::vector<char> index;
    for (int p = 0; p < pages; ++p) {
        story::appendLabelRecord(index, name(p), static_cast<std::int32_t>(script.size()));
        const unsigned roll = rng() % 100;
        if (roll < 5 && p + 1 < pages) {
            for (const std::string& line : {std::string("@NOWAIT"), std::string("x"),
                                            "?001," + name(static_cast<int>(rng() % pages)), name(p + 1)}) {
                story::appendScriptLine(script, line);
            }
            continue;
        }
        story::appendScriptLine(script, utf8ToSjisLossy("頁の文。%1は歩いた。"));
        if (roll < 8 || p + 1 == pages) {
            story::appendScriptLine(script, "/");
            continue;
        }
        const int choices = 3 + static_cast<int>(rng() % 2);
        for (int c = 0; c < choices; ++c) {
            story::appendScriptLine(script, c == 0 || rng() % 10 < 7 ? "?" : "?005");
            story::appendScriptLine(script, utf8ToSjisLossy(c % 2 ? "進む" : "右の道へ"));
            const int near = std::min(p + 1 + static_cast<int>(rng() % 5), pages - 1);
            story::appendScriptLine(script, name(rng() % 10 < 8 ? near : static_cast<int>(rng() % pages)));
        }
        story::appendScriptLine(script, "?END");
    }
    story::appendLabelRecord(index, "VRKALTER", static_cast<std::int32_t>(script.size()));
    return storymap::buildStoryMap(script, index);
}

TEST(ReaderMapTest, TheLargestStoryIsQuick) {
    using Clock = std::chrono::steady_clock;
    const auto ms = [](Clock::duration d) {
        return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
    };
    // What the session does each time the map is opened: the story's walk, the reader's map of
    // it and the JSON the page takes. Measured at a few tens of milliseconds with every page
    // read; the limit leaves room for a loaded machine and the sanitizers' build.
    Clock::duration spent{};
    auto started = Clock::now();
    const storymap::StoryMap story = largestStory();
    spent += Clock::now() - started;
    ASSERT_EQ(story.nodes.size(), story::LabelIndex::kMaxRecords - 1);
    for (const int every : {2, 1}) {
        std::size_t n = 0;
        std::set<std::string> read;
        for (const storymap::MapNode& page : story.nodes) {
            if (n++ % every == 0) {
                read.insert(page.nameSjis);
            }
        }
        started = Clock::now();
        const ReaderMap map =
            buildReaderMap(story, [&](const std::string& l) { return read.contains(l); }, {});
        const std::string json = readerMapJson(map);
        const auto took = Clock::now() - started;
        spent += took;
        std::printf(
            "8 002 labels, %s page read: %zu boxes, %zu lines, %d x %d pixels, %zu KiB of JSON, %lld "
            "ms\n",
            every == 1 ? "every" : "every other", map.nodes.size(), map.edges.size(), map.width, map.height,
            json.size() / 1024, ms(took));
        EXPECT_GT(map.knownCount(), read.size() * 9 / 10);
        expectLaidOut(map);
        // A reading that wide goes down the map, not thousands of boxes across.
        EXPECT_LT(map.width, 4000);
    }
    EXPECT_LT(spent, std::chrono::seconds(5)) << ms(spent) << " ms";
}

}  // namespace
}  // namespace vrk::app
