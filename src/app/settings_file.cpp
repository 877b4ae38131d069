#include "app/settings_file.h"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <limits>
#include <sstream>
#include <system_error>

#include "app/user_folders.h"
#include "common/file_reading.h"
#include "common/file_writing.h"

namespace vrk::app {
namespace {

constexpr std::string_view kSpaces = " \t";

std::string_view trim(std::string_view text) {
    const auto first = text.find_first_not_of(kSpaces);
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(kSpaces);
    return text.substr(first, last - first + 1);
}

// Names are ASCII in every file the player writes; Shift-JIS bytes never match a letter.
bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
        if (fold(a[i]) != fold(b[i])) {
            return false;
        }
    }
    return true;
}

int digitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::optional<std::int32_t> parseProfileInteger(std::string_view text) {
    text = trim(text);
    bool negative = false;
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (char c : text) {
        const int digit = digitValue(c);
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        value = value * base + digit;
        // Hexadecimal may spell the full 32-bit pattern (0xFFFFFFFF is -1), decimal may not.
        const std::int64_t limit = base == 16 ? 0xFFFFFFFFLL : std::int64_t{1} << 31;
        if (value > limit) {
            return std::nullopt;
        }
    }
    if (base == 16 && value > std::numeric_limits<std::int32_t>::max()) {
        value -= std::int64_t{1} << 32;
    }
    if (negative) {
        value = -value;
    }
    if (value > std::numeric_limits<std::int32_t>::max() ||
        value < std::numeric_limits<std::int32_t>::min()) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

ProfileFile ProfileFile::parse(std::string_view bytes) {
    ProfileFile file;
    std::string current;
    while (!bytes.empty()) {
        const auto end = bytes.find_first_of("\r\n");
        std::string_view raw = bytes.substr(0, end);
        if (end == std::string_view::npos) {
            bytes = {};
        } else {
            const bool crlf = bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n';
            bytes.remove_prefix(end + (crlf ? 2 : 1));
        }
        Line line;
        line.raw = std::string(raw);
        const std::string_view body = trim(raw);
        const auto close = body.find(']');
        if (!body.empty() && body[0] == '[' && close != std::string_view::npos) {
            line.isSection = true;
            current = std::string(trim(body.substr(1, close - 1)));
        } else if (const auto eq = body.find('='); eq != std::string_view::npos && body[0] != ';') {
            line.isEntry = true;
            line.key = std::string(trim(body.substr(0, eq)));
            line.value = std::string(trim(body.substr(eq + 1)));
        }
        line.section = current;
        file.m_lines.push_back(std::move(line));
    }
    return file;
}

std::string ProfileFile::format() const {
    std::string out;
    for (const Line& line : m_lines) {
        out += line.isEntry ? line.key + "=" + line.value : line.raw;
        out += "\r\n";
    }
    return out;
}

std::size_t ProfileFile::find(std::string_view section, std::string_view key) const {
    // Only the first section of a name counts, as with the Windows profile functions.
    std::optional<std::string> firstSection;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        const Line& line = m_lines[i];
        if (line.isSection && sameName(line.section, section) && !firstSection) {
            firstSection = line.section;
            continue;
        }
        if (line.isSection && firstSection) {
            break;
        }
        if (firstSection && line.isEntry && sameName(line.key, key)) {
            return i;
        }
    }
    return std::string::npos;
}

std::optional<std::string> ProfileFile::text(std::string_view section, std::string_view key) const {
    const std::size_t index = find(section, key);
    if (index == std::string::npos) {
        return std::nullopt;
    }
    std::string_view value = m_lines[index].value;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value.substr(0, kMaxValueBytes));
}

std::int32_t ProfileFile::integer(std::string_view section, std::string_view key,
                                  std::int32_t fallback) const {
    const auto value = text(section, key);
    if (!value) {
        return fallback;
    }
    return parseProfileInteger(*value).value_or(fallback);
}

namespace {

// Reading trims blanks around a value and drops one pair of enclosing quotes; a value that
// either would change is written inside quotes, so it reads back byte for byte.
std::string quotedIfNeeded(std::string_view text) {
    std::string value;
    for (char c : text) {
        if (c != '\r' && c != '\n') {
            value.push_back(c);
        }
    }
    const bool blankAtEdge = !value.empty() && (kSpaces.find(value.front()) != std::string_view::npos ||
                                                kSpaces.find(value.back()) != std::string_view::npos);
    const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    if (!blankAtEdge && !quoted) {
        return value;
    }
    return "\"" + value + "\"";
}

}  // namespace

void ProfileFile::set(std::string_view section, std::string_view key, std::string_view rawValue) {
    const std::string value = quotedIfNeeded(rawValue);
    if (const std::size_t index = find(section, key); index != std::string::npos) {
        m_lines[index].value = std::string(value);
        return;
    }
    Line entry;
    entry.isEntry = true;
    entry.key = std::string(key);
    entry.value = std::string(value);
    // After the last entry of the first section of that name.
    std::optional<std::size_t> insertAt;
    bool inSection = false;
    for (std::size_t i = 0; i < m_lines.size(); ++i) {
        if (m_lines[i].isSection) {
            if (inSection) {
                break;
            }
            inSection = sameName(m_lines[i].section, section);
        }
        if (inSection && (m_lines[i].isSection || m_lines[i].isEntry)) {
            insertAt = i + 1;
        }
    }
    if (!insertAt) {
        Line header;
        header.isSection = true;
        header.section = std::string(section);
        header.raw = "[" + header.section + "]";
        m_lines.push_back(header);
        insertAt = m_lines.size();
    }
    entry.section = m_lines[*insertAt - 1].section;
    m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), std::move(entry));
}

void ProfileFile::setInteger(std::string_view section, std::string_view key, std::int32_t value) {
    set(section, key, std::to_string(value));
}

Settings settingsFromProfile(const ProfileFile& file) {
    Settings s;
    const auto within = [](std::int32_t value, int low, int high) {
        return std::clamp<std::int32_t>(value, low, high);
    };
    s.top = within(file.integer("WINDOW", "TOP", s.top), -Settings::kMaxWindowPosition,
                   Settings::kMaxWindowPosition);
    s.left = within(file.integer("WINDOW", "LEFT", s.left), -Settings::kMaxWindowPosition,
                    Settings::kMaxWindowPosition);
    s.height = within(file.integer("WINDOW", "HEIGHT", s.height), 0, Settings::kMaxWindowExtent);
    s.width = within(file.integer("WINDOW", "WIDTH", s.width), 0, Settings::kMaxWindowExtent);
    s.fontNameSjis = file.text("FONT", "NAME").value_or(s.fontNameSjis);
    // Zero and below are not applied by the window, so only the top is bounded.
    s.fontSize = std::min<std::int32_t>(file.integer("FONT", "SIZE", s.fontSize), Settings::kMaxFontSize);
    const int style = file.integer("FONT", "STYLE", s.styleCode());
    // Only the three codes the player writes carry a style; 0, 7 and the rest are regular.
    s.bold = style == 1 || style == 3;
    s.italic = style == 2 || style == 3;
    s.mid = file.integer("OPTION", "MID", 1) != 0;
    s.wav = file.integer("OPTION", "WAV", 1) != 0;
    s.other = file.integer("OPTION", "OTHER", 1) != 0;
    s.oldExe = file.integer("OPTION", "OLDEXE", 0) != 0;
    s.lowRes = file.integer("OPTION", "LOWRES", 0) != 0;
    s.contrast = file.integer("OPTION", "CONTRAST", 0) != 0;

    std::int32_t speed = file.integer("OPTION", "SPEED", Settings::kDefaultSpeed);
    if (speed < std::numeric_limits<std::int16_t>::min() ||
        speed > std::numeric_limits<std::int16_t>::max()) {
        speed = Settings::kDefaultSpeed;
    }
    if (speed < 0) {
        s.nonstop = true;
        speed = -speed;  // -32768 becomes 32768 here, still an int32, and falls to 2 below
    }
    s.revealSpeed = speed > Settings::kMaxSpeed ? Settings::kDefaultSpeed : speed;

    // A deliberate mend: the file format puts no bound on GAP, but a gap of 0 or less gives
    // lines of no height. Clamping to the menu's own range keeps every stored in-range value.
    const std::int32_t gap = file.integer("OPTION", "GAP", Settings::kDefaultGapTenths);
    s.gapTenths = gap < Settings::kMinGapTenths   ? Settings::kMinGapTenths
                  : gap > Settings::kMaxGapTenths ? Settings::kMaxGapTenths
                                                  : gap;
    s.autoAdvance = file.integer("VIEW", "AUTO", 0) != 0;
    s.speech = file.integer("VIEW", "SPEECH", 0) != 0;
    const auto volume = [&file](std::string_view key) {
        return std::clamp(file.integer("VIEW", key, Settings::kFullVolume), 0, Settings::kFullVolume);
    };
    s.musicVolume = volume("MUSICVOLUME");
    s.effectVolume = volume("EFFECTVOLUME");
    return s;
}

void settingsToProfile(const Settings& s, ProfileFile& file) {
    file.setInteger("WINDOW", "TOP", s.top);
    file.setInteger("WINDOW", "LEFT", s.left);
    file.setInteger("WINDOW", "HEIGHT", s.height);
    file.setInteger("WINDOW", "WIDTH", s.width);
    file.set("FONT", "NAME", s.fontNameSjis);
    file.setInteger("FONT", "SIZE", s.fontSize);
    file.setInteger("FONT", "STYLE", s.styleCode());
    file.setInteger("OPTION", "MID", s.mid ? 1 : 0);
    file.setInteger("OPTION", "WAV", s.wav ? 1 : 0);
    file.setInteger("OPTION", "OTHER", s.other ? 1 : 0);
    file.setInteger("OPTION", "OLDEXE", s.oldExe ? 1 : 0);
    file.setInteger("OPTION", "LOWRES", s.lowRes ? 1 : 0);
    file.setInteger("OPTION", "CONTRAST", s.contrast ? 1 : 0);
    file.setInteger("OPTION", "SPEED", s.speedCode());
    file.setInteger("OPTION", "GAP", s.gapTenths);
    if (s.autoAdvance || s.speech || file.text("VIEW", "AUTO") || file.text("VIEW", "SPEECH")) {
        file.setInteger("VIEW", "AUTO", s.autoAdvance ? 1 : 0);
        file.setInteger("VIEW", "SPEECH", s.speech ? 1 : 0);
    }
    if (s.musicVolume != Settings::kFullVolume || s.effectVolume != Settings::kFullVolume ||
        file.text("VIEW", "MUSICVOLUME") || file.text("VIEW", "EFFECTVOLUME")) {
        file.setInteger("VIEW", "MUSICVOLUME", s.musicVolume);
        file.setInteger("VIEW", "EFFECTVOLUME", s.effectVolume);
    }
}

std::filesystem::path settingsFilePath(const std::filesystem::path& programDir) {
    if (keepsFilesBesideProgram(programDir)) {
        return programDir / "vrk.ini";
    }
    const std::filesystem::path config = userConfigDirectory();
    return config.empty() ? std::filesystem::path() : config / "vrk.ini";
}

namespace {

// Far above anything the player writes; a larger file is not a settings file.
constexpr std::size_t kMaxSettingsBytes = std::size_t{1} << 20;

std::optional<std::string> readWhole(const std::filesystem::path& path) {
    auto bytes = tryReadRegularFile(path, kMaxSettingsBytes, OverLimit::Refuse);
    if (!bytes) {
        return std::nullopt;
    }
    return std::string(bytes->begin(), bytes->end());
}

}  // namespace

Settings readSettings(const std::filesystem::path& path) {
    const auto bytes = readWhole(path);
    return bytes ? settingsFromProfile(ProfileFile::parse(*bytes)) : Settings{};
}

bool writeSettings(const std::filesystem::path& path, const Settings& settings) {
    if (path.empty()) {
        return false;
    }
    try {
        std::error_code error;
        if (path.has_parent_path()) {
            std::filesystem::create_directories(path.parent_path(), error);
        }
        // Whole or not at all: a full disk or a killed program must not leave a cut-off file that
        // loses every preference. A file that cannot be read (or is not a plain file: a FIFO
        // would block the write) is left alone: rewriting it would drop every other key it holds.
        return updateFile(path, kMaxSettingsBytes, [&settings](std::optional<std::string_view> existing) {
            ProfileFile file = ProfileFile::parse(existing.value_or(std::string_view()));
            settingsToProfile(settings, file);
            return std::optional<std::string>(file.format());
        });
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace vrk::app
