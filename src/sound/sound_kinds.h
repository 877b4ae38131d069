#pragma once
// The reader's three sound options filter files by extension: the text from the name's
// last ".", compared in upper case. A trail byte of Shift-JIS is never 0x2E, so a byte
// search finds the dot.

#include <string>
#include <string_view>

#include "interpreter/story.h"

namespace vrk::sound {

/// The extension of a file name, dot included and ASCII letters upper-cased; empty when
/// the name has no ".".
std::string soundExtensionSjis(std::string_view fileNameSjis);
/// True when the options let this file play: ".MID" needs mid, ".WAV" needs wav, any other
/// extension (or none) needs other.
bool soundKindAllowed(std::string_view fileNameSjis, const interpreter::PlayerOptions& options);
/// True for a ".WAV" file in any letter case (the page pauses after starting one).
bool isWaveFile(std::string_view fileNameSjis);

}  // namespace vrk::sound
