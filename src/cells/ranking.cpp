// Cell colour ranking: a histogram of the cell, the four most frequent of
// colours 0-15 in ascending order of index, then colour 0 moved to the back
// and same-hue twins merged.
#include "cells/ranking.h"

#include <cstdint>
#include <cstring>

#include "cells/swar.h"

namespace kelvora {

namespace {

// Counts the cell's pixels of each colour 0-15 into `counts`; values above 15
// are not counted, as they never rank. Four partial histograms, one per pixel
// column modulo 4, keep a run of equal pixels from making every increment
// wait for the one before it.
void count_colours(const PictureGrid& grid, int cx, int row, std::uint8_t (&counts)[16]) {
    const ColourIndex* cell = &grid.pixels[cx * GRID_SIZE + row];
    bool all_below_16 = true;
    for (int k = 0; k < 8; ++k) {
        all_below_16 = all_below_16 && (load8(cell + k * GRID_SIZE) & 0xF0F0F0F0F0F0F0F0ull) == 0;
    }
    if (!all_below_16) {
        // Only 8-bit pictures get here. 64 pixels: 8-bit counters suffice.
        std::uint8_t all[256] = {};
        for (int k = 0; k < 8; ++k) {
            for (int i = 0; i < 8; ++i) {
                ++all[cell[k * GRID_SIZE + i]];
            }
        }
        std::memcpy(counts, all, 16);
        return;
    }
    alignas(8) std::uint8_t part[4][16] = {};
    for (int i = 0; i < 8; ++i) {
        for (int k = 0; k < 8; ++k) {
            ++part[k & 3][cell[k * GRID_SIZE + i]];
        }
    }
    // Each sum is at most 64, so the bytes can be added a word at a time.
    for (int half = 0; half < 2; ++half) {
        std::uint64_t sum = 0;
        for (auto& partial : part) {
            sum += load8(&partial[8 * half]);
        }
        store8(&counts[8 * half], sum);
    }
}

} // namespace

CellRanking rank_cell_colours(const PictureGrid& grid, int cx, int row) {
    std::uint8_t counts[16];
    count_colours(grid, cx, row, counts);

    // Strict comparisons: of two colours with equal counts the lower index
    // ranks higher, and an absent colour (count 0) never enters.
    ColourIndex colour[4] = {0, 0, 0, 0};
    std::uint8_t count[4] = {0, 0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        const std::uint8_t n = counts[i];
        if (n == 0) {
            continue; // most of the sixteen colours are absent from a cell
        }
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
