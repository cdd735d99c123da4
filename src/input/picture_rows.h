// Pieces the BMP and PNG parts of the picture reader share: the size rule,
// refusals, and storing rows of colour indices into the column-major grid.
#pragma once

#include <cstdint>

#include "input/picture.h"

namespace kelvora::picture_detail {

// A refusal whose reason is printf-formatted.
PictureVerdict refuse(const char* format, ...) __attribute__((format(printf, 1, 2)));

inline PictureVerdict taken() {
    return PictureVerdict{true, {}};
}

// Width and height must be multiples of 8 from 8 to 1024; the verdict says
// which one is not. A negative height is checked by its size.
PictureVerdict check_size(std::int64_t width, std::int64_t height);

// Sets every grid position of a width x height picture to 0.
void clear_area(PictureGrid& grid, int width, int height);

// Rows of colour indices arrive one at a time, bottom-up or top-down; each
// aligned group of eight is stored into the grid at once, turned into
// eight-byte pieces of the grid's columns, instead of byte by byte across
// 1 KiB strides. The rows are the scratch's.
struct RowSink {
    PictureGrid* grid;
    int width;
    bool bottom_up;
    std::uint8_t (*rows)[GRID_SIZE];
};

inline std::uint8_t* row_for(RowSink& sink, int y) {
    return sink.rows[y & 7];
}

// Call once row y is filled; stores its group when it is the group's last.
void finish_row(RowSink& sink, int y);

// Writes the 8 x 8 block of pixels at columns x..x+7 of the eight rows as
// eight column pieces of 8 bytes, one per pixel column, COLUMN_STRIDE apart:
// byte by byte in the plain form, as eight words swapped in three rounds in
// the fast one.
void store_transposed(const std::uint8_t (*rows)[GRID_SIZE], std::size_t x,
                      std::uint8_t* destination);
void store_transposed_plain(const std::uint8_t (*rows)[GRID_SIZE], std::size_t x,
                            std::uint8_t* destination);
void store_transposed_words(const std::uint8_t (*rows)[GRID_SIZE], std::size_t x,
                            std::uint8_t* destination);

// A BMP, once the scratch's head holds its first bytes.
PictureVerdict read_bmp(ByteReader& in, PictureScratch& scratch, PictureGrid& grid,
                        PictureFacts& facts, Rgb* colours);

} // namespace kelvora::picture_detail
