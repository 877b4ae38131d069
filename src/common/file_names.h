#pragma once
// Finding the files that old projects name. Stories were written on Windows: names
// use backslashes, any letter case, and Shift-JIS bytes, while the disk here may
// hold the same name in UTF-8 or in raw Shift-JIS. Every path component is matched
// exactly first, then without regard to the case of single-byte ASCII letters. Names are
// compared by the characters they stand for, so the NEC-selected and the IBM code of one
// character find the same file. A directory's listing is read once and kept while the
// directory is unchanged, so that many missing names in a big folder stay cheap.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct stat;

namespace vrk {

/// Components of a Windows or POSIX name. '/' always separates; '\' separates only where it
/// is not the second byte of a two-byte character (表, ソ and 能 end in 0x5C). A leading
/// separator or a drive ("C:") makes the first component "/".
std::vector<std::string> splitFileName(std::string_view nameSjis);

/// Upper-cases single-byte ASCII letters; two-byte characters pass untouched.
std::string foldCaseSjis(std::string_view sjis);
/// Upper-cases ASCII letters of UTF-8 text (bytes of multi-byte sequences are never letters).
std::string foldCaseAscii(std::string_view text);

/// The existing file or directory that a script names, relative names taken from baseDir.
/// A name that begins with baseDir as "%P%" put it there (its Shift-JIS spelling) is taken
/// from baseDir itself, whose own bytes may not survive the trip through Shift-JIS; the rest
/// of such a name stays inside baseDir, and one that goes on from the root or a drive (a
/// second "%P%") names nothing.
std::optional<std::filesystem::path> resolveFileName(std::string_view nameSjis,
                                                     const std::filesystem::path& baseDir);
/// True when resolveFileName finds a regular file.
bool fileNameExists(std::string_view nameSjis, const std::filesystem::path& baseDir);

/// How many leading bytes of the name are baseDir as "%P%" put it there; 0 when none.
std::size_t baseDirPrefixLength(std::string_view nameSjis, const std::filesystem::path& baseDir);

/// An argument for an outside program as the file system spells it: UTF-8, with a leading
/// baseDir (as "%P%" put it there) in the directory's own bytes.
std::string nativeArgument(std::string_view argumentSjis, const std::filesystem::path& baseDir);

/// The length of the program name at the start of a command line: the whole line when it
/// names an existing file, else the longest part ending before a blank that does; npos when
/// no part does.
std::size_t programNameLength(std::string_view commandLineSjis, const std::filesystem::path& baseDir);

/// A file of the directory by its exact name, else the first entry equal to it without
/// regard to ASCII letter case; nothing when neither exists.
std::optional<std::filesystem::path> findInDirectory(const std::filesystem::path& dir,
                                                     const std::string& fileName);

/// The directory of the running program, ending in a separator: what /proc/self/exe names,
/// else argv0 and the PATH as programDirectoryFrom takes them; empty when neither tells it.
std::filesystem::path programDirectory(const char* argv0);

/// The directory of a program, ending in a separator, from what the system says of it:
/// runningExecutable (the target of /proc/self/exe; nothing without /proc), else argv0 when it
/// is absolute, else a bare name (no '/') looked up in searchPath as the shell looks it up, in
/// its absolute entries only. Links are followed to the program's own file, so the link on the
/// search path leads to the folder the program was installed in. Empty when none of these
/// applies: a relative name with a slash, or a relative entry of the PATH, names a folder only
/// relative to where the program was started, and that may be a story's folder with modules
/// of its own.
std::filesystem::path programDirectoryFrom(const std::optional<std::filesystem::path>& runningExecutable,
                                           const char* argv0, std::string_view searchPath);

/// The listing cache's view of time and of a directory, replaceable by tests: a file system
/// with timestamps of whole seconds (or FAT's two) can only be imitated. Null restores the
/// system's own (the system clock, stat(2)). Setting either empties the cache.
struct ListingSources {
    std::chrono::system_clock::time_point (*now)() = nullptr;
    int (*status)(const char* path, struct ::stat* info) = nullptr;
};
void setListingSourcesForTesting(const ListingSources& sources);

/// The file system spelling of a path as Shift-JIS bytes (for text shown in the story's
/// own encoding); raw bytes when it does not convert.
std::string pathToSjis(const std::filesystem::path& path);

}  // namespace vrk
