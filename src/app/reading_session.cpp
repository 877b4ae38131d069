#include "app/reading_session.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "common/file_reading.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "pictures/picture_loader.h"
#include "presentation/choices.h"
#include "sound/null_sound_backend.h"
#include "sound/sound_channel.h"

namespace vrk::app {

namespace {

namespace fs = std::filesystem;
using presentation::TickResult;
using presentation::Uncover;

// How often auto-advance looks whether a sound effect has ended.
constexpr int kSoundPollTicks = ReadingSession::ticksFor(100);
// The moment a skipped page stays on show.
constexpr int kSkipPauseTicks = ReadingSession::ticksFor(60);
// Read marks, one label a line, beside the slots.
constexpr const char* kReadMarksExtension = ".VRR";

}  // namespace

bool SessionChanges::any() const {
    return fullPaint || !uncovered.empty() || layoutChanged || backgroundChanged || pictureChanged ||
           buttonsChanged || scrollChanged || heldChanged || completed || focusChanged || pagesShown > 0 ||
           !errors.empty() || !notices.empty() || !programs.empty();
}

ReadingSession::ReadingSession(fs::path programDir, ScaledMeasurer measurer)
    : m_programDir(std::move(programDir)), m_measurer(std::move(measurer)), m_interpreter(m_story, *this) {
    m_story.locations.programDir = m_programDir;
    m_interpreter.setObserver(this);
    m_changes.fullPaint = true;
    setSoundBackend(std::make_unique<sound::NullSoundBackend>());
}

ReadingSession::~ReadingSession() {
    m_interpreter.setObserver(nullptr);
    m_scheduled.clear();
    m_channel.reset();
}

void ReadingSession::setSoundBackend(std::unique_ptr<sound::SoundBackend> backend) {
    // The channel goes first: it closes the old player on its way out.
    m_channel.reset();
    m_backend = std::move(backend);
    m_channel = std::make_unique<sound::SoundChannel>(*m_backend, m_story.sound, baseDir());
    // Notices are handled on the next tick (or by the host's poster), never inside the call that
    // gave them; the pause before a music repeat is counted in ticks rather than waited for.
    setNoticePoster(m_noticePoster);
    m_channel->setTickTimer([this](int ticks, std::function<void()> then) {
        m_scheduled.emplace_back(std::max(0, ticks), std::move(then));
    });
    m_channel->setVolumes(m_musicVolume, m_effectVolume);
}

void ReadingSession::setVolumes(int music, int effects) {
    m_musicVolume = sound::heldVolume(music);
    m_effectVolume = sound::heldVolume(effects);
    m_channel->setVolumes(m_musicVolume, m_effectVolume);
}

void ReadingSession::setNoticePoster(NoticePoster poster) {
    m_noticePoster = std::move(poster);
    m_channel->setPoster(m_noticePoster ? m_noticePoster : m_tasks.poster());
}

fs::path ReadingSession::baseDir() const {
    return m_story.locations.projectKnown() ? m_story.locations.projectDir : m_programDir;
}

bool ReadingSession::reporting(const std::function<void()>& step) {
    return runReporting(step, [this](const std::string& messageSjis) { reportError(messageSjis); });
}

// --- Opening ---------------------------------------------------------------------------------

bool ReadingSession::setProject(const std::string& projectFile) {
    const auto project = projectFromArgument(projectFile);
    if (!project) {
        m_changes.errors.push_back(projectFile + ": no project (no .vrk file of that name)");
        return false;
    }
    setProject(project->projectDir, project->baseName);
    return true;
}

void ReadingSession::setProject(const fs::path& projectDir, const std::string& baseName) {
    m_story.locations.projectDir = projectDir;
    m_story.locations.baseName = baseName;
    m_channel->setBaseDir(projectDir);
    m_history.clear();
    m_shownLabelSjis.clear();
    m_opening = std::make_unique<ProjectOpening>(m_story, m_interpreter, *this);
}

bool ReadingSession::chooseSaveDirectory() {
    return m_opening && reporting([&] { m_opening->chooseSaveDirectory(); });
}

bool ReadingSession::describeSlot(int slot, SlotView& view) {
    return m_opening && reporting([&] { view = m_opening->describeSlot(slot); });
}

bool ReadingSession::eraseSlot(SlotView& view) {
    return m_opening && reporting([&] { view = m_opening->eraseSlot(); });
}

bool ReadingSession::loadSlot() {
    return m_opening && reporting([&] { m_opening->loadSlot(); });
}

std::vector<int> ReadingSession::namesToAsk() const {
    return m_opening ? m_opening->namesToAsk() : std::vector<int>{};
}

std::string ReadingSession::namePromptSjis(int i) const {
    return m_opening ? m_opening->namePromptSjis(i) : std::string();
}

std::string ReadingSession::defaultNameSjis(int i) const {
    return i >= 0 && static_cast<std::size_t>(i) < m_story.state.names.size()
               ? m_story.state.names[static_cast<std::size_t>(i)]
               : std::string();
}

bool ReadingSession::setName(int i, const std::string& nameSjis) {
    return m_opening && m_opening->setName(i, nameSjis);
}

bool ReadingSession::start() {
    if (!m_opening) {
        return false;
    }
    const bool started = reporting([&] { m_opening->start(); });
    if (started) {
        m_quickSaveEnabled = true;
        m_quickLoadEnabled = quickSaveExists(m_story);
        m_captionSjis = m_opening->windowCaptionSjis();
    }
    m_opening.reset();
    return started;
}

void ReadingSession::flush() {
    stopSound();
    m_interpreter.flushProject();
}

// --- The reader's commands -------------------------------------------------------------------

bool ReadingSession::chooseKey(int keyCode) {
    if (heldBack()) {
        return false;
    }
    const auto slot = presentation::choiceKeySlot(keyCode, m_story.scriptOpen(), m_visibleButtons);
    return slot && m_interpreter.selectChoice(*slot);
}

bool ReadingSession::clickButton(int k) {
    if (heldBack() || k < 1 || k > m_visibleButtons || !m_choicesEnabled) {
        return true;
    }
    if (!m_story.scriptOpen()) {
        return false;
    }
    m_interpreter.selectChoice(presentation::slotForButton(k, m_story.page.choiceCount));
    return true;
}

void ReadingSession::clickPage() {
    if (m_holdTicks > 0) {
        return;
    }
    finishPage();
}

void ReadingSession::finishPage() {
    if (m_story.page.pageText.empty()) {
        return;
    }
    m_reveal.finish();
    repaintPage();
    enableChoices();
}

bool ReadingSession::quickSave() {
    // Mid-run (or in its pause) the state is half way between two pages.
    if (heldBack() || !m_story.scriptOpen()) {
        return false;
    }
    if (app::quickSave(m_story, *this)) {
        m_quickLoadEnabled = true;
        return true;
    }
    return false;
}

void ReadingSession::quickLoad() {
    if (heldBack() || !m_quickLoadEnabled) {
        return;
    }
    // Going back stops at the loaded page; its text before stays in the backlog.
    m_history.forgetStates();
    reporting([&] { app::quickLoad(m_story, m_interpreter, *this); });
}

// --- The page --------------------------------------------------------------------------------

void ReadingSession::setPageSize(int width, int height, double ratio) {
    m_width = std::max(1, width);
    m_height = std::max(1, height);
    m_ratio = ratio > 0 ? ratio : 1.0;
    fontChanged();
}

void ReadingSession::setButtonRatio(double ratio) {
    if (ratio > 0) {
        m_buttonRatio = ratio;
    } else {
        m_buttonRatio.reset();
    }
}

int ReadingSession::deviceWidth() const {
    return static_cast<int>(std::lround(m_width * m_ratio));
}

int ReadingSession::deviceHeight() const {
    return static_cast<int>(std::lround(m_height * m_ratio));
}

void ReadingSession::updateMetrics() {
    if (m_gridMeasurer) {
        const presentation::FontMetrics own = m_gridMeasurer(m_lineGapTenths);
        m_pageCellWidth = own.cellWidth;
        m_metrics = own;
        if (m_ratio != 1.0) {
            m_metrics.cellWidth = std::max(1, static_cast<int>(own.cellWidth * m_ratio));
            m_metrics.lineHeight = std::max(1, static_cast<int>(own.lineHeight * m_ratio));
            m_metrics.edgeAllowance = std::max(2, static_cast<int>(std::ceil(own.edgeAllowance * m_ratio)));
        }
        m_fixedColumns = presentation::columnsFor(m_width, kScrollBarWidth, own.cellWidth);
        return;
    }
    m_metrics = presentation::measureFont(*m_measurer(m_ratio), m_lineGapTenths);
    // At another pixel ratio the text is drawn sharp at the device's pixels, with the lines
    // broken where the page at its own size breaks them.
    const int cell = m_ratio == 1.0 ? m_metrics.cellWidth
                                    : presentation::measureFont(*m_measurer(1.0), m_lineGapTenths).cellWidth;
    m_fixedColumns = presentation::columnsFor(m_width, kScrollBarWidth, cell);
}

void ReadingSession::fontChanged() {
    updateMetrics();
    m_story.page.layoutDirty = true;
    repaintPage();
}

void ReadingSession::setLineGapTenths(int tenths) {
    m_lineGapTenths = tenths;
    fontChanged();
}

void ReadingSession::setNonstop(bool nonstop) {
    m_timerActive = !nonstop;
    m_holdTicks = 0;
    releaseHeldScreen();
    if (nonstop) {
        finishPage();
    }
}

void ReadingSession::setOptions(const interpreter::EngineOptions& next) {
    const interpreter::EngineOptions before = m_story.options;
    m_story.options = next;
    if ((before.playMidi && !next.playMidi) || (before.playWave && !next.playWave) ||
        (before.playOtherMedia && !next.playOtherMedia)) {
        m_channel->onOptionUnchecked();
    }
    if (before.revealAtOnce != next.revealAtOnce) {
        setNonstop(next.revealAtOnce);
    }
    if (before.brightOutline != next.brightOutline || before.lowColour != next.lowColour) {
        m_story.page.layoutDirty = true;
        repaintPage();
    }
}

void ReadingSession::layoutPage() {
    presentation::LayoutInput input;
    input.clientWidth =
        m_ratio == 1.0 ? m_width : (m_fixedColumns + 1) * 2 * m_metrics.cellWidth + kScrollBarWidth;
    input.scrollBarWidth = kScrollBarWidth;
    input.metrics = m_metrics;
    input.textColour = m_story.state.textColour;
    input.contrast = m_story.options.brightOutline;
    input.nonstop = m_story.options.revealAtOnce;
    input.previousRevealCount = m_reveal.revealCount();
    input.previousRevealTotal = m_reveal.revealTotal();
    m_layout = presentation::layoutPage(m_story.page.pageText, input);
    if (m_gridMeasurer && m_ratio != 1.0) {
        // The image holds what it holds at the page's own pixels, the hanging character included.
        const int pageImageWidth = (m_pageCellWidth + 1) * 2 * m_layout.columns + 2;
        m_layout.imageWidth = std::max(
            m_layout.imageWidth, static_cast<int>(std::ceil(pageImageWidth * m_ratio)) + 2 * outlineWidth());
    }
    ++m_layoutVersion;
    m_changes.layoutChanged = true;
    m_reveal.startLayout(m_layout);
    m_story.page.layoutDirty = false;
    m_scroll = 0;
}

void ReadingSession::paintPage() {
    if (m_width <= 0) {
        return;
    }
    // The background goes first; an empty picture never counts as one.
    if (m_background.empty()) {
        m_story.state.background.clear();
    }
    m_changes.fullPaint = true;
    m_changes.uncovered.clear();
    if (m_story.page.pageText.empty() && !m_story.page.layoutDirty) {
        return;
    }
    if (m_story.page.layoutDirty) {
        layoutPage();
    }
    m_changes.uncovered = m_reveal.paintRects(m_scroll, m_visibleHeight);
}

void ReadingSession::refreshPage() {
    const int pageHeight = deviceHeight();
    m_visibleHeight = pageHeight;
    paintPage();
    m_visibleHeight = presentation::visibleHeightFor(pageHeight, m_metrics.lineHeight);
    const presentation::ScrollRange range = presentation::scrollRangeFor(
        std::max(1, m_layout.imageHeight), m_metrics.lineHeight, m_visibleHeight);
    if (range.pageStep > 0) {
        m_range.pageStep = range.pageStep;
        m_range.singleStep = range.singleStep;
    }
    m_range.maximum = range.maximum;
    m_range.enabled = range.enabled;
    if (m_scroll > m_range.maximum) {
        scrollTo(m_range.maximum);
    }
}

void ReadingSession::repaintPage() {
    if (!m_story.page.pageText.empty()) {
        refreshPage();
        return;
    }
    paintPage();
}

void ReadingSession::uncover(const Uncover& rect) {
    if (!m_changes.fullPaint) {
        m_changes.uncovered.push_back(rect);
    } else {
        // A full paint is pending: it draws what is uncovered by then.
        m_changes.uncovered = m_reveal.paintRects(m_scroll, m_visibleHeight);
    }
}

void ReadingSession::tick() {
    // The pauses count on whether or not the reveal timer runs, as a window sleeps them.
    std::vector<std::function<void()>> due;
    for (auto it = m_scheduled.begin(); it != m_scheduled.end();) {
        if (--it->first <= 0) {
            due.push_back(std::move(it->second));
            it = m_scheduled.erase(it);
        } else {
            ++it;
        }
    }
    for (const auto& task : due) {
        task();
    }
    // Notices after the pauses: a pause that one starts counts from the next tick.
    m_tasks.drain();
    comfortTick();
    if (!m_timerActive) {
        return;
    }
    if (m_holdTicks > 0) {
        if (--m_holdTicks == 0) {
            releaseHeldScreen();
        }
        return;
    }
    // The choice buttons' band is in the screen's pixels; the reveal counts in the device's.
    const double buttonRatio = m_buttonRatio.value_or(m_ratio);
    const int buttonBandExtra =
        static_cast<int>(std::lround(presentation::kButtonBandHeight * (buttonRatio - 1.0)));
    const TickResult result = m_reveal.tick(m_scroll, m_visibleHeight - buttonBandExtra);
    if (result.action == TickResult::Action::Uncover) {
        uncover(result.uncover);
    } else if (result.action == TickResult::Action::Scroll) {
        const int before = m_scroll;
        scrollTo(result.scrollTo);
        // At the end of the scroll range the repaint that would show the step never comes.
        if (m_scroll == before) {
            uncover(result.uncover);
        }
    }
    if (result.completed) {
        enableChoices();
    }
}

bool ReadingSession::wantsTicks() const {
    const bool revealing = m_timerActive && !m_reveal.isComplete();
    return revealing || m_holdTicks > 0 || !m_scheduled.empty() || m_autoTicks >= 0 || m_skipTicks > 0 ||
           !m_noticePoster;
}

void ReadingSession::scrollTo(int position) {
    const int clamped = std::clamp(position, 0, std::max(0, m_range.maximum));
    if (clamped == m_scroll) {
        return;
    }
    m_scroll = clamped;
    paintPage();
}

bool ReadingSession::scrollByKey(ScrollKey key) {
    if (!m_range.enabled) {
        return false;
    }
    switch (key) {
        case ScrollKey::PageUp:
            scrollTo(m_scroll - m_range.pageStep);
            break;
        case ScrollKey::PageDown:
            scrollTo(m_scroll + m_range.pageStep);
            break;
        case ScrollKey::Up:
            scrollTo(m_scroll - m_range.singleStep);
            break;
        case ScrollKey::Down:
            scrollTo(m_scroll + m_range.singleStep);
            break;
        case ScrollKey::Home:
            scrollTo(0);
            break;
        case ScrollKey::End:
            scrollTo(m_range.maximum);
            break;
    }
    return true;
}

void ReadingSession::snapScroll() {
    scrollTo(presentation::snapThumb(m_scroll, m_metrics.lineHeight));
}

void ReadingSession::wheel(int delta) {
    if (m_range.enabled) {
        scrollTo(m_scroll + delta * kWheelLines * m_range.singleStep / 120);
    }
}

// --- The story's host ------------------------------------------------------------------------

void ReadingSession::showPicture(const std::string& fileNameSjis) {
    if (pictures::loadPicture(fileNameSjis, baseDir(), m_story.options.lowColour, m_picture)) {
        m_pictureShown = true;
        ++m_pictureVersion;
    }
}

void ReadingSession::hidePicture() {
    if (m_pictureShown) {
        m_pictureShown = false;
        ++m_pictureVersion;
    }
}

bool ReadingSession::loadPicture(const std::string& fileNameSjis) {
    if (!pictures::loadPicture(fileNameSjis, baseDir(), m_story.options.lowColour, m_background)) {
        return false;
    }
    ++m_backgroundVersion;
    return true;
}

bool ReadingSession::playSound(const std::string& fileNameSjis) {
    const bool played = m_channel->playSound(fileNameSjis);
    m_soundOnShow = played ? fileNameSjis : std::string();
    return played;
}

void ReadingSession::stopSound() {
    m_channel->stopSound();
    m_soundOnShow.clear();
}

void ReadingSession::launchProgram(const std::string& commandLineSjis) {
    if (m_launcher) {
        m_launcher(commandLineSjis);
    } else {
        m_changes.programs.push_back(sjisToUtf8(commandLineSjis));
    }
}

void ReadingSession::waitTicks(int ticks) {
    // The run goes on at once; the session then holds back its reveal and the reader's input for
    // as long as a window waiting inside the run would wait here.
    if (ticks <= 0) {
        return;
    }
    if (!m_timerActive) {
        if (m_nonstopSleeper) {
            m_nonstopSleeper(ticks);
        }
        return;
    }
    m_holdTicks += ticks;
    // What the run has drawn so far stays on show through the pause: its background (the text
    // was taken away as the run began) and its picture window.
    if (!m_heldScreen) {
        m_heldScreen = HeldScreen{m_story.state.background,
                                  m_story.state.bgColour,
                                  m_background,
                                  ++m_backgroundVersion,
                                  m_pictureShown && !m_picture.empty(),
                                  m_pictureVersion,
                                  m_visibleButtons,
                                  m_choicesEnabled,
                                  m_story.page.choiceCount};
    }
}

void ReadingSession::releaseHeldScreen() {
    if (!m_heldScreen) {
        return;
    }
    m_heldScreen.reset();
    // The pictures are taken again and everything is drawn as the run ended.
    ++m_backgroundVersion;
    ++m_pictureVersion;
    m_changes.fullPaint = true;
    m_changes.uncovered = m_reveal.paintRects(m_scroll, m_visibleHeight);
}

void ReadingSession::repaint() {
    repaintPage();
}

void ReadingSession::hideChoices() {
    m_visibleButtons = 0;
}

void ReadingSession::prepareChoices() {
    m_visibleButtons = std::clamp(m_story.page.choiceCount, 0, presentation::kChoiceButtons);
    m_choicesEnabled = false;
}

void ReadingSession::enableChoices() {
    // Enabling shows nothing that was hidden, as a window's buttons stay hidden.
    m_choicesEnabled = true;
    m_changes.completed = true;
    m_choiceFocus = focusButton();
    onPageComplete();
}

void ReadingSession::setBusy(bool busy) {
    if (m_busyHandler) {
        m_busyHandler(busy);
    }
}

void ReadingSession::showNotice(const std::string& noticeSjis) {
    m_changes.notices.push_back(sjisToUtf8(noticeSjis));
}

void ReadingSession::reportError(const std::string& messageSjis) {
    m_changes.errors.push_back(sjisToUtf8(messageSjis));
}

// --- Queries ---------------------------------------------------------------------------------

SessionFacts ReadingSession::facts() const {
    SessionFacts f;
    f.projectKnown = m_story.locations.projectKnown();
    f.scriptOpen = m_story.scriptOpen();
    f.quickSaveEnabled = m_quickSaveEnabled;
    f.quickLoadEnabled = m_quickLoadEnabled;
    f.canGoBack = canGoBack();
    f.backlogAvailable = m_history.earlierPageCount() > 0;
    f.hasPageText = !m_story.page.pageText.empty();
    f.heldBack = heldBack();
    f.autoAdvance = m_autoAdvance;
    f.skipping = m_skipping;
    f.options = m_story.options;
    f.revealSpeed = m_reveal.revealSpeed();
    f.lineGapTenths = m_lineGapTenths;
    f.musicVolume = m_musicVolume;
    f.effectVolume = m_effectVolume;
    return f;
}

SessionScreen ReadingSession::screen() const {
    SessionScreen s;
    if (m_heldScreen) {
        const HeldScreen& held = *m_heldScreen;
        s.backgroundEntry = held.background;
        s.bgColour = held.bgColour;
        s.backgroundPicture = &held.picture;
        s.backgroundVersion = held.backgroundVersion;
        s.pictureShown = held.pictureShown;
        s.pictureVersion = held.pictureVersion;
        s.visibleButtons = held.visibleButtons;
        s.choicesEnabled = held.choicesEnabled;
        s.choiceCount = held.choiceCount;
        s.held = true;
    } else {
        s.backgroundEntry = m_story.state.background;
        s.bgColour = m_story.state.bgColour;
        s.backgroundPicture = &m_background;
        s.backgroundVersion = m_backgroundVersion;
        s.pictureShown = m_pictureShown && !m_picture.empty();
        s.pictureVersion = m_pictureVersion;
        s.visibleButtons = m_visibleButtons;
        s.choicesEnabled = m_choicesEnabled;
        s.choiceCount = m_story.page.choiceCount;
    }
    s.picture = &m_picture;
    return s;
}

std::string ReadingSession::buttonCaptionSjis(int k) const {
    const SessionScreen now = screen();
    return presentation::choiceCaptionSjis(k, now.choiceCount, m_story.scriptOpen());
}

std::string ReadingSession::buttonNameSjis(int k) const {
    std::string name = buttonCaptionSjis(k);
    const SessionScreen now = screen();
    // Through a pause the buttons are the page before's, whose choices have gone.
    if (now.held || !m_story.scriptOpen()) {
        return name;
    }
    const int slot = presentation::slotForButton(k, now.choiceCount);
    if (slot < 1 || slot > now.choiceCount) {
        return name;
    }
    const std::string& caption = m_story.page.choices[static_cast<std::size_t>(slot)].caption;
    // A page that offers no choice keeps slot 1's caption from an earlier page (saves hold it
    // so); only an offered single choice is shown, as the page's last line.
    const std::vector<std::string>& text = m_story.page.pageText;
    const bool offered = now.choiceCount > 1 ||
                         (!text.empty() && text.back() == std::string(messages::kFullWidthSpace) + caption);
    if (offered && !caption.empty()) {
        name += ": ";
        name += caption;
    }
    return name;
}

namespace {

std::string joinedLines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) {
            text += '\n';
        }
        text += lines[i];
    }
    return text;
}

}  // namespace

std::string ReadingSession::readableTextSjis() const {
    if (m_heldScreen) {
        return {};
    }
    if (m_reveal.isComplete()) {
        return pageAnnouncementSjis();
    }
    const int count = m_reveal.revealCount();
    return joinedLines(presentation::revealedLines(m_story.page.pageText, m_layout.columns,
                                                   count > 0 ? m_reveal.step(count) : 0));
}

std::string ReadingSession::pageAnnouncementSjis() const {
    return joinedLines(m_story.page.pageText);
}

SessionChanges ReadingSession::takeChanges() {
    const SessionScreen now = screen();
    m_changes.backgroundChanged = now.backgroundVersion != m_lastBackgroundVersion;
    m_changes.pictureChanged = now.pictureVersion != m_lastPictureVersion;
    m_lastBackgroundVersion = now.backgroundVersion;
    m_lastPictureVersion = now.pictureVersion;
    const auto buttons =
        std::make_tuple(now.visibleButtons, now.choicesEnabled, now.choiceCount, m_story.scriptOpen());
    m_changes.buttonsChanged = buttons != m_lastButtons;
    m_lastButtons = buttons;
    m_changes.scrollChanged = m_scroll != m_lastScroll || !(m_range == m_lastRange);
    m_lastScroll = m_scroll;
    m_lastRange = m_range;
    m_changes.heldChanged = heldBack() != m_lastHeld;
    m_lastHeld = heldBack();
    SessionChanges taken = std::move(m_changes);
    m_changes = SessionChanges{};
    return taken;
}

// --- An author's tools -----------------------------------------------------------------------

bool ReadingSession::soundPlaying() const {
    return m_channel->playing();
}

bool ReadingSession::jumpToLabel(const std::string& labelSjis) {
    if (heldBack() || m_opening || !m_story.scriptOpen()) {
        return false;
    }
    const std::int32_t offset = m_story.labels.findLabel(labelSjis);
    if (offset < 0) {
        return false;
    }
    stopAutoAndSkip();
    m_story.state.resumeSkip = false;
    return m_interpreter.goToLabel(story::cutTo(labelSjis, story::kMaxLabelBytes), offset);
}

ReadingSession::Reload ReadingSession::reloadStory() {
    if (heldBack() || m_opening || !m_story.locations.projectKnown() || m_captionSjis.empty()) {
        return Reload::NotNow;
    }
    // Both files are read before anything changes, so a story that cannot be read again goes on.
    story::LabelIndex labels;
    story::ScriptReader script;
    if (!reporting([&] {
            labels.load(m_story.locations.projectFile(".VRJ"));
            script.open(m_story.locations.projectFile(".VRK"));
        })) {
        return Reload::Failed;
    }
    const bool wasOpen = m_story.scriptOpen();
    m_story.labels = std::move(labels);
    m_story.script = std::move(script);
    stopAutoAndSkip();
    m_history.forgetStates();

    story::StoryState& state = m_story.state;
    Reload outcome = Reload::Reloaded;
    std::int32_t offset = m_story.labels.findLabel(state.currentLabel);
    // A page on show resumes as a save does: the state already holds what its head did. After
    // the end the state is the one a new reading starts from, so the first page runs whole.
    state.resumeSkip = wasOpen;
    if (offset < 0) {
        const auto first = m_story.labels.firstLabel();
        state.currentLabel = first ? first->name : std::string();
        offset = m_story.labels.findLabel(state.currentLabel);
        state.resumeSkip = false;
        outcome = wasOpen ? Reload::LabelGone : Reload::Reloaded;
    }
    if (!m_interpreter.goToLabel(state.currentLabel, offset)) {
        return Reload::Failed;
    }
    return outcome;
}

// --- The view menu's comforts ----------------------------------------------------------------

void ReadingSession::pageRunStarting(std::int32_t offset) {
    m_autoTicks = -1;
    m_history.pageRunStarting(m_story.state, offset);
}

void ReadingSession::loadReadMarks() {
    const fs::path marks = m_story.locations.saveFile(kReadMarksExtension);
    if (m_readMarks.file() != marks) {
        m_readMarks.load(marks);
    }
}

void ReadingSession::pageShown(const std::string& labelSjis) {
    loadReadMarks();
    m_shownLabelSjis = labelSjis;
    const bool readBefore = m_readMarks.contains(labelSjis);
    m_readMarks.mark(labelSjis);
    m_history.pageShown(m_story.page.pageText, readBefore);
    ++m_changes.pagesShown;
    m_backlogOpen = false;
    if (!m_skipping) {
        return;
    }
    if (readBefore && singleNextOnShow()) {
        finishPage();
        m_skipTicks = kSkipPauseTicks;
    } else {
        setSkipping(false);
    }
}

bool ReadingSession::singleNextOnShow() const {
    return m_story.scriptOpen() && m_story.page.choiceCount == 1 && !m_story.page.pageText.empty();
}

bool ReadingSession::canGoBack() const {
    return !heldBack() && m_story.scriptOpen() && m_history.canGoBack();
}

bool ReadingSession::goBackOnePage() {
    if (!canGoBack()) {
        return false;
    }
    std::optional<PageRecord> previous = m_history.takeBackStep();
    m_backlogOpen = false;
    m_story.state = *previous->before;
    return m_interpreter.runPageReporting(previous->offset);
}

ReaderMap ReadingSession::readerMap() {
    if (!m_story.locations.projectKnown() || m_story.labels.count() == 0) {
        return {};
    }
    std::span<const char> script = m_story.script.bytes();
    std::optional<std::vector<char>> ended;
    if (!m_story.scriptOpen()) {
        // The story has ended and closed its script: read it as the next reading will.
        ended = tryReadRegularFile(m_story.locations.projectFile(".VRK"), story::kMaxScriptBytes,
                                   OverLimit::Refuse);
        if (!ended) {
            return {};
        }
        script = *ended;
    }
    if (!m_story.locations.saveDir.empty()) {
        loadReadMarks();  // before the first page, the marks of earlier readings
    }
    const storymap::StoryMap story = storymap::buildStoryMap(script, m_story.labels);
    return buildReaderMap(
        story, [&](const std::string& label) { return m_readMarks.contains(label); }, m_story.state,
        m_shownLabelSjis);
}

bool ReadingSession::effectPlaying() const {
    return m_channel->playing() && !m_story.sound.soundIsMusic;
}

void ReadingSession::onPageComplete() {
    if (!m_autoAdvance || m_skipping || !singleNextOnShow()) {
        return;
    }
    m_autoPausing = false;
    m_autoTicks = 0;
}

void ReadingSession::setAutoAdvance(bool on) {
    // A host may pass every option on any change: the same setting again keeps the pause going.
    if (on == m_autoAdvance) {
        return;
    }
    m_autoAdvance = on;
    m_autoTicks = -1;
    if (on && m_reveal.isComplete()) {
        onPageComplete();
    }
}

void ReadingSession::setSkipping(bool skipping) {
    m_skipping = skipping;
    m_skipTicks = 0;
    if (!skipping) {
        return;
    }
    m_autoTicks = -1;
    // The page on show has been seen: skipping starts with it, unless it asks for a choice.
    if (singleNextOnShow() && !heldBack()) {
        finishPage();
        m_skipTicks = kSkipPauseTicks;
    } else {
        m_skipping = false;
    }
}

void ReadingSession::stopAutoAndSkip() {
    m_autoAdvance = false;
    m_autoTicks = -1;
    if (m_skipping) {
        setSkipping(false);
    }
}

void ReadingSession::comfortTick() {
    // A skipped page goes on once the pause after its sound effect is over too.
    if (m_skipTicks > 0 && !heldBack() && --m_skipTicks == 0 && m_skipping && singleNextOnShow()) {
        m_interpreter.selectChoice(1);
    }
    if (m_autoTicks > 0) {
        --m_autoTicks;
    }
    if (m_autoTicks == 0) {
        onAutoAdvanceTick();
    }
}

PadAction ReadingSession::pressPadButton(PadButton button) {
    PadFacts facts;
    facts.backlogOpen = m_backlogOpen;
    facts.choicesEnabled = m_choicesEnabled && !heldBack();
    facts.focus = choiceFocus();
    facts.pageAtTop = atTop();
    const PadAction action = padAction(button, facts);
    using Kind = PadAction::Kind;
    // A press is the reader's input like a key, except the presses that turn these over.
    const bool turnsComfortOver =
        action.kind == Kind::MenuItem && (action.item == MenuId::AutoAdvance || action.item == MenuId::Skip);
    if (action.kind != Kind::None && !turnsComfortOver) {
        stopAutoAndSkip();
    }
    switch (action.kind) {
        case Kind::FocusPrevious:
        case Kind::FocusNext:
            if (facts.choicesEnabled) {
                // Buttons count from the right, and the first choice sits on the left.
                const int step = action.kind == Kind::FocusPrevious ? 1 : -1;
                const int moved = std::clamp(facts.focus + step, 1, std::max(1, m_visibleButtons));
                m_changes.focusChanged = m_changes.focusChanged || moved != facts.focus;
                m_choiceFocus = moved;
            }
            break;
        case Kind::FinishPage:
            clickPage();
            break;
        case Kind::ScrollPage:
            scrollByKey(action.amount < 0 ? ScrollKey::PageUp : ScrollKey::PageDown);
            break;
        default:
            break;
    }
    return action;
}

// First the page's sound effect has to end, then the pause for its length runs, then the page
// goes on as its "Next" would.
void ReadingSession::onAutoAdvanceTick() {
    m_autoTicks = -1;
    if (!m_autoAdvance || !singleNextOnShow()) {
        return;
    }
    // Nothing goes on behind the backlog either.
    if (heldBack() || effectPlaying() || m_backlogOpen) {
        m_autoPausing = false;
        m_autoTicks = kSoundPollTicks;
        return;
    }
    if (!m_autoPausing) {
        m_autoPausing = true;
        m_autoTicks = ticksFor(autoAdvanceDelayMs(m_story.page.pageText));
        return;
    }
    m_autoPausing = false;
    m_interpreter.selectChoice(1);
}

}  // namespace vrk::app
