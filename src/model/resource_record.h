// One rectangle of the resource list, and everything that follows from its
// kind and sizes: which layout it gets and how many cells, bands, rows and
// lines that layout makes. Every part of the program asks here; nothing else
// looks at a kind letter or works out a record's size.
#pragma once

#include <array>
#include <cstdint>

namespace kelvora {

inline constexpr int TOKEN_BUFFER_SIZE = 80; // 79 characters and a NUL
inline constexpr int TOKEN_MAX_LENGTH = TOKEN_BUFFER_SIZE - 1;

enum class RecordKind : std::uint8_t {
    Block,       // "B": 8-row bands of cells, each cell with its attribute
    TileTable,   // "T": as a block, each band filled to the next 256-byte page
    Sprite,      // any other character: one band of the whole height, mask and data
    WhiteSprite, // "s": a sprite drawn white on black whatever its colours
};

namespace record_detail {
constexpr std::array<RecordKind, 256> make_kinds() {
    std::array<RecordKind, 256> kinds{};
    kinds.fill(RecordKind::Sprite);
    kinds['B'] = RecordKind::Block;
    kinds['T'] = RecordKind::TileTable;
    kinds['s'] = RecordKind::WhiteSprite;
    return kinds;
}
inline constexpr std::array<RecordKind, 256> KINDS = make_kinds();
} // namespace record_detail

// Only the first character of the kind token counts, case-sensitive: "B", "T"
// and "s" are their kinds, anything else is a sprite. (A table, not a
// switch: lists mix kinds, so a branch on them would often guess wrong.)
constexpr RecordKind kind_of(char kind_char) {
    return record_detail::KINDS[static_cast<unsigned char>(kind_char)];
}

// Whether the character is one of the four letters a list is meant to use
// for a kind; any other still makes a sprite, which the checker points out.
constexpr bool is_kind_letter(char kind_char) {
    return kind_char == 'B' || kind_char == 'T' || kind_char == 'S' || kind_char == 's';
}

// The kind in words, as messages name it.
constexpr const char* kind_name(RecordKind kind) {
    switch (kind) {
    case RecordKind::Block:
        return "block";
    case RecordKind::TileTable:
        return "tile table";
    case RecordKind::WhiteSprite:
        return "white sprite";
    case RecordKind::Sprite:
        break;
    }
    return "sprite";
}

struct ResourceRecord {
    char name[TOKEN_BUFFER_SIZE]; // NUL-terminated; may hold an earlier NUL
    std::uint8_t label_length;    // the name up to its first NUL: what is written
    char kind_char;               // first character of the kind token, NUL if empty
    RecordKind kind;              // decided from kind_char when the record is read
    std::int32_t x;
    std::int32_t y;
    std::int32_t width;
    std::int32_t height;
    std::uint8_t default_colour;
};

// How the body of a band is written.
enum class BandBody : std::uint8_t {
    // A line per cell, left to right: its eight bitmap bytes, top row first,
    // then its attribute.
    CellLines,
    // A line per pixel row, top to bottom: for each cell column a mask byte,
    // then a data byte (the mask XOR the bitmap).
    SpriteRows,
};

// Everything a kind writes, as data: one row per kind in KIND_LAYOUTS.
struct KindLayout {
    bool page_aligned;    // an alignment line before the label puts it on a 256-byte page
    bool size_bytes;      // the label is followed by two size bytes: width in cells, height
    bool height_in_cells; // the height byte counts cells (height >> 3), else rows
    bool cell_bands;      // bands of 8 rows; else one band of the record's whole height
    BandBody body;
    bool page_fill; // each band ends with a fill to the next 256-byte page
};

inline constexpr KindLayout KIND_LAYOUTS[] = {
    /* Block */ {false, true, true, true, BandBody::CellLines, false},
    /* TileTable */ {true, false, false, true, BandBody::CellLines, true},
    /* Sprite */ {false, true, false, false, BandBody::SpriteRows, false},
    /* WhiteSprite */ {false, true, false, false, BandBody::SpriteRows, false},
};

static_assert(static_cast<int>(RecordKind::Block) == 0 &&
              static_cast<int>(RecordKind::TileTable) == 1 &&
              static_cast<int>(RecordKind::Sprite) == 2 &&
              static_cast<int>(RecordKind::WhiteSprite) == 3);

constexpr const KindLayout& kind_layout(RecordKind kind) {
    return KIND_LAYOUTS[static_cast<int>(kind)];
}

// Blocks and tile tables are cut into 8-row bands of cells with attributes.
constexpr bool is_banded(RecordKind kind) {
    return kind_layout(kind).cell_bands;
}

inline constexpr int CELL_LINE_BYTES = 9; // eight bitmap bytes and the attribute
inline constexpr int PAGE_BYTES = 256;

// What one record writes and encodes, worked out in 64-bit arithmetic from
// the raw signed fields, so no sum of them can overflow. The writer, the
// record conversion, the preview, the checker and the fuzz targets all take
// a record's sizes and lines from here.
struct RecordLayout {
    // The header: an alignment line (page_aligned), the label, then
    // size_byte_count (0 or 2) byte lines with size_bytes. Sizes are arithmetic shifts
    // of the signed fields and only their low 8 bits show; a sprite's height
    // is in rows, modulo 256.
    bool page_aligned;
    int size_byte_count;
    std::uint8_t size_bytes[2];

    BandBody body;
    // Cells encoded in each band, at x, x + 8, ... while below x + width:
    // ceil(width / 8), or 0 for a width of 0 or below. Cell i is stored and
    // written under cell column x div 8 + i.
    std::int64_t cells_across;
    std::int64_t band_height; // 8 for cell bands, the height for a sprite
    std::int64_t bands;       // ceil(height / 8) for cell bands, 1 for a sprite;
                              // 0 when the height is 0 or below
    std::int64_t rows;        // rows the bands cover from y down: bands * band_height
    // Rows of the grid that encoding reads from y down: the bands' rows, and
    // for a sprite shorter than 8 rows the whole top cell its ranking looks
    // at. 0 when no cell is encoded.
    std::int64_t rows_read;
    // Cell columns each body line shows, from x div 8: the cells of a cell
    // band; for sprite rows width div 8, but at least one, whatever the
    // stores hold there (a width below 8 still shows column x div 8).
    std::int64_t columns_written;
    std::int64_t lines_per_band; // body lines of a band: cell lines, or sprite rows
    std::int64_t bytes_per_line; // bytes each body line holds
    // A band's closing fill (page_fill): the bytes that complete a band of
    // cell lines to the next page, counted by the header's width in cells
    // (width >> 3), so a width that is no multiple of 8 misses the page.
    bool page_fill;
    std::uint8_t fill_bytes;
};

// A shift, not a division: the pixels are positive where it counts, and
// this runs for every record.
constexpr std::int64_t cells_for(std::int64_t pixels) {
    return pixels > 0 ? (pixels + 7) >> 3 : 0;
}

constexpr RecordLayout record_layout(const ResourceRecord& record) {
    // Every field is set on every path, rather than the whole struct zeroed
    // first: this runs once a record, and lists hold many small records.
    const KindLayout& kind = kind_layout(record.kind);
    const std::int64_t width = record.width;
    const std::int64_t height = record.height;
    RecordLayout layout;
    layout.page_aligned = kind.page_aligned;
    layout.size_byte_count = kind.size_bytes ? 2 : 0;
    layout.size_bytes[0] = static_cast<std::uint8_t>(record.width >> 3);
    layout.size_bytes[1] =
        static_cast<std::uint8_t>(kind.height_in_cells ? record.height >> 3 : record.height);
    layout.body = kind.body;
    layout.cells_across = cells_for(width);
    layout.band_height = kind.cell_bands ? 8 : height;
    layout.bands = kind.cell_bands ? cells_for(height) : (height > 0 ? 1 : 0);
    layout.rows = layout.bands * layout.band_height;
    layout.rows_read =
        layout.cells_across > 0 && layout.bands > 0 ? (layout.rows > 8 ? layout.rows : 8) : 0;
    const bool cell_lines = kind.body == BandBody::CellLines;
    layout.columns_written = cell_lines ? layout.cells_across : (width >= 8 ? width >> 3 : 1);
    layout.lines_per_band = cell_lines ? layout.cells_across : layout.band_height;
    layout.bytes_per_line = cell_lines ? CELL_LINE_BYTES : 2 * layout.columns_written;
    layout.page_fill = kind.page_fill;
    layout.fill_bytes = static_cast<std::uint8_t>(-CELL_LINE_BYTES * ((record.width >> 3) & 255));
    return layout;
}

} // namespace kelvora
