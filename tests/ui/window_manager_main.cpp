// The window-manager tests' own main: they need an X display with a window manager on it
// (with_window_manager.sh makes one) and skip without one.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (std::getenv("DISPLAY") == nullptr) {
        std::puts("SKIPPED: no X display; run through with_window_manager.sh");
        return 77;
    }
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
