#include "app/startup_hook.h"

namespace vrk::app {

// No library is loaded beside a WebAssembly program.
StartupHook* startupHook() {
    return nullptr;
}

}  // namespace vrk::app
