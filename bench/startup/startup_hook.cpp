// The start-up hook vrk3 looks for (src/app/startup_hook.h), loaded into it by bench/startup.sh
// with LD_PRELOAD: with VRK_STARTUP_PROBE set, each phase is a "mark" line and the first frame
// with the page's text ends the program (first_frame_probe.h). It links no Qt, so that vrk3
// still loads Qt with its window module only; the frame probe's library, which does, is opened
// from beside this one once the window exists.
#include <dlfcn.h>

#include <cstdio>
#include <functional>
#include <string>

#include "app/startup_hook.h"
#include "startup_marks.h"

extern "C" __attribute__((visibility("default"))) vrk::app::StartupHook* vrk_startup_hook();

namespace {

class BenchStartupHook : public vrk::app::StartupHook {
public:
    void mark(const char* phase) override { vrk::bench::reportMark(phase); }

    void watchFirstFrame(QWidget* pageView, std::function<bool()> counts) override {
        using Watch = void (*)(QWidget*, std::function<bool()>*);
        Dl_info self = {};
        std::string path;
        if (dladdr(reinterpret_cast<void*>(&vrk_startup_hook), &self) != 0 && self.dli_fname != nullptr) {
            path = self.dli_fname;
        }
        path = path.substr(0, path.rfind('/') + 1) + "vrk_first_frame_hook.so";
        void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto watch =
            library != nullptr ? reinterpret_cast<Watch>(dlsym(library, "vrk_watch_first_frame")) : nullptr;
        if (watch == nullptr) {
            std::fprintf(stderr, "startup hook: no first-frame probe: %s\n", dlerror());
            return;
        }
        watch(pageView, &counts);
    }
};

}  // namespace

vrk::app::StartupHook* vrk_startup_hook() {
    if (!vrk::bench::probing()) {
        return nullptr;
    }
    static BenchStartupHook hook;
    return &hook;
}
