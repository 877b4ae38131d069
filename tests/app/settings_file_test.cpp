#include "app/settings_file.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>

namespace vrk::app {
namespace {

namespace fs = std::filesystem;

class SettingsFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("vrk_settings_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path write(const std::string& bytes) {
        const fs::path path = m_dir / "vrk.ini";
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string contents(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream out;
        out << in.rdbuf();
        return out.str();
    }

    fs::path m_dir;
};

TEST_F(SettingsFileTest, MissingFileGivesEveryDefault) {
    const Settings s = readSettings(m_dir / "vrk.ini");
    EXPECT_EQ(s, Settings{});
    EXPECT_EQ(s.width, 620);
    EXPECT_EQ(s.height, 480);
    EXPECT_EQ(s.fontNameSjis, "\x82\x6c\x82\x72\x20\x96\xbe\x92\xa9");  // ＭＳ 明朝
    EXPECT_EQ(s.styleCode(), 3);
    EXPECT_TRUE(s.mid && s.wav && s.other);
    EXPECT_FALSE(s.oldExe || s.lowRes || s.contrast || s.nonstop);
    EXPECT_EQ(s.revealSpeed, 2);
    EXPECT_EQ(s.gapTenths, 12);
}

TEST_F(SettingsFileTest, EveryKeyRoundTripsWithCrLf) {
    Settings s;
    s.top = -20;
    s.left = 3000;  // off screen stays as it is
    s.height = 301;
    s.width = 999;
    s.fontNameSjis = "\x82\x6c\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4e";  // ＭＳ ゴシック
    s.fontSize = 72;  // outside what the font dialog offers, kept anyway
    s.bold = false;
    s.italic = true;
    s.mid = false;
    s.wav = false;
    s.other = false;
    s.oldExe = true;
    s.lowRes = true;
    s.contrast = true;
    s.revealSpeed = 4;
    s.nonstop = true;
    s.gapTenths = 17;
    const fs::path path = m_dir / "vrk.ini";
    ASSERT_TRUE(writeSettings(path, s));
    EXPECT_EQ(readSettings(path), s);

    const std::string bytes = contents(path);
    EXPECT_NE(bytes.find("[OPTION]\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("SPEED=-4\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("STYLE=2\r\n"), std::string::npos);
    EXPECT_EQ(bytes.find("\n\n"), std::string::npos);
    int keys = 0;
    for (char c : bytes) {
        keys += c == '=' ? 1 : 0;
    }
    EXPECT_EQ(keys, 15);
}

TEST_F(SettingsFileTest, NumberKeysFollowTheirRules) {
    struct Case {
        const char* line;
        int speed;
        bool nonstop;
        int gap;
        int writtenSpeed;
    };
    const Case cases[] = {
        {"SPEED=-3", 3, true, 12, -3},    {"SPEED=9", 2, false, 12, 2},   {"SPEED=-9", 2, true, 12, -2},
        {"SPEED=0", 0, false, 12, 0},     {"SPEED=5", 5, false, 12, 5},   {"SPEED=-32768", 2, true, 12, -2},
        {"SPEED=40000", 2, false, 12, 2}, {"SPEED=0x3", 3, false, 12, 3}, {"SPEED=fast", 2, false, 12, 2},
        {"GAP=15", 2, false, 15, 2},      {"GAP=0", 2, false, 10, 2},     {"GAP=-4", 2, false, 10, 2},
        {"GAP=35", 2, false, 20, 2},      {"GAP=0X14", 2, false, 20, 2},  {"GAP=9", 2, false, 10, 2},
        {"GAP=10", 2, false, 10, 2},      {"GAP=11", 2, false, 11, 2},    {"GAP=19", 2, false, 19, 2},
        {"GAP=20", 2, false, 20, 2},      {"GAP=21", 2, false, 20, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const Settings s = readSettings(write(std::string("[OPTION]\r\n") + c.line + "\r\n"));
        EXPECT_EQ(s.revealSpeed, c.speed);
        EXPECT_EQ(s.nonstop, c.nonstop);
        EXPECT_EQ(s.gapTenths, c.gap);
        EXPECT_EQ(s.speedCode(), c.writtenSpeed);
    }
}

TEST_F(SettingsFileTest, StyleAndBooleanValues) {
    struct Case {
        const char* text;
        bool bold;
        bool italic;
        bool mid;
    };
    const Case cases[] = {
        {"[FONT]\nSTYLE=0\n", false, false, true}, {"[FONT]\nSTYLE=7\n", false, false, true},
        {"[FONT]\nSTYLE=1\n", true, false, true},  {"[FONT]\nSTYLE=2\n", false, true, true},
        {"[OPTION]\nMID=yes\n", true, true, true}, {"[OPTION]\nMID=0\n", true, true, false},
        {"[OPTION]\nMID=-1\n", true, true, true},  {"[option]\r\nmid = 0x0\r\n", true, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const Settings s = readSettings(write(c.text));
        EXPECT_EQ(s.bold, c.bold);
        EXPECT_EQ(s.italic, c.italic);
        EXPECT_EQ(s.mid, c.mid);
    }
    Settings regular;
    regular.bold = false;
    regular.italic = false;
    ASSERT_TRUE(writeSettings(m_dir / "vrk.ini", regular));
    EXPECT_NE(contents(m_dir / "vrk.ini").find("STYLE=0\r\n"), std::string::npos);
}

TEST_F(SettingsFileTest, ProfileNamesIgnoreCaseAndOnlyTheFirstSectionCounts) {
    const ProfileFile file = ProfileFile::parse(
        "; kept\r\n[Window]\r\nTop=0x10\r\n  left =  -7  \r\n[WINDOW]\r\nWIDTH=1\r\n[font]\r\n"
        "name=\"\x82\xa0 x\"\r\n");
    EXPECT_EQ(file.integer("WINDOW", "TOP", 0), 16);
    EXPECT_EQ(file.integer("window", "LEFT", 0), -7);
    EXPECT_EQ(file.integer("WINDOW", "WIDTH", 620), 620);
    EXPECT_EQ(file.text("FONT", "NAME"), std::string("\x82\xa0 x"));
    EXPECT_EQ(file.text("FONT", "SIZE"), std::nullopt);
}

TEST_F(SettingsFileTest, LongTextIsCutAndOtherLinesSurviveARewrite) {
    const std::string longName(1500, 'x');
    const fs::path path = write("; my notes\r\n[EXTRA]\r\nKEEP=1\r\n[FONT]\r\nNAME=" + longName + "\r\n");
    const Settings s = readSettings(path);
    EXPECT_EQ(s.fontNameSjis.size(), ProfileFile::kMaxValueBytes);

    ASSERT_TRUE(writeSettings(path, Settings{}));
    const std::string bytes = contents(path);
    EXPECT_EQ(bytes.rfind("; my notes\r\n[EXTRA]\r\nKEEP=1\r\n[FONT]\r\nNAME=", 0), 0u);
    EXPECT_EQ(readSettings(path), Settings{});
}

TEST_F(SettingsFileTest, ViewKeysAreWrittenOnlyOnceOneIsOn) {
    const fs::path path = m_dir / "vrk.ini";
    ASSERT_TRUE(writeSettings(path, Settings{}));
    const std::string plain = contents(path);
    EXPECT_EQ(plain.find("[VIEW]"), std::string::npos);

    Settings on;
    on.speech = true;
    ASSERT_TRUE(writeSettings(path, on));
    // The file as it was, with the section after it.
    EXPECT_EQ(contents(path), plain + "[VIEW]\r\nAUTO=0\r\nSPEECH=1\r\n");
    EXPECT_EQ(readSettings(path), on);

    // Once there, the keys follow the options off again.
    ASSERT_TRUE(writeSettings(path, Settings{}));
    EXPECT_EQ(contents(path), plain + "[VIEW]\r\nAUTO=0\r\nSPEECH=0\r\n");
    write("[view]\r\nauto=1\r\n");
    EXPECT_TRUE(readSettings(path).autoAdvance);
}

TEST_F(SettingsFileTest, VolumesAreKeptOnlyOnceOneIsBelowFull) {
    const fs::path path = m_dir / "vrk.ini";
    ASSERT_TRUE(writeSettings(path, Settings{}));
    const std::string plain = contents(path);
    ASSERT_TRUE(writeSettings(path, Settings{}));
    EXPECT_EQ(contents(path), plain) << "a reader who never touched them keeps the same bytes";

    Settings quiet;
    quiet.effectVolume = 30;
    ASSERT_TRUE(writeSettings(path, quiet));
    EXPECT_EQ(contents(path), plain + "[VIEW]\r\nMUSICVOLUME=100\r\nEFFECTVOLUME=30\r\n");
    EXPECT_EQ(readSettings(path), quiet);
    // Back at full they stay, following the menu.
    ASSERT_TRUE(writeSettings(path, Settings{}));
    EXPECT_EQ(contents(path), plain + "[VIEW]\r\nMUSICVOLUME=100\r\nEFFECTVOLUME=100\r\n");

    write("[VIEW]\r\nMUSICVOLUME=-20\r\nEFFECTVOLUME=400\r\n");
    EXPECT_EQ(readSettings(path).musicVolume, 0);
    EXPECT_EQ(readSettings(path).effectVolume, 100);
    write("[VIEW]\r\nMUSICVOLUME=loud\r\n");
    EXPECT_EQ(readSettings(path).musicVolume, 100);
}

TEST_F(SettingsFileTest, TextValuesRoundTripExactly) {
    // Reading trims blanks and drops one pair of quotes; writing must make up for both.
    const std::string names[] = {
        " lead",
        "trail ",
        "\tboth\t",
        "\"quoted\"",
        "\"\"",
        "\"",
        "\"open",
        "close\"",
        " \" ",
        "",
        "\x82\x6c\x82\x72 \x96\xbe\x92\xa9",
        "in \"middle\" too",
    };
    const fs::path path = m_dir / "vrk.ini";
    for (const std::string& name : names) {
        SCOPED_TRACE("[" + name + "]");
        Settings s;
        s.fontNameSjis = name;
        for (int round = 0; round < 2; ++round) {
            ASSERT_TRUE(writeSettings(path, s));
            EXPECT_EQ(readSettings(path).fontNameSjis, name);
        }
    }
}

TEST_F(SettingsFileTest, UnwritableFileIsReportedNotThrown) {
    write("not a directory");
    EXPECT_FALSE(writeSettings(m_dir / "vrk.ini" / "vrk.ini", Settings{}));
    // Not a plain file: defaults on reading, and neither reading nor writing waits on a FIFO.
    const fs::path fifo = m_dir / "fifo.ini";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(readSettings(fifo), Settings{});
    EXPECT_FALSE(writeSettings(fifo, Settings{}));
    fs::create_directory(m_dir / "dir.ini");
    EXPECT_EQ(readSettings(m_dir / "dir.ini"), Settings{});
    EXPECT_FALSE(writeSettings(m_dir / "dir.ini", Settings{}));
}

TEST_F(SettingsFileTest, FileLivesBesideTheProgramOrInTheConfigDirectory) {
    EXPECT_EQ(settingsFilePath(m_dir), m_dir / "vrk.ini");
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string previous = saved ? saved : "";
    ::setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
    EXPECT_EQ(settingsFilePath(m_dir / "missing"), m_dir / "vrk3" / "vrk.ini");
    if (saved) {
        ::setenv("XDG_CONFIG_HOME", previous.c_str(), 1);
    } else {
        ::unsetenv("XDG_CONFIG_HOME");
    }
}

// A window of 2^31 pixels never paints and takes gigabytes trying; the numbers a file holds
// are brought within bounds no sum of them overflows, and a file read and written back holds
// the bounded numbers.
TEST_F(SettingsFileTest, AbsurdWindowNumbersAreBroughtWithinBounds) {
    const fs::path path = write(
        "[WINDOW]\r\nTOP=-2147483648\r\nLEFT=2147483647\r\nHEIGHT=2147483647\r\nWIDTH=0x7FFFFFFF\r\n"
        "[FONT]\r\nSIZE=2147483647\r\n");
    const Settings s = readSettings(path);
    EXPECT_EQ(s.top, -Settings::kMaxWindowPosition);
    EXPECT_EQ(s.left, Settings::kMaxWindowPosition);
    EXPECT_EQ(s.height, Settings::kMaxWindowExtent);
    EXPECT_EQ(s.width, Settings::kMaxWindowExtent);
    EXPECT_EQ(s.fontSize, Settings::kMaxFontSize);
    ASSERT_TRUE(writeSettings(path, s));
    EXPECT_NE(contents(path).find("WIDTH=16384\r\n"), std::string::npos) << contents(path);
    EXPECT_EQ(readSettings(path), s);

    const Settings negative = readSettings(write("[WINDOW]\r\nHEIGHT=-5\r\nWIDTH=-2147483648\r\n"));
    EXPECT_EQ(negative.height, 0);
    EXPECT_EQ(negative.width, 0);
    // Within the bounds, numbers stay as they are, off screen or not.
    const Settings kept =
        readSettings(write("[WINDOW]\r\nTOP=-20\r\nLEFT=3000\r\nHEIGHT=16384\r\nWIDTH=1\r\n"
                           "[FONT]\r\nSIZE=-3\r\n"));
    EXPECT_EQ(kept.top, -20);
    EXPECT_EQ(kept.left, 3000);
    EXPECT_EQ(kept.height, 16384);
    EXPECT_EQ(kept.width, 1);
    EXPECT_EQ(kept.fontSize, -3);
    // Sums of bounded numbers stay within 32 bits.
    EXPECT_LT(std::int64_t{Settings::kMaxWindowPosition} + Settings::kMaxWindowExtent,
              std::int64_t{std::numeric_limits<int>::max()});
}

}  // namespace
}  // namespace vrk::app
