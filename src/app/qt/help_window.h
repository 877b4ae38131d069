#pragma once
// The reader's manual in a window of the player's own. A desktop without a web browser
// (or whose opener fails without a word) would otherwise leave F1 doing nothing visible;
// the manual is plain HTML that a text browser shows well, at its contents topic.

#include <filesystem>

class QWidget;

namespace vrk::app {

/// Shows manualPath at its contents topic in the help window (one for the program, raised
/// when already open). A missing manual is reported in a message box over parent instead.
void showManual(QWidget* parent, const std::filesystem::path& manualPath);

}  // namespace vrk::app
