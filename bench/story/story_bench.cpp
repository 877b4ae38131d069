// Worst-case label lookup and the save file's read and write.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>

#include "story/save_file.h"
#include "story/script.h"

namespace {

using namespace vrk::story;

void BM_FindLabelWorstCase(benchmark::State& state) {
    std::vector<char> bytes;
    for (std::size_t i = 0; i < LabelIndex::kMaxRecords; ++i) {
        appendLabelRecord(bytes, "L" + std::to_string(i), static_cast<std::int32_t>(i));
    }
    LabelIndex index;
    index.loadBytes(bytes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(index.findLabel("MISSING"));  // scans all 8002 records
        benchmark::DoNotOptimize(index.findLabel("L8001"));
    }
}
BENCHMARK(BM_FindLabelWorstCase);

StoryState sampleState() {
    StoryState state;
    state.title = "A title of some length";
    state.currentLabel = "P0123";
    for (std::size_t i = 1; i <= 9; ++i) {
        state.namePrompts[i] = "prompt";
        state.names[i] = "name";
    }
    for (std::size_t i = 1; i <= 999; i += 3) {
        state.flags[i] = 1;
    }
    state.background = "sPICTURE.BMP";
    return state;
}

void BM_WriteState(benchmark::State& state) {
    const auto path =
        std::filesystem::temp_directory_path() / ("vrk_bench_" + std::to_string(::getpid()) + ".V01");
    const StoryState story = sampleState();
    for (auto _ : state) {
        benchmark::DoNotOptimize(writeState(path, story, LabelIndex{}));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_WriteState);

void BM_ReadState(benchmark::State& state) {
    const auto path =
        std::filesystem::temp_directory_path() / ("vrk_bench_" + std::to_string(::getpid()) + ".V02");
    writeState(path, sampleState(), LabelIndex{});
    LabelIndex labels;
    StoryState story;
    for (auto _ : state) {
        readState(path, labels, story);
        benchmark::DoNotOptimize(story.flags.data());
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_ReadState);

}  // namespace
