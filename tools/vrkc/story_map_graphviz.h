#pragma once
// The story map drawn by Graphviz's library: each kind of page and way on gets its own look
// (story/story_map.h decides the kinds), and a legend says which look is which.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

#include "story/story_map.h"

namespace vrk::storymap {

enum class MapFormat { Svg, Dot };

/// The format an output file asks for by its extension (".svg", ".dot", ".gv", any letter
/// case); nothing for any other.
std::optional<MapFormat> mapFormatFor(const std::filesystem::path& file);

/// Up to this many pages the map is laid out in ranks (Graphviz's "dot"): its arrows then run
/// down the story. Ranking grows far faster than the story (a generated story of 150 pages took
/// a minute, one of 1 500 gigabytes of memory, one of 8 002 did not finish), so beyond it a force-directed
/// layout ("sfdp") draws the map, with straight arrows.
inline constexpr std::size_t kMaxRankedPages = 100;

/// The layout engine used for a map of this size.
const char* layoutEngineFor(const StoryMap& map);

/// The drawing, or nothing with error set when Graphviz fails. The DOT text holds the layout
/// (every node's and arrow's position), so other Graphviz tools can draw it unchanged.
std::optional<std::string> renderStoryMap(const StoryMap& map, MapFormat format, std::string* error);

}  // namespace vrk::storymap
