// The preview's two panels, one entry per picture pixel: the picture as
// drawn, in its own colours, and what the display shows once each record has
// been encoded, in the display's colours. The right panel is drawn from the
// encoded bitmap, mask and attribute bytes, never from the picture.
#pragma once

#include <cstdint>

#include "input/picture.h"
#include "model/resource_record.h"
#include "model/stores.h"

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
    bool index_drawn[256]; // palette indices the picture uses
    // Row-major, y * GRID_SIZE + x.
    Rgb drawn[GRID_SIZE * GRID_SIZE];
    Rgb shown[GRID_SIZE * GRID_SIZE];
    std::uint8_t marks[GRID_SIZE * GRID_SIZE];
};

// Two colours count as the same when the display shows them alike: black 0
// and bright black 8 are one colour, and indices above 15 show as black.
inline bool same_on_display(int a, int b) {
    return display_colour(a) == display_colour(b);
}

// How the pixels drawn in one colour index showed in a cell.
struct ColourChange {
    std::uint8_t drawn;
    std::uint8_t shown;
    std::uint8_t pixels;
};

// One 8 x 8 cell (shorter at the foot of a sprite) with pixels the display
// shows in another colour than drawn.
struct CellChange {
    int x; // the cell's top-left pixel
    int y;
    int pixels;
    int kinds; // entries of `changes` in use
    ColourChange changes[16];
};

inline constexpr int CELLS_NOTED = 20; // a record's changed cells listed one by one

// What one record's preview found.
struct RecordPreview {
    std::int64_t changed_pixels;
    bool reaches_beyond_picture; // part of what was drawn lies outside the picture
    std::int64_t changed_cells;  // all of them; the first CELLS_NOTED are kept
    CellChange cells[CELLS_NOTED];
    int first_unlisted_x; // the top-left pixel of the first changed cell not kept
    int first_unlisted_y;
    // A white sprite's pixels drawn in neither 0 nor 15, which show as paper.
    std::int64_t off_white_pixels;
    int first_off_white_x;
    int first_off_white_y;
    bool off_white_colour[256];
};

// Cell columns the preview draws for a record: every cell encoded, but for a
// sprite only the columns kelvora writes.
std::int64_t columns_drawn(const RecordLayout& layout);

Rgb dimmed(Rgb colour);
Rgb checker_colour(int x, int y);

// Fills the left panel with the picture's own colours (its palette's, or
// for a picture that is not indexed, those the reader left in `drawn`) and
// the right panel with the dimmed picture.
void start_preview(PreviewImage& image, const PictureGrid& grid, const PictureFacts& facts);

// Encodes the record with the converter's own encoding and draws every band
// into the right panel as it is encoded. The caller has checked that the
// record is not outside the grid.
void preview_record(PreviewImage& image, Stores& stores, const ResourceRecord& record,
                    RecordPreview& result);

} // namespace kelvora
