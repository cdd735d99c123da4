// Cell colour ranking: a histogram of the cell, the four most frequent of
// colours 0-15, then colour 0 moved to the back and same-hue twins merged.
#include "cells/ranking.h"

#include <cstdint>

namespace kelvora {

CellRanking rank_cell_colours(const PictureGrid& grid, int cx, int row) {
    // 64 pixels a cell, so 8-bit counters cannot overflow. Values above 15
    // are counted but never ranked.
    std::uint8_t counts[256] = {};
    for (int px = cx; px < cx + 8; ++px) {
        const ColourIndex* column = &grid.pixels[px * GRID_SIZE + row];
        for (int i = 0; i < 8; ++i) {
            ++counts[column[i]];
        }
    }

    // Strict comparisons: of two colours with equal counts the lower index
    // ranks higher, and an absent colour (count 0) never enters.
    ColourIndex colour[4] = {0, 0, 0, 0};
    std::uint8_t count[4] = {0, 0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t n = counts[i];
        int slot = 0;
        while (slot < 4 && n <= count[slot]) {
            ++slot;
        }
        if (slot == 4) {
            continue;
        }
        for (int s = 3; s > slot; --s) {
            colour[s] = colour[s - 1];
            count[s] = count[s - 1];
        }
        colour[slot] = static_cast<ColourIndex>(i);
        count[slot] = n;
    }

    // Background goes last, one step at a time in this order.
    if (colour[0] == 0) {
        colour[0] = colour[1];
        colour[1] = 0;
    }
    if (colour[1] == 0) {
        colour[1] = colour[2];
        colour[2] = 0;
    }
    if (colour[2] == 0) {
        colour[2] = colour[3];
        colour[3] = 0;
    }
    // The same hue at the other brightness cannot be a second colour.
    if ((colour[1] & 7) == (colour[0] & 7)) {
        colour[1] = colour[2];
    }
    return CellRanking{colour[0], colour[1]};
}

} // namespace kelvora
