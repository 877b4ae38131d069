#pragma once
// Text presentation, the pure half. A page travels through it like this:
//
//   PageText (Shift-JIS lines) --layoutPage--> PageLayout: display lines + reveal table
//   PageLayout --qt/text_renderer--> textImage + maskImage (drawn once per layout)
//   RevealState::tick (every 55 ms) --> a rectangle to uncover, or a scroll
//   qt/page_view --> uncovers rectangles of the two images onto the window's back buffer
//
// Layout counts bytes, not pixels: a byte of 0x80 or above begins a two-byte character
// that takes two half-width cells, and a display line holds `columns` full-width cells.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/sjis.h"
#include "presentation/glyph_metrics.h"

namespace vrk::presentation {

/// Reveal steps a page can hold; further steps merge into the last slot.
inline constexpr int kMaxRevealSteps = 15000;
/// Bytes one display line can carry, a hanging character included.
inline constexpr std::size_t kMaxDisplayLineBytes = 255;
/// The eight full-width marks that may hang past the last column: "、。？！」）｝］".
inline constexpr std::string_view kHangingPunctuationSjis =
    "\x81\x41\x81\x42\x81\x48\x81\x49\x81\x76\x81\x6a\x81\x70\x81\x6e";

/// Colours as 0x00BBGGRR.
struct TextColours {
    std::uint32_t text = 0xFFFFFF;
    std::uint32_t outline = 0x800000;
};

/// Entry n (0-16) of the background colour table, 0x00BBGGRR; black outside that range.
std::uint32_t colourTableEntry(int colourNumber);
/// Character and outline colour for the story's text colour number. Numbers above 16 have no
/// colour of their own and read like 16 (white on navy), the colour every story starts with.
TextColours textColours(int textColour, bool contrast);

/// Bytes of the character that starts at byte i: 2 for a byte of 0x80 or above (the single-byte
/// katakana included) unless it is the last byte, 1 otherwise.
inline std::size_t characterBytes(std::string_view bytesSjis, std::size_t i) {
    return static_cast<unsigned char>(bytesSjis[i]) >= 0x80 && i + 1 < bytesSjis.size() ? 2 : 1;
}

/// One display line as drawn: a split character removed, a hanging character appended.
struct DisplayLine {
    std::string bytesSjis;
    int row = 0;  ///< page-wide display-line number; its top is row × lineHeight
    /// The first byte is the second byte of a character that began on the display line before
    /// (a break counted with half-width katakana as two-byte can fall inside a real character).
    bool startsInsideCharacter = false;
};

/// Bytes of the Shift-JIS character that really starts at byte i, as it is drawn: 2 for a lead
/// byte followed by a byte that can end a character, 1 otherwise (half-width katakana included).
inline std::size_t drawnCharacterBytes(std::string_view bytesSjis, std::size_t i) {
    const auto lead = static_cast<unsigned char>(bytesSjis[i]);
    if (!isSjisLeadByte(lead) || i + 1 >= bytesSjis.size()) {
        return 1;
    }
    const auto trail = static_cast<unsigned char>(bytesSjis[i + 1]);
    return (trail >= 0x40 && trail <= 0x7E) || (trail >= 0x80 && trail <= 0xFC) ? 2 : 1;
}

/// A character of a display line as it is drawn: at the cell of its first byte.
struct DrawnCharacter {
    std::size_t byte = 0;
    std::string bytesSjis;
    bool operator==(const DrawnCharacter&) const = default;
};

/// The characters of a display line, left to right. A character whose first byte ends the line
/// is drawn whole there (next is the display line after it, or null); the line after it leaves
/// the cell of its second byte blank.
std::vector<DrawnCharacter> drawnCharacters(const DisplayLine& line, const DisplayLine* next);

/// What layoutPage reads besides the text.
struct LayoutInput {
    int clientWidth = 0;
    int scrollBarWidth = 16;
    FontMetrics metrics;
    int textColour = 16;
    bool contrast = false;        ///< the outline in a bright colour (EngineOptions::brightOutline)
    bool nonstop = false;         ///< the page shows whole (EngineOptions::revealAtOnce)
    int previousRevealCount = 0;  ///< of the layout being replaced; 0 for a new page
    int previousRevealTotal = 0;
};

/// The page laid out: everything the renderer and the reveal need.
struct PageLayout {
    FontMetrics metrics;
    TextColours colours;
    int columns = 1;      ///< full-width columns per display line, at least 1
    int imageLines = 0;   ///< display lines the images hold: the estimate, or more when splits need more
    int imageWidth = 0;   ///< (cellWidth + 1) × 2 × columns + 2
    int imageHeight = 0;  ///< lineHeight × imageLines + 2
    std::vector<DisplayLine> lines;  ///< non-empty display lines only; empty ones just advance the row
    std::vector<std::uint16_t> revealTable;  ///< [1..revealTotal] step values; [0] unused
    int revealTotal = 0;
    int revealCount = 0;  ///< steps shown at once: the old proportion, or all of them when nonstop
};

/// Full-width columns for a client width: (width − scroll bar) div (2 × cellWidth) − 1. A window
/// too narrow for one column still gets one, since the steps divide by it.
int columnsFor(int clientWidth, int scrollBarWidth, int cellWidth);
/// Display lines the image is sized for: 1 per empty line, bytes div (2 × columns) + 1 otherwise.
int imageLinesFor(std::span<const std::string> pageTextSjis, int columns);

/// Breaks one page line into display lines starting at row firstRow, appending the drawn lines
/// to out and the reveal steps to table/count. Returns the number of display lines made.
int breakLine(std::string_view lineSjis, int firstRow, int columns, std::vector<DisplayLine>& out,
              std::vector<std::uint16_t>& table, int& count);

/// Lays out the page: display lines, image size, colours and the reveal table.
PageLayout layoutPage(std::span<const std::string> pageTextSjis, const LayoutInput& input);

}  // namespace vrk::presentation
