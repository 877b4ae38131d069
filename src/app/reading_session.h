#pragma once
// One reading of a story as a front end shows it, free of Qt and of any clock: the story and its
// interpreter, the opening steps, the page's layout, reveal and scrolling, the choice buttons,
// the background and the picture window, quick save and load, and the reader's comforts (the
// history behind the backlog and going back, read marks and skipping, auto-advance).
//
//   host --commands (keys, buttons, clicks, scrolling, toggles)--> ReadingSession
//   host timer (55 ms) --> tick(): the hold after a run, then the reveal, pauses and comforts
//   host <-- takeChanges(): what to draw again and what to tell; queries say what is on show
//
// Nothing here blocks: a wait inside a page run (the pause after a sound effect starts) is
// kept as ticks the session holds back its reveal and the reader's input for, after the run has
// returned. The host draws: the page's text image is the layout's, uncovered by the rectangles
// the changes name, over the background and the picture window of screen().

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "app/menu_model.h"
#include "app/pad_mapping.h"
#include "app/project_opening.h"
#include "app/reader_map.h"
#include "app/reading_history.h"
#include "interpreter/engine_state.h"
#include "interpreter/page_interpreter.h"
#include "interpreter/story_host.h"
#include "pictures/bitmap.h"
#include "presentation/glyph_metrics.h"
#include "presentation/reveal.h"
#include "presentation/text_layout.h"
#include "sound/posted_tasks.h"
#include "sound/sound_backend.h"

namespace vrk::sound {
class SoundChannel;
}

namespace vrk::app {

/// Measures text in the page's font at a scale (device pixels per pixel of the page).
using ScaledMeasurer = std::function<std::unique_ptr<presentation::TextMeasurer>(double scale)>;

/// Scroll commands of the keys PageUp, PageDown, Up, Down, Home and End.
enum class ScrollKey { PageUp = 1, PageDown, Up, Down, Home, End };

/// What changed since the host last took the changes: what to draw again and what to tell.
struct SessionChanges {
    /// The whole page is drawn again: the background, then the uncovered rectangles.
    bool fullPaint = false;
    /// Rectangles of the text image to copy onto the page (all that is uncovered, on a full paint).
    std::vector<presentation::Uncover> uncovered;
    bool layoutChanged = false;      ///< a new layout (layout(), layoutVersion())
    bool backgroundChanged = false;  ///< the background on show (screen().backgroundVersion)
    bool pictureChanged = false;     ///< the picture window on show (screen().pictureVersion)
    bool buttonsChanged = false;     ///< which buttons show, their captions or their enabled state
    bool scrollChanged = false;      ///< the scroll position or range
    bool heldChanged = false;        ///< input held back or let go again (heldBack())
    bool completed = false;          ///< the page became complete: the choices are enabled
    bool focusChanged = false;       ///< a pad moved the choice in focus (choiceFocus())
    int pagesShown = 0;              ///< pages put on show (each closes a backlog, is spoken)
    // What to tell the reader, in UTF-8, once each.
    std::vector<std::string> errors;
    std::vector<std::string> notices;   ///< notices that do not stop the story (StoryHost::showNotice)
    std::vector<std::string> programs;  ///< programs the story asked for, when no launcher runs them

    /// Anything at all to draw or tell.
    bool any() const;
};

/// The background and the picture window as they are on show: through a pause after a sound
/// effect, the screen as the run left it where it paused.
struct SessionScreen {
    std::string_view backgroundEntry;  ///< the story's background entry (its kind and file)
    std::uint8_t bgColour = 0;
    /// The background's picture, drawn only when the entry names one (it may be empty then too,
    /// and the colour is drawn instead).
    const pictures::Bitmap* backgroundPicture = nullptr;
    int backgroundVersion = 0;
    bool pictureShown = false;
    const pictures::Bitmap* picture = nullptr;  ///< the picture window's picture
    int pictureVersion = 0;
    int visibleButtons = 0;  ///< buttons 1..visibleButtons show
    bool choicesEnabled = false;
    int choiceCount = 0;  ///< the count their captions are made for
    bool held = false;    ///< this is the screen held through a pause
};

class ReadingSession : public interpreter::StoryHost, public interpreter::PageObserver {
public:
    /// The scroll bar's width at the right edge of the page, in pixels of the page.
    static constexpr int kScrollBarWidth = 16;
    /// One notch of the wheel scrolls this many single steps, as a scroll bar does.
    static constexpr int kWheelLines = 3;
    /// One tick of the host's timer.
    static constexpr int kTickMs = 55;
    /// Ticks of the host's timer for a span of milliseconds, rounded up (at least one).
    static constexpr int ticksFor(int ms) { return std::max(1, (ms + kTickMs - 1) / kTickMs); }

    /// Runs a program the story names (the host asks the reader first where it should).
    using ProgramLauncher = std::function<void(const std::string& commandLineSjis)>;
    /// Brings a sound's notice (given on any thread) to the host's own thread.
    using NoticePoster = std::function<void(std::function<void()>)>;

    /// programDir: where a story without a project looks for its files and keeps its saves.
    ReadingSession(std::filesystem::path programDir, ScaledMeasurer measurer);
    ~ReadingSession() override;
    ReadingSession(const ReadingSession&) = delete;
    ReadingSession& operator=(const ReadingSession&) = delete;

    /// Plays through backend from now on (silent until one is set).
    void setSoundBackend(std::unique_ptr<sound::SoundBackend> backend);
    /// Sounds' notices go through poster, from the next sound on: the host runs each on its own
    /// thread and takes the changes after it as after a command. Without one they wait for the
    /// next tick.
    void setNoticePoster(NoticePoster poster);
    /// Programs go to launcher; without one they are told as notices.
    void setProgramLauncher(ProgramLauncher launcher) { m_launcher = std::move(launcher); }
    /// Sleeps a wait of so many ticks while nonstop stops the timer (a window sleeps it, handling
    /// nothing meanwhile); without one such a wait is skipped.
    void setNonstopSleeper(std::function<void(int ticks)> sleeper) { m_nonstopSleeper = std::move(sleeper); }
    /// The page's grid at its own pixels for a line gap. With one, the grid at another ratio is
    /// this grid scaled rather than the scaled font measured again (its cells may round wider, and
    /// the hanging character would run into the scroll bar), and the text image holds at least
    /// what it holds at the page's own pixels, scaled, with the outline on both sides.
    void setGridMeasurer(std::function<presentation::FontMetrics(int lineGapTenths)> measurer) {
        m_gridMeasurer = std::move(measurer);
    }
    /// The outline's width in device pixels: 1 at the page's own pixels, scaled with it.
    int outlineWidth() const { return std::max(1, static_cast<int>(std::lround(m_ratio))); }

    interpreter::EngineState& story() { return m_story; }
    const interpreter::EngineState& story() const { return m_story; }
    interpreter::PageInterpreter& interpreter() { return m_interpreter; }
    /// Told true as a page run starts and false as it ends (a busy cursor, say).
    void setBusyHandler(std::function<void(bool busy)> handler) { m_busyHandler = std::move(handler); }

    // Opening, in the window's order: project, save directory, slot picker, names, start.
    /// Any file of the project; false (with an error told) when no .vrk of that name exists.
    /// A new reading: nothing before it is in the backlog or can be gone back to.
    bool setProject(const std::string& projectFile);
    /// The project baseName in projectDir, as a window has found it; a project that is not
    /// there fails in the steps that read it.
    void setProject(const std::filesystem::path& projectDir, const std::string& baseName);
    bool chooseSaveDirectory();
    /// Describes slot n (1-4) and makes it current; false on a read error (told).
    bool describeSlot(int slot, SlotView& view);
    bool eraseSlot(SlotView& view);
    bool loadSlot();
    std::vector<int> namesToAsk() const;
    std::string namePromptSjis(int i) const;
    std::string defaultNameSjis(int i) const;
    /// False for a name that is refused (empty); the reader is asked again.
    bool setName(int i, const std::string& nameSjis);
    /// The first page; the caption becomes the story's title.
    bool start();
    /// An opening under way (between setProject and start).
    bool opening() const { return m_opening != nullptr; }
    /// The window's title once a story has started (Shift-JIS).
    const std::string& captionSjis() const { return m_captionSjis; }
    /// Stops the sound and writes the story to its slot (reopen, another project, leaving).
    void flush();

    // The reader's commands; each does nothing while a run or its pause holds commands back.
    /// A choice key's character code (or 13 for Enter); true when it chose.
    bool chooseKey(int keyCode);
    /// Choice button k (1-6); false when it stands for opening the project again (no story).
    bool clickButton(int k);
    /// A click on the page finishes it; nothing during the pause after a run, when the page
    /// before has gone and the new one is not on show yet.
    void clickPage();
    /// Uncovers the whole page and enables its choices (a click, skipping, nonstop).
    void finishPage();
    bool quickSave();
    void quickLoad();
    bool quickLoadEnabled() const { return m_quickLoadEnabled; }

    // Presentation.
    /// The page's size in its own pixels (scroll bar included) and the device pixels per pixel
    /// the page is drawn at: the lines break where they break at scale 1.
    void setPageSize(int width, int height, double ratio);
    /// The device pixel ratio of the screen the choice buttons are drawn on, when it is not the
    /// page's ratio (a page scaled up to fill a screen keeps buttons of the screen's own size).
    void setButtonRatio(double ratio);
    /// The font changed: measured again, laid out again.
    void fontChanged();
    void setLineGapTenths(int tenths);
    int lineGapTenths() const { return m_lineGapTenths; }
    void setRevealSpeed(int speed) { m_reveal.setRevealSpeed(speed); }
    int revealSpeed() const { return m_reveal.revealSpeed(); }
    /// Nonstop switched (after the story's option is set): no timer to wait on, and a page on
    /// show is finished at once.
    void setNonstop(bool nonstop);
    /// The reader's options, as the menus set them: a sound kind switched off stops what plays
    /// (and music is not repeated), nonstop switched takes effect as setNonstop does, and the
    /// bright outline or the low colours lay the page out again.
    void setOptions(const interpreter::EngineOptions& next);
    /// The volumes of music and of sound effects, 0-100 (the view menu's).
    void setVolumes(int music, int effects);
    int musicVolume() const { return m_musicVolume; }
    int effectVolume() const { return m_effectVolume; }
    /// One tick of the 55 ms timer: pauses and notices, the comforts, then the hold after a run,
    /// and the reveal.
    void tick();
    /// Something ticks: a step still covered, a hold, a pause or a comfort waiting. A host may
    /// stop its timer while this is false, and start it again after any command.
    bool wantsTicks() const;
    /// The scroll position in device pixels (the scroll bar's value).
    void scrollTo(int position);
    bool scrollByKey(ScrollKey key);
    /// The scroll bar's thumb let go: the position lands on a whole line.
    void snapScroll();
    /// The wheel turned by delta (120 a notch; positive scrolls towards the end).
    void wheel(int delta);
    /// The page is at its top (or cannot scroll): PageUp and the wheel turned up open the
    /// backlog here instead of scrolling.
    bool atTop() const { return !m_range.enabled || m_scroll == 0; }
    /// Something else covered the page (a resize, a dialog): everything is drawn again.
    void repaintPage();

    // The view menu's comforts, in ticks of the timer.
    /// Going back one page is possible now.
    bool canGoBack() const;
    /// Restores the state before the previous page and runs it again; false when not possible.
    bool goBackOnePage();
    std::size_t backlogPages() const { return m_history.earlierPageCount(); }
    /// The backlog over the page holds auto-advance back.
    void setBacklogOpen(bool open) { m_backlogOpen = open; }
    bool backlogOpen() const { return m_backlogOpen; }
    void setAutoAdvance(bool on);
    bool autoAdvance() const { return m_autoAdvance; }
    /// Auto-advance is counting towards the next page, or looking whether it may start to.
    bool autoAdvancePending() const { return m_autoTicks >= 0; }
    /// Starts skipping read pages; it ends by itself at a choice or an unread page (false then).
    void setSkipping(bool skipping);
    bool skipping() const { return m_skipping; }
    /// Any input of the reader stops auto-advance and skipping.
    void stopAutoAndSkip();
    /// The sound on is an effect (not music) that has not ended.
    bool effectPlaying() const;
    const ReadingHistory& history() const { return m_history; }
    const ReadMarks& readMarks() const { return m_readMarks; }
    /// The route map of what the read marks hold, the page on show marked; empty before a story
    /// is known. Built afresh each time: it follows the marks, and is quick even for a full index.
    ReaderMap readerMap();

    // An author's tools: the inspector's jump and the reload of a story compiled again.
    /// Runs the page at label as a choice leading there would (its head applies to the state as
    /// it stands); false when nothing may run now or the index has no such label.
    bool jumpToLabel(const std::string& labelSjis);
    /// How a reload went.
    enum class Reload {
        Reloaded,   ///< the page of the same label runs again
        LabelGone,  ///< the label is no more: the story's first page runs instead
        NotNow,     ///< a run or an opening is under way, or no story was opened: try again later
        Failed,     ///< the new files cannot be read (told as an error); the story goes on as it was
    };
    /// The project's script and label index were written anew (its source compiled again): both
    /// are read again and the page of the same label runs with the same flags, letters and
    /// names, as a save resumes it, its head not applied a second time. Pages before it cannot be
    /// gone back to (their offsets were the old script's); their text stays in the backlog. A
    /// story that had ended starts again at its first page.
    Reload reloadStory();
    /// The sound the story last started and has not stopped since (Shift-JIS).
    const std::string& soundOnShowSjis() const { return m_soundOnShow; }
    /// A sound is playing now.
    bool soundPlaying() const;

    // A game controller (pad_mapping.h).
    /// The choice button a pad's South takes: the focus button once the page is complete, then
    /// wherever the pad or the reader moved the focus.
    int choiceFocus() const { return std::clamp(m_choiceFocus, 1, std::max(1, m_visibleButtons)); }
    /// The reader focused button k some other way (the keyboard, the mouse).
    void setChoiceFocus(int k) { m_choiceFocus = k; }
    /// A press of a pad's button. The session has done its own part (the focus, finishing or
    /// scrolling the page); the action tells the front end what is left to it.
    PadAction pressPadButton(PadButton button);

    // Queries.
    /// A run or the pause after it holds commands back.
    bool heldBack() const { return m_interpreter.isRunning() || m_holdTicks > 0; }
    SessionFacts facts() const;
    SessionScreen screen() const;
    /// The page's lines, Shift-JIS (what a copy takes and what is read aloud).
    const std::vector<std::string>& pageTextSjis() const { return m_story.page.pageText; }
    const presentation::PageLayout& layout() const { return m_layout; }
    int layoutVersion() const { return m_layoutVersion; }
    const presentation::FontMetrics& metrics() const { return m_metrics; }
    const presentation::RevealState& reveal() const { return m_reveal; }
    int scrollPosition() const { return m_scroll; }
    const presentation::ScrollRange& scrollRange() const { return m_range; }
    /// The page's height in whole lines, in device pixels.
    int visibleHeight() const { return m_visibleHeight; }
    int holdTicks() const { return m_holdTicks; }
    int visibleButtons() const { return m_visibleButtons; }
    /// Choice button k's caption (1-6) as the buttons on show have it, Shift-JIS.
    std::string buttonCaptionSjis(int k) const;
    /// Choice button k's name for a screen reader, Shift-JIS: its caption, then the choice it
    /// takes ("A: caption", "Next: caption"), since the caption alone is only the key's letter.
    std::string buttonNameSjis(int k) const;
    /// The page's text as a screen reader may read it now, Shift-JIS lines joined by "\n": the
    /// whole page once its reveal is complete, the part uncovered so far while it runs, so that
    /// nothing is read before it can be seen.
    std::string readableTextSjis() const;
    /// The whole page's text as it is announced when the page is shown, lines joined by "\n".
    std::string pageAnnouncementSjis() const;
    /// The button that takes the focus once the page is complete: the rightmost in use.
    int focusButton() const { return std::max(1, m_story.page.choiceCount); }
    bool choicesEnabled() const { return m_choicesEnabled; }
    int pageWidth() const { return m_width; }
    int pageHeight() const { return m_height; }
    double pageRatio() const { return m_ratio; }
    /// The page in device pixels.
    int deviceWidth() const;
    int deviceHeight() const;
    /// What changed since the last call (and forgets it).
    SessionChanges takeChanges();

    // PageObserver
    void pageRunStarting(std::int32_t offset) override;
    void pageShown(const std::string& labelSjis) override;

    // StoryHost
    void showPicture(const std::string& fileNameSjis) override;
    void hidePicture() override;
    bool loadPicture(const std::string& fileNameSjis) override;
    bool playSound(const std::string& fileNameSjis) override;
    void stopSound() override;
    void launchProgram(const std::string& commandLineSjis) override;
    void waitTicks(int ticks) override;
    void repaint() override;
    void hideChoices() override;
    void prepareChoices() override;
    void enableChoices() override;
    void refreshPage() override;
    void restartReveal() override { m_reveal.restartReveal(); }
    void setBusy(bool busy) override;
    void showNotice(const std::string& noticeSjis) override;
    void reportError(const std::string& messageSjis) override;

private:
    bool singleNextOnShow() const;
    void onPageComplete();
    void comfortTick();
    void releaseHeldScreen();
    void onAutoAdvanceTick();
    bool reporting(const std::function<void()>& step);
    void updateMetrics();
    void layoutPage();
    void paintPage();
    void uncover(const presentation::Uncover& rect);
    void setButtons(int visible, bool enabled);
    std::filesystem::path baseDir() const;
    void loadReadMarks();

    std::filesystem::path m_programDir;
    ScaledMeasurer m_measurer;
    interpreter::EngineState m_story;
    interpreter::PageInterpreter m_interpreter;
    std::unique_ptr<ProjectOpening> m_opening;
    std::unique_ptr<sound::SoundBackend> m_backend;
    std::unique_ptr<sound::SoundChannel> m_channel;
    int m_musicVolume = sound::kFullVolume;
    int m_effectVolume = sound::kFullVolume;
    sound::PostedTasks m_tasks;
    NoticePoster m_noticePoster;
    ProgramLauncher m_launcher;
    std::function<void(int)> m_nonstopSleeper;
    std::function<presentation::FontMetrics(int)> m_gridMeasurer;
    int m_pageCellWidth = 1;  // the cell at the page's own pixels, with a grid measurer
    std::vector<std::pair<int, std::function<void()>>> m_scheduled;  // ticks left, then what
    std::string m_soundOnShow;
    bool m_quickSaveEnabled = false;
    bool m_quickLoadEnabled = false;
    std::string m_captionSjis;
    std::function<void(bool)> m_busyHandler;

    // The page's geometry and progress.
    int m_width = 0;  // pixels of the page
    int m_height = 0;
    double m_ratio = 1.0;
    std::optional<double> m_buttonRatio;
    int m_lineGapTenths = presentation::kStandardLineGap;
    presentation::FontMetrics m_metrics;
    int m_fixedColumns = 0;  // the columns at ratio 1, kept at any other ratio
    presentation::PageLayout m_layout;
    int m_layoutVersion = 0;
    presentation::RevealState m_reveal;
    presentation::ScrollRange m_range;
    int m_scroll = 0;
    int m_visibleHeight = 0;
    bool m_timerActive = true;
    int m_holdTicks = 0;

    // The buttons, the background and the picture window.
    int m_visibleButtons = 1;
    bool m_choicesEnabled = true;
    int m_choiceFocus = 1;
    pictures::Bitmap m_background;
    pictures::Bitmap m_picture;
    bool m_pictureShown = false;
    int m_backgroundVersion = 0;
    int m_pictureVersion = 0;

    // The screen as the run left it where it paused for a sound effect: shown until the pause
    // is over, as a window shows it while it waits inside the run.
    struct HeldScreen {
        std::string background;  // the story's background entry
        std::uint8_t bgColour = 0;
        pictures::Bitmap picture;
        int backgroundVersion = 0;
        bool pictureShown = false;
        int pictureVersion = 0;
        int visibleButtons = 0;  // the page before's buttons, as they stood
        bool choicesEnabled = false;
        int choiceCount = 0;
    };
    std::optional<HeldScreen> m_heldScreen;

    // What to draw and tell at the next takeChanges().
    SessionChanges m_changes;
    // As last taken; the first changes tell everything.
    int m_lastBackgroundVersion = -1;
    int m_lastPictureVersion = -1;
    std::tuple<int, bool, int, bool> m_lastButtons{-1, false, -1, false};  // visible, enabled, count, open
    bool m_lastHeld = false;
    int m_lastScroll = -1;
    presentation::ScrollRange m_lastRange;

    // The comforts.
    ReadingHistory m_history;
    ReadMarks m_readMarks;
    std::string m_shownLabelSjis;  // the label of the page on show
    bool m_backlogOpen = false;
    bool m_autoAdvance = false;
    bool m_autoPausing = false;
    int m_autoTicks = -1;  // ticks until auto-advance looks again; -1 when it is not waiting
    bool m_skipping = false;
    int m_skipTicks = 0;  // ticks until a skipped page goes on; 0 when none is waiting
};

}  // namespace vrk::app
