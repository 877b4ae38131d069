#include "web/binding/web_story_host.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "common/errors.h"
#include "common/sjis.h"
#include "pictures/background.h"
#include "pictures/picture_loader.h"
#include "presentation/choices.h"
#include "presentation/text_compose.h"
#include "sound/null_sound_backend.h"
#include "sound/sound_channel.h"

namespace vrk::web {

namespace {

namespace fs = std::filesystem;
using presentation::TickResult;
using presentation::Uncover;

// The window's timings in ticks of the page's 55 ms timer, rounded up.
constexpr int kTickMs = 55;
constexpr int ticksFor(int ms) {
    return std::max(1, (ms + kTickMs - 1) / kTickMs);
}
// How often auto-advance looks whether a sound effect has ended.
constexpr int kSoundPollTicks = ticksFor(100);
// The moment a skipped page stays on show.
constexpr int kSkipPauseTicks = ticksFor(60);
// Read marks, one label a line, beside the slots (the page keeps them with the slots).
constexpr const char* kReadMarksExtension = ".VRR";

// A small JSON writer: the page reads state() with JSON.parse.
class Json {
public:
    Json& key(std::string_view name) {
        comma();
        quoted(name);
        m_out << ':';
        m_first = true;
        return *this;
    }
    Json& string(std::string_view utf8) {
        comma();
        quoted(utf8);
        return *this;
    }

private:
    void quoted(std::string_view utf8) {
        m_out << '"';
        for (const char c : utf8) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                m_out << '\\' << c;
            } else if (u < 0x20) {
                static constexpr char kHex[] = "0123456789abcdef";
                m_out << "\\u00" << kHex[u >> 4] << kHex[u & 15];
            } else {
                m_out << c;
            }
        }
        m_out << '"';
    }

public:
    Json& number(long long n) {
        comma();
        m_out << n;
        return *this;
    }
    Json& boolean(bool b) {
        comma();
        m_out << (b ? "true" : "false");
        return *this;
    }
    Json& open(char bracket) {
        comma();
        m_out << bracket;
        m_first = true;
        return *this;
    }
    Json& close(char bracket) {
        m_out << bracket;
        m_first = false;
        return *this;
    }
    Json& rgb(pictures::Rgb c) { return open('[').number(c.r).number(c.g).number(c.b).close(']'); }
    Json& rect(const pictures::Rect& r) {
        return open('[').number(r.left).number(r.top).number(r.right).number(r.bottom).close(']');
    }
    std::string str() const { return m_out.str(); }

private:
    void comma() {
        if (!m_first) {
            m_out << ',';
        }
        m_first = false;
    }
    std::ostringstream m_out;
    bool m_first = true;
};

pictures::Rgb fromBgr(std::uint32_t bgr) {
    return {static_cast<std::uint8_t>(bgr & 0xFF), static_cast<std::uint8_t>((bgr >> 8) & 0xFF),
            static_cast<std::uint8_t>((bgr >> 16) & 0xFF)};
}

void toRgba(const pictures::Bitmap& bitmap, int top, int rows, std::vector<std::uint8_t>& out) {
    top = std::clamp(top, 0, bitmap.height());
    const int bottom = top + std::clamp(rows, 0, bitmap.height() - top);
    out.assign(static_cast<std::size_t>(bitmap.width()) * static_cast<std::size_t>(bottom - top) * 4, 255);
    std::size_t at = 0;
    for (int y = top; y < bottom; ++y) {
        for (int x = 0; x < bitmap.width(); ++x, at += 4) {
            const pictures::Rgb c = bitmap.pixel(x, y);
            out[at] = c.r;
            out[at + 1] = c.g;
            out[at + 2] = c.b;
        }
    }
}

}  // namespace

WebStoryHost::WebStoryHost(fs::path programDir, ScaledMeasurer measurer)
    : m_programDir(std::move(programDir)), m_measurer(std::move(measurer)), m_interpreter(m_story, *this) {
    m_story.locations.programDir = m_programDir;
    m_interpreter.setObserver(this);
    setSoundBackend(std::make_unique<sound::NullSoundBackend>());
}

WebStoryHost::~WebStoryHost() {
    m_scheduled.clear();
    m_channel.reset();
}

void WebStoryHost::setSoundBackend(std::unique_ptr<sound::SoundBackend> backend) {
    // The channel goes first: it closes the old player on its way out.
    m_channel.reset();
    m_backend = std::move(backend);
    m_channel = std::make_unique<sound::SoundChannel>(*m_backend, m_story.sound, baseDir());
    // Notices are handled on the next tick, never inside the call that gave them; the pause
    // before a music repeat is counted in ticks rather than waited for.
    m_channel->setPoster(m_tasks.poster());
    m_channel->setTickTimer([this](int ticks, std::function<void()> then) {
        m_scheduled.emplace_back(std::max(0, ticks), std::move(then));
    });
}

fs::path WebStoryHost::baseDir() const {
    return m_story.locations.projectKnown() ? m_story.locations.projectDir : m_programDir;
}

bool WebStoryHost::reporting(const std::function<void()>& step) {
    return app::runReporting(step, [this](const std::string& messageSjis) { reportError(messageSjis); });
}

bool WebStoryHost::setProject(const std::string& projectFile) {
    const auto project = app::projectFromArgument(projectFile);
    if (!project) {
        m_errors.push_back(projectFile + ": no project (no .vrk file of that name)");
        return false;
    }
    m_story.locations.projectDir = project->projectDir;
    m_story.locations.baseName = project->baseName;
    m_channel->setBaseDir(project->projectDir);
    m_opening = std::make_unique<app::ProjectOpening>(m_story, m_interpreter, *this);
    return true;
}

bool WebStoryHost::chooseSaveDirectory() {
    return m_opening && reporting([&] { m_opening->chooseSaveDirectory(); });
}

bool WebStoryHost::describeSlot(int slot, app::SlotView& view) {
    return m_opening && reporting([&] { view = m_opening->describeSlot(slot); });
}

bool WebStoryHost::eraseSlot(app::SlotView& view) {
    return m_opening && reporting([&] { view = m_opening->eraseSlot(); });
}

bool WebStoryHost::loadSlot() {
    return m_opening && reporting([&] { m_opening->loadSlot(); });
}

std::vector<int> WebStoryHost::namesToAsk() const {
    return m_opening ? m_opening->namesToAsk() : std::vector<int>{};
}

std::string WebStoryHost::namePromptSjis(int i) const {
    return m_opening ? m_opening->namePromptSjis(i) : std::string();
}

std::string WebStoryHost::defaultNameSjis(int i) const {
    return i >= 0 && static_cast<std::size_t>(i) < m_story.state.names.size()
               ? m_story.state.names[static_cast<std::size_t>(i)]
               : std::string();
}

bool WebStoryHost::setName(int i, const std::string& nameSjis) {
    return m_opening && m_opening->setName(i, nameSjis);
}

bool WebStoryHost::start() {
    if (!m_opening) {
        return false;
    }
    const bool started = reporting([&] { m_opening->start(); });
    if (started) {
        m_quickLoadEnabled = app::quickSaveExists(m_story);
        m_captionSjis = m_opening->windowCaptionSjis();
    }
    m_opening.reset();
    return started;
}

void WebStoryHost::flush() {
    m_channel->stopSound();
    m_interpreter.flushProject();
}

bool WebStoryHost::chooseKey(int keyCode) {
    if (heldBack()) {
        return false;
    }
    const auto slot = presentation::choiceKeySlot(keyCode, m_story.scriptOpen(), m_visibleButtons);
    return slot && m_interpreter.selectChoice(*slot);
}

bool WebStoryHost::clickButton(int k) {
    if (heldBack() || k < 1 || k > m_visibleButtons || !m_choicesEnabled) {
        return true;
    }
    if (!m_story.scriptOpen()) {
        return false;
    }
    m_interpreter.selectChoice(presentation::slotForButton(k, m_story.page.choiceCount));
    return true;
}

void WebStoryHost::clickPage() {
    if (m_story.page.pageText.empty()) {
        return;
    }
    m_reveal.finish();
    repaintPage();
    enableChoices();
}

bool WebStoryHost::quickSave() {
    if (heldBack() || !m_story.scriptOpen()) {
        return false;
    }
    if (app::quickSave(m_story, *this)) {
        m_quickLoadEnabled = true;
        return true;
    }
    return false;
}

void WebStoryHost::quickLoad() {
    if (heldBack() || !m_quickLoadEnabled) {
        return;
    }
    // Going back stops at the loaded page; its text before stays in the backlog.
    m_history.forgetStates();
    reporting([&] { app::quickLoad(m_story, m_interpreter, *this); });
}

void WebStoryHost::setPageSize(int width, int height, double ratio) {
    m_width = std::max(1, width);
    m_height = std::max(1, height);
    m_ratio = ratio > 0 ? ratio : 1.0;
    fontChanged();
}

int WebStoryHost::deviceWidth() const {
    return static_cast<int>(std::lround(m_width * m_ratio));
}

int WebStoryHost::deviceHeight() const {
    return static_cast<int>(std::lround(m_height * m_ratio));
}

void WebStoryHost::updateMetrics() {
    m_metrics = presentation::measureFont(*m_measurer(m_ratio), m_lineGapTenths);
    // At another pixel ratio the text is drawn sharp at the device's pixels, with the lines
    // broken where the page at its own size breaks them.
    const int cell = m_ratio == 1.0 ? m_metrics.cellWidth
                                    : presentation::measureFont(*m_measurer(1.0), m_lineGapTenths).cellWidth;
    m_fixedColumns = presentation::columnsFor(m_width, kScrollBarWidth, cell);
}

void WebStoryHost::fontChanged() {
    updateMetrics();
    m_story.page.layoutDirty = true;
    repaintPage();
}

void WebStoryHost::setLineGapTenths(int tenths) {
    m_lineGapTenths = tenths;
    fontChanged();
}

void WebStoryHost::setNonstop(bool nonstop) {
    m_timerActive = !nonstop;
    m_holdTicks = 0;
    releaseHeldScreen();
    if (nonstop) {
        clickPage();
    }
}

void WebStoryHost::layoutPage() {
    presentation::LayoutInput input;
    input.clientWidth =
        m_ratio == 1.0 ? m_width : (m_fixedColumns + 1) * 2 * m_metrics.cellWidth + kScrollBarWidth;
    input.scrollBarWidth = kScrollBarWidth;
    input.metrics = m_metrics;
    input.textColour = m_story.state.textColour;
    input.contrast = m_story.options.contrast;
    input.nonstop = m_story.options.nonstop;
    input.previousRevealCount = m_reveal.revealCount();
    input.previousRevealTotal = m_reveal.revealTotal();
    m_layout = presentation::layoutPage(m_story.page.pageText, input);
    ++m_layoutVersion;
    m_reveal.startLayout(m_layout);
    m_story.page.layoutDirty = false;
    m_scroll = 0;
}

void WebStoryHost::paintPage() {
    if (m_width <= 0) {
        return;
    }
    // The background goes first; an empty picture never counts as one.
    if (m_background.empty()) {
        m_story.state.background.clear();
    }
    m_fullPaint = true;
    m_uncovers.clear();
    if (m_story.page.pageText.empty() && !m_story.page.layoutDirty) {
        return;
    }
    if (m_story.page.layoutDirty) {
        layoutPage();
    }
    m_uncovers = m_reveal.paintRects(m_scroll, m_visibleHeight);
}

void WebStoryHost::refreshPage() {
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

void WebStoryHost::repaintPage() {
    if (!m_story.page.pageText.empty()) {
        refreshPage();
        return;
    }
    paintPage();
}

void WebStoryHost::uncover(const Uncover& rect) {
    if (!m_fullPaint) {
        m_uncovers.push_back(rect);
    } else {
        // A full paint is pending: it draws what is uncovered by then.
        m_uncovers = m_reveal.paintRects(m_scroll, m_visibleHeight);
    }
}

void WebStoryHost::tick() {
    // The pauses count on whether or not the reveal timer runs, as the window sleeps them.
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
    const TickResult result = m_reveal.tick(m_scroll, m_visibleHeight);
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

void WebStoryHost::scrollTo(int position) {
    const int clamped = std::clamp(position, 0, std::max(0, m_range.maximum));
    if (clamped == m_scroll) {
        return;
    }
    m_scroll = clamped;
    paintPage();
}

bool WebStoryHost::scrollByKey(ScrollKey key) {
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

void WebStoryHost::snapScroll() {
    scrollTo(presentation::snapThumb(m_scroll, m_metrics.lineHeight));
}

void WebStoryHost::wheel(int delta) {
    if (m_range.enabled) {
        scrollTo(m_scroll + delta * kWheelLines * m_range.singleStep / 120);
    }
}

void WebStoryHost::showPicture(const std::string& fileNameSjis) {
    if (pictures::loadPicture(fileNameSjis, baseDir(), m_story.options.lowRes, m_picture)) {
        m_pictureShown = true;
        ++m_pictureVersion;
    }
}

void WebStoryHost::hidePicture() {
    if (m_pictureShown) {
        m_pictureShown = false;
        ++m_pictureVersion;
    }
}

bool WebStoryHost::loadPicture(const std::string& fileNameSjis) {
    if (!pictures::loadPicture(fileNameSjis, baseDir(), m_story.options.lowRes, m_background)) {
        return false;
    }
    ++m_backgroundVersion;
    return true;
}

bool WebStoryHost::playSound(const std::string& fileNameSjis) {
    return m_channel->playSound(fileNameSjis);
}

void WebStoryHost::stopSound() {
    m_channel->stopSound();
}

void WebStoryHost::launchProgram(const std::string& commandLineSjis) {
    // A browser starts no programs; the page names the one the story asked for.
    m_programs.push_back(sjisToUtf8(commandLineSjis));
}

void WebStoryHost::waitTicks(int ticks) {
    // The run goes on at once; the page then holds back its reveal and the reader's input for
    // as long as the window would have waited here.
    if (!m_timerActive || ticks <= 0) {
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

void WebStoryHost::releaseHeldScreen() {
    if (!m_heldScreen) {
        return;
    }
    m_heldScreen.reset();
    // The page asks for the pictures again and draws everything as the run ended.
    ++m_backgroundVersion;
    ++m_pictureVersion;
    m_fullPaint = true;
    m_uncovers = m_reveal.paintRects(m_scroll, m_visibleHeight);
}

void WebStoryHost::repaint() {
    repaintPage();
}

void WebStoryHost::hideChoices() {
    m_visibleButtons = 0;
}

void WebStoryHost::prepareChoices() {
    m_visibleButtons = std::clamp(m_story.page.choiceCount, 0, presentation::kChoiceButtons);
    m_choicesEnabled = false;
}

void WebStoryHost::enableChoices() {
    // Enabling shows nothing that was hidden, as the window's buttons stay hidden.
    m_choicesEnabled = true;
    m_completed = true;
    onPageComplete();
}

void WebStoryHost::showAboutComment(const std::string& commentSjis) {
    m_abouts.push_back(sjisToUtf8(commentSjis));
}

void WebStoryHost::reportError(const std::string& messageSjis) {
    m_errors.push_back(sjisToUtf8(messageSjis));
}

const std::vector<std::uint8_t>& WebStoryHost::picturePixels(int which, int top, int rows) {
    const pictures::Bitmap& background = m_heldScreen ? m_heldScreen->picture : m_background;
    toRgba(which == 0 ? background : m_picture, top, rows, m_pixels);
    return m_pixels;
}

std::string WebStoryHost::state() {
    Json j;
    j.open('{');
    j.key("caption").string(sjisToUtf8(m_captionSjis));
    j.key("scriptOpen").boolean(m_story.scriptOpen());
    j.key("projectKnown").boolean(m_story.locations.projectKnown());
    j.key("quickLoad").boolean(m_quickLoadEnabled);
    j.key("held").boolean(heldBack());
    j.key("layoutVersion").number(m_layoutVersion);
    j.key("ratio").number(static_cast<long long>(std::lround(m_ratio * 1000)));

    // The background of the text area, in CSS pixels.
    const int areaWidth = std::max(0, m_width - kScrollBarWidth);
    j.key("background").open('{');
    const HeldScreen* held = m_heldScreen ? &*m_heldScreen : nullptr;
    const pictures::Bitmap& picture = held ? held->picture : m_background;
    const std::uint8_t bgColour = held ? held->bgColour : m_story.state.bgColour;
    j.key("version").number(held ? held->backgroundVersion : m_backgroundVersion);
    const std::string& entry = held ? held->background : m_story.state.background;
    const pictures::BackgroundKind kind = pictures::backgroundKind(entry);
    j.key("width").number(areaWidth).key("height").number(m_height);
    j.key("colour").rgb(pictures::backgroundColour(bgColour));
    j.key("watermark").rgb(pictures::watermarkColour(bgColour, m_story.options.lowRes));
    if (kind == pictures::BackgroundKind::Colour || picture.empty()) {
        j.key("kind").string("colour");
        j.key("marks").open('[');
        for (const pictures::Point& p : pictures::watermarkPositions(areaWidth, m_height)) {
            j.open('[').number(p.x).number(p.y).close(']');
        }
        j.close(']');
    } else if (kind == pictures::BackgroundKind::Tiled) {
        j.key("kind").string("tiled");
    } else {
        j.key("kind").string("stretched");
        const pictures::StretchPlacement placement =
            pictures::stretchPlacement(areaWidth, m_height, picture.width(), picture.height());
        j.key("picture").rect(placement.picture);
        j.key("bars").open('[').rect(placement.firstBar).rect(placement.secondBar).close(']');
        j.key("barColour").rgb(picture.pixel(0, 0));
    }
    j.key("pictureWidth").number(picture.width()).key("pictureHeight").number(picture.height());
    j.close('}');

    j.key("picture").open('{');
    j.key("version").number(held ? held->pictureVersion : m_pictureVersion);
    j.key("shown").boolean(held ? held->pictureShown : m_pictureShown && !m_picture.empty());
    j.key("width").number(m_picture.width()).key("height").number(m_picture.height());
    j.close('}');

    const int buttons = held ? held->visibleButtons : m_visibleButtons;
    const int choiceCount = held ? held->choiceCount : m_story.page.choiceCount;
    j.key("choices").open('{');
    j.key("visible").number(buttons).key("enabled").boolean(held ? held->choicesEnabled : m_choicesEnabled);
    j.key("captions").open('[');
    for (int k = 1; k <= buttons; ++k) {
        j.string(sjisToUtf8(presentation::choiceCaptionSjis(k, choiceCount, m_story.scriptOpen())));
    }
    j.close(']');
    j.key("rects").open('[');
    for (int k = 1; k <= buttons; ++k) {
        const presentation::Rect r = presentation::choiceButtonRect(k, m_width, m_height, kScrollBarWidth);
        j.open('[').number(r.left).number(r.top).number(r.width).number(r.height).close(']');
    }
    j.close(']');
    j.close('}');

    std::string text;
    for (const std::string& line : m_story.page.pageText) {
        text += sjisToUtf8(line);
        text += '\n';
    }
    j.key("text").string(text);

    j.key("scroll").open('{');
    j.key("value").number(m_scroll).key("max").number(m_range.maximum);
    j.key("pageStep").number(m_range.pageStep).key("singleStep").number(m_range.singleStep);
    j.key("enabled").boolean(m_range.enabled);
    j.close('}');

    j.key("paint").open('{');
    j.key("full").boolean(m_fullPaint);
    j.key("rects").open('[');
    for (const Uncover& u : m_uncovers) {
        j.open('[').number(u.source.left).number(u.source.top).number(u.source.width).number(u.source.height);
        j.number(u.windowX).number(u.windowY).close(']');
    }
    j.close(']');
    j.close('}');
    j.key("completed").boolean(m_completed);
    j.key("pagesShown").number(m_pagesShown);
    j.key("canGoBack").boolean(canGoBack());
    j.key("backlogPages").number(static_cast<long long>(m_history.earlierPageCount()));
    j.key("skipping").boolean(m_skipping);
    j.key("autoAdvance").boolean(m_autoAdvance);
    j.key("revealed").boolean(m_reveal.isComplete());

    const auto list = [&](std::string_view name, std::vector<std::string>& items) {
        j.key(name).open('[');
        for (const std::string& item : items) {
            j.string(item);
        }
        j.close(']');
        items.clear();
    };
    list("programs", m_programs);
    list("errors", m_errors);
    list("abouts", m_abouts);
    j.close('}');
    m_fullPaint = false;
    m_uncovers.clear();
    m_completed = false;
    return j.str();
}

// --- The view menu's comforts ----------------------------------------------------------------

void WebStoryHost::pageRunStarting(std::int32_t offset) {
    m_autoTicks = -1;
    m_history.pageRunStarting(m_story.state, offset);
}

void WebStoryHost::pageShown(const std::string& labelSjis) {
    const fs::path marks = m_story.locations.saveFile(kReadMarksExtension);
    if (m_readMarks.file() != marks) {
        m_readMarks.load(marks);
    }
    const bool readBefore = m_readMarks.contains(labelSjis);
    m_readMarks.mark(labelSjis);
    m_history.pageShown(m_story.page.pageText, readBefore);
    ++m_pagesShown;
    m_backlogOpen = false;
    if (!m_skipping) {
        return;
    }
    if (readBefore && singleNextOnShow()) {
        clickPage();
        m_skipTicks = kSkipPauseTicks;
    } else {
        setSkipping(false);
    }
}

bool WebStoryHost::singleNextOnShow() const {
    return m_story.scriptOpen() && m_story.page.choiceCount == 1 && !m_story.page.pageText.empty();
}

bool WebStoryHost::canGoBack() const {
    return !heldBack() && m_story.scriptOpen() && m_history.canGoBack();
}

bool WebStoryHost::goBackOnePage() {
    if (!canGoBack()) {
        return false;
    }
    std::optional<app::PageRecord> previous = m_history.takeBackStep();
    m_backlogOpen = false;
    m_story.state = *previous->before;
    return m_interpreter.runPageReporting(previous->offset);
}

std::string WebStoryHost::backlogJson() const {
    Json j;
    j.open('[');
    for (std::size_t i = 0; i < m_history.earlierPageCount(); ++i) {
        j.open('[');
        for (const std::string& line : m_history.pages()[i].textSjis) {
            j.string(sjisToUtf8(line));
        }
        j.close(']');
    }
    j.close(']');
    return j.str();
}

bool WebStoryHost::effectPlaying() const {
    return m_channel->playing() && !m_story.sound.soundIsMusic;
}

void WebStoryHost::onPageComplete() {
    if (!m_autoAdvance || m_skipping || !singleNextOnShow()) {
        return;
    }
    m_autoPausing = false;
    m_autoTicks = 0;
}

void WebStoryHost::setAutoAdvance(bool on) {
    // The page passes every option on any change: the same setting again keeps the pause going.
    if (on == m_autoAdvance) {
        return;
    }
    m_autoAdvance = on;
    m_autoTicks = -1;
    if (on && m_reveal.isComplete()) {
        onPageComplete();
    }
}

void WebStoryHost::setSkipping(bool skipping) {
    m_skipping = skipping;
    m_skipTicks = 0;
    if (!skipping) {
        return;
    }
    m_autoTicks = -1;
    // The page on show has been seen: skipping starts with it, unless it asks for a choice.
    if (singleNextOnShow() && !heldBack()) {
        clickPage();
        m_skipTicks = kSkipPauseTicks;
    } else {
        m_skipping = false;
    }
}

void WebStoryHost::stopAutoAndSkip() {
    m_autoAdvance = false;
    m_autoTicks = -1;
    if (m_skipping) {
        setSkipping(false);
    }
}

void WebStoryHost::comfortTick() {
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

// First the page's sound effect has to end, then the pause for its length runs, then the page
// goes on as its "Next" would.
void WebStoryHost::onAutoAdvanceTick() {
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
        m_autoTicks = ticksFor(app::autoAdvanceDelayMs(m_story.page.pageText));
        return;
    }
    m_autoPausing = false;
    m_interpreter.selectChoice(1);
}

std::string WebStoryHost::layoutJson() const {
    Json j;
    j.open('{');
    j.key("version").number(m_layoutVersion);
    j.key("width").number(m_layout.imageWidth).key("height").number(m_layout.imageHeight);
    j.key("cellWidth").number(m_metrics.cellWidth).key("lineHeight").number(m_metrics.lineHeight);
    j.key("text").rgb(fromBgr(m_layout.colours.text)).key("outline").rgb(fromBgr(m_layout.colours.outline));
    j.key("lines").open('[');
    const auto& lines = m_layout.lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int top = lines[i].row * m_layout.metrics.lineHeight;
        if (top >= m_layout.imageHeight) {
            break;  // lines beyond the estimated height are not shown
        }
        j.open('{').key("top").number(top).key("chars").open('[');
        const presentation::DisplayLine* next = i + 1 < lines.size() ? &lines[i + 1] : nullptr;
        for (const presentation::DrawnCharacter& c : presentation::drawnCharacters(lines[i], next)) {
            j.open('[').number(static_cast<long long>(c.byte) * m_layout.metrics.cellWidth);
            j.string(sjisToUtf8(c.bytesSjis)).close(']');
        }
        j.close(']').close('}');
    }
    j.close(']');
    j.close('}');
    return j.str();
}

const std::vector<std::uint8_t>& WebStoryHost::composeText(const std::uint8_t* coverage, int top,
                                                           int bottom) {
    const int width = std::max(0, m_layout.imageWidth);
    top = std::clamp(top, 0, std::max(0, m_layout.imageHeight));
    bottom = std::clamp(bottom, top, std::max(0, m_layout.imageHeight));
    const int rows = bottom - top;
    std::vector<std::uint32_t> text(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows));
    const std::size_t maskStride = (static_cast<std::size_t>(width) + 7) / 8;
    std::vector<std::uint8_t> mask(maskStride * static_cast<std::size_t>(rows));
    if (width > 0 && rows > 0) {
        const int coverageTop = std::max(0, top - 2);
        presentation::composeText(
            {coverage, static_cast<std::size_t>(width), width, coverageTop, bottom - coverageTop}, top,
            bottom, m_layout.colours,
            {text.data(), static_cast<std::size_t>(width), mask.data(), maskStride});
    }
    // RGBA; the alpha says how the pixel goes onto the page: 255 replaces it, 0 is ORed into it
    // (the mask keeps the page's pixel there).
    m_pixels.resize(text.size() * 4);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::uint32_t p = text[i];
        const std::size_t x = i % static_cast<std::size_t>(width);
        const bool keep =
            (mask[(i / static_cast<std::size_t>(width)) * maskStride + x / 8] >> (7 - x % 8) & 1) != 0;
        m_pixels[4 * i] = static_cast<std::uint8_t>(p >> 16);
        m_pixels[4 * i + 1] = static_cast<std::uint8_t>(p >> 8);
        m_pixels[4 * i + 2] = static_cast<std::uint8_t>(p);
        m_pixels[4 * i + 3] = keep ? 0 : 255;
    }
    return m_pixels;
}

}  // namespace vrk::web
