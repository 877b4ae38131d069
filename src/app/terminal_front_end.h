#pragma once
// The terminal player (vrk3 --headless): the same engine without a window. Pages are
// printed as a transcript (@page, "| " lines, @choices / @end), input is read a line
// at a time and handled as the window's keys are. No reveal, no sound output; files
// are still tested and pictures still loaded, so the story state evolves as in the window.

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>

#include "interpreter/engine_state.h"
#include "interpreter/page_interpreter.h"
#include "interpreter/story_host.h"
#include "pictures/bitmap.h"
#include "sound/null_sound_backend.h"
#include "sound/sound_channel.h"

namespace vrk::app {

struct TerminalOptions {
    std::string projectFile;
    int slot = 1;
    std::optional<std::uint32_t> seed;
    bool allowExec = false;
    std::filesystem::path programDir;
};

/// Parses "--headless [--slot N] [--seed N] [--allow-exec] PROJECT_FILE" (argv without the
/// program name); nothing for a usage error, with the reason in error.
std::optional<TerminalOptions> parseTerminalArguments(const std::vector<std::string>& args,
                                                      std::string* error);

class TerminalFrontEnd : public interpreter::StoryHost {
public:
    TerminalFrontEnd(TerminalOptions options, std::istream& in, std::ostream& out, std::ostream& err);

    /// Opens the project, plays it to the end of input, and returns the exit code:
    /// 0 after @end, ":quit" or the end of input; 1 when the project cannot be opened.
    int run();

    // run() in steps, for a host that hands over input when it has some (a web page):
    /// Opens the project (names are read from the input stream) and prints the first report;
    /// false when the project cannot be opened.
    bool start();
    /// Handles one input line as run() does; false when no more input is wanted (the story
    /// has ended or ":quit" came).
    bool step(const std::string& line);
    /// Stops the sound and writes the story back to its slot.
    void finish();

    void showPicture(const std::string& fileNameSjis) override;
    void hidePicture() override {}
    bool loadPicture(const std::string& fileNameSjis) override;
    bool playSound(const std::string& fileNameSjis) override;
    void stopSound() override;
    void launchProgram(const std::string& commandLineSjis) override;
    void waitTicks(int) override {}
    void repaint() override {}
    void hideChoices() override { m_visibleButtons = 0; }
    void prepareChoices() override { m_visibleButtons = m_story.page.choiceCount; }
    void enableChoices() override {}
    void refreshPage() override {}
    void restartReveal() override {}
    void setBusy(bool) override {}
    void showNotice(const std::string& noticeSjis) override;
    void reportError(const std::string& messageSjis) override;

    interpreter::EngineState& story() { return m_story; }

private:
    bool open();
    bool askNames(class ProjectOpening& opening);
    bool readInputLine(std::string& line);
    void printReport();
    /// Handles one input line; false when the player should stop.
    bool handleInput(const std::string& line);
    /// A choice key (its character code, or Enter) as the window takes it.
    void choose(int keyCode);
    void printSjis(std::string_view prefix, std::string_view textSjis);

    TerminalOptions m_options;
    std::istream& m_in;
    std::ostream& m_out;
    std::ostream& m_err;
    bool m_interactive = false;
    interpreter::EngineState m_story;
    interpreter::PageInterpreter m_interpreter;
    sound::NullSoundBackend m_soundBackend;
    sound::SoundChannel m_soundChannel;
    pictures::Bitmap m_backgroundBitmap;
    pictures::Bitmap m_pictureBitmap;
    int m_visibleButtons = 0;
    bool m_quickLoadEnabled = false;
    std::optional<std::string> m_runError;
};

}  // namespace vrk::app
