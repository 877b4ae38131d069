#pragma once
// The reader's progress that outlives a page, and the script's small languages
// that read and change it: state lines ("!"), conditions ("?") and the
// substitution of the reader's names ("%1" to "%9").

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace vrk::story {

constexpr std::size_t kMaxNameBytes = 16;
constexpr std::size_t kMaxTitleBytes = 255;
constexpr int kNameCount = 9;
constexpr int kFlagCount = 999;
constexpr int kFirstKeptFlag = 501;  ///< flags from here on survive the end of the story

struct StoryState {
    std::string title;         ///< up to 255 bytes
    std::string currentLabel;  ///< up to 8 bytes
    std::int32_t currentOffset = -1;
    std::array<std::string, kNameCount + 1> namePrompts;  ///< [1..9], up to 16 bytes each
    std::array<std::string, kNameCount + 1> names;        ///< [1..9], up to 16 bytes each
    std::array<std::uint8_t, kFlagCount + 1> flags{};     ///< [1..999]; [0] is always set
    std::array<std::uint8_t, 26> letters;                 ///< 'A'..'Z' as values 0..25
    bool resumeSkip = false;
    std::uint8_t bgColour = 16;
    std::uint8_t textColour = 16;
    std::string background;  ///< "" or a style letter ('s', 't') and a picture name

    StoryState() {
        letters.fill('A');
        flags[0] = 1;
    }

    /// Flag n; numbers outside 0-999 read as clear and are never written.
    std::uint8_t flag(std::int32_t n) const { return n >= 0 && n <= kFlagCount ? flags[n] : 0; }
    void setFlag(std::int32_t n, std::uint8_t value) {
        if (n >= 0 && n <= kFlagCount) {
            flags[n] = value;
        }
    }
    /// Letter variable named by an ASCII capital; any other name reads 0 and writes nothing.
    std::uint8_t letter(char name) const { return name >= 'A' && name <= 'Z' ? letters[name - 'A'] : 0; }
    void setLetter(char name, std::uint8_t value) {
        if (name >= 'A' && name <= 'Z') {
            letters[name - 'A'] = value;
        }
    }
};

/// Cuts a byte string to at most capacity bytes.
inline std::string cutTo(std::string_view text, std::size_t capacity) {
    return std::string(text.substr(0, capacity));
}

/// A condition line ("?..."): every token must hold. Throws the conversion error for a
/// flag token that is not a number, even when the result is already false.
bool evalCondition(const StoryState& state, std::string_view line);
/// A state line ("!..."): letter form, flag copy, flag combination or flag list.
void applyStateLine(StoryState& state, std::string_view line);
/// Replaces each "%d" of line by name d, cut to 255 bytes; text that came from a name is
/// not looked at again. A "%" not followed by a digit throws the conversion error.
void substituteNames(const StoryState& state, std::string& line);

}  // namespace vrk::story
