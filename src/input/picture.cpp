// BMP picture loader: a handful of header fields, then the pixel rows
// bottom-up. The palette and the compression field are never looked at.
#include "input/picture.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <initializer_list>

namespace kelvora {
namespace {

constexpr std::uint32_t HEADER_BYTES_READ = 29; // 10 + 4 + 4 + 4 + 4 + 2 + 1

// Reads and drops `count` bytes in chunks; stops early at the end of the file.
void discard(std::FILE* stream, std::uint64_t count) {
    char chunk[4096];
    while (count > 0) {
        std::size_t want = count < sizeof chunk ? static_cast<std::size_t>(count) : sizeof chunk;
        std::size_t got = std::fread(chunk, 1, want, stream);
        if (got < want) {
            return;
        }
        count -= got;
    }
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

bool size_passes(std::int32_t size) {
    return size > 0 && size <= GRID_SIZE && size % 8 == 0;
}

} // namespace

std::uint32_t read_le32(std::FILE* stream, std::uint8_t (&scratch)[4]) {
    // A short read fills only the first bytes; the rest keep the previous field's.
    (void)std::fread(scratch, 1, 4, stream);
    return static_cast<std::uint32_t>(scratch[0]) | static_cast<std::uint32_t>(scratch[1]) << 8 |
           static_cast<std::uint32_t>(scratch[2]) << 16 |
           static_cast<std::uint32_t>(scratch[3]) << 24;
}

bool load_picture(std::FILE* stream, PictureGrid& grid) {
    std::uint8_t scratch[4] = {0, 0, 0, 0};
    discard(stream, 10);
    const std::uint32_t pixel_offset = read_le32(stream, scratch);
    discard(stream, 4);
    const auto width = static_cast<std::int32_t>(read_le32(stream, scratch));
    const auto height = static_cast<std::int32_t>(read_le32(stream, scratch));
    discard(stream, 2);
    std::uint8_t bits_per_pixel = 0; // a file that ends here reads as 4-bit
    (void)std::fread(&bits_per_pixel, 1, 1, stream);

    if (pixel_offset < HEADER_BYTES_READ || !size_passes(width) || !size_passes(height)) {
        return false;
    }
    discard(stream, pixel_offset - HEADER_BYTES_READ);

    // Rows follow each other with no padding: a checked width makes every row
    // a multiple of 4 bytes already.
    const bool one_byte_per_pixel = bits_per_pixel == 8;
    const std::size_t row_bytes =
        one_byte_per_pixel ? static_cast<std::size_t>(width) : static_cast<std::size_t>(width) / 2;
    const auto pixels_per_row = static_cast<std::size_t>(width);

    // The file holds rows and the grid holds columns. Eight rows at a time
    // are read and turned into eight-byte column pieces, so each piece is
    // written to the grid once instead of one byte at a time across 1 KiB
    // strides.
    std::uint8_t block[8][GRID_SIZE];
    std::uint8_t raw[GRID_SIZE];
    std::uint8_t last_byte = 0; // repeated for bytes missing at the end of a short file

    for (int bottom = height - 1; bottom >= 0; bottom -= 8) {
        const int top = bottom - 7;
        for (int j = 0; j < 8; ++j) {
            // The j-th row read in this block is the picture row bottom - j,
            // which goes to block[7 - j], so block[r] is row top + r.
            std::uint8_t* row = block[7 - j];
            std::uint8_t* bytes = one_byte_per_pixel ? row : raw;
            const std::size_t got = std::fread(bytes, 1, row_bytes, stream);
            if (got > 0) {
                last_byte = bytes[got - 1];
            }
            for (std::size_t i = got; i < row_bytes; ++i) {
                bytes[i] = last_byte;
            }
            if (!one_byte_per_pixel) {
                // Two pixels a byte, the high nibble being the left pixel.
                for (std::size_t i = 0; i < row_bytes; ++i) {
                    row[2 * i] = raw[i] >> 4;
                    row[2 * i + 1] = raw[i] & 0x0F;
                }
            }
        }
        for (std::size_t x = 0; x < pixels_per_row; x += 8) {
            store_transposed(block, x, &grid.pixels[x * GRID_SIZE + static_cast<std::size_t>(top)]);
        }
    }
    return true;
}

} // namespace kelvora
