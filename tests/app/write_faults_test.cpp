// Every file the player writes, under a disk that fills up, a directory that vanishes and
// a process killed between writing and renaming: the previous file stays intact or the new
// one is complete, the story in memory goes on, and the reader is told.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <random>

#include "../support/text_files.h"
#include "app/project_opening.h"
#include "app/settings_file.h"
#include "common/messages.h"
#include "interpreter/null_story_host.h"
#include "story/save_file.h"

namespace vrk::app {
namespace {

namespace fs = std::filesystem;
using interpreter::EngineState;
using interpreter::PageInterpreter;

class TellingHost : public interpreter::NullStoryHost {
public:
    void showNotice(const std::string& notice) override { notices.push_back(notice); }
    bool told() const {
        return std::find(notices.begin(), notices.end(), messages::kUserDataUnwritable) != notices.end();
    }
    std::vector<std::string> notices;
};

using test_support::readText;
using test_support::writeText;

// A project "tale" with pages and a defaults block, its four slots, a quick save and a
// settings file, each holding recognisable previous content.
void writeProject(const fs::path& dir) {
    std::vector<char> script;
    std::vector<char> index;
    story::appendLabelRecord(index, "START", 0);
    for (const char* line : {"page", "?END", "START"}) {
        story::appendScriptLine(script, line);
    }
    story::appendLabelRecord(index, "VRKALTER", static_cast<std::int32_t>(script.size()));
    for (int i = 1; i <= 9; ++i) {
        story::appendScriptLine(script, "????");
        story::appendScriptLine(script, "????");
    }
    story::appendScriptLine(script, "Tale");
    writeText(dir / "tale.VRK", std::string(script.begin(), script.end()));
    writeText(dir / "tale.VRJ", std::string(index.begin(), index.end()));
    story::StoryState previous;
    previous.title = "previous";
    previous.currentLabel = "START";
    for (const char* extension : {".V01", ".V02", ".V03", ".V04", ".VR$"}) {
        writeText(dir / (std::string("tale") + extension), story::formatStateMarked(previous, true));
    }
    writeText(dir / "vrk.ini", "[FONT]\r\nSIZE=11\r\n");
}

const char* const kWrittenFiles[] = {"tale.V01", "tale.V02", "tale.V03", "tale.V04", "tale.VR$", "vrk.ini"};

std::map<std::string, std::string> snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const char* name : kWrittenFiles) {
        files[name] = readText(dir / name);
    }
    return files;
}

// Makes every write the player knows of once, in a project whose files cannot be
// written; returns what went wrong, empty when nothing did. dir must hold writeProject's
// files (for the vanished directory it is gone, and the earlier snapshot is compared).
std::vector<std::string> writeEverythingAndCheck(const fs::path& dir, const fs::path& programDir,
                                                 const std::map<std::string, std::string>& before) {
    std::vector<std::string> faults;
    const auto expect = [&faults](bool ok, const std::string& what) {
        if (!ok) {
            faults.push_back(what);
        }
    };
    EngineState story;
    TellingHost host;
    PageInterpreter interpreter(story, host);
    story.locations.projectDir = dir / "";
    story.locations.saveDir = dir / "";
    story.locations.programDir = programDir / "";
    story.locations.baseName = "tale";

    // The slot, flushed as a story closes.
    std::vector<char> script;
    story::appendScriptLine(script, "page");
    story.script.openBytes(script);
    story.state.title = "progress";
    story.state.setFlag(7, 1);
    interpreter.flushProject();
    expect(host.told(), "slot: the reader was not told");
    expect(story.state.title == "progress" && story.state.flag(7) == 1, "slot: the state in memory changed");

    // The quick save.
    host.notices.clear();
    expect(!quickSave(story, host), "quick save: reported as written");
    expect(host.told(), "quick save: the reader was not told");

    // An initial slot, written by the erase button.
    if (fs::exists(dir)) {
        ProjectOpening opening(story, interpreter, host);
        opening.describeSlot(2);
        opening.eraseSlot();
        const SlotView view = opening.eraseSlot();
        expect(view.commentSjis == messages::kUserDataUnwritable, "initial slot: the reader was not told");
    }

    // The settings.
    Settings settings;
    settings.fontSize = 30;
    const bool vanished = !fs::exists(dir);
    const bool settingsWritten = writeSettings(dir / "vrk.ini", settings);
    if (vanished) {
        // A settings directory that has gone is made again: nothing of the reader's is lost.
        expect(settingsWritten && readSettings(dir / "vrk.ini").fontSize == 30,
               "settings: not written again");
        fs::remove_all(dir);
    } else {
        expect(!settingsWritten, "settings: reported as written");
    }

    for (const auto& [name, content] : before) {
        if (fs::exists(dir)) {
            expect(readText(dir / name) == content, name + ": previous content not intact");
        }
    }
    return faults;
}

// Limits the size of any file this process writes, as a full disk would: writes past the
// limit fail (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_saved);
        m_handler = ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_saved);
        ::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_saved{};
    sighandler_t m_handler;
};

class WriteFaultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("vrk_write_faults_" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "project");
        fs::create_directories(m_root / "program");
        writeProject(m_root / "project");
    }
    void TearDown() override { fs::remove_all(m_root); }

    fs::path m_root;
};

TEST_F(WriteFaultsTest, DiskFullLeavesEveryPreviousFileIntact) {
    const fs::path project = m_root / "project";
    const auto before = snapshot(project);
    std::vector<std::string> faults;
    {
        // Room for a few bytes of each file: every write starts and then fails part-way.
        FileSizeLimit limit(16);
        faults = writeEverythingAndCheck(project, m_root / "program", before);
    }
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
}

TEST_F(WriteFaultsTest, VanishedDirectoryIsReportedAndNothingCrashes) {
    const fs::path project = m_root / "project";
    const auto before = snapshot(project);
    fs::remove_all(project);
    const auto faults = writeEverythingAndCheck(project, m_root / "program", before);
    EXPECT_TRUE(faults.empty()) << ::testing::PrintToString(faults);
}

TEST_F(WriteFaultsTest, SlotCopiesToAFullProgramDirectoryAreReported) {
    // Read-only shipped slots send the saves to the program directory; its write probe makes
    // an empty file, which a full disk still allows, so the copies are what fail.
    const fs::path project = m_root / "project";
    ::chmod((project / "tale.V01").c_str(), 0444);
    EngineState story;
    TellingHost host;
    PageInterpreter interpreter(story, host);
    story.locations.projectDir = project / "";
    story.locations.programDir = m_root / "program" / "";
    story.locations.baseName = "tale";
    ProjectOpening opening(story, interpreter, host);
    {
        FileSizeLimit limit(16);
        opening.chooseSaveDirectory();
    }
    EXPECT_TRUE(host.told());
    // No half-written copy is left for the next opening to take as the reader's slot.
    for (int n = 1; n <= 4; ++n) {
        const fs::path copy = m_root / "program" / ("tale.V0" + std::to_string(n));
        EXPECT_FALSE(fs::exists(copy) && fs::file_size(copy) > 0 &&
                     readText(copy) != readText(project / copy.filename()))
            << copy;
    }
}

TEST_F(WriteFaultsTest, FullTmpfsLeavesEveryPreviousFileIntact) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a real full disk needs root (a private tmpfs in a mount namespace); "
                        "DiskFullLeavesEveryPreviousFileIntact covers the same writes without it";
    }
    const fs::path mountPoint = m_root / "tmpfs";
    fs::create_directories(mountPoint);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child's own mount namespace: the tmpfs disappears with it.
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
            ::_exit(77);
        }
        const fs::path project = mountPoint / "project";
        fs::create_directories(project);
        fs::create_directories(mountPoint / "program");
        writeProject(project);
        const auto before = snapshot(project);
        {
            // Fill the disk to its last byte.
            std::ofstream filler(mountPoint / "filler", std::ios::binary);
            const std::string block(512, 'x');
            while (filler.write(block.data(), static_cast<std::streamsize>(block.size()))) {
            }
        }
        const auto faults = writeEverythingAndCheck(project, mountPoint / "program", before);
        for (const std::string& fault : faults) {
            std::fprintf(stderr, "%s\n", fault.c_str());
        }
        ::_exit(faults.empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 77) {
        GTEST_SKIP() << "no mount namespace here (unshare or mount refused)";
    }
    EXPECT_EQ(WEXITSTATUS(status), 0) << "see the faults printed above";
}

// Kills a process that writes versions 0 and 1 of the file in turn, at random moments, many
// times; after each kill the file must be exactly one of versions (those two and the file as
// it was), never a mix or a stump.
void killWhileWriting(const fs::path& path, const std::vector<std::string>& versions,
                      const std::function<void(int)>& writeVersion, int kills) {
    std::mt19937 random(9);
    std::uniform_int_distribution<int> delayMicros(0, 3000);
    for (int k = 0; k < kills; ++k) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // The child must never return into the test runner.
            try {
                for (int n = 0;; n = 1 - n) {
                    writeVersion(n);
                }
            } catch (...) {
            }
            ::_exit(3);
        }
        ::usleep(static_cast<useconds_t>(delayMicros(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const std::string now = readText(path);
        ASSERT_NE(std::find(versions.begin(), versions.end(), now), versions.end())
            << "after kill " << k << " the file holds " << now.size() << " bytes of no version";
    }
}

TEST_F(WriteFaultsTest, KilledWhileWritingASlotLeavesAWholeSlot) {
    const fs::path slot = m_root / "project" / "tale.V01";
    std::vector<story::StoryState> states(2);
    states[0].title = "first";
    states[1].title = std::string(200, 'L');
    // Each save replaces the one before, so each must read as a save of the story.
    states[0].currentLabel = states[1].currentLabel = "VRKSTART";
    states[1].background = "sbig.bmp";
    std::vector<std::string> versions;
    for (const auto& state : states) {
        versions.push_back(story::formatStateMarked(state, true));
    }
    versions.push_back(readText(slot));
    killWhileWriting(
        slot, versions,
        [&](int n) { story::writeState(slot, states[static_cast<std::size_t>(n)], story::LabelIndex{}); },
        150);
}

TEST_F(WriteFaultsTest, KilledWhileWritingSettingsLeavesWholeSettings) {
    const fs::path ini = m_root / "project" / "vrk.ini";
    std::vector<Settings> settings(2);
    settings[1].fontSize = 40;
    settings[1].fontNameSjis = std::string(100, 'F');
    std::vector<std::string> versions{readText(ini)};
    for (const Settings& s : settings) {
        ProfileFile file = ProfileFile::parse(readText(ini));
        settingsToProfile(s, file);
        versions.push_back(file.format());
    }
    killWhileWriting(
        ini, versions, [&](int n) { writeSettings(ini, settings[static_cast<std::size_t>(n)]); }, 150);
}

}  // namespace
}  // namespace vrk::app
