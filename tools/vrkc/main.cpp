// vrkc: compiles a story source into BASE.VRK and BASE.VRJ (and, with --slots, the four
// fresh slot files), or prints a compiled story back in source form.

#include <filesystem>
#include <iostream>

#include "common/file_reading.h"
#include "story/save_file.h"
#include "vrkc/story_compiler.h"

namespace fs = std::filesystem;

namespace {

constexpr const char* kUsage =
    "usage: vrkc [--sjis] [--slots] SOURCE.txt OUTDIR/BASE\n"
    "       vrkc --decompile [--sjis] BASE.VRK\n";

// Far beyond any story; a larger file (or /dev/zero behind a link) is not one.
constexpr std::size_t kMaxInputBytes = std::size_t{256} << 20;

bool readFile(const fs::path& path, std::vector<char>& bytes) {
    auto read = vrk::tryReadRegularFile(path, kMaxInputBytes, vrk::OverLimit::Refuse);
    if (!read) {
        return false;
    }
    bytes = std::move(*read);
    return true;
}

bool writeFile(const fs::path& path, const std::vector<char>& bytes) {
    return vrk::story::writeFileReplacing(path, std::string_view(bytes.data(), bytes.size()));
}

int decompile(const fs::path& scriptPath, bool asSjis) {
    fs::path indexPath = scriptPath;
    indexPath.replace_extension(scriptPath.extension() == ".vrk" ? ".vrj" : ".VRJ");
    std::vector<char> script;
    std::vector<char> index;
    if (!readFile(scriptPath, script) || !readFile(indexPath, index)) {
        std::cerr << "vrkc: cannot read " << scriptPath.string() << " and " << indexPath.string() << "\n";
        return 1;
    }
    std::string error;
    const auto source = vrk::compiler::decompileStory(script, index, asSjis, &error);
    if (!source) {
        std::cerr << "vrkc: " << scriptPath.string() << ": " << error << "\n";
        return 1;
    }
    std::cout << *source;
    return std::cout ? 0 : 1;
}

int compile(const fs::path& sourcePath, const fs::path& outBase, bool sourceIsSjis, bool slots) {
    std::vector<char> source;
    if (!readFile(sourcePath, source)) {
        std::cerr << "vrkc: cannot read " << sourcePath.string() << "\n";
        return 1;
    }
    vrk::compiler::CompileError error;
    const auto story =
        vrk::compiler::compileStory(std::string_view(source.data(), source.size()), sourceIsSjis, &error);
    if (!story) {
        std::cerr << sourcePath.string() << ":" << error.line << ": " << error.message << "\n";
        return 1;
    }
    const std::string base = outBase.string();
    if (!writeFile(base + ".VRK", story->script) || !writeFile(base + ".VRJ", story->index)) {
        std::cerr << "vrkc: cannot write " << base << ".VRK/.VRJ\n";
        return 1;
    }
    if (!slots) {
        return 0;
    }
    const auto slot = vrk::compiler::initialSlot(*story);
    if (!slot) {
        std::cerr << sourcePath.string() << ": --slots needs a VRKALTER block of 19 lines\n";
        return 1;
    }
    for (int n = 1; n <= 4; ++n) {
        if (!vrk::story::writeFileReplacing(base + ".V0" + std::to_string(n), *slot)) {
            std::cerr << "vrkc: cannot write " << base << ".V0" << n << "\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool sjis = false;
    bool slots = false;
    bool decompileMode = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--sjis") {
            sjis = true;
        } else if (arg == "--slots") {
            slots = true;
        } else if (arg == "--decompile") {
            decompileMode = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "vrkc: unknown option " << arg << "\n" << kUsage;
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (decompileMode && files.size() == 1 && !slots) {
        return decompile(files[0], sjis);
    }
    if (!decompileMode && files.size() == 2) {
        return compile(files[0], files[1], sjis, slots);
    }
    std::cerr << kUsage;
    return 2;
}
