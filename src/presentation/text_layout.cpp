#include "presentation/text_layout.h"

#include <algorithm>
#include <array>

#include "common/sjis.h"

namespace vrk::presentation {

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kNavy = 0x800000;
constexpr std::uint32_t kOlive = 0x008080;
constexpr std::uint32_t kYellow = 0x00FFFF;

// 0x00BBGGRR, like the background painter's table; 16 is black there, white for text.
constexpr std::array<std::uint32_t, 17> kColourTable = {
    0x000000, 0xFF0000, 0x0000FF, 0xFF00FF, 0x00FF00, 0xFFFF00, 0x00FFFF, 0xFFFFFF, 0x808080,
    0x800000, 0x000080, 0x800080, 0x008000, 0x808000, 0x008080, 0xC0C0C0, 0x000000};

// Once the table is full, every further step lands on the last slot again.
void appendStep(std::vector<std::uint16_t>& table, int& count, int value) {
    if (count < kMaxRevealSteps) {
        ++count;
    }
    table[static_cast<std::size_t>(count)] = static_cast<std::uint16_t>(value);
}

bool hangsAt(std::string_view lineSjis, std::size_t at) {
    if (at + 2 > lineSjis.size()) {
        return false;
    }
    const std::string_view pair = lineSjis.substr(at, 2);
    for (std::size_t i = 0; i < kHangingPunctuationSjis.size(); i += 2) {
        if (kHangingPunctuationSjis.substr(i, 2) == pair) {
            return true;
        }
    }
    return false;
}

// One step per full-width column: the chunk's characters up to `columns` of them, a split
// character counted, the last one stretched to the end of the line.
void appendLineSteps(std::string_view chunkSjis, int row, int columns, std::vector<std::uint16_t>& table,
                     int& count) {
    int steps = 0;
    for (std::size_t i = 0; i < chunkSjis.size() && steps < columns;) {
        i += static_cast<unsigned char>(chunkSjis[i]) >= 0x80 ? 2 : 1;
        ++steps;
        appendStep(table, count, row * columns + steps);
    }
    table[static_cast<std::size_t>(count)] = static_cast<std::uint16_t>((row + 1) * columns);
}

// A lone byte after the last display line is still a character unless it is half of a
// two-byte one; only the half is left out.
bool moreToBreak(std::string_view lineSjis, std::size_t next) {
    const std::size_t left = lineSjis.size() - next;
    return left >= 2 || (left == 1 && !isSjisLeadByte(static_cast<unsigned char>(lineSjis[next])));
}

}  // namespace

std::uint32_t colourTableEntry(int colourNumber) {
    if (colourNumber < 0 || colourNumber >= static_cast<int>(kColourTable.size())) {
        return 0;
    }
    return kColourTable[static_cast<std::size_t>(colourNumber)];
}

TextColours textColours(int textColour, bool contrast) {
    switch (textColour) {
        case 2:
        case 3:
        case 4:
        case 5:
        case 6:
        case 7:
        case 14:
            return {colourTableEntry(textColour), kNavy};
        case 0:
        case 1:
        case 8:
        case 9:
        case 10:
        case 11:
        case 12:
        case 13:
        case 15:
            return {colourTableEntry(textColour), contrast ? kYellow : kOlive};
        default:
            return {kWhite, kNavy};
    }
}

int columnsFor(int clientWidth, int scrollBarWidth, int cellWidth) {
    return std::max(1, (clientWidth - scrollBarWidth) / (2 * std::max(1, cellWidth)) - 1);
}

int imageLinesFor(std::span<const std::string> pageTextSjis, int columns) {
    int lines = 0;
    for (const std::string& line : pageTextSjis) {
        lines += line.empty() ? 1 : static_cast<int>(line.size()) / (2 * columns) + 1;
    }
    return lines;
}

int breakLine(std::string_view lineSjis, int firstRow, int columns, std::vector<DisplayLine>& out,
              std::vector<std::uint16_t>& table, int& count) {
    int row = firstRow;
    if (lineSjis.empty()) {
        appendStep(table, count, (row + 1) * columns);
        return 1;
    }
    const std::size_t maxChunk =
        std::min<std::size_t>(2 * static_cast<std::size_t>(columns), kMaxDisplayLineBytes);
    std::size_t next = 0;
    std::size_t drawnNext = 0;  // where the next real character begins
    do {
        const bool insideCharacter = drawnNext > next;
        std::string_view chunk = lineSjis.substr(next, maxChunk);
        appendLineSteps(chunk, row, columns, table, count);
        std::size_t last = 0;
        for (std::size_t i = 0; i < chunk.size(); i += static_cast<unsigned char>(chunk[i]) >= 0x80 ? 2 : 1) {
            last = i;
        }
        // The character whose second byte lies beyond the chunk begins the next display line. A
        // byte that ends the whole line has no second byte: when it only looks like a lead byte (a
        // half-width katakana ending an odd run) it fits in the cell it stands in and stays; a real
        // lead byte there is half of a character and is left out.
        const auto lastByte = static_cast<unsigned char>(chunk[last]);
        const bool endsLine = next + chunk.size() == lineSjis.size();
        const bool split =
            last + 1 == chunk.size() && lastByte >= 0x80 && (!endsLine || isSjisLeadByte(lastByte));
        if (split) {
            chunk.remove_suffix(1);
        }
        next += chunk.size();
        std::string drawn(chunk);
        // A mark hangs only when both its bytes fit; cut in half it would be lost from both lines.
        if (hangsAt(lineSjis, next) && drawn.size() + 2 <= kMaxDisplayLineBytes) {
            drawn.append(lineSjis.substr(next, 2));
            next += 2;
        }
        if (!drawn.empty()) {
            out.push_back({std::move(drawn), row, insideCharacter});
        }
        while (drawnNext < next) {
            drawnNext += drawnCharacterBytes(lineSjis, drawnNext);
        }
        ++row;
    } while (moreToBreak(lineSjis, next));
    return row - firstRow;
}

PageLayout layoutPage(std::span<const std::string> pageTextSjis, const LayoutInput& input) {
    PageLayout layout;
    layout.metrics = input.metrics;
    layout.colours = textColours(input.textColour, input.contrast);
    const double ratio = input.previousRevealCount > 0 && input.previousRevealTotal > 0
                             ? static_cast<double>(input.previousRevealCount) / input.previousRevealTotal
                             : 0.0;
    layout.columns = columnsFor(input.clientWidth, input.scrollBarWidth, input.metrics.cellWidth);
    layout.revealTable.assign(kMaxRevealSteps + 1, 0);
    int count = 0;
    int row = 0;
    for (const std::string& line : pageTextSjis) {
        row += breakLine(line, row, layout.columns, layout.lines, layout.revealTable, count);
    }
    // Characters split at line ends can need more display lines than the estimate; the image
    // grows to hold them rather than leave the page's last lines out.
    layout.imageLines = std::max(imageLinesFor(pageTextSjis, layout.columns), row);
    layout.imageWidth = (input.metrics.cellWidth + 1) * 2 * layout.columns + 2;
    layout.imageHeight = input.metrics.lineHeight * layout.imageLines + 2;
    layout.revealTotal = count;
    if (count > 0) {
        // The last step uncovers to the end of the image, so a full repaint covers all of it.
        layout.revealTable[static_cast<std::size_t>(count)] =
            static_cast<std::uint16_t>(layout.columns * layout.imageLines);
    }
    layout.revealCount = input.nonstop ? count : static_cast<int>(count * ratio);
    return layout;
}

std::vector<DrawnCharacter> drawnCharacters(const DisplayLine& line, const DisplayLine* next) {
    std::vector<DrawnCharacter> out;
    const std::string_view bytes = line.bytesSjis;
    for (std::size_t i = line.startsInsideCharacter ? 1 : 0; i < bytes.size();) {
        const std::size_t length = drawnCharacterBytes(bytes, i);
        DrawnCharacter character{i, std::string(bytes.substr(i, length))};
        if (length == 1 && i + 1 == bytes.size() && next != nullptr && next->startsInsideCharacter &&
            !next->bytesSjis.empty()) {
            std::string joined(1, bytes[i]);
            joined += next->bytesSjis[0];
            if (drawnCharacterBytes(joined, 0) == 2) {
                character.bytesSjis = std::move(joined);
            }
        }
        out.push_back(std::move(character));
        i += length;
    }
    return out;
}

}  // namespace vrk::presentation
