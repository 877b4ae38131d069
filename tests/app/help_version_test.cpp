#include "app/help_version.h"

#include <gtest/gtest.h>

#include <climits>

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

}  // namespace
}  // namespace vrk::app
