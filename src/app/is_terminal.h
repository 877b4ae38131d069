#pragma once
// Whether a standard stream is a reader at a terminal, which each platform answers its own way
// (is_terminal_posix.cpp, is_terminal_node.cpp; CMake picks one).

namespace vrk::app {

/// Whether the descriptor fd is a terminal.
bool isTerminal(int fd);

}  // namespace vrk::app
