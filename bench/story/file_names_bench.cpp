// Name resolution in a big folder: a page that names 200 sounds missing from a folder of
// 50 000 files. Each miss compares the name with every entry without regard to case.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "common/file_names.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFiles = 50000;
constexpr int kMissingNames = 200;

class BigFolder {
public:
    BigFolder() : m_dir(fs::temp_directory_path() / ("vrk_bench_names_" + std::to_string(::getpid()))) {
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        for (int i = 0; i < kFiles; ++i) {
            std::ofstream(m_dir / ("voice" + std::to_string(i) + ".wav"));
        }
        // A listing read in the same clock tick as the last change is not kept.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ~BigFolder() { fs::remove_all(m_dir); }
    const fs::path& dir() const { return m_dir; }

private:
    fs::path m_dir;
};

void BM_MissingNamesInBigFolder(benchmark::State& state) {
    static const BigFolder folder;
    std::vector<std::string> names;
    for (int i = 0; i < kMissingNames; ++i) {
        names.push_back("MISSING" + std::to_string(i) + ".WAV");
    }
    for (auto _ : state) {
        for (const std::string& name : names) {
            benchmark::DoNotOptimize(vrk::fileNameExists(name, folder.dir()));
        }
    }
    state.SetItemsProcessed(state.iterations() * kMissingNames);
}
BENCHMARK(BM_MissingNamesInBigFolder)->Unit(benchmark::kMillisecond);

}  // namespace
