#pragma once
// Opening a project: choosing where its saves live, describing and initialising
// slots, loading the picked slot, asking names for a fresh one, and starting the
// story; plus reopen, quick save and quick load. The picker and the name box are
// the front end's (the window's dialog, or the terminal's --slot and prompts);
// everything they decide on is here, so both front ends behave alike.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "interpreter/engine_state.h"
#include "interpreter/page_interpreter.h"

namespace vrk::app {

/// The picker's view of one slot file.
struct SlotView {
    std::string captionSjis;  ///< the slot's title line
    std::string commentSjis;  ///< "未使用ファイルです。", "使用中です。" or "prompt:name"
    bool fresh = false;       ///< the slot has never been played (label "VRKSTART")
};

/// The opening in progress; one per open command.
class ProjectOpening {
public:
    ProjectOpening(interpreter::EngineState& story, interpreter::PageInterpreter& interpreter,
                   interpreter::StoryHost& host)
        : m_story(story), m_interpreter(interpreter), m_host(host) {}

    /// Step 1: picks saveDir: the project's directory when its first slot can be written there;
    /// else the project's own folder (projectSaveFolder) in a portable program directory, or in
    /// the user's data directory, into which the four slots are copied when it lacks them (from
    /// earlier copies of this story kept under the base name alone, if any match it). Throws
    /// the I/O error when a slot to copy cannot be read or there is no folder for saves.
    void chooseSaveDirectory();

    /// Makes slot n (1-4) current and describes it. Throws the I/O error when its file cannot
    /// be read (slotExtension already names it then).
    SlotView describeSlot(int slot);
    /// The erase button: the first press arms and returns the confirmation comment; the second
    /// press on the same slot writes the initial content and describes the slot again. On a
    /// failed write the comment is "ユーザーデータ書込み不能" and the button stays armed.
    SlotView eraseSlot();
    bool eraseArmed() const { return m_eraseArmed; }

    /// Step 5: loads the label index and the picked slot. Throws the I/O error.
    void loadSlot();
    /// Names to ask after loadSlot (fresh slots only): indexes 1-9 whose prompt is not "????".
    std::vector<int> namesToAsk() const;
    /// The question shown for name i: its prompt followed by "を入力して下さい".
    std::string namePromptSjis(int i) const;
    /// Takes an entered name (cut to 16 bytes); false for an empty one, which is refused.
    bool setName(int i, const std::string& nameSjis);
    /// Steps 6.4-11: start position for a fresh slot, background picture, script, quick-load
    /// availability, and the first page run (its failure goes to the host's error report).
    /// Throws the I/O error when the script cannot be opened or a fresh slot has no start.
    void start();

    bool freshSlot() const { return m_fresh; }
    /// The caption after opening: title + " (VRK3)".
    std::string windowCaptionSjis() const;

private:
    void readDefaultsBlock();

    interpreter::EngineState& m_story;
    interpreter::PageInterpreter& m_interpreter;
    interpreter::StoryHost& m_host;
    SlotView m_view;
    bool m_fresh = false;
    bool m_eraseArmed = false;
    int m_slot = 1;
};

/// Whether a quick save exists for the project (the quick-load item is enabled after opening).
bool quickSaveExists(const interpreter::EngineState& story);
/// The quick-save item: writes the state to the quick-save file; false (and the notice
/// "ユーザーデータ書込み不能" through the host) when it cannot be written.
bool quickSave(interpreter::EngineState& story, interpreter::StoryHost& host);
/// The quick-load item: flush, read the quick save in place of the slot, reopen the script and run the page.
/// Throws the I/O error when the files cannot be read.
void quickLoad(interpreter::EngineState& story, interpreter::PageInterpreter& interpreter,
               interpreter::StoryHost& host);

/// The project named by a command-line argument: the argument made absolute, its file name
/// cut before the first "."; known when stem + ".vrk" exists (any letter case).
struct ProjectName {
    std::filesystem::path projectDir;
    std::string baseName;
};
std::optional<ProjectName> projectFromArgument(const std::string& argument);

/// Runs one step of opening or reading; an error it throws (the player's own, or a file-system
/// failure outside its checks, in Shift-JIS) goes to report instead, and the result is false.
bool runReporting(const std::function<void()>& step, const std::function<void(const std::string&)>& report);

}  // namespace vrk::app
