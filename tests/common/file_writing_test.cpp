#include "common/file_writing.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "../support/child_process.h"
#include "../support/text_files.h"

namespace vrk {
namespace {

namespace fs = std::filesystem;

using test_support::readText;
using test_support::writeText;

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info.st_mode & 07777;
}

void backdate(const fs::path& path, int seconds) {
    const timespec times[2] = {{::time(nullptr) - seconds, 0}, {::time(nullptr) - seconds, 0}};
    ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

class FileWritingTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("vrk_writing_test_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        fs::permissions(m_dir, fs::perms::all & ~fs::perms::group_write & ~fs::perms::others_write);
    }
    void TearDown() override {
        fs::permissions(m_dir, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(m_dir);
    }

    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_dir;
};

TEST_F(FileWritingTest, ReplacesTheWholeFileAndKeepsItsMode) {
    const fs::path slot = m_dir / "tale.V01";
    writeText(slot, "an older and much longer save\r\n");
    ::chmod(slot.c_str(), 0640);
    ASSERT_TRUE(replaceFile(slot, "new\r\n"));
    EXPECT_EQ(readText(slot), "new\r\n");
    EXPECT_EQ(modeOf(slot), 0640u);
    ASSERT_TRUE(replaceFile(m_dir / "tale.V02", "fresh"));
    EXPECT_EQ(readText(m_dir / "tale.V02"), "fresh");
    EXPECT_EQ(entries(), (std::vector<std::string>{"tale.V01", "tale.V02"}));  // no temporaries left
}

TEST_F(FileWritingTest, AnUpdateSeesTheFileAndMayRefuse) {
    const fs::path slot = m_dir / "tale.V01";
    writeText(slot, "same\r\n");
    struct stat before {};
    ASSERT_EQ(::stat(slot.c_str(), &before), 0);
    const auto toBytes = [](std::string bytes) {
        return [bytes](std::optional<std::string_view>) { return std::optional<std::string>(bytes); };
    };
    ASSERT_TRUE(updateFile(slot, 64, toBytes("same\r\n")));
    struct stat after {};
    ASSERT_EQ(::stat(slot.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);  // a replacement is a new file under the name
    // A longer, shorter or different content, or no file at all, is written.
    for (const std::string bytes : {"same\r\nmore", "sam", "diff\r\n"}) {
        ASSERT_TRUE(updateFile(slot, 64, toBytes(bytes)));
        EXPECT_EQ(readText(slot), bytes);
    }
    ASSERT_TRUE(updateFile(m_dir / "tale.V02", 64, toBytes("fresh")));
    EXPECT_EQ(readText(m_dir / "tale.V02"), "fresh");

    // The update is handed what the file holds, or nothing; refusing leaves the file as it was.
    std::vector<std::optional<std::string>> seen;
    const auto refuse = [&seen](std::optional<std::string_view> existing) {
        seen.emplace_back(existing ? std::optional<std::string>(*existing) : std::nullopt);
        return std::optional<std::string>();
    };
    EXPECT_FALSE(updateFile(slot, 64, refuse));
    EXPECT_FALSE(updateFile(m_dir / "tale.V03", 64, refuse));
    EXPECT_EQ(seen, (std::vector<std::optional<std::string>>{"diff\r\n", std::nullopt}));
    EXPECT_EQ(readText(slot), "diff\r\n");
    // A file longer than the update may read is not the kind it replaces.
    EXPECT_FALSE(updateFile(slot, 3, toBytes("x")));
    EXPECT_EQ(readText(slot), "diff\r\n");
    EXPECT_EQ(entries(), (std::vector<std::string>{"tale.V01", "tale.V02"}));
}

TEST_F(FileWritingTest, FileWithoutWriteBitsStaysAsItWas) {
    // Even an administrator, who could write it, leaves it: the project ships it read-only.
    const fs::path slot = m_dir / "tale.V03";
    writeText(slot, "shipped");
    ::chmod(slot.c_str(), 0444);
    EXPECT_FALSE(fileIsWritable(slot));
    EXPECT_FALSE(replaceFile(slot, "changed"));
    EXPECT_EQ(readText(slot), "shipped");
    EXPECT_EQ(modeOf(slot), 0444u);
    EXPECT_EQ(entries(), (std::vector<std::string>{"tale.V03"}));
    // Neither a directory nor a FIFO is ever replaced by a file.
    fs::create_directory(m_dir / "tale.V04");
    ::mkfifo((m_dir / "tale.VR$").c_str(), 0644);
    EXPECT_FALSE(replaceFile(m_dir / "tale.V04", "x"));
    EXPECT_FALSE(replaceFile(m_dir / "tale.VR$", "x"));
    EXPECT_TRUE(fs::is_directory(m_dir / "tale.V04"));
    EXPECT_TRUE(fs::is_fifo(m_dir / "tale.VR$"));
}

TEST_F(FileWritingTest, DirectoryThatTakesNoNewFilesGetsAnInPlaceWrite) {
    const fs::path slot = m_dir / "tale.V01";
    writeText(slot, "an older and longer save");
    const bool root = ::geteuid() == 0;
    if (root) {
        // The reader may write the slot but not the directory, which stays root's.
        ASSERT_EQ(::chown(slot.c_str(), testing::kNobody, testing::kNobody), 0);
    }
    ::chmod(m_dir.c_str(), 0555);
    const auto prepare = [root] { return !root || testing::becomeNobody(); };
    EXPECT_EQ(testing::runInChild(prepare,
                                  [&] {
                                      const bool written = replaceFile(slot, "new save");
                                      const bool created = replaceFile(m_dir / "tale.V02", "x");
                                      return written && !created ? 0 : 1;
                                  }),
              0);
    EXPECT_EQ(readText(slot), "new save");
    EXPECT_EQ(entries(), (std::vector<std::string>{"tale.V01"}));
}

TEST_F(FileWritingTest, ImmutableDirectoryGetsAnInPlaceWrite) {
    const fs::path slot = m_dir / "tale.V01";
    writeText(slot, "old save");
    if (::geteuid() != 0 || std::system(("chattr +i '" + m_dir.string() + "' 2>/dev/null").c_str()) != 0) {
        GTEST_SKIP() << "making a directory immutable needs root and chattr on a file system that has it";
    }
    const bool written = replaceFile(slot, "new save");
    const bool created = replaceFile(m_dir / "tale.V02", "x");
    [[maybe_unused]] const int undone = std::system(("chattr -i '" + m_dir.string() + "'").c_str());
    EXPECT_TRUE(written);
    EXPECT_FALSE(created);
    EXPECT_EQ(readText(slot), "new save");
}

// Every link in a folder the reader unpacked is her own, and any of them may point at her
// shell's start-up file: no write goes through one, whoever made it, nor replaces it.
TEST_F(FileWritingTest, NoLinkIsEverWrittenThroughOrReplaced) {
    const fs::path home = m_dir / "home";
    fs::create_directory(home);
    writeText(home / ".bashrc", "precious");
    const fs::path story = m_dir / "story";
    fs::create_directory(story);
    fs::create_symlink("../home/.bashrc", story / "EVIL.VR$");
    fs::create_symlink(home / ".bashrc", story / "EVIL.V02");
    fs::create_symlink("../home/absent", story / "EVIL.V03");
    // A loop, and a chain longer than the system follows: the write fails at once, never hangs.
    fs::create_symlink("EVIL.V04", story / "EVIL.V01");
    fs::create_symlink("EVIL.V01", story / "EVIL.V04");
    fs::create_symlink("../home/.bashrc", story / "chain0");
    for (int n = 1; n <= 50; ++n) {
        fs::create_symlink("chain" + std::to_string(n - 1), story / ("chain" + std::to_string(n)));
    }
    const auto write = [](std::optional<std::string_view>) { return std::optional<std::string>("save"); };
    for (const char* name : {"EVIL.VR$", "EVIL.V02", "EVIL.V03", "EVIL.V01", "chain1", "chain50"}) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(fileIsWritable(story / name));
        EXPECT_FALSE(replaceFile(story / name, "echo STORY-CODE-RAN;#"));
        EXPECT_FALSE(updateFile(story / name, 64, write));
        EXPECT_TRUE(fs::is_symlink(story / name));
    }
    EXPECT_EQ(readText(home / ".bashrc"), "precious");
    EXPECT_FALSE(fs::exists(home / "absent"));
    EXPECT_EQ(std::distance(fs::directory_iterator(home), fs::directory_iterator()), 1);

    if (::geteuid() != 0) {
        GTEST_SKIP() << "a link owned by another user needs root to make (lchown)";
    }
    // Nor one that the owner of a shared story folder made.
    ASSERT_EQ(::lchown((story / "EVIL.V02").c_str(), testing::kNobody, testing::kNobody), 0);
    ASSERT_EQ(::chown(story.c_str(), testing::kNobody, testing::kNobody), 0);
    EXPECT_FALSE(replaceFile(story / "EVIL.V02", "save"));
    EXPECT_EQ(readText(home / ".bashrc"), "precious");
}

// A save rewritten in place (the folder takes no new files) must be the file that was looked at,
// with no second name: a hard link's other name would change with it.
TEST_F(FileWritingTest, InPlaceWriteNeverChangesASecondName) {
    const fs::path slot = m_dir / "tale.V01";
    writeText(m_dir / "notes.txt", "precious");
    ASSERT_EQ(::link((m_dir / "notes.txt").c_str(), slot.c_str()), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(slot.c_str(), testing::kNobody, testing::kNobody), 0);
    }
    ::chmod(m_dir.c_str(), 0555);
    const auto prepare = [root] { return !root || testing::becomeNobody(); };
    EXPECT_EQ(testing::runInChild(prepare, [&] { return replaceFile(slot, "a save") ? 1 : 0; }), 0);
    ::chmod(m_dir.c_str(), 0755);
    EXPECT_EQ(readText(m_dir / "notes.txt"), "precious");
}

// A write that fails half-way (a full disk) leaves the previous file and nothing beside it.
TEST_F(FileWritingTest, FailedWriteLeavesNoTemporaryBehind) {
    const fs::path slot = m_dir / "tale.V01";
    writeText(slot, "the previous save");
    const int result = testing::runInChild(
        [] {
            // The file size limit makes the write fail with EFBIG, as a full disk fails it.
            ::signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{4096, 4096};
            return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
        },
        [&] {
            const bool replaced = replaceFile(slot, std::string(1 << 20, 'x'));
            const bool updated = updateFile(slot, 64, [](std::optional<std::string_view>) {
                return std::optional<std::string>(std::string(1 << 20, 'y'));
            });
            return replaced || updated ? 1 : 0;
        });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(readText(slot), "the previous save");
    EXPECT_EQ(entries(), (std::vector<std::string>{"tale.V01"}));
}

TEST_F(FileWritingTest, DirectoryProbeLeavesNothingBehind) {
    EXPECT_TRUE(directoryTakesNewFiles(m_dir));
    EXPECT_TRUE(entries().empty());
    EXPECT_FALSE(directoryTakesNewFiles(m_dir / "missing"));
    if (::geteuid() == 0) {
        GTEST_SKIP() << "root writes into a folder without write bits";
    }
    ::chmod(m_dir.c_str(), 0555);
    EXPECT_FALSE(directoryTakesNewFiles(m_dir));
    ::chmod(m_dir.c_str(), 0755);
}

TEST_F(FileWritingTest, StaleTemporariesOfOurOwnAreRemoved) {
    const std::vector<std::string> stale = {".tale.V01.vrk3tmp-Ab3dEf9h", "tale.V02.tmp4711",
                                            "TALE.vr$.tmp1"};
    const std::vector<std::string> kept = {".tale.V03.vrk3tmp-young123", "notes.tmp5", "tale.V01",
                                           ".tale.V01.vrk3tmp-short"};
    for (const auto& name : stale) {
        writeText(m_dir / name, "half a save");
        backdate(m_dir / name, 120);
    }
    for (const auto& name : kept) {
        writeText(m_dir / name, "x");
        backdate(m_dir / name, name.find("young") != std::string::npos ? 5 : 120);
    }
    fs::create_symlink("tale.V01", m_dir / ".tale.V04.vrk3tmp-linklink");
    backdate(m_dir / ".tale.V04.vrk3tmp-linklink", 120);
    EXPECT_EQ(removeStaleTemporaries(m_dir), 3);
    for (const auto& name : stale) {
        EXPECT_FALSE(fs::exists(m_dir / name)) << name;
    }
    for (const auto& name : kept) {
        EXPECT_TRUE(fs::exists(m_dir / name)) << name;
    }
    EXPECT_TRUE(fs::is_symlink(m_dir / ".tale.V04.vrk3tmp-linklink"));
}

}  // namespace
}  // namespace vrk
