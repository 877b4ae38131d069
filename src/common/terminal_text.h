#pragma once
// Text bound for a terminal. A story's lines, names and messages, and the names of its files,
// are bytes from anywhere: an ESC can set the terminal's title or clipboard or clear its
// screen, and a line break inside one line would forge lines of a report that a program reads
// line by line. Both programs that write such text to a terminal pass it through here.

#include <string>
#include <string_view>

namespace vrk {

/// The text with every control character shown escaped, so that it prints as one line and
/// the terminal acts on none of it: LF as "\n", CR as "\r", the other C0 controls and DEL as
/// "\x1b" and the like (two lower-case hex digits), the C1 controls U+0080-U+009F as "\u009b"
/// and the like, and a byte that starts no valid UTF-8 sequence as "\xNN". TAB, backslashes and
/// every other character pass unchanged.
std::string terminalText(std::string_view utf8);

}  // namespace vrk
