#pragma once
// Runs a check in a forked child that may change what the test process must not: its
// user, or its view of the mounts. The child reports through its exit status only.

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

namespace vrk::testing {

constexpr uid_t kNobody = 65534;
/// The child's exit status when the setting could not be made (the test skips).
constexpr int kChildCannotStart = 77;

/// The child's exit status (0 for success), or -1 when it did not exit normally.
inline int runInChild(const std::function<bool()>& prepare, const std::function<int()>& check) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(prepare() ? check() : kChildCannotStart);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) {
        return -1;
    }
    return WEXITSTATUS(status);
}

/// Becomes the unprivileged user "nobody" (the caller must be root).
inline bool becomeNobody() {
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0;
}

/// Mounts dir read-only over itself in a mount namespace of the child's own.
inline bool mountReadOnly(const std::filesystem::path& dir) {
    return ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
           ::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) == 0 &&
           ::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
}

}  // namespace vrk::testing
