// The story compiler. Compiling any source that compiles, decompiling the result and
// compiling that again gives the same bytes; and a script and index that decompile compile
// back to exactly those bytes.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "fuzz_check.h"
#include "vrkc/story_compiler.h"

using namespace vrk::compiler;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool sjis = input.ConsumeBool();
    const bool fromFiles = input.ConsumeBool();
    if (fromFiles) {
        const std::string index = input.ConsumeRandomLengthString(13 * 32);
        const std::vector<char> script = input.ConsumeRemainingBytes<char>();
        const std::vector<char> indexBytes(index.begin(), index.end());
        std::string error;
        const auto source = decompileStory(script, indexBytes, sjis, &error);
        if (source) {
            CompileError compileError;
            const auto again = compileStory(*source, sjis, &compileError);
            FUZZ_CHECK(again.has_value());
            FUZZ_CHECK(again->script == script);
            FUZZ_CHECK(again->index == indexBytes);
        }
        return 0;
    }
    const std::string source = input.ConsumeRemainingBytesAsString();
    CompileError error;
    const auto compiled = compileStory(source, sjis, &error);
    if (!compiled) {
        return 0;
    }
    std::string decompileError;
    const auto text = decompileStory(compiled->script, compiled->index, sjis, &decompileError);
    if (!text) {
        // Only a line that no source line can hold may refuse.
        return 0;
    }
    const auto again = compileStory(*text, sjis, &error);
    FUZZ_CHECK(again.has_value());
    FUZZ_CHECK(again->script == compiled->script);
    FUZZ_CHECK(again->index == compiled->index);
    (void)initialSlot(*compiled);
    return 0;
}
