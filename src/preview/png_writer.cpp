// The PNG writer. Rows are composed one at a time from the panels, so the
// zoomed image is never held in memory whole.
#include "preview/png_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>

#include "output/output_buffer.h"

namespace kelvora {
namespace {

// One composed PNG row: both panels at the largest width allowed.
struct PngRow {
    std::uint8_t bytes[MAX_PREVIEW_WIDTH * 3];
};

bool is_changed(const PreviewImage& image, int x, int y) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) {
        return false;
    }
    return (image.marks[static_cast<std::size_t>(y) * GRID_SIZE + x] & MARK_CHANGED) != 0;
}

Rgb tinted(Rgb colour) {
    const auto mix = [](std::uint8_t a, std::uint8_t b) {
        return static_cast<std::uint8_t>((a + b + 1) / 2);
    };
    return Rgb{mix(colour.r, TINT_COLOUR.r), mix(colour.g, TINT_COLOUR.g),
               mix(colour.b, TINT_COLOUR.b)};
}

void put(std::uint8_t*& p, Rgb colour) {
    *p++ = colour.r;
    *p++ = colour.g;
    *p++ = colour.b;
}

void compose_row(const PreviewImage& image, int scale, int png_y, PngRow& row) {
    const int y = png_y / scale;
    const int dy = png_y % scale;
    const std::size_t line = static_cast<std::size_t>(y) * GRID_SIZE;
    std::uint8_t* p = row.bytes;
    for (int x = 0; x < image.width; ++x) {
        for (int dx = 0; dx < scale; ++dx) {
            put(p, image.drawn[line + x]);
        }
    }
    for (int x = 0; x < image.width; ++x) {
        for (int dx = 0; dx < scale; ++dx) {
            put(p, right_panel_colour(image, x, y, dx, dy, scale));
        }
    }
}

void on_png_error(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

void on_png_write(png_structp png, png_bytep bytes, png_size_t length) {
    write_text(*static_cast<OutputBuffer*>(png_get_io_ptr(png)), reinterpret_cast<char*>(bytes),
               length);
}

void on_png_flush(png_structp) {}

// Kept apart from anything with a destructor: libpng reports errors by a
// long jump back into this function.
bool write_rows(png_structp png, png_infop info, OutputBuffer& out, const PreviewImage& image,
                int scale, PngRow& row) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return false;
    }
    png_set_write_fn(png, &out, on_png_write, on_png_flush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(2 * image.width * scale),
                 static_cast<png_uint_32>(image.height * scale), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int png_y = 0; png_y < image.height * scale; ++png_y) {
        compose_row(image, scale, png_y, row);
        png_write_row(png, row.bytes);
    }
    png_write_end(png, info);
    return true;
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

Rgb right_panel_colour(const PreviewImage& image, int x, int y, int dx, int dy, int scale) {
    const std::uint8_t marks = image.marks[static_cast<std::size_t>(y) * GRID_SIZE + x];
    const int width = mark_width(scale);
    const bool top = dy < width;
    const bool bottom = dy >= scale - width;
    const bool left = dx < width;
    const bool right = dx >= scale - width;
    if ((top && (marks & FRAME_TOP) != 0) || (bottom && (marks & FRAME_BOTTOM) != 0) ||
        (left && (marks & FRAME_LEFT) != 0) || (right && (marks & FRAME_RIGHT) != 0)) {
        return FRAME_COLOUR;
    }
    const Rgb colour = image.shown[static_cast<std::size_t>(y) * GRID_SIZE + x];
    if ((marks & MARK_CHANGED) == 0) {
        return colour;
    }
    if (scale < OUTLINE_SCALE) {
        return tinted(colour);
    }
    // Outline the edge of each changed region, in black and white dashes so
    // it shows on any colour; inside the region the shown colour stays.
    if ((top && !is_changed(image, x, y - 1)) || (bottom && !is_changed(image, x, y + 1)) ||
        (left && !is_changed(image, x - 1, y)) || (right && !is_changed(image, x + 1, y))) {
        const int png_x = x * scale + dx;
        const int png_y = y * scale + dy;
        return ((png_x + png_y) / (2 * width)) % 2 == 0 ? OUTLINE_DARK : OUTLINE_LIGHT;
    }
    return colour;
}

int write_preview_png(int fd, const PreviewImage& image, int scale) {
    static PngRow row;       // 48 KiB: kept off the stack
    static OutputBuffer out; // 64 KiB of output, written straight to the file
    start_output(out, fd);
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_png_error, on_png_warning);
    if (png == nullptr) {
        return ENOMEM;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return ENOMEM;
    }
    const bool written = write_rows(png, info, out, image, scale, row);
    png_destroy_write_struct(&png, &info);
    flush_output(out);
    if (out.error != 0) {
        return out.error;
    }
    return written ? 0 : EIO;
}

} // namespace kelvora
