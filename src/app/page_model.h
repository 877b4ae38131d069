#pragma once
// What the reading page takes from the C++ side as data rather than deciding for itself: the
// menus (app/menu_model.h) with their rules, the options' defaults and limits, the faces it
// serves and which one draws a stored face name, and the window's sizes. Plain C++, so the
// desktop build tests it; page_main.cpp hands it to the page's JavaScript.

#include <span>
#include <string>
#include <string_view>

#include "app/menu_model.h"
#include "app/reader_map.h"

namespace vrk::app {

/// A face the page serves from web/dist/fonts.
struct ServedFace {
    std::string_view family;
    std::string_view file;
    /// Fixed pitch: the page's cell grid holds, and the font dialog offers it.
    bool fixedPitch = false;
    /// The fixed-pitch face of the same design, for a proportional one.
    std::string_view fixedTwin;
    /// Its Japanese name, as a settings file may hold it.
    std::string_view localName;
};

/// The served faces, the fixed-pitch ones first.
std::span<const ServedFace> servedFaces();

/// The served face that draws a stored face name: its counterpart (presentation/font_names.h),
/// the face itself when served, else the first fixed-pitch face, as the window falls back when
/// a face is not installed.
std::string servedFamily(std::string_view faceUtf8);
/// The face the font dialog shows chosen for a stored name: the face served for it, or that
/// face's fixed-pitch twin, since the dialog offers fixed-pitch faces only.
std::string offeredFamily(std::string_view faceUtf8);

/// The page's smallest size in CSS pixels: the window's less its menu bar and frame.
inline constexpr int kMinPageWidth = app::kMinWindowWidth - 16;
inline constexpr int kMinPageHeight = app::kMinWindowHeight - 40;

/// JSON of the menus, the options' defaults and limits, the faces and the sizes.
std::string pageModelJson();
/// JSON of every menu and item's state for the facts: {"openAction": {"enabled", "checked",
/// "shortcut", "caption"}, ...}.
std::string menuStatesJson(const app::SessionFacts& session, const app::FrontEndFacts& frontEnd);

/// What the route map's dialog writes besides the map: its title, an unread page's mark, and
/// what it says when nothing has been read.
inline constexpr std::string_view kUnreadPageMark = "？";
inline constexpr std::string_view kNothingReadYet = "まだ読んだページはありません。";
std::string readerMapTitle();

/// JSON of the route map as the page draws it: {"title", "unread", "empty", "width", "height",
/// "nodeWidth", "nodeHeight", "nodes": [{"label", "known", "start", "ending", "current", "x",
/// "y"}], "edges": [{"from", "to", "choice", "caption", "shortCaption", "back", "line": [x1, y1,
/// controlX, controlY, x2, y2], "labelX", "labelY"}]}.
std::string readerMapJson(const ReaderMap& map);

}  // namespace vrk::app
