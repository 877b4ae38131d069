#include "programs/outside_programs.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace vrk::programs {

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

}  // namespace vrk::programs
