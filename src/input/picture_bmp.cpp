// The BMP reader: a handful of header fields, then the pixel rows, bottom-up
// unless the height is negative, uncompressed or run-length compressed.
#include <cinttypes>
#include <cstddef>
#include <cstring>

#include "input/picture_rows.h"

namespace kelvora {
namespace picture_detail {
namespace {

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
constexpr std::size_t HEAD_BYTES = PICTURE_HEAD_BYTES;

constexpr std::uint32_t UNCOMPRESSED = 0;
constexpr std::uint32_t RUN_LENGTH_8 = 1;
constexpr std::uint32_t RUN_LENGTH_4 = 2;

// A four-byte field assembled through the one scratch area the offset, width
// and height share: when the file ends inside a field, its missing bytes keep
// those of the field before.
std::uint32_t scratch_field(const PictureScratch& head, std::size_t at,
                            std::uint8_t (&scratch)[4]) {
    for (std::size_t i = 0; i < 4 && at + i < head.head_length; ++i) {
        scratch[i] = head.head[at + i];
    }
    return static_cast<std::uint32_t>(scratch[0]) | static_cast<std::uint32_t>(scratch[1]) << 8 |
           static_cast<std::uint32_t>(scratch[2]) << 16 |
           static_cast<std::uint32_t>(scratch[3]) << 24;
}

// A little-endian field read on its own: missing bytes count as 0.
std::uint32_t plain_field(const PictureScratch& head, std::size_t at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        const std::size_t byte_at = at + static_cast<std::size_t>(i);
        value = value << 8 | (byte_at < head.head_length ? head.head[byte_at] : 0u);
    }
    return value;
}

void read_palette(const PictureScratch& head, PictureFacts& facts) {
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
    const std::uint64_t end =
        facts.pixel_offset < head.head_length ? facts.pixel_offset : head.head_length;
    if (start >= end) {
        return;
    }
    const std::uint64_t fit = (end - start) / 4;
    const int count = static_cast<int>(fit < wanted ? fit : wanted);
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* entry = head.head + start + 4 * static_cast<std::uint64_t>(i);
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
void read_indexed_rows(ByteReader& in, PictureScratch& scratch, const Rows& rows, PictureGrid& grid,
                       PictureFacts& facts) {
    RowSink sink{&grid, rows.width, rows.bottom_up, scratch.rows};
    const int bits = facts.bits_per_pixel;
    const std::size_t row_bytes = static_cast<std::size_t>(rows.width) * bits / 8;
    const std::size_t stored = (row_bytes + 3) & ~std::size_t{3};
    const int per_byte = 8 / bits;
    const int mask = (1 << bits) - 1;
    std::uint8_t* const raw = scratch.raw_row;
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
PictureVerdict read_truecolour_rows(ByteReader& in, PictureScratch& scratch, const Rows& rows,
                                    PictureGrid& grid, PictureFacts& facts, Rgb* colours) {
    RowSink sink{&grid, rows.width, rows.bottom_up, scratch.rows};
    std::uint8_t* const raw = scratch.raw_row;
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

} // namespace

PictureVerdict read_bmp(ByteReader& in, PictureScratch& head, PictureGrid& grid,
                        PictureFacts& facts, Rgb* colours) {
    static_assert(HEAD_BYTES > COLOURS_USED_AT + 4);
    head.head_length +=
        read_bytes(in, head.head + head.head_length, HEADER_BYTES_READ - head.head_length);
    std::uint8_t scratch[4] = {0, 0, 0, 0};
    facts.format = PictureFormat::Bmp;
    facts.signature_is_bm = head.head_length >= 2 && head.head[0] == 'B' && head.head[1] == 'M';
    facts.pixel_offset = scratch_field(head, PIXEL_OFFSET_AT, scratch);
    facts.width = static_cast<std::int32_t>(scratch_field(head, WIDTH_AT, scratch));
    facts.height = static_cast<std::int32_t>(scratch_field(head, HEIGHT_AT, scratch));
    facts.info_size = plain_field(head, INFO_SIZE_AT, 4);
    facts.bits_per_pixel = static_cast<std::uint16_t>(plain_field(head, BITS_AT, 1));

    if (head.head_length < HEADER_BYTES_READ) {
        return refuse("the file ends after %zu bytes, inside its header; save the picture again "
                      "as a BMP or PNG",
                      head.head_length);
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
    const std::size_t keep = rest < HEAD_BYTES - head.head_length ? static_cast<std::size_t>(rest)
                                                                  : HEAD_BYTES - head.head_length;
    const std::size_t kept = read_bytes(in, head.head + head.head_length, keep);
    head.head_length += kept;
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
        read_indexed_rows(in, head, rows, grid, facts);
        return verdict;
    case BmpPixels::RunLength8:
    case BmpPixels::RunLength4:
        read_palette(head, facts);
        read_run_length(in, rows, pixels == BmpPixels::RunLength4, grid);
        return verdict;
    case BmpPixels::Truecolour:
        facts.bytes_missing = rest - kept - skipped;
        return read_truecolour_rows(in, head, rows, grid, facts, colours);
    }
    return verdict;
}

} // namespace picture_detail
} // namespace kelvora
