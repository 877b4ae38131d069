// The page's way into the player: the terminal front end driven one input line at a time.
// The page writes the project's files into the in-memory file system, opens it here and gets
// back the same report the terminal prints (@page, "| " lines, @choices / @end).

#include <emscripten.h>
#include <emscripten/bind.h>
#include <emscripten/em_js.h>
#include <emscripten/val.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/page_model.h"
#include "app/settings_file.h"
#include "app/terminal_front_end.h"
#include "common/json_writer.h"
#include "common/sjis.h"
#include "pictures/background.h"
#include "pictures/picture_placement.h"
#include "sound/web/page_audio.h"
#include "sound/web/web_sound_backend.h"
#include "web/binding/web_story_host.h"

namespace {

struct Session {
    std::istringstream names;
    std::ostringstream out;
    std::ostringstream err;
    std::unique_ptr<vrk::app::TerminalFrontEnd> frontEnd;
    bool open = false;
};

std::unique_ptr<Session> g_session;

// What the front end printed since the last call, errors after the report.
std::string takeReport() {
    std::string report = g_session->out.str() + g_session->err.str();
    g_session->out.str({});
    g_session->err.str({});
    return report;
}

/// Opens PROJECT_FILE in slot 1-4; names are answered with their defaults. A seed of 0 draws
/// the random letters from the device. Returns the first report, or the reason it failed.
std::string terminalOpen(const std::string& projectFile, int slot, std::uint32_t seed) {
    if (g_session && g_session->open) {
        g_session->frontEnd->finish();
    }
    g_session = std::make_unique<Session>();
    g_session->names.str(std::string(9, '\n'));
    vrk::app::TerminalOptions options;
    options.projectFile = projectFile;
    options.slot = slot;
    if (seed != 0) {
        options.seed = seed;
    }
    options.programDir = "/";
    g_session->frontEnd = std::make_unique<vrk::app::TerminalFrontEnd>(std::move(options), g_session->names,
                                                                       g_session->out, g_session->err);
    g_session->open = g_session->frontEnd->start();
    return takeReport();
}

/// Hands one input line to the open story (a choice key, "", ":save", ":load" or ":quit") and
/// returns what it printed; once the story ends or quits, it is written back to its slot.
std::string terminalInput(const std::string& line) {
    if (!g_session || !g_session->open) {
        return "";
    }
    if (!g_session->frontEnd->step(line)) {
        g_session->frontEnd->finish();
        g_session->open = false;
    }
    return takeReport();
}

// The reading page proper: a WebStoryHost the canvas page drives. Text is measured by the
// page's canvas (Module.vrkMeasure), so the layout is the window's rule with the browser's metrics.

}  // namespace

// clang-format off
EM_JS(int, jsTextWidth, (const char* text, double scale), {
    return Module.vrkMeasure.width(UTF8ToString(text), scale);
});
EM_JS(int, jsTextHeight, (const char* text, double scale), {
    return Module.vrkMeasure.height(UTF8ToString(text), scale);
});
// clang-format on

namespace {

class CanvasMeasurer : public vrk::presentation::TextMeasurer {
public:
    explicit CanvasMeasurer(double scale) : m_scale(scale) {}
    int textWidth(std::string_view textSjis) const override {
        return jsTextWidth(vrk::sjisToUtf8(textSjis).c_str(), m_scale);
    }
    int textHeight(std::string_view textSjis) const override {
        return jsTextHeight(vrk::sjisToUtf8(textSjis).c_str(), m_scale);
    }

private:
    double m_scale;
};

using vrk::web::WebStoryHost;

// The page's audio (sound.mjs through Module.vrkSound), shared by every host the page makes.
vrk::web::ScriptPageAudio g_audio;

// The host the page makes (new Module.WebStoryHost()) and deletes; the page's audio reports the
// ends of its sounds to the newest one's back end, and to none once that one is gone.
class PageHost : public WebStoryHost {
public:
    PageHost() : WebStoryHost("/", [](double scale) { return std::make_unique<CanvasMeasurer>(scale); }) {
        auto backend = std::make_unique<vrk::web::WebSoundBackend>(g_audio);
        s_reported = backend.get();
        vrk::web::setReportedBackend(backend.get());
        setSoundBackend(std::move(backend));
    }
    ~PageHost() override {
        if (s_reported != nullptr && s_owner == this) {
            vrk::web::setReportedBackend(nullptr);
            s_reported = nullptr;
        }
    }
    static WebStoryHost* create() {
        auto* host = new PageHost();
        s_owner = host;
        return host;
    }

private:
    static inline vrk::web::WebSoundBackend* s_reported = nullptr;
    static inline const PageHost* s_owner = nullptr;
};

std::string slotJson(bool ok, const vrk::app::SlotView& view) {
    vrk::Json json;
    json.open('{').field("ok", ok).field("caption", vrk::sjisToUtf8(view.captionSjis));
    json.field("comment", vrk::sjisToUtf8(view.commentSjis)).field("fresh", view.fresh).close('}');
    return json.take();
}

// Opening: setProject also chooses the save directory, as the window does next.
bool setProject(WebStoryHost& host, const std::string& projectFile) {
    return host.setProject(projectFile) && host.chooseSaveDirectory();
}

/// The route map of the pages read so far, laid out (app/page_model.h has its form).
std::string readerMapJson(WebStoryHost& host) {
    return vrk::app::readerMapJson(host.readerMap());
}

/// Slot n (1-4) described and made current, as {"ok", "caption", "comment", "fresh"}.
std::string describeSlot(WebStoryHost& host, int slot) {
    vrk::app::SlotView view;
    const bool ok = host.describeSlot(slot, view);
    return slotJson(ok, view);
}

std::string eraseSlot(WebStoryHost& host) {
    vrk::app::SlotView view;
    const bool ok = host.eraseSlot(view);
    return slotJson(ok, view);
}

/// The names to ask: [{index, prompt, name}], prompt as the question shown.
std::string namesJson(const WebStoryHost& host) {
    vrk::Json json;
    json.open('[');
    for (const int i : host.namesToAsk()) {
        json.open('{').field("index", i).field("prompt", vrk::sjisToUtf8(host.namePromptSjis(i)));
        json.field("name", vrk::sjisToUtf8(host.defaultNameSjis(i))).close('}');
    }
    return json.close(']').take();
}

bool setName(vrk::app::ReadingSession& session, int i, const std::string& nameUtf8) {
    return session.setName(i, vrk::utf8ToSjisLossy(nameUtf8));
}

bool scrollByKey(vrk::app::ReadingSession& session, int key) {
    return session.scrollByKey(static_cast<vrk::app::ScrollKey>(key));
}

/// COVERAGE: the layout's image rows from two above TOP to BOTTOM; gives RGBA of [TOP, BOTTOM)
/// as a view of the module's memory, to be copied before the next call.
emscripten::val composeText(WebStoryHost& host, const emscripten::val& coverage, int top, int bottom) {
    const std::vector<std::uint8_t> bytes = emscripten::convertJSArrayToNumberVector<std::uint8_t>(coverage);
    const std::vector<std::uint8_t>& rgba = host.composeText(bytes.data(), top, bottom);
    return emscripten::val(emscripten::typed_memory_view(rgba.size(), rgba.data()));
}

/// RGBA of ROWS rows from TOP of the background picture (0) or the picture window's (1), as a
/// view of the module's memory; sizes are in the state.
emscripten::val picturePixels(WebStoryHost& host, int which, int top, int rows) {
    const std::vector<std::uint8_t>& rgba = host.picturePixels(which, top, rows);
    return emscripten::val(emscripten::typed_memory_view(rgba.size(), rgba.data()));
}

/// Where the picture window goes beside the page and how much of the picture it shows, by the
/// window's rules, in the viewport's pixels: [x, y, width, height]. FRAME is what its border adds.
std::array<int, 4> picturePlace(int left, int top, int width, int height, int pictureWidth, int pictureHeight,
                                int frame, int screenWidth, int screenHeight) {
    const vrk::pictures::Size screen{screenWidth, screenHeight};
    const vrk::pictures::Size client =
        vrk::pictures::pictureWindowClientSize({pictureWidth, pictureHeight}, {frame, frame}, screen);
    const vrk::pictures::Point at = vrk::pictures::pictureWindowPosition(
        {left, top, left + width, top + height}, {client.width + frame, client.height + frame}, screen);
    return {at.x, at.y, client.width, client.height};
}

/// The page size the 4:3 balance sets from the text area WIDTH x HEIGHT, as the window's:
/// [width, height], the scroll bar added to the width.
std::array<int, 2> balance4to3(int width, int height, int scrollBarWidth) {
    const vrk::pictures::Size size = vrk::pictures::balance4to3(width, height, scrollBarWidth);
    return {size.width, size.height};
}

/// A settings-file number as the window reads its settings, or null when it is none.
emscripten::val settingsNumber(const std::string& text) {
    const std::optional<std::int32_t> number = vrk::app::parseProfileInteger(text);
    return number ? emscripten::val(*number) : emscripten::val::null();
}

std::string menuStates(const vrk::app::SessionFacts& session, const vrk::app::FrontEndFacts& frontEnd) {
    return vrk::app::menuStatesJson(session, frontEnd);
}

}  // namespace

EMSCRIPTEN_BINDINGS(vrk3_page) {
    using emscripten::allow_raw_pointers;
    using emscripten::function;

    // The terminal front end, a line at a time (tests compare it with the native player).
    function("terminalOpen", &terminalOpen);
    function("terminalInput", &terminalInput);

    emscripten::value_object<vrk::interpreter::EngineOptions>("EngineOptions")
        .field("mid", &vrk::interpreter::EngineOptions::playMidi)
        .field("wav", &vrk::interpreter::EngineOptions::playWave)
        .field("other", &vrk::interpreter::EngineOptions::playOtherMedia)
        .field("oldExe", &vrk::interpreter::EngineOptions::linesRunAsPrograms)
        .field("lowRes", &vrk::interpreter::EngineOptions::lowColour)
        .field("contrast", &vrk::interpreter::EngineOptions::brightOutline)
        .field("nonstop", &vrk::interpreter::EngineOptions::revealAtOnce);

    // The session's commands keep their C++ names; the host adds what answers in JSON or
    // pixels, and what would answer in Shift-JIS or through an out parameter.
    using vrk::app::ReadingSession;
    emscripten::class_<ReadingSession>("ReadingSession")
        .function("loadSlot", &ReadingSession::loadSlot)
        .function("setName", &setName)
        .function("start", &ReadingSession::start)
        .function("flush", &ReadingSession::flush)
        .function("chooseKey", &ReadingSession::chooseKey)
        .function("clickButton", &ReadingSession::clickButton)
        .function("clickPage", &ReadingSession::clickPage)
        .function("quickSave", &ReadingSession::quickSave)
        .function("quickLoad", &ReadingSession::quickLoad)
        .function("setPageSize", &ReadingSession::setPageSize)
        .function("fontChanged", &ReadingSession::fontChanged)
        .function("setLineGapTenths", &ReadingSession::setLineGapTenths)
        .function("setRevealSpeed", &ReadingSession::setRevealSpeed)
        .function("setOptions", &ReadingSession::setOptions)
        .function("tick", &ReadingSession::tick)
        .function("scrollTo", &ReadingSession::scrollTo)
        .function("scrollByKey", &scrollByKey)
        .function("wheel", &ReadingSession::wheel)
        .function("snapScroll", &ReadingSession::snapScroll)
        .function("repaintPage", &ReadingSession::repaintPage)
        .function("goBackOnePage", &ReadingSession::goBackOnePage)
        .function("setBacklogOpen", &ReadingSession::setBacklogOpen)
        .function("setAutoAdvance", &ReadingSession::setAutoAdvance)
        .function("setSkipping", &ReadingSession::setSkipping)
        .function("stopAutoAndSkip", &ReadingSession::stopAutoAndSkip)
        .function("facts", &ReadingSession::facts)
        .function("setVolumes", &ReadingSession::setVolumes)
        .function("setChoiceFocus", &ReadingSession::setChoiceFocus);
    emscripten::class_<WebStoryHost, emscripten::base<ReadingSession>>("WebStoryHost")
        .constructor(&PageHost::create, allow_raw_pointers())
        .function("setProject", &setProject)
        .function("describeSlot", &describeSlot)
        .function("eraseSlot", &eraseSlot)
        .function("names", &namesJson)
        .function("state", &WebStoryHost::state)
        .function("layoutJson", &WebStoryHost::layoutJson)
        .function("composeText", &composeText)
        .function("picturePixels", &picturePixels)
        .function("backlogJson", &WebStoryHost::backlogJson)
        .function("readerMapJson", &readerMapJson)
        .function("padState", &WebStoryHost::padState);

    emscripten::value_array<std::array<int, 4>>("Rect")
        .element(emscripten::index<0>())
        .element(emscripten::index<1>())
        .element(emscripten::index<2>())
        .element(emscripten::index<3>());
    function("picturePlace", &picturePlace);
    emscripten::value_array<std::array<int, 2>>("Size")
        .element(emscripten::index<0>())
        .element(emscripten::index<1>());
    function("balance4to3", &balance4to3);

    // What the page takes as data: the menus, option limits, faces and sizes (src/app/page_model.h).
    function("pageModel", &vrk::app::pageModelJson);
    emscripten::value_object<vrk::app::SessionFacts>("SessionFacts")
        .field("projectKnown", &vrk::app::SessionFacts::projectKnown)
        .field("quickSaveEnabled", &vrk::app::SessionFacts::quickSaveEnabled)
        .field("quickLoadEnabled", &vrk::app::SessionFacts::quickLoadEnabled)
        .field("canGoBack", &vrk::app::SessionFacts::canGoBack)
        .field("backlogAvailable", &vrk::app::SessionFacts::backlogAvailable)
        .field("hasPageText", &vrk::app::SessionFacts::hasPageText)
        .field("autoAdvance", &vrk::app::SessionFacts::autoAdvance)
        .field("skipping", &vrk::app::SessionFacts::skipping)
        .field("revealSpeed", &vrk::app::SessionFacts::revealSpeed)
        .field("lineGapTenths", &vrk::app::SessionFacts::lineGapTenths)
        .field("musicVolume", &vrk::app::SessionFacts::musicVolume)
        .field("effectVolume", &vrk::app::SessionFacts::effectVolume)
        .field("options", &vrk::app::SessionFacts::options);
    emscripten::value_object<vrk::app::FrontEndFacts>("FrontEndFacts")
        .field("fullScreen", &vrk::app::FrontEndFacts::fullScreen)
        .field("sizeLocked", &vrk::app::FrontEndFacts::sizeLocked)
        .field("speech", &vrk::app::FrontEndFacts::speech)
        .field("pageAtTop", &vrk::app::FrontEndFacts::pageAtTop);
    function("menuStates", &menuStates);
    function("settingsNumber", &settingsNumber);
    // The family that draws a stored face name, and the one the font dialog shows chosen.
    function(
        "servedFamily", +[](const std::string& face) { return vrk::app::servedFamily(face); });
    function(
        "offeredFamily", +[](const std::string& face) { return vrk::app::offeredFamily(face); });
}
