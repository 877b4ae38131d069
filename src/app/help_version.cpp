#include "app/help_version.h"

#include <algorithm>

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
    // Built front to back: inserting the zero before the digits trips a false -Wrestrict
    // in GCC 12 at -O3.
    std::string minor = code > kZeroPaddedFrom ? "0" : "";
    minor += std::to_string(code % 100);
    minor.resize(std::min<std::size_t>(minor.size(), 2));
    return kVersionPrefixSjis + std::to_string((code / 100) % 100) + "." + minor;
}

// Only beside the program: the build copies the manual there as the install links it, and a
// path into the source tree would tie the shipped program to the folder it was built in.
std::filesystem::path helpIndexPath(const std::filesystem::path& programDir) {
    return programDir / kManualFileName;
}

}  // namespace vrk::app
