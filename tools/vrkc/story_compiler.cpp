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
};

// The last single-byte '@' of Shift-JIS text. The second byte of a two-byte character may
// be 0x40 too (院, ァ, the full-width space), and that is no separator.
std::size_t lastAtSign(std::string_view text) {
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (isSjisLeadByte(static_cast<unsigned char>(text[i]))) {
            ++i;
        } else if (text[i] == '@') {
            found = i;
        }
    }
    return found;
}

// "NAME" or "NAME@N"; the "@N" form needs a whole signed decimal after the last "@".
PendingLabel parseLabel(std::string_view text) {
    const std::size_t at = lastAtSign(text);
    if (at != std::string_view::npos) {
        if (auto value = parseDecimal(text.substr(at + 1))) {
            return {std::string(text.substr(0, at)), *value};
        }
    }
    return {std::string(text), std::nullopt};
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
            PendingLabel label = parseLabel(std::string_view(line).substr(1));
            if (label.name.empty() || label.name.size() > story::kMaxLabelBytes) {
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
        story::appendScriptLine(out.script, line);
    }
    for (std::size_t i : waiting) {
        labels[i].offset = static_cast<std::int32_t>(out.script.size());
    }
    for (const PendingLabel& label : labels) {
        story::appendLabelRecord(out.index, label.name, *label.offset);
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
    for (const story::LabelRecord& record : labels.records()) {
        const auto at = lineAt.find(record.offset);
        // A label can stand before its line only when its line is still to come and
        // its stored length is its real one; anything else keeps its offset spelled out.
        const bool placeable = at != lineAt.end() && at->second >= emitted &&
                               record.storedLength == record.name.size() && !record.name.empty() &&
                               parseLabel(record.name).offset == std::nullopt;
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
        // A name ending in half a character would swallow the '@' that follows it.
        const PendingLabel reread = parseLabel(std::string_view(label).substr(1));
        const bool rereadsAlike = reread.name == record.name &&
                                  reread.offset == (placeable ? std::nullopt : std::optional(record.offset));
        if (!rereadsAlike || !emitLine(label, true)) {
            if (error != nullptr) {
                *error = "label " + record.name + " has no source form";
            }
            return std::nullopt;
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
