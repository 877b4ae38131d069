#include <gtest/gtest.h>
#include <unistd.h>

#include <sstream>

#include "../support/text_files.h"
#include "app/terminal_front_end.h"
#include "story/save_file.h"
#include "story/script.h"

namespace vrk::app {
namespace {

namespace fs = std::filesystem;

// A story whose every text reaching the report holds terminal controls and line breaks: the
// page's lines, a choice caption, a name prompt, an outside program and a faulty line.
class TerminalReportTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("vrk_report_test_" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "program");
        ::setenv("XDG_DATA_HOME", (m_root / "data").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(m_root); }

    void writeProject(const fs::path& dir, const std::string& base) {
        fs::create_directories(dir);
        std::vector<char> script;
        std::vector<char> index;
        story::appendLabelRecord(index, "START", 0);
        for (const char* line :
             {"!001", "plain", "title \x1b]0;pwned\x07 set",
              "clip \x1b]52;c;aWQK\x1b\\ board\n@end\n@exec /usr/bin/id\n@choices 9", "cr\rover\x7f \x1b[2J",
              ">EXE=run\x1b[2J.sh\n@end", "?", "pick\n@end", "NEXT", "?", "other \x1b[31m", "NEXT", "?END"}) {
            story::appendScriptLine(script, line);
        }
        story::appendLabelRecord(index, "NEXT", static_cast<std::int32_t>(script.size()));
        for (const char* line : {"%\x1b]0;x\x07\n@end", "/"}) {
            story::appendScriptLine(script, line);
        }
        story::appendLabelRecord(index, "VRKALTER", static_cast<std::int32_t>(script.size()));
        story::appendScriptLine(script, "who\n@end\x1b[2J");
        story::appendScriptLine(script, "Taro");
        for (int i = 2; i <= 9; ++i) {
            story::appendScriptLine(script, "????");
            story::appendScriptLine(script, "????");
        }
        story::appendScriptLine(script, "Tale");
        test_support::writeText(dir / (base + ".VRK"), std::string(script.begin(), script.end()));
        test_support::writeText(dir / (base + ".VRJ"), std::string(index.begin(), index.end()));
        // The program must exist to be named in the report; it is never started.
        test_support::writeText(dir / "run\x1b[2J.sh\n@end", "#!/bin/sh\n");
        story::StoryState defaults;
        defaults.title = "Tale";
        defaults.namePrompts[1] = "who\x1b]0;x\x07";
        defaults.names[1] = "Taro";
        for (int i = 2; i <= 9; ++i) {
            defaults.namePrompts[static_cast<std::size_t>(i)] = "????";
            defaults.names[static_cast<std::size_t>(i)] = "????";
        }
        for (int n = 1; n <= 4; ++n) {
            test_support::writeText(dir / (base + ".V0" + std::to_string(n)),
                                    story::initialSlotContent(defaults));
        }
    }

    int play(const fs::path& projectFile, const std::string& input, std::string& out, std::string& err) {
        TerminalOptions options;
        options.projectFile = projectFile.string();
        options.programDir = m_root / "program" / "";
        std::istringstream in(input);
        std::ostringstream outStream;
        std::ostringstream errStream;
        const int status = TerminalFrontEnd(options, in, outStream, errStream).run();
        out = outStream.str();
        err = errStream.str();
        return status;
    }

    fs::path m_root;
};

bool holdsControls(const std::string& text) {
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7F) {
            return true;
        }
    }
    return false;
}

TEST_F(TerminalReportTest, ControlsAndLineBreaksOfTheStoryAreShownEscaped) {
    writeProject(m_root / "tale", "tale");
    std::string out;
    std::string err;
    ASSERT_EQ(play(m_root / "tale" / "tale", "\na\n:quit\n", out, err), 0) << err;
    EXPECT_FALSE(holdsControls(out)) << out;
    EXPECT_FALSE(holdsControls(err)) << err;
    // One line of the report for each page line: nothing forged.
    EXPECT_EQ(out,
              "@name who\\x1b]0;x\\x07\n"
              "@exec run\\x1b[2J.sh\\n@end\n"
              "@page START\n"
              "| plain\n"
              "| title \\x1b]0;pwned\\x07 set\n"
              "| clip \\x1b]52;c;aWQK\\x1b\\ board\\n@end\\n@exec /usr/bin/id\\n@choices 9\n"
              "| cr\\rover\\x7f \\x1b[2J\n"
              "|  \n"
              "|  A: pick\\n@end\n"
              "|  B: other \\x1b[31m\n"
              "@choices 2\n"
              "@error '\\x1b' is not a valid integer value\n"
              "@page NEXT\n"
              "@choices 2\n")
        << out;
}

TEST_F(TerminalReportTest, AProjectFileNameWithControlsIsShownEscaped) {
    std::string out;
    std::string err;
    EXPECT_EQ(play(m_root / "no\x1b]0;x\x07such", "", out, err), 1);
    EXPECT_FALSE(holdsControls(err)) << err;
    EXPECT_NE(err.find("no\\x1b]0;x\\x07such"), std::string::npos) << err;
}

}  // namespace
}  // namespace vrk::app
