#include "vrkc/story_compiler.h"

#include <map>

#include "common/errors.h"
#include "common/numbers.h"
#include "common/sjis.h"
#include "story/save_file.h"
#include "story/script.h"

namespace vrk::compiler {
namespace {

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.push_back(line);
        start = next;
    }
    return lines;
}

struct PendingLabel {
    std::string name;
    std::optional<std::int32_t> offset;  ///< given by "@N"; else the next line's offset
    std::string rawRecord;               ///< the 13 bytes of a "#HEX" record, else empty
};

constexpr std::size_t kRecordBytes = story::LabelIndex::kRecordBytes;
constexpr char kHexDigits[] = "0123456789ABCDEF";

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// "#" and 26 hexadecimal digits: a whole index record as stored. No label name can take
// this form (names have at most 8 bytes), so it is never mistaken for one.
std::optional<std::string> parseRawRecord(std::string_view text) {
    if (text.size() != 1 + 2 * kRecordBytes || text[0] != '#') {
        return std::nullopt;
    }
    std::string bytes;
    for (std::size_t i = 1; i < text.size(); i += 2) {
        const int high = hexValue(text[i]);
        const int low = hexValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<char>(high * 16 + low));
    }
    return bytes;
}

std::string rawRecordText(const char* record) {
    std::string text = "*#";
    for (std::size_t i = 0; i < kRecordBytes; ++i) {
        const auto byte = static_cast<unsigned char>(record[i]);
        text += kHexDigits[byte >> 4];
        text += kHexDigits[byte & 0x0F];
    }
    return text;
}

// A record the "NAME" form gives back exactly: a real length of 1 to 8, zero padding, and
// a name that does not start with "*" ("**" starts a script line).
bool hasPlainForm(const char* record) {
    const auto length = static_cast<unsigned char>(record[0]);
    if (length < 1 || length > story::kMaxLabelBytes || record[1] == '*') {
        return false;
    }
    for (std::size_t i = 1 + length; i <= story::kMaxLabelBytes; ++i) {
        if (record[i] != '\0') {
            return false;
        }
    }
    return true;
}

// "NAME" or "NAME@N"; the "@N" form needs a whole signed decimal after the last "@".
PendingLabel parseLabel(std::string_view text) {
    const std::size_t at = text.rfind('@');
    if (at != std::string_view::npos) {
        if (auto value = parseDecimal(text.substr(at + 1))) {
            return {std::string(text.substr(0, at)), *value, {}};
        }
    }
    return {std::string(text), std::nullopt, {}};
}

}  // namespace

std::optional<CompiledStory> compileStory(std::string_view source, bool sourceIsSjis, CompileError* error) {
    const auto fail = [error](int line, std::string message) {
        if (error != nullptr) {
            *error = {line, std::move(message)};
        }
        return std::nullopt;
    };
    CompiledStory out;
    std::vector<PendingLabel> labels;
    std::vector<std::size_t> waiting;  // labels that take the next line's offset
    int number = 0;
    for (std::string_view raw : splitLines(source)) {
        ++number;
        std::string line;
        if (sourceIsSjis) {
            line = std::string(raw);
        } else if (auto sjis = utf8ToSjis(raw)) {
            line = std::move(*sjis);
        } else {
            return fail(number, "a character has no Shift-JIS (code page 932) form");
        }
        if (line.size() >= 1 && line[0] == '*' && !(line.size() >= 2 && line[1] == '*')) {
            PendingLabel label;
            if (auto record = parseRawRecord(std::string_view(line).substr(1))) {
                label.rawRecord = std::move(*record);
                label.offset = 0;  // spelled inside the record
            } else {
                label = parseLabel(std::string_view(line).substr(1));
            }
            if (label.rawRecord.empty() &&
                (label.name.empty() || label.name.size() > story::kMaxLabelBytes)) {
                return fail(number, "a label name must have 1 to 8 bytes");
            }
            if (labels.size() >= story::LabelIndex::kMaxRecords) {
                return fail(number, "more than 8002 labels");
            }
            if (!label.offset) {
                waiting.push_back(labels.size());
            }
            labels.push_back(std::move(label));
            continue;
        }
        if (line.size() >= 2 && line[0] == '*') {
            line.erase(0, 1);
        }
        if (line.size() > story::kMaxLineBytes) {
            return fail(number, "a line is longer than 255 bytes (" + std::to_string(line.size()) + ")");
        }
        for (std::size_t i : waiting) {
            labels[i].offset = static_cast<std::int32_t>(out.script.size());
        }
        waiting.clear();
        out.sourceLineAt[static_cast<std::int32_t>(out.script.size())] = number;
        story::appendScriptLine(out.script, line);
    }
    for (std::size_t i : waiting) {
        labels[i].offset = static_cast<std::int32_t>(out.script.size());
    }
    for (const PendingLabel& label : labels) {
        if (!label.rawRecord.empty()) {
            out.index.insert(out.index.end(), label.rawRecord.begin(), label.rawRecord.end());
        } else {
            story::appendLabelRecord(out.index, label.name, *label.offset);
        }
    }
    return out;
}

std::optional<std::string> decompileStory(const std::vector<char>& script, const std::vector<char>& index,
                                          bool asSjis, std::string* error) {
    story::ScriptReader reader;
    reader.openBytes(script);
    std::vector<std::string> lines;
    std::map<std::int32_t, std::size_t> lineAt;  // offset -> line number
    try {
        while (static_cast<std::size_t>(reader.position()) < reader.size()) {
            lineAt[reader.position()] = lines.size();
            lines.emplace_back();
            reader.readLine(lines.back());
        }
    } catch (const Error& e) {
        if (error != nullptr) {
            *error = e.what();
        }
        return std::nullopt;
    }
    lineAt[static_cast<std::int32_t>(script.size())] = lines.size();
    // The player stops at a partial record with an error and never reads past 8002 records;
    // the source form has no way to spell either, so such an index is refused.
    if (index.size() % kRecordBytes != 0) {
        if (error != nullptr) {
            *error = "the label index is " + std::to_string(index.size()) +
                     " bytes, not a whole number of 13-byte records";
        }
        return std::nullopt;
    }
    if (index.size() / kRecordBytes > story::LabelIndex::kMaxRecords) {
        if (error != nullptr) {
            *error = "the label index has " + std::to_string(index.size() / kRecordBytes) +
                     " records; at most 8002 can be compiled";
        }
        return std::nullopt;
    }
    story::LabelIndex labels;
    labels.loadBytes(index);

    std::string out;
    std::size_t emitted = 0;
    const auto emitLine = [&](const std::string& text, bool isLabel) -> bool {
        std::string shown = asSjis ? text : sjisToUtf8(text);
        if (!asSjis && utf8ToSjis(shown) != text) {
            return false;
        }
        if (text.find_first_of("\r\n") != std::string::npos) {
            return false;
        }
        if (!isLabel && !text.empty() && text[0] == '*') {
            out += '*';
        }
        out += shown;
        out += '\n';
        return true;
    };
    for (std::size_t number = 0; number < labels.count(); ++number) {
        const story::LabelRecord& record = labels.records()[number];
        const char* stored = index.data() + number * kRecordBytes;
        if (!hasPlainForm(stored)) {
            // Only the raw form gives back an empty name, a length byte above 8 or whatever
            // follows the name; such a record never stands before its line.
            emitLine(rawRecordText(stored), true);
            continue;
        }
        const auto at = lineAt.find(record.offset);
        // A label can stand before its line only when its line is still to come and
        // its stored length is its real one; anything else keeps its offset spelled out.
        const bool placeable = at != lineAt.end() && at->second >= emitted &&
                               parseLabel(record.name).offset == std::nullopt &&
                               !parseRawRecord(record.name).has_value();
        if (placeable) {
            for (; emitted < at->second; ++emitted) {
                if (!emitLine(lines[emitted], false)) {
                    if (error != nullptr) {
                        *error = "line " + std::to_string(emitted + 1) + " has no source form";
                    }
                    return std::nullopt;
                }
            }
        }
        const std::string label =
            "*" + record.name + (placeable ? std::string() : "@" + std::to_string(record.offset));
        if (!emitLine(label, true)) {
            // A name with a line break or without a UTF-8 form is spelled byte for byte.
            emitLine(rawRecordText(stored), true);
        }
    }
    for (; emitted < lines.size(); ++emitted) {
        if (!emitLine(lines[emitted], false)) {
            if (error != nullptr) {
                *error = "line " + std::to_string(emitted + 1) + " has no source form";
            }
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::string> initialSlot(const CompiledStory& compiled) {
    story::LabelIndex labels;
    labels.loadBytes(compiled.index);
    story::ScriptReader reader;
    reader.openBytes(compiled.script);
    story::StoryState defaults;
    try {
        story::readDefaultsBlock(reader, labels, defaults);
    } catch (const Error&) {
        return std::nullopt;
    }
    return story::initialSlotContent(defaults);
}

}  // namespace vrk::compiler
