#pragma once
// A story compiled from source text in memory, a recording host and an interpreter,
// with the project and its saves in a temporary directory of their own, so that the
// end of a story writes its slot there and page commands find their files there.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "fake_story_host.h"
#include "interpreter/engine_state.h"
#include "interpreter/page_interpreter.h"
#include "vrkc/story_compiler.h"

namespace vrk::interpreter::test {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vrk-interp-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_path = pattern;
        }
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

class StoryFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(m_dir.path().empty());
        story.locations.projectDir = m_dir.path() / "";
        story.locations.saveDir = m_dir.path() / "";
        story.locations.baseName = "T";
        story.state.names[1] = "Taro";
    }

    /// Compiles UTF-8 source (vrkc's format) and opens it as the story in progress.
    void load(std::string_view source) {
        compiler::CompileError error;
        const auto compiled = compiler::compileStory(source, false, &error);
        ASSERT_TRUE(compiled) << "line " << error.line << ": " << error.message;
        story.labels.loadBytes(compiled->index);
        story.script.openBytes(compiled->script);
    }

    /// Script lines as given, with one label "P" at the first of them.
    void loadLines(const std::vector<std::string>& lines) {
        std::vector<char> script;
        for (const std::string& line : lines) {
            story::appendScriptLine(script, line);
        }
        std::vector<char> index;
        story::appendLabelRecord(index, "P", 0);
        story.labels.loadBytes(index);
        story.script.openBytes(std::move(script));
    }

    /// The page at label, as a choice would reach it.
    void run(const std::string& label) {
        story.state.currentLabel = label;
        story.state.currentOffset = story.labels.findLabel(label);
        interpreter.runPage(story.state.currentOffset);
    }

    /// An empty file in the project directory.
    void touch(const std::string& name) { std::ofstream(m_dir.path() / name) << "x"; }

    std::string projectDir() const { return (m_dir.path() / "").string(); }
    const std::vector<std::string>& pageText() const { return story.page.pageText; }

    TempDir m_dir;
    EngineState story;
    FakeStoryHost host;
    PageInterpreter interpreter{story, host};
};

}  // namespace vrk::interpreter::test
