#include <string>

#include "common/numbers.h"
#include "story/story_state.h"

namespace vrk::story {
namespace {

// Token i (from 1) holds the characters at positions 3i-1 to 3i+1 of the line; the
// last token of a line of length 3k has only two.
std::string_view token(std::string_view line, std::size_t i) {
    return line.substr(3 * i - 2, 3);
}

std::size_t tokenCount(std::string_view line) {
    return line.size() / 3;
}

char at(std::string_view text, std::size_t i) {
    return i < text.size() ? text[i] : '\0';
}

}  // namespace

bool evalCondition(const StoryState& state, std::string_view line) {
    bool result = true;
    std::uint8_t expected = 1;
    for (std::size_t i = 1; i <= tokenCount(line); ++i) {
        const std::string_view t = token(line, i);
        const char c1 = at(t, 0);
        const auto c3 = static_cast<std::uint8_t>(at(t, 2));
        const std::uint8_t value = state.letter(c1);
        switch (at(t, 1)) {
            case ':':
                result = result && value == state.letter(static_cast<char>(c3));
                break;
            case '<':
                result = result && value < c3;
                break;
            case '=':
                result = result && value == c3;
                break;
            case '>':
                result = result && value > c3;
                break;
            case 'O':
                expected = 0;
                break;
            default: {
                // Converted even when the result is already false, so a bad token always fails.
                const std::int32_t n = toInteger(t);
                result = result && state.flag(n) == expected;
                expected = 1;
                break;
            }
        }
    }
    return result;
}

namespace {

void applyLetterForm(StoryState& state, char name, char operation) {
    const std::uint8_t value = state.letter(name);
    if (operation == '+') {
        if (value < 'Z') {
            state.setLetter(name, static_cast<std::uint8_t>(value + 1));
        }
    } else if (operation == '-') {
        if (value > 'A') {
            state.setLetter(name, static_cast<std::uint8_t>(value - 1));
        }
    } else if (operation >= '0' && operation <= '@') {
        state.setLetter(name, static_cast<std::uint8_t>(operation + 17));
    } else if (operation >= 'A' && operation <= 'Z') {
        state.setLetter(name, state.letter(operation));
    }
}

void applyFlagCopy(StoryState& state, std::string_view line) {
    const char operation = line[1];
    if (operation != '+' && operation != '-') {
        return;
    }
    const std::uint8_t source = state.flag(toInteger(line.substr(2, 3)));
    const std::int32_t target = toInteger(line.substr(6, 3));
    state.setFlag(target, operation == '+' ? source : static_cast<std::uint8_t>(source ^ 1));
}

void applyFlagCombination(StoryState& state, std::string_view line) {
    const bool n = state.flag(toInteger(line.substr(1, 3))) != 0;
    const bool m = state.flag(toInteger(line.substr(5, 3))) != 0;
    const bool result = line[4] == '+' ? (n || m) : (n && m);
    state.setFlag(toInteger(line.substr(9, 3)), result ? 1 : 0);
}

}  // namespace

void applyStateLine(StoryState& state, std::string_view line) {
    switch (line.size()) {
        case 3:
            applyLetterForm(state, line[1], line[2]);
            return;
        case 9:
            applyFlagCopy(state, line);
            return;
        case 12:
            applyFlagCombination(state, line);
            return;
        default:
            break;
    }
    std::uint8_t value = 1;
    for (std::size_t i = 1; i <= tokenCount(line); ++i) {
        const std::string_view t = token(line, i);
        if (t == "NOT") {
            value = 0;
        } else {
            state.setFlag(toInteger(t), value);
            value = 1;
        }
    }
}

void substituteNames(const StoryState& state, std::string& line) {
    // The search goes on after each inserted name, so a name holding "%" is shown as
    // it is and a name naming itself cannot expand forever.
    std::size_t from = 0;
    for (std::size_t p = line.find('%'); p != std::string::npos; p = line.find('%', from)) {
        const std::int32_t d = toInteger(std::string_view(line).substr(p + 1, 1));
        const std::string& name = d >= 0 && d <= kNameCount ? state.names[static_cast<std::size_t>(d)] : "";
        line = cutTo(line.substr(0, p) + name + line.substr(std::min(p + 2, line.size())), 255);
        from = p + name.size();
        if (from >= line.size()) {
            break;
        }
    }
}

}  // namespace vrk::story
