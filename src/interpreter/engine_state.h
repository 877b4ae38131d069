#pragma once
// The whole engine state of one story being played: where the project and its saves are, its
// label index and script reader, the story state, the page on show, the sound fields and the
// reader's options. The page interpreter, the project opening and the front ends all work on one
// EngineState, which the reading session (or the terminal front end) owns.

#include <array>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "story/script.h"
#include "story/story_state.h"

namespace vrk::interpreter {

constexpr int kMaxChoices = 6;

struct ChoiceSlot {
    std::string caption;  ///< up to 255 bytes, names substituted
    std::string target;   ///< a label, up to 8 bytes
};

/// The page on show: its lines and choices.
struct PageState {
    std::vector<std::string> pageText;                  ///< Shift-JIS lines, top to bottom
    std::array<ChoiceSlot, kMaxChoices + 1> choices{};  ///< [1..6]
    int choiceCount = 0;
    bool layoutDirty = false;
};

/// The single sound channel's shared fields; the channel itself owns soundOpen.
struct SoundFields {
    std::string soundName;  ///< up to 255 bytes
    std::string previousSoundName;
    bool soundOpen = false;
    bool soundIsMusic = false;
};

/// The reader's options the engine reads: the check marks of the settings menu.
struct EngineOptions {
    bool playMidi = true;        ///< MIDI sounds play (Mid1, "Midファイル")
    bool playWave = true;        ///< WAV sounds play (Wav1, "Wavファイル")
    bool playOtherMedia = true;  ///< sounds of any other kind play (Other1, "その他のファイル")
    /// A line of no known command runs as a program, as ">EXE=" lines do (OldExe1, "旧形式外部EXE").
    bool linesRunAsPrograms = false;
    /// JPEG pictures in 236 colours and the watermark from the 16-colour table (LowRes1, "ローレゾ").
    bool lowColour = false;
    bool brightOutline = false;  ///< the text's outline in a bright colour (Contrast1, "高輝度ふち取り")
    /// Pages show whole at once and their choices are ready at once (Nonstop1, "最速").
    bool revealAtOnce = false;
    bool operator==(const EngineOptions&) const = default;
};

/// Where the project and its saves are. Directories end in a separator when set.
struct Locations {
    std::filesystem::path programDir;
    std::filesystem::path projectDir;  ///< empty while no project is known
    std::filesystem::path saveDir;
    std::string baseName;
    std::string slotExtension = ".V01";
    /// Where the script, its index and the slots the story ships are, when not in projectDir: a
    /// story compiled from its source as it is written plays from a folder of the player's own,
    /// while its pictures, sounds and programs (%P%) stay beside the source.
    std::filesystem::path compiledDir;
    /// The file whose full path names the folder of this project's saves when the project cannot
    /// keep them itself; empty for the script. A story compiled into a folder of the moment names
    /// its source, so its saves outlive that folder.
    std::filesystem::path savesKey;

    std::filesystem::path projectFile(const std::string& extension) const;
    std::filesystem::path saveFile(const std::string& extension) const;
    bool projectKnown() const { return !projectDir.empty(); }
    /// The folder of the script, the index and the shipped slots.
    const std::filesystem::path& storyFilesDir() const {
        return compiledDir.empty() ? projectDir : compiledDir;
    }
};

/// A number in [0, count) drawn from the generator's 32-bit outputs, the same on every
/// platform (std::uniform_int_distribution is not): the answer is the high half of x * count,
/// and an output whose low half falls below 2^32 mod count is drawn again so no answer is
/// favoured. A count of 0 or 1 still takes one output, so the sequence stays in step.
template <class Generator>
std::uint32_t drawBelow(Generator& generator, std::uint32_t count) {
    if (count <= 1) {
        generator();
        return 0;
    }
    const std::uint32_t threshold = static_cast<std::uint32_t>(-count) % count;
    std::uint64_t product = 0;
    do {
        product = std::uint64_t{static_cast<std::uint32_t>(generator())} * count;
    } while (static_cast<std::uint32_t>(product) < threshold);
    return static_cast<std::uint32_t>(product >> 32);
}

/// Everything the engine knows of the story being played, and the reader's options for it.
struct EngineState {
    Locations locations;
    story::LabelIndex labels;
    story::ScriptReader script;
    story::StoryState state;
    PageState page;
    SoundFields sound;
    EngineOptions options;
    std::string currentLine;  ///< the line read last
    std::mt19937 random{std::random_device{}()};

    /// True while a story is in progress (the script is open).
    bool scriptOpen() const { return script.isOpen(); }
};

}  // namespace vrk::interpreter
