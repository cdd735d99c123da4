// The process-wide working stores of a conversion run: the picture grid, the
// two bit planes, the attribute row and the ink/paper state carried along a
// band. The program owns one zeroed Stores for its whole run and never clears
// it, so each record overwrites only the cells it touches; tests start from a
// fresh zeroed set.
#pragma once

#include <cstdint>

namespace kelvora {

// A picture colour: bits 0-2 hue, bit 3 bright. 8-bit pictures may carry
// values above 15; those are stored but never ranked.
using ColourIndex = std::uint8_t;

// Means "no colour" in the ink/paper state; turned into 0 before it reaches
// an attribute byte.
inline constexpr ColourIndex NO_COLOUR = 8;

inline constexpr int GRID_SIZE = 1024;   // pixels in each direction
inline constexpr int CELL_COLUMNS = 128; // GRID_SIZE / 8
inline constexpr int GRID_ROWS = GRID_SIZE;

// Bytes from one grid column to the next: a column and one cache line. With
// columns exactly 1 KiB apart, the eight columns of a cell and the columns a
// row of the picture is stored into would all fall into the same few sets of
// the processor's first-level cache and push each other out.
inline constexpr int COLUMN_STRIDE = GRID_SIZE + 64;

// Column-major: (x, y) lives at x * COLUMN_STRIDE + y, y = 0 at the top.
// Keeping a column contiguous lets a cell's eight rows of one pixel column be
// read at once. The bytes between columns are never used.
struct PictureGrid {
    ColourIndex pixels[GRID_SIZE * COLUMN_STRIDE];

    ColourIndex at(int x, int y) const { return pixels[x * COLUMN_STRIDE + y]; }
    ColourIndex& at(int x, int y) { return pixels[x * COLUMN_STRIDE + y]; }
    const ColourIndex* column(int x) const { return &pixels[x * COLUMN_STRIDE]; }
    ColourIndex* column(int x) { return &pixels[x * COLUMN_STRIDE]; }
};

// One byte per 8 pixels of one cell column in one pixel row; bit 7 is the
// leftmost pixel.
struct BitPlane {
    std::uint8_t bytes[CELL_COLUMNS][GRID_ROWS];
};
using BitmapPlane = BitPlane;
using MaskPlane = BitPlane;

// Attribute bytes of the band most recently encoded, one per cell column.
struct AttributeRow {
    std::uint8_t bytes[CELL_COLUMNS];
};

// Ink and paper carried from cell to cell within a band.
struct InkPaper {
    ColourIndex ink;
    ColourIndex paper;
};

// The two colours a cell is drawn with; 0 also means none.
struct CellRanking {
    ColourIndex a;
    ColourIndex b;
};

struct Stores {
    PictureGrid grid;
    BitmapPlane bitmap;
    MaskPlane mask;
    AttributeRow attributes;
    InkPaper ink_paper;
};

} // namespace kelvora
