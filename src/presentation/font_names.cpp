#include "presentation/font_names.h"

#include <array>
#include <cstdint>

namespace vrk::presentation {

namespace {

struct FaceCounterpart {
    std::string_view windowsFace;  // normalised
    std::string_view family;
};

constexpr std::array<FaceCounterpart, 11> kCounterparts = {{
    {"ms明朝", "IPAMincho"},
    {"msmincho", "IPAMincho"},
    {"msp明朝", "IPAPMincho"},
    {"mspmincho", "IPAPMincho"},
    {"msゴシック", "IPAGothic"},
    {"msgothic", "IPAGothic"},
    {"mspゴシック", "IPAPGothic"},
    {"mspgothic", "IPAPGothic"},
    {"msuigothic", "IPAPGothic"},
    {"fixedsys", "IPAGothic"},
    {"terminal", "IPAGothic"},
}};

// The code point starting at text[i] and its length in bytes; a broken sequence is one byte.
std::pair<std::uint32_t, std::size_t> decode(std::string_view text, std::size_t i) {
    const auto b = static_cast<unsigned char>(text[i]);
    const std::size_t length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > text.size()) {
        return {b, 1};
    }
    std::uint32_t c = b & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        c = c << 6 | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    }
    return {c, length};
}

}  // namespace

std::string normalisedFaceName(std::string_view faceUtf8) {
    std::string out;
    for (std::size_t i = 0; i < faceUtf8.size();) {
        auto [c, length] = decode(faceUtf8, i);
        if (c >= 0xFF01 && c <= 0xFF5E) {
            c -= 0xFEE0;
        }
        if (c == ' ' || c == 0x3000) {
            // dropped
        } else if (c < 0x80) {
            out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
        } else {
            out += faceUtf8.substr(i, length);
        }
        i += length;
    }
    return out;
}

std::string counterpartFamily(std::string_view faceUtf8) {
    const std::string key = normalisedFaceName(faceUtf8);
    for (const FaceCounterpart& c : kCounterparts) {
        if (key == c.windowsFace) {
            return std::string(c.family);
        }
    }
    return {};
}

}  // namespace vrk::presentation
