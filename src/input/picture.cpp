// BMP picture reader: a handful of header fields, then the pixel rows
// bottom-up, each pixel's palette index taken as its colour.
#include "input/picture.h"

#include <bit>
#include <cinttypes>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <initializer_list>

namespace kelvora {
namespace {

// Header fields, as offsets from the start of the file.
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
// The first bytes of the file are kept: they hold every header field and a
// 256-entry palette behind the largest info header in use.
constexpr std::size_t HEAD_BYTES = 4096;

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

// The display's sixteen colours: hue bits blue 1, red 2, green 4; bright 8.
Rgb standard_colour(int index) {
    if (index > 15) {
        return Rgb{0, 0, 0};
    }
    const auto level = static_cast<std::uint8_t>(index < 8 ? 0xD7 : 0xFF);
    return Rgb{(index & 2) != 0 ? level : std::uint8_t{0},
               (index & 4) != 0 ? level : std::uint8_t{0},
               (index & 1) != 0 ? level : std::uint8_t{0}};
}

bool size_passes(std::int32_t size) {
    return size > 0 && size <= GRID_SIZE && size % 8 == 0;
}

void read_palette(const Head& head, PictureFacts& facts) {
    for (int i = 0; i < 256; ++i) {
        facts.palette[i] = standard_colour(i);
    }
    facts.palette_entries = 0;
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

PictureVerdict refuse(const char* format, std::int64_t value) {
    PictureVerdict verdict{false, {}};
    std::snprintf(verdict.reason, sizeof verdict.reason, format, value);
    return verdict;
}

PictureVerdict check_header(const PictureFacts& facts) {
    if (facts.pixel_offset < HEADER_BYTES_READ) {
        return refuse("its pixel data would start at byte %" PRId64 ", inside the header",
                      facts.pixel_offset);
    }
    if (facts.height < 0 && facts.height >= -GRID_SIZE) {
        return refuse("its rows are stored top-down (height %" PRId64 ")", facts.height);
    }
    if (!size_passes(facts.width)) {
        return refuse("it is %" PRId64 " pixels wide", facts.width);
    }
    if (!size_passes(facts.height)) {
        return refuse("it is %" PRId64 " pixels high", facts.height);
    }
    return PictureVerdict{true, {}};
}

// Writes the 8 x 8 block of pixels at columns x..x+7 of the eight rows as
// eight column pieces of 8 bytes, one per pixel column, GRID_SIZE apart.
void store_transposed(const std::uint8_t (&rows)[8][GRID_SIZE], std::size_t x,
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
            std::memcpy(destination + static_cast<std::size_t>(i) * GRID_SIZE, &w[i], 8);
        }
    } else {
        for (int i = 0; i < 8; ++i) {
            for (int r = 0; r < 8; ++r) {
                destination[static_cast<std::size_t>(i) * GRID_SIZE + r] = rows[r][x + i];
            }
        }
    }
}

// Rows of one byte a pixel (8 bits) or two (any other depth, the high nibble
// being the left pixel), bottom row first, with no padding between rows: a
// checked width makes every row a multiple of 4 bytes already.
void read_indexed_rows(ByteReader& in, PictureGrid& grid, PictureFacts& facts) {
    const bool one_byte_per_pixel = (facts.bits_per_pixel & 0xFF) == 8;
    const auto width = static_cast<std::size_t>(facts.width);
    const std::size_t row_bytes = one_byte_per_pixel ? width : width / 2;

    // The file holds rows and the grid holds columns. Eight rows at a time
    // are read and turned into eight-byte column pieces, so each piece is
    // written to the grid once instead of one byte at a time across 1 KiB
    // strides.
    std::uint8_t block[8][GRID_SIZE];
    std::uint8_t raw[GRID_SIZE];
    std::uint8_t last_byte = 0; // repeated for bytes missing at the end of a short file

    for (int bottom = facts.height - 1; bottom >= 0; bottom -= 8) {
        const int top = bottom - 7;
        for (int j = 0; j < 8; ++j) {
            // The j-th row read in this block is the picture row bottom - j,
            // which goes to block[7 - j], so block[r] is row top + r.
            std::uint8_t* row = block[7 - j];
            std::uint8_t* bytes = one_byte_per_pixel ? row : raw;
            const std::size_t got = read_bytes(in, bytes, row_bytes);
            if (got > 0) {
                last_byte = bytes[got - 1];
            }
            facts.bytes_missing += row_bytes - got;
            for (std::size_t i = got; i < row_bytes; ++i) {
                bytes[i] = last_byte;
            }
            if (!one_byte_per_pixel) {
                for (std::size_t i = 0; i < row_bytes; ++i) {
                    row[2 * i] = raw[i] >> 4;
                    row[2 * i + 1] = raw[i] & 0x0F;
                }
            }
        }
        for (std::size_t x = 0; x < width; x += 8) {
            store_transposed(block, x, &grid.pixels[x * GRID_SIZE + static_cast<std::size_t>(top)]);
        }
    }
}

} // namespace

PictureVerdict read_picture(ByteReader& in, PictureGrid& grid, PictureFacts& facts) {
    static_assert(HEAD_BYTES > COLOURS_USED_AT + 4);
    Head head; // filled as far as the file goes
    head.length = read_bytes(in, head.bytes, HEADER_BYTES_READ);

    std::uint8_t scratch[4] = {0, 0, 0, 0};
    facts = PictureFacts{};
    facts.signature_is_bm = head.length >= 2 && head.bytes[0] == 'B' && head.bytes[1] == 'M';
    facts.pixel_offset = scratch_field(head, PIXEL_OFFSET_AT, scratch);
    facts.width = static_cast<std::int32_t>(scratch_field(head, WIDTH_AT, scratch));
    facts.height = static_cast<std::int32_t>(scratch_field(head, HEIGHT_AT, scratch));
    facts.info_size = plain_field(head, INFO_SIZE_AT, 4);
    facts.bits_per_pixel = static_cast<std::uint16_t>(plain_field(head, BITS_AT, 1));

    const PictureVerdict verdict = check_header(facts);
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
    facts.bytes_missing = rest - kept - skipped;

    // The high byte of the depth lies at the first pixel byte when the
    // pixels start right after the depth byte.
    const int high_byte =
        facts.pixel_offset == HEADER_BYTES_READ ? peek_byte(in) : plain_field(head, BITS_AT + 1, 1);
    facts.bits_per_pixel =
        static_cast<std::uint16_t>(facts.bits_per_pixel | (high_byte > 0 ? high_byte : 0) << 8);
    // The compression field lies in the header only when the pixels start after it.
    facts.compression =
        facts.pixel_offset >= COMPRESSION_AT + 4 ? plain_field(head, COMPRESSION_AT, 4) : 0;
    read_palette(head, facts);
    read_indexed_rows(in, grid, facts);
    return verdict;
}

} // namespace kelvora
