#include "app/help_version.h"

#include <algorithm>
#include <cctype>
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
    // Built front to back: inserting the zero before the digits trips a false -Wrestrict
    // in GCC 12 at -O3.
    std::string minor = code > kZeroPaddedFrom ? "0" : "";
    minor += std::to_string(code % 100);
    minor.resize(std::min<std::size_t>(minor.size(), 2));
    return kVersionPrefixSjis + std::to_string((code / 100) % 100) + "." + minor;
}

std::vector<std::string> readerLanguages(const std::function<const char*(const char*)>& getenv) {
    std::vector<std::string> languages;
    const auto read = [&](const char* name) {
        const char* value = getenv(name);
        return std::string(value != nullptr ? value : "");
    };
    const std::string list = read("LANGUAGE");
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t end = std::min(list.find(':', start), list.size());
        if (end > start) {
            languages.push_back(list.substr(start, end - start));
        }
        start = end + 1;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        if (std::string locale = read(name); !locale.empty()) {
            languages.push_back(std::move(locale));
            break;
        }
    }
    return languages;
}

const char* manualFileNameFor(const std::vector<std::string>& languages) {
    for (const std::string& tag : languages) {
        std::string language = tag.substr(0, tag.find_first_of("-_.@"));
        std::transform(language.begin(), language.end(), language.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (language == "en") {
            return kEnglishManualFileName;
        }
        if (language == "ja") {
            return kManualFileName;
        }
    }
    return kManualFileName;
}

std::filesystem::path helpIndexPath(const std::filesystem::path& programDir,
                                    const std::vector<std::string>& languages) {
    std::vector<std::filesystem::path> candidates;
    // The reader's own language first; the Japanese manual is the one every install has. Only
    // beside the program: the build copies the manuals there as the install links them, and a
    // path into the source tree would tie the shipped program to the folder it was built in.
    for (const char* name : {manualFileNameFor(languages), kManualFileName}) {
        candidates.push_back(programDir / name);
    }
    for (const auto& candidate : candidates) {
        std::error_code error;
        if (std::filesystem::is_regular_file(candidate, error)) {
            return candidate;
        }
    }
    return candidates.front();
}

}  // namespace vrk::app
