#pragma once
// The engine's outside world in a browser page, as the window's is on the desktop: a reading
// session (app::ReadingSession) that decides everything the page shows, and what the page needs
// of it in its own terms. The page (page.js) draws; after every call it asks what to draw
// (state()), and takes the text image's pixels and the pictures' pixels from here.
//
//   page.js --measureText--> TextMeasurer --> the session's layout, reveal, scroll (canvas pixels)
//   page.js timer (55 ms) --> tick() --> an uncovered rectangle, a scroll, or the choices enabled
//   page.js --> state(): JSON of the layout, background, picture, choices, what to draw, notices
//
// Nothing here blocks: a wait inside a page run (the pause after a sound effect starts) is
// kept as ticks the session holds back its reveal and input for, after the run has returned.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/project_opening.h"
#include "app/reading_history.h"
#include "app/reading_session.h"
#include "interpreter/engine_state.h"
#include "interpreter/page_interpreter.h"
#include "pictures/bitmap.h"
#include "presentation/reveal.h"
#include "presentation/text_layout.h"
#include "sound/sound_backend.h"

namespace vrk::web {

/// Measures text in the page's font at a scale (the device pixel ratio, or 1).
using ScaledMeasurer = app::ScaledMeasurer;

/// Scroll commands of the keys PageUp, PageDown, Up, Down, Home and End.
using ScrollKey = app::ScrollKey;

class WebStoryHost {
public:
    /// The scroll bar's width at the right edge of the page, in CSS pixels.
    static constexpr int kScrollBarWidth = app::ReadingSession::kScrollBarWidth;
    /// One notch of the wheel scrolls this many single steps, as the window's scroll bar does.
    static constexpr int kWheelLines = app::ReadingSession::kWheelLines;

    WebStoryHost(std::filesystem::path programDir, ScaledMeasurer measurer);
    /// Virtual: the page's module makes a host of its own kind (PageHost) and deletes it
    /// through this class.
    virtual ~WebStoryHost();

    /// Plays through backend from now on (silent until one is set).
    void setSoundBackend(std::unique_ptr<sound::SoundBackend> backend) {
        m_session.setSoundBackend(std::move(backend));
    }

    app::ReadingSession& session() { return m_session; }
    interpreter::EngineState& story() { return m_session.story(); }
    interpreter::PageInterpreter& interpreter() { return m_session.interpreter(); }

    // Opening, in the window's order: project, save directory, slot picker, names, start.
    /// False (with an error queued) when no .vrk of that name exists.
    bool setProject(const std::string& projectFile) { return m_session.setProject(projectFile); }
    bool chooseSaveDirectory() { return m_session.chooseSaveDirectory(); }
    /// Describes slot n (1-4) and makes it current; false on a read error (queued).
    bool describeSlot(int slot, app::SlotView& view) { return m_session.describeSlot(slot, view); }
    bool eraseSlot(app::SlotView& view) { return m_session.eraseSlot(view); }
    bool loadSlot() { return m_session.loadSlot(); }
    std::vector<int> namesToAsk() const { return m_session.namesToAsk(); }
    std::string namePromptSjis(int i) const { return m_session.namePromptSjis(i); }
    std::string defaultNameSjis(int i) const { return m_session.defaultNameSjis(i); }
    bool setName(int i, const std::string& nameSjis) { return m_session.setName(i, nameSjis); }
    /// The first page; the caption becomes the story's title.
    bool start() { return m_session.start(); }
    /// Stops the sound and writes the story to its slot (reopen, another project, leaving).
    void flush() { m_session.flush(); }

    // Reader's commands; each does nothing while a run or a wait holds commands back.
    /// A choice key's character code (or 13 for Enter); true when it chose.
    bool chooseKey(int keyCode) { return m_session.chooseKey(keyCode); }
    /// Choice button k (1-6); false when it stands for opening the project again (no story).
    bool clickButton(int k) { return m_session.clickButton(k); }
    /// A click on the page finishes it.
    void clickPage() { m_session.clickPage(); }
    bool quickSave() { return m_session.quickSave(); }
    void quickLoad() { m_session.quickLoad(); }
    bool quickLoadEnabled() const { return m_session.quickLoadEnabled(); }

    // Presentation.
    /// The page's size in CSS pixels and the device pixel ratio the canvas draws at.
    void setPageSize(int width, int height, double ratio) { m_session.setPageSize(width, height, ratio); }
    /// The font changed: measured again, laid out again.
    void fontChanged() { m_session.fontChanged(); }
    void setLineGapTenths(int tenths) { m_session.setLineGapTenths(tenths); }
    void setRevealSpeed(int speed) { m_session.setRevealSpeed(speed); }
    void setNonstop(bool nonstop) { m_session.setNonstop(nonstop); }
    /// One tick of the 55 ms timer: the hold after a run counts down first, then the reveal.
    void tick() { m_session.tick(); }
    /// The scroll position in device pixels (the scroll bar's value).
    void scrollTo(int position) { m_session.scrollTo(position); }
    bool scrollByKey(ScrollKey key) { return m_session.scrollByKey(key); }
    /// The scroll bar's thumb let go: the position lands on a whole line.
    void snapScroll() { m_session.snapScroll(); }
    /// The wheel turned by delta (120 a notch; positive scrolls towards the end).
    void wheel(int delta) { m_session.wheel(delta); }

    // The view menu's comforts, kept in ticks of the page's timer as the window keeps them in
    // milliseconds.
    /// Going back one page is possible now.
    bool canGoBack() const { return m_session.canGoBack(); }
    /// Restores the state before the previous page and runs it again; false when not possible.
    bool goBackOnePage() { return m_session.goBackOnePage(); }
    /// The earlier pages of this reading, oldest first: JSON arrays of their UTF-8 lines.
    std::string backlogJson() const;
    std::size_t backlogPages() const { return m_session.backlogPages(); }
    /// The backlog over the page holds auto-advance back.
    void setBacklogOpen(bool open) { m_session.setBacklogOpen(open); }
    void setAutoAdvance(bool on) { m_session.setAutoAdvance(on); }
    bool autoAdvance() const { return m_session.autoAdvance(); }
    /// Starts skipping read pages; it ends by itself at a choice or an unread page (false then).
    void setSkipping(bool skipping) { m_session.setSkipping(skipping); }
    bool skipping() const { return m_session.skipping(); }
    /// Any input of the reader stops auto-advance and skipping.
    void stopAutoAndSkip() { m_session.stopAutoAndSkip(); }
    /// The volumes of music and of sound effects, 0-100.
    void setVolumes(int music, int effects) { m_session.setVolumes(music, effects); }

    // A game controller: the page reads the browser's gamepads and hands their state in here.
    /// The reader focused choice button k on the page.
    void setChoiceFocus(int k) { m_session.setChoiceFocus(k); }
    /// A pad's state (held: app::padBit of each button down; the left stick from -1 to 1): each
    /// new press goes to the session, and what is left to the page comes back as a JSON array
    /// of {"kind": "click", "button"}, {"kind": "menu", "item": an item's id},
    /// {"kind": "closeBacklog"} and {"kind": "scrollBacklog", "amount", "pages"}.
    std::string padState(std::uint32_t held, double stickX, double stickY);
    /// The sound on is an effect (not music) that has not ended.
    bool effectPlaying() const { return m_session.effectPlaying(); }
    const app::ReadingHistory& history() const { return m_session.history(); }
    const app::ReadMarks& readMarks() const { return m_session.readMarks(); }

    // The interpreter's observer, as the session is.
    void pageRunStarting(std::int32_t offset) { m_session.pageRunStarting(offset); }
    void pageShown(const std::string& labelSjis) { m_session.pageShown(labelSjis); }
    /// Something else covered the page (a resize, a dialog): everything is drawn again.
    void repaintPage() { m_session.repaintPage(); }

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

    // The story's host, as the session is.
    void showPicture(const std::string& fileNameSjis) { m_session.showPicture(fileNameSjis); }
    void hidePicture() { m_session.hidePicture(); }
    bool loadPicture(const std::string& fileNameSjis) { return m_session.loadPicture(fileNameSjis); }
    bool playSound(const std::string& fileNameSjis) { return m_session.playSound(fileNameSjis); }
    void stopSound() { m_session.stopSound(); }
    /// A browser starts no programs; the page names the one the story asked for.
    void launchProgram(const std::string& commandLineSjis) { m_session.launchProgram(commandLineSjis); }
    void waitTicks(int ticks) { m_session.waitTicks(ticks); }
    void repaint() { m_session.repaint(); }
    void hideChoices() { m_session.hideChoices(); }
    void prepareChoices() { m_session.prepareChoices(); }
    void enableChoices() { m_session.enableChoices(); }
    void refreshPage() { m_session.refreshPage(); }
    void restartReveal() { m_session.restartReveal(); }
    void setBusy(bool busy) { m_session.setBusy(busy); }
    void showNotice(const std::string& noticeSjis) { m_session.showNotice(noticeSjis); }
    void reportError(const std::string& messageSjis) { m_session.reportError(messageSjis); }

    // For tests.
    const presentation::PageLayout& layout() const { return m_session.layout(); }
    const presentation::RevealState& reveal() const { return m_session.reveal(); }
    int scrollPosition() const { return m_session.scrollPosition(); }
    const presentation::ScrollRange& scrollRange() const { return m_session.scrollRange(); }
    int holdTicks() const { return m_session.holdTicks(); }
    int visibleButtons() const { return m_session.visibleButtons(); }
    bool choicesEnabled() const { return m_session.choicesEnabled(); }

private:
    app::ReadingSession m_session;
    std::vector<std::uint8_t> m_pixels;
    int m_pagesShown = 0;  // tells the page to close its backlog and to speak
    app::PadInput m_pad;
};

}  // namespace vrk::web
