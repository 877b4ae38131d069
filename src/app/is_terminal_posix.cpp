#include "app/is_terminal.h"

#include <unistd.h>

namespace vrk::app {

bool isTerminal(int fd) {
    return ::isatty(fd) != 0;
}

}  // namespace vrk::app
