// The picture reader: the only code that knows the layout of a picture file.
// It fills the picture grid with colour indices and tells what it found in
// the file; when it does not take a picture, it says why.
#pragma once

#include <cstdint>

#include "cells/stores.h"
#include "input/byte_reader.h"

namespace kelvora {

struct Rgb {
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
    bool operator==(const Rgb&) const = default;
};

// What the file says about itself, as far as it was read.
struct PictureFacts {
    bool signature_is_bm;
    std::uint32_t pixel_offset;
    std::uint32_t info_size;
    std::int32_t width; // as read, fields cut short by the end of the file included
    std::int32_t height;
    std::uint16_t bits_per_pixel; // the whole field; only its low byte selects the decoding
    std::uint32_t compression;
    int palette_entries; // entries the file holds, at most 256
    // The file's palette; entries past palette_entries hold the display's
    // standard colours for indices 0-15 and black above.
    Rgb palette[256];
    std::uint64_t bytes_missing; // bytes the file lacks for its pixels
};

inline constexpr int PICTURE_REASON_SIZE = 200;

struct PictureVerdict {
    bool taken;
    char reason[PICTURE_REASON_SIZE]; // why not, in a few plain words
};

// Reads the picture in sequence and, when it is taken, stores its pixels in
// the grid (positions beyond the picture keep what they hold). A picture
// that is not taken stores nothing.
PictureVerdict read_picture(ByteReader& in, PictureGrid& grid, PictureFacts& facts);

} // namespace kelvora
