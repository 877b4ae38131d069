#pragma once
// The help menu's two commands: the version line of the about dialog, built from the
// project's VRKVER code, and the program's own HTML manual.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace vrk::app {

/// The code a project without the VRKVER label gives (and the one that means "no version").
constexpr std::int32_t kNoVersionCode = -1;
/// The text shown for a project without a version.
inline constexpr const char* kNoVersionText = "Marivex Project";

/// The about dialog's version line for a VRKVER code, Shift-JIS: kNoVersionText for -1 and
/// 10000, else "作品のバージョン : " major "." minor, the major being (code / 100) % 100 and
/// the minor code % 100, written after a "0" above 20000, cut to two characters.
std::string versionText(std::int32_t code);

/// The reader's manual is "vrk3" plus its extension, beside the program: in Japanese, the
/// window's own language.
inline constexpr const char* kManualFileName = "vrk3.html";
/// The same manual in English, beside the Japanese one.
inline constexpr const char* kEnglishManualFileName = "vrk3-en.html";

/// The reader's languages, the most preferred first, as the environment gives them to programs
/// that speak several: the colon-separated list in LANGUAGE, then the locale that messages are
/// shown in (the first of LC_ALL, LC_MESSAGES and LANG that is set). getenv reads a variable.
std::vector<std::string> readerLanguages(const std::function<const char*(const char*)>& getenv);

/// The manual in the first of the reader's languages that has one: English for a tag of "en"
/// ("en", "en-GB", "en_US"), Japanese for "ja"; the Japanese one when none of them has a manual.
/// languages are language tags, the most preferred first.
const char* manualFileNameFor(const std::vector<std::string>& languages);

/// The manual to open in the reader's languages: beside the program, then in the source tree
/// this program was built from; the Japanese manual where the one of the reader's language is
/// missing, and the first candidate when none exists (opening it then fails).
std::filesystem::path helpIndexPath(const std::filesystem::path& programDir,
                                    const std::vector<std::string>& languages = {});

}  // namespace vrk::app
