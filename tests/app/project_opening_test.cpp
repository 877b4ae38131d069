#include "app/project_opening.h"
#include "app/settings_file.h"
#include "app/terminal_front_end.h"
#include "app/user_folders.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "../support/child_process.h"
#include "../support/text_files.h"
#include "common/errors.h"
#include "common/messages.h"
#include "interpreter/null_story_host.h"
#include "story/save_file.h"

namespace vrk::app {
namespace {

namespace fs = std::filesystem;
using interpreter::EngineState;
using interpreter::PageInterpreter;

// Records only what these tests look at; every effect is otherwise a no-op.
class QuietHost : public interpreter::NullStoryHost {
public:
    bool loadPicture(const std::string& name) override {
        pictures.push_back(name);
        return true;
    }
    void showNotice(const std::string& notice) override { notices.push_back(notice); }
    void reportError(const std::string& message) override { errors.push_back(message); }

    std::vector<std::string> pictures;
    std::vector<std::string> notices;
    std::vector<std::string> errors;
};

using test_support::readText;
using test_support::writeText;

class ProjectOpeningTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = fs::temp_directory_path() / ("vrk_open_test_" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        m_project = m_root / "project";
        m_program = m_root / "program";
        fs::create_directories(m_project);
        fs::create_directories(m_program);
        ::setenv("XDG_DATA_HOME", (m_root / "data").c_str(), 1);
        writeProject();
        m_story.locations.programDir = m_program / "";
        m_story.locations.projectDir = m_project / "";
        m_story.locations.baseName = "tale";
    }
    void TearDown() override { fs::remove_all(m_root); }

    // Pages START and P2, then the defaults block: prompt 1 asked, prompt 2 empty (still
    // asked), the rest "????".
    void writeProject() {
        std::vector<char> script;
        std::vector<char> index;
        story::appendLabelRecord(index, "START", 0);
        for (const char* line : {"!001", "first page %1", "?", "go", "P2", "?END"}) {
            story::appendScriptLine(script, line);
        }
        story::appendLabelRecord(index, "P2", static_cast<std::int32_t>(script.size()));
        for (const char* line : {"second page", "?END", "START"}) {
            story::appendScriptLine(script, line);
        }
        story::appendLabelRecord(index, "VRKALTER", static_cast<std::int32_t>(script.size()));
        story::appendScriptLine(script, "hero");
        story::appendScriptLine(script, "Taro");
        story::appendScriptLine(script, "");
        story::appendScriptLine(script, "Hanako");
        for (int i = 3; i <= 9; ++i) {
            story::appendScriptLine(script, "????");
            story::appendScriptLine(script, "????");
        }
        story::appendScriptLine(script, "Tale");
        writeText(m_project / "tale.VRK", std::string(script.begin(), script.end()));
        writeText(m_project / "tale.VRJ", std::string(index.begin(), index.end()));
        story::StoryState defaults;
        defaults.title = "Tale";
        defaults.namePrompts[1] = "hero";
        defaults.names[1] = "Taro";
        defaults.names[2] = "Hanako";
        for (int i = 3; i <= 9; ++i) {
            defaults.namePrompts[static_cast<std::size_t>(i)] = "????";
            defaults.names[static_cast<std::size_t>(i)] = "????";
        }
        for (int n = 1; n <= 4; ++n) {
            writeText(m_project / ("tale.V0" + std::to_string(n)), story::initialSlotContent(defaults));
        }
    }

    void openFresh(ProjectOpening& opening, int slot) {
        opening.chooseSaveDirectory();
        opening.describeSlot(slot);
        opening.loadSlot();
        for (int i : opening.namesToAsk()) {
            opening.setName(i, "N" + std::to_string(i));
        }
        opening.start();
    }

    // In a child process: opens slot 1 fresh, reads on to P2 and closes; then opens again
    // and expects to go on at P2 from saves in expectedSaveDir. 0 when all went so.
    int playThenReopen(const fs::path& expectedSaveDir) {
        for (int round = 0; round < 2; ++round) {
            EngineState story;
            story.locations = m_story.locations;
            QuietHost host;
            PageInterpreter interpreter{story, host};
            ProjectOpening opening(story, interpreter, host);
            opening.chooseSaveDirectory();
            if (story.locations.saveDir != expectedSaveDir) {
                return 10 + round;
            }
            const bool fresh = opening.describeSlot(1).fresh;
            if (fresh != (round == 0)) {
                return 20 + round;
            }
            opening.loadSlot();
            for (int i : opening.namesToAsk()) {
                opening.setName(i, "N");
            }
            opening.start();
            if (round == 1) {
                return story.state.currentLabel == "P2" ? 0 : 30;
            }
            if (!interpreter.selectChoice(1)) {
                return 40;
            }
            interpreter.flushProject();
            if (!host.notices.empty()) {
                return 50;
            }
        }
        return 60;
    }

    // Where the copies of this project's saves go below base.
    fs::path copiesIn(const fs::path& base) const {
        return projectSaveFolder(base, m_project / "tale.VRK", "tale");
    }

    fs::path m_root;
    fs::path m_project;
    fs::path m_program;
    EngineState m_story;
    QuietHost m_host;
    PageInterpreter m_interpreter{m_story, m_host};
};

TEST_F(ProjectOpeningTest, WritableProjectKeepsItsSavesAtHome) {
    // What an interrupted save left behind goes when the project opens.
    const fs::path leftOver = m_project / ".tale.V02.vrk3tmp-Zq81xLp0";
    writeText(leftOver, "half a save");
    const timespec old[2] = {{::time(nullptr) - 600, 0}, {::time(nullptr) - 600, 0}};
    ::utimensat(AT_FDCWD, leftOver.c_str(), old, 0);
    ProjectOpening opening(m_story, m_interpreter, m_host);
    opening.chooseSaveDirectory();
    EXPECT_EQ(m_story.locations.saveDir, m_project / "");
    EXPECT_TRUE(fs::is_empty(m_program));
    EXPECT_FALSE(fs::exists(leftOver));
}

TEST_F(ProjectOpeningTest, ReadOnlyProjectCopiesItsSlotsOnce) {
    fs::permissions(m_project / "tale.V01", fs::perms::owner_read | fs::perms::group_read);
    // A slot in mid-story keeps its resume marker through the copy.
    std::string started = readText(m_project / "tale.V02");
    started.replace(started.find("VRKSTART"), 8, "P2");
    started.replace(started.rfind("0\r\n16\r\n"), 1, "1");
    writeText(m_project / "tale.V02", started);

    ProjectOpening opening(m_story, m_interpreter, m_host);
    opening.chooseSaveDirectory();
    const fs::path copies = copiesIn(m_program);
    EXPECT_EQ(m_story.locations.saveDir, copies);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_TRUE(fs::exists(copies / ("tale.V0" + std::to_string(n))));
    }
    EXPECT_EQ(readText(copies / "tale.V02"), started);
    // The write probe leaves nothing in the program's folder but the copies' own.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_program), fs::directory_iterator()), 1);

    // A second opening finds the copies and leaves the reader's saves alone.
    writeText(copies / "tale.V03", "mine\r\n");
    opening.chooseSaveDirectory();
    EXPECT_EQ(readText(copies / "tale.V03"), "mine\r\n");
}

TEST_F(ProjectOpeningTest, ProjectOnAReadOnlyMountSavesBesideTheProgram) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a read-only bind mount in a private mount namespace needs root";
    }
    const fs::path project = m_project;
    const int result = testing::runInChild([project] { return testing::mountReadOnly(project); },
                                           [this] { return playThenReopen(copiesIn(m_program)); });
    if (result == testing::kChildCannotStart) {
        GTEST_SKIP() << "this system refuses a private mount namespace (unshare -m)";
    }
    EXPECT_EQ(result, 0);
    EXPECT_NE(readText(copiesIn(m_program) / "tale.V01").find("\r\nP2\r\n"), std::string::npos);
    EXPECT_NE(readText(m_project / "tale.V01").find("\r\nVRKSTART\r\n"), std::string::npos);
}

TEST_F(ProjectOpeningTest, ProjectOfAnotherUserSavesInTheReadersDataDirectory) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "playing a root-owned project as the user nobody needs root";
    }
    // Installed by root with the usual modes: the slots have write bits, yet only root may
    // write them, and the program's directory is root's too.
    fs::create_directories(m_root / "data");
    ASSERT_EQ(::chown((m_root / "data").c_str(), testing::kNobody, testing::kNobody), 0);
    const fs::path copies = copiesIn(m_root / "data" / "vrk3");
    const int result = testing::runInChild(testing::becomeNobody, [&] { return playThenReopen(copies); });
    ASSERT_NE(result, testing::kChildCannotStart) << "cannot become the user nobody";
    EXPECT_EQ(result, 0);
    EXPECT_NE(readText(copies / "tale.V01").find("\r\nP2\r\n"), std::string::npos);
    EXPECT_TRUE(fs::is_empty(m_program));
    // The reader's data folder is hers alone.
    struct stat info {};
    ASSERT_EQ(::stat((m_root / "data" / "vrk3").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(ProjectOpeningTest, UnwritableProgramDirectoryFallsBackToUserData) {
    fs::remove(m_project / "tale.V01");
    fs::remove(m_project / "tale.V02");
    m_story.locations.programDir = m_root / "no" / "such" / "dir" / "";
    ProjectOpening opening(m_story, m_interpreter, m_host);
    // The project lacks its first slot and nothing was copied before: the opening fails.
    EXPECT_THROW(opening.chooseSaveDirectory(), Error);
    EXPECT_EQ(m_story.locations.saveDir, m_project / "");

    writeText(m_project / "tale.V01", readText(m_project / "tale.V03"));
    fs::permissions(m_project / "tale.V01", fs::perms::owner_read);
    writeText(m_project / "tale.V02", readText(m_project / "tale.V03"));
    opening.chooseSaveDirectory();
    EXPECT_EQ(m_story.locations.saveDir, copiesIn(m_root / "data" / "vrk3"));
    EXPECT_TRUE(fs::exists(copiesIn(m_root / "data" / "vrk3") / "tale.V04"));
}

// A story archive the reader unpacked in ~/Downloads: every link in it is hers, and its title
// is a shell command. Playing it and saving must change nothing outside the story's saves.
TEST_F(ProjectOpeningTest, SlotFilesThatLinkOutOfTheStoryAreNeverWritten) {
    const fs::path home = m_root / "home";
    fs::create_directories(home);
    writeText(home / ".bashrc", "# the reader's own\n");
    writeText(home / "notes.txt", "precious notes\n");
    fs::create_symlink("../home/.bashrc", m_project / "tale.VR$");
    fs::remove(m_project / "tale.V02");
    fs::create_symlink("../home/notes.txt", m_project / "tale.V02");
    // A second name of the notes (a hard link) is a regular file, but no save of this story.
    fs::remove(m_project / "tale.V03");
    ASSERT_EQ(::link((home / "notes.txt").c_str(), (m_project / "tale.V03").c_str()), 0);

    ProjectOpening opening(m_story, m_interpreter, m_host);
    openFresh(opening, 1);
    m_story.state.title = "echo STORY-CODE-RAN-AS-$(id -u) > /tmp/x;#";
    EXPECT_FALSE(quickSave(m_story, m_host));
    EXPECT_EQ(m_host.notices, (std::vector<std::string>{std::string(messages::kUserDataUnwritable)}));
    m_interpreter.flushProject();
    for (const int slot : {2, 3}) {
        SCOPED_TRACE(slot);
        opening.describeSlot(slot);
        opening.eraseSlot();
        EXPECT_EQ(opening.eraseSlot().commentSjis, messages::kUserDataUnwritable);
        m_story.locations.slotExtension = ".V0" + std::to_string(slot);
        m_story.script.open(m_project / "tale.VRK");
        m_interpreter.flushProject();
    }
    EXPECT_EQ(readText(home / ".bashrc"), "# the reader's own\n");
    EXPECT_EQ(readText(home / "notes.txt"), "precious notes\n");
    EXPECT_TRUE(fs::is_symlink(m_project / "tale.VR$"));
    EXPECT_TRUE(fs::is_symlink(m_project / "tale.V02"));
    EXPECT_EQ(fs::hard_link_count(home / "notes.txt"), 2u);
    // The story's own first slot is its save as ever.
    EXPECT_NE(readText(m_project / "tale.V01").find("echo STORY-CODE-RAN"), std::string::npos);
}

// A first slot that is a link (a story cannot ask to be saved elsewhere) sends the saves to the
// reader's own copies, as a read-only slot does.
TEST_F(ProjectOpeningTest, AFirstSlotThatIsALinkIsNeverSavedThrough) {
    fs::create_directories(m_root / "elsewhere");
    fs::rename(m_project / "tale.V01", m_root / "elsewhere" / "tale.V01");
    fs::create_symlink("../elsewhere/tale.V01", m_project / "tale.V01");
    const std::string shipped = readText(m_root / "elsewhere" / "tale.V01");
    ProjectOpening opening(m_story, m_interpreter, m_host);
    openFresh(opening, 1);
    EXPECT_EQ(m_story.locations.saveDir, copiesIn(m_program));
    ASSERT_TRUE(m_interpreter.selectChoice(1));
    m_interpreter.flushProject();
    EXPECT_EQ(readText(m_root / "elsewhere" / "tale.V01"), shipped);
    EXPECT_NE(readText(copiesIn(m_program) / "tale.V01").find("\r\nP2\r\n"), std::string::npos);
}

// Two read-only stories of one base name, in two folders: neither resumes nor marks the other's.
TEST_F(ProjectOpeningTest, TwoStoriesOfOneNameKeepTheirSavesApart) {
    const fs::path other = m_root / "other";
    fs::create_directories(other);
    for (const char* name : {"tale.VRK", "tale.VRJ", "tale.V01", "tale.V02", "tale.V03", "tale.V04"}) {
        fs::copy_file(m_project / name, other / name);
    }
    for (const fs::path& dir : {m_project, other}) {
        fs::permissions(dir / "tale.V01", fs::perms::owner_read);
    }
    {
        ProjectOpening opening(m_story, m_interpreter, m_host);
        openFresh(opening, 1);
        ASSERT_TRUE(m_interpreter.selectChoice(1));
        m_interpreter.flushProject();
    }
    EngineState second;
    second.locations = m_story.locations;
    second.locations.projectDir = other / "";
    QuietHost host;
    PageInterpreter interpreter{second, host};
    ProjectOpening opening(second, interpreter, host);
    opening.chooseSaveDirectory();
    EXPECT_NE(second.locations.saveDir, m_story.locations.saveDir);
    EXPECT_TRUE(opening.describeSlot(1).fresh);
}

// Copies an earlier release kept under the base name alone are carried over to the story they
// match, and left to any other story of that name.
TEST_F(ProjectOpeningTest, EarlierCopiesGoOnOnlyForTheStoryTheyMatch) {
    fs::permissions(m_project / "tale.V01", fs::perms::owner_read);
    story::StoryState resumed;
    resumed.title = "Tale";
    resumed.currentLabel = "P2";
    for (int n = 1; n <= 4; ++n) {
        writeText(m_program / ("tale.V0" + std::to_string(n)), story::formatStateMarked(resumed, false));
    }
    writeText(m_program / "tale.VRR", "START\r\n");
    {
        ProjectOpening opening(m_story, m_interpreter, m_host);
        opening.chooseSaveDirectory();
        EXPECT_EQ(readText(copiesIn(m_program) / "tale.V03"), story::formatStateMarked(resumed, false));
        EXPECT_EQ(readText(copiesIn(m_program) / "tale.VRR"), "START\r\n");
        EXPECT_FALSE(opening.describeSlot(1).fresh);
    }
    // Another story of the name, whose labels and title the old copies do not know.
    fs::remove_all(copiesIn(m_program));
    story::StoryState foreign = resumed;
    foreign.title = "Another tale";
    foreign.currentLabel = "ELSEWHERE";
    writeText(m_program / "tale.V01", story::formatStateMarked(foreign, false));
    ProjectOpening opening(m_story, m_interpreter, m_host);
    opening.chooseSaveDirectory();
    EXPECT_TRUE(opening.describeSlot(1).fresh);
    EXPECT_FALSE(fs::exists(copiesIn(m_program) / "tale.VRR"));
}

// Installed, the player keeps nothing in its own folder, whoever runs it (root included).
TEST_F(ProjectOpeningTest, AnInstalledProgramKeepsNothingInItsFolder) {
    const fs::path lib = m_root / "usr" / "lib" / "vrk3";
    fs::create_directories(lib);
    fs::create_directories(m_root / "usr" / "bin");
    writeText(lib / "vrk3", "the program");
    fs::create_symlink("../lib/vrk3/vrk3", m_root / "usr" / "bin" / "vrk3");
    EXPECT_FALSE(keepsFilesBesideProgram(lib / ""));
    EXPECT_TRUE(keepsFilesBesideProgram(m_program / ""));
    ::setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
    EXPECT_EQ(settingsFilePath(lib / ""), m_root / "config" / "vrk3" / "vrk.ini");
    EXPECT_EQ(settingsFilePath(m_program / ""), m_program / "vrk.ini");
    ::unsetenv("XDG_CONFIG_HOME");

    fs::permissions(m_project / "tale.V01", fs::perms::owner_read);
    m_story.locations.programDir = lib / "";
    ProjectOpening opening(m_story, m_interpreter, m_host);
    openFresh(opening, 1);
    m_interpreter.flushProject();
    EXPECT_EQ(m_story.locations.saveDir, copiesIn(m_root / "data" / "vrk3"));
    EXPECT_EQ(std::distance(fs::directory_iterator(lib), fs::directory_iterator()), 1);
}

// Without a home folder there is no private place for saves: never a shared one such as /tmp.
TEST_F(ProjectOpeningTest, NoHomeFolderMeansNoSavesRatherThanSharedOnes) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "a user without a password entry needs root to become";
    }
    fs::permissions(m_project / "tale.V01", fs::perms::owner_read);
    fs::permissions(m_root, fs::perms::all);
    const int result = testing::runInChild(
        [] {
            ::unsetenv("HOME");
            ::unsetenv("XDG_DATA_HOME");
            ::unsetenv("XDG_CONFIG_HOME");
            // A user the password database does not know.
            return ::setgroups(0, nullptr) == 0 && ::setgid(54321) == 0 && ::setuid(54321) == 0;
        },
        [this] {
            if (!userDataDirectory().empty() || !settingsFilePath(m_root / "no-such-program" / "").empty()) {
                return 1;
            }
            EngineState story;
            story.locations = m_story.locations;
            story.locations.programDir = m_root / "no-such-program" / "";
            QuietHost host;
            PageInterpreter interpreter{story, host};
            ProjectOpening opening(story, interpreter, host);
            try {
                opening.chooseSaveDirectory();
                return 2;
            } catch (const Error& error) {
                return error.messageSjis().find("HOME") != std::string::npos ? 0 : 3;
            }
        });
    ASSERT_NE(result, testing::kChildCannotStart);
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fs::exists(fs::temp_directory_path() / "vrk3" / "tale.V01"));
}

TEST_F(ProjectOpeningTest, EraseAsksOnceThenInitialises) {
    ProjectOpening opening(m_story, m_interpreter, m_host);
    opening.chooseSaveDirectory();
    writeText(m_project / "tale.V02", "Old\r\nP2\r\nhero\r\nJiro\r\n");
    EXPECT_EQ(opening.describeSlot(2).commentSjis, "hero:Jiro");

    EXPECT_EQ(opening.eraseSlot().commentSjis, messages::kEraseConfirm);
    EXPECT_EQ(readText(m_project / "tale.V02"), "Old\r\nP2\r\nhero\r\nJiro\r\n");
    opening.describeSlot(2);  // choosing a slot disarms the button
    EXPECT_FALSE(opening.eraseArmed());
    opening.eraseSlot();
    const SlotView view = opening.eraseSlot();
    EXPECT_EQ(view.commentSjis, messages::kUnusedSlot);
    EXPECT_TRUE(view.fresh);
    EXPECT_FALSE(opening.eraseArmed());
    EXPECT_EQ(readText(m_project / "tale.V02"), readText(m_project / "tale.V03"));
}

TEST_F(ProjectOpeningTest, FreshSlotAsksNamesAndStartsAtRecordOne) {
    ProjectOpening opening(m_story, m_interpreter, m_host);
    opening.chooseSaveDirectory();
    EXPECT_TRUE(opening.describeSlot(1).fresh);
    opening.loadSlot();
    EXPECT_EQ(opening.namesToAsk(), (std::vector<int>{1, 2}));
    EXPECT_EQ(opening.namePromptSjis(2), messages::kEnterName);
    EXPECT_FALSE(opening.setName(1, ""));
    EXPECT_TRUE(opening.setName(1, std::string(20, 'x')));
    EXPECT_EQ(m_story.state.names[1], std::string(16, 'x'));
    opening.start();
    EXPECT_TRUE(m_story.scriptOpen());
    EXPECT_EQ(m_story.state.currentLabel, "START");
    EXPECT_EQ(m_story.page.pageText.front(), "first page " + std::string(16, 'x'));
    EXPECT_EQ(m_story.state.flag(1), 1);
    EXPECT_EQ(opening.windowCaptionSjis(), "Tale (VRK3)");
}

TEST_F(ProjectOpeningTest, ResumedSlotLoadsItsBackgroundByNameAlone) {
    for (const char* entry : {"tback.bmp", "sback.bmp"}) {
        SCOPED_TRACE(entry);
        story::StoryState saved;
        saved.title = "Tale";
        saved.currentLabel = "P2";
        saved.background = entry;
        writeText(m_project / "tale.V02", story::formatStateMarked(saved, false));
        m_host.pictures.clear();
        ProjectOpening opening(m_story, m_interpreter, m_host);
        opening.chooseSaveDirectory();
        opening.describeSlot(2);
        opening.loadSlot();
        opening.start();
        EXPECT_EQ(m_host.pictures, (std::vector<std::string>{"back.bmp"}));
        EXPECT_EQ(m_story.page.pageText.front(), "second page");
        m_interpreter.flushProject();
    }
}

TEST_F(ProjectOpeningTest, QuickLoadGoesOnInTheCurrentSlot) {
    ProjectOpening opening(m_story, m_interpreter, m_host);
    openFresh(opening, 3);
    ASSERT_TRUE(quickSave(m_story, m_host));
    EXPECT_TRUE(quickSaveExists(m_story));
    const std::string quick = readText(m_project / "tale.VR$");
    ASSERT_TRUE(m_interpreter.selectChoice(1));
    EXPECT_EQ(m_story.state.currentLabel, "P2");

    quickLoad(m_story, m_interpreter, m_host);
    EXPECT_EQ(m_story.state.currentLabel, "START");
    EXPECT_EQ(m_story.locations.slotExtension, ".V03");
    // The page the quick load ran is in the slot at once; the quick save stays as it was.
    EXPECT_NE(readText(m_project / "tale.V03").find("\r\nSTART\r\n"), std::string::npos);
    m_interpreter.flushProject();
    EXPECT_EQ(readText(m_project / "tale.VR$"), quick);
    EXPECT_NE(readText(m_project / "tale.V03").find("\r\nSTART\r\n"), std::string::npos);
}

TEST_F(ProjectOpeningTest, FreshSlotWithEmptyIndexIsRefused) {
    writeText(m_project / "tale.VRJ", "");
    ProjectOpening opening(m_story, m_interpreter, m_host);
    opening.chooseSaveDirectory();
    opening.describeSlot(1);
    opening.loadSlot();
    EXPECT_THROW(opening.start(), Error);
    EXPECT_FALSE(m_story.scriptOpen());
}

TEST_F(ProjectOpeningTest, CommandLineNamesTheProjectByAnyOfItsFiles) {
    for (const char* argument : {"tale", "tale.vrk", "tale.VRJ", "tale.V02", "tale.part2.vrk"}) {
        SCOPED_TRACE(argument);
        const auto name = projectFromArgument((m_project / argument).string());
        ASSERT_TRUE(name.has_value());
        EXPECT_EQ(name->baseName, "tale");
        EXPECT_EQ(name->projectDir, m_project / "");
    }
    EXPECT_FALSE(projectFromArgument((m_project / "other.vrk").string()).has_value());
    EXPECT_FALSE(projectFromArgument("").has_value());
}

TEST_F(ProjectOpeningTest, HostileProjectFilesEndTheTerminalOpeningWithAnError) {
    const auto play = [this](const std::string& input, std::string& out, std::string& err) {
        TerminalOptions options;
        options.projectFile = (m_project / "tale").string();
        options.programDir = m_program / "";
        std::istringstream in(input);
        std::ostringstream outStream;
        std::ostringstream errStream;
        const int status = TerminalFrontEnd(options, in, outStream, errStream).run();
        out = outStream.str();
        err = errStream.str();
        return status;
    };
    // A directory or a FIFO (which must not be waited on) in place of each file read to open.
    for (const char* file : {"tale.VRK", "tale.VRJ", "tale.V01"}) {
        for (bool fifo : {false, true}) {
            SCOPED_TRACE(std::string(file) + (fifo ? " as a FIFO" : " as a directory"));
            writeProject();
            fs::remove(m_project / file);
            if (fifo) {
                ASSERT_EQ(::mkfifo((m_project / file).c_str(), 0600), 0);
            } else {
                fs::create_directory(m_project / file);
            }
            std::string out;
            std::string err;
            EXPECT_EQ(play("", out, err), 1);
            EXPECT_NE(err.find(file), std::string::npos) << err;
            fs::remove(m_project / file);
        }
    }
    // Mid-play, a quick save that cannot be read ends the quick load with the error report
    // (the story was flushed and closed first, as every quick load does).
    writeProject();
    fs::create_directory(m_project / "tale.VR$");
    std::string out;
    std::string err;
    EXPECT_EQ(play("N\nM\n:load\n\n:quit\n", out, err), 0);  // the two names first
    EXPECT_NE(out.find("@error Save file is not a regular file"), std::string::npos) << out;
}

}  // namespace
}  // namespace vrk::app
