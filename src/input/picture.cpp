// BMP picture loader: a handful of header fields, then the pixel rows
// bottom-up. The palette and the compression field are never looked at.
#include "input/picture.h"

#include <cstddef>

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
    std::uint8_t row[GRID_SIZE];
    std::uint8_t last_byte = 0; // repeated for bytes missing at the end of a short file

    for (int y = height - 1; y >= 0; --y) {
        std::size_t got = std::fread(row, 1, row_bytes, stream);
        if (got > 0) {
            last_byte = row[got - 1];
        }
        for (std::size_t i = got; i < row_bytes; ++i) {
            row[i] = last_byte;
        }
        if (one_byte_per_pixel) {
            for (std::size_t x = 0; x < row_bytes; ++x) {
                grid.pixels[x * GRID_SIZE + static_cast<std::size_t>(y)] = row[x];
            }
        } else {
            for (std::size_t i = 0; i < row_bytes; ++i) {
                std::size_t x = 2 * i;
                grid.pixels[x * GRID_SIZE + static_cast<std::size_t>(y)] = row[i] >> 4;
                grid.pixels[(x + 1) * GRID_SIZE + static_cast<std::size_t>(y)] = row[i] & 0x0F;
            }
        }
    }
    return true;
}

} // namespace kelvora
