#pragma once
// Outside programs named by a story's "EXE=" commands. Stories were written for
// Windows, so a command line is split as the Windows C runtime splits it; the program
// is then found on disk like any other file a story names and started in its own
// session, never waited for. Whether the reader lets a project start a program at
// all is program_permissions.h's business, asked before launchProgram.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vrk::programs {

/// The program and its arguments, as the Windows C runtime reads a command line: blanks and
/// tabs separate; double quotes group (and toggle anywhere in the program name); in the
/// arguments 2n backslashes before a quote give n backslashes and a grouping quote, 2n+1
/// give n and a literal quote, "" inside a group gives a literal quote, other backslashes
/// stay. Bytes are Shift-JIS: a two-byte character is copied whole, even when it ends in
/// 0x5C. Empty when the line holds only blanks.
std::vector<std::string> splitCommandLine(std::string_view commandLineSjis);

/// Starts program with the arguments (argv[1..], as given) in a new session, detached: it
/// is not waited for and leaves no zombie. True when the program was started (its exec
/// succeeded).
bool startDetached(const std::filesystem::path& program, const std::vector<std::string>& arguments);

/// The first executable file of that name in the directories of PATH.
std::optional<std::filesystem::path> findOnSearchPath(std::string_view name);

/// Splits the command line, finds its program from baseDir (relative, Windows-style or
/// Shift-JIS names as any story file), converts the arguments to UTF-8 and starts it
/// detached. False when the line is empty, the program is missing or cannot be started.
bool launchProgram(std::string_view commandLineSjis, const std::filesystem::path& baseDir);

}  // namespace vrk::programs
