#pragma once
// A story project compiled from source text into a directory, as a reader's project folder holds
// it: TALE.VRK and TALE.VRJ, four fresh slots, a sound effect and a program the story can name.
// For the tests that open a project as a front end does (the reading session, the page's host).

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "vrkc/story_compiler.h"

namespace vrk::test_support {

/// The block a project's script ends with: the story's title "試験".
inline std::string alterBlock() {
    std::string block = "*VRKALTER\n";
    for (int i = 0; i < 18; ++i) {
        block += "????\n";
    }
    return block + "試験\n";
}

/// Compiles UTF-8 source (vrkc's format) into dir as the project TALE; fails the test when it
/// does not compile.
inline void writeStoryProject(const std::filesystem::path& dir, const std::string& source) {
    compiler::CompileError error;
    const auto story = compiler::compileStory(source + alterBlock(), false, &error);
    ASSERT_TRUE(story) << error.line << ": " << error.message;
    std::ofstream(dir / "TALE.VRK", std::ios::binary)
        .write(story->script.data(), static_cast<std::streamsize>(story->script.size()));
    std::ofstream(dir / "TALE.VRJ", std::ios::binary)
        .write(story->index.data(), static_cast<std::streamsize>(story->index.size()));
    const auto slot = compiler::initialSlot(*story);
    ASSERT_TRUE(slot);
    for (const char* extension : {".V01", ".V02", ".V03", ".V04"}) {
        std::ofstream(dir / (std::string("TALE") + extension), std::ios::binary) << *slot;
    }
    std::ofstream(dir / "bell.wav", std::ios::binary) << "RIFF";
    std::ofstream(dir / "tool.sh", std::ios::binary) << "#!/bin/sh\n";
}

/// A 2 x 2 picture of one colour, as a 24-bit BMP.
inline void writeBmp(const std::filesystem::path& path, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    std::string bmp = "BM";
    const auto u32 = [&bmp](std::uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            bmp += static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    };
    const auto u16 = [&bmp](std::uint16_t v) {
        bmp += static_cast<char>(v & 0xFF);
        bmp += static_cast<char>(v >> 8);
    };
    u32(70), u32(0), u32(54), u32(40), u32(2), u32(2), u16(1), u16(24), u32(0), u32(16), u32(2835), u32(2835);
    u32(0), u32(0);
    for (int row = 0; row < 2; ++row) {
        for (int x = 0; x < 2; ++x) {
            bmp += static_cast<char>(b);
            bmp += static_cast<char>(g);
            bmp += static_cast<char>(r);
        }
        bmp += std::string(2, '\0');
    }
    std::ofstream(path, std::ios::binary) << bmp;
}

}  // namespace vrk::test_support
