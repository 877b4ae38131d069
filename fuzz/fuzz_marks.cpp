// The read marks and the reading history. The input is what the marks file holds when the story
// opens, a zero byte, then labels to mark, one a line, and the pages read. Every mark made must be
// in the file when it is opened again, unless the file was refused (not marks: left as it was);
// the history stays within its bounds whatever its pages hold.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

#include "app/reading_history.h"
#include "fuzz_check.h"

namespace fs = std::filesystem;

namespace {

fs::path marksFile() {
    // tmpfs where there is one: every mark is a whole write with its syncs.
    const fs::path dir = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    return dir / ("vrk_fuzz_marks_" + std::to_string(::getpid()) + ".VRR");
}

std::string contents(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    const std::string_view before = input.substr(0, split);
    input = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

    static const fs::path file = marksFile();
    fs::remove(file);
    std::ofstream(file, std::ios::binary) << before;

    vrk::app::ReadMarks marks;
    marks.load(file);
    vrk::app::ReadingHistory history;
    vrk::story::StoryState state;
    int page = 0;
    bool anyMarked = false;
    while (!input.empty()) {
        const std::size_t end = input.find('\n');
        const std::string label(input.substr(0, end));
        input = end == std::string_view::npos ? std::string_view() : input.substr(end + 1);
        const bool readBefore = marks.contains(label);
        const bool marked = marks.mark(label);
        FUZZ_CHECK(!(marked && readBefore));
        FUZZ_CHECK(label.empty() || label.find_first_of("\r\n") != std::string::npos ||
                   marks.contains(label) || label.size() > 8 || label.find('\0') != std::string::npos);
        anyMarked = anyMarked || marked;

        state.currentLabel = label;
        history.pageRunStarting(state, page++);
        history.pageShown({label, label + label}, readBefore);
        FUZZ_CHECK(history.pages().size() <= vrk::app::ReadingHistory::kMaxPages);
        if (label.size() == 1 && label[0] == 'B' && history.canGoBack()) {
            const std::size_t pages = history.pages().size();
            FUZZ_CHECK(history.takeBackStep().has_value());
            FUZZ_CHECK(history.pages().size() == pages - 2);
        }
    }

    vrk::app::ReadMarks again;
    again.load(file);
    const std::string after = contents(file);
    if (after == before) {
        // Nothing was written: nothing new was marked, or the file was not one of marks.
        return 0;
    }
    FUZZ_CHECK(anyMarked);
    // The file holds every mark of the reading, each once.
    FUZZ_CHECK(again.size() == marks.size());
    std::size_t lines = 0;
    for (char c : after) {
        lines += c == '\n' ? 1 : 0;
    }
    FUZZ_CHECK(lines == marks.size());
    return 0;
}
