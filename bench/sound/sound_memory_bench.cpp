// Resident memory of a page with music against one with an effect only (the goal: at most
// 40 MB more) and against one with no sound at all. Each figure comes from a process of its
// own, forked before any sound, which loads the sound module as the window does, plays the
// demo's file for a while and reports /proc/self/statm. SDL_AUDIODRIVER defaults to the dummy
// driver, whose audio thread renders the music as a sound card's would.

#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "sound/lazy_sound_backend.h"

namespace {

namespace fs = std::filesystem;

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// The resident memory of a fresh process that plays file (none: plays nothing) for seconds;
// -1 when it could not be measured.
long residentPlaying(const char* file, double seconds) {
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeEnds[0]);
        long resident = -1;
        {
            vrk::sound::LazySoundBackend backend({VRK_SOUND_MODULE});
            if (file == nullptr || (backend.open(fs::path(VRK_DEMO_DIR) / file) && backend.moduleLoaded())) {
                backend.play({});
                std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
                resident = residentKiB();
            }
            backend.close();
        }
        const auto written = ::write(pipeEnds[1], &resident, sizeof resident);
        ::_exit(written == sizeof resident ? 0 : 1);
    }
    ::close(pipeEnds[1]);
    long resident = -1;
    if (child < 0 || ::read(pipeEnds[0], &resident, sizeof resident) != sizeof resident) {
        resident = -1;
    }
    ::close(pipeEnds[0]);
    if (child > 0) {
        ::waitpid(child, nullptr, 0);
    }
    return resident;
}

void BM_ResidentWithMusic(benchmark::State& state) {
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    long silent = 0;
    long effect = 0;
    long music = 0;
    for (auto _ : state) {
        silent = residentPlaying(nullptr, 0.2);
        effect = residentPlaying("bell.wav", 1.5);
        music = residentPlaying("theme.mid", 1.5);
    }
    if (silent < 0 || effect < 0 || music < 0) {
        state.SkipWithError("the demo's sounds or the sound module did not play");
        return;
    }
    state.counters["silent_MB"] = static_cast<double>(silent) / 1024.0;
    state.counters["effect_MB"] = static_cast<double>(effect) / 1024.0;
    state.counters["music_MB"] = static_cast<double>(music) / 1024.0;
    state.counters["music_over_effect_MB"] = static_cast<double>(music - effect) / 1024.0;
    state.counters["music_over_silent_MB"] = static_cast<double>(music - silent) / 1024.0;
}
BENCHMARK(BM_ResidentWithMusic)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
