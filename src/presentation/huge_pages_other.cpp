#include "presentation/huge_pages.h"

namespace vrk::presentation {

void adviseHugePages(void*, std::size_t) {}

}  // namespace vrk::presentation
