#pragma once
// Whole files as byte strings, for tests that write a project by hand and read back what
// the player wrote.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace vrk::test_support {

/// The file's bytes; empty when it cannot be read.
inline std::string readText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Replaces the file with these bytes.
inline void writeText(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace vrk::test_support
