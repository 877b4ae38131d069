#pragma once
// Field-by-field comparison of two story states, for the save round trips.

#include <cstdio>

#include "story/story_state.h"

namespace vrk::fuzz {

/// The first saved field that differs, or nullptr when the states agree.
inline const char* firstDifference(const story::StoryState& a, const story::StoryState& b) {
    if (a.title != b.title)
        return "title";
    if (a.currentLabel != b.currentLabel)
        return "currentLabel";
    if (a.namePrompts != b.namePrompts)
        return "namePrompts";
    if (a.names != b.names)
        return "names";
    if (a.flags != b.flags)
        return "flags";
    if (a.letters != b.letters)
        return "letters";
    if (a.resumeSkip != b.resumeSkip)
        return "resumeSkip";
    if (a.bgColour != b.bgColour)
        return "bgColour";
    if (a.textColour != b.textColour)
        return "textColour";
    if (a.background != b.background)
        return "background";
    return nullptr;
}

inline bool sameSavedFields(const story::StoryState& a, const story::StoryState& b) {
    if (const char* field = firstDifference(a, b)) {
        std::fprintf(stderr, "saved state differs in %s\n", field);
        return false;
    }
    return true;
}

}  // namespace vrk::fuzz
