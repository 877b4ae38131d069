#include "programs/outside_programs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
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

std::vector<std::string> splitCommandLine(std::string_view commandLineSjis) {
    std::vector<std::string> words;
    std::size_t pos = skipBlanks(commandLineSjis, 0);
    if (pos >= commandLineSjis.size()) {
        return words;
    }
    words.emplace_back();
    pos = readProgramName(commandLineSjis, pos, words.back());
    while ((pos = skipBlanks(commandLineSjis, pos)) < commandLineSjis.size()) {
        words.emplace_back();
        pos = readArgument(commandLineSjis, pos, words.back());
    }
    return words;
}

namespace {

// Runs in the grandchild between fork and exec, so only async-signal-safe calls.
[[noreturn]] void execDetached(const char* program, char* const argv[], int errorPipe) {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) {
        dup2(devNull, STDIN_FILENO);
    }
    // The player's own standard output may be a transcript others read (the terminal player's
    // reports); what a program prints goes beside the player's diagnostics instead.
    dup2(STDERR_FILENO, STDOUT_FILENO);
    // Descriptors of the player (sound device, files, sockets) are not the program's business.
    close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);
    execv(program, argv);
    const int error = errno;
    [[maybe_unused]] const auto written = write(errorPipe, &error, sizeof error);
    _exit(127);
}

// The intermediate child starts a new session and leaves at once, so the program is
// adopted by init (or the nearest subreaper) and never becomes our zombie.
[[noreturn]] void forkDetached(const char* program, char* const argv[], int errorPipe) {
    setsid();
    const pid_t grandchild = fork();
    if (grandchild == 0) {
        execDetached(program, argv, errorPipe);
    }
    if (grandchild < 0) {
        const int error = errno;
        [[maybe_unused]] const auto written = write(errorPipe, &error, sizeof error);
    }
    _exit(0);
}

}  // namespace

bool startDetached(const std::filesystem::path& program, const std::vector<std::string>& arguments) {
    // Everything exec needs is built before fork: the child may not allocate.
    const std::string programPath = program.string();
    std::vector<std::string> words{programPath};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    int errorPipe[2];
    if (pipe2(errorPipe, O_CLOEXEC) != 0) {
        return false;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(errorPipe[0]);
        forkDetached(programPath.c_str(), argv.data(), errorPipe[1]);
    }
    close(errorPipe[1]);
    if (child < 0) {
        close(errorPipe[0]);
        return false;
    }
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    // The pipe closes on a successful exec; an error number arrives when it failed.
    int error = 0;
    ssize_t got;
    while ((got = read(errorPipe[0], &error, sizeof error)) < 0 && errno == EINTR) {
    }
    close(errorPipe[0]);
    return got == 0;
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
    const std::vector<std::string> words = splitCommandLine(commandLineSjis);
    if (words.empty()) {
        return false;
    }
    const auto program = resolveFileName(words.front(), baseDir);
    if (!program) {
        return false;
    }
    std::vector<std::string> arguments;
    for (std::size_t i = 1; i < words.size(); ++i) {
        arguments.push_back(sjisToUtf8(words[i]));
    }
    return startDetached(*program, arguments);
}

}  // namespace vrk::programs
