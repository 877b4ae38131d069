#pragma once
// Start-up phases for bench/startup_phases.sh: with VRK_STARTUP_PROBE set, each phase prints
// "mark NAME NS" (wall-clock nanoseconds) to standard error; otherwise a mark costs one test.

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace vrk::app {

inline void startupMark(const char* phase) {
    static const bool probing = std::getenv("VRK_STARTUP_PROBE") != nullptr;
    if (!probing) {
        return;
    }
    timespec now = {};
    clock_gettime(CLOCK_REALTIME, &now);
    std::fprintf(stderr, "mark %s %lld\n", phase,
                 static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
}

}  // namespace vrk::app
