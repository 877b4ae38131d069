#pragma once
// A story played from its source while its author edits it (vrk3 --watch): the source is compiled
// into a folder of the moment that only this player writes, never beside the source, where a
// compiled story of the author's own may lie. The folder holds the script, the index and
// read-only fresh slots, so the saves go where those of any story that keeps none of its own go:
// to the reader's data folder, in a folder named after the source's path, kept from one session
// to the next. The project itself is the source's folder, where its pictures, sounds and
// programs are (Locations::compiledDir). The window watches the file and calls compile() again
// on every save.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vrk::app {

class WatchedSource {
public:
    /// What compile() found wrong: the source's line (0 for none) and the message, UTF-8.
    struct Fault {
        int line = 0;
        std::string message;
    };

    /// The story of source; nothing is made before prepare().
    explicit WatchedSource(std::filesystem::path source);
    /// Removes the folder and what this player wrote in it.
    ~WatchedSource();
    WatchedSource(const WatchedSource&) = delete;
    WatchedSource& operator=(const WatchedSource&) = delete;

    /// Makes the private folder below the system's folder for temporary files; false (with
    /// the reason) when it cannot be made.
    bool prepare(std::string* error);
    struct Outcome {
        enum Kind {
            Compiled,   ///< the project holds the source as it is now
            Unchanged,  ///< the source holds what it held at the last compile: nothing done
            Faulty,     ///< it cannot be read or compiled: fault says why
        } kind = Compiled;
        Fault fault;
    };
    /// Compiles the source as it is now. On success the script and index are replaced whole and
    /// the slots written when missing; on a fault nothing in the folder changes, so the story
    /// last compiled stays playable. A source saved again unchanged (or a change beside it in its
    /// folder) is not compiled again, so the page is not run again for nothing.
    Outcome compile();

    /// The source as given, made absolute.
    const std::filesystem::path& source() const { return m_source; }
    /// The project: the source's folder (ending in a separator), where the story's files are.
    std::filesystem::path projectDir() const { return m_source.parent_path() / ""; }
    /// The folder the story is compiled into (ending in a separator; empty before prepare()).
    const std::filesystem::path& compiledDir() const { return m_dir; }
    const std::string& baseName() const { return m_baseName; }

private:
    std::filesystem::path m_source;
    std::filesystem::path m_dir;
    std::string m_baseName;
    std::optional<std::vector<char>> m_lastSource;  // what the last compile read
};

}  // namespace vrk::app
