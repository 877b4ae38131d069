#pragma once
// The reader's route map (the view menu's): the pages read so far with their labels, and from
// each the ways on the reader has been offered. It must give nothing away:
//
//   - a page the read marks do not hold is "？": neither its label nor its text is shown, and
//     every way into the unread gets a "？" of its own, so two ways that meet there do not say so;
//   - a choice's caption shows, since a reader on its page saw it; but a choice offered only on
//     a condition (and the jump a page makes when no choice is offered) may never have been
//     seen, so such a way shows only once the page it leads to has been read;
//   - "@NOWAIT" pages are never on show (nor marked read): a way through them leads on to the
//     pages they jump to, and a choice whose alternatives lead to several pages shows only the
//     read ones (the rest would tell that the flags decide there).
//
// The graph is laid out here too, in layers of ways on from the first page (the map holds only
// what was read, so it stays small and needs no layout engine), so that the window and the
// reading page only draw the boxes, curves and captions it places.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "story/story_map.h"
#include "story/story_state.h"

namespace vrk::app {

struct ReaderMapNode {
    bool known = false;    ///< read: its label is shown; otherwise a "？"
    std::string label;     ///< UTF-8; empty for an unread page
    bool start = false;    ///< the page every reading begins with
    bool ending = false;   ///< the story ends here ("/") and begins again
    bool current = false;  ///< the page on show
    /// Its row: ways on from the first page (or from a page reached otherwise). A row takes one
    /// line of the map, or more when it holds more than kMaxRowBoxes.
    int layer = 0;
    int x = 0;  ///< its box's top left corner, in the map's pixels
    int y = 0;
};

struct ReaderMapEdge {
    std::size_t from = 0;  ///< indices into ReaderMap::nodes
    std::size_t to = 0;
    bool choice = false;       ///< a choice; false for a page that goes on by itself
    std::string caption;       ///< the choice's caption with the reader's names in, UTF-8
    std::string shortCaption;  ///< the caption as the map writes it beside the line, cut short
    bool back = false;         ///< to its own row or one above: drawn as a curve beside the boxes
    // The line: a quadratic curve from (x1, y1) through the control point to (x2, y2), the arrow's
    // tip; the caption is written at (labelX, labelY).
    int x1 = 0;
    int y1 = 0;
    int controlX = 0;
    int controlY = 0;
    int x2 = 0;
    int y2 = 0;
    int labelX = 0;
    int labelY = 0;
};

struct ReaderMap {
    static constexpr int kNodeWidth = 96;
    static constexpr int kNodeHeight = 28;
    static constexpr int kColumnStep = 136;  ///< box to box across a row
    static constexpr int kRowStep = 84;      ///< row to row
    static constexpr int kMargin = 24;
    /// Boxes in one line of the map; a row with more goes on in the lines below.
    static constexpr std::size_t kMaxRowBoxes = 16;
    /// Shift-JIS bytes of a caption written beside its line; the whole one is the line's tip.
    static constexpr std::size_t kShortCaptionBytes = 16;

    std::vector<ReaderMapNode> nodes;  ///< the read pages in the index's order, then the unread
    std::vector<ReaderMapEdge> edges;
    int width = 0;  ///< the map's size in its pixels, margins included
    int height = 0;

    std::size_t knownCount() const;
};

/// Whether the reader has read the page of a label (Shift-JIS), as the read marks hold it.
using IsRead = std::function<bool(const std::string& labelSjis)>;

/// The reader's map of story: names fills the captions' "%1".."%9" as the buttons showed them;
/// currentSjis is the label of the page on show (none when empty).
ReaderMap buildReaderMap(const storymap::StoryMap& story, const IsRead& isRead,
                         const story::StoryState& names, const std::string& currentSjis = {});

}  // namespace vrk::app
