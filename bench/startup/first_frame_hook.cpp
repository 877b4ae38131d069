// The Qt half of the start-up hook (startup_hook.cpp opens it once vrk3's window exists):
// watches the page view with the probe the bare window uses.
#include <QWidget>
#include <functional>

#include "first_frame_probe.h"

extern "C" __attribute__((visibility("default"))) void vrk_watch_first_frame(QWidget* pageView,
                                                                             std::function<bool()>* counts) {
    new vrk::bench::FirstFrameProbe(pageView, std::move(*counts));
}
