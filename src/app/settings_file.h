#pragma once
// The reader's preferences in "vrk.ini": window placement, the page font, the
// sound and compatibility check marks, the drawing speed and the line gap.
//
// The file keeps the form of a Windows profile file so that a file written by an
// older player reads the same: "[SECTION]" lines, "KEY=value" lines, names compared
// without regard to ASCII letter case, CR LF line ends, Shift-JIS text values.
// ProfileFile is that format; Settings is what the window makes of it.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vrk::app {

/// A profile file in memory. Lines that are neither a section nor a KEY=value pair
/// (comments, blank lines) are kept as they are, so rewriting a key leaves the rest alone.
class ProfileFile {
public:
    /// Longest text value handed out; the rest of a longer value is dropped.
    static constexpr std::size_t kMaxValueBytes = 1023;

    /// Parses bytes; CR LF, LF and lone CR all end a line. Never fails.
    static ProfileFile parse(std::string_view bytes);
    /// The file's bytes with CR LF line ends.
    std::string format() const;

    /// The value of the first KEY in the first [SECTION] of that name, spaces around it and
    /// one pair of enclosing double quotes removed, cut to kMaxValueBytes.
    std::optional<std::string> text(std::string_view section, std::string_view key) const;
    /// The value read as a number: optional sign and decimal digits, or "0x"/"0X" and
    /// hexadecimal digits; fallback when the key is missing, not a number or leaves 32 bits.
    std::int32_t integer(std::string_view section, std::string_view key, std::int32_t fallback) const;

    /// Replaces the key's value, or adds the key at the end of its section (the section at
    /// the end of the file when it is missing). text() gives the value back byte for byte: one
    /// with blanks at either end or enclosed in quotes is stored inside quotes. Line breaks
    /// cannot be stored in a line and are dropped.
    void set(std::string_view section, std::string_view key, std::string_view value);
    void setInteger(std::string_view section, std::string_view key, std::int32_t value);

private:
    struct Line {
        std::string raw;      ///< the whole line for lines kept as they are
        std::string section;  ///< set for "[SECTION]" lines
        std::string key;      ///< set for "KEY=value" lines
        std::string value;
        bool isSection = false;
        bool isEntry = false;
    };
    // Index of the entry line, or npos.
    std::size_t find(std::string_view section, std::string_view key) const;

    std::vector<Line> m_lines;
};

/// Parses a profile-file number (see ProfileFile::integer); nothing when it is not one.
std::optional<std::int32_t> parseProfileInteger(std::string_view text);

/// The preferences with their defaults.
struct Settings {
    static constexpr int kDefaultSpeed = 2;
    static constexpr int kMaxSpeed = 5;
    static constexpr int kDefaultGapTenths = 12;
    static constexpr int kMinGapTenths = 10;
    static constexpr int kMaxGapTenths = 20;
    static constexpr int kFullVolume = 100;

    /// Bounds of the stored window frame: wider and taller than any screen, far enough off
    /// any screen, and small enough that no sum of them overflows. The window fits the frame to
    /// the screen it lands on; these only keep the numbers sane.
    static constexpr int kMaxWindowExtent = 16384;
    static constexpr int kMaxWindowPosition = 32767;
    /// The largest font size taken from the file (points), far above the font dialog's.
    static constexpr int kMaxFontSize = 512;

    // [WINDOW]: the outer frame in screen pixels, written unchanged even when off screen
    // (within the bounds above).
    int top = 0;
    int left = 0;
    int height = 480;
    int width = 620;
    // [FONT]: the page font. Underline and strike-out are not kept.
    std::string fontNameSjis = "\x82\x6c\x82\x72\x20\x96\xbe\x92\xa9";  // "ＭＳ 明朝"
    int fontSize = 16;   ///< points; at most kMaxFontSize, otherwise unchecked
    bool bold = true;    ///< STYLE bit 1
    bool italic = true;  ///< STYLE bit 2
    // [OPTION]: the menu check marks, named as the file's keys (MID, WAV, OTHER, OLDEXE, LOWRES,
    // CONTRAST); interpreter::EngineOptions names them for what they do.
    bool mid = true;
    bool wav = true;
    bool other = true;
    bool oldExe = false;
    bool lowRes = false;
    bool contrast = false;
    /// Reveal steps every revealSpeed ticks, 0-5 (0 behaves like 1).
    int revealSpeed = kDefaultSpeed;
    /// Pages shown whole at once (EngineOptions::revealAtOnce); shares the SPEED key with revealSpeed as its
    /// sign.
    bool nonstop = false;
    /// Line gap in tenths, always within 10-20 after reading.
    int gapTenths = kDefaultGapTenths;
    // [VIEW]: the reader's comforts, written only once one is on (or the section exists), so a
    // file of a reader who never uses them stays as it was.
    bool autoAdvance = false;  ///< AUTO
    bool speech = false;       ///< SPEECH: pages read aloud
    /// MUSICVOLUME and EFFECTVOLUME in percent, within 0-100 after reading; written only once
    /// one of them is below full (or the file has them), for the same reason.
    int musicVolume = kFullVolume;
    int effectVolume = kFullVolume;

    /// STYLE as written: 1 for bold plus 2 for italic.
    int styleCode() const { return (bold ? 1 : 0) + (italic ? 2 : 0); }
    /// SPEED as written: revealSpeed, negated while nonstop is on.
    int speedCode() const { return nonstop ? -revealSpeed : revealSpeed; }

    bool operator==(const Settings&) const = default;
};

/// Settings from a profile file; missing keys and values that are not numbers keep their
/// defaults. SPEED is a 16-bit signed number: a negative one turns nonstop on and gives its
/// magnitude, one above 5 (or outside 16 bits, or -32768) gives 2. GAP outside 10-20 is
/// clamped into that range: the menu never leaves it, and a gap of 0 or less would make
/// lines of no height that the page cannot be laid out or scrolled with. WIDTH and HEIGHT
/// are clamped into 0-kMaxWindowExtent, TOP and LEFT into +-kMaxWindowPosition, SIZE to at
/// most kMaxFontSize: a window of 2^31 pixels never paints, and takes gigabytes trying.
Settings settingsFromProfile(const ProfileFile& file);
/// Writes every key into file, keeping whatever else it holds, and the VIEW keys when
/// one of them is on or the file has them already.
void settingsToProfile(const Settings& settings, ProfileFile& file);

/// Where "vrk.ini" lives: beside a portable program (keepsFilesBesideProgram), else
/// $XDG_CONFIG_HOME/vrk3/vrk.ini (~/.config/vrk3/vrk.ini); empty when the reader has no home
/// folder, and then the preferences are neither read nor kept.
std::filesystem::path settingsFilePath(const std::filesystem::path& programDir);
/// Reads the settings; a missing or unreadable file gives the defaults, without a message.
Settings readSettings(const std::filesystem::path& path);
/// Writes the settings over the file's keys; false when it cannot be written. Never throws:
/// a settings file that cannot be written loses this run's preferences and nothing else.
bool writeSettings(const std::filesystem::path& path, const Settings& settings);

}  // namespace vrk::app
