#pragma once
// What the reader's comforts keep of a reading, free of Qt:
//
//   PageInterpreter --PageObserver--> ReadingHistory: the state before each run, then the page's
//                                     text once it is on show (backlog, going back one page)
//                                    ReadMarks: the labels of pages read, in the save directory
//   autoAdvanceDelayMs: how long a finished page stays before auto-advance goes on
//
// Both the history's pages and its text are capped, so a reading of any length holds at most
// kMaxPages records and kMaxTextBytes of text: about 2.7 MiB in all (a record with its state is
// under 3 KiB), whatever the length of the reading (see memoryBytes()).

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "story/story_state.h"

namespace vrk::app {

/// One page of the reading: its text and, while going back to it is possible, the state its run
/// started from.
struct PageRecord {
    std::vector<std::string> textSjis;
    std::optional<story::StoryState> before;  ///< dropped by a quick load
    std::int32_t offset = -1;                 ///< where its run started
    bool readBefore = false;                  ///< its label was marked read before this showing
};

class ReadingHistory {
public:
    /// Pages kept: the backlog's earlier pages are all of them but the one on show.
    static constexpr std::size_t kMaxPages = 256;
    /// Page text kept over all records (each line's bytes and its string); the oldest pages go
    /// first when a new one passes it.
    static constexpr std::size_t kMaxTextBytes = 2 * 1024 * 1024;

    /// A run starts: its state is kept until the page is on show (a failed run keeps nothing).
    void pageRunStarting(const story::StoryState& state, std::int32_t offset);
    /// The run's page is on show with this text.
    void pageShown(const std::vector<std::string>& textSjis, bool readBefore);
    /// A quick load: the text stays for the backlog, but no page before it can be gone back to.
    void forgetStates();
    /// A new reading (an opening).
    void clear();

    /// Going back one page is possible: the page before the one on show has its state.
    bool canGoBack() const;
    /// Takes the page on show and the one before it off the history and returns the latter:
    /// restore its state and run it from its offset, and it is recorded afresh.
    std::optional<PageRecord> takeBackStep();

    const std::deque<PageRecord>& pages() const { return m_pages; }
    /// The pages before the one on show, oldest first.
    std::size_t earlierPageCount() const { return m_pages.empty() ? 0 : m_pages.size() - 1; }
    /// The page on show was read before (false with no page).
    bool currentReadBefore() const { return !m_pages.empty() && m_pages.back().readBefore; }
    /// Bytes held by the records, their text and states included (an estimate of the heap use).
    std::size_t memoryBytes() const;

private:
    void trim();

    std::deque<PageRecord> m_pages;
    std::optional<PageRecord> m_pending;
    std::size_t m_textBytes = 0;
};

/// The labels of the pages a reader has seen in one project, a set kept in a file of the save
/// directory, one label a line, written whole (never through a link) as pages are read.
class ReadMarks {
public:
    /// Reads the marks of file (none when it is missing, not a regular file, over 1 MiB or not
    /// marks at all) and keeps new ones in it from now on, together with any that another
    /// window on the same story keeps there meanwhile. A file that does not read as marks is
    /// left as it is.
    void load(const std::filesystem::path& file);
    bool contains(const std::string& labelSjis) const { return m_labels.contains(labelSjis); }
    /// Marks the label read; true when it was not before. A file that cannot be written keeps the
    /// mark for this run only.
    bool mark(const std::string& labelSjis);
    std::size_t size() const { return m_labels.size(); }
    /// The file loaded last (empty before the first load).
    const std::filesystem::path& file() const { return m_file; }

private:
    std::filesystem::path m_file;
    std::set<std::string> m_labels;
};

/// The pause auto-advance leaves after a finished page: a base second and a bit per character.
int autoAdvanceDelayMs(const std::vector<std::string>& pageTextSjis);

/// The page's lines as UTF-8, one line each, ending with a line end.
std::string pageTextUtf8(const std::vector<std::string>& pageTextSjis);

}  // namespace vrk::app
