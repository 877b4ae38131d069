// The save-file reader, and a write-read round trip: what was read, written back, reads
// back the same. A damaged colour line is the player's I/O error, nothing else.

#include <string>

#include "common/errors.h"
#include "fuzz_check.h"
#include "story/save_file.h"
#include "story_state_compare.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const char> bytes(reinterpret_cast<const char*>(data), size);
    vrk::story::StoryState state;
    try {
        vrk::story::parseState(bytes, state);
    } catch (const vrk::Error&) {
        return 0;
    }
    FUZZ_CHECK(state.title.size() <= vrk::story::kMaxTitleBytes);
    FUZZ_CHECK(state.currentLabel.size() <= vrk::story::kMaxLabelBytes);
    for (int i = 1; i <= vrk::story::kNameCount; ++i) {
        FUZZ_CHECK(state.names[i].size() <= vrk::story::kMaxNameBytes);
        FUZZ_CHECK(state.namePrompts[i].size() <= vrk::story::kMaxNameBytes);
    }
    const std::string written = vrk::story::formatStateMarked(state, state.resumeSkip);
    vrk::story::StoryState reread;
    vrk::story::parseState(std::span<const char>(written.data(), written.size()), reread);
    FUZZ_CHECK(vrk::fuzz::sameSavedFields(state, reread));
    FUZZ_CHECK(vrk::story::formatStateMarked(reread, reread.resumeSkip) == written);
    return 0;
}
