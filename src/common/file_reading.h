#pragma once
// Reading the player's own files whole. Stories come from anywhere: a name may be a
// directory, a FIFO or a device, and a file may be far larger than anything the player can
// use. Every read here is bounded, never blocks on a file that is not a regular one, and
// fails with the player's own I/O error, never an exception of the standard library.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

namespace vrk {

/// What a read does with a file longer than its limit.
enum class OverLimit {
    Refuse,    ///< the I/O error "... is larger than N bytes"
    Truncate,  ///< the first maxBytes bytes, as if the file ended there
};

/// Whether a read goes through a symbolic link at the file's own name (links in the folders
/// above it are always followed).
enum class FollowLinks { Yes, No };

/// The bytes of a regular file, at most maxBytes of them. A missing file, one that is not a
/// regular file (directory, FIFO, device, with FollowLinks::No a link), a read that fails and,
/// with OverLimit::Refuse, a longer file throw the I/O error naming what (e.g. "Script file")
/// and the path.
std::vector<char> readRegularFile(const std::filesystem::path& path, std::string_view what,
                                  std::size_t maxBytes, OverLimit overLimit,
                                  FollowLinks followLinks = FollowLinks::Yes);

/// As readRegularFile, nothing instead of the error.
std::optional<std::vector<char>> tryReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes,
                                                    OverLimit overLimit,
                                                    FollowLinks followLinks = FollowLinks::Yes);

}  // namespace vrk
