#include "vrkc/story_checker.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <set>
#include <system_error>

#include "common/errors.h"
#include "common/file_names.h"
#include "common/file_reading.h"
#include "common/numbers.h"
#include "common/sjis.h"
#include "interpreter/engine_state.h"
#include "pictures/colour_table.h"
#include "pictures/picture_loader.h"
#include "story/script.h"
#include "story/story_map.h"
#include "vrkc/story_compiler.h"

namespace fs = std::filesystem;

namespace vrk::compiler {
namespace {

constexpr int kDefaultsLines = 19;
constexpr int kLastFlag = 999;

bool isReserved(const std::string& name) {
    return name == "VRKALTER" || name == "VRKSTART" || name == "VRKVER";
}

std::string inQuotes(std::string_view sjis) {
    return "\"" + sjisToUtf8(sjis) + "\"";
}

std::string upper(std::string_view text) {
    return foldCaseAscii(text);
}

struct Target {
    std::string name;
    std::int32_t at = 0;  ///< offset of the line that names it
};

class Checker {
public:
    explicit Checker(const CheckedStory& story) : m_story(story) {
        try {
            m_labels.loadBytes(std::span<const char>(story.index.data(), story.index.size()));
        } catch (const Error&) {
            m_indexCut = true;  // the whole records before the partial one are kept
        }
        // Line starts, found by walking the script from its first byte.
        std::size_t pos = 0;
        while (pos < story.script.size()) {
            m_lineStarts.insert(static_cast<std::int32_t>(pos));
            pos += 1 + static_cast<unsigned char>(story.script[pos]);
        }
        m_scriptEndsInsideLine = pos > story.script.size();
        m_lineStartList.assign(m_lineStarts.begin(), m_lineStarts.end());
        for (const story::LabelRecord& record : m_labels.records()) {
            if (record.name != "VRKVER") {
                m_labelAt.emplace(record.offset, record.name);
            }
        }
    }

    std::vector<Finding> run() {
        if (m_indexCut) {
            m_findings.emplace_back(INT32_MAX,
                                    Finding{m_story.indexName, "the index ends inside a 13-byte record"});
        }
        if (m_scriptEndsInsideLine) {
            report(*m_lineStarts.rbegin(), "the last line runs past the end of the script");
        }
        std::set<std::int32_t> walked;
        for (const story::LabelRecord& record : m_labels.records()) {
            if (!isReserved(record.name) && m_lineStarts.contains(record.offset) &&
                walked.insert(record.offset).second) {
                walkPage(record.offset);
            }
        }
        for (const Target& target : m_targets) {
            if (m_labels.findLabel(target.name) < 0) {
                report(target.at, "jump target " + inQuotes(target.name) + " is not in the label index");
            }
        }
        summariseMissingFiles();
        findNowaitCycles();
        warnAboutFlags();
        checkRecords();
        checkDefaultsBlock();
        std::stable_sort(m_findings.begin(), m_findings.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        std::vector<Finding> out;
        for (auto& [order, finding] : m_findings) {
            out.push_back(std::move(finding));
        }
        return out;
    }

private:
    // A line as the reader finds it again: its source line, else the label before it and the
    // line's number from there (the labelled line is line 1), "script line N" before any label.
    std::string lineName(std::int32_t offset) const {
        if (auto it = m_story.sourceLineAt.find(offset); it != m_story.sourceLineAt.end()) {
            return "line " + std::to_string(it->second);
        }
        const auto line = std::lower_bound(m_lineStartList.begin(), m_lineStartList.end(), offset);
        if (line == m_lineStartList.end() || *line != offset) {
            return "offset " + std::to_string(offset);  // not a line the script's walk reaches
        }
        auto label = m_labelAt.upper_bound(offset);
        while (label != m_labelAt.begin()) {
            --label;
            const auto first = std::lower_bound(m_lineStartList.begin(), m_lineStartList.end(), label->first);
            if (first != m_lineStartList.end() && *first == label->first) {
                return sjisToUtf8(label->second) + " line " + std::to_string(line - first + 1);
            }
        }
        return "script line " + std::to_string(line - m_lineStartList.begin() + 1);
    }

    // Where a finding about a script line is: "file:LINE" for a source, else the file, the
    // line as lineName gives it and its byte offset.
    std::string whereLine(std::int32_t offset) const {
        if (auto it = m_story.sourceLineAt.find(offset); it != m_story.sourceLineAt.end()) {
            return m_story.scriptName + ":" + std::to_string(it->second);
        }
        const std::string name = lineName(offset);
        if (name.starts_with("offset ")) {
            return m_story.scriptName + ": (" + name + ")";
        }
        return m_story.scriptName + ": " + name + " (offset " + std::to_string(offset) + ")";
    }

    // How many script lines lie from one line start up to another (exclusive).
    std::size_t linesBetween(std::int32_t from, std::int32_t to) const {
        const auto a = std::lower_bound(m_lineStartList.begin(), m_lineStartList.end(), from);
        const auto b = std::lower_bound(m_lineStartList.begin(), m_lineStartList.end(), to);
        return b > a ? static_cast<std::size_t>(b - a) : 0;
    }

    // False when the same finding was made before for the same line.
    bool report(std::int32_t offset, std::string message, bool warning = false) {
        const std::string where = whereLine(offset);
        if (!m_reported.insert(where + message).second) {
            return false;
        }
        m_findings.emplace_back(offset, Finding{where, std::move(message), warning});
        return true;
    }

    void reportRecord(std::size_t number, const story::LabelRecord& record, std::string message,
                      bool warning = false) {
        const std::string where = m_story.indexName + ": record " + std::to_string(number) + " " +
                                  inQuotes(record.name) + " (offset " + std::to_string(record.offset) + ")";
        m_findings.emplace_back(INT32_MAX, Finding{where, std::move(message), warning});
    }

    // The line at pos, moving pos past it; nothing when it does not fit in the script.
    std::optional<std::string> readLine(std::int32_t& pos) const {
        const auto start = static_cast<std::size_t>(pos);
        if (start >= m_story.script.size()) {
            return std::nullopt;
        }
        const std::size_t length = static_cast<unsigned char>(m_story.script[start]);
        if (start + 1 + length > m_story.script.size()) {
            return std::nullopt;
        }
        pos = static_cast<std::int32_t>(start + 1 + length);
        return std::string(m_story.script.data() + start + 1, length);
    }

    // How a line uses a flag: a condition or a copy's source reads it, a state line writes it.
    enum class FlagUse { Tested, Set, Cleared };

    // The first line of each use of a flag, for the warnings about flags used only one way.
    struct FlagUses {
        std::optional<std::int32_t> tested;
        std::optional<std::int32_t> set;
        std::optional<std::int32_t> cleared;
    };

    // The flag number in the three bytes of line from `from`. Cut out of Japanese text they
    // may hold half a character, so such a field is shown by the whole line and its place.
    void checkFlagNumber(std::string_view line, std::size_t from, std::int32_t at, FlagUse use) {
        const std::string_view field = line.substr(from, 3);
        const auto value = parseDecimal(field);
        if (value && *value >= 1 && *value <= kLastFlag) {
            FlagUses& uses = m_flags[*value];
            auto& first = use == FlagUse::Tested ? uses.tested
                          : use == FlagUse::Set  ? uses.set
                                                 : uses.cleared;
            if (!first || at < *first) {
                first = at;
            }
        }
        if (!value) {
            const bool text = std::any_of(field.begin(), field.end(),
                                          [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
            if (text) {
                report(at, "bytes " + std::to_string(from + 1) + " to " +
                               std::to_string(from + field.size()) + " of " + inQuotes(line) +
                               " are read as a flag number and are not one");
            } else {
                report(at, "flag " + inQuotes(field) + " is not a number");
            }
        } else if (*value < 1 || *value > kLastFlag) {
            report(at, "flag " + std::to_string(*value) + " is outside 1 to 999");
        }
    }

    void checkFlagToken(std::string_view line, std::string_view token, std::int32_t at, FlagUse use) {
        checkFlagNumber(line, static_cast<std::size_t>(token.data() - line.data()), at, use);
    }

    // The three-character tokens from the second character, as conditions and state lines read them.
    static std::vector<std::string_view> tokens(std::string_view line) {
        std::vector<std::string_view> out;
        for (std::size_t i = 1; i <= line.size() / 3; ++i) {
            out.push_back(line.substr(3 * i - 2, 3));
        }
        return out;
    }

    void checkCondition(std::string_view line, std::int32_t at) {
        for (std::string_view token : tokens(line)) {
            const char middle = token.size() > 1 ? token[1] : '\0';
            if (middle != ':' && middle != '<' && middle != '=' && middle != '>' && middle != 'O') {
                checkFlagToken(line, token, at, FlagUse::Tested);
            }
        }
    }

    void checkStateLine(std::string_view line, std::int32_t at) {
        switch (line.size()) {
            case 3:
                return;
            case 9:
                if (line[1] == '+' || line[1] == '-') {
                    checkFlagNumber(line, 2, at, FlagUse::Tested);
                    checkFlagNumber(line, 6, at, FlagUse::Set);
                }
                return;
            case 12:
                checkFlagNumber(line, 1, at, FlagUse::Tested);
                checkFlagNumber(line, 5, at, FlagUse::Tested);
                checkFlagNumber(line, 9, at, FlagUse::Set);
                return;
            default:
                break;
        }
        bool clear = false;
        for (std::string_view token : tokens(line)) {
            if (token == "NOT") {
                clear = true;
            } else {
                checkFlagToken(line, token, at, clear ? FlagUse::Cleared : FlagUse::Set);
                clear = false;
            }
        }
    }

    void checkNameReferences(std::string_view line, std::int32_t at) {
        for (std::size_t p = line.find('%'); p != std::string_view::npos; p = line.find('%', p + 1)) {
            const char next = p + 1 < line.size() ? line[p + 1] : '\0';
            if (next < '0' || next > '9') {
                report(at, "\"%\" is not followed by a digit; the page stops with a conversion error");
                return;
            }
            ++p;
        }
    }

    // "%P%" is the project directory as the player expands it.
    std::string expandProjectDir(std::string line) const {
        std::string dir = pathToSjis(m_story.projectDir);
        if (!dir.empty() && dir.back() != '/') {
            dir.push_back('/');
        }
        for (std::size_t p = line.find("%P%"); p != std::string::npos; p = line.find("%P%", p + dir.size())) {
            line.replace(p, 3, dir);
        }
        return line;
    }

    // Whether the name begins with the project folder as "%P%" puts it there and goes on with
    // a whole path of its own, which names no file (common/file_names.h).
    bool leavesProjectDir(std::string_view nameSjis) const {
        const std::size_t prefix = baseDirPrefixLength(nameSjis, m_story.projectDir);
        if (prefix == 0) {
            return false;
        }
        const std::vector<std::string> parts = splitFileName(nameSjis.substr(prefix));
        return !parts.empty() && parts.front() == "/";
    }

    // The file exactly as named: '/' separators and the case on disk.
    bool existsAsWritten(std::string_view nameSjis) const {
        std::string joined;
        const std::vector<std::string> parts = splitFileName(nameSjis);
        for (const std::string& part : parts) {
            if (part == "/") {
                joined = "/";
                continue;
            }
            joined += (joined.empty() || joined == "/" ? "" : "/") + part;
        }
        if (joined != nameSjis) {
            return false;  // a backslash, a drive or a doubled separator
        }
        const fs::path base = nameSjis.starts_with("/") ? fs::path() : m_story.projectDir;
        std::error_code ec;
        return fs::is_regular_file(base / sjisToUtf8(nameSjis), ec) ||
               fs::is_regular_file(base / std::string(nameSjis), ec);
    }

    // The file the player finds, or nothing when it is missing. A name the player finds only
    // by resolving it is reported unless it is written exactly as asWritten says.
    std::optional<fs::path> checkFile(std::string_view nameSjis, std::int32_t at, std::string_view what,
                                      bool reportMissing, std::string_view asWritten = {}) {
        const auto found = resolveFileName(nameSjis, m_story.projectDir);
        std::error_code ec;
        if (reportMissing) {
            m_namedFiles.insert(std::string(nameSjis));
        }
        if (!found || !fs::is_regular_file(*found, ec)) {
            if (reportMissing) {
                m_missingFiles.insert(std::string(nameSjis));
                const bool outside = leavesProjectDir(nameSjis);
                const std::string message =
                    outside ? " names no file: after the project folder comes another whole path (a second "
                              "\"%P%\"?), and the player takes nothing outside the folder there"
                            : " does not exist";
                if (report(at, std::string(what) + " " + inQuotes(nameSjis) + message) && !outside) {
                    m_missingFindings.insert(m_findings.size() - 1);
                }
            }
            return std::nullopt;
        }
        if (!existsAsWritten(nameSjis) && (asWritten.empty() || !existsAsWritten(asWritten))) {
            report(at, std::string(what) + " " + inQuotes(nameSjis) + " exists only as \"" + found->string() +
                           "\" (letter case or backslashes differ); it plays only through the name resolver");
        }
        return found;
    }

    void checkPicture(const std::string& nameSjis, std::int32_t at) {
        // The player prefers a JPEG of the same base name, so either file makes the picture.
        // It asks for ".JPG"; a JPEG saved as ".jpg" is found the same way on every system.
        const std::string jpeg = pictures::jpegCandidateName(nameSjis);
        const std::string jpegLower = jpeg.substr(0, jpeg.size() - 4) + ".jpg";
        auto found = jpeg != nameSjis ? checkFile(jpeg, at, "picture", false, jpegLower) : std::nullopt;
        if (!found) {
            found = checkFile(nameSjis, at, "picture", true);
        }
        if (!found) {
            return;
        }
        pictures::Bitmap bitmap;
        if (!pictures::loadPicture(nameSjis, m_story.projectDir, false, bitmap)) {
            report(at,
                   "picture " + inQuotes(nameSjis) + " (" + found->filename().string() + ") does not load");
        }
    }

    // The player keeps a colour number's low byte and shows a byte outside the colour table as
    // the start-up colour, so any number outside the table shows some other colour.
    void checkColour(std::string_view field, std::int32_t at, bool text) {
        const auto value = parseDecimal(field);
        if (!value) {
            report(at, "colour " + inQuotes(field) + " is not a number");
            return;
        }
        const int last = static_cast<int>(pictures::kColourTable.size()) - 1;
        if (*value >= 0 && *value <= last) {
            return;
        }
        const int kept = *value & 0xFF;
        const int shown = pictures::colourIndex(kept);
        std::string message = "colour " + std::to_string(*value) + " is outside 0 to " +
                              std::to_string(last) + " and has no colour of its own: the player ";
        if (kept != *value) {
            message += "keeps its low byte, " + std::to_string(kept) + ", and ";
        }
        message += "shows colour " + std::to_string(shown);
        if (shown == pictures::kDefaultColourNumber) {
            message += text ? " (the start-up white)" : " (the start-up black)";
        }
        report(at, std::move(message));
    }

    void checkCommand(const std::string& line, std::int32_t at) {
        const std::string name = upper(line.substr(1, 4));
        const std::string argument = line.size() > 5 ? line.substr(5) : "";
        if (name == "COL=" || name == "FCL=") {
            checkColour(argument.substr(0, 3), at, name == "FCL=");
        } else if (name == "RND=") {
            if (argument.size() < 3 || argument[0] < 'A' || argument[0] > 'Z' || argument[2] < argument[1]) {
                report(at, "\"RND=\" needs a letter variable A to Z, then the lowest and the highest letter");
            }
        } else if (name == "WAV=" || name == "BGM=") {
            checkFile(expandProjectDir(argument), at, "sound", true);
        } else if (name == "BMP=" || name == "BAK=" || name == "TIL=") {
            checkPicture(expandProjectDir(argument), at);
        } else if (name == "EXE=") {
            const std::string commandLine = expandProjectDir(argument);
            checkFile(commandLine.substr(0, commandLine.find(' ')), at, "program", true);
        }
    }

    // The lines a jump reads: conditional alternatives "?COND,LABEL" and a plain default.
    // Returns whether the jump can only go to one label (no alternatives).
    bool readTarget(std::int32_t& pos, std::int32_t pageStart, std::vector<std::string>* names) {
        bool plain = true;
        for (;;) {
            const std::int32_t at = pos;
            const auto line = readLine(pos);
            if (!line) {
                report(at > pageStart ? at : pageStart, "a jump target is missing at the end of the script");
                return false;
            }
            if (line->empty()) {
                continue;
            }
            if ((*line)[0] == '?') {
                plain = false;
                const std::size_t comma = line->find(',');
                if (comma == std::string::npos) {
                    report(at, "a conditional target has no \",\" before its label");
                    continue;
                }
                checkCondition(std::string_view(*line).substr(0, comma), at);
                addTarget(line->substr(comma + 1), at, names);
                continue;
            }
            addTarget(*line, at, names);
            return plain;
        }
    }

    void addTarget(const std::string& label, std::int32_t at, std::vector<std::string>* names) {
        std::string name = label.substr(0, story::kMaxLabelBytes);
        m_reached.insert(name);
        if (names != nullptr) {
            names->push_back(name);
        }
        m_targets.push_back({std::move(name), at});
    }

    void walkPage(std::int32_t start) {
        std::int32_t pos = start;
        std::int32_t at = pos;
        const auto pastEnd = [&] {
            report(start, "the page runs past the end of the script without \"/\" or its choices");
        };
        auto line = readLine(pos);
        bool conditionalHead = false;
        while (line && !line->empty() && ((*line)[0] == '!' || (*line)[0] == '?')) {
            if ((*line)[0] == '!') {
                checkStateLine(*line, at);
            } else {
                checkCondition(*line, at);
                conditionalHead = true;
            }
            at = pos;
            line = readLine(pos);
        }
        if (!line) {
            return pastEnd();
        }
        if (*line == "@NOWAIT") {
            const std::int32_t nowaitAt = at;
            if (!readLine(pos)) {
                return pastEnd();
            }
            std::vector<std::string> names;
            const bool plain = readTarget(pos, start, &names);
            if (plain && !conditionalHead && names.size() == 1) {
                m_nowait[start] = {names.front(), nowaitAt};
            }
            return;
        }
        const auto endsBody = [](const std::string& l) { return (!l.empty() && l[0] == '?') || l == "/"; };
        while (!endsBody(*line)) {
            if (!line->empty() && (*line)[0] == '>') {
                checkCommand(*line, at);
            } else {
                checkNameReferences(*line, at);
            }
            at = pos;
            line = readLine(pos);
            if (!line) {
                return pastEnd();
            }
        }
        if (*line == "/") {
            return;
        }
        walkChoices(start, at, 0, false);
    }

    // One choice as the player reads it: a header, a caption, then its target's lines (any
    // "?" alternatives and the line that ends them).
    struct ChoiceLines {
        std::int32_t header = 0;
        std::string headerLine;
        std::int32_t captionAt = 0;
        std::string caption;
        std::int32_t target = 0;
        std::optional<std::int32_t> bareCondition;  ///< a "?" line without "," among the target's
        bool complete = false;                      ///< false when the script ends inside it
    };

    struct ChoiceBlock {
        std::vector<ChoiceLines> choices;
        std::optional<std::int32_t> end;  ///< the "?END" that stops the reading
        std::int32_t afterEnd = 0;
        /// The first line that shows the reading out of step: another page's first line, or
        /// a line without "?" where a header belongs; and the choice being read there.
        std::optional<std::int32_t> outOfStep;
        std::size_t outOfStepChoice = 0;
    };

    // Reads the lines from the first header on exactly as the player takes them, whatever
    // they hold: choice after choice until a header is "?END" or the script ends.
    ChoiceBlock scanChoices(std::int32_t first) const {
        ChoiceBlock block;
        std::int32_t pos = first;
        const auto next = [&](bool header) {
            const std::int32_t at = pos;
            auto line = readLine(pos);
            const bool stray =
                m_labelAt.contains(at) || (header && at != first && line && !line->starts_with('?'));
            if (line && stray && *line != "?END" && !block.outOfStep) {
                block.outOfStep = at;
                block.outOfStepChoice = block.choices.size() - (header ? 0 : 1);
            }
            return line;
        };
        for (;;) {
            const std::int32_t headerAt = pos;
            const auto header = next(true);
            if (!header) {
                return block;
            }
            if (*header == "?END") {
                block.end = headerAt;
                block.afterEnd = pos;
                return block;
            }
            ChoiceLines& choice = block.choices.emplace_back();
            choice.header = headerAt;
            choice.headerLine = *header;
            choice.captionAt = pos;
            const auto caption = next(false);
            if (!caption) {
                return block;
            }
            choice.caption = *caption;
            choice.target = pos;
            for (;;) {
                const std::int32_t lineAt = pos;
                const auto line = next(false);
                if (!line) {
                    return block;
                }
                if (line->empty()) {
                    continue;
                }
                if ((*line)[0] != '?') {
                    break;
                }
                if (line->find(',') == std::string::npos && !choice.bareCondition) {
                    choice.bareCondition = lineAt;
                }
            }
            choice.complete = true;
        }
    }

    // The lines from one line up to where the reading of a choice block stops, in words.
    std::string swallowed(std::int32_t from, const ChoiceBlock& block) const {
        const std::int32_t to = block.end ? *block.end : static_cast<std::int32_t>(m_story.script.size());
        const std::size_t count = linesBetween(from, to);
        std::string text =
            std::to_string(count) + (count == 1 ? " line" : " lines") + " from " + lineName(from);
        return text +
               (block.end ? " up to the \"?END\" at " + lineName(*block.end) : " to the end of the script");
    }

    // A choice block, from its first header. A line that shows the reading out of step (the
    // first line of another page, or one without "?" where a header belongs) is reported
    // once, by its first cause, with the lines it takes in; nothing that the misread lines
    // seem to say is reported. earlier: the choices of this page before first, when a fault
    // has split the block, and certain whether one of them is always offered.
    void walkChoices(std::int32_t start, std::int32_t first, std::size_t earlier, bool certain) {
        const ChoiceBlock block = scanChoices(first);
        const std::size_t count = block.choices.size();
        const std::size_t stray = block.outOfStep ? block.outOfStepChoice : count;
        // A "?" without "," where a target belongs is the next choice's header when the
        // reading goes out of step after it: the choice before it has no target.
        std::size_t targetless = count;
        if (block.outOfStep) {
            for (std::size_t i = 0; i <= stray && i < count; ++i) {
                const auto& bare = block.choices[i].bareCondition;
                if (bare && *bare < *block.outOfStep) {
                    targetless = i;
                    break;
                }
            }
        }
        for (std::size_t i = 0; i < count && i <= targetless && i < stray; ++i) {
            const ChoiceLines& choice = block.choices[i];
            certain = certain || choice.headerLine == "?";
            checkCondition(choice.headerLine, choice.header);
            checkNameReferences(choice.caption, choice.captionAt);
            std::int32_t pos = choice.target;
            if (choice.complete && i != targetless) {
                readTarget(pos, start, nullptr);
            }
            if (earlier + i == static_cast<std::size_t>(interpreter::kMaxChoices)) {
                report(choice.header, "the page has " + std::to_string(earlier + count) +
                                          " choices, and the player offers at most " +
                                          std::to_string(interpreter::kMaxChoices) + ": from this one (" +
                                          inQuotes(choice.caption) +
                                          ") on, a choice is dropped whenever those before it fill the page");
            }
        }
        if (targetless < count) {
            const ChoiceLines& choice = block.choices[targetless];
            const std::int32_t bare = *choice.bareCondition;
            report(bare, "the choice " + inQuotes(choice.caption) + " (" + lineName(choice.header) +
                             ") has no target: this line is read as its target, and the " +
                             swallowed(*block.outOfStep, block) + " as choices out of step");
            // The rest, read as it was meant: this line is the next choice's header.
            walkChoices(start, bare, earlier + targetless + 1, certain);
            return;
        }
        if (block.outOfStep) {
            const std::int32_t at = *block.outOfStep;
            const auto page = m_labelAt.find(at);
            if (page == m_labelAt.end()) {
                report(at, "this line stands where a choice's \"?\" header or \"?END\" belongs: the " +
                               swallowed(at, block) + " are read as choices out of step");
            } else if (at == first && earlier == 0) {
                report(first, "the page has no \"/\" or choices of its own and runs on into page " +
                                  inQuotes(page->second) + ": the " + swallowed(at, block) +
                                  " are read as its choices");
            } else {
                report(first, "the choice block has no \"?END\" and runs on into page " +
                                  inQuotes(page->second) + ": the " + swallowed(at, block) +
                                  " are read as its choices");
            }
            return;
        }
        if (!block.end) {
            report(start, "the page runs past the end of the script without \"/\" or its choices");
            return;
        }
        // With no choice offered the lines after "?END" hold the page's target.
        std::int32_t pos = block.afterEnd;
        if (earlier + count == 0 || (!certain && !m_labelAt.contains(pos))) {
            readTarget(pos, start, nullptr);
        }
    }

    void findNowaitCycles() {
        std::set<std::int32_t> cleared;
        for (const auto& [start, hop] : m_nowait) {
            std::vector<std::int32_t> path;
            std::int32_t node = start;
            while (!cleared.contains(node) && m_nowait.contains(node)) {
                if (const auto seen = std::find(path.begin(), path.end(), node); seen != path.end()) {
                    std::string circle;
                    for (auto it = seen; it != path.end(); ++it) {
                        circle += sjisToUtf8(m_labelAt.find(*it)->second) + " -> ";
                    }
                    circle += sjisToUtf8(m_labelAt.find(node)->second);
                    report(m_nowait.at(node).second, "\"@NOWAIT\" pages jump in a circle: " + circle);
                    break;
                }
                path.push_back(node);
                node = m_labels.findLabel(m_nowait.at(node).first);
            }
            cleared.insert(path.begin(), path.end());
        }
    }

    // The labels no reading from the start arrives at, as the story map draws them, each with
    // the pages that lead to it.
    std::map<std::string, std::string> unreachableLabels() const {
        const storymap::StoryMap map = storymap::buildStoryMap(m_story.script, m_story.index);
        std::map<std::string, std::string> out;
        for (const storymap::MapEdge& edge : map.edges) {
            const storymap::MapNode& to = map.nodes[edge.to];
            if (to.reachable || to.missing) {
                continue;
            }
            std::string& from = out[to.name];
            const std::string quoted = "\"" + map.nodes[edge.from].name + "\"";
            if (from.find(quoted) == std::string::npos) {
                from += (from.empty() ? "from " : ", ") + quoted;
            }
        }
        return out;
    }

    // Flags the story only tests (always clear, so their conditions never change) or only
    // writes (nothing ever reads what is written), each at its first such line.
    void warnAboutFlags() {
        for (const auto& [flag, uses] : m_flags) {
            const std::string name = "flag " + std::to_string(flag);
            if (uses.tested && !uses.set) {
                report(*uses.tested,
                       name + " is tested but never set" + (uses.cleared ? " (only cleared)" : "") +
                           ": it is always clear, so its conditions never change",
                       true);
            } else if (!uses.tested && uses.set) {
                report(*uses.set, name + " is set but never tested: nothing reads it", true);
            } else if (!uses.tested && uses.cleared) {
                report(*uses.cleared, name + " is cleared but never set or tested", true);
            }
        }
    }

    void checkRecords() {
        const auto unreachable = unreachableLabels();
        const auto& records = m_labels.records();
        const auto size = static_cast<std::int64_t>(m_story.script.size());
        std::set<std::string> seen;
        for (std::size_t i = 0; i < records.size(); ++i) {
            const story::LabelRecord& record = records[i];
            if (record.storedLength > story::kMaxLabelBytes) {
                reportRecord(i + 1, record, "the name length byte is above 8");
                continue;
            }
            if (!seen.insert(record.name).second) {
                reportRecord(i + 1, record, "the label is recorded twice; only the first record is used");
                continue;
            }
            if (record.name == "VRKVER") {
                continue;  // its offset field is the version code
            }
            if (record.offset < 0) {
                reportRecord(i + 1, record, "the offset is negative");
            } else if (record.offset >= size && record.name != "VRKSTART") {
                reportRecord(i + 1, record,
                             "the offset is past the end of the script (" + std::to_string(size) + " bytes)");
            } else if (record.offset < size && !m_lineStarts.contains(record.offset)) {
                reportRecord(i + 1, record, "the offset is not at the start of a line");
            }
            if (i > 0 && !isReserved(record.name) && !m_reached.contains(record.name)) {
                reportRecord(i + 1, record, "no page leads to this label");
            } else if (i > 0 && !isReserved(record.name) && unreachable.contains(sjisToUtf8(record.name))) {
                reportRecord(i + 1, record,
                             "no reading from the start reaches this label: only pages no reading reaches "
                             "lead to it (" +
                                 unreachable.at(sjisToUtf8(record.name)) + ")",
                             true);
            }
        }
    }

    void checkDefaultsBlock() {
        const std::int32_t start = m_labels.findLabel("VRKALTER");
        if (start < 0) {
            m_findings.emplace_back(
                INT32_MAX,
                Finding{m_story.indexName, "no \"VRKALTER\" label: a fresh slot has no names or title"});
            return;
        }
        std::int32_t pos = start;
        int lines = 0;
        while (lines < kDefaultsLines && readLine(pos)) {
            ++lines;
        }
        if (lines < kDefaultsLines && m_lineStarts.contains(start)) {
            report(start, "the \"VRKALTER\" block has " + std::to_string(lines) +
                              " of its 19 lines (nine prompt and name pairs, then the title)");
        }
    }

    // Not one of the files the story names is there: they are kept elsewhere (or made by a
    // build), and one finding says so instead of one for every line that names one.
    void summariseMissingFiles() {
        if (m_namedFiles.size() < 2 || m_missingFiles.size() != m_namedFiles.size()) {
            return;
        }
        std::set<std::string> shown;
        for (const std::string& name : m_missingFiles) {
            shown.insert(
                sjisToUtf8(std::string_view(name).substr(baseDirPrefixLength(name, m_story.projectDir))));
        }
        std::string names;
        for (const std::string& name : shown) {
            names += (names.empty() ? "" : ", ") + name;
        }
        std::vector<std::pair<std::int32_t, Finding>> kept;
        for (std::size_t i = 0; i < m_findings.size(); ++i) {
            if (!m_missingFindings.contains(i)) {
                kept.push_back(std::move(m_findings[i]));
            }
        }
        m_findings = std::move(kept);
        m_findings.emplace_back(
            -1, Finding{m_story.scriptName,
                        "none of the " + std::to_string(m_namedFiles.size()) +
                            " files the story names is in " + m_story.projectDir.string() + " (" + names +
                            "); when they are kept in another folder, name it with --media DIR"});
    }

    const CheckedStory& m_story;
    std::set<std::string> m_namedFiles;
    std::set<std::string> m_missingFiles;
    std::set<std::size_t> m_missingFindings;  ///< indices into m_findings
    story::LabelIndex m_labels;
    std::set<std::int32_t> m_lineStarts;
    std::vector<std::int32_t> m_lineStartList;  ///< the same, for counting lines
    bool m_scriptEndsInsideLine = false;
    bool m_indexCut = false;
    std::multimap<std::int32_t, std::string> m_labelAt;
    std::vector<Target> m_targets;
    std::set<std::string> m_reached;
    std::map<std::int32_t, std::pair<std::string, std::int32_t>> m_nowait;  ///< page -> (target, line)
    std::map<int, FlagUses> m_flags;
    std::vector<std::pair<std::int32_t, Finding>> m_findings;
    std::set<std::string> m_reported;
};

// Through the bounded reader, as the compiler reads: a story may name a FIFO or a huge file.
std::optional<std::vector<char>> readWhole(const fs::path& path) {
    return tryReadRegularFile(path, compiler::kMaxInputBytes, OverLimit::Refuse);
}

}  // namespace

std::optional<CheckedStory> loadForCheck(const fs::path& file, bool sourceIsSjis, std::string* error) {
    CheckedStory story;
    std::error_code ec;
    story.projectDir = fs::absolute(file, ec).parent_path();
    if (sourceIsSjis || upper(file.extension().string()) == ".TXT") {
        const auto source = readWhole(file);
        if (!source) {
            *error = "cannot read " + file.string();
            return std::nullopt;
        }
        CompileError compileError;
        auto compiled =
            compileStory(std::string_view(source->data(), source->size()), sourceIsSjis, &compileError);
        if (!compiled) {
            *error = file.string() + ":" + std::to_string(compileError.line) + ": " + compileError.message;
            return std::nullopt;
        }
        story.script = std::move(compiled->script);
        story.index = std::move(compiled->index);
        story.sourceLineAt = std::move(compiled->sourceLineAt);
        story.scriptName = story.indexName = file.string();
        return story;
    }
    const std::string fileName = file.filename().string();
    const std::string base = fileName.substr(0, fileName.find('.'));
    const auto scriptPath = findInDirectory(story.projectDir, base + ".VRK");
    const auto indexPath = findInDirectory(story.projectDir, base + ".VRJ");
    std::optional<std::vector<char>> script;
    std::optional<std::vector<char>> index;
    if (scriptPath && indexPath) {
        script = readWhole(*scriptPath);
        index = readWhole(*indexPath);
    }
    if (!script || !index) {
        *error = "cannot read " + (story.projectDir / (base + ".VRK")).string() + " and its .VRJ";
        return std::nullopt;
    }
    story.script = std::move(*script);
    story.index = std::move(*index);
    story.scriptName = (file.parent_path() / scriptPath->filename()).string();
    story.indexName = (file.parent_path() / indexPath->filename()).string();
    return story;
}

std::vector<Finding> checkStory(const CheckedStory& story) {
    return Checker(story).run();
}

}  // namespace vrk::compiler
