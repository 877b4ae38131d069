#include "programs/outside_programs.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "programs/program_permissions.h"

namespace vrk::programs {
namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;

TEST(SplitCommandLineTest, WindowsRuntimeRules) {
    struct Case {
        const char* line;
        Words words;
    };
    const Case cases[] = {
        {"prog.exe a b", {"prog.exe", "a", "b"}},
        {"  prog \t a\t\tb  ", {"prog", "a", "b"}},
        {"", {}},
        {" \t ", {}},
        {"\"C:\\Program Files\\x.exe\" \"a b\" c", {"C:\\Program Files\\x.exe", "a b", "c"}},
        // In the program name a quote toggles anywhere and backslashes are plain.
        {"p\\\"x y\" z", {"p\\x y", "z"}},
        {"p a\\\\\\\"b", {"p", "a\\\"b"}},    // 2n+1 backslashes: n and a literal quote
        {"p a\\\\\"b c\"", {"p", "a\\b c"}},  // 2n backslashes: n and a grouping quote
        {"p a\\b\\\\c\\", {"p", "a\\b\\\\c\\"}},
        {"p \"a\"\"b\" c", {"p", "a\"b", "c"}},  // "" inside a group is a quote
        {"p \"\" x", {"p", "", "x"}},
        {"p \"open group", {"p", "open group"}},
        {"p a\"b c\"d e", {"p", "ab cd", "e"}},
        // 表 ends in 0x5C, which is not a backslash there: the quote after it groups.
        {"p \x95\x5C\"a b\"",
         {"p",
          "\x95\x5C"
          "a b"}},
        {"\x95\x5C.exe \x83\x5C", {"\x95\x5C.exe", "\x83\x5C"}},  // 表.exe ソ
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(splitCommandLine(c.line), c.words);
    }
}

class LaunchProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        // In the build tree rather than /tmp, which may be mounted without exec rights.
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::path(VRK_BINARY_DIR) / "tests" / "sound" / (std::string("launch_") + test->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        // Writes the arguments one per line, then renames, so a reader never sees half a file.
        std::ofstream(m_dir / "record.sh") << "#!/bin/sh\n"
                                              "cd \"$(dirname \"$0\")\"\n"
                                              "printf '%s\\n' \"$@\" > args.part && mv args.part args.txt\n";
        fs::permissions(m_dir / "record.sh", fs::perms::owner_all);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string waitForArguments() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            std::ifstream in(m_dir / "args.txt");
            if (in) {
                std::stringstream text;
                text << in.rdbuf();
                return text.str();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return "(no arguments file)";
    }

    fs::path m_dir;
};

TEST_F(LaunchProgramTest, StartsTheProgramWithItsArgumentsInUtf8) {
    // RECORD.SH: the story's letter case; 表 in Shift-JIS arrives as UTF-8.
    ASSERT_TRUE(launchProgram("RECORD.SH \"two words\" \x95\x5C plain", m_dir));
    EXPECT_EQ(waitForArguments(), "two words\n\xE8\xA1\xA8\nplain\n");
    // Detached: nothing is left for the player to reap.
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST_F(LaunchProgramTest, ProgramOutputStaysOutOfOurStandardOutput) {
    // The terminal player's standard output is its transcript: a program must not forge lines.
    std::ofstream(m_dir / "speak.sh") << "#!/bin/sh\n"
                                         "cd \"$(dirname \"$0\")\"\n"
                                         "echo '@page FORGED'\n"
                                         "printf '%s\\n' \"$@\" > args.part && mv args.part args.txt\n";
    fs::permissions(m_dir / "speak.sh", fs::perms::owner_all);
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = ::dup(STDOUT_FILENO);
    const int savedErr = ::dup(STDERR_FILENO);
    const int outFile = ::open((m_dir / "out.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int errFile = ::open((m_dir / "err.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_TRUE(savedOut >= 0 && savedErr >= 0 && outFile >= 0 && errFile >= 0);
    ::dup2(outFile, STDOUT_FILENO);
    ::dup2(errFile, STDERR_FILENO);
    const bool started = launchProgram("speak.sh x", m_dir);
    ::dup2(savedOut, STDOUT_FILENO);
    ::dup2(savedErr, STDERR_FILENO);
    for (int fd : {savedOut, savedErr, outFile, errFile}) {
        ::close(fd);
    }
    ASSERT_TRUE(started);
    EXPECT_EQ(waitForArguments(), "x\n");  // written after the echo
    const auto contents = [](const fs::path& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    };
    EXPECT_EQ(contents(m_dir / "out.txt"), "");
    EXPECT_EQ(contents(m_dir / "err.txt"), "@page FORGED\n");
}

TEST_F(LaunchProgramTest, FailuresAreReportedNotStarted) {
    std::ofstream(m_dir / "plain.txt") << "not a program";
    const char* lines[] = {"", "   ", "missing.exe a", "plain.txt"};
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(launchProgram(line, m_dir));
    }
    EXPECT_FALSE(fs::exists(m_dir / "args.txt"));
}

TEST(ProgramPermissionsTest, AnswersAreRememberedPerProjectAndCommandLine) {
    ProgramPermissions permissions;
    int questions = 0;
    auto answering = [&](ProgramAnswer answer) {
        return [&questions, answer] {
            ++questions;
            return answer;
        };
    };
    struct Step {
        const char* project;
        const char* line;
        ProgramAnswer answer;
        bool asked;
        bool starts;
    };
    const Step steps[] = {
        {"P", "a.exe", ProgramAnswer::AllowOnce, true, true},
        {"P", "a.exe", ProgramAnswer::AllowForProject, true, true},  // once means ask again
        {"P", "a.exe", ProgramAnswer::Refuse, false, true},          // remembered now
        {"P", "a.exe x", ProgramAnswer::Refuse, true, false},        // another command line
        {"P", "a.exe x", ProgramAnswer::AllowOnce, false, false},
        {"Q", "a.exe", ProgramAnswer::Refuse, true, false},  // another project
        {"P", "A.EXE", ProgramAnswer::AllowOnce, true, true},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.project) + " " + step.line);
        const int before = questions;
        EXPECT_EQ(permissions.mayStart(step.project, step.line, answering(step.answer)), step.starts);
        EXPECT_EQ(questions - before, step.asked ? 1 : 0);
    }
    permissions.forgetProject("P");
    EXPECT_EQ(permissions.verdict("P", "a.exe"), ProgramVerdict::Ask);
    EXPECT_EQ(permissions.verdict("Q", "a.exe"), ProgramVerdict::Refused);
    EXPECT_FALSE(permissions.mayStart("R", "b.exe", nullptr)) << "with nobody to ask, refuse";
}

}  // namespace
}  // namespace vrk::programs
