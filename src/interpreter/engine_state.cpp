#include "interpreter/engine_state.h"

#include "common/file_names.h"

namespace vrk::interpreter {
namespace {

// Project files are found by their exact spelling first, then in any letter case; a file
// that does not exist yet is named as the program writes it.
std::filesystem::path projectFileIn(const std::filesystem::path& dir, const std::string& name) {
    if (auto found = findInDirectory(dir, name)) {
        return *found;
    }
    return dir / name;
}

}  // namespace

std::filesystem::path Locations::projectFile(const std::string& extension) const {
    return projectFileIn(storyFilesDir(), baseName + extension);
}

std::filesystem::path Locations::saveFile(const std::string& extension) const {
    return projectFileIn(saveDir, baseName + extension);
}

}  // namespace vrk::interpreter
