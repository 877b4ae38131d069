#include "story/save_file.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <system_error>

#include "common/errors.h"
#include "common/file_reading.h"
#include "common/file_writing.h"
#include "common/messages.h"
#include "common/sjis.h"

namespace fs = std::filesystem;

namespace vrk::story {
namespace {

constexpr int kFlagLines = 27;
constexpr int kFlagsPerLine = 37;
constexpr char kCtrlZ = 0x1A;

// Reads a text file line by line as the save format needs: CR LF or LF line ends,
// missing lines read as empty, and an end test that also stops at Ctrl-Z.
class LineReader {
public:
    explicit LineReader(std::span<const char> bytes) : m_bytes(bytes) {}

    std::string next() {
        std::string line;
        while (m_position < m_bytes.size() && m_bytes[m_position] != '\n') {
            line.push_back(m_bytes[m_position++]);
        }
        if (m_position < m_bytes.size()) {
            ++m_position;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }

    bool atEnd() const { return m_position >= m_bytes.size() || m_bytes[m_position] == kCtrlZ; }

private:
    std::span<const char> m_bytes;
    std::size_t m_position = 0;
};

std::uint8_t readColour(LineReader& reader) {
    if (reader.atEnd()) {
        return 16;
    }
    std::string line = reader.next();
    const std::size_t start = line.find_first_not_of(" \t");
    if (start == std::string::npos) {
        return 16;
    }
    const std::size_t end = line.find_first_of(" \t", start);
    const std::string field = line.substr(start, end == std::string::npos ? std::string::npos : end - start);
    std::size_t digits = field[0] == '-' || field[0] == '+' ? 1 : 0;
    if (digits == field.size()) {
        throw Error(Error::Kind::Io, "Invalid numeric format");
    }
    long long value = 0;
    for (; digits < field.size(); ++digits) {
        const char c = field[digits];
        if (c < '0' || c > '9') {
            throw Error(Error::Kind::Io, "Invalid numeric format");
        }
        value = (value * 10 + (c - '0')) & 0xFFFFFFFF;
    }
    if (field[0] == '-') {
        value = -value;
    }
    return static_cast<std::uint8_t>(value & 0xFF);
}

// A slot the player wrote is a few kilobytes; anything near this is not one.
constexpr std::size_t kMaxSaveFileBytes = std::size_t{1} << 20;

std::vector<char> readFile(const fs::path& path) {
    return readRegularFile(path, "Save file", kMaxSaveFileBytes, OverLimit::Refuse);
}

}  // namespace

void parseState(std::span<const char> bytes, StoryState& state) {
    LineReader reader(bytes);
    StoryState result = state;
    result.title = cutSjis(reader.next(), kMaxTitleBytes);
    result.currentLabel = cutTo(reader.next(), kMaxLabelBytes);
    for (int i = 1; i <= kNameCount; ++i) {
        result.namePrompts[i] = cutSjis(reader.next(), kMaxNameBytes);
        result.names[i] = cutSjis(reader.next(), kMaxNameBytes);
    }
    for (int n = 0; n < kFlagLines; ++n) {
        const std::string line = reader.next();
        for (int j = 1; j <= kFlagsPerLine; ++j) {
            const std::size_t index = static_cast<std::size_t>(j - 1);
            result.flags[static_cast<std::size_t>(n * kFlagsPerLine + j)] =
                index < line.size() && line[index] == '1' ? 1 : 0;
        }
    }
    // Positions a short letter line lacks read as the first letter.
    const std::string letters = reader.next();
    for (std::size_t i = 0; i < result.letters.size(); ++i) {
        result.letters[i] = i < letters.size() ? static_cast<std::uint8_t>(letters[i]) : 'A';
    }
    result.resumeSkip = reader.next() != "0";
    result.bgColour = readColour(reader);
    result.textColour = readColour(reader);
    result.background = reader.atEnd() ? std::string() : reader.next();
    state = std::move(result);
}

void readState(const fs::path& path, const LabelIndex& labels, StoryState& state) {
    const std::vector<char> bytes = readFile(path);
    parseState(bytes, state);
    state.currentOffset = labels.findLabel(state.currentLabel);
}

std::string formatState(const StoryState& state, std::int32_t vrkalterOffset) {
    return formatStateMarked(state, state.currentOffset != vrkalterOffset);
}

std::string formatStateMarked(const StoryState& state, bool resumeMarker) {
    std::string out;
    // A field is one line: an LF inside it would end the line early and move every later
    // field down one, so it is left out. A CR stays; reading strips only the CR of "\r\n".
    const auto line = [&out](std::string_view text) {
        for (char c : text) {
            if (c != '\n') {
                out += c;
            }
        }
        out += "\r\n";
    };
    line(state.title);
    line(state.currentLabel);
    for (int i = 1; i <= kNameCount; ++i) {
        line(state.namePrompts[i]);
        line(state.names[i]);
    }
    for (int n = 0; n < kFlagLines; ++n) {
        std::string flags;
        for (int j = 1; j <= kFlagsPerLine; ++j) {
            flags.push_back(state.flags[static_cast<std::size_t>(n * kFlagsPerLine + j)] != 0 ? '1' : '0');
        }
        line(flags);
    }
    // Letters are read back by their place in the line, so a line-break letter (a random draw
    // between such bounds) cannot simply be left out: it is kept as the letter a story starts with.
    std::string letters(state.letters.begin(), state.letters.end());
    std::replace(letters.begin(), letters.end(), '\n', 'A');
    line(letters);
    line(resumeMarker ? "1" : "0");
    line(std::to_string(state.bgColour));
    line(std::to_string(state.textColour));
    line(state.background);
    return out;
}

bool readsAsSaveOf(std::string_view bytes, const LabelIndex& labels, std::string_view titleSjis) {
    if (bytes.empty()) {
        return true;
    }
    if (bytes.size() > kMaxSaveFileBytes) {
        return false;
    }
    LineReader reader(bytes);
    const std::string title = reader.next();
    const std::string label = reader.next();
    for (int i = 0; i < 2 * kNameCount; ++i) {
        reader.next();
    }
    for (int n = 0; n < kFlagLines && !reader.atEnd(); ++n) {
        if (reader.next().find_first_not_of("01") != std::string::npos) {
            return false;
        }
    }
    const bool knownLabel = !label.empty() && (label == "VRKSTART" || labels.findLabel(label) >= 0);
    const bool sameTitle = !title.empty() && title == titleSjis;
    return knownLabel || sameTitle;
}

bool writeSaveFile(const fs::path& path, const std::string& bytes, const LabelIndex& labels) {
    const std::string title = LineReader(bytes).next();
    return updateFile(path, kMaxSaveFileBytes, [&](std::optional<std::string_view> existing) {
        return !existing || readsAsSaveOf(*existing, labels, title) ? std::optional<std::string>(bytes)
                                                                    : std::nullopt;
    });
}

bool writeState(const fs::path& path, const StoryState& state, const LabelIndex& labels) {
    return writeSaveFile(path, formatState(state, labels.findLabel("VRKALTER")), labels);
}

SlotDescription describeSlotFile(const fs::path& path) {
    const std::vector<char> bytes = readFile(path);
    LineReader reader(bytes);
    SlotDescription description;
    description.captionSjis = cutSjis(reader.next(), kMaxTitleBytes);
    description.fresh = reader.next() == "VRKSTART";
    if (description.fresh) {
        description.commentSjis = messages::kUnusedSlot;
        return description;
    }
    const std::string prompt = reader.next();
    const std::string name = reader.next();
    if (prompt == "????" && name == "????") {
        description.commentSjis = messages::kSlotInUse;
    } else {
        description.commentSjis = prompt + ":" + name;
    }
    return description;
}

// Text fields are cut at a character boundary: a lone lead byte left at the end of a
// name would swallow the byte after "%1" in the page text.
void readDefaultsBlock(ScriptReader& reader, const LabelIndex& labels, StoryState& state) {
    reader.seek(labels.findLabel("VRKALTER"));
    std::string line;
    for (std::size_t i = 1; i <= kNameCount; ++i) {
        reader.readLine(line);
        state.namePrompts[i] = cutSjis(line, kMaxNameBytes);
        reader.readLine(line);
        state.names[i] = cutSjis(line, kMaxNameBytes);
    }
    reader.readLine(line);
    state.title = cutSjis(line, kMaxTitleBytes);
}

std::string initialSlotContent(const StoryState& defaults) {
    StoryState fresh;
    fresh.title = defaults.title;
    fresh.currentLabel = "VRKSTART";
    fresh.namePrompts = defaults.namePrompts;
    fresh.names = defaults.names;
    return formatStateMarked(fresh, false);
}

}  // namespace vrk::story
