#include "vrkc/story_map_graphviz.h"

#include <graphviz/gvc.h>

#include <memory>

#include "common/file_names.h"

namespace vrk::storymap {
namespace {

// The looks of the map, kept in one place so that the legend shows exactly what is drawn.
constexpr const char* kStartFill = "#cdebc5";
constexpr const char* kEndingFill = "#ffe08a";
constexpr const char* kPageFill = "#ffffff";
constexpr const char* kUnreachedColour = "#9a9a9a";
constexpr const char* kUnreachedFill = "#eeeeee";
constexpr const char* kMissingColour = "#d01010";
constexpr const char* kMissingFill = "#ffdcdc";
constexpr const char* kJumpColour = "#303030";
constexpr const char* kConditionalColour = "#1f5fbf";
constexpr const char* kBackColour = "#c06000";

// Graphviz's C interface takes names and values as char*; it copies them.
char* mut(std::string& text) {
    return text.data();
}

// Escapes for a label: Graphviz reads "\n", "\l", "\N" and the like in one, and a caption's
// own backslash (a path, a yen sign) must stay itself.
std::string plainLabel(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else {
            out.push_back(c);
        }
    }
    return out;
}

class Graph {
public:
    explicit Graph(GVC_t* context) : m_context(context) {
        std::string name = "story";
        m_graph = agopen(mut(name), Agdirected, nullptr);
    }
    ~Graph() {
        if (m_laidOut) {
            gvFreeLayout(m_context, m_graph);
        }
        agclose(m_graph);
    }
    Graph(const Graph&) = delete;
    Graph& operator=(const Graph&) = delete;

    Agraph_t* get() const { return m_graph; }

    // A default for every object of one kind; agxset then needs no lookups per object.
    Agsym_t* declare(int kind, std::string name, std::string value) {
        return agattr(m_graph, kind, mut(name), mut(value));
    }
    Agnode_t* node(const std::string& id) {
        std::string name = id;
        return agnode(m_graph, mut(name), 1);
    }
    Agedge_t* edge(Agnode_t* from, Agnode_t* to) { return agedge(m_graph, from, to, nullptr, 1); }

    static void set(void* object, Agsym_t* attribute, std::string value) {
        agxset(object, attribute, mut(value));
    }
    void setHtml(void* object, Agsym_t* attribute, std::string html) {
        char* value = agstrdup_html(m_graph, mut(html));
        agxset(object, attribute, value);
        agstrfree(m_graph, value);
    }

    bool layout(const char* engine) {
        m_laidOut = gvLayout(m_context, m_graph, engine) == 0;
        return m_laidOut;
    }

private:
    GVC_t* m_context;
    Agraph_t* m_graph;
    bool m_laidOut = false;
};

struct NodeLook {
    std::string shape = "box";
    std::string style = "rounded,filled";
    std::string fill = kPageFill;
    std::string colour = "#000000";
    std::string peripheries = "1";
};

NodeLook lookOf(const MapNode& node) {
    NodeLook look;
    if (node.missing) {
        return {"octagon", "dashed,filled,bold", kMissingFill, kMissingColour, "1"};
    }
    if (node.start) {
        look.fill = kStartFill;
        look.style = "rounded,filled,bold";
        look.peripheries = "2";
    } else if (node.end == PageEnd::Ending) {
        look.fill = kEndingFill;
    }
    if (node.end == PageEnd::Ending) {
        look.shape = "doubleoctagon";
        look.style = node.start ? "filled,bold" : "filled";
        look.peripheries = "2";
    }
    if (node.end == PageEnd::Broken) {
        look.colour = kMissingColour;
        look.style += ",bold";
    }
    if (!node.reachable) {
        look.style += ",dashed";
        look.colour = node.end == PageEnd::Broken ? kMissingColour : kUnreachedColour;
        if (!node.start && node.end != PageEnd::Ending) {
            look.fill = kUnreachedFill;
        }
    }
    return look;
}

std::string nodeLabel(const MapNode& node) {
    std::string label = plainLabel(node.name);
    if (node.missing) {
        label += "\\n(not in the index)";
    } else if (node.end == PageEnd::Broken) {
        label += "\\n(leads nowhere)";
    }
    return label;
}

std::string nodeTooltip(const MapNode& node) {
    if (node.missing) {
        return node.name + ": a target that is not in the label index";
    }
    std::string text = node.name;
    text += node.start ? ": the start" : "";
    switch (node.end) {
        case PageEnd::Choices:
            text += ", choices";
            break;
        case PageEnd::Jump:
            text += ", jumps on";
            break;
        case PageEnd::Ending:
            text += ", an ending";
            break;
        case PageEnd::Broken:
            text += ", leads nowhere (no page can be read here)";
            break;
    }
    return text + (node.reachable ? "" : ", reached by no reading from the start");
}

// A row of the legend: a sample of the look and what it means.
std::string legendRow(const std::string& sample, const std::string& meaning) {
    return "<TR><TD>" + sample + "</TD><TD ALIGN=\"LEFT\">" + meaning + "</TD></TR>";
}

std::string boxSample(const std::string& fill, const std::string& colour, const std::string& text,
                      bool dashed = false) {
    return "<TABLE BORDER=\"1\" CELLBORDER=\"0\" COLOR=\"" + colour + "\" BGCOLOR=\"" + fill + "\"" +
           (dashed ? " STYLE=\"dashed\"" : "") + "><TR><TD><FONT COLOR=\"" + colour + "\">" + text +
           "</FONT></TD></TR></TABLE>";
}

std::string arrowSample(const std::string& colour, const std::string& arrow) {
    return "<FONT COLOR=\"" + colour + "\">" + arrow + "</FONT>";
}

std::string legendHtml() {
    std::string rows = "<TABLE BORDER=\"1\" CELLBORDER=\"0\" CELLSPACING=\"2\" CELLPADDING=\"3\">";
    rows += "<TR><TD COLSPAN=\"2\"><B>Legend</B></TD></TR>";
    rows += legendRow(boxSample(kStartFill, "#000000", "<B>START</B>"), "the start (record 1)");
    rows += legendRow(boxSample(kPageFill, "#000000", "PAGE"), "a page");
    rows += legendRow(boxSample(kEndingFill, "#000000", "END"), "an ending (&quot;/&quot;), double octagon");
    rows += legendRow(boxSample(kUnreachedFill, kUnreachedColour, "LOST", true),
                      "no reading from the start reaches it (dashed)");
    rows += legendRow(boxSample(kMissingFill, kMissingColour, "GHOST", true),
                      "a target not in the index, or a page that leads nowhere (red)");
    rows += legendRow(arrowSample("#000000", "caption ──▶"), "a choice, with its caption");
    rows += legendRow(arrowSample(kJumpColour, "━━▷"), "a jump the page makes itself (bold, open head)");
    rows += legendRow(arrowSample(kConditionalColour, "[cond] ╌╌▶"),
                      "taken only under a condition (dashed, blue)");
    rows += legendRow(arrowSample(kBackColour, "◀──"), "back to this page or an earlier one (orange)");
    rows += legendRow(arrowSample(kMissingColour, "──▶"), "into a target that is not in the index (red)");
    return rows + "</TABLE>";
}

void build(Graph& graph, const StoryMap& map, bool ranked) {
    graph.declare(AGRAPH, "charset", "UTF-8");
    graph.declare(AGRAPH, "fontname", "sans-serif");
    if (ranked) {
        graph.declare(AGRAPH, "rankdir", "TB");
        graph.declare(AGRAPH, "newrank", "true");
        graph.declare(AGRAPH, "nodesep", "0.3");
    } else {
        graph.declare(AGRAPH, "overlap", "prism");
        graph.declare(AGRAPH, "outputorder", "edgesfirst");
    }
    Agsym_t* label = graph.declare(AGNODE, "label", "\\N");
    Agsym_t* shape = graph.declare(AGNODE, "shape", "box");
    Agsym_t* style = graph.declare(AGNODE, "style", "rounded,filled");
    Agsym_t* fill = graph.declare(AGNODE, "fillcolor", kPageFill);
    Agsym_t* colour = graph.declare(AGNODE, "color", "#000000");
    Agsym_t* fontColour = graph.declare(AGNODE, "fontcolor", "#000000");
    Agsym_t* peripheries = graph.declare(AGNODE, "peripheries", "1");
    Agsym_t* tooltip = graph.declare(AGNODE, "tooltip", "");
    graph.declare(AGNODE, "fontname", "sans-serif");
    graph.declare(AGNODE, "fontsize", "12");
    Agsym_t* edgeLabel = graph.declare(AGEDGE, "label", "");
    Agsym_t* edgeStyle = graph.declare(AGEDGE, "style", "solid");
    Agsym_t* edgeColour = graph.declare(AGEDGE, "color", "#000000");
    Agsym_t* edgeFontColour = graph.declare(AGEDGE, "fontcolor", "#000000");
    Agsym_t* arrowhead = graph.declare(AGEDGE, "arrowhead", "normal");
    Agsym_t* constraint = graph.declare(AGEDGE, "constraint", "true");
    Agsym_t* edgeTooltip = graph.declare(AGEDGE, "tooltip", "");
    graph.declare(AGEDGE, "fontname", "sans-serif");
    graph.declare(AGEDGE, "fontsize", "10");

    std::vector<Agnode_t*> nodes;
    nodes.reserve(map.nodes.size());
    for (std::size_t i = 0; i < map.nodes.size(); ++i) {
        const MapNode& page = map.nodes[i];
        Agnode_t* node = graph.node((page.missing ? "missing" : "page") + std::to_string(i));
        const NodeLook look = lookOf(page);
        Graph::set(node, label, nodeLabel(page));
        Graph::set(node, shape, look.shape);
        Graph::set(node, style, look.style);
        Graph::set(node, fill, look.fill);
        Graph::set(node, colour, look.colour);
        Graph::set(node, fontColour, look.colour);
        Graph::set(node, peripheries, look.peripheries);
        Graph::set(node, tooltip, plainLabel(nodeTooltip(page)));
        nodes.push_back(node);
    }
    for (const MapEdge& way : map.edges) {
        Agedge_t* edge = graph.edge(nodes[way.from], nodes[way.to]);
        std::string text = way.caption;
        if (!way.condition.empty()) {
            text += (text.empty() ? "[" : "\n[") + way.condition + "]";
        }
        Graph::set(edge, edgeLabel, plainLabel(text));
        std::string look = way.condition.empty() ? "solid" : "dashed";
        if (!way.choice) {
            look += ",bold";
            Graph::set(edge, arrowhead, "empty");
        }
        Graph::set(edge, edgeStyle, look);
        const MapNode& target = map.nodes[way.to];
        const char* tint = target.missing           ? kMissingColour
                           : way.back               ? kBackColour
                           : !way.condition.empty() ? kConditionalColour
                           : way.choice             ? "#000000"
                                                    : kJumpColour;
        Graph::set(edge, edgeColour, tint);
        Graph::set(edge, edgeFontColour, tint);
        if (way.back) {
            // Ranks follow the story forwards; a way back would pull its target down.
            Graph::set(edge, constraint, "false");
        }
        Graph::set(
            edge, edgeTooltip,
            plainLabel(map.nodes[way.from].name + " → " + target.name + (text.empty() ? "" : ": " + text)));
    }
    Agnode_t* legend = graph.node("legend");
    Graph::set(legend, shape, "plaintext");
    Graph::set(legend, style, "solid");
    Graph::set(legend, tooltip, "Legend");
    graph.setHtml(legend, label, legendHtml());
}

// Graphviz reports through a callback of its own; the messages of one drawing are kept here.
std::string* g_messages = nullptr;

int keepMessage(char* message) {
    if (g_messages != nullptr) {
        *g_messages += message;
    }
    return 0;
}

}  // namespace

std::optional<MapFormat> mapFormatFor(const std::filesystem::path& file) {
    const std::string extension = foldCaseAscii(file.extension().string());
    if (extension == ".SVG") {
        return MapFormat::Svg;
    }
    if (extension == ".DOT" || extension == ".GV") {
        return MapFormat::Dot;
    }
    return std::nullopt;
}

const char* layoutEngineFor(const StoryMap& map) {
    return map.nodes.size() <= kMaxRankedPages ? "dot" : "sfdp";
}

std::optional<std::string> renderStoryMap(const StoryMap& map, MapFormat format, std::string* error) {
    std::string messages;
    g_messages = &messages;
    agseterr(AGERR);
    agseterrf(keepMessage);
    const auto context = std::unique_ptr<GVC_t, int (*)(GVC_t*)>(gvContext(), gvFreeContext);
    std::optional<std::string> out;
    {
        Graph graph(context.get());
        const char* engine = layoutEngineFor(map);
        build(graph, map, std::string_view(engine) == "dot");
        if (!graph.layout(engine)) {
            *error = "Graphviz cannot lay out the map with \"" + std::string(engine) + "\"";
        } else {
            char* data = nullptr;
            unsigned int length = 0;
            if (gvRenderData(context.get(), graph.get(), format == MapFormat::Svg ? "svg" : "dot", &data,
                             &length) == 0 &&
                data != nullptr) {
                out = std::string(data, length);
            } else {
                *error = "Graphviz cannot draw the map";
            }
            gvFreeRenderData(data);
        }
    }
    agseterrf(nullptr);
    g_messages = nullptr;
    if (!out && !messages.empty()) {
        *error += ": " + messages;
    }
    return out;
}

}  // namespace vrk::storymap
