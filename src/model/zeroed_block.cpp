// Zeroed blocks for the stores, carved out of an anonymous mapping.
#include "model/zeroed_block.h"

#include <sys/mman.h>

#include <cstdint>

namespace kelvora {

void* allocate_zeroed_block(std::size_t size, std::size_t hot) {
    // Carved out of a mapping a huge page larger, the rest given back.
    constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
    const auto round_up = [](std::size_t bytes) {
        return (bytes + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    };
    const std::size_t rounded = round_up(size);
    const std::size_t hot_part = hot < size ? round_up(hot) : rounded;
    void* mapping = mmap(nullptr, rounded + HUGE_PAGE, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        return nullptr;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapping);
    const std::uintptr_t aligned = (start + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    if (aligned > start) {
        munmap(mapping, aligned - start);
    }
    munmap(reinterpret_cast<void*>(aligned + rounded), start + HUGE_PAGE - aligned);
    auto* block = reinterpret_cast<void*>(aligned);
    // Both are hints: without huge pages the block is ordinary memory. The
    // second takes every page in one call instead of a fault each.
    if (madvise(block, hot_part, MADV_HUGEPAGE) == 0) {
        constexpr int POPULATE_WRITE = 23; // MADV_POPULATE_WRITE, Linux 5.14 on
        madvise(block, hot_part, POPULATE_WRITE);
    }
    return block;
}

} // namespace kelvora
