#pragma once
// The help menu's two commands: the version line of the about dialog, built from the
// project's VRKVER code, and the program's own HTML manual.

#include <cstdint>
#include <filesystem>
#include <string>

namespace vrk::app {

/// The code a project without the VRKVER label gives (and the one that means "no version").
constexpr std::int32_t kNoVersionCode = -1;
/// The text shown for a project without a version.
inline constexpr const char* kNoVersionText = "Marivex Project";

/// The about dialog's version line for a VRKVER code, Shift-JIS: kNoVersionText for -1 and
/// 10000, else "作品のバージョン : " major "." minor, the major being (code / 100) % 100 and
/// the minor code % 100, written after a "0" above 20000, cut to two characters.
std::string versionText(std::int32_t code);

/// The reader's manual is "vrk3" plus its extension, beside the program.
inline constexpr const char* kManualFileName = "vrk3.html";
/// The contents topic, an anchor of the manual.
inline constexpr const char* kHelpTopic = "HID00000002";

/// The manual to open: vrk3.html beside the program, then in the source tree this program was
/// built from; the first candidate when neither exists (opening it then fails).
std::filesystem::path helpIndexPath(const std::filesystem::path& programDir);

}  // namespace vrk::app
