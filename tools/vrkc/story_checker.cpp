#include "vrkc/story_checker.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

#include "common/errors.h"
#include "common/file_names.h"
#include "common/numbers.h"
#include "common/sjis.h"
#include "pictures/picture_loader.h"
#include "story/script.h"
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
        findNowaitCycles();
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
    // Where a script line is: its source line, else the label before it and the offset.
    std::string whereLine(std::int32_t offset) const {
        if (auto it = m_story.sourceLineAt.find(offset); it != m_story.sourceLineAt.end()) {
            return m_story.scriptName + ":" + std::to_string(it->second);
        }
        std::string where = m_story.scriptName + ": ";
        auto label = m_labelAt.upper_bound(offset);
        if (label != m_labelAt.begin()) {
            --label;
            where += sjisToUtf8(label->second) + "+" + std::to_string(offset - label->first) + " ";
        }
        return where + "(offset " + std::to_string(offset) + ")";
    }

    void report(std::int32_t offset, std::string message) {
        const std::string where = whereLine(offset);
        if (m_reported.insert(where + message).second) {
            m_findings.emplace_back(offset, Finding{where, std::move(message)});
        }
    }

    void reportRecord(std::size_t number, const story::LabelRecord& record, std::string message) {
        const std::string where = m_story.indexName + ": record " + std::to_string(number) + " " +
                                  inQuotes(record.name) + " (offset " + std::to_string(record.offset) + ")";
        m_findings.emplace_back(INT32_MAX, Finding{where, std::move(message)});
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

    void checkFlagNumber(std::string_view field, std::int32_t at, std::string_view what) {
        const auto value = parseDecimal(field);
        if (!value) {
            report(at, std::string(what) + " " + inQuotes(field) + " is not a number");
        } else if (*value < 1 || *value > kLastFlag) {
            report(at, std::string(what) + " " + std::to_string(*value) + " is outside 1 to 999");
        }
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
                checkFlagNumber(token, at, "flag");
            }
        }
    }

    void checkStateLine(std::string_view line, std::int32_t at) {
        switch (line.size()) {
            case 3:
                return;
            case 9:
                if (line[1] == '+' || line[1] == '-') {
                    checkFlagNumber(line.substr(2, 3), at, "flag");
                    checkFlagNumber(line.substr(6, 3), at, "flag");
                }
                return;
            case 12:
                checkFlagNumber(line.substr(1, 3), at, "flag");
                checkFlagNumber(line.substr(5, 3), at, "flag");
                checkFlagNumber(line.substr(9, 3), at, "flag");
                return;
            default:
                break;
        }
        for (std::string_view token : tokens(line)) {
            if (token != "NOT") {
                checkFlagNumber(token, at, "flag");
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
        if (!found || !fs::is_regular_file(*found, ec)) {
            if (reportMissing) {
                report(at, std::string(what) + " " + inQuotes(nameSjis) + " does not exist");
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

    void checkCommand(const std::string& line, std::int32_t at) {
        const std::string name = upper(line.substr(1, 4));
        const std::string argument = line.size() > 5 ? line.substr(5) : "";
        if (name == "COL=" || name == "FCL=") {
            const std::string field = argument.substr(0, 3);
            if (!parseDecimal(field)) {
                report(at, "colour " + inQuotes(field) + " is not a number");
            }
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
        int headers = 0;
        bool certain = false;
        while (*line != "?END") {
            ++headers;
            certain = certain || *line == "?";
            checkCondition(*line, at);
            at = pos;
            const auto caption = readLine(pos);
            if (!caption) {
                return pastEnd();
            }
            checkNameReferences(*caption, at);
            readTarget(pos, start, nullptr);
            at = pos;
            line = readLine(pos);
            if (!line) {
                return pastEnd();
            }
        }
        // With no choice offered the lines after "?END" hold the page's target.
        if (headers == 0 || (!certain && !m_labelAt.contains(pos))) {
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

    void checkRecords() {
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

    const CheckedStory& m_story;
    story::LabelIndex m_labels;
    std::set<std::int32_t> m_lineStarts;
    bool m_scriptEndsInsideLine = false;
    bool m_indexCut = false;
    std::multimap<std::int32_t, std::string> m_labelAt;
    std::vector<Target> m_targets;
    std::set<std::string> m_reached;
    std::map<std::int32_t, std::pair<std::string, std::int32_t>> m_nowait;  ///< page -> (target, line)
    std::vector<std::pair<std::int32_t, Finding>> m_findings;
    std::set<std::string> m_reported;
};

std::optional<std::vector<char>> readWhole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::vector<char> bytes(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) {
        return std::nullopt;
    }
    return bytes;
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
