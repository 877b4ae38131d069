#include "common/sjis.h"

#include <algorithm>

#include "common/cp932_table.h"

namespace vrk {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD REPLACEMENT CHARACTER

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

// The code point of one whole UTF-8 sequence, or nothing when it is malformed: overlong,
// a surrogate, past U+10FFFF, or cut short.
std::optional<char32_t> decodeUtf8(std::string_view sequence) {
    const auto byte = [&sequence](std::size_t i) { return static_cast<unsigned char>(sequence[i]); };
    const std::size_t length = utf8SequenceLength(byte(0));
    if (length == 1 || sequence.size() != length) {
        return std::nullopt;
    }
    char32_t cp = byte(0) & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) {
            return std::nullopt;
        }
        cp = (cp << 6) | (byte(i) & 0x3F);
    }
    const char32_t lowest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (cp < lowest || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        return std::nullopt;
    }
    return cp;
}

}  // namespace

std::optional<char32_t> sjisCharacter(unsigned char lead, unsigned char trail) {
    const int row = cp932::leadIndex(lead);
    const int column = cp932::trailIndex(trail);
    if (row < 0 || column < 0) {
        return std::nullopt;
    }
    const std::uint16_t cp = cp932::kDoubleByte[row][column];
    return cp == cp932::kNone ? std::nullopt : std::optional<char32_t>(cp);
}

std::optional<char32_t> sjisCharacter(unsigned char single) {
    const std::uint16_t cp = cp932::kSingleByte[single];
    return cp == cp932::kNone ? std::nullopt : std::optional<char32_t>(cp);
}

std::optional<std::uint16_t> sjisCode(char32_t cp) {
    if (cp > 0xFFFF) {
        return std::nullopt;
    }
    const std::uint32_t* begin = cp932::kEncode;
    const std::uint32_t* end = cp932::kEncode + cp932::kEncodeCount;
    const std::uint32_t* found =
        std::lower_bound(begin, end, static_cast<std::uint32_t>(cp) << 16,
                         [](std::uint32_t entry, std::uint32_t key) { return entry < key; });
    if (found == end || (*found >> 16) != cp) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(*found & 0xFFFF);
}

std::string cutSjis(std::string_view sjis, std::size_t maxBytes) {
    std::size_t end = 0;
    while (end < sjis.size()) {
        const std::size_t width = isSjisLeadByte(static_cast<unsigned char>(sjis[end])) ? 2 : 1;
        if (end + width > maxBytes || end + width > sjis.size()) {
            break;
        }
        end += width;
    }
    return std::string(sjis.substr(0, end));
}

std::string sjisToUtf8(std::string_view sjis) {
    std::string out;
    out.reserve(sjis.size() * 3 / 2);
    std::size_t i = 0;
    while (i < sjis.size()) {
        const auto byte = static_cast<unsigned char>(sjis[i]);
        if (byte < 0x80) {
            out.push_back(static_cast<char>(byte));
            ++i;
            continue;
        }
        std::optional<char32_t> cp;
        std::size_t length = 1;
        if (isSjisLeadByte(byte)) {
            if (i + 1 < sjis.size()) {
                cp = sjisCharacter(byte, static_cast<unsigned char>(sjis[i + 1]));
                length = 2;
            }
        } else {
            cp = sjisCharacter(byte);
        }
        if (cp) {
            appendUtf8(out, *cp);
            i += length;
        } else {
            // A byte that does not begin a character is replaced on its own, so the
            // next byte gets its own chance to start one.
            out += kReplacement;
            ++i;
        }
    }
    return out;
}

std::size_t utf8SequenceLength(unsigned char lead) {
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    if (lead >= 0xE0) {
        return lead <= 0xEF ? 3 : 1;
    }
    if (lead >= 0xC2) {
        return 2;
    }
    return 1;
}

namespace {

std::optional<std::string> convertToSjis(std::string_view utf8, bool lossy) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte < 0x80) {
            out.push_back(static_cast<char>(byte));
            ++i;
            continue;
        }
        const std::size_t length = std::min(utf8SequenceLength(byte), utf8.size() - i);
        const std::optional<char32_t> cp = decodeUtf8(utf8.substr(i, length));
        const std::optional<std::uint16_t> code = cp ? sjisCode(*cp) : std::nullopt;
        if (code) {
            if (*code > 0xFF) {
                out.push_back(static_cast<char>(*code >> 8));
            }
            out.push_back(static_cast<char>(*code & 0xFF));
        } else if (lossy) {
            out.push_back('?');
        } else {
            return std::nullopt;
        }
        i += length;
    }
    return out;
}

}  // namespace

std::optional<std::string> utf8ToSjis(std::string_view utf8) {
    return convertToSjis(utf8, false);
}

std::string utf8ToSjisLossy(std::string_view utf8) {
    return *convertToSjis(utf8, true);
}

bool isValidUtf8(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = utf8SequenceLength(lead);
        if (lead >= 0x80 && length == 1) {
            return false;
        }
        if (i + length > text.size()) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

}  // namespace vrk
