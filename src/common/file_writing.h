#pragma once
// Every file the player and the compiler write goes through here: saves, the settings
// file, the write probe and compiled stories. A save replaces its file whole (a new file
// beside it, renamed over it) so that an interrupted write never leaves half a save; no
// name we create follows a link someone else planted in the directory.

#include <filesystem>
#include <string>
#include <string_view>

namespace vrk {

/// True when this process can change the file: it has a write bit, the process may write
/// it (the owner, its permissions), and its file system is not mounted read-only.
bool fileIsWritable(const std::filesystem::path& path);

/// Replaces the file's content with bytes, all or nothing. A file without write bits is
/// refused and left as it is. Where the directory takes no new entries but the file itself
/// can be written, the file is rewritten in place. A symbolic link at path owned by this
/// user (or by the directory's owner) is followed and its target rewritten; any other link
/// is replaced, never written through. False on failure.
bool replaceFile(const std::filesystem::path& path, std::string_view bytes);

/// replaceFile, unless the file already holds exactly bytes: then it is left alone (reading it
/// back costs far less than the two syncs of a replacement). True when the file holds them.
bool replaceFileUnlessSame(const std::filesystem::path& path, std::string_view bytes);

/// Creates path as an empty file, truncating a regular file of that name; a link at path is
/// never followed. False when the file cannot be created.
bool createEmptyFile(const std::filesystem::path& path);

/// True for the names replaceFile gives its temporaries (and the older "NAME.tmpPID" form
/// that a previous release left beside slot files).
bool isTemporaryName(std::string_view fileName);

/// Removes this user's temporaries older than a minute from dir: they are what is left of a
/// save interrupted by a crash or a power cut; a younger one may still belong to a save
/// that is running. Returns how many were removed.
int removeStaleTemporaries(const std::filesystem::path& dir);

}  // namespace vrk
