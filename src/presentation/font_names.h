#pragma once
// Stories and settings files name Windows faces ("ＭＳ 明朝", "MS Gothic", ...). Which free
// Japanese font stands in for each is decided here, for every front end alike; whether that
// font is installed is the front end's question.

#include <string>
#include <string_view>

namespace vrk::presentation {

/// The face name compared: full-width letters made half-width, spaces (ASCII and full-width)
/// dropped, ASCII letters in lower case. UTF-8 in and out.
std::string normalisedFaceName(std::string_view faceUtf8);
/// The counterpart family of a known Windows Japanese face ("IPAMincho" for "ＭＳ 明朝" or
/// "MS Mincho"), or an empty string for other names.
std::string counterpartFamily(std::string_view faceUtf8);

}  // namespace vrk::presentation
