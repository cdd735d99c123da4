// One rectangle of the resource list, as the list reader yields it.
#pragma once

#include <cstdint>

namespace kelvora {

inline constexpr int TOKEN_BUFFER_SIZE = 80; // 79 characters and a NUL
inline constexpr int TOKEN_MAX_LENGTH = TOKEN_BUFFER_SIZE - 1;

struct ResourceRecord {
    char name[TOKEN_BUFFER_SIZE]; // NUL-terminated; may hold an earlier NUL
    char kind;                    // first character of the kind token, NUL if empty
    std::int32_t x;
    std::int32_t y;
    std::int32_t width;
    std::int32_t height;
    std::uint8_t default_colour;
};

// "B" (block) and "T" (tile table) records are cut into 8-row bands of cells;
// any other kind character, case counting, makes a sprite of one band.
inline bool is_block_kind(char kind) {
    return kind == 'B' || kind == 'T';
}

} // namespace kelvora
