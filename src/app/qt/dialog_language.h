#pragma once
// The language of the dialogs Qt draws for the window: the file dialog, the standard buttons of
// the font dialog and the message boxes, the line edits' context menus.
//
// The window is Japanese by design (its menus, buttons and messages are written in Japanese),
// so Qt's own dialogs follow it into Japanese whatever the desktop's locale: a dialog in the
// reader's language beside menus in another would mix two languages in one window. Only the
// manual, which exists in both, follows the reader's language (help_window.h).

namespace vrk::app {

/// Loads Qt's Japanese translations (qtbase_ja.qm in Qt's translations folder, Debian's
/// qt6-translations-l10n) into the application, once. False when they are not installed: the
/// dialogs then stay in Qt's English.
bool useJapaneseInQtDialogs();

}  // namespace vrk::app
