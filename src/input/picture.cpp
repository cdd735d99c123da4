// The picture reader's entry and its BMP part: a handful of header fields,
// then the pixel rows, bottom-up unless the height is negative.
#include "input/picture.h"

#include <bit>
#include <cinttypes>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "input/picture_png.h"
#include "input/picture_rows.h"

namespace kelvora {

namespace picture_detail {

PictureVerdict refuse(const char* format, ...) {
    PictureVerdict verdict{false, {}};
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(verdict.reason, sizeof verdict.reason, format, arguments);
    va_end(arguments);
    return verdict;
}

PictureVerdict check_size(std::int64_t width, std::int64_t height) {
    const auto passes = [](std::int64_t size) {
        return size > 0 && size <= GRID_SIZE && size % 8 == 0;
    };
    const char* const rule = "width and height must be multiples of 8, at most 1024";
    if (!passes(width)) {
        return refuse("%" PRId64 " pixels wide; %s", width, rule);
    }
    if (!passes(height < 0 ? -height : height)) {
        return refuse("%" PRId64 " pixels high; %s", height < 0 ? -height : height, rule);
    }
    return taken();
}

void clear_area(PictureGrid& grid, int width, int height) {
    for (int x = 0; x < width; ++x) {
        std::memset(grid.column(x), 0, static_cast<std::size_t>(height));
    }
}

void store_transposed_words(const std::uint8_t (&rows)[8][GRID_SIZE], std::size_t x,
                            std::uint8_t* destination) {
    if constexpr (std::endian::native == std::endian::little) {
        // Byte i of word r is pixel (x + i) of row r. Three rounds swap the
        // off-diagonal halves of 1x1, 2x2 and 4x4 byte squares, after which
        // byte r of word i is that same pixel: word i is column x + i.
        std::uint64_t w[8];
        for (int r = 0; r < 8; ++r) {
            std::memcpy(&w[r], &rows[r][x], 8);
        }
        const auto swap_halves = [&w](int a, int b, int shift, std::uint64_t mask) {
            const std::uint64_t t = ((w[a] >> shift) ^ w[b]) & mask;
            w[b] ^= t;
            w[a] ^= t << shift;
        };
        for (int r : {0, 2, 4, 6}) {
            swap_halves(r, r + 1, 8, 0x00FF00FF00FF00FFull);
        }
        for (int r : {0, 1, 4, 5}) {
            swap_halves(r, r + 2, 16, 0x0000FFFF0000FFFFull);
        }
        for (int r : {0, 1, 2, 3}) {
            swap_halves(r, r + 4, 32, 0x00000000FFFFFFFFull);
        }
        for (int i = 0; i < 8; ++i) {
            std::memcpy(destination + static_cast<std::size_t>(i) * COLUMN_STRIDE, &w[i], 8);
        }
    } else {
        for (int i = 0; i < 8; ++i) {
            for (int r = 0; r < 8; ++r) {
                destination[static_cast<std::size_t>(i) * COLUMN_STRIDE + r] = rows[r][x + i];
            }
        }
    }
}

#if defined(__SSE2__)
// The same with vectors: interleaving rows bytewise, then their pairs, then
// their fours leaves two columns in each vector.
namespace {
void store_transposed_sse2(const std::uint8_t (&rows)[8][GRID_SIZE], std::size_t x,
                           std::uint8_t* destination) {
    __m128i r[8];
    for (int i = 0; i < 8; ++i) {
        r[i] = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&rows[i][x]));
    }
    const __m128i a0 = _mm_unpacklo_epi8(r[0], r[1]);
    const __m128i a1 = _mm_unpacklo_epi8(r[2], r[3]);
    const __m128i a2 = _mm_unpacklo_epi8(r[4], r[5]);
    const __m128i a3 = _mm_unpacklo_epi8(r[6], r[7]);
    const __m128i b0 = _mm_unpacklo_epi16(a0, a1);
    const __m128i b1 = _mm_unpackhi_epi16(a0, a1);
    const __m128i b2 = _mm_unpacklo_epi16(a2, a3);
    const __m128i b3 = _mm_unpackhi_epi16(a2, a3);
    const __m128i columns[4] = {_mm_unpacklo_epi32(b0, b2), _mm_unpackhi_epi32(b0, b2),
                                _mm_unpacklo_epi32(b1, b3), _mm_unpackhi_epi32(b1, b3)};
    for (int i = 0; i < 4; ++i) {
        std::uint8_t* even = destination + static_cast<std::size_t>(2 * i) * COLUMN_STRIDE;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(even), columns[i]);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(even + COLUMN_STRIDE),
                         _mm_unpackhi_epi64(columns[i], columns[i]));
    }
}
} // namespace
#endif

void store_transposed(const std::uint8_t (&rows)[8][GRID_SIZE], std::size_t x,
                      std::uint8_t* destination) {
#if defined(__SSE2__)
    store_transposed_sse2(rows, x, destination);
#else
    store_transposed_words(rows, x, destination);
#endif
}

void finish_row(RowSink& sink, int y) {
    if ((y & 7) != (sink.bottom_up ? 0 : 7)) {
        return;
    }
    const auto top = static_cast<std::size_t>(y & ~7);
    for (std::size_t x = 0; x < static_cast<std::size_t>(sink.width); x += 8) {
        store_transposed(sink.rows, x, sink.grid->column(static_cast<int>(x)) + top);
    }
}

} // namespace picture_detail

namespace {

using namespace picture_detail;

// BMP header fields, as offsets from the start of the file.
constexpr std::size_t PIXEL_OFFSET_AT = 10;
constexpr std::size_t INFO_SIZE_AT = 14;
constexpr std::size_t WIDTH_AT = 18;
constexpr std::size_t HEIGHT_AT = 22;
constexpr std::size_t BITS_AT = 28;
constexpr std::size_t COMPRESSION_AT = 30;
constexpr std::size_t COLOURS_USED_AT = 46;
// The bytes up to and including the bits-per-pixel byte; the pixel-data
// offset must not point inside them.
constexpr std::uint32_t HEADER_BYTES_READ = 29;
constexpr std::uint32_t OLD_INFO_SIZE = 12; // 16-bit sizes, 3-byte palette entries
// The first bytes of the file are kept: they hold every header field and a
// 256-entry palette behind the largest info header in use.
constexpr std::size_t HEAD_BYTES = 4096;

constexpr std::uint32_t UNCOMPRESSED = 0;
constexpr std::uint32_t RUN_LENGTH_8 = 1;
constexpr std::uint32_t RUN_LENGTH_4 = 2;

struct Head {
    std::uint8_t bytes[HEAD_BYTES];
    std::size_t length; // bytes kept, fewer when the file is shorter
};

// A four-byte field assembled through the one scratch area the offset, width
// and height share: when the file ends inside a field, its missing bytes keep
// those of the field before.
std::uint32_t scratch_field(const Head& head, std::size_t at, std::uint8_t (&scratch)[4]) {
    for (std::size_t i = 0; i < 4 && at + i < head.length; ++i) {
        scratch[i] = head.bytes[at + i];
    }
    return static_cast<std::uint32_t>(scratch[0]) | static_cast<std::uint32_t>(scratch[1]) << 8 |
           static_cast<std::uint32_t>(scratch[2]) << 16 |
           static_cast<std::uint32_t>(scratch[3]) << 24;
}

// A little-endian field read on its own: missing bytes count as 0.
std::uint32_t plain_field(const Head& head, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        const std::size_t byte_at = at + static_cast<std::size_t>(i);
        value = value << 8 | (byte_at < head.length ? head.bytes[byte_at] : 0u);
    }
    return value;
}

void read_palette(const Head& head, PictureFacts& facts) {
    const std::uint32_t colours_used =
        facts.info_size >= 36 ? plain_field(head, COLOURS_USED_AT, 4) : 0;
    std::uint64_t wanted = 0;
    if (colours_used != 0) {
        wanted = colours_used < 256 ? colours_used : 256;
    } else if (facts.bits_per_pixel <= 8) {
        wanted = 1u << facts.bits_per_pixel;
    }
    // Entries are blue, green, red and a spare byte; they end where the
    // pixels start.
    const std::uint64_t start = 14 + static_cast<std::uint64_t>(facts.info_size);
    const std::uint64_t end = facts.pixel_offset < head.length ? facts.pixel_offset : head.length;
    if (start >= end) {
        return;
    }
    const std::uint64_t fit = (end - start) / 4;
    const int count = static_cast<int>(fit < wanted ? fit : wanted);
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* entry = head.bytes + start + 4 * static_cast<std::uint64_t>(i);
        facts.palette[i] = Rgb{entry[2], entry[1], entry[0]};
    }
    facts.palette_entries = count;
}

const char* compression_name(std::uint32_t compression) {
    switch (compression) {
    case 3:
        return "bit fields";
    case 4:
        return "JPEG";
    case 5:
        return "PNG";
    case 6:
        return "bit fields with alpha";
    default:
        return "unknown";
    }
}

// "an 8-bit", "a 4-bit": the article before a depth in words.
const char* article(int bits) {
    return bits == 8 || bits == 11 || bits == 18 || (bits >= 80 && bits <= 89) ? "an" : "a";
}

enum class BmpPixels : std::uint8_t { Indexed, RunLength8, RunLength4, Truecolour };

// How the pixels are stored, or why they can't be read.
PictureVerdict check_encoding(const PictureFacts& facts, BmpPixels& pixels) {
    const int bits = facts.bits_per_pixel;
    const std::uint32_t compression = facts.compression;
    if (compression == RUN_LENGTH_8 && bits != 8) {
        return refuse("run-length compressed 8-bit data in %s %d-bit picture; re-save it",
                      article(bits), bits);
    }
    if (compression == RUN_LENGTH_4 && bits != 4) {
        return refuse("run-length compressed 4-bit data in %s %d-bit picture; re-save it",
                      article(bits), bits);
    }
    if (compression > RUN_LENGTH_4) {
        return refuse("compression %" PRIu32 " (%s), which kelvora does not read; save it "
                      "uncompressed",
                      compression, compression_name(compression));
    }
    if (compression != UNCOMPRESSED && facts.height < 0) {
        return refuse("run-length compressed rows stored top row first, which BMP does not "
                      "allow; re-save it");
    }
    if (compression == RUN_LENGTH_8 || compression == RUN_LENGTH_4) {
        pixels = compression == RUN_LENGTH_8 ? BmpPixels::RunLength8 : BmpPixels::RunLength4;
        return taken();
    }
    if (bits == 1 || bits == 2 || bits == 4 || bits == 8) {
        pixels = BmpPixels::Indexed;
        return taken();
    }
    if (bits == 24 || bits == 32) {
        pixels = BmpPixels::Truecolour;
        return taken();
    }
    return refuse("%d bits per pixel, which kelvora does not read; save it with 1, 2, 4, 8, "
                  "24 or 32 bits per pixel",
                  bits);
}

struct Rows {
    int width;
    int height; // always positive
    bool bottom_up;
    // The picture row of the i-th row in the file.
    int y_of(int i) const { return bottom_up ? height - 1 - i : i; }
};

// Reads one stored row of `count` bytes. A file that ends early repeats the
// last byte it gave (0 if none) for every byte missing.
void read_row_bytes(ByteReader& in, std::uint8_t* bytes, std::size_t count, std::uint8_t& last_byte,
                    PictureFacts& facts) {
    const std::size_t got = read_bytes(in, bytes, count);
    if (got > 0) {
        last_byte = bytes[got - 1];
    }
    facts.bytes_missing += count - got;
    std::memset(bytes + got, last_byte, count - got);
}

// Rows of 1, 2, 4 or 8 bits a pixel, the leftmost pixel in the highest bits,
// each row padded to a multiple of 4 bytes. Padding is read like pixels.
void read_indexed_rows(ByteReader& in, const Rows& rows, PictureGrid& grid, PictureFacts& facts) {
    static RowSink sink; // 8 KiB of rows, kept off the stack
    sink = RowSink{&grid, rows.width, rows.bottom_up, {}};
    const int bits = facts.bits_per_pixel;
    const std::size_t row_bytes = static_cast<std::size_t>(rows.width) * bits / 8;
    const std::size_t stored = (row_bytes + 3) & ~std::size_t{3};
    const int per_byte = 8 / bits;
    const int mask = (1 << bits) - 1;
    std::uint8_t raw[GRID_SIZE + 4];
    std::uint8_t last_byte = 0;
    for (int i = 0; i < rows.height; ++i) {
        const int y = rows.y_of(i);
        std::uint8_t* row = row_for(sink, y);
        if (bits == 8) {
            read_row_bytes(in, row, stored, last_byte, facts); // stored == width
        } else {
            read_row_bytes(in, raw, stored, last_byte, facts);
            for (int x = 0; x < rows.width; ++x) {
                const int shift = 8 - bits * (x % per_byte + 1);
                row[x] = static_cast<std::uint8_t>(raw[x / per_byte] >> shift & mask);
            }
        }
        finish_row(sink, y);
    }
}

// Rows of blue, green, red (and an unused fourth byte) a pixel; width is a
// multiple of 8, so no row needs padding. Each colour must be one of the
// display's.
PictureVerdict read_truecolour_rows(ByteReader& in, const Rows& rows, PictureGrid& grid,
                                    PictureFacts& facts, Rgb* colours) {
    static RowSink sink;
    static std::uint8_t raw[GRID_SIZE * 4];
    sink = RowSink{&grid, rows.width, rows.bottom_up, {}};
    const int bytes_per_pixel = facts.bits_per_pixel / 8;
    std::uint8_t last_byte = 0;
    Rgb last_colour{0, 0, 0};
    int last_index = 0; // runs of one colour are matched once
    for (int i = 0; i < rows.height; ++i) {
        const int y = rows.y_of(i);
        read_row_bytes(in, raw, static_cast<std::size_t>(rows.width) * bytes_per_pixel, last_byte,
                       facts);
        std::uint8_t* row = row_for(sink, y);
        for (int x = 0; x < rows.width; ++x) {
            const std::uint8_t* pixel = raw + x * bytes_per_pixel;
            const Rgb colour{pixel[2], pixel[1], pixel[0]};
            if (colours != nullptr) {
                colours[y * GRID_SIZE + x] = colour;
            }
            if (!(colour == last_colour)) {
                last_colour = colour;
                last_index = match_display_colour(colour);
            }
            if (last_index < 0) {
                clear_area(grid, rows.width, rows.height);
                return refuse("pixel %d,%d is #%02x%02x%02x, which is none of the display's 16 "
                              "colours; draw with those colours only, without smoothing",
                              x, y, colour.r, colour.g, colour.b);
            }
            row[x] = static_cast<std::uint8_t>(last_index);
        }
        finish_row(sink, y);
    }
    return taken();
}

// Run-length data from the left end of the bottom row: pairs (n, v) give n
// pixels of v, or with n = 0 an end of row (v 0), the end (v 1), a move right
// and up (v 2, then the two distances) or v pixels given literally, padded
// to an even number of bytes. Pixels past the row's end are dropped; pixels
// never written are 0. Decoding stops at the end of the data, at the end of
// the file and above the top row.
void read_run_length(ByteReader& in, const Rows& rows, bool four_bit, PictureGrid& grid) {
    clear_area(grid, rows.width, rows.height);
    std::int64_t x = 0;
    std::int64_t y = rows.height - 1;
    const auto put = [&](int value) {
        if (x < rows.width) {
            grid.at(static_cast<int>(x), static_cast<int>(y)) = static_cast<ColourIndex>(value);
        }
        ++x;
    };
    for (;;) {
        const int count = next_byte(in);
        const int value = next_byte(in);
        if (count < 0 || value < 0) {
            return;
        }
        if (count > 0) {
            for (int i = 0; i < count; ++i) {
                if (x >= rows.width) { // the rest of the run is dropped
                    x += count - i;
                    break;
                }
                put(!four_bit ? value : (i % 2 == 0 ? value >> 4 : value & 15));
            }
            continue;
        }
        if (value == 0) { // end of row
            x = 0;
            if (--y < 0) {
                return;
            }
        } else if (value == 1) { // end of picture
            return;
        } else if (value == 2) { // move right and up
            const int right = next_byte(in);
            const int up = next_byte(in);
            if (right < 0 || up < 0) {
                return;
            }
            x += right;
            y -= up;
            if (y < 0) {
                return;
            }
        } else { // `value` pixels given literally
            const int bytes = four_bit ? (value + 1) / 2 : value;
            for (int i = 0; i < bytes; ++i) {
                const int byte = next_byte(in);
                if (byte < 0) {
                    return;
                }
                if (!four_bit) {
                    put(byte);
                } else {
                    put(byte >> 4);
                    if (2 * i + 1 < value) {
                        put(byte & 15);
                    }
                }
            }
            if (bytes % 2 != 0 && next_byte(in) < 0) {
                return;
            }
        }
    }
}

PictureVerdict read_bmp(ByteReader& in, Head& head, PictureGrid& grid, PictureFacts& facts,
                        Rgb* colours) {
    std::uint8_t scratch[4] = {0, 0, 0, 0};
    facts.format = PictureFormat::Bmp;
    facts.signature_is_bm = head.length >= 2 && head.bytes[0] == 'B' && head.bytes[1] == 'M';
    facts.pixel_offset = scratch_field(head, PIXEL_OFFSET_AT, scratch);
    facts.width = static_cast<std::int32_t>(scratch_field(head, WIDTH_AT, scratch));
    facts.height = static_cast<std::int32_t>(scratch_field(head, HEIGHT_AT, scratch));
    facts.info_size = plain_field(head, INFO_SIZE_AT, 4);
    facts.bits_per_pixel = static_cast<std::uint16_t>(plain_field(head, BITS_AT, 1));

    if (head.length < HEADER_BYTES_READ) {
        return refuse("the file ends after %zu bytes, inside its header; save the picture again "
                      "as a BMP or PNG",
                      head.length);
    }
    if (facts.pixel_offset < HEADER_BYTES_READ) {
        return refuse("its pixel data would start at byte %" PRIu32 ", inside its header; "
                      "re-save it",
                      facts.pixel_offset);
    }
    if (facts.info_size == OLD_INFO_SIZE) {
        return refuse("it has the old 12-byte BMP header; re-save it with a 40-byte or larger "
                      "header");
    }
    PictureVerdict verdict = check_size(facts.width, facts.height);
    if (!verdict.taken) {
        return verdict;
    }
    // The rest of the headers and the palette; what lies beyond the kept
    // head is dropped unread.
    const std::uint64_t rest = facts.pixel_offset - HEADER_BYTES_READ;
    const std::size_t keep =
        rest < HEAD_BYTES - head.length ? static_cast<std::size_t>(rest) : HEAD_BYTES - head.length;
    const std::size_t kept = read_bytes(in, head.bytes + head.length, keep);
    head.length += kept;
    const std::uint64_t skipped = kept == keep ? skip_bytes(in, rest - keep) : 0;
    // The compression field lies in the header only when the pixels start after it.
    if (facts.pixel_offset >= COMPRESSION_AT + 4) {
        facts.compression = plain_field(head, COMPRESSION_AT, 4);
    }
    BmpPixels pixels = BmpPixels::Indexed;
    verdict = check_encoding(facts, pixels);
    if (!verdict.taken) {
        return verdict;
    }
    const Rows rows{facts.width, facts.height < 0 ? -facts.height : facts.height, facts.height > 0};
    facts.indexed = pixels != BmpPixels::Truecolour;
    switch (pixels) {
    case BmpPixels::Indexed:
        read_palette(head, facts);
        facts.bytes_missing = rest - kept - skipped;
        read_indexed_rows(in, rows, grid, facts);
        return verdict;
    case BmpPixels::RunLength8:
    case BmpPixels::RunLength4:
        read_palette(head, facts);
        read_run_length(in, rows, pixels == BmpPixels::RunLength4, grid);
        return verdict;
    case BmpPixels::Truecolour:
        facts.bytes_missing = rest - kept - skipped;
        return read_truecolour_rows(in, rows, grid, facts, colours);
    }
    return verdict;
}

} // namespace

PictureVerdict read_picture(ByteReader& in, PictureGrid& grid, PictureFacts& facts, Rgb* colours) {
    static_assert(HEAD_BYTES > COLOURS_USED_AT + 4);
    facts = PictureFacts{};
    for (int i = 0; i < 256; ++i) {
        facts.palette[i] = display_colour(i);
    }
    static Head head; // 4 KiB, kept off the stack
    head.length = read_bytes(in, head.bytes, PNG_SIGNATURE_BYTES);
    if (is_png_signature(head.bytes, head.length)) {
        return read_png(in, grid, facts, colours);
    }
    head.length += read_bytes(in, head.bytes + head.length, HEADER_BYTES_READ - head.length);
    return read_bmp(in, head, grid, facts, colours);
}

} // namespace kelvora
