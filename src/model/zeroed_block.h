// Where the programs' stores live: one zeroed block each, on huge pages where
// the system has them, so that the first touch of the stores costs one page
// fault instead of hundreds.
#pragma once

#include <cstddef>

namespace kelvora {

// A zeroed, 2 MiB-aligned block of at least `size` bytes, or null when there
// is no such memory. Its first `hot` bytes (all of it by default) are put on
// huge pages and taken at once; the rest is left to ordinary pages, touched
// only when used.
void* allocate_zeroed_block(std::size_t size, std::size_t hot = static_cast<std::size_t>(-1));

} // namespace kelvora
