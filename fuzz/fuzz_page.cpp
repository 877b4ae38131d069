// The page interpreter from every label of a fuzzed script and index. A run ends in a page
// or in the player's own error; then the state in memory must survive its slot file.

#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "common/errors.h"
#include "fuzz_check.h"
#include "interpreter/null_story_host.h"
#include "interpreter/page_interpreter.h"
#include "story/save_file.h"
#include "story_state_compare.h"

namespace {

using namespace vrk::interpreter;

// An empty project directory: page commands look for files there and find none, and the
// slot written at the end of a story lands there.
const std::filesystem::path& projectDir() {
    static const std::filesystem::path dir = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "vrk-fuzz-page-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        return std::filesystem::path(pattern) / "";
    }();
    return dir;
}

constexpr std::size_t kMaxLabelsRun = 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string indexBytes =
        input.ConsumeRandomLengthString(vrk::story::LabelIndex::kRecordBytes * kMaxLabelsRun);
    const bool resumeSkip = input.ConsumeBool();
    const std::vector<char> scriptBytes = input.ConsumeRemainingBytes<char>();

    vrk::story::LabelIndex labels;
    try {
        labels.loadBytes(std::span<const char>(indexBytes.data(), indexBytes.size()));
    } catch (const vrk::Error&) {
    }
    for (const auto& record : labels.records()) {
        EngineState story;
        story.random.seed(1);
        story.locations.projectDir = projectDir();
        story.locations.saveDir = projectDir();
        story.locations.baseName = "F";
        story.labels = labels;
        story.script.openBytes(scriptBytes);
        story.state.resumeSkip = resumeSkip;
        story.state.currentLabel = record.name;
        NullStoryHost host;
        PageInterpreter interpreter(story, host);
        try {
            interpreter.runPage(record.offset);
        } catch (const vrk::Error&) {
        }
        FUZZ_CHECK(!interpreter.isRunning());
        FUZZ_CHECK(story.page.choiceCount >= 0 && story.page.choiceCount <= kMaxChoices);
        // What a flush would write reads back as the same fields: written again, the same bytes
        // (a line-break byte inside a field is left out on writing, never moved to the next field).
        const std::string saved = vrk::story::formatStateMarked(story.state, story.state.resumeSkip);
        vrk::story::StoryState reread;
        vrk::story::parseState(std::span<const char>(saved.data(), saved.size()), reread);
        FUZZ_CHECK(vrk::story::formatStateMarked(reread, reread.resumeSkip) == saved);
    }
    return 0;
}
