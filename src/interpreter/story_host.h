#pragma once
// Everything a page run needs from outside the engine. Implemented by the Qt
// window (QtStoryHost), the terminal player (TerminalFrontEnd) and, in tests, a
// recording fake. Names follow the player's own vocabulary.

#include <string>

namespace vrk::interpreter {

class StoryHost {
public:
    virtual ~StoryHost() = default;

    /// Loads the picture into the picture window and shows it; a picture that does not load
    /// is skipped silently.
    virtual void showPicture(const std::string& fileNameSjis) = 0;
    virtual void hidePicture() = 0;
    /// Loads a picture into the background bitmap (JPEG of the same base name first).
    virtual bool loadPicture(const std::string& fileNameSjis) = 0;
    /// Stops what plays and starts the file; false is the media-device error (the channel is
    /// then closed and silent).
    virtual bool playSound(const std::string& fileNameSjis) = 0;
    /// Closes the channel when a sound is open; nothing otherwise.
    virtual void stopSound() = 0;
    /// Starts an outside program (already found on disk), not waited for.
    virtual void launchProgram(const std::string& commandLineSjis) = 0;
    /// Pauses for ticks of the 55 ms timer while the window goes on; returns at once headless.
    virtual void waitTicks(int ticks) = 0;
    /// Repaints the main window at once (after a sound effect starts).
    virtual void repaint() = 0;
    /// Hides all six choice buttons (a run is about to build the page's choices).
    virtual void hideChoices() = 0;
    /// Shows the first choiceCount buttons, disabled, with their captions.
    virtual void prepareChoices() = 0;
    /// Enables the buttons in use (the page is complete).
    virtual void enableChoices() = 0;
    /// Lays the page out again, repaints it and sets the scroll range.
    virtual void refreshPage() = 0;
    /// The next layout starts the reveal from nothing (revealCount := 0).
    virtual void restartReveal() = 0;
    /// The busy cursor for the whole program while a page runs.
    virtual void setBusy(bool busy) = 0;
    /// Tells the reader something that does not stop the story: today only "ユーザーデータ書込み不能",
    /// when a save file cannot be written, so the reader's place is not kept. The window shows it in
    /// the about box, the terminal on its error stream.
    virtual void showNotice(const std::string& noticeSjis) = 0;
    /// The general error report: a message box titled with the application title.
    virtual void reportError(const std::string& messageSjis) = 0;
};

}  // namespace vrk::interpreter
