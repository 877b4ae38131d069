#include "app/story_inspection.h"

#include <unordered_set>

#include "app/reading_session.h"
#include "common/sjis.h"

namespace vrk::app {

StorySnapshot snapshotOf(const ReadingSession& session) {
    const interpreter::EngineState& story = session.story();
    const story::StoryState& state = story.state;
    StorySnapshot s;
    s.storyOpen = story.scriptOpen();
    s.label = sjisToUtf8(state.currentLabel);
    for (int n = 1; n <= story::kFlagCount; ++n) {
        if (state.flags[static_cast<std::size_t>(n)] != 0) {
            s.flagsSet.push_back(n);
        }
    }
    for (char name = 'A'; name <= 'Z'; ++name) {
        const std::uint8_t value = state.letter(name);
        if (!s.letters.empty()) {
            s.letters += ' ';
        }
        s.letters += name;
        s.letters += '=';
        // A letter usually holds a capital; anything else a story put there shows as its number.
        if (value > 0x20 && value < 0x7F) {
            s.letters += static_cast<char>(value);
        } else {
            s.letters += '#' + std::to_string(value);
        }
    }
    for (int i = 1; i <= story::kNameCount; ++i) {
        const std::string& name = state.names[static_cast<std::size_t>(i)];
        if (!name.empty()) {
            s.names.emplace_back(i, sjisToUtf8(name));
        }
    }
    s.background = sjisToUtf8(state.background);
    s.bgColour = state.bgColour;
    s.textColour = state.textColour;
    s.sound = sjisToUtf8(session.soundOnShowSjis());
    s.soundIsMusic = !s.sound.empty() && story.sound.soundIsMusic;
    s.soundPlaying = session.soundPlaying();
    return s;
}

std::string flagRanges(const std::vector<int>& flags) {
    std::string text;
    for (std::size_t i = 0; i < flags.size();) {
        std::size_t end = i;
        while (end + 1 < flags.size() && flags[end + 1] == flags[end] + 1) {
            ++end;
        }
        if (!text.empty()) {
            text += ", ";
        }
        text += std::to_string(flags[i]);
        if (end > i) {
            text += '-' + std::to_string(flags[end]);
        }
        i = end + 1;
    }
    return text;
}

std::vector<std::string> pageLabels(const story::LabelIndex& labels) {
    std::vector<std::string> names;
    std::unordered_set<std::string> seen;
    for (const story::LabelRecord& record : labels.records()) {
        // Only the first record of a name is ever found; the defaults and the version are data.
        if (record.name.empty() || record.storedLength > story::kMaxLabelBytes || record.name == "VRKALTER" ||
            record.name == "VRKVER" || !seen.insert(record.name).second) {
            continue;
        }
        names.push_back(sjisToUtf8(record.name));
    }
    return names;
}

}  // namespace vrk::app
