#pragma once
// Code page 932 <-> UTF-8, used only at the edges (drawing, the terminal, file
// names). The engine itself keeps Shift-JIS bytes in std::string.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vrk {

/// True for a byte that begins a two-byte character of code page 932 (0x81-0x9F, 0xE0-0xFC).
constexpr bool isSjisLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

/// The first bytes of Shift-JIS text, at most maxBytes, never ending inside a two-byte character.
std::string cutSjis(std::string_view sjis, std::size_t maxBytes);
/// UTF-8 text of Shift-JIS bytes; a byte that does not form a character becomes U+FFFD.
std::string sjisToUtf8(std::string_view sjis);
/// Shift-JIS bytes of UTF-8 text, or nothing when a character has no code page 932 form
/// (or the UTF-8 is malformed).
std::optional<std::string> utf8ToSjis(std::string_view utf8);
/// As utf8ToSjis, with "?" for each character that has no code page 932 form.
std::string utf8ToSjisLossy(std::string_view utf8);
/// The character of a two-byte code, or nothing when the pair is not one.
std::optional<char32_t> sjisCharacter(unsigned char lead, unsigned char trail);
/// The character of a byte standing alone, or nothing (lead bytes and unused bytes).
std::optional<char32_t> sjisCharacter(unsigned char single);
/// The code page 932 code of a character (one byte below 0x100), or nothing. Where several
/// codes read as the same character, this is the one Windows writes.
std::optional<std::uint16_t> sjisCode(char32_t character);
/// Length in bytes of the UTF-8 sequence that begins with this byte (1 for a stray byte).
std::size_t utf8SequenceLength(unsigned char lead);
/// True when text is whole UTF-8 sequences only (no stray or cut-off bytes).
bool isValidUtf8(std::string_view text);

}  // namespace vrk
