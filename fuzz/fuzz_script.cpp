// The script reader and the label index: any index over any script. Every record's name
// must find the first record of that name, and reading lines from any record's offset
// either gives lines or the I/O error, never anything worse.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "common/errors.h"
#include "fuzz_check.h"
#include "story/script.h"

using vrk::story::LabelIndex;
using vrk::story::ScriptReader;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::string indexBytes = input.ConsumeRandomLengthString(LabelIndex::kRecordBytes * 64);
    const std::string probe = input.ConsumeRandomLengthString(16);
    const std::vector<char> scriptBytes = input.ConsumeRemainingBytes<char>();

    LabelIndex labels;
    bool whole = true;
    try {
        labels.loadBytes(std::span<const char>(indexBytes.data(), indexBytes.size()));
    } catch (const vrk::Error&) {
        whole = false;
    }
    FUZZ_CHECK(labels.count() == indexBytes.size() / LabelIndex::kRecordBytes || !whole);
    FUZZ_CHECK(labels.count() <= LabelIndex::kMaxRecords);

    ScriptReader reader;
    reader.openBytes(scriptBytes);
    for (std::size_t i = 0; i < labels.records().size(); ++i) {
        const auto& record = labels.records()[i];
        FUZZ_CHECK(record.name.size() <= vrk::story::kMaxLabelBytes);
        if (record.storedLength <= vrk::story::kMaxLabelBytes) {
            // The first record of this name wins.
            std::size_t first = 0;
            while (labels.records()[first].name != record.name ||
                   labels.records()[first].storedLength > vrk::story::kMaxLabelBytes) {
                ++first;
            }
            FUZZ_CHECK(labels.findLabel(record.name) == labels.records()[first].offset);
        }
        try {
            reader.seek(record.offset);
            std::string line;
            for (int n = 0; n < 8; ++n) {
                reader.readLine(line);
                FUZZ_CHECK(line.size() <= vrk::story::kMaxLineBytes);
            }
        } catch (const vrk::Error&) {
        }
    }
    const std::int32_t found = labels.findLabel(probe);
    FUZZ_CHECK(found == -1 || labels.count() > 0);
    return 0;
}
