#include "story/story_map.h"

#include <deque>
#include <optional>
#include <set>
#include <unordered_map>

#include "common/errors.h"
#include "common/sjis.h"
#include "story/script.h"

namespace vrk::storymap {
namespace {

bool isReserved(std::string_view name) {
    return name == "VRKALTER" || name == "VRKSTART" || name == "VRKVER";
}

std::string joined(std::string_view a, std::string_view b) {
    if (a.empty() || b.empty()) {
        return std::string(a.empty() ? b : a);
    }
    return std::string(a) + " & " + std::string(b);
}

// One way on from a line that names a target, before it is tied to the nodes.
struct Way {
    std::string target;  ///< Shift-JIS, cut to 8 bytes as the player cuts it
    std::string conditionSjis;
};

class Builder {
public:
    Builder(std::span<const char> script, const story::LabelIndex& labels)
        : m_script(script), m_labels(labels) {
        for (const story::LabelRecord& record : m_labels.records()) {
            m_labelOffsets.insert(record.offset);
        }
    }

    StoryMap build() {
        std::vector<std::pair<std::size_t, std::int32_t>> pages;
        for (const story::LabelRecord& record : m_labels.records()) {
            if (record.storedLength > story::kMaxLabelBytes || isReserved(record.name) ||
                m_nodeOf.contains(record.name)) {
                continue;
            }
            m_nodeOf.emplace(record.name, m_map.nodes.size());
            MapNode& node = m_map.nodes.emplace_back();
            node.name = sjisToUtf8(record.name);
            node.nameSjis = record.name;
            node.offset = record.offset;
            node.start = &record == &m_labels.records().front();
            pages.emplace_back(m_map.nodes.size() - 1, record.offset);
        }
        for (const auto& [node, offset] : pages) {
            walkPage(node, offset);
        }
        markReachable();
        return std::move(m_map);
    }

private:
    // The line at pos, moving pos past it; nothing when it does not fit in the script.
    std::optional<std::string> readLine(std::size_t& pos) const {
        if (pos >= m_script.size()) {
            return std::nullopt;
        }
        const std::size_t length = static_cast<unsigned char>(m_script[pos]);
        if (pos + 1 + length > m_script.size()) {
            return std::nullopt;
        }
        std::string line(m_script.data() + pos + 1, length);
        pos += 1 + length;
        return line;
    }

    // The lines of a target as the player's readTarget takes them: "?COND,LABEL" alternatives,
    // then the plain line that ends them (the label when no alternative holds). Empty lines are
    // passed over. Nothing when the script ends first.
    std::optional<std::vector<Way>> readTarget(std::size_t& pos) const {
        std::vector<Way> ways;
        for (;;) {
            auto line = readLine(pos);
            if (!line) {
                return std::nullopt;
            }
            if (line->empty()) {
                continue;
            }
            if ((*line)[0] == '?') {
                const std::size_t comma = line->find(',');
                if (comma == std::string::npos) {
                    // No condition at all: the whole line is the label (a fault --check names).
                    ways.push_back({cutSjis(*line, story::kMaxLabelBytes), ""});
                } else {
                    ways.push_back({cutSjis(line->substr(comma + 1), story::kMaxLabelBytes),
                                    line->substr(1, comma - 1)});
                }
                continue;
            }
            ways.push_back({cutSjis(*line, story::kMaxLabelBytes), ""});
            return ways;
        }
    }

    std::size_t nodeFor(const std::string& targetSjis) {
        if (const auto it = m_nodeOf.find(targetSjis); it != m_nodeOf.end()) {
            return it->second;
        }
        m_nodeOf.emplace(targetSjis, m_map.nodes.size());
        MapNode& node = m_map.nodes.emplace_back();
        node.name = sjisToUtf8(targetSjis);
        node.nameSjis = targetSjis;
        node.missing = true;
        return m_map.nodes.size() - 1;
    }

    void addWays(std::size_t from, const std::vector<Way>& ways, bool choice, const std::string& caption,
                 const std::string& choiceCondition, std::size_t wayNumber, bool onCondition) {
        for (const Way& way : ways) {
            MapEdge edge;
            edge.from = from;
            edge.to = nodeFor(way.target);
            edge.choice = choice;
            edge.caption = sjisToUtf8(caption);
            edge.captionSjis = caption;
            edge.condition = sjisToUtf8(joined(choiceCondition, way.conditionSjis));
            const MapNode& target = m_map.nodes[edge.to];
            edge.back = !target.missing && target.offset <= m_map.nodes[from].offset;
            edge.way = wayNumber;
            edge.onCondition = onCondition;
            m_map.edges.push_back(std::move(edge));
        }
    }

    // A page from its label's line on, read as the player runs it: the head's "!" and "?"
    // lines, then "@NOWAIT" and its target, or the text up to "/" or the choices.
    void walkPage(std::size_t node, std::int32_t offset) {
        if (offset < 0) {
            return;
        }
        std::size_t pos = static_cast<std::size_t>(offset);
        auto line = readLine(pos);
        while (line && !line->empty() && ((*line)[0] == '!' || (*line)[0] == '?')) {
            line = readLine(pos);
        }
        if (!line) {
            return;
        }
        if (*line == "@NOWAIT") {
            if (!readLine(pos)) {  // the line after "@NOWAIT" is never read
                return;
            }
            m_map.nodes[node].passedThrough = true;
            if (const auto ways = readTarget(pos)) {
                m_map.nodes[node].end = PageEnd::Jump;
                addWays(node, *ways, false, "", "", 0, false);
            }
            return;
        }
        while (line && *line != "/" && !(!line->empty() && (*line)[0] == '?')) {
            line = readLine(pos);
        }
        if (!line) {
            return;
        }
        if (*line == "/") {
            m_map.nodes[node].end = PageEnd::Ending;
            return;
        }
        walkChoices(node, *line, pos);
    }

    // Choice after choice until "?END", as the player reads them (every one, offered or not).
    // With no choice before "?END" the page jumps to the target after it; when every choice
    // hangs on a condition that target is where the page goes when none is offered.
    void walkChoices(std::size_t node, std::string header, std::size_t pos) {
        bool any = false;
        bool always = false;
        std::size_t number = 0;
        while (header != "?END") {
            const auto caption = readLine(pos);
            const auto ways = caption ? readTarget(pos) : std::nullopt;
            if (!ways) {
                return;
            }
            const std::string condition = header.substr(1);
            addWays(node, *ways, true, *caption, condition, number++, !condition.empty());
            any = true;
            always = always || condition.empty();
            auto next = readLine(pos);
            if (!next) {
                return;
            }
            header = std::move(*next);
        }
        m_map.nodes[node].end = any ? PageEnd::Choices : PageEnd::Jump;
        if (always || (any && m_labelOffsets.contains(static_cast<std::int32_t>(pos)))) {
            return;  // no target follows: the next page's label is there
        }
        if (const auto ways = readTarget(pos)) {
            addWays(node, *ways, false, "", any ? "no choice offered" : "", number, any);
        } else if (!any) {
            m_map.nodes[node].end = PageEnd::Broken;
        }
    }

    // Every reading begins at the start, and an ending begins it again: what the start does not
    // lead to, no reading sees.
    void markReachable() {
        std::vector<std::vector<std::size_t>> next(m_map.nodes.size());
        for (const MapEdge& edge : m_map.edges) {
            next[edge.from].push_back(edge.to);
        }
        std::deque<std::size_t> queue;
        for (std::size_t i = 0; i < m_map.nodes.size(); ++i) {
            if (m_map.nodes[i].start) {
                m_map.nodes[i].reachable = true;
                queue.push_back(i);
            }
        }
        while (!queue.empty()) {
            const std::size_t at = queue.front();
            queue.pop_front();
            for (const std::size_t to : next[at]) {
                if (!m_map.nodes[to].reachable) {
                    m_map.nodes[to].reachable = true;
                    queue.push_back(to);
                }
            }
        }
    }

    std::span<const char> m_script;
    const story::LabelIndex& m_labels;
    StoryMap m_map;
    std::unordered_map<std::string, std::size_t> m_nodeOf;  ///< Shift-JIS name -> node
    std::set<std::int32_t> m_labelOffsets;                  ///< where some record's page begins
};

}  // namespace

std::size_t StoryMap::find(std::string_view name) const {
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (nodes[i].name == name) {
            return i;
        }
    }
    return nodes.size();
}

StoryMap buildStoryMap(std::span<const char> script, std::span<const char> index) {
    story::LabelIndex labels;
    try {
        labels.loadBytes(index);
    } catch (const Error&) {
        // The whole records before a partial one stay, as the player keeps them.
    }
    return buildStoryMap(script, labels);
}

StoryMap buildStoryMap(std::span<const char> script, const story::LabelIndex& labels) {
    return Builder(script, labels).build();
}

}  // namespace vrk::storymap
