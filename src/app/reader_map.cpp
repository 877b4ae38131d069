#include "app/reader_map.h"

#include <algorithm>
#include <deque>
#include <utility>

#include "common/errors.h"
#include "common/sjis.h"

namespace vrk::app {

namespace {

using storymap::MapEdge;
using storymap::MapNode;
using storymap::StoryMap;

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

class Builder {
public:
    Builder(const StoryMap& story, const IsRead& isRead, const story::StoryState& names)
        : m_story(story), m_names(names), m_out(story.nodes.size()), m_seen(story.nodes.size(), 0) {
        m_ways.resize(story.nodes.size());
        for (std::size_t e = 0; e < story.edges.size(); ++e) {
            m_ways[story.edges[e].from].push_back(e);
        }
        for (std::size_t i = 0; i < story.nodes.size(); ++i) {
            const MapNode& page = story.nodes[i];
            if (!page.missing && !page.passedThrough && isRead(page.nameSjis)) {
                m_out[i] = m_map.nodes.size();
                ReaderMapNode& node = m_map.nodes.emplace_back();
                node.known = true;
                node.label = page.name;
                node.ending = page.end == storymap::PageEnd::Ending;
            } else {
                m_out[i] = kNone;
            }
        }
    }

    ReaderMap build(const std::string& currentSjis) {
        // The first page may hop on at once: the reading begins where it arrives.
        for (std::size_t i = 0; i < m_story.nodes.size(); ++i) {
            if (m_story.nodes[i].start) {
                std::vector<std::size_t> first;
                arrivals(i, first);
                for (const std::size_t page : first) {
                    if (m_out[page] != kNone) {
                        m_map.nodes[m_out[page]].start = true;
                    }
                }
            }
        }
        for (std::size_t i = 0; i < m_story.nodes.size(); ++i) {
            if (m_out[i] != kNone) {
                addWaysFrom(i);
                m_map.nodes[m_out[i]].current =
                    !currentSjis.empty() && m_story.nodes[i].nameSjis == currentSjis;
            }
        }
        layOut();
        return std::move(m_map);
    }

private:
    // The pages a way to node arrives at: the node itself, or where its "@NOWAIT" hops lead (a
    // target not in the index stays itself, an unread page as any other). A cycle of hops
    // arrives nowhere, as the player ends such a run with an error.
    void arrivals(std::size_t node, std::vector<std::size_t>& out) {
        ++m_stamp;
        std::vector<std::size_t> stack{node};
        while (!stack.empty()) {
            const std::size_t at = stack.back();
            stack.pop_back();
            if (m_seen[at] == m_stamp) {
                continue;
            }
            m_seen[at] = m_stamp;
            if (!m_story.nodes[at].passedThrough) {
                out.push_back(at);
                continue;
            }
            const std::vector<std::size_t>& ways = m_ways[at];
            for (auto e = ways.rbegin(); e != ways.rend(); ++e) {
                stack.push_back(m_story.edges[*e].to);
            }
        }
    }

    // The caption as its button showed it, and cut short for writing beside the line.
    void setCaption(ReaderMapEdge& edge, const MapEdge& way) const {
        std::string caption = way.captionSjis;
        try {
            story::substituteNames(m_names, caption);
        } catch (const Error&) {
            caption = way.captionSjis;  // its page failed to show then: kept as written
        }
        edge.caption = sjisToUtf8(caption);
        edge.shortCaption = caption.size() <= ReaderMap::kShortCaptionBytes
                                ? edge.caption
                                : sjisToUtf8(cutSjis(caption, ReaderMap::kShortCaptionBytes - 2)) + "…";
    }

    // The ways on from a read page, one choice (or jump) at a time: its alternatives' edges share
    // a number.
    void addWaysFrom(std::size_t page) {
        const std::vector<std::size_t>& ways = m_ways[page];
        for (std::size_t first = 0; first < ways.size();) {
            std::size_t end = first + 1;
            while (end < ways.size() && m_story.edges[ways[end]].way == m_story.edges[ways[first]].way) {
                ++end;
            }
            addWay(page, std::span(ways).subspan(first, end - first));
            first = end;
        }
    }

    void addWay(std::size_t page, std::span<const std::size_t> alternatives) {
        const MapEdge& way = m_story.edges[alternatives.front()];
        std::vector<std::size_t> targets;
        for (const std::size_t e : alternatives) {
            arrivals(m_story.edges[e].to, targets);
        }
        std::vector<std::size_t> read;
        for (const std::size_t target : targets) {
            if (m_out[target] != kNone && std::find(read.begin(), read.end(), target) == read.end()) {
                read.push_back(target);
            }
        }
        if (read.empty() && way.onCondition) {
            return;
        }
        ReaderMapEdge edge;
        edge.from = m_out[page];
        edge.choice = way.choice;
        if (way.choice) {
            setCaption(edge, way);
        }
        if (read.empty()) {
            edge.to = m_map.nodes.size();
            m_map.nodes.emplace_back();  // "？"
            m_map.edges.push_back(std::move(edge));
            return;
        }
        for (const std::size_t target : read) {
            edge.to = m_out[target];
            m_map.edges.push_back(edge);
        }
    }

    // Rows by ways on from the first page read (breadth first, so a page sits one row below
    // the nearest page it is reached from); a read page no way leads to from there starts a
    // tree of its own in the first row. Each row is centred under the widest.
    void layOut() {
        std::vector<std::vector<std::size_t>> next(m_map.nodes.size());
        for (const ReaderMapEdge& edge : m_map.edges) {
            next[edge.from].push_back(edge.to);
        }
        std::vector<int> layer(m_map.nodes.size(), -1);
        std::vector<std::vector<std::size_t>> rows;
        std::deque<std::size_t> queue;
        const auto visit = [&](std::size_t node, int row) {
            layer[node] = row;
            if (rows.size() <= static_cast<std::size_t>(row)) {
                rows.resize(static_cast<std::size_t>(row) + 1);
            }
            rows[static_cast<std::size_t>(row)].push_back(node);
            queue.push_back(node);
        };
        const auto spread = [&] {
            while (!queue.empty()) {
                const std::size_t at = queue.front();
                queue.pop_front();
                for (const std::size_t to : next[at]) {
                    if (layer[to] < 0) {
                        visit(to, layer[at] + 1);
                    }
                }
            }
        };
        for (std::size_t i = 0; i < m_map.nodes.size(); ++i) {
            if (m_map.nodes[i].start) {
                visit(i, 0);
            }
        }
        spread();
        for (std::size_t i = 0; i < m_map.nodes.size(); ++i) {
            if (layer[i] < 0) {
                visit(i, 0);
                spread();
            }
        }

        // A row wider than kMaxRowBoxes goes on in the lines below it, so that a reading of a
        // large story grows down the map rather than across it.
        std::size_t widest = 0;
        for (const auto& row : rows) {
            widest = std::max(widest, std::min(row.size(), ReaderMap::kMaxRowBoxes));
        }
        int line = 0;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            for (std::size_t first = 0; first < rows[r].size(); first += ReaderMap::kMaxRowBoxes, ++line) {
                const std::size_t count = std::min(rows[r].size() - first, ReaderMap::kMaxRowBoxes);
                const int indent = static_cast<int>(widest - count) * ReaderMap::kColumnStep / 2;
                for (std::size_t slot = 0; slot < count; ++slot) {
                    ReaderMapNode& node = m_map.nodes[rows[r][first + slot]];
                    node.layer = static_cast<int>(r);
                    node.x = ReaderMap::kMargin + indent + static_cast<int>(slot) * ReaderMap::kColumnStep;
                    node.y = ReaderMap::kMargin + line * ReaderMap::kRowStep;
                }
            }
        }
        const int gapX = ReaderMap::kColumnStep - ReaderMap::kNodeWidth;
        const int gapY = ReaderMap::kRowStep - ReaderMap::kNodeHeight;
        m_map.width = rows.empty()
                          ? 0
                          : 2 * ReaderMap::kMargin + static_cast<int>(widest) * ReaderMap::kColumnStep - gapX;
        m_map.height = rows.empty() ? 0 : 2 * ReaderMap::kMargin + line * ReaderMap::kRowStep - gapY;
        for (ReaderMapEdge& edge : m_map.edges) {
            placeLine(edge);
        }
        // A curve beside the rightmost boxes needs room of its own.
        if (!m_map.edges.empty()) {
            for (const ReaderMapEdge& edge : m_map.edges) {
                m_map.width = std::max(m_map.width, edge.controlX + ReaderMap::kMargin);
            }
        }
    }

    // Down a row (or more): a straight line from the bottom of one box to the top of the other,
    // the caption three fifths of the way, near the page it leads to but clear of the arrowhead.
    // Back up or across a row: a curve out to the right of both boxes, from the side of one to
    // the side of the other.
    void placeLine(ReaderMapEdge& edge) const {
        const ReaderMapNode& from = m_map.nodes[edge.from];
        const ReaderMapNode& to = m_map.nodes[edge.to];
        constexpr int w = ReaderMap::kNodeWidth;
        constexpr int h = ReaderMap::kNodeHeight;
        edge.back = to.layer <= from.layer;
        if (!edge.back) {
            edge.x1 = from.x + w / 2;
            edge.y1 = from.y + h;
            edge.x2 = to.x + w / 2;
            edge.y2 = to.y;
            edge.controlX = (edge.x1 + edge.x2) / 2;
            edge.controlY = (edge.y1 + edge.y2) / 2;
            edge.labelX = (2 * edge.x1 + 3 * edge.x2) / 5;
            edge.labelY = (2 * edge.y1 + 3 * edge.y2) / 5;
            return;
        }
        edge.x1 = from.x + w;
        edge.y1 = from.y + h / 3;
        edge.x2 = to.x + w;
        edge.y2 = to.y + 2 * h / 3;
        const int rows = from.layer - to.layer;
        edge.controlX =
            std::max(edge.x1, edge.x2) + (ReaderMap::kColumnStep - w) / 2 + 20 * std::min(rows, 4) + 24;
        edge.controlY = (edge.y1 + edge.y2) / 2;
        edge.labelX = (edge.x1 + 2 * edge.controlX + edge.x2) / 4;
        edge.labelY = (edge.y1 + 2 * edge.controlY + edge.y2) / 4;
    }

    const StoryMap& m_story;
    const story::StoryState& m_names;
    ReaderMap m_map;
    std::vector<std::vector<std::size_t>> m_ways;  ///< story node -> its edges in script order
    std::vector<std::size_t> m_out;                ///< story node -> reader node, kNone when unread
    std::vector<unsigned> m_seen;                  ///< the walk of arrivals() that saw a node last
    unsigned m_stamp = 0;
};

}  // namespace

std::size_t ReaderMap::knownCount() const {
    return static_cast<std::size_t>(
        std::count_if(nodes.begin(), nodes.end(), [](const auto& n) { return n.known; }));
}

ReaderMap buildReaderMap(const StoryMap& story, const IsRead& isRead, const story::StoryState& names,
                         const std::string& currentSjis) {
    return Builder(story, isRead, names).build(currentSjis);
}

}  // namespace vrk::app
