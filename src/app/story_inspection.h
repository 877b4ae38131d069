#pragma once
// What an author's inspector shows of a reading, gathered without Qt: the page's label, the
// flags that are set, the letters, the names, the background and the sound, and the labels a
// page can be opened at. The window's dock only shows it and hands a chosen label back to
// ReadingSession::jumpToLabel.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "story/script.h"

namespace vrk::app {

class ReadingSession;

struct StorySnapshot {
    bool storyOpen = false;     ///< a story is in progress (its script open)
    std::string label;          ///< the current label, UTF-8
    std::vector<int> flagsSet;  ///< the flags 1-999 that are set, in order
    std::string letters;        ///< "A=x B=y ...": every letter, its value as the story sees it
    std::vector<std::pair<int, std::string>> names;  ///< names 1-9 that are not empty, UTF-8
    std::string background;                          ///< the background entry ("" for none), UTF-8
    int bgColour = 16;
    int textColour = 16;
    std::string sound;  ///< the sound last started and not stopped since, UTF-8
    bool soundIsMusic = false;
    bool soundPlaying = false;

    bool operator==(const StorySnapshot&) const = default;
};

/// The snapshot of the reading as it stands (after a page run, the state that run left).
StorySnapshot snapshotOf(const ReadingSession& session);

/// The flags as ranges, "3, 10-12, 501": a story may set hundreds, and a list of numbers one a
/// line would bury the few an author looks for.
std::string flagRanges(const std::vector<int>& flags);

/// The labels a page can be opened at, in the index's order and each once (UTF-8): records that
/// name no label and the reserved blocks (the defaults, the version) are left out.
std::vector<std::string> pageLabels(const story::LabelIndex& labels);

}  // namespace vrk::app
