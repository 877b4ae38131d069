#pragma once
// vrkc --web: a story as a static site. The reading page and its engine, the story's files and
// a manifest (story.json) that the page reads on load to open that story at once; the page's
// faces cut to the characters the story can show; a web app manifest and a service worker for
// reading offline. Every address in the site is relative, so it works from any folder of a host.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vrk::publish {

/// The most files a site holds: hosts that take a folder by upload refuse more.
inline constexpr std::size_t kMaxSiteFiles = 1000;
/// The folder of the site the story's own files go into.
inline constexpr std::string_view kStoryFolder = "story/";

/// One file of the story, by its name inside the project folder (UTF-8, '/' between folders).
struct StoryFile {
    std::string name;
    std::filesystem::path source;
    std::uintmax_t size = 0;
    /// The script offset of the first line naming it; -1 for the script, index and slots.
    std::int32_t firstNamedAt = -1;
    /// Needed before the first page shows: the project's own files and what the first page names.
    bool start = false;
};

/// A compiled story as a site publishes it.
struct Story {
    std::filesystem::path projectDir;
    std::string projectFile;  ///< the script's name in the folder
    std::string title;        ///< UTF-8, from the defaults block (the base name without one)
    /// The script, the index and the slots, then every file the script names, in script order.
    std::vector<StoryFile> files;
    /// Every character the script's lines and the slots' names can show.
    std::set<char32_t> characters;
    /// Files the script names that are not published, each with the reason (UTF-8).
    std::vector<std::string> notes;
    /// The MIDI files among files (their indexes).
    std::vector<std::size_t> midiFiles;
};

/// Whether a name may be a path inside the site: relative, '/'-separated, no empty, "." or
/// ".." component, no backslash, colon or control character, valid UTF-8.
bool isSafeSiteName(std::string_view name);

/// The characters Shift-JIS bytes can show: every two-byte and single-byte character of code
/// page 932 they hold, control characters left out.
void addSjisCharacters(std::string_view sjis, std::set<char32_t>& into);

/// The characters a page file can put on screen: all of a text file's (markup, modules, style
/// sheets); in the engine (.wasm), whose page model holds the menus' captions, the runs of two
/// or more Japanese characters in its UTF-8 (random bytes hardly ever form one); nothing of
/// other files (the manual opens in a page of its own).
void addPageCharacters(std::string_view fileName, std::string_view bytes, std::set<char32_t>& into);

/// The title a story's defaults block gives (the line after its nine prompt and name pairs),
/// in UTF-8; empty without the block.
std::string storyTitle(std::span<const char> script, std::span<const char> index);

/// Reads the compiled project PROJECT_FILE belongs to (as the player names projects), finds the
/// files its script names and the characters it can show. Nothing, with error set, when the
/// script and its index cannot be read.
std::optional<Story> readStory(const std::filesystem::path& projectFile, std::string* error);

/// One file of a site, by its path in the site.
struct SiteEntry {
    std::string name;
    std::string bytes;
};

struct SiteOptions {
    std::filesystem::path pageDir;  ///< the built page (web/dist, or the installed copy)
    int fontEffort = 11;            ///< the WOFF2 encoder's Brotli quality
};

/// The whole site of a story in memory. Nothing, with error set, when a page file cannot be
/// read or the site would hold more than kMaxSiteFiles files; notes hears what was left out.
std::optional<std::vector<SiteEntry>> buildSite(const Story& story, const SiteOptions& options,
                                                std::string* error, std::vector<std::string>* notes);

/// Writes the entries below outDir: a new or empty folder, or one a previous publication made
/// (it holds story.json). Nothing is written through a symbolic link or outside outDir.
bool writeSite(const std::vector<SiteEntry>& entries, const std::filesystem::path& outDir,
               std::string* error);

/// The entries as a zip archive (stored, names in UTF-8), below a folder named folder when it
/// is not empty.
std::string zipSite(const std::vector<SiteEntry>& entries, std::string_view folder);

/// Where the built page is: beside an installed vrkc (PREFIX/share/vrk3/web), else web/dist of
/// the source tree a build folder of vrkc lies in. Nothing when neither holds the page.
std::optional<std::filesystem::path> findPageDir(const std::filesystem::path& programDir);

}  // namespace vrk::publish
