#pragma once
// runPage, the heart of the player: from a label's offset it applies the head's
// state lines, follows "@NOWAIT" jumps, collects the page's text (carrying out the
// ">" commands among it through the host), and ends at the page's choices or at
// the end of the story.
//
// A choice, a key or a quick load lands here with a new offset; the host then
// presents the page (layout, reveal, buttons).

#include <cstdint>
#include <string>

#include "interpreter/engine_state.h"
#include "interpreter/story_host.h"

namespace vrk::interpreter {

/// Told of every page run, for what keeps track of the reading (history, read marks).
class PageObserver {
public:
    virtual ~PageObserver() = default;
    /// A run is about to start from offset; the story state is as the run will find it.
    virtual void pageRunStarting(std::int32_t offset) = 0;
    /// The run ended with its page on show; labelSjis is the page's own label (after "@NOWAIT"
    /// hops). Called once the run no longer counts as running, so the observer may start another.
    virtual void pageShown(const std::string& labelSjis) = 0;
};

class PageInterpreter {
public:
    /// More "@NOWAIT" hops than this in one run are taken as an endless cycle.
    static constexpr int kMaxJumpsPerRun = 100000;

    PageInterpreter(EngineState& story, StoryHost& host) : m_story(story), m_host(host) {}

    /// Runs the page at offset. Throws vrk::Error (I/O or conversion) and leaves what was
    /// done before the failure in place; the busy cursor is restored either way.
    void runPage(std::int32_t offset);
    /// runPage with the failure shown by the host's general error report. False when the
    /// run failed or was held back because a run is already in progress.
    bool runPageReporting(std::int32_t offset);
    /// The choice of slot k (1-6) of the page on show: its target becomes the current label,
    /// a sound not carried on stops, and the next page runs. Held back (false) while a run is
    /// in progress, when no story is in progress or when k is not a slot of the page.
    bool selectChoice(int slot);
    /// Goes to labelSjis at offset as a choice leading there does: it becomes the current
    /// label, a sound not carried on stops, and its page runs (runPageReporting).
    bool goToLabel(const std::string& labelSjis, std::int32_t offset);
    /// Reads a target: conditional alternatives, then the default label line.
    std::string readTarget();
    /// Closes the script and writes the state to the current slot when a story is in
    /// progress; then choiceCount becomes 1 (the single button opens the project).
    void flushProject();
    /// Writes the story to its slot as flushProject would, leaving the script open; nothing
    /// when no story is in progress. Every completed page run ends with it.
    void saveProgress();

    bool isRunning() const { return m_running; }
    /// The observer told of each run from now on; nullptr for none. Not owned.
    void setObserver(PageObserver* observer) { m_observer = observer; }
    /// Command-line expansion of "%P%": the project directory as the script sees it.
    std::string projectDirSjis() const;

private:
    void runPageInner(std::int32_t offset);
    void runHead(std::int32_t& offset);
    void collectBody();
    void collectChoices();
    void endStory();
    /// The state to the current slot; false when it cannot be written.
    bool writeSlot() const;
    void readLine();
    bool lineIs(std::string_view text) const { return m_story.currentLine == text; }
    char firstChar() const { return m_story.currentLine.empty() ? '\0' : m_story.currentLine[0]; }
    void appendJumpError();
    /// The busy cursor, shown to the host only when it changes.
    void showBusy(bool busy);

    // Page commands (">" lines).
    void dispatchCommand();
    void playSoundCommand(bool music);
    void backgroundCommand(char style);
    void programCommand(std::size_t start);
    bool fileExists(const std::string& nameSjis) const;

    EngineState& m_story;
    StoryHost& m_host;
    PageObserver* m_observer = nullptr;
    std::string m_shownLabel;  // set once a run has its page on show
    bool m_pageShown = false;
    bool m_running = false;
    bool m_busy = false;
};

}  // namespace vrk::interpreter
