// Eight pixels at a time: a cell's pixel column of 8 rows is 8 contiguous
// bytes of the grid, so it fits one 64-bit word, and byte-wise comparisons
// can be done with a few word operations.
#pragma once

#include <cstdint>
#include <cstring>

namespace kelvora {

inline constexpr std::uint64_t LOW_BITS = 0x0101010101010101ull;
inline constexpr std::uint64_t HIGH_BITS = 0x8080808080808080ull;

inline std::uint64_t load8(const std::uint8_t* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, 8);
    return word;
}

inline void store8(std::uint8_t* bytes, std::uint64_t word) {
    std::memcpy(bytes, &word, 8);
}

// 0x80 in every byte of `word` that is not zero, 0x00 elsewhere. Adding 0x7f
// to the low seven bits carries into bit 7 exactly when they are not all
// zero, so no byte's carry spills into the next.
inline std::uint64_t nonzero_bytes(std::uint64_t word) {
    return (((word & ~HIGH_BITS) + ~HIGH_BITS) | word) & HIGH_BITS;
}

// 0x80 in every byte of `word` equal to `value`.
inline std::uint64_t equal_bytes(std::uint64_t word, std::uint8_t value) {
    return nonzero_bytes(word ^ (LOW_BITS * value)) ^ HIGH_BITS;
}

// Whether any byte of `word` is below `limit` (at most 0x80). A borrow may
// mark bytes above the first one found, so only "any" is exact.
inline bool any_byte_below(std::uint64_t word, std::uint8_t limit) {
    return ((word - LOW_BITS * limit) & ~word & HIGH_BITS) != 0;
}

} // namespace kelvora
