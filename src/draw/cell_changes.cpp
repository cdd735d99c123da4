// Comparing what the display shows with what the picture has, one cell at
// a time, straight from the stores the encoder filled.
#include "draw/cell_changes.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "cells/ink_paper.h"
#include "cells/ranking.h"
#include "cells/swar.h"
#include "model/forms.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kelvora {
namespace {

// The cell being looked at: its place and the colours its attribute gives.
struct Cell {
    int cx;             // left pixel
    int column;         // cell column in the stores
    int top;            // first row
    int rows;           // rows inside the band and the picture
    int pixels;         // columns inside the picture
    int band_top;       // the band's first row, the row its colours were chosen at
    std::uint8_t ink;   // 0-15
    std::uint8_t paper; // 0-15
};

// Whether the pixel at column k of row r shows ink, and whether it is drawn
// at all (a sprite's mask).
inline bool ink_bit(const Stores& stores, const Cell& cell, int r, int k) {
    return ((stores.bitmap.bytes[cell.column][r] >> (7 - k)) & 1) != 0;
}

inline bool mask_bit(const Stores& stores, const Cell& cell, int r, int k) {
    return ((stores.mask.bytes[cell.column][r] >> (7 - k)) & 1) != 0;
}

// Counts the cell's changed pixels and, with `shown`, draws them.
template <bool Draw, bool Sprite>
int count_cell(const Stores& stores, const Cell& cell, const DrawnColours& drawn, int width,
               std::uint8_t* shown, std::uint8_t* marks) {
    const std::uint8_t ink_class = display_class(cell.ink);
    const std::uint8_t paper_class = display_class(cell.paper);
    int changed = 0;
    for (int k = 0; k < cell.pixels; ++k) {
        const ColourIndex* column = stores.grid.column(cell.cx + k);
        for (int r = cell.top; r < cell.top + cell.rows; ++r) {
            const bool ink = ink_bit(stores, cell, r, k);
            const bool opaque = !Sprite || mask_bit(stores, cell, r, k);
            const bool is_changed =
                opaque && drawn.looks[column[r]] != (ink ? ink_class : paper_class);
            changed += is_changed ? 1 : 0;
            if constexpr (Draw) {
                const std::size_t at = static_cast<std::size_t>(r) * width + cell.cx + k;
                shown[at] = opaque ? (ink ? cell.ink : cell.paper) : SHOWN_TRANSPARENT;
                marks[at] = static_cast<std::uint8_t>((marks[at] & ~MARK_CHANGED) |
                                                      (is_changed ? MARK_CHANGED : 0));
            }
        }
    }
    return changed;
}

// Rows of a cell's eight-row word that lie inside the band and the picture.
inline std::uint64_t rows_inside(const Cell& cell) {
    return cell.rows == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * cell.rows)) - 1;
}

#if defined(__SSE2__)
// count_cell for a whole cell (eight pixel columns) of a picture whose
// indices 0-15 look as the display shows them: two pixel columns of eight
// rows at a time, each pixel's shown colour picked by its bitmap bit. -1
// when the cell holds an index above 15, whose look only the table knows.
template <bool Sprite> int count_cell_vectors(const Stores& stores, const Cell& cell) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i rows = _mm_set1_epi64x(static_cast<long long>(rows_inside(cell)));
    const __m128i bits =
        _mm_set1_epi64x(static_cast<long long>(load8(&stores.bitmap.bytes[cell.column][cell.top])));
    const __m128i mask =
        _mm_set1_epi64x(static_cast<long long>(load8(&stores.mask.bytes[cell.column][cell.top])));
    const std::uint8_t ink = display_class(cell.ink);
    const std::uint8_t paper = display_class(cell.paper);
    const __m128i paper_bytes = _mm_set1_epi8(static_cast<char>(paper));
    const __m128i ink_from_paper = _mm_set1_epi8(static_cast<char>(ink ^ paper));
    const __m128i bright_black = _mm_set1_epi8(8);
    const ColourIndex* const column = stores.grid.column(cell.cx) + cell.top;
    __m128i seen = zero;
    __m128i changed = zero; // 1 in each byte per change, at most 4
    for (int k = 0; k < 8; k += 2) {
        // Pixel column k in the low half, k + 1 in the high half; each
        // row's bit for it in the bitmap and the mask.
        const __m128i bit = _mm_set_epi64x(static_cast<long long>(LOW_BITS * (0x80u >> (k + 1))),
                                           static_cast<long long>(LOW_BITS * (0x80u >> k)));
        __m128i pixels = _mm_unpacklo_epi64(
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(column + k * COLUMN_STRIDE)),
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(column + (k + 1) * COLUMN_STRIDE)));
        seen = _mm_or_si128(seen, pixels);
        pixels = _mm_andnot_si128(_mm_cmpeq_epi8(pixels, bright_black), pixels);
        const __m128i inked = _mm_cmpeq_epi8(_mm_and_si128(bits, bit), bit);
        const __m128i shown = _mm_xor_si128(paper_bytes, _mm_and_si128(inked, ink_from_paper));
        __m128i differ = _mm_andnot_si128(_mm_cmpeq_epi8(pixels, shown), rows);
        if constexpr (Sprite) {
            differ = _mm_and_si128(differ, _mm_cmpeq_epi8(_mm_and_si128(mask, bit), bit));
        }
        changed = _mm_sub_epi8(changed, differ);
    }
    const __m128i above_fifteen =
        _mm_and_si128(_mm_and_si128(seen, rows), _mm_set1_epi8(static_cast<char>(0xF0)));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(above_fifteen, zero)) != 0xFFFF) {
        return -1;
    }
    const __m128i sums = _mm_sad_epu8(changed, zero);
    return _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
}
#endif

// count_cell<true> the fast way, for a picture whose indices 0-15 look as
// the display shows them: each pixel column's shown colours and changes are
// found eight rows at once in a word, then written row by row. -1, with
// nothing written, for a cell with an index above 15.
template <bool Sprite>
int draw_cell_words(const Stores& stores, const Cell& cell, int width, std::uint8_t* shown,
                    std::uint8_t* marks) {
    constexpr std::uint64_t HIGH_NIBBLES = LOW_BITS * 0xF0;
    const std::uint64_t bits = load8(&stores.bitmap.bytes[cell.column][cell.top]);
    const std::uint64_t mask = load8(&stores.mask.bytes[cell.column][cell.top]);
    const std::uint64_t rows = rows_inside(cell);
    const std::uint64_t ink_class = LOW_BITS * display_class(cell.ink);
    const std::uint64_t paper_class = LOW_BITS * display_class(cell.paper);
    std::uint64_t colours[8];
    std::uint64_t changes[8];
    int changed = 0;
    for (int k = 0; k < cell.pixels; ++k) {
        std::uint64_t pixels = load8(stores.grid.column(cell.cx + k) + cell.top);
        if ((pixels & HIGH_NIBBLES & rows) != 0) {
            return -1;
        }
        pixels &= ~((equal_bytes(pixels, 8) >> 7) * 0xFF);
        const std::uint64_t inked = ((bits >> (7 - k)) & LOW_BITS) * 0xFF;
        std::uint64_t differ =
            nonzero_bytes(pixels ^ ((inked & ink_class) | (~inked & paper_class)));
        colours[k] = (inked & (LOW_BITS * cell.ink)) | (~inked & (LOW_BITS * cell.paper));
        if constexpr (Sprite) {
            const std::uint64_t drawn = ((mask >> (7 - k)) & LOW_BITS) * 0xFF;
            differ &= drawn & HIGH_BITS;
            colours[k] = (drawn & colours[k]) | (~drawn & (LOW_BITS * SHOWN_TRANSPARENT));
        }
        changes[k] = (differ & rows) >> 7; // MARK_CHANGED in each changed byte
        changed += static_cast<int>((changes[k] * LOW_BITS) >> 56);
    }
    for (int r = 0; r < cell.rows; ++r) {
        const std::size_t at = static_cast<std::size_t>(cell.top + r) * width + cell.cx;
        for (int k = 0; k < cell.pixels; ++k) {
            shown[at + k] = static_cast<std::uint8_t>(colours[k] >> (8 * r));
            marks[at + k] = static_cast<std::uint8_t>((marks[at + k] & ~MARK_CHANGED) |
                                                      ((changes[k] >> (8 * r)) & MARK_CHANGED));
        }
    }
    return changed;
}

// Counts the cell's changed pixels, the fast way where it can.
template <bool Sprite>
int count_cell_only(const Stores& stores, const Cell& cell, const DrawnColours& drawn) {
#if defined(__SSE2__)
    // Eight rows are read at once, so the cell's rows must not run past
    // the stores.
    if (USE_FAST_FORMS && drawn.in_display_order && cell.top + 8 <= GRID_ROWS && cell.pixels == 8) {
        const int changed = count_cell_vectors<Sprite>(stores, cell);
        if (changed >= 0) {
            return changed;
        }
    }
#endif
    return count_cell<false, Sprite>(stores, cell, drawn, 0, nullptr, nullptr);
}

void note_change(CellChange& change, int drawn, int shown) {
    ++change.pixels;
    for (int i = 0; i < change.kinds; ++i) {
        ColourChange& kind = change.changes[i];
        if (kind.drawn == drawn && kind.shown == shown) {
            ++kind.pixels;
            return;
        }
    }
    if (change.kinds < 16) {
        change.changes[change.kinds++] =
            ColourChange{static_cast<std::uint8_t>(drawn), static_cast<std::uint8_t>(shown), 1};
    }
}

// Which rule made the cell's `encoded` changes (pixels whose index the cell
// does not show in its own colour), from the cell as the ranking saw it.
ChangeCause find_cause(const Stores& stores, const ResourceRecord& record, const Cell& cell,
                       bool sprite, bool above_fifteen, CellChange& change) {
    if (sprite && cell.top != cell.band_top) {
        change.top_y = cell.band_top;
        const CellRanking top = rank_cell_colours(stores.grid, cell.cx, cell.band_top);
        return top.a == 0 && top.b == 0 ? ChangeCause::EmptyTopCell : ChangeCause::TopCell;
    }
    if (above_fifteen) {
        return ChangeCause::AboveFifteen;
    }
    const CellRanking ranking = rank_cell_colours(stores.grid, cell.cx, cell.top);
    if (ranking.a == 0 && ranking.b == 0) {
        return ChangeCause::Carried;
    }
    // The colours the ranking saw: all 64 pixels, but a sprite's 0s are not
    // drawn at all. Black and bright black are one colour here.
    bool present[16] = {};
    for (int k = 0; k < 8; ++k) {
        const ColourIndex* column = stores.grid.column(cell.cx + k);
        for (int r = cell.top; r < cell.top + 8; ++r) {
            const ColourIndex c = column[r];
            if (c <= 15 && !(sprite && c == 0)) {
                present[display_class(c)] = true;
            }
        }
    }
    int count = 0;
    bool bright = false;
    bool dark = false;
    for (int c = 0; c < 16; ++c) {
        if (present[c]) {
            ++count;
            bright = bright || (c > 8);
            dark = dark || (c > 0 && c < 8);
        }
    }
    if (count > 2) {
        return ChangeCause::ManyColours;
    }
    if (ranking.b == 0 && present[0]) {
        const ColourIndex partner = partner_colour(ranking.a, record.default_colour);
        if (display_class(partner) != 0) {
            change.colour = ranking.a;
            change.partner = partner;
            return ChangeCause::Background;
        }
    }
    if (bright && dark) {
        return ChangeCause::BrightAndDark;
    }
    return ChangeCause::ManyColours;
}

// The changes of a cell that is kept: each colour as drawn and as shown,
// and the rule that made them.
// The ink and paper the encoder chose for the cell, as indices: the band's
// cells from the record's left edge, ranked and resolved again as encoding
// does. Only for the few cells described.
InkPaper encoded_ink_paper(const Stores& stores, const ResourceRecord& record, const Cell& cell) {
    InkPaper ink_paper{15, NO_COLOUR};
    for (std::int64_t x = record.x; x <= cell.cx; x += 8) {
        const CellRanking ranking =
            record.kind == RecordKind::WhiteSprite
                ? CellRanking{15, NO_COLOUR}
                : rank_cell_colours(stores.grid, static_cast<int>(x), cell.band_top);
        resolve_ink_paper(ranking, ink_paper, record.default_colour, record.kind);
    }
    return ink_paper;
}

void describe_cell(const Stores& stores, const ResourceRecord& record, const Cell& cell,
                   const DrawnColours& drawn, bool sprite, CellChange& change) {
    change = CellChange{};
    const InkPaper chosen = encoded_ink_paper(stores, record, cell);
    change.raw_ink = chosen.ink;
    change.raw_paper = chosen.paper;
    change.x = cell.cx;
    change.y = cell.top;
    change.ink = cell.ink == 8 ? 0 : cell.ink;
    change.paper = cell.paper == 8 ? 0 : cell.paper;
    bool encoded = false;
    bool palette = false;
    bool above_fifteen = false;
    for (int r = cell.top; r < cell.top + cell.rows; ++r) {
        for (int k = 0; k < cell.pixels; ++k) {
            if (sprite && !mask_bit(stores, cell, r, k)) {
                continue;
            }
            const std::uint8_t shown = ink_bit(stores, cell, r, k) ? cell.ink : cell.paper;
            const ColourIndex index = stores.grid.at(cell.cx + k, r);
            if (drawn.looks[index] == display_class(shown)) {
                continue;
            }
            note_change(change, index, display_class(shown));
            // Shown in the index's own colour: the encoding kept it, and only
            // the palette makes it another colour.
            if (index <= 15 && display_class(index) == display_class(shown)) {
                palette = true;
            } else {
                encoded = true;
                above_fifteen = above_fifteen || index > 15;
            }
        }
    }
    change.cause = encoded ? find_cause(stores, record, cell, sprite, above_fifteen, change)
                           : ChangeCause::Palette;
    change.palette_too = encoded && palette;
}

void keep_cell(const Stores& stores, const ResourceRecord& record, const Cell& cell,
               const DrawnColours& drawn, bool sprite, RecordPreview& preview) {
    if (preview.changed_cells < preview.cells_to_describe) {
        describe_cell(stores, record, cell, drawn, sprite, preview.cells[preview.changed_cells]);
    } else if (preview.changed_cells == CELLS_NOTED) {
        preview.first_unlisted_x = cell.cx;
        preview.first_unlisted_y = cell.top;
    }
    ++preview.changed_cells;
}

// Notes the indices drawn in a white sprite's changed cell: whether a pixel
// changes depends on its index alone (white_sprite_changes), so the
// indices are enough.
void note_white_indices(const Stores& stores, const Cell& cell, RecordPreview& preview) {
    for (int k = 0; k < cell.pixels; ++k) {
        const ColourIndex* column = stores.grid.column(cell.cx + k);
        for (int r = cell.top; r < cell.top + cell.rows; ++r) {
            preview.white_indices[column[r] >> 6] |= std::uint64_t{1} << (column[r] & 63);
        }
    }
}

// A white sprite's cell: whether it has a pixel in 15 (the ink, so a bit
// set), and the colours of its changed pixels.
void look_at_white_cell(const Stores& stores, const Cell& cell, int changed,
                        const DrawnColours& drawn, RecordPreview& preview) {
    const auto inside = static_cast<std::uint8_t>(0xFF00 >> cell.pixels);
    for (int r = cell.top; r < cell.top + cell.rows; ++r) {
        preview.white_has_15 =
            preview.white_has_15 || (stores.bitmap.bytes[cell.column][r] & inside) != 0;
    }
    if (changed == 0) {
        return;
    }
    if (preview.changed_cells == 0) {
        preview.first_white_x = cell.cx;
        preview.first_white_y = cell.top;
    }
    ++preview.changed_cells;
    note_white_indices(stores, cell, preview);
    if (drawn.looks[15] != 15) {
        for (int k = 0; k < cell.pixels; ++k) {
            const ColourIndex* column = stores.grid.column(cell.cx + k);
            for (int r = cell.top; r < cell.top + cell.rows; ++r) {
                preview.white_ink_changed += column[r] == 15 ? 1 : 0;
            }
        }
    }
}

// Whether a sprite's cell has a pixel that is not drawn: a mask bit 0.
bool has_transparent_pixel(const Stores& stores, const Cell& cell) {
    const auto inside = static_cast<std::uint8_t>(0xFF00 >> cell.pixels);
    for (int r = cell.top; r < cell.top + cell.rows; ++r) {
        if ((stores.mask.bytes[cell.column][r] & inside) != inside) {
            return true;
        }
    }
    return false;
}

// The ink and paper an attribute gives, 0-15.
void colours_of(std::uint8_t attribute, std::uint8_t& ink, std::uint8_t& paper) {
    const int bright = (attribute & 0x40) != 0 ? 8 : 0;
    ink = static_cast<std::uint8_t>((attribute & 7) | bright);
    paper = static_cast<std::uint8_t>((attribute >> 3 & 7) | bright);
}

template <bool Draw>
void look_at_cells(const Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                   std::int64_t row, const DrawnColours& drawn, int width, int height,
                   RecordPreview& preview, std::uint8_t* shown, std::uint8_t* marks) {
    const bool sprite = layout.body == BandBody::SpriteRows; // its mask shows through
    const bool white = record.kind == RecordKind::WhiteSprite;
    const std::int64_t row_end = std::min<std::int64_t>(row + layout.band_height, height);
    const std::int64_t columns = columns_drawn(layout);
    for (std::int64_t top = row; top < row_end; top += 8) {
        for (std::int64_t i = 0; i < columns && record.x + 8 * i < width; ++i) {
            Cell cell{};
            cell.cx = static_cast<int>(record.x + 8 * i);
            cell.column = cell.cx / 8;
            cell.top = static_cast<int>(top);
            cell.rows = static_cast<int>(std::min<std::int64_t>(8, row_end - top));
            cell.pixels = std::min(8, width - cell.cx);
            cell.band_top = static_cast<int>(row);
            colours_of(stores.attributes.bytes[cell.column], cell.ink, cell.paper);
            int changed = 0;
            if constexpr (Draw) {
                changed = -1;
                if (USE_FAST_FORMS && drawn.in_display_order && cell.top + 8 <= GRID_ROWS) {
                    changed = sprite ? draw_cell_words<true>(stores, cell, width, shown, marks)
                                     : draw_cell_words<false>(stores, cell, width, shown, marks);
                }
                if (changed < 0) {
                    changed =
                        sprite ? count_cell<true, true>(stores, cell, drawn, width, shown, marks)
                               : count_cell<true, false>(stores, cell, drawn, width, shown, marks);
                }
            } else {
                changed = sprite ? count_cell_only<true>(stores, cell, drawn)
                                 : count_cell_only<false>(stores, cell, drawn);
            }
            preview.changed_pixels += changed;
            if (sprite) {
                preview.any_cell = true;
                preview.any_transparent =
                    preview.any_transparent || has_transparent_pixel(stores, cell);
            }
            if (white) {
                look_at_white_cell(stores, cell, changed, drawn, preview);
            } else if (changed > 0) {
                keep_cell(stores, record, cell, drawn, sprite, preview);
            }
        }
    }
}

} // namespace

void learn_drawn_colours(DrawnColours& drawn, const PictureFacts& facts, const PictureGrid& grid) {
    for (int i = 0; i < 256; ++i) {
        drawn.looks[i] =
            facts.indexed
                ? static_cast<std::uint8_t>(nearest_display_colour(facts.palette[i]).index)
                : display_class(i);
    }
    drawn.holdable = facts.indexed && facts.bits_per_pixel < 4 ? 1 << facts.bits_per_pixel : 256;
    drawn.in_display_order = true;
    for (int i = 0; i < 16; ++i) {
        drawn.in_display_order = drawn.in_display_order && drawn.looks[i] == display_class(i);
    }
    // Which indices the picture uses, a column at a time, marked in tables
    // of this function's own: four, a pixel in each in turn, so that marks
    // of one index close together do not queue on one byte.
    const int rows = picture_rows(facts);
    bool seen[4][256] = {};
    for (int x = 0; x < facts.width; ++x) {
        const ColourIndex* column = grid.column(x);
        int y = 0;
        for (; y + 4 <= rows; y += 4) {
            seen[0][column[y]] = true;
            seen[1][column[y + 1]] = true;
            seen[2][column[y + 2]] = true;
            seen[3][column[y + 3]] = true;
        }
        for (; y < rows; ++y) {
            seen[0][column[y]] = true;
        }
    }
    for (int i = 0; i < 256; ++i) {
        drawn.used[i] = seen[0][i] || seen[1][i] || seen[2][i] || seen[3][i];
    }
}

std::int64_t columns_drawn(const RecordLayout& layout) {
    // The columns both encoded and written: a sprite writes width div 8 of
    // its cells, and at least one column even when it encoded none.
    return std::min(layout.cells_across, layout.columns_written);
}

void start_record_preview(RecordPreview& preview, int describe) {
    preview.cells_to_describe = describe < CELLS_NOTED ? describe : CELLS_NOTED;
    preview.changed_pixels = 0;
    preview.reaches_beyond_picture = false;
    preview.changed_cells = 0;
    preview.first_unlisted_x = 0;
    preview.first_unlisted_y = 0;
    preview.white_has_15 = false;
    preview.first_white_x = 0;
    preview.first_white_y = 0;
    std::memset(preview.white_indices, 0, sizeof preview.white_indices);
    preview.white_ink_changed = 0;
    preview.any_cell = false;
    preview.any_transparent = false;
}

void look_at_band(const Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                  std::int64_t row, const DrawnColours& drawn, int width, int height,
                  RecordPreview& preview, std::uint8_t* shown, std::uint8_t* marks) {
    if (shown != nullptr) {
        look_at_cells<true>(stores, record, layout, row, drawn, width, height, preview, shown,
                            marks);
    } else {
        look_at_cells<false>(stores, record, layout, row, drawn, width, height, preview, nullptr,
                             nullptr);
    }
}

void draw_band_shown(const Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                     std::int64_t row, int width, int height, std::uint8_t* shown) {
    const bool sprite = layout.body == BandBody::SpriteRows; // its mask shows through
    const std::int64_t row_end = std::min<std::int64_t>(row + layout.band_height, height);
    const std::int64_t columns = columns_drawn(layout);
    for (std::int64_t i = 0; i < columns && record.x + 8 * i < width; ++i) {
        const auto cx = static_cast<int>(record.x + 8 * i);
        const int column = cx / 8;
        const int pixels = std::min(8, width - cx);
        std::uint8_t ink = 0;
        std::uint8_t paper = 0;
        colours_of(stores.attributes.bytes[column], ink, paper);
        for (std::int64_t y = row; y < row_end; ++y) {
            const std::uint8_t bits = stores.bitmap.bytes[column][y];
            const std::uint8_t drawn = sprite ? stores.mask.bytes[column][y] : 0xFF;
            std::uint8_t* const out = shown + y * width + cx;
            for (int k = 0; k < pixels; ++k) {
                const unsigned bit = 0x80u >> k;
                out[k] = (drawn & bit) == 0 ? SHOWN_TRANSPARENT : (bits & bit) != 0 ? ink : paper;
            }
        }
    }
}

} // namespace kelvora
