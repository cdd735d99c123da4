// Drawing the preview panels. Each band is drawn inside the converter's band
// visitor, because the attribute row holds only the band just encoded.
#include "preview/render.h"

#include <algorithm>

#include "main/convert_record.h"

namespace kelvora {
namespace {

struct BandDrawing {
    PreviewImage* image;
    std::int64_t changed_pixels;
};

// Draws every cell the band encoded over the band's rows, clipped to the
// picture.
void draw_band(const Stores& stores, const ResourceRecord& record, const RecordShape& shape,
               std::int64_t row, void* context) {
    BandDrawing& drawing = *static_cast<BandDrawing*>(context);
    PreviewImage& image = *drawing.image;
    const bool sprite = !is_banded(record.kind);
    const std::int64_t row_end = std::min<std::int64_t>(row + shape.band_height, image.height);

    for (std::int64_t i = 0; i < shape.cells_across && record.x + 8 * i < image.width; ++i) {
        const std::int64_t cx = record.x + 8 * i;
        const auto c = static_cast<int>(cx / 8);
        const std::uint8_t attribute = stores.attributes.bytes[c];
        const int bright = (attribute & 0x40) != 0 ? 8 : 0;
        const int ink = (attribute & 7) | bright;
        const int paper = (attribute >> 3 & 7) | bright;
        const int pixels = static_cast<int>(std::min<std::int64_t>(8, image.width - cx));
        for (auto r = static_cast<int>(row); r < row_end; ++r) {
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
                const int index = (bits & bit) != 0 ? ink : paper;
                image.index_used[index] = true;
                image.shown[at] = image.palette[index];
                if (image.shown[at] != image.palette[stores.grid.at(px, r)]) {
                    image.marks[at] |= MARK_CHANGED;
                    ++drawing.changed_pixels;
                }
            }
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
    for (int i = 0; i < 256; ++i) {
        image.palette[i] = facts.palette[i];
        image.index_used[i] = false;
    }
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const ColourIndex index = grid.at(x, y);
            const std::size_t at = static_cast<std::size_t>(y) * GRID_SIZE + x;
            image.index_used[index] = true;
            if (facts.indexed) {
                image.drawn[at] = facts.palette[index];
            }
            image.shown[at] = dimmed(image.drawn[at]);
            image.marks[at] = 0;
        }
    }
}

RecordPreview preview_record(PreviewImage& image, Stores& stores, const ResourceRecord& record) {
    BandDrawing drawing{&image, 0};
    encode_record(stores, record, draw_band, &drawing);

    // The frame goes round what was encoded: whole cells across, and for
    // blocks and tile tables whole 8-row bands down.
    RecordPreview result{drawing.changed_pixels, false};
    const RecordShape shape = record_shape(record);
    if (shape.cells_across == 0 || shape.rows == 0) {
        return result;
    }
    const std::int64_t right = std::int64_t{record.x} + 8 * shape.cells_across;
    const std::int64_t bottom = std::int64_t{record.y} + shape.rows;
    result.reaches_beyond_picture = right > image.width || bottom > image.height;
    if (record.x < image.width && record.y < image.height) {
        frame_rectangle(image, record.x, record.y,
                        static_cast<int>(std::min<std::int64_t>(right, image.width)),
                        static_cast<int>(std::min<std::int64_t>(bottom, image.height)));
    }
    return result;
}

} // namespace kelvora
