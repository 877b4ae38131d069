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
#include <string>
#include <vector>

#include "app/pad_mapping.h"
#include "app/reading_session.h"
#include "pictures/bitmap.h"

namespace vrk::web {

/// Measures text in the page's font at a scale (the device pixel ratio, or 1).
using ScaledMeasurer = app::ScaledMeasurer;

/// Scroll commands of the keys PageUp, PageDown, Up, Down, Home and End.
using ScrollKey = app::ScrollKey;

/// The session the page drives, with what the page needs of it in its own terms: JSON and
/// pixels. Everything else the page calls is the session's own.
class WebStoryHost : public app::ReadingSession {
public:
    WebStoryHost(std::filesystem::path programDir, ScaledMeasurer measurer);
    /// Virtual: the page's module makes a host of its own kind (PageHost) and deletes it
    /// through this class.
    ~WebStoryHost() override;

    app::ReadingSession& session() { return *this; }

    /// A pad's state (held: app::padBit of each button down; the left stick from -1 to 1): each
    /// new press goes to the session, and what is left to the page comes back as a JSON array
    /// of {"kind": "click", "button"}, {"kind": "menu", "item": an item's id},
    /// {"kind": "closeBacklog"} and {"kind": "scrollBacklog", "amount", "pages"}.
    std::string padState(std::uint32_t held, double stickX, double stickY);

    /// JSON of what changed since the last call, and what to draw now.
    std::string state();
    /// JSON of the laid-out page: image size, colours, and each display line's characters with
    /// their x in the text image (the page draws them, the baseline at top + the font's ascent).
    std::string layoutJson() const;
    /// The earlier pages of this reading, oldest first: JSON arrays of their UTF-8 lines.
    std::string backlogJson() const;
    /// Rows [top, bottom) of the text image from the characters' coverage (as layoutJson drew
    /// them in white) of the rows from two above top (or from top on the first row) to bottom,
    /// width bytes a row: RGBA, alpha 255 where the pixel replaces the page's, 0 where it is ORed in.
    const std::vector<std::uint8_t>& composeText(const std::uint8_t* coverage, int top, int bottom);
    /// RGBA pixels of the background picture (0) or the picture window's picture (1): ROWS rows
    /// from TOP (within the picture). The page takes a large picture a band at a time, so that
    /// no second copy of it is ever made whole in the module's memory.
    const std::vector<std::uint8_t>& picturePixels(int which, int top = 0,
                                                   int rows = pictures::Bitmap::kMaxDimension);

private:
    std::vector<std::uint8_t> m_pixels;
    int m_pagesShown = 0;  // tells the page to close its backlog and to speak
    app::PadInput m_pad;
};

}  // namespace vrk::web
