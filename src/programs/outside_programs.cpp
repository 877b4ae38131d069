#include "programs/outside_programs.h"

#include <unistd.h>

#include <cstdlib>
#include <system_error>

#include "common/file_names.h"
#include "common/sjis.h"

namespace vrk::programs {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

bool isLead(char c) {
    return isSjisLeadByte(static_cast<unsigned char>(c));
}

// Appends the character at pos (both bytes of a two-byte one) and returns the next position.
std::size_t copyCharacter(std::string_view line, std::size_t pos, std::string& out) {
    out.push_back(line[pos]);
    if (isLead(line[pos]) && pos + 1 < line.size()) {
        out.push_back(line[pos + 1]);
        return pos + 2;
    }
    return pos + 1;
}

// The program name: quotes toggle grouping and vanish; backslashes are plain characters.
std::size_t readProgramName(std::string_view line, std::size_t pos, std::string& out) {
    bool quoted = false;
    while (pos < line.size() && (quoted || !isBlank(line[pos]))) {
        if (line[pos] == '"') {
            quoted = !quoted;
            ++pos;
        } else {
            pos = copyCharacter(line, pos, out);
        }
    }
    return pos;
}

std::size_t readArgument(std::string_view line, std::size_t pos, std::string& out) {
    bool quoted = false;
    while (true) {
        std::size_t backslashes = 0;
        while (pos < line.size() && line[pos] == '\\') {
            ++backslashes;
            ++pos;
        }
        bool copyQuote = true;
        if (pos < line.size() && line[pos] == '"') {
            if (backslashes % 2 == 0) {
                if (quoted && pos + 1 < line.size() && line[pos + 1] == '"') {
                    ++pos;  // "" inside a group: one literal quote, the group goes on
                } else {
                    copyQuote = false;
                    quoted = !quoted;
                }
            }
            backslashes /= 2;
        }
        out.append(backslashes, '\\');
        if (pos >= line.size() || (!quoted && isBlank(line[pos]))) {
            return pos;
        }
        if (line[pos] == '"' && !copyQuote) {
            ++pos;
        } else {
            pos = copyCharacter(line, pos, out);
        }
    }
}

std::size_t skipBlanks(std::string_view line, std::size_t pos) {
    while (pos < line.size() && isBlank(line[pos])) {
        ++pos;
    }
    return pos;
}

}  // namespace

namespace {

// The arguments after the program. An argument that begins with the project directory as
// "%P%" put it there keeps that directory whole, blanks and all.
std::vector<std::string> splitArguments(std::string_view line, std::string_view directory = {}) {
    std::vector<std::string> words;
    std::size_t pos = 0;
    while ((pos = skipBlanks(line, pos)) < line.size()) {
        words.emplace_back();
        if (!directory.empty() && line.substr(pos, directory.size()) == directory) {
            words.back() = directory;
            pos += directory.size();
        }
        pos = readArgument(line, pos, words.back());
    }
    return words;
}

}  // namespace

std::vector<std::string> splitCommandLine(std::string_view commandLineSjis) {
    std::vector<std::string> words;
    std::size_t pos = skipBlanks(commandLineSjis, 0);
    if (pos >= commandLineSjis.size()) {
        return words;
    }
    words.emplace_back();
    pos = readProgramName(commandLineSjis, pos, words.back());
    for (std::string& argument : splitArguments(commandLineSjis.substr(pos))) {
        words.push_back(std::move(argument));
    }
    return words;
}

std::optional<std::filesystem::path> findOnSearchPath(std::string_view name) {
    if (name.empty()) {
        return std::nullopt;
    }
    if (name.find('/') != std::string_view::npos) {
        std::filesystem::path direct(name);
        return access(direct.c_str(), X_OK) == 0 ? std::optional(direct) : std::nullopt;
    }
    const char* searchPath = std::getenv("PATH");
    std::string_view dirs = searchPath != nullptr ? searchPath : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const std::size_t colon = dirs.find(':');
        const std::string_view dir = dirs.substr(0, colon);
        const std::filesystem::path candidate =
            std::filesystem::path(dir.empty() ? "." : std::string(dir)) / std::string(name);
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error) && access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        if (colon == std::string_view::npos) {
            return std::nullopt;
        }
        dirs.remove_prefix(colon + 1);
    }
}

bool launchProgram(std::string_view commandLineSjis, const std::filesystem::path& baseDir) {
    // A file the line names as it stands is the program, blanks and all. Only a program name
    // in quotes is read the way the Windows runtime reads it; cutting an unquoted line at a
    // blank would start whatever file the first word names.
    const std::string_view directory =
        commandLineSjis.substr(0, baseDirPrefixLength(commandLineSjis, baseDir));
    std::optional<std::filesystem::path> program;
    std::vector<std::string> words;
    if (const std::size_t length = programNameLength(commandLineSjis, baseDir);
        length != std::string_view::npos) {
        program = resolveFileName(commandLineSjis.substr(0, length), baseDir);
        words = splitArguments(commandLineSjis.substr(length), directory);
    } else if (const std::size_t first = skipBlanks(commandLineSjis, 0);
               first < commandLineSjis.size() && commandLineSjis[first] == '"') {
        words = splitCommandLine(commandLineSjis);
        program = resolveFileName(words.front(), baseDir);
        words.erase(words.begin());
    }
    if (!program) {
        return false;
    }
    std::vector<std::string> arguments;
    for (const std::string& word : words) {
        arguments.push_back(nativeArgument(word, baseDir));
    }
    return startDetached(*program, arguments);
}

}  // namespace vrk::programs
