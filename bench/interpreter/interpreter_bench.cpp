// One page run of a 20-line page with names, commands and three choices.

#include <benchmark/benchmark.h>

#include "interpreter/null_story_host.h"
#include "interpreter/page_interpreter.h"

namespace {

using namespace vrk::interpreter;

void BM_RunPage20Lines(benchmark::State& state) {
    std::vector<char> script;
    std::vector<char> index;
    vrk::story::appendLabelRecord(index, "P001", 0);
    vrk::story::appendScriptLine(script, "!001002NOT003");
    vrk::story::appendScriptLine(script, "?A<C");
    vrk::story::appendScriptLine(script, "!A+");
    vrk::story::appendScriptLine(script, ">COL=9");
    // Twenty lines of 38 two-byte characters, every fourth naming the reader.
    const std::string kanji = "\x8A\xBF";  // U+6F22
    for (int i = 0; i < 20; ++i) {
        std::string line = i % 4 == 0 ? "%1" : "";
        while (line.size() + 2 <= 76) {
            line += kanji;
        }
        vrk::story::appendScriptLine(script, line);
    }
    for (const char* choice :
         {"?", "first", "P001", "?001", "second", "?A>B,P001", "P001", "?NOT001", "third", "P001", "?END"}) {
        vrk::story::appendScriptLine(script, choice);
    }
    EngineState story;
    story.script.openBytes(script);
    story.labels.loadBytes(index);
    story.state.names[1] = "\x91\xBE\x98\x59";  // 太郎
    NullStoryHost host;
    PageInterpreter interpreter(story, host);
    for (auto _ : state) {
        story.state.letters.fill('A');
        interpreter.runPage(0);
        benchmark::DoNotOptimize(story.page.pageText.data());
    }
}
BENCHMARK(BM_RunPage20Lines)->Unit(benchmark::kMicrosecond);

}  // namespace
