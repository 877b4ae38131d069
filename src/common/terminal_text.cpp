#include "common/terminal_text.h"

#include <cstdint>
#include <optional>

namespace vrk {
namespace {

constexpr char kHex[] = "0123456789abcdef";

void appendHexByte(std::string& out, unsigned char byte) {
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0xF];
}

// The code point of the valid UTF-8 sequence at text[at] and its length; nothing for a byte
// that begins none (a stray continuation, an overlong form, a surrogate, a cut sequence).
std::optional<std::pair<char32_t, std::size_t>> decodeAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t code = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        least = 0x10000;
    } else {
        return std::nullopt;
    }
    if (text.size() - at < length) {
        return std::nullopt;
    }
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if ((next & 0xC0) != 0x80) {
            return std::nullopt;
        }
        code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return std::nullopt;
    }
    return std::pair{code, length};
}

}  // namespace

std::string terminalText(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t at = 0;
    while (at < utf8.size()) {
        const auto byte = static_cast<unsigned char>(utf8[at]);
        if (byte < 0x80) {
            if (byte == '\n') {
                out += "\\n";
            } else if (byte == '\r') {
                out += "\\r";
            } else if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
                appendHexByte(out, byte);
            } else {
                out += static_cast<char>(byte);
            }
            ++at;
            continue;
        }
        const auto decoded = decodeAt(utf8, at);
        if (!decoded) {
            appendHexByte(out, byte);
            ++at;
            continue;
        }
        const auto [code, length] = *decoded;
        if (code <= 0x9F) {
            out += "\\u00";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
        } else {
            out.append(utf8.substr(at, length));
        }
        at += length;
    }
    return out;
}

}  // namespace vrk
