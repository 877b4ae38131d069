// The page's way into the player: the terminal front end driven one input line at a time.
// The page writes the project's files into the in-memory file system, opens it here and gets
// back the same report the terminal prints (@page, "| " lines, @choices / @end).

#include <emscripten.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <string>

#include "app/terminal_front_end.h"
#include "page_audio.h"
#include "web_sound_backend.h"

namespace {

struct Session {
    std::istringstream names;
    std::ostringstream out;
    std::ostringstream err;
    std::unique_ptr<vrk::app::TerminalFrontEnd> frontEnd;
    bool open = false;
};

std::unique_ptr<Session> g_session;
std::string g_report;

// What the front end printed since the last call, errors after the report.
const char* takeReport() {
    g_report = g_session->out.str() + g_session->err.str();
    g_session->out.str({});
    g_session->err.str({});
    return g_report.c_str();
}

}  // namespace

extern "C" {

/// Opens PROJECT_FILE in slot 1-4; names are answered with their defaults. A seed of 0 draws
/// the random letters from the device. Returns the first report, or the reason it failed.
EMSCRIPTEN_KEEPALIVE const char* vrkOpen(const char* projectFile, int slot, std::uint32_t seed) {
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
EMSCRIPTEN_KEEPALIVE const char* vrkInput(const char* line) {
    if (!g_session || !g_session->open) {
        return "";
    }
    if (!g_session->frontEnd->step(line)) {
        g_session->frontEnd->finish();
        g_session->open = false;
    }
    return takeReport();
}

}  // extern "C"

// The reading page proper: a WebStoryHost the canvas page drives. Text is measured by the
// page's canvas (Module.vrkMeasure), so the layout is the window's rule with the browser's metrics.

#include <emscripten/em_js.h>

#include "common/sjis.h"
#include "web/page/web_story_host.h"

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

std::unique_ptr<vrk::web::WebStoryHost> g_host;
// The page's audio (sound.mjs through Module.vrkSound), shared by every host the page makes.
vrk::web::ScriptPageAudio g_audio;
std::string g_answer;

const char* answer(std::string text) {
    g_answer = std::move(text);
    return g_answer.c_str();
}

std::string jsonString(std::string_view utf8) {
    std::string out = "\"";
    for (const char c : utf8) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
    }
    return out + '"';
}

std::string slotJson(bool ok, const vrk::app::SlotView& view) {
    return std::string("{\"ok\":") + (ok ? "true" : "false") +
           ",\"caption\":" + jsonString(vrk::sjisToUtf8(view.captionSjis)) +
           ",\"comment\":" + jsonString(vrk::sjisToUtf8(view.commentSjis)) +
           ",\"fresh\":" + (view.fresh ? "true" : "false") + "}";
}

}  // namespace

extern "C" {

/// A fresh host with nothing open; saves of projects without slots go to "/".
EMSCRIPTEN_KEEPALIVE void vrkHostCreate() {
    if (g_host) {
        g_host->flush();
    }
    vrk::web::setReportedBackend(nullptr);
    g_host = std::make_unique<vrk::web::WebStoryHost>(
        "/", [](double scale) { return std::make_unique<CanvasMeasurer>(scale); });
    // The story's sound goes to the page's audio; its ends are reported to this back end.
    auto backend = std::make_unique<vrk::web::WebSoundBackend>(g_audio);
    vrk::web::setReportedBackend(backend.get());
    g_host->setSoundBackend(std::move(backend));
}

EMSCRIPTEN_KEEPALIVE int vrkHostSetProject(const char* projectFile) {
    if (!g_host) {
        return 0;
    }
    return g_host->setProject(projectFile) && g_host->chooseSaveDirectory() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE const char* vrkHostDescribeSlot(int slot) {
    if (!g_host) {
        return "";
    }
    vrk::app::SlotView view;
    const bool ok = g_host->describeSlot(slot, view);
    return answer(slotJson(ok, view));
}

EMSCRIPTEN_KEEPALIVE const char* vrkHostEraseSlot() {
    if (!g_host) {
        return "";
    }
    vrk::app::SlotView view;
    const bool ok = g_host->eraseSlot(view);
    return answer(slotJson(ok, view));
}

EMSCRIPTEN_KEEPALIVE int vrkHostLoadSlot() {
    if (!g_host) {
        return 0;
    }
    return g_host->loadSlot() ? 1 : 0;
}

/// The names to ask: [{index, prompt, name}], prompt as the question shown.
EMSCRIPTEN_KEEPALIVE const char* vrkHostNames() {
    if (!g_host) {
        return "";
    }
    std::string out = "[";
    for (const int i : g_host->namesToAsk()) {
        if (out.size() > 1) {
            out += ',';
        }
        out += "{\"index\":" + std::to_string(i) +
               ",\"prompt\":" + jsonString(vrk::sjisToUtf8(g_host->namePromptSjis(i))) +
               ",\"name\":" + jsonString(vrk::sjisToUtf8(g_host->defaultNameSjis(i))) + "}";
    }
    return answer(out + "]");
}

EMSCRIPTEN_KEEPALIVE int vrkHostSetName(int i, const char* nameUtf8) {
    if (!g_host) {
        return 0;
    }
    return g_host->setName(i, vrk::utf8ToSjisLossy(nameUtf8)) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int vrkHostStart() {
    if (!g_host) {
        return 0;
    }
    return g_host->start() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void vrkHostFlush() {
    if (!g_host) {
        return;
    }
    g_host->flush();
}

EMSCRIPTEN_KEEPALIVE int vrkHostKey(int keyCode) {
    if (!g_host) {
        return 0;
    }
    return g_host->chooseKey(keyCode) ? 1 : 0;
}

/// 0 when the button stands for opening the project again.
EMSCRIPTEN_KEEPALIVE int vrkHostButton(int k) {
    if (!g_host) {
        return 0;
    }
    return g_host->clickButton(k) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void vrkHostClick() {
    if (!g_host) {
        return;
    }
    g_host->clickPage();
}

EMSCRIPTEN_KEEPALIVE int vrkHostQuickSave() {
    if (!g_host) {
        return 0;
    }
    return g_host->quickSave() ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void vrkHostQuickLoad() {
    if (!g_host) {
        return;
    }
    g_host->quickLoad();
}

EMSCRIPTEN_KEEPALIVE void vrkHostPageSize(int width, int height, double ratio) {
    if (!g_host) {
        return;
    }
    g_host->setPageSize(width, height, ratio);
}

EMSCRIPTEN_KEEPALIVE void vrkHostFontChanged() {
    if (!g_host) {
        return;
    }
    g_host->fontChanged();
}

EMSCRIPTEN_KEEPALIVE void vrkHostLineGap(int tenths) {
    if (!g_host) {
        return;
    }
    g_host->setLineGapTenths(tenths);
}

EMSCRIPTEN_KEEPALIVE void vrkHostSpeed(int speed) {
    if (!g_host) {
        return;
    }
    g_host->setRevealSpeed(speed);
}

/// The menu's check marks the engine reads; a sound kind switched off stops what plays, and
/// the contrast option lays the page out again.
EMSCRIPTEN_KEEPALIVE void vrkHostOptions(int mid, int wav, int other, int oldExe, int lowRes, int contrast,
                                         int nonstop) {
    if (!g_host) {
        return;
    }
    vrk::interpreter::PlayerOptions& options = g_host->story().options;
    const bool soundOff = (options.mid && !mid) || (options.wav && !wav) || (options.other && !other);
    const bool relayout = options.contrast != (contrast != 0);
    const bool nonstopChanged = options.nonstop != (nonstop != 0);
    options = {mid != 0, wav != 0, other != 0, oldExe != 0, lowRes != 0, contrast != 0, nonstop != 0};
    if (soundOff) {
        g_host->story().sound.soundIsMusic = false;
        g_host->stopSound();
    }
    if (nonstopChanged) {
        g_host->setNonstop(nonstop != 0);
    }
    if (relayout) {
        g_host->story().page.layoutDirty = true;
        g_host->repaintPage();
    }
}

EMSCRIPTEN_KEEPALIVE void vrkHostTick() {
    if (!g_host) {
        return;
    }
    g_host->tick();
}

EMSCRIPTEN_KEEPALIVE void vrkHostScrollTo(int position) {
    if (!g_host) {
        return;
    }
    g_host->scrollTo(position);
}

EMSCRIPTEN_KEEPALIVE int vrkHostScrollKey(int key) {
    if (!g_host) {
        return 0;
    }
    return g_host->scrollByKey(static_cast<vrk::web::ScrollKey>(key)) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE void vrkHostWheel(int delta) {
    if (!g_host) {
        return;
    }
    g_host->wheel(delta);
}

EMSCRIPTEN_KEEPALIVE void vrkHostSnapScroll() {
    if (!g_host) {
        return;
    }
    g_host->snapScroll();
}

EMSCRIPTEN_KEEPALIVE void vrkHostRepaint() {
    if (!g_host) {
        return;
    }
    g_host->repaintPage();
}

EMSCRIPTEN_KEEPALIVE const char* vrkHostState() {
    if (!g_host) {
        return "";
    }
    return answer(g_host->state());
}

EMSCRIPTEN_KEEPALIVE const char* vrkHostLayout() {
    if (!g_host) {
        return "";
    }
    return answer(g_host->layoutJson());
}

/// COVERAGE: the layout's image rows from two above TOP to BOTTOM; returns RGBA of [TOP, BOTTOM).
EMSCRIPTEN_KEEPALIVE const std::uint8_t* vrkHostCompose(const std::uint8_t* coverage, int top, int bottom) {
    if (!g_host) {
        return nullptr;
    }
    return g_host->composeText(coverage, top, bottom).data();
}

/// RGBA of ROWS rows from TOP of the background picture (0) or the picture window's (1); sizes
/// are in the state.
EMSCRIPTEN_KEEPALIVE const std::uint8_t* vrkHostPicture(int which, int top, int rows) {
    if (!g_host) {
        return nullptr;
    }
    return g_host->picturePixels(which, top, rows).data();
}

// The view menu's comforts.

EMSCRIPTEN_KEEPALIVE int vrkHostBack() {
    return g_host && g_host->goBackOnePage() ? 1 : 0;
}

/// The earlier pages of this reading, oldest first: [[line, ...], ...] in UTF-8.
EMSCRIPTEN_KEEPALIVE const char* vrkHostBacklog() {
    return answer(g_host ? g_host->backlogJson() : "[]");
}

EMSCRIPTEN_KEEPALIVE void vrkHostBacklogOpen(int open) {
    if (g_host) {
        g_host->setBacklogOpen(open != 0);
    }
}

EMSCRIPTEN_KEEPALIVE void vrkHostAutoAdvance(int on) {
    if (g_host) {
        g_host->setAutoAdvance(on != 0);
    }
}

EMSCRIPTEN_KEEPALIVE void vrkHostSkip(int on) {
    if (g_host) {
        g_host->setSkipping(on != 0);
    }
}

EMSCRIPTEN_KEEPALIVE void vrkHostStopAutoAndSkip() {
    if (g_host) {
        g_host->stopAutoAndSkip();
    }
}

}  // extern "C"

#include "app/settings_file.h"
#include "pictures/picture_placement.h"
#include "presentation/font_names.h"

extern "C" {

/// Where the picture window goes beside the page and how much of the picture it shows, by the
/// window's rules, in the viewport's pixels: "x,y,width,height". FRAME is what its border adds.
EMSCRIPTEN_KEEPALIVE const char* vrkPicturePlace(int left, int top, int width, int height, int pictureWidth,
                                                 int pictureHeight, int frame, int screenWidth,
                                                 int screenHeight) {
    const vrk::pictures::Size screen{screenWidth, screenHeight};
    const vrk::pictures::Size client =
        vrk::pictures::pictureWindowClientSize({pictureWidth, pictureHeight}, {frame, frame}, screen);
    const vrk::pictures::Point at = vrk::pictures::pictureWindowPosition(
        {left, top, left + width, top + height}, {client.width + frame, client.height + frame}, screen);
    return answer(std::to_string(at.x) + "," + std::to_string(at.y) + "," + std::to_string(client.width) +
                  "," + std::to_string(client.height));
}

/// The window as it first opens with no settings kept: its client size (menu bar included) and
/// its page's scroll bar width, as {"width","height","scrollBar"}. The page opens at the same size,
/// so that a story's lines break where they break on the desktop.
EMSCRIPTEN_KEEPALIVE const char* vrkWindowDefaults() {
    const vrk::app::Settings defaults;
    return answer("{\"width\":" + std::to_string(defaults.width) +
                  ",\"height\":" + std::to_string(defaults.height) +
                  ",\"scrollBar\":" + std::to_string(vrk::web::WebStoryHost::kScrollBarWidth) + "}");
}

/// The family that stands in for a stored face name ("" when it is no known Windows face).
EMSCRIPTEN_KEEPALIVE const char* vrkFontFamily(const char* faceUtf8) {
    return answer(vrk::presentation::counterpartFamily(faceUtf8));
}

}  // extern "C"
