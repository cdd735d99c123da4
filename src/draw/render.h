// The preview's two panels, one entry per picture pixel, row by row at the
// picture's own width: the picture as drawn, in its own colours, and what
// the display shows once each record has been encoded, in the display's
// colours. The right panel is drawn from the encoded bitmap, mask and
// attribute bytes, never from the picture.
#pragma once

#include <cstdint>

#include "draw/cell_changes.h"
#include "input/picture.h"
#include "model/resource_record.h"
#include "model/stores.h"

namespace kelvora {

// Colours the preview adds to the picture's own.
inline constexpr Rgb CHECKER_LIGHT{0x9C, 0x9C, 0x9C}; // a sprite's transparent pixels
inline constexpr Rgb CHECKER_DARK{0x5C, 0x5C, 0x5C};

// Outside every record the picture is dimmed to this share of its brightness.
inline constexpr int DIM_NUMERATOR = 1;
inline constexpr int DIM_DENOMINATOR = 3;

struct PreviewImage {
    int width; // the picture's size; both panels have it
    int height;
    bool indexed; // the left panel from the palette, or from `drawn`
    // Whether there is a picture as drawn to show left of what the display
    // shows: none when the view is read from an output.
    bool drawn_panel;
    Rgb palette[256];
    // A truecolour picture's pixels as drawn, as the reader leaves them:
    // GRID_SIZE a row.
    Rgb drawn[GRID_SIZE * GRID_SIZE];
    // Row by row, y * width + x: a display colour 0-15, SHOWN_OUTSIDE or
    // SHOWN_TRANSPARENT.
    std::uint8_t shown[GRID_SIZE * GRID_SIZE];
    std::uint8_t marks[GRID_SIZE * GRID_SIZE]; // PreviewMark bits
};

Rgb dimmed(Rgb colour);
Rgb checker_colour(int x, int y);

// The left panel's colour at a picture pixel.
Rgb drawn_colour(const PreviewImage& image, const PictureGrid& grid, int x, int y);

// The right panel's colour at a picture pixel, before marks.
Rgb shown_colour(const PreviewImage& image, const PictureGrid& grid, int x, int y);

// The left panel takes the picture's own colours; the right one starts as
// the picture dimmed, with no marks.
void start_preview(PreviewImage& image, const PictureFacts& facts);

// Encodes the record with the converter's own encoding and draws every band
// into the right panel as it is encoded, counting what changed. The caller
// has checked that the record is not outside the grid. Without an image,
// it only counts. The first `describe` changed cells are described.
// `layout` is the record's record_layout.
void preview_record(PreviewImage* image, Stores& stores, const ResourceRecord& record,
                    const RecordLayout& layout, const DrawnColours& drawn, int width, int height,
                    int describe, RecordPreview& result);

// Frames what the record wrote in the right panel (where there is an image)
// and notes whether it reaches beyond the picture of `width` x `height`.
void frame_record(PreviewImage* image, const ResourceRecord& record, const RecordLayout& layout,
                  int width, int height, RecordPreview& result);

} // namespace kelvora
