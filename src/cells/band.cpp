// Band encoding. Cells go left to right so the ink and paper can carry from
// each cell to the next; a tall sprite band takes its colours from the top
// cell of each column.
#include "cells/band.h"

#include <cstring>

#include "cells/ink_paper.h"
#include "cells/ranking.h"

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

        // Pixel column by pixel column: the grid keeps a column's rows
        // contiguous, so each pass runs straight down memory.
        std::uint8_t* bits = &stores.bitmap.bytes[c][top];
        std::uint8_t* mask = &stores.mask.bytes[c][top];
        std::memset(bits, 0, rows);
        std::memset(mask, 0, rows);
        for (int k = 0; k < 8; ++k) {
            const ColourIndex* column = &stores.grid.pixels[(cx + k) * GRID_SIZE + top];
            const auto bit = static_cast<std::uint8_t>(0x80 >> k);
            for (std::size_t i = 0; i < rows; ++i) {
                bits[i] |= column[i] == ink ? bit : 0;
                mask[i] |= column[i] != 0 ? bit : 0;
            }
        }
        if (c + 1 < CELL_COLUMNS) {
            std::memset(&stores.bitmap.bytes[c + 1][top], 0, rows);
        }
        stores.attributes.bytes[c] = make_attribute(ink, stores.ink_paper.paper);
    }
}

} // namespace kelvora
