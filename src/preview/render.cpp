// Drawing the preview panels. Each band is drawn inside the converter's band
// visitor, because the attribute row holds only the band just encoded.
#include "preview/render.h"

#include <algorithm>
#include <iterator>

#include "convert/convert_record.h"

namespace kelvora {
namespace {

struct BandDrawing {
    PreviewImage* image;
    RecordPreview* result;
};

void note_change(CellChange& cell, int drawn, int shown) {
    ++cell.pixels;
    for (int i = 0; i < cell.kinds; ++i) {
        ColourChange& change = cell.changes[i];
        if (change.drawn == drawn && change.shown == shown) {
            ++change.pixels;
            return;
        }
    }
    if (cell.kinds < 16) {
        cell.changes[cell.kinds++] =
            ColourChange{static_cast<std::uint8_t>(drawn), static_cast<std::uint8_t>(shown), 1};
    }
}

void keep_cell(RecordPreview& result, const CellChange& cell) {
    if (cell.pixels == 0) {
        return;
    }
    if (result.changed_cells < CELLS_NOTED) {
        result.cells[result.changed_cells] = cell;
    } else if (result.changed_cells == CELLS_NOTED) {
        result.first_unlisted_x = cell.x;
        result.first_unlisted_y = cell.y;
    }
    ++result.changed_cells;
}

// Draws the band's cells that kelvora writes over the band's rows, clipped
// to the picture, 8 rows at a time so that changed cells come in reading
// order.
void draw_band(const Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
               std::int64_t row, void* context) {
    BandDrawing& drawing = *static_cast<BandDrawing*>(context);
    PreviewImage& image = *drawing.image;
    RecordPreview& result = *drawing.result;
    const bool sprite = layout.body == BandBody::SpriteRows; // its mask shows through
    const bool white = record.kind == RecordKind::WhiteSprite;
    const std::int64_t row_end = std::min<std::int64_t>(row + layout.band_height, image.height);
    const std::int64_t columns = columns_drawn(layout);

    for (std::int64_t top = row; top < row_end; top += 8) {
        for (std::int64_t i = 0; i < columns && record.x + 8 * i < image.width; ++i) {
            const std::int64_t cx = record.x + 8 * i;
            const auto c = static_cast<int>(cx / 8);
            const std::uint8_t attribute = stores.attributes.bytes[c];
            const int bright = (attribute & 0x40) != 0 ? 8 : 0;
            const int ink = (attribute & 7) | bright;
            const int paper = (attribute >> 3 & 7) | bright;
            const int pixels = static_cast<int>(std::min<std::int64_t>(8, image.width - cx));
            CellChange cell{static_cast<int>(cx), static_cast<int>(top), 0, 0, {}};
            for (auto r = static_cast<int>(top); r < std::min<std::int64_t>(top + 8, row_end);
                 ++r) {
                const std::uint8_t bits = stores.bitmap.bytes[c][r];
                const std::uint8_t mask = stores.mask.bytes[c][r];
                for (int k = 0; k < pixels; ++k) {
                    const int px = static_cast<int>(cx) + k;
                    const std::size_t at = static_cast<std::size_t>(r) * GRID_SIZE + px;
                    const auto bit = static_cast<std::uint8_t>(0x80 >> k);
                    image.marks[at] &= static_cast<std::uint8_t>(~MARK_CHANGED);
                    if (sprite && (mask & bit) == 0) {
                        image.shown[at] = checker_colour(px, r);
                        continue; // transparent: nothing is drawn, so nothing changed
                    }
                    const int drawn = stores.grid.at(px, r);
                    const int shown = (bits & bit) != 0 ? ink : paper;
                    image.shown[at] = display_colour(shown);
                    if (white && drawn != 15) {
                        if (result.off_white_pixels++ == 0) {
                            result.first_off_white_x = static_cast<int>(cx);
                            result.first_off_white_y = static_cast<int>(top);
                        }
                        result.off_white_colour[drawn] = true;
                    }
                    if (!same_on_display(shown, drawn)) {
                        image.marks[at] |= MARK_CHANGED;
                        note_change(cell, drawn, shown);
                    }
                }
            }
            result.changed_pixels += cell.pixels;
            keep_cell(result, cell);
        }
    }
}

void frame_rectangle(PreviewImage& image, int left, int top, int right, int bottom) {
    for (int x = left; x < right; ++x) {
        image.marks[static_cast<std::size_t>(top) * GRID_SIZE + x] |= FRAME_TOP;
        image.marks[static_cast<std::size_t>(bottom - 1) * GRID_SIZE + x] |= FRAME_BOTTOM;
    }
    for (int y = top; y < bottom; ++y) {
        image.marks[static_cast<std::size_t>(y) * GRID_SIZE + left] |= FRAME_LEFT;
        image.marks[static_cast<std::size_t>(y) * GRID_SIZE + right - 1] |= FRAME_RIGHT;
    }
}

} // namespace

std::int64_t columns_drawn(const RecordLayout& layout) {
    // The columns both encoded and written: a sprite writes width div 8 of
    // its cells, and at least one column even when it encoded none.
    return std::min(layout.cells_across, layout.columns_written);
}

Rgb dimmed(Rgb colour) {
    const auto dim = [](std::uint8_t channel) {
        return static_cast<std::uint8_t>(channel * DIM_NUMERATOR / DIM_DENOMINATOR);
    };
    return Rgb{dim(colour.r), dim(colour.g), dim(colour.b)};
}

Rgb checker_colour(int x, int y) {
    return ((x + y) & 1) == 0 ? CHECKER_LIGHT : CHECKER_DARK;
}

void start_preview(PreviewImage& image, const PictureGrid& grid, const PictureFacts& facts) {
    image.width = facts.width;
    image.height = picture_rows(facts);
    std::fill(std::begin(image.index_drawn), std::end(image.index_drawn), false);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const ColourIndex index = grid.at(x, y);
            const std::size_t at = static_cast<std::size_t>(y) * GRID_SIZE + x;
            image.index_drawn[index] = true;
            if (facts.indexed) {
                image.drawn[at] = facts.palette[index];
            }
            image.shown[at] = dimmed(image.drawn[at]);
            image.marks[at] = 0;
        }
    }
}

void preview_record(PreviewImage& image, Stores& stores, const ResourceRecord& record,
                    RecordPreview& result) {
    result.changed_pixels = 0;
    result.reaches_beyond_picture = false;
    result.changed_cells = 0;
    result.off_white_pixels = 0;
    std::fill(std::begin(result.off_white_colour), std::end(result.off_white_colour), false);
    BandDrawing drawing{&image, &result};
    encode_record(stores, record, draw_band, &drawing);

    // The frame goes round what was drawn: the columns written across, and
    // for blocks and tile tables whole 8-row bands down.
    const RecordLayout layout = record_layout(record);
    const std::int64_t columns = columns_drawn(layout);
    if (columns == 0 || layout.rows == 0) {
        return;
    }
    const std::int64_t right = std::int64_t{record.x} + 8 * columns;
    const std::int64_t bottom = std::int64_t{record.y} + layout.rows;
    result.reaches_beyond_picture = right > image.width || bottom > image.height;
    if (record.x < image.width && record.y < image.height) {
        frame_rectangle(image, record.x, record.y,
                        static_cast<int>(std::min<std::int64_t>(right, image.width)),
                        static_cast<int>(std::min<std::int64_t>(bottom, image.height)));
    }
}

} // namespace kelvora
