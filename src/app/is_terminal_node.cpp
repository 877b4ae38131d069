#include "app/is_terminal.h"

#include <emscripten.h>

// The WebAssembly runtime calls every standard stream a terminal; node knows which are.
// clang-format off
EM_JS(int, nodeIsTerminal, (int fd), { return require('tty').isatty(fd) ? 1 : 0; });
// clang-format on

namespace vrk::app {

bool isTerminal(int fd) {
    return nodeIsTerminal(fd) != 0;
}

}  // namespace vrk::app
