// The picture reader: the only code that knows the layout of a picture file.
// It takes BMPs (1, 2, 4 or 8 bits a pixel, uncompressed or run-length
// compressed, or 24 or 32 bits drawn in the display's colours) and PNGs
// (indexed, grey or colour), fills the picture grid with colour indices and
// tells what it found in the file; when it does not take a picture, it says
// why in words that tell the user what to do.
#pragma once

#include <cstddef>
#include <cstdint>

#include "input/byte_reader.h"
#include "model/display_colours.h"
#include "model/stores.h"

namespace kelvora {

enum class PictureFormat : std::uint8_t { Bmp, Png };

// What the file says about itself, as far as it was read.
struct PictureFacts {
    PictureFormat format;
    bool signature_is_bm; // a BMP's first two bytes; they are not checked
    std::uint32_t pixel_offset;
    std::uint32_t info_size;
    std::int32_t width;           // as stored, fields cut short by the end of the file included
    std::int32_t height;          // as stored: negative for a BMP stored top row first
    std::uint16_t bits_per_pixel; // a BMP's depth; a PNG's bits per channel times channels
    std::uint32_t compression;
    // True when the file's palette indices are the colours; false when each
    // pixel's colour was matched to the display's (truecolour and grey).
    bool indexed;
    int palette_entries; // entries the file holds, at most 256
    // The file's palette; entries past palette_entries hold the display's
    // colours for indices 0-15 and black above.
    Rgb palette[256];
    std::uint64_t bytes_missing; // bytes an uncompressed file lacks for its pixels
};

// The picture's height in rows, whichever way its rows are stored.
inline int picture_rows(const PictureFacts& facts) {
    return facts.height < 0 ? -facts.height : facts.height;
}

inline constexpr int PICTURE_REASON_SIZE = 400;

struct PictureVerdict {
    bool taken;
    char reason[PICTURE_REASON_SIZE]; // why not, and what to do
    // Refused, and its first bytes are neither a BMP's nor a PNG's: the
    // reason names what the file seems to be instead.
    bool no_picture = false;
};

// The picture reader's working memory, kept in the run's memory so that the
// reader holds nothing of its own between calls: the file's first bytes,
// eight rows on their way into the grid, one row as the file stores it, and
// a PNG's decoded picture. That last, largest part comes last: only a PNG
// touches it, so a run over a BMP never pays for its pages.
inline constexpr std::size_t PICTURE_HEAD_BYTES = 4096;

struct PictureScratch {
    // A BMP's header fields and a 256-entry palette behind the largest info
    // header in use.
    std::uint8_t head[PICTURE_HEAD_BYTES];
    std::size_t head_length; // bytes kept, fewer when the file is shorter
    std::uint8_t rows[8][GRID_SIZE];
    std::uint8_t raw_row[GRID_SIZE * 4];
    std::uint8_t* png_rows[GRID_SIZE];
    // Interlaced PNGs are put together over several passes, so the whole
    // picture is held: one index a pixel, or red, green, blue and alpha.
    std::uint8_t png_pixels[GRID_SIZE * GRID_SIZE * 4];
};

// Reads the picture in sequence and, when it is taken, stores its pixels in
// the grid; positions beyond the picture keep what they hold. A picture
// refused by its header stores nothing; one refused part-way through its
// pixels (a truecolour pixel that is no display colour) leaves its area 0.
// When `colours` is given (GRID_SIZE entries a row), a picture that is not
// indexed leaves each pixel's colour as drawn there, before matching.
PictureVerdict read_picture(ByteReader& in, PictureScratch& scratch, PictureGrid& grid,
                            PictureFacts& facts, Rgb* colours = nullptr);

// For a picture refused as no picture at all: when the list's first bytes
// are a BMP's or a PNG's, the two names were likely given the wrong way
// round, and the reason says so; returns whether it does.
bool hint_swapped_names(PictureVerdict& verdict, const char* list_path);

} // namespace kelvora
