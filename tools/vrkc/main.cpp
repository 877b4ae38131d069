// vrkc: compiles a story source into BASE.VRK and BASE.VRJ (and, with --slots, the four
// fresh slot files), prints a compiled story back in source form, checks a story, or draws
// its map.

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <system_error>

#include "common/file_names.h"
#include "common/file_reading.h"
#include "common/file_writing.h"
#include "common/terminal_text.h"
#include "story/save_file.h"
#include "story/story_map.h"
#include "vrkc/story_checker.h"
#include "vrkc/story_compiler.h"
#include "vrkc/story_map_graphviz.h"
#include "vrkc/web_site.h"

namespace fs = std::filesystem;

namespace {

// File names and what a story holds reach the terminal only escaped (common/terminal_text.h).
std::string shown(std::string_view text) {
    return vrk::terminalText(text);
}

constexpr const char* kUsage =
    "usage: vrkc [--sjis] [--slots] SOURCE.txt OUTDIR/BASE\n"
    "       vrkc --decompile [--sjis] BASE.VRK\n"
    "       vrkc --check [--sjis] [--strict] [--media DIR] PROJECT_FILE|SOURCE.txt...\n"
    "       vrkc --map [--sjis] PROJECT_FILE|SOURCE.txt OUT.svg|OUT.dot\n"
    "       vrkc --web OUTDIR [--zip] [--page DIR] [--font-effort N] PROJECT_FILE\n"
    "       vrkc --help | --version\n";

constexpr const char* kHelp =
    "\n"
    "Compiles a story source (UTF-8, or Shift-JIS with --sjis; one script line per source\n"
    "line) into BASE.VRK and BASE.VRJ, and with --slots the four fresh slots BASE.V01-.V04.\n"
    "Source lines: \"*NAME\" labels the next line, \"*NAME@N\" gives a label the offset N,\n"
    "\"**text\" is the line \"*text\", anything else is a script line (at most 255 bytes).\n"
    "\n"
    "  --decompile     print a compiled story in source form (UTF-8 unless --sjis)\n"
    "  --check         report what would go wrong while the story plays, as FILE:LINE:\n"
    "                  MESSAGE (for a compiled project: the label, the line within it and\n"
    "                  the script offset): missing jump targets, labels nothing leads to,\n"
    "                  bad index offsets, \"@NOWAIT\" circles, flags and colours that are\n"
    "                  not numbers or name no colour, \"%\" without a digit, a choice block\n"
    "                  without \"?END\" or a choice without its target, more than six\n"
    "                  choices, missing or unloadable files, a short VRKALTER block.\n"
    "                  Exit status 0 when clean, 1 with findings.\n"
    "  --media DIR     with --check: the story's files (and \"%P%\") are in DIR, not\n"
    "                  beside the checked file\n"
    "  --web OUTDIR    write a static site that opens the story at once: the reading\n"
    "                  page, its engine, the story's files and story.json, the faces cut\n"
    "                  to the story's characters (WOFF2); relative addresses only, at\n"
    "                  most 1000 files. OUTDIR must be new, empty or an earlier site; an\n"
    "                  OUTDIR ending in \".zip\" is written as that archive only\n"
    "  --zip           with --web: OUTDIR.zip too, for upload\n"
    "  --page DIR      with --web: the built page (default: the installed one, or\n"
    "                  web/dist of the source tree vrkc was built in)\n"
    "  --font-effort N with --web: the WOFF2 compression level, 1-11 (default 11: the\n"
    "                  smallest files, about a minute for the four faces)\n"
    "  --help          show this help and exit\n"
    "  --version       show the version and exit\n"
    "\n"
    "Exit status: 0 done, 1 a file cannot be read or written (or --check found faults),\n"
    "2 usage.\n";

bool readFile(const fs::path& path, std::vector<char>& bytes) {
    auto read = vrk::tryReadRegularFile(path, vrk::compiler::kMaxInputBytes, vrk::OverLimit::Refuse);
    if (!read) {
        return false;
    }
    bytes = std::move(*read);
    return true;
}

bool writeFile(const fs::path& path, const std::vector<char>& bytes) {
    return vrk::replaceFile(path, std::string_view(bytes.data(), bytes.size()));
}

int decompile(const fs::path& scriptPath, bool asSjis) {
    fs::path indexPath = scriptPath;
    indexPath.replace_extension(scriptPath.extension() == ".vrk" ? ".vrj" : ".VRJ");
    std::vector<char> script;
    std::vector<char> index;
    if (!readFile(scriptPath, script) || !readFile(indexPath, index)) {
        std::cerr << "vrkc: cannot read " << shown(scriptPath.string()) << " and "
                  << shown(indexPath.string()) << "\n";
        return 1;
    }
    std::string error;
    const auto source = vrk::compiler::decompileStory(script, index, asSjis, &error);
    if (!source) {
        std::cerr << "vrkc: " << shown(scriptPath.string()) << ": " << shown(error) << "\n";
        return 1;
    }
    std::cout << *source;
    return std::cout ? 0 : 1;
}

int compile(const fs::path& sourcePath, const fs::path& outBase, bool sourceIsSjis, bool slots) {
    std::vector<char> source;
    if (!readFile(sourcePath, source)) {
        std::cerr << "vrkc: cannot read " << shown(sourcePath.string()) << "\n";
        return 1;
    }
    vrk::compiler::CompileError error;
    const auto story =
        vrk::compiler::compileStory(std::string_view(source.data(), source.size()), sourceIsSjis, &error);
    if (!story) {
        std::cerr << shown(sourcePath.string()) << ":" << error.line << ": " << shown(error.message) << "\n";
        return 1;
    }
    const std::string base = outBase.string();
    if (!writeFile(base + ".VRK", story->script) || !writeFile(base + ".VRJ", story->index)) {
        std::cerr << "vrkc: cannot write " << shown(base) << ".VRK/.VRJ\n";
        return 1;
    }
    if (!slots) {
        return 0;
    }
    const auto slot = vrk::compiler::initialSlot(*story);
    if (!slot) {
        std::cerr << shown(sourcePath.string()) << ": --slots needs a VRKALTER block of 19 lines\n";
        return 1;
    }
    for (int n = 1; n <= 4; ++n) {
        if (!vrk::replaceFile(base + ".V0" + std::to_string(n), *slot)) {
            std::cerr << "vrkc: cannot write " << shown(base) << ".V0" << n << "\n";
            return 1;
        }
    }
    return 0;
}

int check(const std::vector<std::string>& files, bool sourceIsSjis, bool strict,
          const std::optional<fs::path>& media) {
    int status = 0;
    for (const std::string& file : files) {
        std::string error;
        auto story = vrk::compiler::loadForCheck(file, sourceIsSjis, &error);
        if (!story) {
            std::cerr << "vrkc: " << shown(error) << "\n";
            status = 1;
            continue;
        }
        if (media) {
            std::error_code ec;
            story->projectDir = fs::absolute(*media, ec);
        }
        for (const vrk::compiler::Finding& finding : vrk::compiler::checkStory(*story)) {
            std::cout << shown(finding.where) << ": " << (finding.warning ? "warning: " : "")
                      << shown(finding.message) << "\n";
            if (!finding.warning || strict) {
                status = 1;
            }
        }
    }
    return status;
}

int map(const fs::path& file, const fs::path& out, bool sourceIsSjis) {
    const auto format = vrk::storymap::mapFormatFor(out);
    if (!format) {
        std::cerr << "vrkc: --map writes a .svg or a .dot file, not " << shown(out.string()) << "\n";
        return 2;
    }
    std::string error;
    const auto story = vrk::compiler::loadForCheck(file, sourceIsSjis, &error);
    if (!story) {
        std::cerr << "vrkc: " << shown(error) << "\n";
        return 1;
    }
    const vrk::storymap::StoryMap storyMap = vrk::storymap::buildStoryMap(story->script, story->index);
    const auto drawing = vrk::storymap::renderStoryMap(storyMap, *format, &error);
    if (!drawing) {
        std::cerr << "vrkc: " << shown(out.string()) << ": " << shown(error) << "\n";
        return 1;
    }
    if (!vrk::replaceFile(out, *drawing)) {
        std::cerr << "vrkc: cannot write " << shown(out.string()) << "\n";
        return 1;
    }
    return 0;
}

// vrkc --web OUTDIR [--zip] [--page DIR] [--font-effort N] PROJECT_FILE
int publishWeb(int argc, char** argv) {
    std::optional<fs::path> outDir;
    std::optional<fs::path> project;
    vrk::publish::SiteOptions options;
    bool zip = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool valued = arg == "--web" || arg == "--page" || arg == "--font-effort";
        if (valued && i + 1 == argc) {
            std::cerr << "vrkc: " << arg << " needs a value\n" << kUsage;
            return 2;
        }
        if (arg == "--web") {
            outDir = fs::path(argv[++i]);
        } else if (arg == "--page") {
            options.pageDir = fs::path(argv[++i]);
        } else if (arg == "--font-effort") {
            options.fontEffort = std::atoi(argv[++i]);
            if (options.fontEffort < 1 || options.fontEffort > 11) {
                std::cerr << "vrkc: --font-effort takes 1 to 11\n";
                return 2;
            }
        } else if (arg == "--zip") {
            zip = true;
        } else if ((!arg.empty() && arg[0] == '-') || project) {
            std::cerr << "vrkc: " << shown(arg) << " does not go with --web\n" << kUsage;
            return 2;
        } else {
            project = fs::path(arg);
        }
    }
    if (!outDir || !project || outDir->empty()) {
        std::cerr << kUsage;
        return 2;
    }
    if (options.pageDir.empty()) {
        const auto found = vrk::publish::findPageDir(vrk::programDirectory(argv[0]));
        if (!found) {
            std::cerr << "vrkc: no built page found (make web, or --page DIR)\n";
            return 1;
        }
        options.pageDir = *found;
    }
    std::string error;
    const auto story = vrk::publish::readStory(*project, &error);
    if (!story) {
        std::cerr << "vrkc: " << shown(error) << "\n";
        return 1;
    }
    std::vector<std::string> notes = story->notes;
    const auto site = vrk::publish::buildSite(*story, options, &error, &notes);
    for (const std::string& note : notes) {
        std::cerr << "vrkc: " << shown(note) << "\n";
    }
    if (!site) {
        std::cerr << "vrkc: " << shown(error) << "\n";
        return 1;
    }
    fs::path out = *outDir;
    while (out.has_parent_path() && out.filename().empty()) {
        out = out.parent_path();  // "site/" is the folder "site"
    }
    const bool onlyZip = out.extension() == ".zip";
    if (!onlyZip && !vrk::publish::writeSite(*site, out, &error)) {
        std::cerr << "vrkc: " << shown(error) << "\n";
        return 1;
    }
    if (zip || onlyZip) {
        const fs::path archive = onlyZip ? out : fs::path(out.string() + ".zip");
        const std::string folder = onlyZip ? out.stem().string() : out.filename().string();
        if (!vrk::replaceFile(archive, vrk::publish::zipSite(*site, folder))) {
            std::cerr << "vrkc: cannot write " << shown(archive.string()) << "\n";
            return 1;
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--web") {
            return publishWeb(argc, argv);
        }
    }
    bool sjis = false;
    bool slots = false;
    bool decompileMode = false;
    bool checkMode = false;
    bool mapMode = false;
    bool strict = false;
    std::vector<std::string> files;
    std::optional<fs::path> media;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--media") {
            if (i + 1 == argc) {
                std::cerr << "vrkc: --media needs a folder\n" << kUsage;
                return 2;
            }
            media = fs::path(argv[++i]);
        } else if (arg == "--sjis") {
            sjis = true;
        } else if (arg == "--slots") {
            slots = true;
        } else if (arg == "--decompile") {
            decompileMode = true;
        } else if (arg == "--check") {
            checkMode = true;
        } else if (arg == "--map") {
            mapMode = true;
        } else if (arg == "--strict") {
            strict = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << kUsage << kHelp;
            return 0;
        } else if (arg == "--version") {
            std::cout << "vrkc " VRK_VERSION "\n";
            return 0;
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "vrkc: unknown option " << shown(arg) << "\n" << kUsage;
            return 2;
        } else {
            files.push_back(arg);
        }
    }
    if (media && !checkMode) {
        std::cerr << "vrkc: --media goes with --check\n" << kUsage;
        return 2;
    }
    if (std::error_code ec; media && !fs::is_directory(*media, ec)) {
        std::cerr << "vrkc: --media: " << shown(media->string()) << " is not a folder\n";
        return 2;
    }
    if (strict && !checkMode) {
        std::cerr << "vrkc: --strict goes with --check\n" << kUsage;
        return 2;
    }
    const int modes = int{checkMode} + int{decompileMode} + int{mapMode};
    if (modes > 1) {
        std::cerr << kUsage;
        return 2;
    }
    if (checkMode && !slots && !files.empty()) {
        return check(files, sjis, strict, media);
    }
    if (mapMode && !slots && files.size() == 2) {
        return map(files[0], files[1], sjis);
    }
    if (decompileMode && files.size() == 1 && !slots) {
        return decompile(files[0], sjis);
    }
    if (modes == 0 && files.size() == 2) {
        return compile(files[0], files[1], sjis, slots);
    }
    std::cerr << kUsage;
    return 2;
}
