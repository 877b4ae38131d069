#include "programs/outside_programs.h"

namespace vrk::programs {

// WebAssembly has no processes: a program the story names is never started there.
bool startDetached(const std::filesystem::path&, const std::vector<std::string>&) {
    return false;
}

}  // namespace vrk::programs
