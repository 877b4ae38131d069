#pragma once
// The page's faces cut for a published story: the characters the story can show in one small
// WOFF2 file per face, the rest of each face in slices that a browser fetches only for a
// character it meets outside the story's text (a name the reader types), and the metrics the
// page lays text out by, which it otherwise reads from the whole face.

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

namespace vrk::publish {

/// Inclusive ranges of code points, ascending and apart.
using CodeRanges = std::vector<std::pair<char32_t, char32_t>>;

/// The code points as ranges, neighbours joined.
inline CodeRanges rangesOf(const std::set<char32_t>& codePoints) {
    CodeRanges ranges;
    for (char32_t c : codePoints) {
        if (!ranges.empty() && ranges.back().second + 1 == c) {
            ranges.back().second = c;
        } else {
            ranges.emplace_back(c, c);
        }
    }
    return ranges;
}

/// CSS unicode-range of ranges: "U+20-7E, U+3042".
std::string unicodeRange(const CodeRanges& ranges);

/// One file of a cut face and the characters it holds.
struct FacePiece {
    std::string bytes;  ///< WOFF2
    CodeRanges ranges;
};

/// The page's measures of a face, as canvas.mjs reads them from the whole face: units per em,
/// the vertical metrics the desktop's font engine takes, and each character's advance.
struct FaceMeasures {
    int unitsPerEm = 0;
    int ascent = 0;
    int descent = 0;
    /// Every character of the story half or full width: the window's default faces are such
    /// fixed-pitch ones, so these are the ones the first page draws in.
    bool fixedPitch = false;
    /// [first, last, advance] runs over the story's characters the face maps (the page measures
    /// any other character in the browser, from the slice that holds it).
    std::vector<std::tuple<char32_t, char32_t, int>> advances;
};

struct CutFace {
    FacePiece text;                 ///< the story's characters the face has
    std::vector<FacePiece> slices;  ///< every other character of the face, block by block; a
                                    ///< slice's ranges are its whole span
    FaceMeasures measures;
};

/// The face's family as its name table gives it in English ("IPAGothic"); empty for bytes that
/// are no face or name none.
std::string faceFamily(std::string_view face);

/// Cuts a TrueType/OpenType face: the characters of `text` it has, then the rest in slices of
/// about sliceSize characters that never cross a Unicode block group. effort is the WOFF2
/// encoder's Brotli quality (1-11; 11 is the smallest and by far the slowest). Nothing when
/// the bytes are no face the subsetter takes.
std::optional<CutFace> cutFace(std::string_view face, const std::set<char32_t>& text, int effort = 11,
                               std::size_t sliceSize = 600);

/// cutFace of several faces at once, one thread each, in their order.
std::vector<std::optional<CutFace>> cutFaces(const std::vector<std::string_view>& faces,
                                             const std::set<char32_t>& text, int effort = 11,
                                             std::size_t sliceSize = 600);

}  // namespace vrk::publish
