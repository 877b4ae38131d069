#pragma once
// vrkc --check: finds what would go wrong while a story plays (jumps into nothing, pages
// nothing leads to, numbers that stop a page with a conversion error, files the player will
// not find) without playing it.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vrk::compiler {

/// A story as the checker sees it: the compiled bytes and, for a source, where each line came
/// from. Files named by the story are looked for in projectDir, as the player does: the checked
/// file's folder unless the caller puts the story's files elsewhere (vrkc --media).
struct CheckedStory {
    std::vector<char> script;
    std::vector<char> index;
    std::string scriptName;                    ///< shown before findings about lines
    std::string indexName;                     ///< shown before findings about index records
    std::map<std::int32_t, int> sourceLineAt;  ///< empty for a compiled project
    std::filesystem::path projectDir;
};

struct Finding {
    std::string where;    ///< "file:line", or the file, "LABEL line N" and the script offset
    std::string message;  ///< UTF-8
    /// Nothing goes wrong while the story plays, yet the author most likely meant something
    /// else: a flag only set or only tested, a label only unreachable pages lead to.
    bool warning = false;
};

/// Reads a source (".txt", or any file with sourceIsSjis) and compiles it in memory, or reads
/// the compiled project that file belongs to (BASE.VRK and BASE.VRJ, any letter case, BASE
/// being the file name up to its first "."). Nothing, with error set, when that fails.
std::optional<CheckedStory> loadForCheck(const std::filesystem::path& file, bool sourceIsSjis,
                                         std::string* error);

/// Every finding and warning, in script order, then those about the index.
std::vector<Finding> checkStory(const CheckedStory& story);

}  // namespace vrk::compiler
