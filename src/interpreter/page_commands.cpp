// The ">" lines of a page: colours, random letters, sounds, pictures, backgrounds
// and outside programs. A command never ends the page; what it cannot do (a missing
// file, a switched-off kind of sound) it skips without a word. Only a colour that is
// not a number fails, with the conversion error, like any other number field.

#include "common/file_names.h"
#include "common/numbers.h"
#include "interpreter/page_interpreter.h"

namespace vrk::interpreter {
namespace {

constexpr std::size_t kMaxProgramCommandBytes = 249;

// Extension from the last ".", upper case; "" when there is none.
std::string extensionOf(std::string_view nameSjis) {
    const std::size_t dot = nameSjis.rfind('.');
    return dot == std::string_view::npos ? std::string() : foldCaseSjis(nameSjis.substr(dot));
}

}  // namespace

std::string PageInterpreter::projectDirSjis() const {
    std::string dir = pathToSjis(m_story.locations.projectDir);
    if (!dir.empty() && dir.back() != '/') {
        dir.push_back('/');
    }
    return dir;
}

bool PageInterpreter::fileExists(const std::string& nameSjis) const {
    return fileNameExists(nameSjis, m_story.locations.projectDir);
}

void PageInterpreter::dispatchCommand() {
    std::string& line = m_story.currentLine;
    // The search resumes after each insertion, so a directory whose name holds "%P%"
    // cannot make the expansion endless.
    const std::string dir = projectDirSjis();
    for (std::size_t p = line.find("%P%"); p != std::string::npos; p = line.find("%P%", p + dir.size())) {
        line = story::cutTo(line.substr(0, p) + dir + line.substr(p + 3), story::kMaxLineBytes);
    }

    const std::string name = foldCaseAscii(std::string_view(line).substr(1, 4));
    story::StoryState& state = m_story.state;
    if (name == "COL=") {
        state.bgColour = static_cast<std::uint8_t>(toInteger(std::string_view(line).substr(5, 3)) & 0xFF);
    } else if (name == "FCL=") {
        state.textColour = static_cast<std::uint8_t>(toInteger(std::string_view(line).substr(5, 3)) & 0xFF);
    } else if (name == "RND=") {
        const auto at = [&line](std::size_t i) {
            return i < line.size() ? static_cast<std::uint8_t>(line[i]) : 0;
        };
        const std::uint8_t low = at(6);
        const std::uint8_t high = at(7);
        // An upside-down range gives the lowest letter rather than an undefined draw.
        const int span = high >= low ? high - low : 0;
        const std::uint32_t drawn = drawBelow(m_story.random, static_cast<std::uint32_t>(span) + 1);
        state.setLetter(static_cast<char>(at(5)), static_cast<std::uint8_t>(low + drawn));
    } else if (name == "WAV=" || name == "BGM=") {
        playSoundCommand(name == "BGM=");
    } else if (name == "BMP=") {
        line = line.substr(std::min<std::size_t>(5, line.size()));
        m_host.showPicture(line);
    } else if (name == "BAK=") {
        backgroundCommand('s');
    } else if (name == "TIL=") {
        backgroundCommand('t');
    } else if (name == "EXE=") {
        programCommand(5);
    } else if (m_story.options.linesRunAsPrograms) {
        programCommand(1);
    }
}

void PageInterpreter::playSoundCommand(bool music) {
    std::string& line = m_story.currentLine;
    line = line.substr(std::min<std::size_t>(5, line.size()));
    if (!fileExists(line)) {
        return;
    }
    const std::string kind = extensionOf(line);
    const EngineOptions& options = m_story.options;
    const bool allowed = kind == ".MID"   ? options.playMidi
                         : kind == ".WAV" ? options.playWave
                                          : options.playOtherMedia;
    if (!allowed) {
        return;
    }
    SoundFields& sound = m_story.sound;
    sound.soundIsMusic = music;
    sound.soundName = line;
    if (music && sound.soundName == sound.previousSoundName) {
        return;
    }
    if (!m_host.playSound(sound.soundName)) {
        // The channel has closed itself; the page goes on in silence.
        sound.soundIsMusic = false;
        return;
    }
    if (kind == ".WAV") {
        m_host.repaint();
        m_host.waitTicks(2);
    }
}

void PageInterpreter::backgroundCommand(char style) {
    std::string& line = m_story.currentLine;
    line = line.substr(std::min<std::size_t>(5, line.size()));
    std::string& background = m_story.state.background;
    const std::string current = background.empty() ? std::string() : background.substr(1);
    if (current == line) {
        return;
    }
    if (m_host.loadPicture(line)) {
        background = std::string(1, style) + line;
    }
}

void PageInterpreter::programCommand(std::size_t start) {
    const std::string& line = m_story.currentLine;
    if (start >= line.size()) {
        return;
    }
    // The program is the longest part of the line before a blank (or the whole line) that
    // names a file: in a folder such as "My Stories" the part before the blank is another file.
    if (programNameLength(std::string_view(line).substr(start), m_story.locations.projectDir) ==
        std::string_view::npos) {
        return;
    }
    m_host.launchProgram(line.substr(start, kMaxProgramCommandBytes));
}

}  // namespace vrk::interpreter
