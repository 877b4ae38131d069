#pragma once
// vrkc --map: the shape of a story as an author reads it, a page for each label and an arrow
// for each way on from it. The pages are walked as the player reads them, without playing:
// every choice and every alternative target is drawn, whatever the flags would say.
// Names and captions are UTF-8 here; the drawing (story_map_graphviz.h) only styles them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "story/script.h"

namespace vrk::storymap {

/// How a page goes on once it has been read.
enum class PageEnd {
    Choices,  ///< a choice block ("?" ... "?END")
    Jump,     ///< straight on to another page: "@NOWAIT", or "?END" with no choice before it
    Ending,   ///< "/": the story ends and starts again from its first page
    Broken,   ///< the script ends (or the record points) where no page can be read
};

struct MapNode {
    std::string name;      ///< the label, UTF-8
    std::string nameSjis;  ///< the label as the script and the reader's read marks hold it
    /// The record's script offset; -1 for a target that is not in the index.
    std::int32_t offset = -1;
    bool start = false;      ///< record 1, where every reading begins (and begins again)
    bool missing = false;    ///< named as a target but not in the label index
    bool reachable = false;  ///< some reading from the start arrives here
    /// "@NOWAIT": the reading goes straight on, and the page is never on show (nor marked read).
    bool passedThrough = false;
    PageEnd end = PageEnd::Broken;
};

struct MapEdge {
    std::size_t from = 0;  ///< indices into StoryMap::nodes
    std::size_t to = 0;
    bool choice = false;  ///< a choice the reader picks; false for a jump the page makes itself
    std::string caption;  ///< the choice's caption, UTF-8; empty for a jump
    /// The condition that must hold for this way to be taken, UTF-8: the choice's header (it is
    /// offered only then) and a "?COND,LABEL" alternative's, joined by " & ". Empty when none.
    std::string condition;
    /// The target is the page itself or one earlier in the script: the reading goes back.
    bool back = false;
    /// The edges of one choice, or of one jump, share it (counted on each page from 0): more
    /// than one are its "?COND,LABEL" alternatives.
    std::size_t way = 0;
    /// The way exists for the reader only while a condition holds: a choice whose header has
    /// one (offered only then), or the jump a page makes when none of its choices is offered.
    bool onCondition = false;
    /// The caption as the script holds it, before the reader's names go in.
    std::string captionSjis{};
};

struct StoryMap {
    std::vector<MapNode> nodes;  ///< pages in index order, then the missing targets by first mention
    std::vector<MapEdge> edges;  ///< in script order of the lines that name them

    /// The node of a label (UTF-8), or nodes.size() when there is none.
    std::size_t find(std::string_view name) const;
};

/// The map of a compiled story. Never fails: a record that names no readable page becomes a
/// page that leads nowhere (PageEnd::Broken), and a partial last index record is left out,
/// as the player leaves it. The reserved labels (VRKALTER, VRKSTART, VRKVER) are no pages.
StoryMap buildStoryMap(std::span<const char> script, std::span<const char> index);
/// The same from an index already loaded, as the player holds it.
StoryMap buildStoryMap(std::span<const char> script, const story::LabelIndex& labels);

}  // namespace vrk::storymap
