#pragma once
// The engine's outside world in a browser page, as QtStoryHost is in the window. The page
// (page.js) draws; this keeps everything the window's page view and main window decide: the
// layout, the reveal and its timer steps, the scroll range, the choice buttons, the
// background and the picture window. The page asks after every call what to draw (state()).
//
//   page.js --measureText--> TextMeasurer --> layout, reveal, scroll (all in pixels of the canvas)
//   page.js timer (55 ms) --> tick() --> an uncovered rectangle, a scroll, or the choices enabled
//   page.js --> state(): JSON of the layout, background, picture, choices, what to draw, notices
//
// Nothing here blocks: a wait inside a page run (the pause after a sound effect starts) is
// kept as ticks the page holds back its reveal and input for, after the run has returned.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/project_opening.h"
#include "app/reading_history.h"
#include "interpreter/page_interpreter.h"
#include "interpreter/story.h"
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

namespace vrk::web {

/// Measures text in the page's font at a scale (the device pixel ratio, or 1).
using ScaledMeasurer = std::function<std::unique_ptr<presentation::TextMeasurer>(double scale)>;

/// Scroll commands of the keys PageUp, PageDown, Up, Down, Home and End.
enum class ScrollKey { PageUp = 1, PageDown, Up, Down, Home, End };

class WebStoryHost : public interpreter::StoryHost, public interpreter::PageObserver {
public:
    /// The scroll bar's width at the right edge of the page, in CSS pixels.
    static constexpr int kScrollBarWidth = 16;
    /// One notch of the wheel scrolls this many single steps, as the window's scroll bar does.
    static constexpr int kWheelLines = 3;

    WebStoryHost(std::filesystem::path programDir, ScaledMeasurer measurer);
    ~WebStoryHost() override;

    /// Plays through backend from now on (silent until one is set).
    void setSoundBackend(std::unique_ptr<sound::SoundBackend> backend);

    interpreter::Story& story() { return m_story; }
    interpreter::PageInterpreter& interpreter() { return m_interpreter; }

    // Opening, in the window's order: project, save directory, slot picker, names, start.
    /// False (with an error queued) when no .vrk of that name exists.
    bool setProject(const std::string& projectFile);
    bool chooseSaveDirectory();
    /// Describes slot n (1-4) and makes it current; false on a read error (queued).
    bool describeSlot(int slot, app::SlotView& view);
    bool eraseSlot(app::SlotView& view);
    bool loadSlot();
    std::vector<int> namesToAsk() const;
    std::string namePromptSjis(int i) const;
    std::string defaultNameSjis(int i) const;
    bool setName(int i, const std::string& nameSjis);
    /// The first page; the caption becomes the story's title.
    bool start();
    /// Stops the sound and writes the story to its slot (reopen, another project, leaving).
    void flush();

    // Reader's commands; each does nothing while a run or a wait holds commands back.
    /// A choice key's character code (or 13 for Enter); true when it chose.
    bool chooseKey(int keyCode);
    /// Choice button k (1-6); false when it stands for opening the project again (no story).
    bool clickButton(int k);
    /// A click on the page finishes it.
    void clickPage();
    bool quickSave();
    void quickLoad();
    bool quickLoadEnabled() const { return m_quickLoadEnabled; }

    // Presentation.
    /// The page's size in CSS pixels and the device pixel ratio the canvas draws at.
    void setPageSize(int width, int height, double ratio);
    /// The font changed: measured again, laid out again.
    void fontChanged();
    void setLineGapTenths(int tenths);
    void setRevealSpeed(int speed) { m_reveal.setRevealSpeed(speed); }
    void setNonstop(bool nonstop);
    /// One tick of the 55 ms timer: the hold after a run counts down first, then the reveal.
    void tick();
    /// The scroll position in device pixels (the scroll bar's value).
    void scrollTo(int position);
    bool scrollByKey(ScrollKey key);
    /// The scroll bar's thumb let go: the position lands on a whole line.
    void snapScroll();
    /// The wheel turned by delta (120 a notch; positive scrolls towards the end).
    void wheel(int delta);

    // The view menu's comforts, kept in ticks of the page's timer as the window keeps them in
    // milliseconds.
    /// Going back one page is possible now.
    bool canGoBack() const;
    /// Restores the state before the previous page and runs it again; false when not possible.
    bool goBackOnePage();
    /// The earlier pages of this reading, oldest first: JSON arrays of their UTF-8 lines.
    std::string backlogJson() const;
    std::size_t backlogPages() const { return m_history.earlierPageCount(); }
    /// The backlog over the page holds auto-advance back.
    void setBacklogOpen(bool open) { m_backlogOpen = open; }
    void setAutoAdvance(bool on);
    bool autoAdvance() const { return m_autoAdvance; }
    /// Starts skipping read pages; it ends by itself at a choice or an unread page (false then).
    void setSkipping(bool skipping);
    bool skipping() const { return m_skipping; }
    /// Any input of the reader stops auto-advance and skipping.
    void stopAutoAndSkip();
    /// The sound on is an effect (not music) that has not ended.
    bool effectPlaying() const;
    const app::ReadingHistory& history() const { return m_history; }
    const app::ReadMarks& readMarks() const { return m_readMarks; }

    // PageObserver
    void pageRunStarting(std::int32_t offset) override;
    void pageShown(const std::string& labelSjis) override;
    /// Something else covered the page (a resize, a dialog): everything is drawn again.
    void repaintPage();

    /// JSON of what changed since the last call, and what to draw now.
    std::string state();
    /// JSON of the laid-out page: image size, colours, and each display line's characters with
    /// their x in the text image (the page draws them, the baseline at top + the font's ascent).
    std::string layoutJson() const;
    /// Rows [top, bottom) of the text image from the characters' coverage (as layoutJson drew
    /// them in white) of the rows from two above top (or from top on the first row) to bottom,
    /// width bytes a row: RGBA, alpha 255 where the pixel replaces the page's, 0 where it is ORed in.
    const std::vector<std::uint8_t>& composeText(const std::uint8_t* coverage, int top, int bottom);
    /// RGBA pixels of the background picture (0) or the picture window's picture (1): ROWS rows
    /// from TOP (within the picture). The page takes a large picture a band at a time, so that
    /// no second copy of it is ever made whole in the module's memory.
    const std::vector<std::uint8_t>& picturePixels(int which, int top = 0,
                                                   int rows = pictures::Bitmap::kMaxDimension);

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
    void setBusy(bool) override {}
    void showAboutComment(const std::string& commentSjis) override;
    void reportError(const std::string& messageSjis) override;

    // For tests.
    const presentation::PageLayout& layout() const { return m_layout; }
    const presentation::RevealState& reveal() const { return m_reveal; }
    int scrollPosition() const { return m_scroll; }
    const presentation::ScrollRange& scrollRange() const { return m_range; }
    int holdTicks() const { return m_holdTicks; }
    int visibleButtons() const { return m_visibleButtons; }
    bool choicesEnabled() const { return m_choicesEnabled; }

private:
    bool heldBack() const { return m_interpreter.isRunning() || m_holdTicks > 0; }
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
    std::filesystem::path baseDir() const;
    int deviceWidth() const;
    int deviceHeight() const;

    std::filesystem::path m_programDir;
    ScaledMeasurer m_measurer;
    interpreter::Story m_story;
    interpreter::PageInterpreter m_interpreter;
    std::unique_ptr<app::ProjectOpening> m_opening;
    std::unique_ptr<sound::SoundBackend> m_backend;
    std::unique_ptr<sound::SoundChannel> m_channel;
    sound::PostedTasks m_tasks;
    std::vector<std::pair<int, std::function<void()>>> m_scheduled;  // ticks left, then what
    bool m_quickLoadEnabled = false;
    std::string m_captionSjis;

    // The page view's part.
    int m_width = 0;  // CSS pixels
    int m_height = 0;
    double m_ratio = 1.0;
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

    // The main window's part.
    int m_visibleButtons = 1;
    bool m_choicesEnabled = true;
    pictures::Bitmap m_background;
    pictures::Bitmap m_picture;
    bool m_pictureShown = false;
    int m_backgroundVersion = 0;
    int m_pictureVersion = 0;
    std::vector<std::uint8_t> m_pixels;

    // The screen as the run left it where it paused for a sound effect: shown until the pause
    // is over, as the window shows it while it waits inside the run.
    struct HeldScreen {
        std::string background;  // the state's background entry
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

    // What to draw and tell at the next state().
    bool m_fullPaint = true;
    std::vector<presentation::Uncover> m_uncovers;
    bool m_completed = false;
    std::vector<std::string> m_programs;  // UTF-8
    std::vector<std::string> m_errors;
    std::vector<std::string> m_abouts;
    int m_pagesShown = 0;  // tells the page to close its backlog and to speak

    // The comforts' part.
    app::ReadingHistory m_history;
    app::ReadMarks m_readMarks;
    bool m_backlogOpen = false;
    bool m_autoAdvance = false;
    bool m_autoPausing = false;
    int m_autoTicks = -1;  // ticks until auto-advance looks again; -1 when it is not waiting
    bool m_skipping = false;
    int m_skipTicks = 0;  // ticks until a skipped page goes on; 0 when none is waiting
};

}  // namespace vrk::web
