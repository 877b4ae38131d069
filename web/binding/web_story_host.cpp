#include "web/binding/web_story_host.h"

#include <algorithm>
#include <cmath>

#include "common/json_writer.h"
#include "common/sjis.h"
#include "pictures/background.h"
#include "presentation/choices.h"
#include "presentation/text_compose.h"

namespace vrk::web {

namespace {

using presentation::Uncover;

void rgb(Json& json, pictures::Rgb c) {
    json.open('[').number(c.r).number(c.g).number(c.b).close(']');
}

void rect(Json& json, const pictures::Rect& r) {
    json.open('[').number(r.left).number(r.top).number(r.right).number(r.bottom).close(']');
}

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

WebStoryHost::WebStoryHost(std::filesystem::path programDir, ScaledMeasurer measurer)
    : ReadingSession(std::move(programDir), std::move(measurer)) {}

WebStoryHost::~WebStoryHost() = default;

const std::vector<std::uint8_t>& WebStoryHost::picturePixels(int which, int top, int rows) {
    const app::SessionScreen shown = screen();
    toRgba(which == 0 ? *shown.backgroundPicture : *shown.picture, top, rows, m_pixels);
    return m_pixels;
}

std::string WebStoryHost::state() {
    const app::SessionChanges changes = takeChanges();
    m_pagesShown += changes.pagesShown;
    const interpreter::EngineState& engine = story();
    const app::SessionScreen shown = screen();
    const int width = pageWidth();
    const int height = pageHeight();
    Json j;
    j.open('{');
    j.key("caption").string(sjisToUtf8(captionSjis()));
    j.key("scriptOpen").boolean(engine.scriptOpen());
    j.key("projectKnown").boolean(engine.locations.projectKnown());
    j.key("quickLoad").boolean(quickLoadEnabled());
    j.key("held").boolean(heldBack());
    j.key("layoutVersion").number(layoutVersion());
    j.key("ratio").number(static_cast<long long>(std::lround(pageRatio() * 1000)));

    // The background of the text area, in CSS pixels.
    const int areaWidth = std::max(0, width - kScrollBarWidth);
    j.key("background").open('{');
    const pictures::Bitmap& picture = *shown.backgroundPicture;
    j.key("version").number(shown.backgroundVersion);
    const pictures::BackgroundKind kind = pictures::backgroundKind(std::string(shown.backgroundEntry));
    j.key("width").number(areaWidth).key("height").number(height);
    rgb(j.key("colour"), pictures::backgroundColour(shown.bgColour));
    rgb(j.key("watermark"), pictures::watermarkColour(shown.bgColour, engine.options.lowColour));
    if (kind == pictures::BackgroundKind::Colour || picture.empty()) {
        j.key("kind").string("colour");
        j.key("marks").open('[');
        for (const pictures::Point& p : pictures::watermarkPositions(areaWidth, height)) {
            j.open('[').number(p.x).number(p.y).close(']');
        }
        j.close(']');
    } else if (kind == pictures::BackgroundKind::Tiled) {
        j.key("kind").string("tiled");
    } else {
        j.key("kind").string("stretched");
        const pictures::StretchPlacement placement =
            pictures::stretchPlacement(areaWidth, height, picture.width(), picture.height());
        rect(j.key("picture"), placement.picture);
        rect(j.key("bars").open('['), placement.firstBar);
        rect(j, placement.secondBar);
        j.close(']');
        rgb(j.key("barColour"), picture.pixel(0, 0));
    }
    j.key("pictureWidth").number(picture.width()).key("pictureHeight").number(picture.height());
    j.close('}');

    j.key("picture").open('{');
    j.key("version").number(shown.pictureVersion);
    j.key("shown").boolean(shown.pictureShown);
    j.key("width").number(shown.picture->width()).key("height").number(shown.picture->height());
    j.close('}');

    const int buttons = shown.visibleButtons;
    j.key("choices").open('{');
    j.key("visible").number(buttons).key("enabled").boolean(shown.choicesEnabled);
    j.key("captions").open('[');
    for (int k = 1; k <= buttons; ++k) {
        j.string(sjisToUtf8(presentation::choiceCaptionSjis(k, shown.choiceCount, engine.scriptOpen())));
    }
    j.close(']');
    // What a screen reader calls each button: the caption is only the key's letter.
    j.key("names").open('[');
    for (int k = 1; k <= buttons; ++k) {
        j.string(sjisToUtf8(buttonNameSjis(k)));
    }
    j.close(']');
    j.key("rects").open('[');
    for (int k = 1; k <= buttons; ++k) {
        const presentation::Rect r = presentation::choiceButtonRect(k, width, height, kScrollBarWidth);
        j.open('[').number(r.left).number(r.top).number(r.width).number(r.height).close(']');
    }
    j.close(']');
    j.close('}');

    std::string text;
    for (const std::string& line : engine.page.pageText) {
        text += sjisToUtf8(line);
        text += '\n';
    }
    j.key("text").string(text);
    // The page's accessible twin: what is uncovered so far, and the whole page a new one is
    // announced with.
    j.key("readable").string(sjisToUtf8(readableTextSjis()));
    j.key("announcement").string(sjisToUtf8(pageAnnouncementSjis()));

    const presentation::ScrollRange& range = scrollRange();
    j.key("scroll").open('{');
    j.key("value").number(scrollPosition()).key("max").number(range.maximum);
    j.key("pageStep").number(range.pageStep).key("singleStep").number(range.singleStep);
    j.key("enabled").boolean(range.enabled);
    j.close('}');

    j.key("paint").open('{');
    j.key("full").boolean(changes.fullPaint);
    j.key("rects").open('[');
    for (const Uncover& u : changes.uncovered) {
        j.open('[').number(u.source.left).number(u.source.top).number(u.source.width).number(u.source.height);
        j.number(u.windowX).number(u.windowY).close(']');
    }
    j.close(']');
    j.close('}');
    j.key("completed").boolean(changes.completed);
    j.key("focus").number(choiceFocus());
    j.key("focusChanged").boolean(changes.focusChanged);
    j.key("pagesShown").number(m_pagesShown);
    j.key("canGoBack").boolean(canGoBack());
    j.key("backlogPages").number(static_cast<long long>(backlogPages()));
    j.key("skipping").boolean(skipping());
    j.key("autoAdvance").boolean(autoAdvance());
    j.key("revealed").boolean(reveal().isComplete());

    const auto list = [&](std::string_view name, const std::vector<std::string>& items) {
        j.key(name).open('[');
        for (const std::string& item : items) {
            j.string(item);
        }
        j.close(']');
    };
    list("programs", changes.programs);
    list("errors", changes.errors);
    list("abouts", changes.notices);  // the page's script reads them as "abouts"
    j.close('}');
    return j.take();
}

std::string WebStoryHost::backlogJson() const {
    Json j;
    j.open('[');
    const app::ReadingHistory& past = history();
    for (std::size_t i = 0; i < past.earlierPageCount(); ++i) {
        j.open('[');
        for (const std::string& line : past.pages()[i].textSjis) {
            j.string(sjisToUtf8(line));
        }
        j.close(']');
    }
    j.close(']');
    return j.take();
}

std::string WebStoryHost::layoutJson() const {
    Json j;
    j.open('{');
    const presentation::PageLayout& page = layout();
    const presentation::FontMetrics& font = metrics();
    j.key("version").number(layoutVersion());
    j.key("width").number(page.imageWidth).key("height").number(page.imageHeight);
    j.key("cellWidth").number(font.cellWidth).key("lineHeight").number(font.lineHeight);
    rgb(j.key("text"), fromBgr(page.colours.text));
    rgb(j.key("outline"), fromBgr(page.colours.outline));
    j.key("lines").open('[');
    const auto& lines = page.lines;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const int top = lines[i].row * page.metrics.lineHeight;
        if (top >= page.imageHeight) {
            break;  // lines beyond the estimated height are not shown
        }
        j.open('{').key("top").number(top).key("chars").open('[');
        const presentation::DisplayLine* next = i + 1 < lines.size() ? &lines[i + 1] : nullptr;
        for (const presentation::DrawnCharacter& c : presentation::drawnCharacters(lines[i], next)) {
            j.open('[').number(static_cast<long long>(c.byte) * page.metrics.cellWidth);
            j.string(sjisToUtf8(c.bytesSjis)).close(']');
        }
        j.close(']').close('}');
    }
    j.close(']');
    j.close('}');
    return j.take();
}

const std::vector<std::uint8_t>& WebStoryHost::composeText(const std::uint8_t* coverage, int top,
                                                           int bottom) {
    const presentation::PageLayout& page = layout();
    const int width = std::max(0, page.imageWidth);
    top = std::clamp(top, 0, std::max(0, page.imageHeight));
    bottom = std::clamp(bottom, top, std::max(0, page.imageHeight));
    const int rows = bottom - top;
    std::vector<std::uint32_t> text(static_cast<std::size_t>(width) * static_cast<std::size_t>(rows));
    const std::size_t maskStride = (static_cast<std::size_t>(width) + 7) / 8;
    std::vector<std::uint8_t> mask(maskStride * static_cast<std::size_t>(rows));
    if (width > 0 && rows > 0) {
        const int coverageTop = std::max(0, top - 2);
        presentation::composeText(
            {coverage, static_cast<std::size_t>(width), width, coverageTop, bottom - coverageTop}, top,
            bottom, page.colours, {text.data(), static_cast<std::size_t>(width), mask.data(), maskStride});
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

std::string WebStoryHost::padState(std::uint32_t held, double stickX, double stickY) {
    Json j;
    j.open('[');
    for (const app::PadButton button : m_pad.update(held, stickX, stickY)) {
        const app::PadAction action = pressPadButton(button);
        switch (action.kind) {
            case app::PadAction::Kind::ClickButton:
                j.open('{').key("kind").string("click").key("button").number(action.button).close('}');
                break;
            case app::PadAction::Kind::MenuItem:
                j.open('{').key("kind").string("menu").key("item").string(app::menuEntry(action.item).name);
                j.close('}');
                break;
            case app::PadAction::Kind::CloseBacklog:
                j.open('{').key("kind").string("closeBacklog").close('}');
                break;
            case app::PadAction::Kind::ScrollBacklog:
                j.open('{').key("kind").string("scrollBacklog").key("amount").number(action.amount);
                j.key("pages").boolean(action.pages).close('}');
                break;
            default:
                break;
        }
    }
    j.close(']');
    return j.take();
}

}  // namespace vrk::web
