// Band encoding. Cells go left to right so the ink and paper can carry from
// each cell to the next; a tall sprite band takes its colours from the top
// cell of each column.
#include "cells/band.h"

#include <cstring>

#include "cells/ink_paper.h"
#include "cells/ranking.h"
#include "cells/swar.h"
#include "model/forms.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvora {

namespace detail {

void encode_eight_rows_words(const ColourIndex* cell, ColourIndex ink, std::uint8_t* bits,
                             std::uint8_t* mask) {
    // Each pixel column's 8 bytes are compared as one word, and the 0x80
    // flags are shifted into that column's bit, so byte r of the result is
    // the plane byte of row r.
    std::uint64_t ink_bits = 0;
    std::uint64_t mask_bits = 0;
    for (int k = 0; k < 8; ++k) {
        const std::uint64_t pixels = load8(cell + k * COLUMN_STRIDE);
        ink_bits |= equal_bytes(pixels, ink) >> k;
        mask_bits |= nonzero_bytes(pixels) >> k;
    }
    store8(bits, ink_bits);
    store8(mask, mask_bits);
}

#if defined(__SSE2__)
void encode_eight_rows_sse2(const ColourIndex* cell, ColourIndex ink, std::uint8_t* bits,
                            std::uint8_t* mask) {
    // Two pixel columns a vector. Each column's matches are masked with its
    // bit in every byte, so OR-ing all columns, then the two halves, leaves
    // the plane byte of row r in byte r.
    // Each pair of pixel columns' bits, in every byte: 0x80 and 0x40 for the
    // first pair, and so on.
    alignas(16) static constexpr std::uint64_t COLUMN_BITS[4][2] = {
        {LOW_BITS * 0x80, LOW_BITS * 0x40},
        {LOW_BITS * 0x20, LOW_BITS * 0x10},
        {LOW_BITS * 0x08, LOW_BITS * 0x04},
        {LOW_BITS * 0x02, LOW_BITS * 0x01}};
    const __m128i wanted = _mm_set1_epi8(static_cast<char>(ink));
    const __m128i zero = _mm_setzero_si128();
    __m128i ink_bits = zero;
    __m128i mask_bits = zero;
    for (int j = 0; j < 4; ++j) {
        const __m128i left =
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cell + 2 * j * COLUMN_STRIDE));
        const __m128i right =
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cell + (2 * j + 1) * COLUMN_STRIDE));
        const __m128i pixels = _mm_unpacklo_epi64(left, right);
        const __m128i column_bits =
            _mm_load_si128(reinterpret_cast<const __m128i*>(COLUMN_BITS[j]));
        ink_bits =
            _mm_or_si128(ink_bits, _mm_and_si128(_mm_cmpeq_epi8(pixels, wanted), column_bits));
        mask_bits =
            _mm_or_si128(mask_bits, _mm_andnot_si128(_mm_cmpeq_epi8(pixels, zero), column_bits));
    }
    ink_bits = _mm_or_si128(ink_bits, _mm_srli_si128(ink_bits, 8));
    mask_bits = _mm_or_si128(mask_bits, _mm_srli_si128(mask_bits, 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(bits), ink_bits);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(mask), mask_bits);
}
#endif

} // namespace detail

namespace {

inline void encode_eight_rows(const ColourIndex* cell, ColourIndex ink, std::uint8_t* bits,
                              std::uint8_t* mask) {
#if defined(__SSE2__)
    detail::encode_eight_rows_sse2(cell, ink, bits, mask);
#else
    detail::encode_eight_rows_words(cell, ink, bits, mask);
#endif
}

} // namespace

std::uint8_t make_attribute(ColourIndex ink, ColourIndex paper) {
    return static_cast<std::uint8_t>(((ink | paper) & 8) << 3 | (paper & 7) << 3 | (ink & 7));
}

ColourIndex choose_cell_colours(const PictureGrid& grid, const ResourceRecord& record, int cx,
                                int top, InkPaper& ink_paper) {
    // A white sprite's colours are fixed whatever the cell holds, so its
    // cells need no ranking.
    const CellRanking ranking = record.kind == RecordKind::WhiteSprite
                                    ? CellRanking{15, NO_COLOUR}
                                    : rank_cell_colours(grid, cx, top);
    resolve_ink_paper(ranking, ink_paper, record.default_colour, record.kind);
    return ink_paper.ink;
}

void encode_band(Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                 std::int64_t row) {
    stores.ink_paper = BAND_START_COLOURS;
    const int top = static_cast<int>(row);
    const auto rows = static_cast<std::size_t>(layout.band_height);

    int last_column = -1;
    for (std::int64_t cell = 0; cell < layout.cells_across; ++cell) {
        const auto cx = static_cast<int>(record.x + 8 * cell);
        const int c = cx / 8;
        const ColourIndex ink = choose_cell_colours(stores.grid, record, cx, top, stores.ink_paper);

        std::uint8_t* bits = &stores.bitmap.bytes[c][top];
        std::uint8_t* mask = &stores.mask.bytes[c][top];
        const ColourIndex* columns = stores.grid.column(cx) + top;
        std::size_t i = 0;
        if constexpr (USE_FAST_FORMS) {
            for (; i + 8 <= rows; i += 8) {
                encode_eight_rows(columns + i, ink, bits + i, mask + i);
            }
        }
        // The plain form, a pixel at a time: every row in a build of plain
        // forms, else the rows of a sprite below its last multiple of 8.
        for (; i < rows; ++i) {
            std::uint8_t ink_bits = 0;
            std::uint8_t mask_bits = 0;
            for (int k = 0; k < 8; ++k) {
                const ColourIndex pixel = columns[k * COLUMN_STRIDE + i];
                ink_bits = static_cast<std::uint8_t>(ink_bits << 1 | (pixel == ink ? 1 : 0));
                mask_bits = static_cast<std::uint8_t>(mask_bits << 1 | (pixel != 0 ? 1 : 0));
            }
            bits[i] = ink_bits;
            mask[i] = mask_bits;
        }
        stores.attributes.bytes[c] = make_attribute(ink, stores.ink_paper.paper);
        last_column = c;
    }
    // Encoding a cell clears the bitmap of the column to its right in the
    // band's rows. Every cell but the last has its neighbour encoded right
    // after it, which overwrites those bytes, so only the last one's stays.
    // It is kept on purpose: a later sprite of width 0 shows that column, and
    // its output must stay as it always was.
    if (last_column >= 0 && last_column + 1 < CELL_COLUMNS) {
        std::uint8_t* const cleared = &stores.bitmap.bytes[last_column + 1][top];
        if (rows == 8) {
            store8(cleared, 0); // the common band of 8 rows, without a call
        } else {
            std::memset(cleared, 0, rows);
        }
    }
}

} // namespace kelvora
