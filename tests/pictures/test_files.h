#pragma once
// Helpers shared by the pictures tests: the shared corpus, files read into memory, and a
// temporary directory that removes itself.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vrk::pictures::test {

/// The shared corpus folder (VRK_TESTDATA).
std::filesystem::path testData();
/// True when the corpus is there; tests skip with a message otherwise.
bool haveTestData();

std::vector<std::uint8_t> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

/// A fresh empty directory under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

}  // namespace vrk::pictures::test
