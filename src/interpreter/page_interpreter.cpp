#include "interpreter/page_interpreter.h"

#include <exception>
#include <functional>

#include "common/errors.h"
#include "common/file_names.h"
#include "common/file_writing.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "story/save_file.h"

namespace vrk::interpreter {
namespace {

constexpr std::string_view kJumpError = "Jump Address Error : ";

// Holds the running flag for exactly the length of a run, and takes the busy cursor away
// however the run ends.
class RunGuard {
public:
    RunGuard(bool& running, std::function<void()> onEnd) : m_running(running), m_onEnd(std::move(onEnd)) {
        m_running = true;
    }
    ~RunGuard() {
        m_onEnd();
        m_running = false;
    }
    RunGuard(const RunGuard&) = delete;
    RunGuard& operator=(const RunGuard&) = delete;

private:
    bool& m_running;
    std::function<void()> m_onEnd;
};

}  // namespace

void PageInterpreter::showBusy(bool busy) {
    if (m_busy != busy) {
        m_busy = busy;
        m_host.setBusy(busy);
    }
}

void PageInterpreter::readLine() {
    m_story.script.readLine(m_story.currentLine);
}

void PageInterpreter::appendJumpError() {
    m_story.page.pageText.push_back(std::string(kJumpError) + m_story.state.currentLabel);
}

void PageInterpreter::runPage(std::int32_t offset) {
    if (offset < 0) {
        appendJumpError();
        return;
    }
    m_pageShown = false;
    {
        RunGuard guard(m_running, [this] { showBusy(false); });
        showBusy(true);
        if (m_observer) {
            m_observer->pageRunStarting(offset);
        }
        runPageInner(offset);
        saveProgress();
    }
    if (m_observer && m_pageShown) {
        m_observer->pageShown(m_shownLabel);
    }
}

bool PageInterpreter::runPageReporting(std::int32_t offset) {
    if (m_running) {
        return false;
    }
    try {
        runPage(offset);
        return true;
    } catch (const Error& error) {
        m_host.reportError(error.messageSjis());
        return false;
    } catch (const std::exception& error) {
        // Anything else the platform raises ends the run the same way rather than the program.
        m_host.reportError(utf8ToSjisLossy(error.what()));
        return false;
    }
}

bool PageInterpreter::selectChoice(int slot) {
    if (m_running || !m_story.scriptOpen() || slot < 1 || slot > m_story.page.choiceCount) {
        return false;
    }
    const std::string target = m_story.page.choices[static_cast<std::size_t>(slot)].target;
    return goToLabel(target, m_story.labels.findLabel(target));
}

bool PageInterpreter::goToLabel(const std::string& labelSjis, std::int32_t offset) {
    story::StoryState& state = m_story.state;
    state.currentLabel = labelSjis;
    state.currentOffset = offset;
    if (m_story.sound.soundName.empty()) {
        m_host.stopSound();
    }
    return runPageReporting(offset);
}

void PageInterpreter::runPageInner(std::int32_t offset) {
    SoundFields& sound = m_story.sound;
    sound.previousSoundName = sound.soundName;
    sound.soundName.clear();
    m_story.state.background.clear();
    m_host.hidePicture();
    m_host.restartReveal();

    runHead(offset);
    if (offset < 0) {
        return;
    }
    m_story.page.pageText.clear();
    // The end of the story moves the label on; the page shown still belongs to this one.
    const std::string pageLabel = m_story.state.currentLabel;
    collectBody();

    // Music goes on into the next page only while that page names it again.
    if (sound.soundName.empty()) {
        m_host.stopSound();
    }
    if (!sound.soundIsMusic) {
        sound.soundName.clear();
    }

    m_story.page.choiceCount = 0;
    m_host.hideChoices();
    if (lineIs("/")) {
        endStory();
    } else {
        collectChoices();
    }
    if (m_story.page.pageText.empty()) {
        m_story.page.pageText.emplace_back(" ");
    }
    m_host.prepareChoices();
    m_story.page.layoutDirty = true;
    showBusy(false);
    m_host.refreshPage();
    if (m_story.options.revealAtOnce) {
        m_host.enableChoices();
    }
    m_shownLabel = pageLabel;
    m_pageShown = true;
}

void PageInterpreter::runHead(std::int32_t& offset) {
    story::StoryState& state = m_story.state;
    for (int jumps = 0;; ++jumps) {
        if (jumps > kMaxJumpsPerRun) {
            throw Error(Error::Kind::Io, "Endless @NOWAIT cycle at " + state.currentLabel);
        }
        m_story.script.seek(offset);
        readLine();
        if (state.resumeSkip) {
            while (firstChar() == '!' || firstChar() == '?') {
                readLine();
            }
            state.resumeSkip = false;
        } else {
            while (firstChar() == '!' || firstChar() == '?') {
                if (firstChar() == '?') {
                    if (!story::evalCondition(state, m_story.currentLine)) {
                        readLine();
                    }
                } else {
                    story::applyStateLine(state, m_story.currentLine);
                }
                readLine();
            }
        }
        if (!lineIs("@NOWAIT")) {
            return;
        }
        readLine();
        state.currentLabel = readTarget();
        state.currentOffset = m_story.labels.findLabel(state.currentLabel);
        if (state.currentOffset < 0) {
            appendJumpError();
            offset = -1;
            return;
        }
        offset = state.currentOffset;
    }
}

void PageInterpreter::collectBody() {
    while (firstChar() != '?' && !lineIs("/")) {
        if (firstChar() == '>') {
            dispatchCommand();
        } else {
            story::substituteNames(m_story.state, m_story.currentLine);
            m_story.page.pageText.push_back(m_story.currentLine);
        }
        readLine();
    }
}

void PageInterpreter::collectChoices() {
    PageState& page = m_story.page;
    while (page.choiceCount < kMaxChoices && !lineIs("?END")) {
        if (story::evalCondition(m_story.state, m_story.currentLine)) {
            ++page.choiceCount;
            readLine();
            story::substituteNames(m_story.state, m_story.currentLine);
            ChoiceSlot& slot = page.choices[static_cast<std::size_t>(page.choiceCount)];
            slot.caption = m_story.currentLine;
            slot.target = readTarget();
        } else {
            readLine();
            readTarget();
        }
        readLine();
    }
    if (page.choiceCount == 0) {
        page.choiceCount = 1;
        page.choices[1].target = readTarget();
    } else if (page.choiceCount == 1) {
        page.pageText.push_back(std::string(messages::kFullWidthSpace) + page.choices[1].caption);
    } else {
        page.pageText.emplace_back(" ");
        for (int j = 1; j <= page.choiceCount; ++j) {
            std::string line = " ";
            line.push_back(static_cast<char>('A' + j - 1));
            line += ": ";
            line += page.choices[static_cast<std::size_t>(j)].caption;
            page.pageText.push_back(std::move(line));
        }
    }
}

void PageInterpreter::endStory() {
    story::StoryState& state = m_story.state;
    for (int n = 1; n < story::kFirstKeptFlag; ++n) {
        state.flags[static_cast<std::size_t>(n)] = 0;
    }
    state.setLetter('A', 'A');
    state.setLetter('B', 'A');
    state.setLetter('C', 'A');
    const auto first = m_story.labels.firstLabel();
    state.currentLabel = first ? first->name : std::string();
    state.currentOffset = m_story.labels.findLabel("VRKALTER");
    state.bgColour = 16;
    state.textColour = 16;
    m_story.sound.soundName.clear();
    flushProject();
}

std::string PageInterpreter::readTarget() {
    std::string target;
    while (target.empty()) {
        readLine();
        const std::string& line = m_story.currentLine;
        if (firstChar() == '?') {
            // Without a comma the condition is empty (true) and the whole line is the label.
            const std::size_t comma = line.find(',');
            const std::size_t split = comma == std::string::npos ? 0 : comma;
            if (story::evalCondition(m_story.state, std::string_view(line).substr(0, split))) {
                target = story::cutTo(line.substr(comma == std::string::npos ? 0 : comma + 1), 8);
                do {
                    readLine();
                } while (firstChar() == '?');
            }
        } else {
            target = story::cutTo(line, 8);
        }
    }
    return target;
}

bool PageInterpreter::writeSlot() const {
    return story::writeState(m_story.locations.saveFile(m_story.locations.slotExtension), m_story.state,
                             m_story.labels);
}

void PageInterpreter::saveProgress() {
    // What the flush that ends the reading will write, already now, so that a session that ends
    // without one (a lost display, a crash, a power cut) loses no page the reader has seen. A
    // slot that cannot be written is reported by that flush, not after every page.
    if (m_story.scriptOpen()) {
        writeSlot();
    }
}

void PageInterpreter::flushProject() {
    if (m_story.scriptOpen()) {
        m_story.script.close();
        if (!writeSlot()) {
            m_host.showNotice(std::string(messages::kUserDataUnwritable));
        }
    }
    m_story.page.choiceCount = 1;
}

}  // namespace vrk::interpreter
