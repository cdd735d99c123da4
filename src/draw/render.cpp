// Drawing the preview panels. Each band is looked at inside the converter's
// band visitor, because the attribute row holds only the band just encoded.
#include "draw/render.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "convert/convert_record.h"

namespace kelvora {
namespace {

struct BandLook {
    PreviewImage* image;
    const DrawnColours* drawn;
    int width;
    int height;
    RecordPreview* result;
};

void look_at(const Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
             std::int64_t row, void* context) {
    BandLook& look = *static_cast<BandLook*>(context);
    look_at_band(stores, record, layout, row, *look.drawn, look.width, look.height, *look.result,
                 look.image != nullptr ? look.image->shown : nullptr,
                 look.image != nullptr ? look.image->marks : nullptr);
}

// Takes the pages of the bytes at `start` in one call, rather than a fault
// for each as they are first written, which costs far more: a large
// picture's panels are a few hundred pages. A hint; without it, faults.
void take_pages(void* start, std::size_t bytes) {
    constexpr std::uintptr_t PAGE = 4096;
    const auto first = reinterpret_cast<std::uintptr_t>(start) & ~(PAGE - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(start) + bytes;
    constexpr int POPULATE_WRITE = 23; // MADV_POPULATE_WRITE, Linux 5.14 on
    madvise(reinterpret_cast<void*>(first), end - first, POPULATE_WRITE);
}

void frame_rectangle(PreviewImage& image, int left, int top, int right, int bottom) {
    const std::size_t width = static_cast<std::size_t>(image.width);
    for (int x = left; x < right; ++x) {
        image.marks[top * width + x] |= FRAME_TOP;
        image.marks[(bottom - 1) * width + x] |= FRAME_BOTTOM;
    }
    for (int y = top; y < bottom; ++y) {
        image.marks[y * width + left] |= FRAME_LEFT;
        image.marks[y * width + right - 1] |= FRAME_RIGHT;
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

Rgb drawn_colour(const PreviewImage& image, const PictureGrid& grid, int x, int y) {
    return image.indexed ? image.palette[grid.at(x, y)]
                         : image.drawn[static_cast<std::size_t>(y) * GRID_SIZE + x];
}

Rgb shown_colour(const PreviewImage& image, const PictureGrid& grid, int x, int y) {
    const std::uint8_t shown = image.shown[static_cast<std::size_t>(y) * image.width + x];
    if (shown == SHOWN_OUTSIDE) {
        return dimmed(drawn_colour(image, grid, x, y));
    }
    if (shown == SHOWN_TRANSPARENT) {
        return checker_colour(x, y);
    }
    return display_colour(shown);
}

void start_preview(PreviewImage& image, const PictureFacts& facts) {
    image.width = facts.width;
    image.height = picture_rows(facts);
    image.indexed = facts.indexed;
    image.drawn_panel = true;
    std::memcpy(image.palette, facts.palette, sizeof image.palette);
    const std::size_t pixels = static_cast<std::size_t>(image.width) * image.height;
    take_pages(image.shown, pixels);
    take_pages(image.marks, pixels);
    std::memset(image.shown, SHOWN_OUTSIDE, pixels);
    std::memset(image.marks, 0, pixels);
}

void preview_record(PreviewImage* image, Stores& stores, const ResourceRecord& record,
                    const RecordLayout& layout, const DrawnColours& drawn, int width, int height,
                    int describe, RecordPreview& result) {
    start_record_preview(result, describe);
    BandLook look{image, &drawn, width, height, &result};
    encode_record(stores, record, layout, look_at, &look);
    frame_record(image, record, layout, width, height, result);
}

void frame_record(PreviewImage* image, const ResourceRecord& record, const RecordLayout& layout,
                  int width, int height, RecordPreview& result) {
    // The frame goes round what was written: the columns written across,
    // and for blocks and tile tables whole 8-row bands down.
    const std::int64_t columns = columns_drawn(layout);
    if (columns == 0 || layout.rows == 0) {
        return;
    }
    const std::int64_t right = std::int64_t{record.x} + 8 * columns;
    const std::int64_t bottom = std::int64_t{record.y} + layout.rows;
    result.reaches_beyond_picture = right > width || bottom > height;
    if (image != nullptr && record.x < width && record.y < height) {
        frame_rectangle(*image, record.x, record.y,
                        static_cast<int>(std::min<std::int64_t>(right, width)),
                        static_cast<int>(std::min<std::int64_t>(bottom, height)));
    }
}

} // namespace kelvora
