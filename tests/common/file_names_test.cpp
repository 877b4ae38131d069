#include "common/file_names.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
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

// A file system whose directories keep their times while they change, as one with coarse
// timestamps does within a tick: the real status with the times fixed, and a clock to set.
namespace frozen {
std::chrono::system_clock::time_point g_now;
timespec g_times{};

std::chrono::system_clock::time_point now() {
    return g_now;
}

int status(const char* path, struct stat* info) {
    if (::stat(path, info) != 0) {
        return -1;
    }
    info->st_mtim = g_times;
    info->st_ctim = g_times;
    return 0;
}
}  // namespace frozen

class FileNameResolutionTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("vrk_names_test_" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root);
    }
    void TearDown() override {
        setListingSourcesForTesting({});
        fs::remove_all(m_root);
    }

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

TEST_F(FileNameResolutionTest, AfterTheProjectFolderTheNameStaysInside) {
    const fs::path project = m_root / "proj" / "";
    touch(project / "ok.bmp");
    touch(project / "tool.sh");
    touch(project / "sub" / "deep.wav");
    touch(m_root / "outside.bmp");
    const std::string dir = inserted(project);
    const std::string outside = pathToSjis(m_root / "outside.bmp");
    // What follows the folder goes on inside it, never from the root, which a second "%P%" or a
    // whole path would otherwise find: each names nothing.
    for (const std::string& rest :
         std::vector<std::string>{dir + "ok.bmp", outside, "/" + dir + "ok.bmp", "C:\\ok.bmp", "c:ok.bmp"}) {
        SCOPED_TRACE(rest);
        EXPECT_FALSE(resolveFileName(dir + rest, project).has_value());
        EXPECT_FALSE(fileNameExists(dir + rest, project));
    }
    EXPECT_EQ(programNameLength(dir + dir + "tool.sh -x", project), std::string::npos);
    EXPECT_EQ(programNameLength(dir + dir + "tool.sh", project), std::string::npos);

    // Inside the folder every name resolves as before, ".." and all; so do names that do not
    // begin with the folder, however they are written.
    EXPECT_EQ(resolveFileName(dir + "ok.bmp", project), project / "ok.bmp");
    // A separator doubled after the folder is only that, as it was where stories were written.
    for (const char* rest : {"\\ok.bmp", "/ok.bmp", "//ok.bmp"}) {
        EXPECT_EQ(resolveFileName(dir + rest, project), project / "ok.bmp") << rest;
    }
    EXPECT_EQ(resolveFileName(dir + "SUB\\Deep.WAV", project), project / "sub" / "deep.wav");
    EXPECT_EQ(resolveFileName(dir + "sub/../ok.bmp", project), project / "sub" / ".." / "ok.bmp");
    EXPECT_EQ(resolveFileName(dir + "../outside.bmp", project), project / ".." / "outside.bmp");
    EXPECT_EQ(resolveFileName(outside, project), m_root / "outside.bmp");
    EXPECT_EQ(resolveFileName("sub/deep.wav", project), project / "sub" / "deep.wav");
    EXPECT_EQ(programNameLength(dir + "tool.sh -x", project), (dir + "tool.sh").size());
    // The folder itself, cut short of its separator, is no prefix: the name is read whole.
    EXPECT_EQ(resolveFileName(dir.substr(0, dir.size() - 1), project),
              fs::path(dir.substr(0, dir.size() - 1)));
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

// Within a tick of the directory's last change a file can appear without changing its times,
// so a listing read then must be read again at the next look; once the tick is over, the
// listing is kept while the times stay.
TEST_F(FileNameResolutionTest, ListingReadWithinATickOfTheChangeIsReadAgain) {
    using namespace std::chrono_literals;
    struct Grain {
        const char* name;
        timespec times;
        std::chrono::milliseconds within;
        std::chrono::milliseconds after;
    };
    // Whole seconds (FAT's two), and nanoseconds from a clock that ticks coarsely.
    const Grain grains[] = {{"whole seconds", {1'700'000'000, 0}, 1900ms, 2100ms},
                            {"fine", {1'700'000'000, 400'000'000}, 40ms, 60ms}};
    for (const Grain& grain : grains) {
        SCOPED_TRACE(grain.name);
        const fs::path dir = m_root / grain.name;
        fs::create_directories(dir);
        touch(dir / "One.wav");
        frozen::g_times = grain.times;
        const auto changed = std::chrono::system_clock::from_time_t(grain.times.tv_sec) +
                             std::chrono::nanoseconds(grain.times.tv_nsec);
        setListingSourcesForTesting({&frozen::now, &frozen::status});

        frozen::g_now = changed + grain.within;
        EXPECT_EQ(resolveFileName("ONE.WAV", dir), dir / "One.wav");
        touch(dir / "Two.wav");  // the directory's times do not move
        EXPECT_EQ(resolveFileName("TWO.WAV", dir), dir / "Two.wav");

        frozen::g_now = changed + grain.after;
        EXPECT_FALSE(resolveFileName("THREE.WAV", dir).has_value());
        touch(dir / "Three.wav");
        EXPECT_FALSE(resolveFileName("THREE.WAV", dir).has_value()) << "a listing past the tick is kept";
        EXPECT_EQ(resolveFileName("Three.wav", dir), dir / "Three.wav") << "exact names need no listing";
        setListingSourcesForTesting({});
    }
}

// The program's own folder, where its modules are loaded from, is never one made from a
// relative name: started as "./vrk3" or through a relative PATH entry, that is whatever folder
// the reader stood in, a story's folder perhaps, with a module of the story's own.
TEST_F(FileNameResolutionTest, ProgramDirectoryIsNeverTakenFromARelativeName) {
    // Installed as lib/tool/tool with the link bin/tool on the search path; a story folder
    // holding a program of the same name.
    const fs::path lib = m_root / "lib" / "tool";
    const fs::path bin = m_root / "bin";
    const fs::path story = m_root / "story";
    touch(lib / "tool");
    fs::permissions(lib / "tool", fs::perms::owner_all);
    fs::create_directories(bin);
    fs::create_symlink("../lib/tool/tool", bin / "tool");
    touch(story / "tool");
    fs::permissions(story / "tool", fs::perms::owner_all);
    touch(m_root / "plain" / "tool");  // on the path, but not executable
    fs::permissions(m_root / "plain" / "tool", fs::perms::owner_read);
    const fs::path before = fs::current_path();
    fs::current_path(story);
    const std::string path = (m_root / "plain").string() + ":" + bin.string();

    // What /proc says is taken as it is.
    EXPECT_EQ(programDirectoryFrom(fs::path("/opt/x/vrk3"), "./tool", path), fs::path("/opt/x/"));
    // Without /proc: an absolute name or a bare one found on the path, followed to the program.
    EXPECT_EQ(programDirectoryFrom(std::nullopt, (bin / "tool").c_str(), ""), lib / "");
    EXPECT_EQ(programDirectoryFrom(std::nullopt, "tool", path), lib / "");
    EXPECT_EQ(programDirectoryFrom(std::nullopt, "tool", ".:" + path), lib / "") << "relative entry";
    EXPECT_EQ(programDirectoryFrom(std::nullopt, "tool", ":" + path), lib / "") << "empty entry";
    // And nothing rather than the folder the reader stands in.
    for (const char* relative : {"./tool", "../story/tool", "story/../../story/tool"}) {
        EXPECT_EQ(programDirectoryFrom(std::nullopt, relative, path), fs::path()) << relative;
    }
    EXPECT_EQ(programDirectoryFrom(std::nullopt, "tool", "."), fs::path());
    EXPECT_EQ(programDirectoryFrom(std::nullopt, "tool", ""), fs::path());
    EXPECT_EQ(programDirectoryFrom(std::nullopt, "missing", path), fs::path());
    EXPECT_EQ(programDirectoryFrom(std::nullopt, (m_root / "missing").c_str(), path), fs::path());
    EXPECT_EQ(programDirectoryFrom(std::nullopt, nullptr, path), fs::path());
    fs::current_path(before);
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
