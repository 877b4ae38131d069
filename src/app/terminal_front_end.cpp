#include "app/terminal_front_end.h"

#include <iostream>

#include "app/is_terminal.h"
#include "app/project_opening.h"
#include "app/settings_file.h"
#include "common/errors.h"
#include "common/numbers.h"
#include "common/sjis.h"
#include "common/terminal_text.h"
#include "pictures/picture_loader.h"
#include "presentation/choices.h"
#include "programs/outside_programs.h"

namespace vrk::app {

std::optional<TerminalOptions> parseTerminalArguments(const std::vector<std::string>& args,
                                                      std::string* error) {
    TerminalOptions options;
    const auto fail = [error](std::string reason) -> std::optional<TerminalOptions> {
        *error = std::move(reason);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--headless") {
            continue;
        }
        if (arg == "--slot" || arg == "--seed") {
            const auto value = hasValue ? parseDecimal(args[i + 1]) : std::nullopt;
            if (!value) {
                return fail(arg + " needs a number");
            }
            ++i;
            if (arg == "--slot") {
                if (*value < 1 || *value > 4) {
                    return fail("--slot takes 1 to 4");
                }
                options.slot = *value;
            } else {
                options.seed = static_cast<std::uint32_t>(*value);
            }
        } else if (arg == "--allow-exec") {
            options.allowExec = true;
        } else if (!arg.empty() && arg[0] == '-') {
            return fail("unknown option " + arg);
        } else if (options.projectFile.empty()) {
            options.projectFile = arg;
        } else {
            return fail("more than one project file");
        }
    }
    if (options.projectFile.empty()) {
        return fail("no project file");
    }
    return options;
}

TerminalFrontEnd::TerminalFrontEnd(TerminalOptions options, std::istream& in, std::ostream& out,
                                   std::ostream& err)
    : m_options(std::move(options)),
      m_in(in),
      m_out(out),
      m_err(err),
      m_interpreter(m_story, *this),
      m_soundChannel(m_soundBackend, m_story.sound) {
    m_interactive = &in == &std::cin && &out == &std::cout && isTerminal(0) && isTerminal(1);
    if (m_options.seed) {
        m_story.random.seed(*m_options.seed);
    }
    m_story.locations.programDir = m_options.programDir;
    // The reader's options as the window left them, so the story evolves the same here;
    // the terminal never writes them back.
    const Settings settings = readSettings(settingsFilePath(m_options.programDir));
    m_story.options = {settings.mid,    settings.wav,      settings.other,  settings.oldExe,
                       settings.lowRes, settings.contrast, settings.nonstop};
}

// Every text of the story reaches the terminal through here or terminalText: escaped, so
// that it neither drives the terminal nor, holding a line break, forges lines of the report.
void TerminalFrontEnd::printSjis(std::string_view prefix, std::string_view textSjis) {
    m_out << prefix << terminalText(sjisToUtf8(textSjis)) << '\n';
}

bool TerminalFrontEnd::readInputLine(std::string& line) {
    if (m_interactive) {
        m_out << "> " << std::flush;
    }
    if (!std::getline(m_in, line)) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

bool TerminalFrontEnd::askNames(ProjectOpening& opening) {
    for (int i : opening.namesToAsk()) {
        const std::string& defaultName = m_story.state.names[static_cast<std::size_t>(i)];
        for (;;) {
            printSjis("@name ", m_story.state.namePrompts[static_cast<std::size_t>(i)]);
            std::string answer;
            if (!readInputLine(answer)) {
                // Input ended during the names: the rest keep their defaults.
                return true;
            }
            if (answer.empty()) {
                if (!defaultName.empty()) {
                    break;
                }
                continue;
            }
            opening.setName(i, utf8ToSjisLossy(answer));
            break;
        }
    }
    return true;
}

bool TerminalFrontEnd::open() {
    const auto project = projectFromArgument(m_options.projectFile);
    if (!project) {
        m_err << "vrk3: " << terminalText(m_options.projectFile)
              << ": no project (no .vrk file of that name)\n";
        return false;
    }
    m_story.locations.projectDir = project->projectDir;
    m_story.locations.baseName = project->baseName;
    m_soundChannel.setBaseDir(project->projectDir);
    ProjectOpening opening(m_story, m_interpreter, *this);
    try {
        opening.chooseSaveDirectory();
        opening.describeSlot(m_options.slot);
        opening.loadSlot();
        if (opening.freshSlot() && m_story.labels.count() == 0) {
            throw Error(Error::Kind::Io, "The label index holds no start label");
        }
        askNames(opening);
        m_quickLoadEnabled = quickSaveExists(m_story);
        opening.start();
    } catch (const Error& error) {
        m_err << "vrk3: " << terminalText(sjisToUtf8(error.messageSjis())) << '\n';
        return false;
    } catch (const std::exception& error) {
        // Whatever else the platform raises while opening ends the opening, never the program.
        m_err << "vrk3: " << terminalText(error.what()) << '\n';
        return false;
    }
    return true;
}

void TerminalFrontEnd::printReport() {
    if (m_runError) {
        printSjis("@error ", *m_runError);
        m_runError.reset();
    }
    printSjis("@page ", m_story.state.currentLabel);
    for (const std::string& line : m_story.page.pageText) {
        printSjis("| ", line);
    }
    if (m_story.scriptOpen()) {
        m_out << "@choices " << m_story.page.choiceCount << '\n';
    } else {
        m_out << "@end\n";
    }
    m_out << std::flush;
}

void TerminalFrontEnd::choose(int keyCode) {
    // The same rule as the window's keys: Enter is the first choice only while the page has
    // a single button, and a key takes its slot only while that button is shown.
    if (const auto slot = presentation::choiceKeySlot(keyCode, m_story.scriptOpen(), m_visibleButtons)) {
        m_interpreter.selectChoice(*slot);
        printReport();
    }
}

bool TerminalFrontEnd::handleInput(const std::string& line) {
    if (line == ":quit") {
        return false;
    }
    if (line == ":save") {
        if (quickSave(m_story, *this)) {
            m_quickLoadEnabled = true;
        }
        return true;
    }
    if (line == ":load") {
        if (m_quickLoadEnabled) {
            try {
                quickLoad(m_story, m_interpreter, *this);
            } catch (const Error& error) {
                m_runError = error.messageSjis();
            } catch (const std::exception& error) {
                m_runError = utf8ToSjisLossy(error.what());
            }
            printReport();
        }
        return true;
    }
    if (line.empty()) {
        choose(presentation::kEnterKey);
    } else if (line.size() == 1) {
        choose(static_cast<unsigned char>(line[0]));
    }
    return true;
}

int TerminalFrontEnd::run() {
    if (!start()) {
        return 1;
    }
    std::string line;
    while (m_story.scriptOpen() && readInputLine(line)) {
        if (!handleInput(line)) {
            break;
        }
    }
    finish();
    return 0;
}

bool TerminalFrontEnd::start() {
    if (!open()) {
        return false;
    }
    printReport();
    return true;
}

bool TerminalFrontEnd::step(const std::string& line) {
    return m_story.scriptOpen() && handleInput(line) && m_story.scriptOpen();
}

void TerminalFrontEnd::finish() {
    stopSound();
    m_interpreter.flushProject();
}

void TerminalFrontEnd::showPicture(const std::string& fileNameSjis) {
    pictures::loadPicture(fileNameSjis, m_story.locations.projectDir, m_story.options.lowColour,
                          m_pictureBitmap);
}

bool TerminalFrontEnd::loadPicture(const std::string& fileNameSjis) {
    return pictures::loadPicture(fileNameSjis, m_story.locations.projectDir, m_story.options.lowColour,
                                 m_backgroundBitmap);
}

bool TerminalFrontEnd::playSound(const std::string& fileNameSjis) {
    return m_soundChannel.playSound(fileNameSjis);
}

void TerminalFrontEnd::stopSound() {
    m_soundChannel.stopSound();
}

void TerminalFrontEnd::launchProgram(const std::string& commandLineSjis) {
    printSjis("@exec ", commandLineSjis);
    // A story must not start programs behind the reader's back: only when asked to.
    if (m_options.allowExec) {
        programs::launchProgram(commandLineSjis, m_story.locations.projectDir);
    }
}

void TerminalFrontEnd::showNotice(const std::string& noticeSjis) {
    m_err << "vrk3: " << terminalText(sjisToUtf8(noticeSjis)) << '\n';
}

void TerminalFrontEnd::reportError(const std::string& messageSjis) {
    m_runError = messageSjis;
}

}  // namespace vrk::app
