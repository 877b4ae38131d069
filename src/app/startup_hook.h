#pragma once
// Where a start-up benchmark watches the player start (bench/startup). The player names its
// phases and hands over its page view here; no one listens unless a library loaded with the
// program provides the C function vrk_startup_hook() (bench/startup/startup_hook.cpp, through
// LD_PRELOAD), so an ordinary start pays one symbol lookup and nothing else. The player never
// includes or links benchmark code.

#include <functional>

class QWidget;

namespace vrk::app {

class StartupHook {
public:
    virtual ~StartupHook() = default;
    /// A phase of the start is reached ("main", "window-made", ...).
    virtual void mark(const char* phase) = 0;
    /// The window's page view exists; its first frame counts once counts() says so.
    virtual void watchFirstFrame(QWidget* pageView, std::function<bool()> counts) = 0;
};

/// The hook of the library loaded with the program, or null (looked up once).
StartupHook* startupHook();

/// Tells the hook, if there is one, that phase is reached.
inline void startupMark(const char* phase) {
    if (StartupHook* hook = startupHook()) {
        hook->mark(phase);
    }
}

}  // namespace vrk::app
