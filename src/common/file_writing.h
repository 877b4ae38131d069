#pragma once
// Every file the player and the compiler write goes through here: saves, read marks, the
// settings file and compiled stories. A file is replaced whole (a new file beside it, renamed
// over it) so that an interrupted write never leaves half a save. Nothing is ever written through
// a symbolic link: the folders a story ships are unpacked by the reader, so every link in them is
// the reader's own, and yet any of them may point at her shell's start-up file.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace vrk {

/// True when this process can change the regular file at path itself (a link is never counted
/// as writable, wherever it points): it has a write bit, the process may write it (the owner,
/// its permissions), and its file system is not mounted read-only.
bool fileIsWritable(const std::filesystem::path& path);

/// Replaces the file's content with bytes, all or nothing. A file without write bits is
/// refused and left as it is, and so is anything at path that is not a regular file: a
/// symbolic link is neither followed nor replaced. Where the directory takes no new entries but
/// the file itself can be written, the file is rewritten in place (never one with a second hard
/// link, whose other name would change too). False on failure.
bool replaceFile(const std::filesystem::path& path, std::string_view bytes);

/// The new content of a file given what it holds now (nothing when there is no file at its
/// name); nothing refuses the write.
using FileUpdate = std::function<std::optional<std::string>(std::optional<std::string_view> existing)>;

/// replaceFile with the bytes update makes of the regular file at path (read without following
/// a link, at most maxExistingBytes of it: a longer file is refused). A file that already holds
/// them is left alone, since reading it back costs far less than the two syncs of a replacement.
/// True when the file holds them afterwards.
bool updateFile(const std::filesystem::path& path, std::size_t maxExistingBytes, const FileUpdate& update);

/// True when dir takes new files from this process: a probe file is made there with a name
/// nobody can have prepared and removed again at once.
bool directoryTakesNewFiles(const std::filesystem::path& dir);

/// True for the names replaceFile gives its temporaries (and the older "NAME.tmpPID" form
/// that a previous release left beside slot files).
bool isTemporaryName(std::string_view fileName);

/// Removes this user's temporaries older than a minute from dir: they are what is left of a
/// save interrupted by a crash or a power cut; a younger one may still belong to a save
/// that is running. Returns how many were removed.
int removeStaleTemporaries(const std::filesystem::path& dir);

}  // namespace vrk
