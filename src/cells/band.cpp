// Band encoding. Cells go left to right so the ink and paper can carry from
// each cell to the next; a tall sprite band takes its colours from the top
// cell of each column.
#include "cells/band.h"

#include <cstring>

#include "cells/ink_paper.h"
#include "cells/ranking.h"
#include "cells/swar.h"

namespace kelvora {

std::uint8_t make_attribute(ColourIndex ink, ColourIndex paper) {
    const int ink_bright = ink == NO_COLOUR ? 0 : ink;
    const int paper_bright = paper == NO_COLOUR ? 0 : paper;
    return static_cast<std::uint8_t>(((ink_bright | paper_bright) & 8) << 3 | (paper & 7) << 3 |
                                     (ink & 7));
}

void encode_band(Stores& stores, std::int64_t x, std::int64_t row, std::int64_t width,
                 std::int64_t band_height, const ResourceRecord& record) {
    stores.ink_paper = InkPaper{15, NO_COLOUR};
    const int top = static_cast<int>(row);
    const auto rows = static_cast<std::size_t>(band_height);

    for (std::int64_t cx64 = x; cx64 < x + width; cx64 += 8) {
        const int cx = static_cast<int>(cx64);
        const int c = cx / 8;
        const CellRanking ranking = rank_cell_colours(stores.grid, cx, top);
        resolve_ink_paper(ranking, stores.ink_paper, record.default_colour, record.kind);
        const ColourIndex ink = stores.ink_paper.ink;

        std::uint8_t* bits = &stores.bitmap.bytes[c][top];
        std::uint8_t* mask = &stores.mask.bytes[c][top];
        const ColourIndex* columns = &stores.grid.pixels[cx * GRID_SIZE + top];
        std::size_t i = 0;
        // Eight rows at once: each pixel column's 8 bytes are compared as one
        // word, and the 0x80 flags are shifted into that column's bit, so
        // byte r of the sum is the bitmap byte of row r.
        for (; i + 8 <= rows; i += 8) {
            std::uint64_t ink_bits = 0;
            std::uint64_t mask_bits = 0;
            for (int k = 0; k < 8; ++k) {
                const std::uint64_t pixels = load8(columns + k * GRID_SIZE + i);
                ink_bits |= equal_bytes(pixels, ink) >> k;
                mask_bits |= nonzero_bytes(pixels) >> k;
            }
            store8(bits + i, ink_bits);
            store8(mask + i, mask_bits);
        }
        for (; i < rows; ++i) { // the rows of a sprite below its last multiple of 8
            std::uint8_t ink_bits = 0;
            std::uint8_t mask_bits = 0;
            for (int k = 0; k < 8; ++k) {
                const ColourIndex pixel = columns[k * GRID_SIZE + i];
                ink_bits = static_cast<std::uint8_t>(ink_bits << 1 | (pixel == ink ? 1 : 0));
                mask_bits = static_cast<std::uint8_t>(mask_bits << 1 | (pixel != 0 ? 1 : 0));
            }
            bits[i] = ink_bits;
            mask[i] = mask_bits;
        }
        if (c + 1 < CELL_COLUMNS) {
            std::memset(&stores.bitmap.bytes[c + 1][top], 0, rows);
        }
        stores.attributes.bytes[c] = make_attribute(ink, stores.ink_paper.paper);
    }
}

} // namespace kelvora
