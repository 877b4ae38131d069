#include "common/file_names.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "common/sjis.h"

namespace vrk {
namespace {

namespace fs = std::filesystem;

void touch(const fs::path& path) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << "x";
}

void backdate(const fs::path& path) {
    const timespec old[2] = {{::time(nullptr) - 30, 0}, {::time(nullptr) - 30, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), old, 0);
}

class FileNameResolutionTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("vrk_names_test_" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root);
    }
    void TearDown() override { fs::remove_all(m_root); }

    // What "%P%" puts into a script line for this project directory.
    static std::string inserted(const fs::path& projectDir) { return pathToSjis(projectDir / ""); }

    fs::path m_root;
};

TEST_F(FileNameResolutionTest, ProjectDirectoryKeepsItsOwnBytes) {
    // Each name comes back from Shift-JIS as another one: wave dash, minus sign, yen sign
    // (a separator there), double vertical line, cent sign; and one with no Shift-JIS form.
    const char* folders[] = {
        "\xE3\x80\x9C"
        "story",
        "A\xE2\x88\x92"
        "B",
        "\xC2\xA5"
        "500",
        "\xE2\x80\x96",
        "\xC2\xA2"
        "1",
        "\xF0\x9F\x98\x80"};
    for (const char* folder : folders) {
        SCOPED_TRACE(folder);
        const fs::path project = m_root / folder / "";
        touch(project / "pic.bmp");
        touch(project / "se" / "Hit.wav");
        const std::string prefix = inserted(project);
        EXPECT_EQ(resolveFileName(prefix + "pic.bmp", project), project / "pic.bmp");
        EXPECT_EQ(resolveFileName(prefix + "SE\\hit.WAV", project), project / "se" / "Hit.wav");
        EXPECT_TRUE(fileNameExists(prefix + "pic.bmp", project));
        EXPECT_FALSE(fileNameExists(prefix + "none.bmp", project));
        EXPECT_EQ(nativeArgument(prefix + "data \x95\x5C", project),
                  (project / "").string() + "data \xE8\xA1\xA8");
    }
    // Names outside the inserted directory resolve as before.
    touch(m_root / "plain" / "a.txt");
    EXPECT_EQ(resolveFileName("a.txt", m_root / "plain"), m_root / "plain" / "a.txt");
    EXPECT_EQ(nativeArgument("-x", m_root), "-x");
}

TEST_F(FileNameResolutionTest, DotComponentsNeedADirectory) {
    // Found by fuzzing: "." after a file's name resolved to a path that does not exist.
    std::ofstream(m_root / "A.BMP") << "x";
    fs::create_directories(m_root / "Sub");
    for (const char* name : {"A.BMP/.", "./A.BMP/./", "A.BMP/..", "A.BMP/./B"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(resolveFileName(name, m_root / ""));
    }
    EXPECT_TRUE(resolveFileName("Sub/./../A.BMP", m_root / ""));
    EXPECT_TRUE(resolveFileName("./a.bmp", m_root / ""));
}

TEST_F(FileNameResolutionTest, NamesCompareByTheirCharacters) {
    const fs::path dir = m_root / "p";
    touch(dir / "\xE7\xBA\x8A.bmp");              // 纊: NEC-selected 0xED40, IBM 0xFA5C
    touch(dir / "\xE2\x89\x92.wav");              // ≒: 0x81E0, and the NEC duplicate 0x8790
    touch(dir / "Title\xE2\x88\xB5.JPG");         // ∵: 0x81E6, and 0x879A
    touch(dir / std::string("raw\xFA\x5C.txt"));  // a name kept in raw Shift-JIS (IBM code)
    EXPECT_EQ(resolveFileName("\xED\x40.bmp", dir), dir / "\xE7\xBA\x8A.bmp");
    EXPECT_EQ(resolveFileName("\xFA\x5C.bmp", dir), dir / "\xE7\xBA\x8A.bmp");
    EXPECT_EQ(resolveFileName("\x87\x90.wav", dir), dir / "\xE2\x89\x92.wav");
    EXPECT_EQ(resolveFileName("\x81\xE0.wav", dir), dir / "\xE2\x89\x92.wav");
    EXPECT_EQ(resolveFileName("title\x87\x9A.jpg", dir), dir / "Title\xE2\x88\xB5.JPG");
    EXPECT_EQ(resolveFileName("RAW\xED\x40.TXT", dir), dir / std::string("raw\xFA\x5C.txt"));
    // A byte that forms no character matches nothing by its characters.
    EXPECT_FALSE(resolveFileName("\xED.bmp", dir).has_value());
}

TEST_F(FileNameResolutionTest, KeptListingFollowsTheDirectory) {
    const fs::path dir = m_root / "big";
    fs::create_directories(dir);
    touch(dir / "One.wav");
    backdate(dir);
    EXPECT_EQ(resolveFileName("ONE.WAV", dir), dir / "One.wav");
    EXPECT_FALSE(resolveFileName("TWO.WAV", dir).has_value());
    touch(dir / "Two.wav");  // in the same second as the listing, yet found
    EXPECT_EQ(resolveFileName("TWO.WAV", dir), dir / "Two.wav");
    backdate(dir);
    fs::rename(dir / "One.wav", dir / "Three.wav");
    backdate(dir);  // even with the old time put back, a renamed entry is not found
    EXPECT_FALSE(resolveFileName("ONE.WAV", dir).has_value());
    EXPECT_EQ(resolveFileName("three.WAV", dir), dir / "Three.wav");
}

TEST_F(FileNameResolutionTest, ProgramIsTheLongestPartThatNamesAFile) {
    const fs::path project = m_root / "My Stories" / "";
    touch(project / "tool.sh");
    touch(m_root / "My");  // what the part before the blank would run
    touch(project / "run me");
    const std::string dir = inserted(project);
    EXPECT_EQ(programNameLength(dir + "tool.sh", project), (dir + "tool.sh").size());
    EXPECT_EQ(programNameLength(dir + "tool.sh -x  y", project), (dir + "tool.sh").size());
    EXPECT_EQ(programNameLength("run me now", project), 6u);
    EXPECT_EQ(programNameLength("tool.sh", project), 7u);
    EXPECT_EQ(programNameLength(dir + "missing -x", project), std::string::npos);
    EXPECT_EQ(programNameLength("", project), std::string::npos);
    EXPECT_EQ(programNameLength(dir, project), std::string::npos);  // a directory is no program
}

}  // namespace
}  // namespace vrk
