#pragma once
// The reader's manual in a window of the player's own. A desktop without a web browser
// (or whose opener fails without a word) would otherwise leave F1 doing nothing visible;
// the manual is plain HTML that a text browser shows well, from its top: the title, and the
// link to the manual in the other language.

#include <filesystem>

class QWidget;

namespace vrk::app {

/// The manual beside the program in the reader's language, as this program's environment
/// gives it (helpIndexPath with readerLanguages).
std::filesystem::path readersManualPath(const std::filesystem::path& programDir);

/// Shows manualPath from its top in the help window (one for the program, raised when already
/// open; Escape closes it). A missing manual is reported in a message box over parent instead.
void showManual(QWidget* parent, const std::filesystem::path& manualPath);

}  // namespace vrk::app
