// The start-up hook as a benchmark uses it: the player finds the hook that a library loaded with
// it provides (here the test program itself, which exports it as such a library does) and
// reports each phase to it, from whichever of its own libraries asks.
#include "app/startup_hook.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class RecordingHook : public vrk::app::StartupHook {
public:
    void mark(const char* phase) override { phases.emplace_back(phase); }
    void watchFirstFrame(QWidget*, std::function<bool()>) override {}

    std::vector<std::string> phases;
};

RecordingHook recording;

}  // namespace

extern "C" __attribute__((visibility("default"))) vrk::app::StartupHook* vrk_startup_hook() {
    return &recording;
}

namespace vrk::app {
namespace {

TEST(StartupHookTest, PhasesReachTheHookALoadedLibraryProvides) {
    ASSERT_EQ(startupHook(), &recording);
    startupMark("main");
    startupMark("window-made");
    EXPECT_EQ(recording.phases, (std::vector<std::string>{"main", "window-made"}));
}

}  // namespace
}  // namespace vrk::app
