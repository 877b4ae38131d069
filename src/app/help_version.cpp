#include "app/help_version.h"

#include <algorithm>
#include <system_error>
#include <vector>

namespace vrk::app {

namespace {

// "作品のバージョン : " (the work's version)
constexpr char kVersionPrefixSjis[] =
    "\x8D\xEC"  // 作
    "\x95\x69"  // 品
    "\x82\xCC"  // の
    "\x83\x6F"  // バ
    "\x81\x5B"  // ー
    "\x83\x57"  // ジ
    "\x83\x87"  // ョ
    "\x83\x93"  // ン
    " : ";

constexpr std::int32_t kUnversionedCode = 10000;
// Codes above this write the minor number with a leading zero.
constexpr std::int32_t kZeroPaddedFrom = 20000;

}  // namespace

std::string versionText(std::int32_t code) {
    if (code == kUnversionedCode || code == kNoVersionCode) {
        return kNoVersionText;
    }
    // Truncating division and remainder, as the codes were always read.
    std::string minor = std::to_string(code % 100);
    if (code > kZeroPaddedFrom) {
        minor.insert(0, "0");
    }
    minor.resize(std::min<std::size_t>(minor.size(), 2));
    return kVersionPrefixSjis + std::to_string((code / 100) % 100) + "." + minor;
}

std::filesystem::path helpIndexPath(const std::filesystem::path& programDir) {
    std::vector<std::filesystem::path> candidates{programDir / kManualFileName};
#ifdef VRK_MANUAL_SOURCE_DIR
    candidates.emplace_back(std::filesystem::path(VRK_MANUAL_SOURCE_DIR) / kManualFileName);
#endif
    for (const auto& candidate : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) {
            return candidate;
        }
    }
    return candidates.front();
}

}  // namespace vrk::app
