#pragma once
// Where the player keeps what it writes for a reader: saves of stories it may not write beside,
// their read marks, and the preferences. A story decides none of these places.
//
//   the reader's own folders    $XDG_DATA_HOME/vrk3, $XDG_CONFIG_HOME/vrk3 (else below the home
//                               folder, from HOME or the password database), made private (0700)
//   a portable program folder   a copy of the player the reader placed by hand and may write to;
//                               the installed player (lib/vrk3 with bin/vrk3 beside) keeps
//                               nothing in its own folder, whoever runs it

#include <filesystem>
#include <string>

namespace vrk::app {

/// $XDG_DATA_HOME/vrk3/ (~/.local/share/vrk3/), made when missing. Empty when the reader has no
/// home folder, or when the folder is a link or belongs to someone else: nothing may be kept then.
std::filesystem::path userDataDirectory();

/// $XDG_CONFIG_HOME/vrk3/ (~/.config/vrk3/), not made here. Empty when the reader has no home.
std::filesystem::path userConfigDirectory();

/// Whether the player may keep files in its own folder: a portable copy that takes new files,
/// never an installed one.
bool keepsFilesBesideProgram(const std::filesystem::path& programDir);

/// The folder below base that holds the copies of one project's saves: the base name and a digest
/// of the script's full path, so that two stories of one name never share saves.
std::filesystem::path projectSaveFolder(const std::filesystem::path& base,
                                        const std::filesystem::path& script, const std::string& baseName);

}  // namespace vrk::app
