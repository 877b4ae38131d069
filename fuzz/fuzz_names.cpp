// The Shift-JIS helpers and the file-name resolver. Names are resolved in a small project
// of files spelt in Shift-JIS, in UTF-8 and in mixed case; whatever a name resolves to exists.

#include <fuzzer/FuzzedDataProvider.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "common/file_names.h"
#include "common/sjis.h"
#include "fuzz_check.h"

namespace fs = std::filesystem;

namespace {

const fs::path& projectDir() {
    static const fs::path dir = [] {
        std::string pattern = (fs::temp_directory_path() / "vrk-fuzz-names-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::abort();
        }
        const fs::path root(pattern);
        fs::create_directories(root / "Sub" / "deeper");
        for (const char* name : {"A.BMP", "Sub/b.wav", "Sub/deeper/Music.MID",
                                 "\x95\x5C.jpg",                         // 表.jpg in Shift-JIS bytes
                                 "\xe8\xa1\xa8\xe7\xa4\xba.bmp",         // 表示.bmp in UTF-8
                                 "Sub/\x83\x5C\x83\x74\x83\x67.exe"}) {  // ソフト.exe
            std::ofstream(root / name) << "x";
        }
        return root / "";
    }();
    return dir;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const std::size_t cut = input.ConsumeIntegralInRange<std::size_t>(0, 300);
    const std::string text = input.ConsumeRemainingBytesAsString();

    const std::string head = vrk::cutSjis(text, cut);
    FUZZ_CHECK(head.size() <= cut && text.compare(0, head.size(), head) == 0);
    FUZZ_CHECK(head.size() + 2 > std::min(cut, text.size()));

    const std::string folded = vrk::foldCaseSjis(text);
    FUZZ_CHECK(folded.size() == text.size() && vrk::foldCaseSjis(folded) == folded);

    const std::string utf8 = vrk::sjisToUtf8(text);
    FUZZ_CHECK(vrk::isValidUtf8(utf8));
    if (const auto back = vrk::utf8ToSjis(text)) {
        FUZZ_CHECK(vrk::sjisToUtf8(*back).find("\xEF\xBF\xBD") == std::string::npos);
    }
    FUZZ_CHECK(!vrk::utf8ToSjisLossy(text).empty() || text.empty());

    for (const std::string& part : vrk::splitFileName(text)) {
        FUZZ_CHECK(!part.empty());
        FUZZ_CHECK(part == "/" || part.find('/') == std::string::npos);
    }
    // Only names inside the project: the resolver's walk of the real root is not the subject.
    if (!text.empty() && text[0] != '/' && text[0] != '\\' && text.find(':') == std::string::npos &&
        text.find("..") == std::string::npos) {
        if (const auto found = vrk::resolveFileName(text, projectDir())) {
            std::error_code ec;
            FUZZ_CHECK(fs::exists(*found, ec));
        }
        (void)vrk::fileNameExists(text, projectDir());
    }
    return 0;
}
