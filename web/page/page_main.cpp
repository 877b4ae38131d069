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
    // The story's sound goes to the page's audio; declared first, so it outlives the front end.
    vrk::web::ScriptPageAudio audio;
    vrk::web::WebSoundBackend sound{audio};
    std::istringstream names;
    std::ostringstream out;
    std::ostringstream err;
    std::unique_ptr<vrk::app::TerminalFrontEnd> frontEnd;
    bool open = false;

    ~Session() { vrk::web::setReportedBackend(nullptr); }
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
    options.soundBackend = &g_session->sound;
    g_session->frontEnd = std::make_unique<vrk::app::TerminalFrontEnd>(std::move(options), g_session->names,
                                                                       g_session->out, g_session->err);
    g_session->frontEnd->soundChannel().setTickTimer(&vrk::web::runAfterTicks);
    vrk::web::setReportedBackend(&g_session->sound);
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
