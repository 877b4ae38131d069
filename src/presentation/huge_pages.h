#pragma once
// Asking for huge pages is each platform's own call (huge_pages_linux.cpp, huge_pages_other.cpp;
// CMake picks one).

#include <cstddef>

namespace vrk::presentation {

/// Asks that the block at data (aligned to a huge page, bytes long) be backed by huge pages
/// where the platform has them; only a hint, never an error.
void adviseHugePages(void* data, std::size_t bytes);

}  // namespace vrk::presentation
