#include "app/project_opening.h"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <system_error>

#include "app/user_folders.h"
#include "common/errors.h"
#include "common/file_names.h"
#include "common/file_reading.h"
#include "common/file_writing.h"
#include "common/messages.h"
#include "common/sjis.h"
#include "story/save_file.h"

namespace fs = std::filesystem;

namespace vrk::app {

using interpreter::EngineState;
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

namespace {

// The slot files and the read marks, all of which a copy carries.
constexpr std::array<std::string_view, 6> kCopiedExtensions = {".V04", ".V03", ".V02",
                                                               ".VR$", ".VRR", ".V01"};
constexpr std::size_t kMaxCopiedBytes = std::size_t{1} << 20;

// Earlier releases kept the copies straight in the folder under the base name alone, where any
// story of that name found them. They are carried over only into a project whose own first slot
// they match: their first slot reads as a save of this story.
bool earlierCopiesMatch(const interpreter::Locations& where, const fs::path& oldDir) {
    const auto oldFirst = findInDirectory(oldDir, where.baseName + ".V01");
    if (!oldFirst) {
        return false;
    }
    try {
        story::LabelIndex labels;
        labels.load(where.projectFile(".VRJ"));
        const auto old = readRegularFile(*oldFirst, "Save file", kMaxCopiedBytes, OverLimit::Refuse);
        // The title of the project's own first slot, when it ships one.
        std::string title;
        if (const auto ownFirst = findInDirectory(where.storyFilesDir(), where.baseName + ".V01")) {
            if (const auto own = tryReadRegularFile(*ownFirst, kMaxCopiedBytes, OverLimit::Refuse)) {
                title.assign(own->begin(), std::find_if(own->begin(), own->end(),
                                                        [](char c) { return c == '\r' || c == '\n'; }));
            }
        }
        return story::readsAsSaveOf(std::string_view(old.data(), old.size()), labels, title);
    } catch (const Error&) {
        return false;
    }
}

}  // namespace

void ProjectOpening::chooseSaveDirectory() {
    interpreter::Locations& where = m_story.locations;
    const auto firstSlot = findInDirectory(where.storyFilesDir(), where.baseName + ".V01");
    if (saveInProjectDirectory(firstSlot)) {
        where.saveDir = where.storyFilesDir();
        removeStaleTemporaries(where.saveDir);
        return;
    }
    const fs::path base = keepsFilesBesideProgram(where.programDir) ? where.programDir : userDataDirectory();
    if (base.empty()) {
        // Never a shared folder such as /tmp, where another user could have prepared the saves.
        throw Error(Error::Kind::Io,
                    "No folder of the reader's own for this story's saves: HOME is not set, or its "
                    "vrk3 data folder is a link or another user's");
    }
    const fs::path folder = projectSaveFolder(
        base, where.savesKey.empty() ? where.projectFile(".VRK") : where.savesKey, where.baseName);
    ::mkdir(folder.c_str(), 0700);
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        throw ioError("Save folder cannot be made", folder.string());
    }
    removeStaleTemporaries(folder);
    where.saveDir = folder;
    if (findInDirectory(folder, where.baseName + ".V01")) {
        return;
    }
    // Read from the project directory (or the earlier copies); saveDir names it while a read may fail.
    where.saveDir = earlierCopiesMatch(where, base) ? withSeparator(base) : where.storyFilesDir();
    std::array<std::optional<std::string>, kCopiedExtensions.size()> copies;
    for (std::size_t i = 0; i < kCopiedExtensions.size(); ++i) {
        const std::string extension(kCopiedExtensions[i]);
        if (extension == ".VR$" || extension == ".VRR") {
            // Only earlier copies have these; a story ships neither.
            if (where.saveDir != where.storyFilesDir()) {
                if (auto bytes =
                        tryReadRegularFile(where.saveFile(extension), kMaxCopiedBytes, OverLimit::Refuse)) {
                    copies[i] = std::string(bytes->begin(), bytes->end());
                }
            }
            continue;
        }
        story::StoryState copy;
        story::readState(where.saveFile(extension), m_story.labels, copy);
        // The copy keeps the slot's own resume marker: recomputing it against whatever
        // index is loaded would make a resumed story replay its label's state lines.
        copies[i] = story::formatStateMarked(copy, copy.resumeSkip);
    }
    where.saveDir = folder;
    // All are read before any is written, and the first slot is written last: its presence is
    // what tells a later opening that the copies are there.
    for (std::size_t i = 0; i < kCopiedExtensions.size(); ++i) {
        if (copies[i] &&
            !replaceFile(folder / (where.baseName + std::string(kCopiedExtensions[i])), *copies[i]) &&
            kCopiedExtensions[i] != ".VRR") {
            m_host.showNotice(std::string(messages::kUserDataUnwritable));
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
    if (!story::writeSaveFile(m_story.locations.saveFile(m_story.locations.slotExtension), content,
                              m_story.labels)) {
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

bool quickSaveExists(const EngineState& story) {
    return findInDirectory(story.locations.saveDir, story.locations.baseName + ".VR$").has_value();
}

bool quickSave(EngineState& story, StoryHost& host) {
    if (!story::writeState(story.locations.saveFile(".VR$"), story.state, story.labels)) {
        host.showNotice(std::string(messages::kUserDataUnwritable));
        return false;
    }
    return true;
}

void quickLoad(EngineState& story, interpreter::PageInterpreter& interpreter, StoryHost& host) {
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
