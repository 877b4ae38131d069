// The one bounded reader every file a story names goes through.

#include "common/file_reading.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/errors.h"

namespace vrk {
namespace {

namespace fs = std::filesystem;

class FileReadingTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() / ("vrk_file_reading_" + std::to_string(::getpid()));
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    fs::path m_dir;
};

// At most the cap, whatever the file's size says or becomes.
TEST_F(FileReadingTest, TheReaderNeverReturnsMoreThanItsCap) {
    const fs::path path = m_dir / "counted";
    std::ofstream(path, std::ios::binary) << "0123456789";
    for (const std::size_t cap : {std::size_t{0}, std::size_t{1}, std::size_t{9}}) {
        SCOPED_TRACE(cap);
        const std::vector<char> cut = readRegularFile(path, "File", cap, OverLimit::Truncate);
        EXPECT_EQ(std::string(cut.begin(), cut.end()), std::string("0123456789").substr(0, cap));
        EXPECT_THROW(readRegularFile(path, "File", cap, OverLimit::Refuse), Error);
        EXPECT_FALSE(tryReadRegularFile(path, cap, OverLimit::Refuse).has_value());
    }
    for (const std::size_t cap : {std::size_t{10}, std::size_t{11}, std::size_t{1} << 20}) {
        SCOPED_TRACE(cap);
        for (const OverLimit overLimit : {OverLimit::Truncate, OverLimit::Refuse}) {
            const std::vector<char> whole = readRegularFile(path, "File", cap, overLimit);
            EXPECT_EQ(std::string(whole.begin(), whole.end()), "0123456789");
        }
    }
    // A sparse file far over the cap costs the cap, not its size.
    const fs::path huge = m_dir / "huge";
    std::ofstream{huge};
    ASSERT_EQ(::truncate(huge.c_str(), off_t{1} << 32), 0);
    EXPECT_EQ(readRegularFile(huge, "File", 4096, OverLimit::Truncate).size(), 4096u);
    // Without following links, a link is no file at all.
    fs::create_symlink("counted", m_dir / "link");
    EXPECT_EQ(tryReadRegularFile(m_dir / "link", 64, OverLimit::Refuse)->size(), 10u);
    EXPECT_FALSE(tryReadRegularFile(m_dir / "link", 64, OverLimit::Refuse, FollowLinks::No).has_value());
}

}  // namespace
}  // namespace vrk
