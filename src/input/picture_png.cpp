// The PNG part of the picture reader, through libpng. Palette pictures keep
// their indices as the colours, exactly as a BMP's; grey and colour pictures
// have each pixel matched to the display's colours, and a pixel mostly
// transparent is colour 0.
#include "input/picture_png.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "input/picture_rows.h"

namespace kelvora::picture_detail {
namespace {

constexpr std::uint8_t SIGNATURE[PNG_SIGNATURE_BYTES] = {0x89, 'P',  'N',  'G',
                                                         '\r', '\n', 0x1A, '\n'};
constexpr int OPAQUE_FROM = 128; // alpha below this is transparent: colour 0

// Everything the decoding shares with libpng's callbacks. Plain data only:
// libpng reports an error by a long jump out of whatever call it was in, so
// nothing with a destructor may live on the way.
struct PngReading {
    ByteReader* in;
    char message[PICTURE_REASON_SIZE]; // libpng's reason for giving up
    png_uint_32 width;
    png_uint_32 height;
    int bit_depth;
    int colour_type;
    bool size_passes;
    bool indexed;
    int palette_entries;
    png_colorp palette;
    bool rows_started;
    bool rows_read; // every row was read before the reading stopped
};

void on_error(png_structp png, png_const_charp message) {
    auto* reading = static_cast<PngReading*>(png_get_error_ptr(png));
    std::strncpy(reading->message, message, sizeof reading->message - 1);
    png_longjmp(png, 1);
}

void on_warning(png_structp, png_const_charp) {}

void on_read(png_structp png, png_bytep data, png_size_t length) {
    auto* reading = static_cast<PngReading*>(png_get_io_ptr(png));
    // Once the last row is read, libpng would inflate whatever compressed
    // data follows, to its end: a small file can hold a gigabyte of it. The
    // picture is complete, so the reading stops here instead.
    if (reading->rows_started && (png_get_current_pass_number(png) > 6 ||
                                  png_get_current_row_number(png) >= reading->height)) {
        reading->rows_read = true;
        png_longjmp(png, 1);
    }
    if (read_bytes(*reading->in, data, length) != length) {
        png_error(png,
                  reading->in->error != 0 ? "read error" : "the file ends before the picture does");
    }
}

// Decodes the whole picture into `pixels`, or stops after the header when
// its size is refused. False when libpng gave up, with its reason. Nothing
// after the last row is read.
bool decode(png_structp png, png_infop info, PngReading& reading, PictureScratch& scratch) {
    if (setjmp(png_jmpbuf(png)) != 0) {
        return reading.rows_read;
    }
    png_set_read_fn(png, &reading, on_read);
    // Compressed data is taken this much at a time: what is left over when
    // the last row is complete is all that can be inflated beyond it.
    png_set_compression_buffer_size(png, 1024);
    png_set_sig_bytes(png, PNG_SIGNATURE_BYTES);
    // Sizes are judged by the picture rule, with its own message.
    png_set_user_limits(png, 0x7FFFFFFF, 0x7FFFFFFF);
    png_read_info(png, info);
    png_get_IHDR(png, info, &reading.width, &reading.height, &reading.bit_depth,
                 &reading.colour_type, nullptr, nullptr, nullptr);
    reading.size_passes = check_size(reading.width, reading.height).taken;
    if (!reading.size_passes) {
        return true;
    }
    reading.indexed = reading.colour_type == PNG_COLOR_TYPE_PALETTE;
    if (reading.indexed) {
        png_get_PLTE(png, info, &reading.palette, &reading.palette_entries);
        png_set_packing(png); // one index a byte, not scaled
    } else {
        png_set_scale_16(png);
        png_set_expand_gray_1_2_4_to_8(png);
        if (png_get_valid(png, info, PNG_INFO_tRNS) != 0) {
            png_set_tRNS_to_alpha(png);
        }
        png_set_gray_to_rgb(png);
        png_set_filler(png, 0xFF, PNG_FILLER_AFTER); // opaque where there is no alpha
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    const std::size_t row_bytes = png_get_rowbytes(png, info);
    if (row_bytes != reading.width * (reading.indexed ? 1u : 4u)) {
        png_error(png, "unexpected row layout");
    }
    for (png_uint_32 y = 0; y < reading.height; ++y) {
        scratch.png_rows[y] = scratch.png_pixels + static_cast<std::size_t>(y) * row_bytes;
    }
    reading.rows_started = true;
    png_read_image(png, scratch.png_rows);
    return true;
}

PictureVerdict store_pixels(const PngReading& reading, PictureScratch& scratch, PictureGrid& grid,
                            PictureFacts& facts, Rgb* colours) {
    const int width = static_cast<int>(reading.width);
    const int height = static_cast<int>(reading.height);
    RowSink sink{&grid, width, false, scratch.rows};
    if (!reading.indexed) {
        // Every pixel is matched before any is stored, so a refused picture stores nothing.
        for (int y = 0; y < height; ++y) {
            const std::uint8_t* rgba = scratch.png_rows[y];
            for (int x = 0; x < width; ++x, rgba += 4) {
                const Rgb colour{rgba[0], rgba[1], rgba[2]};
                if (rgba[3] >= OPAQUE_FROM && match_display_colour(colour) < 0) {
                    return refuse("pixel %d,%d is #%02x%02x%02x, which is none of the display's "
                                  "16 colours; draw with those colours only, without smoothing",
                                  x, y, colour.r, colour.g, colour.b);
                }
            }
        }
    }
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = row_for(sink, y);
        const std::uint8_t* stored = scratch.png_rows[y];
        if (reading.indexed) {
            std::memcpy(row, stored, static_cast<std::size_t>(width));
        } else {
            for (int x = 0; x < width; ++x, stored += 4) {
                const Rgb colour{stored[0], stored[1], stored[2]};
                row[x] = stored[3] < OPAQUE_FROM
                             ? 0
                             : static_cast<std::uint8_t>(match_display_colour(colour));
                if (colours != nullptr) {
                    colours[y * GRID_SIZE + x] = colour;
                }
            }
        }
        finish_row(sink, y);
    }
    facts.indexed = reading.indexed;
    for (int i = 0; i < reading.palette_entries && i < 256; ++i) {
        facts.palette[i] =
            Rgb{reading.palette[i].red, reading.palette[i].green, reading.palette[i].blue};
    }
    facts.palette_entries = reading.palette_entries < 256 ? reading.palette_entries : 256;
    return taken();
}

} // namespace

bool is_png_signature(const std::uint8_t* bytes, std::size_t length) {
    return length == PNG_SIGNATURE_BYTES && std::memcmp(bytes, SIGNATURE, length) == 0;
}

PictureVerdict read_png(ByteReader& in, PictureScratch& scratch, PictureGrid& grid,
                        PictureFacts& facts, Rgb* colours) {
    facts.format = PictureFormat::Png;
    // Not touched between libpng's long jump and its landing: it lives in
    // this frame, above the one that called setjmp.
    PngReading reading{};
    reading.in = &in;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reading, on_error, on_warning);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return refuse("not enough memory to read a PNG");
    }
    const bool decoded = decode(png, info, reading, scratch);
    facts.width =
        static_cast<std::int32_t>(reading.width > 0x7FFFFFFF ? 0x7FFFFFFF : reading.width);
    facts.height =
        static_cast<std::int32_t>(reading.height > 0x7FFFFFFF ? 0x7FFFFFFF : reading.height);
    const int channels = reading.colour_type == PNG_COLOR_TYPE_PALETTE ? 1
                         : reading.colour_type == PNG_COLOR_TYPE_GRAY  ? 1
                         : reading.colour_type == PNG_COLOR_TYPE_GA    ? 2
                         : reading.colour_type == PNG_COLOR_TYPE_RGB   ? 3
                                                                       : 4;
    facts.bits_per_pixel = static_cast<std::uint16_t>(reading.bit_depth * channels);
    PictureVerdict verdict = taken();
    if (!decoded) {
        verdict = refuse("a damaged PNG (%s); save it again", reading.message);
    } else if (!reading.size_passes) {
        verdict = check_size(reading.width, reading.height);
    } else {
        verdict = store_pixels(reading, scratch, grid, facts, colours);
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return verdict;
}

} // namespace kelvora::picture_detail
