// The pieces the BMP and PNG readers share: the size rule, refusals, and the
// rows of colour indices on their way into the column-major grid.
#include "input/picture_rows.h"

#include "model/forms.h"

#include <bit>
#include <cinttypes>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>

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

void store_transposed_plain(const std::uint8_t (*rows)[GRID_SIZE], std::size_t x,
                            std::uint8_t* destination) {
    for (int i = 0; i < 8; ++i) {
        for (int r = 0; r < 8; ++r) {
            destination[static_cast<std::size_t>(i) * COLUMN_STRIDE + r] = rows[r][x + i];
        }
    }
}

void store_transposed_words(const std::uint8_t (*rows)[GRID_SIZE], std::size_t x,
                            std::uint8_t* destination) {
    if constexpr (std::endian::native != std::endian::little) {
        store_transposed_plain(rows, x, destination);
        return;
    }
    // Byte i of word r is pixel (x + i) of row r. Three rounds swap the
    // off-diagonal halves of 1x1, 2x2 and 4x4 byte squares, after which byte
    // r of word i is that same pixel: word i is column x + i.
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
}

void store_transposed(const std::uint8_t (*rows)[GRID_SIZE], std::size_t x,
                      std::uint8_t* destination) {
    if constexpr (USE_FAST_FORMS) {
        store_transposed_words(rows, x, destination);
    } else {
        store_transposed_plain(rows, x, destination);
    }
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

} // namespace kelvora
