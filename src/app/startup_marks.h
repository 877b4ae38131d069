#pragma once
// Start-up phases for bench/startup.sh: with VRK_STARTUP_PROBE set, each phase prints
// "mark NAME NS" (wall-clock nanoseconds) to standard error; otherwise a mark costs one test.

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace vrk::app {

/// Wall-clock nanoseconds, the clock bench/startup.sh takes its start from.
inline long long wallClockNs() {
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

/// "first-page NS" on standard error, flushed: the first page (or the bare window's label) is
/// on the display.
inline void reportFirstPage() {
    std::fprintf(stderr, "first-page %lld\n", wallClockNs());
    std::fflush(stderr);
}

inline void startupMark(const char* phase) {
    static const bool probing = std::getenv("VRK_STARTUP_PROBE") != nullptr;
    if (!probing) {
        return;
    }
    std::fprintf(stderr, "mark %s %lld\n", phase, wallClockNs());
}

}  // namespace vrk::app
