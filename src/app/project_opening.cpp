#include "app/project_opening.h"

#include <array>
#include <cstdlib>
#include <system_error>

#include "common/errors.h"
#include "common/file_names.h"
#include "common/file_writing.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "story/save_file.h"

namespace fs = std::filesystem;

namespace vrk::app {

using interpreter::Story;
using interpreter::StoryHost;

namespace {

constexpr std::string_view kNotAsked = "????";
constexpr std::size_t kMaxBackgroundNameBytes = 512;

std::string slotExtensionFor(int slot) {
    return ".V0" + std::to_string(slot);
}

// A slot without write bits stays as shipped even for an administrator, who could write
// anything; a project on read-only media or installed by another user cannot be written
// whatever its bits say. Either way its saves go elsewhere.
bool saveInProjectDirectory(const std::optional<fs::path>& firstSlot) {
    return firstSlot && fileIsWritable(*firstSlot);
}

fs::path withSeparator(fs::path dir) {
    if (!dir.empty() && !dir.filename().empty()) {
        dir /= "";
    }
    return dir;
}

}  // namespace

fs::path userDataDirectory() {
    fs::path base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = fs::path(home) / ".local" / "share";
    } else {
        base = fs::temp_directory_path();
    }
    const fs::path dir = base / "vrk3";
    std::error_code ec;
    fs::create_directories(dir, ec);
    return withSeparator(dir);
}

void ProjectOpening::chooseSaveDirectory() {
    interpreter::Locations& where = m_story.locations;
    const auto firstSlot = findInDirectory(where.projectDir, where.baseName + ".V01");
    if (saveInProjectDirectory(firstSlot)) {
        where.saveDir = where.projectDir;
        removeStaleTemporaries(where.saveDir);
        return;
    }
    where.saveDir =
        createEmptyFile(where.programDir / "$$VRKTMP.$$$") ? where.programDir : userDataDirectory();
    removeStaleTemporaries(where.saveDir);
    if (findInDirectory(where.saveDir, where.baseName + ".V01")) {
        return;
    }
    const fs::path target = where.saveDir;
    // Read from the project directory; saveDir names it while a read may fail.
    where.saveDir = where.projectDir;
    std::array<std::string, 4> copies;
    for (int slot = 1; slot <= 4; ++slot) {
        story::StoryState copy;
        story::readState(where.saveFile(slotExtensionFor(slot)), m_story.labels, copy);
        // The copy keeps the slot's own resume marker: recomputing it against whatever
        // index is loaded would make a resumed story replay its label's state lines.
        copies[static_cast<std::size_t>(slot - 1)] = story::formatStateMarked(copy, copy.resumeSkip);
    }
    where.saveDir = target;
    // All four are read before any is written, and the first slot is written last: its
    // presence is what tells a later opening that the copies are there.
    for (int slot = 4; slot >= 1; --slot) {
        if (!replaceFile(target / (where.baseName + slotExtensionFor(slot)),
                         copies[static_cast<std::size_t>(slot - 1)])) {
            m_host.showAboutComment(std::string(messages::kUserDataUnwritable));
        }
    }
}

SlotView ProjectOpening::describeSlot(int slot) {
    m_slot = slot;
    m_eraseArmed = false;
    m_story.locations.slotExtension = slotExtensionFor(slot);
    const story::SlotDescription description =
        story::describeSlotFile(m_story.locations.saveFile(m_story.locations.slotExtension));
    m_view = {description.captionSjis, description.commentSjis, description.fresh};
    m_fresh = description.fresh;
    return m_view;
}

SlotView ProjectOpening::eraseSlot() {
    if (!m_eraseArmed) {
        m_eraseArmed = true;
        m_view.commentSjis = messages::kEraseConfirm;
        return m_view;
    }
    readDefaultsBlock();
    const std::string content = story::initialSlotContent(m_story.state);
    if (!replaceFile(m_story.locations.saveFile(m_story.locations.slotExtension), content)) {
        m_view.commentSjis = messages::kUserDataUnwritable;
        return m_view;
    }
    return describeSlot(m_slot);
}

void ProjectOpening::readDefaultsBlock() {
    m_story.labels.load(m_story.locations.projectFile(".VRJ"));
    // A reader of its own: the story's reader may be closed, and must not move.
    story::ScriptReader defaults;
    defaults.open(m_story.locations.projectFile(".VRK"));
    story::readDefaultsBlock(defaults, m_story.labels, m_story.state);
}

void ProjectOpening::loadSlot() {
    m_story.labels.load(m_story.locations.projectFile(".VRJ"));
    story::readState(m_story.locations.saveFile(m_story.locations.slotExtension), m_story.labels,
                     m_story.state);
    m_story.sound.soundName.clear();
}

std::vector<int> ProjectOpening::namesToAsk() const {
    std::vector<int> asked;
    if (!m_fresh) {
        return asked;
    }
    for (int i = 1; i <= story::kNameCount; ++i) {
        if (m_story.state.namePrompts[static_cast<std::size_t>(i)] != kNotAsked) {
            asked.push_back(i);
        }
    }
    return asked;
}

std::string ProjectOpening::namePromptSjis(int i) const {
    return m_story.state.namePrompts[static_cast<std::size_t>(i)] + std::string(messages::kEnterName);
}

bool ProjectOpening::setName(int i, const std::string& nameSjis) {
    if (nameSjis.empty() || i < 1 || i > story::kNameCount) {
        return false;
    }
    // A name typed by the reader is cut at a character: half a character would show as
    // garbage wherever the story prints the name.
    m_story.state.names[static_cast<std::size_t>(i)] = cutSjis(nameSjis, story::kMaxNameBytes);
    return true;
}

void ProjectOpening::start() {
    story::StoryState& state = m_story.state;
    if (m_fresh) {
        const auto first = m_story.labels.firstLabel();
        if (!first) {
            throw Error(Error::Kind::Io, "The label index holds no start label");
        }
        state.currentLabel = story::cutTo(first->name, story::kMaxLabelBytes);
        state.currentOffset = first->offset;
    }
    if (state.background.size() > 1) {
        m_host.loadPicture(state.background.substr(1, kMaxBackgroundNameBytes));
    }
    m_story.script.open(m_story.locations.projectFile(".VRK"));
    m_interpreter.runPageReporting(state.currentOffset);
}

std::string ProjectOpening::windowCaptionSjis() const {
    return m_story.state.title + " (VRK3)";
}

bool quickSaveExists(const Story& story) {
    return findInDirectory(story.locations.saveDir, story.locations.baseName + ".VR$").has_value();
}

bool quickSave(Story& story, StoryHost& host) {
    const std::int32_t vrkalter = story.labels.findLabel("VRKALTER");
    if (!story::writeState(story.locations.saveFile(".VR$"), story.state, vrkalter)) {
        host.showAboutComment(std::string(messages::kUserDataUnwritable));
        return false;
    }
    return true;
}

void quickLoad(Story& story, interpreter::PageInterpreter& interpreter, StoryHost& host) {
    host.stopSound();
    interpreter.flushProject();
    story.labels.load(story.locations.projectFile(".VRJ"));
    // The story stays the slot's: the quick save is only read, never flushed to.
    story::readState(story.locations.saveFile(".VR$"), story.labels, story.state);
    story.sound.soundName.clear();
    story.script.open(story.locations.projectFile(".VRK"));
    interpreter.runPageReporting(story.state.currentOffset);
}

std::optional<ProjectName> projectFromArgument(const std::string& argument) {
    if (argument.empty()) {
        return std::nullopt;
    }
    std::error_code ec;
    const fs::path path = fs::absolute(argument, ec);
    if (ec) {
        return std::nullopt;
    }
    const std::string fileName = path.filename().string();
    const std::string stem = fileName.substr(0, fileName.find('.'));
    if (stem.empty() || !findInDirectory(path.parent_path(), stem + ".vrk")) {
        return std::nullopt;
    }
    return ProjectName{withSeparator(path.parent_path()), stem};
}

bool runReporting(const std::function<void()>& step, const std::function<void(const std::string&)>& report) {
    try {
        step();
        return true;
    } catch (const Error& error) {
        report(error.messageSjis());
    } catch (const std::exception& error) {
        // Shown, never fatal.
        report(utf8ToSjisLossy(error.what()));
    }
    return false;
}

}  // namespace vrk::app
