#include "interpreter/story.h"

#include "common/file_names.h"

namespace vrk::interpreter {

std::filesystem::path Locations::projectFile(const std::string& extension) const {
    // Project files are found by their exact spelling first, then in any letter case.
    const std::string name = baseName + extension;
    if (auto found = findInDirectory(projectDir, name)) {
        return *found;
    }
    return projectDir / name;
}

std::filesystem::path Locations::saveFile(const std::string& extension) const {
    const std::string name = baseName + extension;
    if (auto found = findInDirectory(saveDir, name)) {
        return *found;
    }
    return saveDir / name;
}

}  // namespace vrk::interpreter
