#include "vrkc/web_site.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <algorithm>
#include <fstream>

#include "common/sjis.h"
#include "support/story_project.h"

namespace vrk::publish {
namespace {

namespace fs = std::filesystem;

class WebSiteTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("vrkc_web_" + std::to_string(::getpid()) + "_" +
                                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir / "project");
        fs::create_directories(m_dir / "page");
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void write(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }

    // A page as make web leaves it, with no faces and no soundfont.
    void writePage() {
        write(m_dir / "page" / "index.html",
              "<html><head><title>Marivex Browser</title>\n<style>\n"
              "  @font-face { font-family: \"IPAGothic\"; src: url(\"fonts/ipag.ttf\"); }\n"
              "</style>\n</head><body>開く</body></html>\n");
        write(m_dir / "page" / "vrk3-page.wasm", "\0asm");
        write(m_dir / "page" / "page.js", "const caption = '一時保存';\n");
        write(m_dir / "page" / "menu.mjs", "export const open = '開く';\n");
        write(m_dir / "page" / "vrk3.mjs", "node player");
        write(m_dir / "page" / "vrk3-core.wasm", "node engine");
    }

    const StoryFile* file(const Story& story, const std::string& name) {
        const auto found = std::find_if(story.files.begin(), story.files.end(),
                                        [&](const StoryFile& f) { return f.name == name; });
        return found == story.files.end() ? nullptr : &*found;
    }

    fs::path m_dir;
};

TEST(WebSiteNames, OnlyPlainRelativePathsStayInsideTheSite) {
    for (const char* good :
         {"index.html", "story/DEMO.VRK", "fonts/ipag-1.woff2", "story/絵/夜.bmp", "a..b"}) {
        EXPECT_TRUE(isSafeSiteName(good)) << good;
    }
    for (const char* bad : {"", "/etc/passwd", "../up", "story/../../up", "story/./x", "story//x", "dir/",
                            "c:evil", "back\\slash", "line\nbreak", "tab\there", "..", "."}) {
        EXPECT_FALSE(isSafeSiteName(bad)) << bad;
    }
    EXPECT_FALSE(isSafeSiteName("\x83\x65"));  // Shift-JIS bytes, no UTF-8
}

TEST(WebSiteCharacters, EveryCharacterTheBytesCanShowAndNoControls) {
    std::set<char32_t> found;
    // 漢 (8ABF), a half-width katakana (B1: ｱ), ASCII, a tab and a lone lead byte at the end.
    addSjisCharacters(std::string("\x8A\xBF"
                                  "\xB1"
                                  "A\t\x82"),
                      found);
    EXPECT_EQ(found, (std::set<char32_t>{U'漢', U'ｱ', U'A'}));
    // A lead byte followed by no trail of a character stands alone and shows nothing; the
    // following byte is read on its own.
    found.clear();
    addSjisCharacters(std::string("\x81\x20Z"), found);
    EXPECT_EQ(found, (std::set<char32_t>{U' ', U'Z'}));
}

TEST(WebSiteCharacters, ThePagesCaptionsFromItsTextFilesAndTheEnginesJapaneseRuns) {
    std::set<char32_t> found;
    addPageCharacters("menu.mjs", "const a = '開く'; // é", found);
    EXPECT_TRUE(found.contains(U'開') && found.contains(U'く') && found.contains(U'é') &&
                found.contains(U'a'));
    found.clear();
    // In the engine: the caption "保存" counts; a lone ideograph, two-byte letters (Cyrillic
    // "яё", as random bytes form them) and ASCII do not.
    addPageCharacters("vrk3-page.wasm",
                      std::string("\0asm\x01保存\x02\x03字\x04яё\x05"
                                  "ab",
                                  24),
                      found);
    EXPECT_EQ(found, (std::set<char32_t>{U'保', U'存'}));
    found.clear();
    addPageCharacters("vrk3.html", "説明", found);
    EXPECT_TRUE(found.empty());
}

TEST_F(WebSiteTest, ReadsTheFilesTheScriptNamesInScriptOrderAndMarksTheFirstPage) {
    test_support::writeStoryProject(m_dir / "project",
                                    "*START\n>BGM=theme.mid\n>BMP=night.bmp\n最初の頁\n/\n"
                                    "*NEXT\n>WAV=bell.wav\n>BAK=%P%wall.bmp\n次の頁\n/\n");
    write(m_dir / "project" / "theme.mid", "MThd");
    write(m_dir / "project" / "night.bmp", "BM");
    write(m_dir / "project" / "NIGHT.JPG", "\xFF\xD8");  // the player takes the JPEG first
    write(m_dir / "project" / "wall.bmp", "BM");
    write(m_dir / "project" / "unnamed.bmp", "BM");
    std::string error;
    const auto story = readStory(m_dir / "project" / "tale.vrk", &error);
    ASSERT_TRUE(story) << error;
    EXPECT_EQ(story->projectFile, "TALE.VRK");
    EXPECT_EQ(story->title, "試験");
    std::vector<std::string> names;
    for (const StoryFile& f : story->files) {
        names.push_back(f.name);
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"TALE.VRK", "TALE.VRJ", "TALE.V01", "TALE.V02", "TALE.V03",
                                        "TALE.V04", "theme.mid", "NIGHT.JPG", "bell.wav", "wall.bmp"}));
    EXPECT_TRUE(file(*story, "theme.mid")->start);
    EXPECT_TRUE(file(*story, "NIGHT.JPG")->start);
    EXPECT_FALSE(file(*story, "bell.wav")->start);
    EXPECT_FALSE(file(*story, "wall.bmp")->start);
    EXPECT_LT(file(*story, "theme.mid")->firstNamedAt, file(*story, "bell.wav")->firstNamedAt);
    EXPECT_EQ(story->midiFiles, std::vector<std::size_t>{6});
    for (char32_t c : {U'最', U'頁', U'次', U'試', U'験'}) {
        EXPECT_TRUE(story->characters.contains(c)) << static_cast<unsigned>(c);
    }
}

TEST_F(WebSiteTest, LeavesOutWhatLiesOutsideTheProjectFolder) {
    test_support::writeStoryProject(m_dir / "project",
                                    "*START\n>WAV=../secret.wav\n>BMP=link.bmp\n>WAV=gone.wav\ntext\n/\n");
    write(m_dir / "secret.wav", "RIFF");
    write(m_dir / "outside.bmp", "BM");
    fs::create_symlink(m_dir / "outside.bmp", m_dir / "project" / "link.bmp");
    std::string error;
    const auto story = readStory(m_dir / "project" / "TALE.VRK", &error);
    ASSERT_TRUE(story) << error;
    for (const StoryFile& f : story->files) {
        EXPECT_TRUE(f.source.string().starts_with((m_dir / "project").string())) << f.source;
        EXPECT_TRUE(isSafeSiteName(f.name)) << f.name;
    }
    EXPECT_EQ(story->files.size(), 6u);  // the script, the index and the slots
    ASSERT_EQ(story->notes.size(), 3u);
    EXPECT_NE(story->notes[0].find("outside the project folder"), std::string::npos) << story->notes[0];
    EXPECT_NE(story->notes[1].find("outside the project folder"), std::string::npos) << story->notes[1];
    EXPECT_NE(story->notes[2].find("not found"), std::string::npos) << story->notes[2];
}

TEST_F(WebSiteTest, ASiteHoldsThePageTheStoryAndItsManifests) {
    test_support::writeStoryProject(m_dir / "project", "*START\n>WAV=bell.wav\n頁\n/\n");
    writePage();
    std::string error;
    const auto story = readStory(m_dir / "project" / "TALE.VRK", &error);
    ASSERT_TRUE(story) << error;
    std::vector<std::string> notes;
    const auto site = buildSite(*story, {m_dir / "page", 1}, &error, &notes);
    ASSERT_TRUE(site) << error;
    std::map<std::string, std::string> byName;
    for (const SiteEntry& entry : *site) {
        EXPECT_TRUE(isSafeSiteName(entry.name)) << entry.name;
        byName[entry.name] = entry.bytes;
    }
    // The node player stays out; the page and the story's files are in.
    EXPECT_FALSE(byName.contains("vrk3.mjs"));
    EXPECT_FALSE(byName.contains("vrk3-core.wasm"));
    EXPECT_TRUE(byName.contains("page.js"));
    EXPECT_EQ(byName["story/bell.wav"], "RIFF");
    EXPECT_EQ(byName["story/TALE.VRK"].size(), fs::file_size(m_dir / "project" / "TALE.VRK"));
    // The page is the story's: its title, the cut faces' style sheet, the app manifest.
    const std::string& index = byName["index.html"];
    EXPECT_NE(index.find("<title>試験</title>"), std::string::npos) << index;
    EXPECT_EQ(index.find("fonts/ipag.ttf"), std::string::npos) << index;
    EXPECT_NE(index.find("href=\"fonts/faces.css\""), std::string::npos);
    EXPECT_NE(index.find("href=\"app.webmanifest\""), std::string::npos);
    EXPECT_NE(index.find("<meta name=\"vrk3-story\" content=\"story.json\">"), std::string::npos);
    // What the first page needs is asked for from the head: the modules, the manifest, the
    // project's files and what the first page names (the bell), the engine; not later files.
    for (const char* link :
         {"<link rel=\"modulepreload\" href=\"menu.mjs\">",
          "<link rel=\"preload\" href=\"story.json\" as=\"fetch\" crossorigin>",
          "<link rel=\"preload\" href=\"story/TALE.VRK\" as=\"fetch\" crossorigin>",
          "<link rel=\"preload\" href=\"story/bell.wav\" as=\"fetch\" crossorigin>",
          "<link rel=\"preload\" href=\"vrk3-page.wasm\" as=\"fetch\" crossorigin fetchpriority"}) {
        EXPECT_NE(index.find(link), std::string::npos) << link << "\n" << index;
    }
    EXPECT_NE(byName["app.webmanifest"].find("\"name\":\"試験\""), std::string::npos);
    EXPECT_NE(byName["app.webmanifest"].find("\"start_url\":\"./\""), std::string::npos);
    const std::string& manifest = byName["story.json"];
    EXPECT_NE(manifest.find("\"project\":\"TALE.VRK\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("{\"name\":\"bell.wav\",\"size\":4,\"at\":"), std::string::npos) << manifest;
    // No face in the page: the notes say so, and the site still holds its (empty) sheet.
    EXPECT_TRUE(byName.contains("fonts/faces.css"));
    EXPECT_EQ(std::count_if(notes.begin(), notes.end(),
                            [](const std::string& n) { return n.find("no faces") != std::string::npos; }),
              1);
}

TEST_F(WebSiteTest, RefusesMoreFilesThanAHostTakes) {
    std::string source = "*START\n";
    for (int n = 0; n < 1000; ++n) {
        source += ">WAV=s" + std::to_string(n) + ".wav\n";
        write(m_dir / "project" / ("s" + std::to_string(n) + ".wav"), "RIFF");
    }
    test_support::writeStoryProject(m_dir / "project", source + "text\n/\n");
    writePage();
    std::string error;
    const auto story = readStory(m_dir / "project" / "TALE.VRK", &error);
    ASSERT_TRUE(story) << error;
    std::vector<std::string> notes;
    EXPECT_FALSE(buildSite(*story, {m_dir / "page", 1}, &error, &notes));
    EXPECT_NE(error.find("more than 1000"), std::string::npos) << error;
}

TEST_F(WebSiteTest, WritesOnlyInsideANewOrEarlierSiteFolder) {
    const std::vector<SiteEntry> entries = {
        {"index.html", "<html>"}, {"story/TALE.VRK", "script"}, {"story.json", "{}"}};
    std::string error;
    ASSERT_TRUE(writeSite(entries, m_dir / "site", &error)) << error;
    EXPECT_EQ(std::ifstream(m_dir / "site" / "story" / "TALE.VRK").rdbuf() != nullptr, true);
    // Again over the site it made.
    EXPECT_TRUE(writeSite(entries, m_dir / "site", &error)) << error;
    // A folder holding other things is left alone.
    write(m_dir / "other" / "notes.txt", "mine");
    EXPECT_FALSE(writeSite(entries, m_dir / "other", &error));
    EXPECT_FALSE(fs::exists(m_dir / "other" / "index.html"));
    // A name leaving the folder is refused before anything of it is written.
    EXPECT_FALSE(writeSite({{"../escaped", "x"}}, m_dir / "fresh", &error));
    EXPECT_FALSE(fs::exists(m_dir / "escaped"));
    // A link planted in an earlier site is not followed.
    fs::remove_all(m_dir / "site" / "story");
    fs::create_directories(m_dir / "elsewhere");
    fs::create_directory_symlink(m_dir / "elsewhere", m_dir / "site" / "story");
    EXPECT_FALSE(writeSite(entries, m_dir / "site", &error));
    EXPECT_TRUE(fs::is_empty(m_dir / "elsewhere"));
}

TEST(WebSiteZip, StoredMembersUnderTheFolderWithTheirChecksums) {
    const std::string zip = zipSite({{"index.html", "123456789"}, {"story/夜.bmp", ""}}, "tale");
    ASSERT_GE(zip.size(), 22u);
    EXPECT_EQ(zip.substr(0, 4), std::string("PK\x03\x04", 4));
    // The CRC-32 of "123456789" is CBF43926.
    EXPECT_EQ(zip.substr(14, 4), std::string("\x26\x39\xF4\xCB", 4));
    EXPECT_NE(zip.find("tale/index.html"), std::string::npos);
    EXPECT_NE(zip.find("tale/story/夜.bmp"), std::string::npos);
    const std::string end = zip.substr(zip.size() - 22);
    EXPECT_EQ(end.substr(0, 4), std::string("PK\x05\x06", 4));
    EXPECT_EQ(end[10], 2);  // members
}

TEST(WebSitePage, FoundInstalledOrInTheSourceTreeOfABuild) {
    const fs::path root = fs::temp_directory_path() / ("vrkc_page_" + std::to_string(::getpid()));
    fs::remove_all(root);
    for (const fs::path& dir : {root / "usr" / "share" / "vrk3" / "web", root / "src" / "web" / "dist"}) {
        fs::create_directories(dir);
        std::ofstream(dir / "index.html") << "<html>";
        std::ofstream(dir / "vrk3-page.wasm") << "wasm";
    }
    EXPECT_EQ(findPageDir(root / "usr" / "bin" / ""), root / "usr" / "share" / "vrk3" / "web");
    EXPECT_EQ(findPageDir(root / "src" / "build" / "tools" / "vrkc" / ""), root / "src" / "web" / "dist");
    EXPECT_FALSE(findPageDir(root / "elsewhere" / "bin" / ""));
    fs::remove_all(root);
}

}  // namespace
}  // namespace vrk::publish
