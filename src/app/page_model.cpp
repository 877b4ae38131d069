#include "app/page_model.h"

#include <array>

#include "app/pad_mapping.h"
#include "app/reading_session.h"
#include "app/settings_file.h"
#include "common/json_writer.h"
#include "common/sjis.h"
#include "presentation/font_names.h"
#include "story/story_state.h"

namespace vrk::app {

namespace {

constexpr std::array<ServedFace, 4> kFaces = {{
    {"IPAGothic", "fonts/ipag.ttf", true, "IPAGothic", "IPAゴシック"},
    {"IPAMincho", "fonts/ipam.ttf", true, "IPAMincho", "IPA明朝"},
    {"IPAPGothic", "fonts/ipagp.ttf", false, "IPAGothic", "IPAPゴシック"},
    {"IPAPMincho", "fonts/ipamp.ttf", false, "IPAMincho", "IPAP明朝"},
}};

const ServedFace* findServed(std::string_view faceUtf8) {
    if (faceUtf8.empty()) {
        return nullptr;
    }
    const std::string key = presentation::normalisedFaceName(faceUtf8);
    for (const ServedFace& face : kFaces) {
        if (key == presentation::normalisedFaceName(face.family) ||
            key == presentation::normalisedFaceName(face.localName)) {
            return &face;
        }
    }
    return nullptr;
}

const ServedFace& servedFace(std::string_view faceUtf8) {
    const ServedFace* counterpart = findServed(presentation::counterpartFamily(faceUtf8));
    const ServedFace* own = findServed(faceUtf8);
    return counterpart ? *counterpart : own ? *own : kFaces.front();
}

std::string_view kindName(app::MenuEntry::Kind kind) {
    switch (kind) {
        case app::MenuEntry::Kind::Menu:
            return "menu";
        case app::MenuEntry::Kind::Separator:
            return "separator";
        case app::MenuEntry::Kind::Item:
            break;
    }
    return "item";
}

// A menu's entries with the menus inside it, in the order shown.
void writeMenu(Json& json, const app::MenuEntry& menu) {
    json.open('{').field("kind", kindName(menu.kind)).field("id", menu.name).field("caption", menu.caption);
    json.key("items").open('[');
    for (const app::MenuEntry& entry : app::menuEntries()) {
        if (entry.parent != menu.id || entry.id == menu.id) {
            continue;
        }
        if (entry.kind == app::MenuEntry::Kind::Menu) {
            writeMenu(json, entry);
            continue;
        }
        json.open('{').field("kind", kindName(entry.kind)).field("pageOnly", entry.pageOnly);
        if (entry.kind == app::MenuEntry::Kind::Item) {
            json.field("id", entry.name)
                .field("caption", entry.caption)
                .field("label", app::plainCaption(entry.caption))
                .field("checkable", entry.checkable)
                .field("setting", app::settingName(entry.setting));
            if (entry.isStep()) {
                json.field("step", app::stepAmount(entry.setting, entry.step))
                    .field("setsStandard", entry.setsStandard);
            }
            json.key("keys").open('[');
            for (const app::Shortcut& shortcut : entry.shortcuts) {
                if (shortcut.key != app::Shortcut::Key::None) {
                    json.string(app::shortcutText(shortcut));
                }
            }
            json.close(']');
        }
        json.close('}');
    }
    json.close(']').close('}');
}

}  // namespace

std::span<const ServedFace> servedFaces() {
    return kFaces;
}

std::string servedFamily(std::string_view faceUtf8) {
    return std::string(servedFace(faceUtf8).family);
}

std::string offeredFamily(std::string_view faceUtf8) {
    return std::string(servedFace(faceUtf8).fixedTwin);
}

std::string pageModelJson() {
    Json json;
    json.open('{');
    json.key("menus").open('[');
    for (const app::MenuEntry& entry : app::menuEntries()) {
        if (entry.isTop()) {
            writeMenu(json, entry);
        }
    }
    json.close(']');

    // The options as the window keeps them in its settings file, with the same defaults.
    const app::Settings defaults;
    json.key("defaults").open('{');
    json.field("fontName", sjisToUtf8(defaults.fontNameSjis))
        .field("fontSize", defaults.fontSize)
        .field("bold", defaults.bold)
        .field("italic", defaults.italic)
        .field("mid", defaults.mid)
        .field("wav", defaults.wav)
        .field("other", defaults.other)
        .field("oldExe", defaults.oldExe)
        .field("lowRes", defaults.lowRes)
        .field("contrast", defaults.contrast)
        .field("revealSpeed", defaults.revealSpeed)
        .field("nonstop", defaults.nonstop)
        .field("gapTenths", defaults.gapTenths)
        .field("autoAdvance", defaults.autoAdvance)
        .field("speech", defaults.speech)
        .field("musicVolume", defaults.musicVolume)
        .field("effectVolume", defaults.effectVolume);
    json.close('}');
    json.key("limits").open('{');
    json.key("revealSpeed").open('{').field("min", 0).field("max", app::Settings::kMaxSpeed).close('}');
    json.key("gapTenths")
        .open('{')
        .field("min", app::Settings::kMinGapTenths)
        .field("max", app::Settings::kMaxGapTenths)
        .close('}');
    for (const char* volume : {"musicVolume", "effectVolume"}) {
        json.key(volume).open('{').field("min", 0).field("max", sound::kFullVolume).close('}');
    }
    json.key("fontPoints")
        .open('{')
        .field("min", app::kMinFontPoints)
        .field("max", app::kMaxFontPoints)
        .close('}');
    json.field("fontNameLength", static_cast<int>(app::ProfileFile::kMaxValueBytes));
    json.field("nameBytes", static_cast<int>(story::kMaxNameBytes));
    json.close('}');

    // A pad's buttons in the order of their bits (padBit): the page reads its gamepads into them.
    json.key("padButtons").open('[');
    for (std::size_t i = 0; i < app::kPadButtonCount; ++i) {
        json.string(app::padButtonName(static_cast<app::PadButton>(i)));
    }
    json.close(']');

    json.key("faces").open('[');
    for (const ServedFace& face : kFaces) {
        json.open('{')
            .field("family", face.family)
            .field("file", face.file)
            .field("fixedPitch", face.fixedPitch)
            .close('}');
    }
    json.close(']');

    // The facts the menus' rules read, at their defaults (nothing open).
    const app::SessionFacts session;
    json.key("facts").open('{').key("session").open('{');
    json.field("projectKnown", session.projectKnown)
        .field("quickSaveEnabled", session.quickSaveEnabled)
        .field("quickLoadEnabled", session.quickLoadEnabled)
        .field("canGoBack", session.canGoBack)
        .field("backlogAvailable", session.backlogAvailable)
        .field("hasPageText", session.hasPageText)
        .field("autoAdvance", session.autoAdvance)
        .field("skipping", session.skipping)
        .field("revealSpeed", session.revealSpeed)
        .field("lineGapTenths", session.lineGapTenths)
        .field("musicVolume", session.musicVolume)
        .field("effectVolume", session.effectVolume);
    const interpreter::EngineOptions& options = session.options;
    json.key("options").open('{');
    json.field("nonstop", options.revealAtOnce)
        .field("mid", options.playMidi)
        .field("wav", options.playWave)
        .field("other", options.playOtherMedia)
        .field("oldExe", options.linesRunAsPrograms)
        .field("lowRes", options.lowColour)
        .field("contrast", options.brightOutline)
        .close('}');
    const app::FrontEndFacts frontEnd;
    json.close('}').key("frontEnd").open('{');
    json.field("fullScreen", frontEnd.fullScreen)
        .field("sizeLocked", frontEnd.sizeLocked)
        .field("speech", frontEnd.speech)
        .field("pageAtTop", frontEnd.pageAtTop);
    json.close('}').close('}');

    const app::Settings window;
    json.key("window")
        .open('{')
        .field("width", window.width)
        .field("height", window.height)
        .field("minPageWidth", kMinPageWidth)
        .field("minPageHeight", kMinPageHeight)
        .field("scrollBar", app::ReadingSession::kScrollBarWidth)
        .close('}');
    json.close('}');
    return json.take();
}

std::string menuStatesJson(const app::SessionFacts& session, const app::FrontEndFacts& frontEnd) {
    Json json;
    json.open('{');
    for (const app::MenuEntry& entry : app::menuEntries()) {
        if (entry.kind == app::MenuEntry::Kind::Separator) {
            continue;
        }
        const app::MenuItemState state = app::menuItemState(entry.id, session, frontEnd);
        json.key(entry.name)
            .open('{')
            .field("enabled", state.enabled)
            .field("checked", state.checked)
            .field("shortcut", state.shortcutActive)
            .field("caption", state.caption)
            .close('}');
    }
    json.close('}');
    return json.take();
}

std::string readerMapTitle() {
    return plainCaption(menuEntry(MenuId::ReaderMap).caption);
}

std::string readerMapJson(const ReaderMap& map) {
    Json json;
    json.open('{')
        .field("title", readerMapTitle())
        .field("unread", kUnreadPageMark)
        .field("empty", kNothingReadYet)
        .field("width", map.width)
        .field("height", map.height)
        .field("nodeWidth", ReaderMap::kNodeWidth)
        .field("nodeHeight", ReaderMap::kNodeHeight);
    json.key("nodes").open('[');
    for (const ReaderMapNode& node : map.nodes) {
        json.open('{')
            .field("label", node.known ? std::string_view(node.label) : kUnreadPageMark)
            .field("known", node.known)
            .field("start", node.start)
            .field("ending", node.ending)
            .field("current", node.current)
            .field("x", node.x)
            .field("y", node.y)
            .close('}');
    }
    json.close(']');
    json.key("edges").open('[');
    for (const ReaderMapEdge& edge : map.edges) {
        json.open('{')
            .field("from", static_cast<int>(edge.from))
            .field("to", static_cast<int>(edge.to))
            .field("choice", edge.choice)
            .field("caption", edge.caption)
            .field("shortCaption", edge.shortCaption)
            .field("back", edge.back);
        json.key("line").open('[');
        for (const int value : {edge.x1, edge.y1, edge.controlX, edge.controlY, edge.x2, edge.y2}) {
            json.number(value);
        }
        json.close(']').field("labelX", edge.labelX).field("labelY", edge.labelY).close('}');
    }
    json.close(']').close('}');
    return json.take();
}

}  // namespace vrk::app
