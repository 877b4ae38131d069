#include "app/help_version.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace vrk::app {
namespace {

// "作品のバージョン : "
const std::string kPrefixSjis = "\x8D\xEC\x95\x69\x82\xCC\x83\x6F\x81\x5B\x83\x57\x83\x87\x83\x93 : ";

TEST(HelpVersionTest, VersionTextOfTheProjectsCode) {
    struct Case {
        std::int32_t code;
        const char* shown;
    };
    const Case cases[] = {
        {10350, "3.50"}, {10305, "3.5"},  {20105, "1.05"},  {20112, "1.01"},  {20000, "0.0"}, {10001, "0.1"},
        {10100, "1.0"},  {20001, "0.01"}, {29999, "99.09"}, {12345, "23.45"}, {0, "0.0"},     {99, "0.99"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(versionText(c.code), kPrefixSjis + c.shown);
    }
}

TEST(HelpVersionTest, NoVersionShowsTheProjectName) {
    for (const std::int32_t code : {-1, 10000}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(versionText(code), "Marivex Project");
    }
    // Codes no tool writes still give some text rather than failing.
    EXPECT_FALSE(versionText(INT_MIN).empty());
    EXPECT_FALSE(versionText(INT_MAX).empty());
}

TEST(HelpVersionTest, TheManualIsInTheFirstOfTheReadersLanguagesThatHasOne) {
    struct Case {
        std::vector<std::string> languages;
        const char* manual;
    };
    const Case cases[] = {
        {{"en_US.UTF-8"}, "vrk3-en.html"},
        {{"en-GB", "en"}, "vrk3-en.html"},
        {{"EN"}, "vrk3-en.html"},
        {{"ja_JP.UTF-8"}, "vrk3.html"},
        {{"de_DE", "en_GB", "ja"}, "vrk3-en.html"},  // no German manual: the next language has one
        {{"ja", "en"}, "vrk3.html"},
        {{"C"}, "vrk3.html"},  // no language at all: the window's own
        {{"eng"}, "vrk3.html"},
        {{}, "vrk3.html"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.languages.empty() ? "none" : c.languages.front());
        EXPECT_STREQ(manualFileNameFor(c.languages), c.manual);
    }
}

TEST(HelpVersionTest, TheReadersLanguagesComeFromTheEnvironment) {
    using Environment = std::map<std::string, std::string>;
    const auto languages = [](const Environment& environment) {
        return readerLanguages([&](const char* name) -> const char* {
            const auto found = environment.find(name);
            return found == environment.end() ? nullptr : found->second.c_str();
        });
    };
    using List = std::vector<std::string>;
    EXPECT_EQ(languages({}), List{});
    EXPECT_EQ(languages({{"LANG", "en_US.UTF-8"}}), List{"en_US.UTF-8"});
    EXPECT_EQ(languages({{"LANG", "ja_JP.UTF-8"}, {"LC_MESSAGES", "en_GB.UTF-8"}}), List{"en_GB.UTF-8"});
    EXPECT_EQ(languages({{"LANG", "ja_JP.UTF-8"}, {"LC_MESSAGES", "de_DE"}, {"LC_ALL", "en_US"}}),
              List{"en_US"});
    EXPECT_EQ(languages({{"LANGUAGE", "de::en_GB:"}, {"LANG", "ja_JP.UTF-8"}}),
              (List{"de", "en_GB", "ja_JP.UTF-8"}));
    EXPECT_EQ(languages({{"LANGUAGE", ""}, {"LC_ALL", ""}, {"LANG", "C"}}), List{"C"});
}

TEST(HelpVersionTest, TheManualIsLookedForBesideTheProgramInTheReadersLanguageFirst) {
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("vrk-help-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (const char* name : {kManualFileName, kEnglishManualFileName}) {
        std::ofstream(dir / name) << "<html></html>";
    }
    EXPECT_EQ(helpIndexPath(dir, {"en_US"}), dir / "vrk3-en.html");
    EXPECT_EQ(helpIndexPath(dir, {"ja_JP"}), dir / "vrk3.html");
    EXPECT_EQ(helpIndexPath(dir), dir / "vrk3.html");
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace vrk::app
