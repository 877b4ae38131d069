#pragma once
// What bench/startup.sh reads from the programs it starts: "mark NAME NS" for each phase and
// "first-page NS" once the first page is on the display (wall-clock nanoseconds), on standard
// error.

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace vrk::bench {

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

/// Whether bench/startup.sh asked for the probe's lines (VRK_STARTUP_PROBE is set).
inline bool probing() {
    static const bool asked = std::getenv("VRK_STARTUP_PROBE") != nullptr;
    return asked;
}

/// "mark PHASE NS" on standard error when probing.
inline void reportMark(const char* phase) {
    if (probing()) {
        std::fprintf(stderr, "mark %s %lld\n", phase, wallClockNs());
    }
}

}  // namespace vrk::bench
