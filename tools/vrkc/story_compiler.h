#pragma once
// vrkc's two directions: a source text (one script line per source line, "*NAME"
// labels) to the script and label index, and those files back to the source.

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vrk::compiler {

/// The most the compiler and the checker read of any input file, through the bounded reader: far
/// beyond any story, so a larger file (or /dev/zero behind a link) is not one.
inline constexpr std::size_t kMaxInputBytes = std::size_t{256} << 20;

struct CompiledStory {
    std::vector<char> script;  ///< the .VRK bytes
    std::vector<char> index;   ///< the .VRJ bytes
    /// Script offset of each line -> its 1-based source line, for reports about the source.
    std::map<std::int32_t, int> sourceLineAt;
};

struct CompileError {
    int line = 0;  ///< 1-based source line
    std::string message;
};

/// Compiles source text. sourceIsSjis: the text is already Shift-JIS, else UTF-8.
/// On failure returns nothing and fills error.
std::optional<CompiledStory> compileStory(std::string_view source, bool sourceIsSjis, CompileError* error);

/// The source form of a script and index; compiling it again gives the same bytes.
/// asSjis: lines stay Shift-JIS, else they are converted to UTF-8. A record the "*NAME" form
/// cannot give back (empty name, length byte above 8, bytes after the name, a name without a
/// source spelling) is written as "*#" and its 13 bytes in hexadecimal. Fails (nothing) when a
/// line cannot be written as a source line (a line break inside it, or no UTF-8 form), and for
/// an index that is not a whole number of records or has more than 8002.
std::optional<std::string> decompileStory(const std::vector<char>& script, const std::vector<char>& index,
                                          bool asSjis, std::string* error);

/// The content of a freshly initialised slot for a compiled story; nothing when the story
/// has no "VRKALTER" block.
std::optional<std::string> initialSlot(const CompiledStory& story);

}  // namespace vrk::compiler
