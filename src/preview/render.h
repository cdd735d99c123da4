// The preview's two panels, one entry per picture pixel: the picture as
// drawn, and what the display shows once each record has been encoded. The
// right panel is drawn from the encoded bitmap, mask and attribute bytes,
// never from the picture.
#pragma once

#include <cstdint>

#include "cells/stores.h"
#include "input/picture.h"
#include "input/resource_record.h"

namespace kelvora {

// Per-pixel marks of the right panel.
enum PreviewMark : std::uint8_t {
    MARK_CHANGED = 1, // shown in another colour than drawn
    FRAME_TOP = 2,    // the pixel lies on that edge of a record's frame
    FRAME_BOTTOM = 4,
    FRAME_LEFT = 8,
    FRAME_RIGHT = 16,
};

// Colours the preview adds to the picture's own.
inline constexpr Rgb CHECKER_LIGHT{0x9C, 0x9C, 0x9C}; // a sprite's transparent pixels
inline constexpr Rgb CHECKER_DARK{0x5C, 0x5C, 0x5C};

// Outside every record the picture is dimmed to this share of its brightness.
inline constexpr int DIM_NUMERATOR = 1;
inline constexpr int DIM_DENOMINATOR = 3;

struct PreviewImage {
    int width; // the picture's size; both panels have it
    int height;
    Rgb palette[256];
    bool index_used[256]; // palette indices either panel shows
    // Row-major, y * GRID_SIZE + x.
    Rgb drawn[GRID_SIZE * GRID_SIZE];
    Rgb shown[GRID_SIZE * GRID_SIZE];
    std::uint8_t marks[GRID_SIZE * GRID_SIZE];
};

// What one record's preview found.
struct RecordPreview {
    std::int64_t changed_pixels;
    bool reaches_beyond_picture; // part of what was encoded lies outside the picture
};

Rgb dimmed(Rgb colour);
Rgb checker_colour(int x, int y);

// Fills the left panel with the picture's own colours (its palette's, or
// for a picture that is not indexed, those the reader left in `drawn`) and
// the right panel with the dimmed picture.
void start_preview(PreviewImage& image, const PictureGrid& grid, const PictureFacts& facts);

// Encodes the record with the converter's own encoding and draws every band
// into the right panel as it is encoded. The caller has checked that the
// record is not outside the grid.
RecordPreview preview_record(PreviewImage& image, Stores& stores, const ResourceRecord& record);

} // namespace kelvora
