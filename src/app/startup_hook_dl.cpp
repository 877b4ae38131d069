#include "app/startup_hook.h"

#include <dlfcn.h>

namespace vrk::app {

StartupHook* startupHook() {
    // Looked up among the libraries loaded with the program, so that the program and the
    // window module, each with its own copy of this library, find the same hook.
    static StartupHook* const hook = [] {
        using Provider = StartupHook* (*)();
        const auto provide = reinterpret_cast<Provider>(dlsym(RTLD_DEFAULT, "vrk_startup_hook"));
        return provide != nullptr ? provide() : nullptr;
    }();
    return hook;
}

}  // namespace vrk::app
