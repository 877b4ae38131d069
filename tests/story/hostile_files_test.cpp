// Project files that are not what they claim: directories, FIFOs, devices, files whose read
// fails, and files far larger than anything the player can use. Every reader must end in the
// player's own I/O error, promptly, without taking more memory than the file can be used for.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "common/errors.h"
#include "story/save_file.h"
#include "story/script.h"

namespace vrk::story {
namespace {

namespace fs = std::filesystem;

long residentKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) {
            return std::stol(line.substr(std::string(field).size()));
        }
    }
    return -1;
}

class HostileFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("vrk_hostile_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // A file of the given size that takes no disk space: reads give zeros.
    fs::path sparseFile(const std::string& name, off_t size) {
        const fs::path path = m_dir / name;
        std::ofstream{path};
        EXPECT_EQ(::truncate(path.c_str(), size), 0);
        return path;
    }

    /// Every reader of a project file, on one path.
    static std::vector<std::pair<std::string, std::function<void(const fs::path&)>>> readers() {
        return {
            {"script", [](const fs::path& p) { ScriptReader().open(p); }},
            {"index", [](const fs::path& p) { LabelIndex().load(p); }},
            {"slot",
             [](const fs::path& p) {
                 StoryState state;
                 readState(p, LabelIndex(), state);
             }},
            {"slot head", [](const fs::path& p) { describeSlotFile(p); }},
        };
    }

    void expectIoErrorFromEveryReader(const fs::path& path) {
        for (const auto& [what, read] : readers()) {
            SCOPED_TRACE(what + " " + path.string());
            try {
                read(path);
                ADD_FAILURE() << "read without an error";
            } catch (const Error& error) {
                EXPECT_EQ(error.kind(), Error::Kind::Io);
                EXPECT_NE(error.messageSjis().find(path.string()), std::string::npos) << error.what();
            }
            // Anything else (the standard library's own exceptions) escapes and fails the test.
        }
    }

    fs::path m_dir;
};

TEST_F(HostileFilesTest, NotARegularFileIsAnIoError) {
    fs::create_directory(m_dir / "dir.VRK");
    expectIoErrorFromEveryReader(m_dir / "dir.VRK");
    // A FIFO with no writer: opening it must not wait for one.
    ASSERT_EQ(::mkfifo((m_dir / "fifo.VRJ").c_str(), 0600), 0);
    expectIoErrorFromEveryReader(m_dir / "fifo.VRJ");
    // A link to an endless device.
    fs::create_symlink("/dev/zero", m_dir / "zero.VRK");
    expectIoErrorFromEveryReader(m_dir / "zero.VRK");
    expectIoErrorFromEveryReader(m_dir / "missing.V01");
}

TEST_F(HostileFilesTest, AFailingReadIsAnIoError) {
    // A regular file whose first read fails with EIO: the memory at address 0 is never mapped.
    struct stat info {};
    if (::stat("/proc/self/mem", &info) != 0 || !S_ISREG(info.st_mode)) {
        GTEST_SKIP() << "/proc/self/mem is not there to fail a read";
    }
    expectIoErrorFromEveryReader("/proc/self/mem");
}

TEST_F(HostileFilesTest, ScriptSizeIsCapped) {
    const fs::path atCap = sparseFile("cap.VRK", static_cast<off_t>(kMaxScriptBytes));
    ScriptReader reader;
    reader.open(atCap);
    EXPECT_EQ(reader.size(), kMaxScriptBytes);
    reader.close();
    const fs::path over = sparseFile("over.VRK", static_cast<off_t>(kMaxScriptBytes) + 1);
    try {
        reader.open(over);
        FAIL() << "a script over the cap was read";
    } catch (const Error& error) {
        EXPECT_NE(std::string(error.what()).find("larger than"), std::string::npos) << error.what();
    }
    EXPECT_FALSE(reader.isOpen());
}

TEST_F(HostileFilesTest, HugeIndexReadsOnlyTheUsableRecords) {
    // 1 GiB of zero records: only the first 8002 (104 026 bytes) can ever be used.
    const fs::path huge = sparseFile("huge.VRJ", off_t{1} << 30);
    // The kernel's high-water mark, reset to the current level, shows the peak of the load.
    const bool measured = static_cast<bool>(std::ofstream("/proc/self/clear_refs") << "5" << std::flush);
    const long before = residentKiB("VmRSS:");
    LabelIndex index;
    index.load(huge);
    if (measured) {
        EXPECT_LT(residentKiB("VmHWM:") - before, 16 * 1024) << "KiB at the peak of the load";
    }
    EXPECT_EQ(index.count(), LabelIndex::kMaxRecords);
    // A partial record within the usable part still fails after the whole ones.
    const fs::path partial = sparseFile("partial.VRJ", 13 * 3 + 5);
    EXPECT_THROW(index.load(partial), Error);
    EXPECT_EQ(index.count(), 3u);
}

}  // namespace
}  // namespace vrk::story
