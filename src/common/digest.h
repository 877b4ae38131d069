#pragma once
// SHA-256, for names that must not collide even when a story picks what goes into them.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vrk {

std::array<std::uint8_t, 32> sha256(std::string_view bytes);

/// The first `bytes` bytes of the digest as lower-case hexadecimal digits.
std::string sha256Hex(std::string_view input, std::size_t bytes = 32);

}  // namespace vrk
