#pragma once
// The save-state file: slots .V01-.V04 and the quick save .VR$, Shift-JIS text of
// 49 to 52 CR LF lines holding one StoryState.

#include <filesystem>
#include <span>
#include <string>

#include "story/script.h"
#include "story/story_state.h"

namespace vrk::story {

/// Reads a state from the file's bytes (missing lines read as empty / defaults).
/// Does not look up currentOffset.
void parseState(std::span<const char> bytes, StoryState& state);
/// Reads the file into state, then sets currentOffset from the index. A missing or
/// unreadable file throws the I/O error and leaves state unchanged.
void readState(const std::filesystem::path& path, const LabelIndex& labels, StoryState& state);

/// The file's bytes. The resume marker is "0" when currentOffset is vrkalterOffset. A field's
/// LF bytes cannot be stored and are left out, so every field reads back in its place.
std::string formatState(const StoryState& state, std::int32_t vrkalterOffset);
/// The file's bytes with the resume marker given ("1" when resumeMarker).
std::string formatStateMarked(const StoryState& state, bool resumeMarker);
/// Whether bytes read as a save of the story whose index is labels: no longer than a save can be,
/// every flag line only "0" and "1", and its label one of the story's (or "VRKSTART"), or else
/// its title the one given. An empty file holds nothing to lose and counts too.
bool readsAsSaveOf(std::string_view bytes, const LabelIndex& labels, std::string_view titleSjis);

/// Writes bytes as the save file at path, whole or not at all, and only over a file that reads
/// as a save of this story (readsAsSaveOf with the title bytes hold): whatever else a story
/// names as its slot (a link, the reader's notes) is left alone. A file that already holds the
/// bytes is not written again. False when the file does not hold them afterwards.
bool writeSaveFile(const std::filesystem::path& path, const std::string& bytes, const LabelIndex& labels);
/// writeSaveFile with the state's bytes (formatState, with the offset of "VRKALTER" in labels).
bool writeState(const std::filesystem::path& path, const StoryState& state, const LabelIndex& labels);

/// The first line of a slot, for the picker's caption, and whether it is unused.
struct SlotDescription {
    std::string captionSjis;
    std::string commentSjis;
    bool fresh = false;
};
/// Reads the head of a slot file; throws the I/O error when it cannot be read.
SlotDescription describeSlotFile(const std::filesystem::path& path);
/// Reads the defaults block at the offset of "VRKALTER" (nine prompt/name pairs, each cut to
/// 16 bytes, then the title) into state. Throws the I/O error when the label is missing or
/// the script ends first.
void readDefaultsBlock(ScriptReader& reader, const LabelIndex& labels, StoryState& state);
/// The content a slot initialisation writes, from the defaults block.
std::string initialSlotContent(const StoryState& defaults);

}  // namespace vrk::story
