// What a sheet holds, described once for every form that writes it: the
// sheet's start, then for each record its place (a gap to the next page for
// one that must start on a page), its label, its size bytes and its bands'
// body lines and closing fills, then the sheet's end. Offsets count bytes
// from the sheet's start, which a game puts on a page, as an assembler at
// origin 0 would. Each output of a run renders every part in its own form
// (see output_forms.h); none of them looks at a kind or a layout rule, and
// what a body line holds is said once, by for_each_body_line.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "model/forms.h"
#include "model/resource_record.h"
#include "model/stores.h"
#include "output/asm_syntax.h"
#include "output/output_buffer.h"

namespace kelvora {

enum class SheetPartKind : std::uint8_t {
    Start,
    Record, // a record: its place, label, size bytes, and each band's lines and fill
    End,
};

// The attribute rows a record's bands leave: a cell band's attributes live
// in the stores only until the next band is encoded.
inline constexpr int MAX_RECORD_ATTRIBUTES = (GRID_ROWS / 8) * CELL_COLUMNS;

struct SheetPart {
    SheetPartKind kind;
    // Record: the record and its layout.
    const ResourceRecord* record;
    const RecordLayout* layout;
    // Record: whether the label is a C name, where some output asks (else
    // true).
    bool c_name;
    // Where the part starts, and for a record, the bytes skipped from there
    // to reach the page it must start on (its label is at offset + gap) and
    // the bytes from its label on: size bytes, bands and fills. Worked out
    // only where some output needs them (else 0).
    std::uint64_t offset;
    std::uint64_t gap;
    std::uint64_t bytes;
    // Record: the stores once every band is encoded, whose planes hold each
    // band's rows and whose attribute row is the last band's, and each
    // earlier band's attribute row, CELL_COLUMNS bytes a band.
    const Stores* stores;
    const std::uint8_t* attributes;
    // End: whether a record had to start on a page.
    bool holds_page_aligned;
};

// The longest body line: a sprite row of every cell column.
inline constexpr int MAX_LINE_BYTES = 2 * CELL_COLUMNS;

// Sixteen rows' mask and data pairs of one cell column, from its mask and
// bitmap bytes, each into its row's line at `at`.
inline void put_sixteen_pairs(const std::uint8_t* mask, const std::uint8_t* bits,
                              std::uint8_t (*rows)[MAX_LINE_BYTES], int at) {
#if defined(__SSE2__)
    const __m128i m = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mask));
    const __m128i d = _mm_xor_si128(m, _mm_loadu_si128(reinterpret_cast<const __m128i*>(bits)));
    alignas(16) std::uint8_t pairs[32];
    _mm_store_si128(reinterpret_cast<__m128i*>(pairs), _mm_unpacklo_epi8(m, d));
    _mm_store_si128(reinterpret_cast<__m128i*>(pairs + 16), _mm_unpackhi_epi8(m, d));
    for (int r = 0; r < 16; ++r) {
        std::memcpy(&rows[r][at], pairs + 2 * r, 2);
    }
#else
    for (int r = 0; r < 16; ++r) {
        rows[r][at] = mask[r];
        rows[r][at + 1] = static_cast<std::uint8_t>(mask[r] ^ bits[r]);
    }
#endif
}

// The sprite rows of more than one cell column, sixteen rows at a time: the
// stores keep a column's rows side by side, so each column's pairs are made
// for sixteen rows at once (the fast form) and then spread over the rows'
// lines. Kept out of line: a wide sprite has many rows, and the narrow
// shapes, far more common, stay small where they are compiled in.
template <typename Line>
[[gnu::noinline]] void for_each_wide_sprite_line(const Stores& stores, int first_column, int top,
                                                 int lines, int columns, Line line) {
    alignas(16) std::uint8_t rows[16][MAX_LINE_BYTES];
    for (int from = top; from < top + lines; from += 16) {
        const int count = top + lines - from < 16 ? top + lines - from : 16;
        for (int c = 0; c < columns; ++c) {
            const std::uint8_t* const mask = &stores.mask.bytes[first_column + c][from];
            const std::uint8_t* const bits = &stores.bitmap.bytes[first_column + c][from];
            if (USE_FAST_FORMS && count == 16) {
                put_sixteen_pairs(mask, bits, rows, 2 * c);
                continue;
            }
            for (int r = 0; r < count; ++r) {
                rows[r][2 * c] = mask[r];
                rows[r][2 * c + 1] = static_cast<std::uint8_t>(mask[r] ^ bits[r]);
            }
        }
        for (int r = 0; r < count; ++r) {
            line(rows[r], 2 * columns);
        }
    }
}

// A count of bytes known when the code is compiled, for the lines whose
// length is fixed, so that a form can unroll what it does per byte.
template <int N> using FixedCount = std::integral_constant<int, N>;

// Calls line(bytes, count) for each body line of band `band` of a record
// part, top to bottom (`count` is a FixedCount where the shape fixes it, an
// int elsewhere): for cell lines, each cell's eight bitmap rows from
// the band's top, then its attribute; for sprite rows, each row's mask and
// data (the mask XOR the bitmap) for each cell column. Every band's body
// shows the cell columns from x div 8 on; even a sprite narrower than 8
// pixels (0 included) shows column x div 8 in every row, whatever the stores
// hold there. Deliberate: outputs that builds already depend on stay byte for
// byte as they were.
// Compiled into each caller, where the line's bytes can stay in registers.
template <typename Line>
[[gnu::always_inline]] inline void for_each_body_line(const SheetPart& part, std::int64_t band,
                                                      Line line) {
    const RecordLayout& layout = *part.layout;
    const Stores& stores = *part.stores;
    // x div 8 as a shift: a record with body lines lies inside the grid, so
    // its x is not negative.
    const auto first_column = static_cast<int>(part.record->x >> 3);
    const auto top = static_cast<int>(part.record->y + band * layout.band_height);
    const auto lines = static_cast<int>(layout.lines_per_band);
    switch (layout.body) {
    case BandBody::CellLines: {
        // The last band's attributes are still in the stores.
        const std::uint8_t* const attributes =
            (band + 1 == layout.bands ? stores.attributes.bytes
                                      : part.attributes + band * CELL_COLUMNS) +
            first_column;
        for (int i = 0; i < lines; ++i) {
            std::uint8_t bytes[CELL_LINE_BYTES];
            std::memcpy(bytes, &stores.bitmap.bytes[first_column + i][top], 8);
            bytes[8] = attributes[i];
            line(bytes, FixedCount<CELL_LINE_BYTES>{});
        }
        break;
    }
    case BandBody::SpriteRows: {
        const auto columns = static_cast<int>(layout.columns_written);
        if (columns == 1) {
            const std::uint8_t* const mask = &stores.mask.bytes[first_column][top];
            const std::uint8_t* const bits = &stores.bitmap.bytes[first_column][top];
            for (int r = 0; r < lines; ++r) {
                const std::uint8_t pair[2] = {mask[r],
                                              static_cast<std::uint8_t>(mask[r] ^ bits[r])};
                line(pair, FixedCount<2>{});
            }
            break;
        }
        for_each_wide_sprite_line(stores, first_column, top, lines, columns, line);
        break;
    }
    }
}

// The other way: puts body line `index` of band `band` of a record that is
// not outside the grid back into the stores, where for_each_body_line takes
// it from: a cell line's eight bitmap rows and its attribute (into the
// attribute row, which holds one band's at a time), or a sprite row's mask
// and, from its data, the bitmap (the data XOR the mask) for each cell
// column. `bytes` holds the line's layout.bytes_per_line bytes.
inline void store_body_line(Stores& stores, const ResourceRecord& record,
                            const RecordLayout& layout, std::int64_t band, std::int64_t index,
                            const std::uint8_t* bytes) {
    const auto first_column = static_cast<int>(record.x >> 3);
    const auto top = static_cast<int>(record.y + band * layout.band_height);
    switch (layout.body) {
    case BandBody::CellLines: {
        const int column = first_column + static_cast<int>(index);
        std::memcpy(&stores.bitmap.bytes[column][top], bytes, 8);
        stores.attributes.bytes[column] = bytes[8];
        break;
    }
    case BandBody::SpriteRows: {
        const int y = top + static_cast<int>(index);
        for (int c = 0; c < layout.columns_written; ++c) {
            stores.mask.bytes[first_column + c][y] = bytes[2 * c];
            stores.bitmap.bytes[first_column + c][y] =
                static_cast<std::uint8_t>(bytes[2 * c] ^ bytes[2 * c + 1]);
        }
        break;
    }
    }
}

struct OutputForm;

// One output of a run: the form it is written in, the syntax its text is
// spelled in, and the buffer its bytes go through.
struct FormOutput {
    const OutputForm* form;
    const AsmSyntax* syntax;
    const char* path;      // as named on the command line
    const char* companion; // the output this one goes with, if it is a second one
    // The spellings that start or end many lines, padded for fixed-size
    // copies.
    bool global_lines; // the syntax makes a label global with a line of its own
    PaddedText label_prefix;
    PaddedText label_end; // the line feed included
    PaddedText local_label_end;
    PaddedText byte_lead;
    PaddedText fill_lead;
    // What the symbols form keeps of the first label written, which every
    // other label is given relative to.
    bool has_first;
    bool first_global;
    std::uint8_t first_length;
    char first_label[TOKEN_BUFFER_SIZE];
    std::uint64_t first_offset;
    OutputBuffer buffer;
};

// Readies an output of the given form and syntax, written to `fd`.
void start_form_output(FormOutput& output, const OutputForm& form, const AsmSyntax& syntax, int fd,
                       const char* path);

inline constexpr int MAX_SHEET_OUTPUTS = 2;

struct SheetWriter {
    FormOutput* outputs[MAX_SHEET_OUTPUTS];
    int output_count;
    bool asks_c_names; // some output names records as C names
    bool needs_places; // some output writes where records land, or their sizes
    std::uint64_t offset;
    bool holds_page_aligned;
    std::uint8_t attributes[MAX_RECORD_ATTRIBUTES]; // the record at hand's
};

// Starts describing a sheet to the outputs given (one or two).
void start_sheet(SheetWriter& sheet, FormOutput* const* outputs, int count);

// Keeps the attribute row of the record at hand's band'th band, just encoded
// into the stores, before the next band takes its place: the whole row, in
// one fixed-size copy. The last band's row stays in the stores.
inline void keep_attributes(SheetWriter& sheet, const Stores& stores, const RecordLayout& layout,
                            std::int64_t band) {
    if (layout.body == BandBody::CellLines && band + 1 < layout.bands) {
        std::memcpy(sheet.attributes + band * CELL_COLUMNS, stores.attributes.bytes, CELL_COLUMNS);
    }
}

// Describes the record whose bands are encoded; false when its label is no C
// name while some output asks for one (its bytes are described all the same).
bool describe_record(SheetWriter& sheet, const Stores& stores, const ResourceRecord& record,
                     const RecordLayout& layout);

// Ends the sheet and flushes every output's buffer.
void end_sheet(SheetWriter& sheet);

} // namespace kelvora
