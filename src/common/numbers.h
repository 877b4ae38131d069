#pragma once
// Strict decimal conversion for the script's number fields: an optional sign and
// at least one digit, nothing else; "xyz", "1a2", " 1" and "" are not numbers.

#include <cstdint>
#include <optional>
#include <string_view>

namespace vrk {

/// The value of text, or nothing when it is not a decimal number or leaves 32 bits.
std::optional<std::int32_t> parseDecimal(std::string_view text);
/// The value of text; throws the conversion error when it is not a decimal number.
std::int32_t toInteger(std::string_view textSjis);

}  // namespace vrk
