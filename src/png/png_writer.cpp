// The PNG writer. Rows are composed one at a time from the panels, so the
// zoomed image is never held in memory whole.
#include "png/png_writer.h"

#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "output/output_buffer.h"

namespace kelvora {
namespace {

// The preview's colours, each given a palette slot as it is first met.
struct PngPalette {
    static constexpr int MAX = 256;
    static constexpr int TABLE = 4096; // hash of a colour -> slot + 1
    int count;
    bool overflow;
    Rgb colours[MAX];
    std::uint16_t table[TABLE];
    Rgb keys[TABLE];
};

std::uint8_t slot_of(PngPalette& palette, Rgb colour) {
    const std::uint32_t key = static_cast<std::uint32_t>(colour.r) << 16 |
                              static_cast<std::uint32_t>(colour.g) << 8 | colour.b;
    std::uint32_t at = (key * 2654435761u) >> 20; // 12 bits
    while (palette.table[at] != 0) {
        if (palette.keys[at] == colour) {
            return static_cast<std::uint8_t>(palette.table[at] - 1);
        }
        at = (at + 1) & (PngPalette::TABLE - 1);
    }
    if (palette.count == PngPalette::MAX) {
        palette.overflow = true;
        return 0;
    }
    palette.keys[at] = colour;
    palette.colours[palette.count] = colour;
    palette.table[at] = static_cast<std::uint16_t>(++palette.count);
    return static_cast<std::uint8_t>(palette.count - 1);
}

// The slots a row is composed from: a picture's indices and the display's
// colours map to slots once; a truecolour picture's pixels one by one.
struct Slots {
    std::uint8_t drawn[256];  // left panel, by index
    std::uint8_t dimmed[256]; // right panel outside the records, by index
    std::uint8_t display[16]; // right panel, by display colour
    std::uint8_t tinted[16];
    std::uint8_t checker[2];
    std::uint8_t frame;
    std::uint8_t outline_dark;
    std::uint8_t outline_light;
};

// Gives every colour the preview uses a slot; false when there are more
// than 256.
bool make_palette(const PreviewImage& image, const PictureGrid& grid, PngPalette& palette,
                  Slots& slots) {
    std::memset(&palette, 0, sizeof palette);
    for (int i = 0; i < 16; ++i) {
        slots.display[i] = slot_of(palette, display_colour(i));
        slots.tinted[i] = slot_of(palette, tinted(display_colour(i)));
    }
    slots.checker[0] = slot_of(palette, CHECKER_LIGHT);
    slots.checker[1] = slot_of(palette, CHECKER_DARK);
    slots.frame = slot_of(palette, FRAME_COLOUR);
    slots.outline_dark = slot_of(palette, OUTLINE_DARK);
    slots.outline_light = slot_of(palette, OUTLINE_LIGHT);
    if (image.indexed) {
        bool used[256] = {};
        for (int x = 0; x < image.width; ++x) {
            const ColourIndex* column = grid.column(x);
            for (int y = 0; y < image.height; ++y) {
                used[column[y]] = true;
            }
        }
        for (int i = 0; i < 256; ++i) {
            if (used[i]) {
                slots.drawn[i] = slot_of(palette, image.palette[i]);
                slots.dimmed[i] = slot_of(palette, dimmed(image.palette[i]));
            }
        }
    } else {
        for (int y = 0; y < image.height && !palette.overflow; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const Rgb colour = image.drawn[static_cast<std::size_t>(y) * GRID_SIZE + x];
                slot_of(palette, colour);
                slot_of(palette, dimmed(colour));
            }
        }
    }
    return !palette.overflow;
}

// One composed PNG row: both panels at the largest width allowed, three
// bytes a pixel when there is no palette.
struct PngRow {
    std::uint8_t bytes[MAX_PREVIEW_WIDTH * 3];
};

struct RowMaker {
    const PreviewImage* image;
    const PictureGrid* grid;
    int scale;
    PngPalette* palette; // null without a palette
    const Slots* slots;
};

// The right panel's slot for a part at a picture pixel.
std::uint8_t right_slot(const RowMaker& maker, RightPanelPart part, int x, int y) {
    const PreviewImage& image = *maker.image;
    const Slots& slots = *maker.slots;
    switch (part) {
    case RightPanelPart::Frame:
        return slots.frame;
    case RightPanelPart::OutlineDark:
        return slots.outline_dark;
    case RightPanelPart::OutlineLight:
        return slots.outline_light;
    case RightPanelPart::Shown:
    case RightPanelPart::Tinted:
        break;
    }
    const std::uint8_t shown = image.shown[static_cast<std::size_t>(y) * image.width + x];
    if (shown < 16) {
        return part == RightPanelPart::Tinted ? slots.tinted[shown] : slots.display[shown];
    }
    if (shown == SHOWN_TRANSPARENT) {
        return slots.checker[(x + y) & 1];
    }
    if (image.indexed) {
        return slots.dimmed[maker.grid->at(x, y)];
    }
    return slot_of(*maker.palette,
                   dimmed(image.drawn[static_cast<std::size_t>(y) * GRID_SIZE + x]));
}

Rgb right_rgb(const RowMaker& maker, RightPanelPart part, int x, int y) {
    switch (part) {
    case RightPanelPart::Frame:
        return FRAME_COLOUR;
    case RightPanelPart::OutlineDark:
        return OUTLINE_DARK;
    case RightPanelPart::OutlineLight:
        return OUTLINE_LIGHT;
    case RightPanelPart::Tinted:
        return tinted(shown_colour(*maker.image, *maker.grid, x, y));
    case RightPanelPart::Shown:
        break;
    }
    return shown_colour(*maker.image, *maker.grid, x, y);
}

void compose_row(const RowMaker& maker, int png_y, PngRow& row) {
    const PreviewImage& image = *maker.image;
    const int scale = maker.scale;
    const int y = png_y / scale;
    const int dy = png_y % scale;
    std::uint8_t* p = row.bytes;
    if (maker.palette != nullptr) {
        // A zoomed pixel is `scale` bytes of one slot, but where a mark
        // runs through it.
        const auto fill = [&p, scale](std::uint8_t slot) {
            if (scale == 1) {
                *p++ = slot;
            } else {
                std::memset(p, slot, static_cast<std::size_t>(scale));
                p += scale;
            }
        };
        for (int x = 0; x < image.width && image.drawn_panel; ++x) {
            fill(image.indexed ? maker.slots->drawn[maker.grid->at(x, y)]
                               : slot_of(*maker.palette,
                                         image.drawn[static_cast<std::size_t>(y) * GRID_SIZE + x]));
        }
        const std::uint8_t* marks = image.marks + static_cast<std::size_t>(y) * image.width;
        const bool tint = scale < OUTLINE_SCALE;
        for (int x = 0; x < image.width; ++x) {
            if (marks[x] == 0) {
                fill(right_slot(maker, RightPanelPart::Shown, x, y));
                continue;
            }
            if (tint && marks[x] == MARK_CHANGED) {
                fill(right_slot(maker, RightPanelPart::Tinted, x, y)); // no frame through it
                continue;
            }
            for (int dx = 0; dx < scale; ++dx) {
                *p++ = right_slot(maker, right_panel_part(image, x, y, dx, dy, scale), x, y);
            }
        }
        return;
    }
    const auto put = [&p](Rgb colour) {
        *p++ = colour.r;
        *p++ = colour.g;
        *p++ = colour.b;
    };
    for (int x = 0; x < image.width && image.drawn_panel; ++x) {
        const Rgb colour = drawn_colour(image, *maker.grid, x, y);
        for (int dx = 0; dx < scale; ++dx) {
            put(colour);
        }
    }
    for (int x = 0; x < image.width; ++x) {
        for (int dx = 0; dx < scale; ++dx) {
            put(right_rgb(maker, right_panel_part(image, x, y, dx, dy, scale), x, y));
        }
    }
}

void on_png_error(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

// libpng's memory, through malloc: a failure is remembered, so that it is
// reported as what it is rather than as a failed write.
png_voidp on_png_malloc(png_structp png, png_alloc_size_t size) {
    void* memory = std::malloc(size);
    if (memory == nullptr) {
        *static_cast<bool*>(png_get_mem_ptr(png)) = true;
    }
    return memory;
}

void on_png_free(png_structp, png_voidp memory) {
    std::free(memory);
}

void on_png_write(png_structp png, png_bytep bytes, png_size_t length) {
    write_text(*static_cast<OutputBuffer*>(png_get_io_ptr(png)), reinterpret_cast<char*>(bytes),
               length);
}

void on_png_flush(png_structp) {}

struct PngWriting {
    const PngShape* shape;
    PngRows rows;
    const void* context;
    PngRow* row;
};

// Kept apart from anything with a destructor: libpng reports errors by a
// long jump back into this function.
bool write_rows(png_structp png, png_infop info, OutputBuffer& out, const PngWriting& writing) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    const PngShape& shape = *writing.shape;
    png_set_write_fn(png, &out, on_png_write, on_png_flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(shape.width),
                 static_cast<png_uint_32>(shape.height), shape.bit_depth,
                 shape.palette != nullptr ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (shape.palette != nullptr) {
        png_color colours[PngPalette::MAX];
        for (int i = 0; i < shape.palette_size; ++i) {
            const Rgb c = shape.palette[i];
            colours[i] = png_color{c.r, c.g, c.b};
        }
        png_set_PLTE(png, info, colours, shape.palette_size);
    }
    // Without filters, and compressed as the shape asks (see PngCompression).
    // The indices are the writer's own, so libpng need not check them.
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    switch (shape.compression) {
    case PngCompression::Runs:
        png_set_compression_level(png, Z_BEST_SPEED);
        png_set_compression_strategy(png, Z_RLE);
        break;
    case PngCompression::Stored:
        png_set_compression_level(png, Z_NO_COMPRESSION);
        break;
    case PngCompression::Small:
        png_set_compression_level(png, Z_DEFAULT_COMPRESSION);
        break;
    }
    png_set_check_for_invalid_index(png, 0);
    png_write_info(png, info);
    if (shape.bit_depth < 8) {
        png_set_packing(png); // the rows hold a pixel a byte
    }
    for (int y = 0; y < shape.height; ++y) {
        writing.rows(writing.context, y, writing.row->bytes);
        png_write_row(png, writing.row->bytes);
    }
    png_write_end(png, info);
    return true;
}

bool is_changed(const PreviewImage& image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) {
        return false;
    }
    return (image.marks[static_cast<std::size_t>(y) * image.width + x] & MARK_CHANGED) != 0;
}

} // namespace

int automatic_scale(int width, int height) {
    int scale = 8;
    while (scale > 1 && (2 * width * scale > 1024 || height * scale > 1024)) {
        --scale;
    }
    return scale;
}

int mark_width(int scale) {
    return scale >= 8 ? scale / 4 : 1;
}

Rgb tinted(Rgb colour) {
    const auto mix = [](std::uint8_t a, std::uint8_t b) {
        return static_cast<std::uint8_t>((a + b + 1) / 2);
    };
    return Rgb{mix(colour.r, TINT_COLOUR.r), mix(colour.g, TINT_COLOUR.g),
               mix(colour.b, TINT_COLOUR.b)};
}

RightPanelPart right_panel_part(const PreviewImage& image, int x, int y, int dx, int dy,
                                int scale) {
    const std::uint8_t marks = image.marks[static_cast<std::size_t>(y) * image.width + x];
    if (marks == 0) {
        return RightPanelPart::Shown;
    }
    const int width = mark_width(scale);
    const bool top = dy < width;
    const bool bottom = dy >= scale - width;
    const bool left = dx < width;
    const bool right = dx >= scale - width;
    if ((top && (marks & FRAME_TOP) != 0) || (bottom && (marks & FRAME_BOTTOM) != 0) ||
        (left && (marks & FRAME_LEFT) != 0) || (right && (marks & FRAME_RIGHT) != 0)) {
        return RightPanelPart::Frame;
    }
    if ((marks & MARK_CHANGED) == 0) {
        return RightPanelPart::Shown;
    }
    if (scale < OUTLINE_SCALE) {
        return RightPanelPart::Tinted;
    }
    // Outline the edge of each changed region, in black and white dashes so
    // it shows on any colour; inside the region the shown colour stays.
    if ((top && !is_changed(image, x, y - 1)) || (bottom && !is_changed(image, x, y + 1)) ||
        (left && !is_changed(image, x - 1, y)) || (right && !is_changed(image, x + 1, y))) {
        const int png_x = x * scale + dx;
        const int png_y = y * scale + dy;
        return ((png_x + png_y) / (2 * width)) % 2 == 0 ? RightPanelPart::OutlineDark
                                                        : RightPanelPart::OutlineLight;
    }
    return RightPanelPart::Shown;
}

int write_png(int fd, const PngShape& shape, PngRows rows, const void* context) {
    static PngRow row;       // 48 KiB: kept off the stack
    static OutputBuffer out; // 64 KiB of output, written straight to the file
    start_output(out, fd);
    bool out_of_memory = false;
    png_structp png =
        png_create_write_struct_2(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning,
                                  &out_of_memory, on_png_malloc, on_png_free);
    if (png == nullptr) {
        return ENOMEM;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return ENOMEM;
    }
    const bool written = write_rows(png, info, out, PngWriting{&shape, rows, context, &row});
    png_destroy_write_struct(&png, &info);
    flush_output(out);
    if (out.error != 0) {
        return out.error;
    }
    return written ? 0 : out_of_memory ? ENOMEM : EIO;
}

int write_preview_png(int fd, const PreviewImage& image, const PictureGrid& grid, int scale) {
    static PngPalette palette; // 17 KiB
    static Slots slots;
    RowMaker maker{&image, &grid, scale, nullptr, &slots};
    if (make_palette(image, grid, palette, slots)) {
        maker.palette = &palette;
    }
    // A zoomed preview's rows are runs of few colours, which runs alone
    // compress well; unzoomed, a pixel is a byte and runs are short, and
    // coding them costs more than the bytes it saves, so they are stored as
    // they are (a picture of at most 2048 x 1024 pixels: 2 MiB).
    const PngShape shape{(image.drawn_panel ? 2 : 1) * image.width * scale,
                         image.height * scale,
                         8,
                         maker.palette != nullptr ? palette.colours : nullptr,
                         palette.count,
                         scale > 1 ? PngCompression::Runs : PngCompression::Stored};
    return write_png(
        fd, shape,
        [](const void* context, int y, std::uint8_t* bytes) {
            compose_row(*static_cast<const RowMaker*>(context), y,
                        *reinterpret_cast<PngRow*>(bytes));
        },
        &maker);
}

} // namespace kelvora
