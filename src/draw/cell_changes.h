// What the display shows of a record against what the picture has: for
// each band just encoded, every pixel's shown colour (from the bitmap, mask
// and attribute bytes, never from the picture) is compared with the colour
// the picture has there, cell by cell. The check counts straight from the
// stores; the preview draws as it counts. For the cells it keeps, it also
// says which of the conversion's rules made the change.
#pragma once

#include <cstdint>

#include "input/picture.h"
#include "model/resource_record.h"
#include "model/stores.h"

namespace kelvora {

// The colour the display shows for an attribute colour: black 0 and bright
// black 8 are one colour, and indices above 15 show as black.
constexpr std::uint8_t display_class(int index) {
    return index == 8 || index > 15 || index < 0 ? 0 : static_cast<std::uint8_t>(index);
}

// What the picture has at each index, and which indices it uses.
struct DrawnColours {
    // The display colour (0-15, never 8) the index's own colour is nearest
    // to: its palette entry's for an indexed picture, the index itself for a
    // truecolour one, whose pixels were matched to the display as read.
    std::uint8_t looks[256];
    bool used[256];
    // Every index 0-15 looks as the display shows it (a palette in the
    // display's order, or a truecolour picture).
    bool in_display_order;
    // Indices the picture's format can hold: 2 or 4 for 1- and 2-bit
    // pictures, 256 for the rest.
    int holdable;
};

void learn_drawn_colours(DrawnColours& drawn, const PictureFacts& facts, const PictureGrid& grid);

// Whether a white sprite's pixel in the index shows in another colour than
// drawn: 15 is its ink, every other index but 0 its black paper.
inline bool white_sprite_changes(const DrawnColours& drawn, int index) {
    return index != 0 && drawn.looks[index] != (index == 15 ? 15 : 0);
}

// Whether the display shows the index in the colour it is drawn in, when a
// cell gives it its own colour.
inline bool drawn_as_shown(const DrawnColours& drawn, int index) {
    return index <= 15 && drawn.looks[index] == display_class(index);
}

// How the pixels drawn in one colour index showed in a cell.
struct ColourChange {
    std::uint8_t drawn;
    std::uint8_t shown;   // 0-15; bright black is given as black 0
    std::uint16_t pixels; // a cell's, or a record's cells' together
};

// Which rule of the conversion made a cell show other colours than drawn.
enum class ChangeCause : std::uint8_t {
    TopCell,       // a tall sprite's column takes its colours from its top cell
    EmptyTopCell,  // ...and that top cell is empty: the colours are carried
    Carried,       // an empty cell kept the colours of the cell to its left
    AboveFifteen,  // indices above 15, which are never ranked
    Background,    // colour 0 pushed back: the record's colour gave the partner
    ManyColours,   // more than two colours
    BrightAndDark, // a bright and a dark colour
    Palette,       // only indices whose palette colour is not the display's
};

// One 8 x 8 cell (shorter at the foot of a sprite or the picture) with
// pixels the display shows in another colour than drawn.
struct CellChange {
    int x; // the cell's top-left pixel
    int y;
    int pixels;
    int kinds; // entries of `changes` in use
    ColourChange changes[16];
    ChangeCause cause;
    bool palette_too; // some pixels changed only through the palette
    std::uint8_t ink; // as shown, 0-15
    std::uint8_t paper;
    // The cell's ink and paper as the encoder chose them: an index drawn in
    // raw_ink shows as ink, any other as paper.
    std::uint8_t raw_ink;
    std::uint8_t raw_paper;
    std::uint8_t colour; // Background: the colour given a partner
    std::uint8_t partner;
    int top_y; // TopCell: the row of the column's top cell
};

inline constexpr int CELLS_NOTED = 20; // a record's changed cells listed one by one

// What one record's conversion changed.
struct RecordPreview {
    int cells_to_describe; // of the changed cells, at most CELLS_NOTED
    std::int64_t changed_pixels;
    bool reaches_beyond_picture; // part of what was written lies outside the picture
    std::int64_t changed_cells;  // all of them; the first CELLS_NOTED are kept
    CellChange cells[CELLS_NOTED];
    int first_unlisted_x; // the top-left pixel of the first changed cell not kept
    int first_unlisted_y;
    // A white sprite: whether any pixel is in 15, its one ink, where its
    // first changed cell is, and the indices drawn in its changed cells,
    // of which those that look other than white or black are the colours
    // changed.
    bool white_has_15;
    int first_white_x;
    int first_white_y;
    std::uint64_t white_indices[4]; // one bit an index, index 0 lowest
    // Changed pixels of a white sprite drawn in 15, its ink: only a palette
    // whose entry 15 is not bright white makes them change.
    std::int64_t white_ink_changed;
    bool any_cell;        // some cell of a sprite was looked at
    bool any_transparent; // some pixel of a sprite is 0, so not drawn
};

// Cell columns kelvora writes for a record: every cell encoded, but for a
// sprite only width div 8 columns (at least one).
std::int64_t columns_drawn(const RecordLayout& layout);

// Clears what the previous record left; the first `describe` changed cells
// will be described.
void start_record_preview(RecordPreview& preview, int describe);

// One band's cells, compared with the picture: those kelvora writes, inside
// the picture of `width` x `height`, with 8 rows at a time so that changed
// cells come in reading order. `shown` and `marks` (one byte per picture
// pixel, row by row) are drawn when given.
void look_at_band(const Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                  std::int64_t row, const DrawnColours& drawn, int width, int height,
                  RecordPreview& preview, std::uint8_t* shown, std::uint8_t* marks);

// One band's cells as the display shows them, drawn into `shown` as
// look_at_band draws them, but held against no picture: for a view read
// from an output, where there is none, so no change is counted or marked.
void draw_band_shown(const Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                     std::int64_t row, int width, int height, std::uint8_t* shown);

// Per-pixel marks of the right panel.
enum PreviewMark : std::uint8_t {
    MARK_CHANGED = 1, // shown in another colour than drawn
    FRAME_TOP = 2,    // the pixel lies on that edge of a record's frame
    FRAME_BOTTOM = 4,
    FRAME_LEFT = 8,
    FRAME_RIGHT = 16,
};

// What the right panel has at a pixel besides a display colour 0-15.
inline constexpr std::uint8_t SHOWN_OUTSIDE = 16;     // in no record: the picture, dimmed
inline constexpr std::uint8_t SHOWN_TRANSPARENT = 17; // a sprite's pixel that is not drawn

} // namespace kelvora
