#include "presentation/huge_pages.h"

#include <sys/mman.h>

namespace vrk::presentation {

void adviseHugePages(void* data, std::size_t bytes) {
    madvise(data, bytes, MADV_HUGEPAGE);
}

}  // namespace vrk::presentation
