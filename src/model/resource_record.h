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

// Blocks and tile tables are cut into 8-row bands of cells with attributes.
constexpr bool is_banded(RecordKind kind) {
    return kind == RecordKind::Block || kind == RecordKind::TileTable;
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

// What a record encodes and writes, worked out in 64-bit arithmetic from the
// raw signed fields, so no sum of them can overflow.
struct RecordShape {
    // Cells encoded in each band, at x, x + 8, ... while below x + width:
    // ceil(width / 8), or 0 for a width of 0 or below. Cell i is stored and
    // written under cell column x div 8 + i.
    std::int64_t cells_across;
    std::int64_t band_height; // 8 for blocks and tile tables, the height for sprites
    std::int64_t bands;       // ceil(height / 8) for blocks and tile tables, 1 for a
                              // sprite; 0 when the height is 0 or below
    std::int64_t rows;        // rows the bands cover from y down: bands * band_height
    // Rows of the grid that encoding reads from y down: the bands' rows, and
    // for a sprite shorter than 8 rows the whole top cell its ranking looks
    // at. 0 when no cell is encoded.
    std::int64_t rows_read;
    // Cell columns a sprite writes on each row, from x div 8: width div 8,
    // but at least one, whatever the stores hold there.
    std::int64_t sprite_columns;
    std::int64_t header_lines;   // label and size lines
    std::int64_t lines_per_band; // cell lines (and the fill line), or sprite rows
};

constexpr std::int64_t cells_for(std::int64_t pixels) {
    return pixels > 0 ? (pixels + 7) / 8 : 0;
}

constexpr RecordShape record_shape(const ResourceRecord& record) {
    const std::int64_t width = record.width;
    const std::int64_t height = record.height;
    RecordShape shape{};
    shape.cells_across = cells_for(width);
    shape.sprite_columns = width / 8 > 0 ? width / 8 : 1;
    if (is_banded(record.kind)) {
        shape.band_height = 8;
        shape.bands = cells_for(height);
        shape.header_lines = record.kind == RecordKind::Block ? 3 : 2;
        shape.lines_per_band = shape.cells_across + (record.kind == RecordKind::TileTable ? 1 : 0);
    } else {
        shape.band_height = height;
        shape.bands = height > 0 ? 1 : 0;
        shape.header_lines = 3;
        shape.lines_per_band = height;
    }
    shape.rows = shape.bands * shape.band_height;
    if (shape.cells_across > 0 && shape.bands > 0) {
        shape.rows_read = shape.rows > 8 ? shape.rows : 8;
    }
    return shape;
}

} // namespace kelvora
