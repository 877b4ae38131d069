#pragma once
// The code page 932 tables that src/common/cp932_table.cpp holds; that file is written by
// scripts/gen-cp932-table, so every build converts alike whatever its C library offers.

#include <cstddef>
#include <cstdint>

namespace vrk::cp932 {

constexpr std::uint16_t kNone = 0xFFFF;
constexpr int kLeadCount = 60;    ///< 0x81-0x9F, 0xE0-0xFC
constexpr int kTrailCount = 188;  ///< 0x40-0x7E, 0x80-0xFC

/// The character of each byte that stands alone; kNone for lead bytes and unused bytes.
extern const std::uint16_t kSingleByte[256];
/// The character of each lead/trail pair, indexed by leadIndex and trailIndex; kNone where unused.
extern const std::uint16_t kDoubleByte[kLeadCount][kTrailCount];
/// (code point << 16) | bytes, sorted by code point: what each writable character becomes.
extern const std::uint32_t kEncode[];
extern const std::size_t kEncodeCount;

/// Row of a lead byte in kDoubleByte, or -1.
constexpr int leadIndex(unsigned char lead) {
    if (lead >= 0x81 && lead <= 0x9F) {
        return lead - 0x81;
    }
    if (lead >= 0xE0 && lead <= 0xFC) {
        return lead - 0xE0 + 0x1F;
    }
    return -1;
}

/// Column of a trail byte in kDoubleByte, or -1.
constexpr int trailIndex(unsigned char trail) {
    if (trail >= 0x40 && trail <= 0x7E) {
        return trail - 0x40;
    }
    if (trail >= 0x80 && trail <= 0xFC) {
        return trail - 0x80 + 0x3F;
    }
    return -1;
}

}  // namespace vrk::cp932
