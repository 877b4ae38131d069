#include "common/file_writing.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

TEST_F(FileWritingTest, AFileThatAlreadyHoldsTheBytesIsNotReplaced) {
    const fs::path slot = m_dir / "tale.V01";
    writeText(slot, "same\r\n");
    struct stat before {};
    ASSERT_EQ(::stat(slot.c_str(), &before), 0);
    ASSERT_TRUE(replaceFileUnlessSame(slot, "same\r\n"));
    struct stat after {};
    ASSERT_EQ(::stat(slot.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);  // a replacement is a new file under the name
    // A longer, shorter or different content, or no file at all, is written.
    for (const std::string bytes : {"same\r\nmore", "sam", "diff\r\n"}) {
        ASSERT_TRUE(replaceFileUnlessSame(slot, bytes));
        EXPECT_EQ(readText(slot), bytes);
    }
    ASSERT_TRUE(replaceFileUnlessSame(m_dir / "tale.V02", "fresh"));
    EXPECT_EQ(readText(m_dir / "tale.V02"), "fresh");
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

TEST_F(FileWritingTest, OwnLinksAreFollowedOthersAreReplaced) {
    const fs::path elsewhere = m_dir / "other disk";
    fs::create_directory(elsewhere);
    writeText(elsewhere / "kept.V01", "old");
    fs::create_symlink(elsewhere / "kept.V01", m_dir / "tale.V01");
    ASSERT_TRUE(replaceFile(m_dir / "tale.V01", "saved through the link"));
    EXPECT_TRUE(fs::is_symlink(m_dir / "tale.V01"));
    EXPECT_EQ(readText(elsewhere / "kept.V01"), "saved through the link");
    // A dangling link of one's own makes its target.
    fs::create_symlink("other disk/new.V02", m_dir / "tale.V02");
    ASSERT_TRUE(replaceFile(m_dir / "tale.V02", "made"));
    EXPECT_EQ(readText(elsewhere / "new.V02"), "made");

    if (::geteuid() != 0) {
        GTEST_SKIP() << "a link owned by another user needs root to make (lchown)";
    }
    // A link another user planted in a directory that is not theirs is not written through.
    writeText(elsewhere / "victim", "precious");
    fs::create_symlink(elsewhere / "victim", m_dir / "vrk.ini");
    ASSERT_EQ(::lchown((m_dir / "vrk.ini").c_str(), testing::kNobody, testing::kNobody), 0);
    ASSERT_TRUE(replaceFile(m_dir / "vrk.ini", "[settings]\r\n"));
    EXPECT_EQ(readText(elsewhere / "victim"), "precious");
    EXPECT_FALSE(fs::is_symlink(m_dir / "vrk.ini"));
    EXPECT_EQ(readText(m_dir / "vrk.ini"), "[settings]\r\n");
}

TEST_F(FileWritingTest, EmptyFileIsNeverMadeThroughALink) {
    writeText(m_dir / "victim", "precious");
    fs::create_symlink(m_dir / "victim", m_dir / "$$VRKTMP.$$$");
    fs::create_symlink(m_dir / "absent", m_dir / "dangling");
    EXPECT_FALSE(createEmptyFile(m_dir / "$$VRKTMP.$$$"));
    EXPECT_FALSE(createEmptyFile(m_dir / "dangling"));
    EXPECT_EQ(readText(m_dir / "victim"), "precious");
    EXPECT_FALSE(fs::exists(m_dir / "absent"));
    writeText(m_dir / "probe", "left over");
    EXPECT_TRUE(createEmptyFile(m_dir / "probe"));
    EXPECT_EQ(fs::file_size(m_dir / "probe"), 0u);
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
