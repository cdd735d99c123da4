// Fuzz target: the picture loader on arbitrary bytes. Beyond staying inside
// the grid, a rejected header must store nothing, an accepted one must leave
// the grid zero beyond the picture, and a 4-bit picture holds only 0-15.
#include <cstring>

#include "fuzz_support.h"
#include "input/picture.h"

namespace {

using namespace kelvora;

// Whole-grid scans run on every input, so they go through memcmp and 64-bit
// words rather than byte by byte under the fuzzer's instrumentation.
bool all_zero(const ColourIndex* begin, const ColourIndex* end) {
    return begin == end ||
           (*begin == 0 &&
            std::memcmp(begin, begin + 1, static_cast<std::size_t>(end - begin - 1)) == 0);
}

bool all_below_16(const ColourIndex* pixels, std::size_t count) {
    std::uint64_t high_nibbles = 0;
    for (std::size_t i = 0; i < count; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, pixels + i, 8);
        high_nibbles |= word & 0xF0F0F0F0F0F0F0F0u;
    }
    return high_nibbles == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Stores& stores = fuzz::zeroed_stores();
    PictureGrid& grid = stores.grid;
    std::FILE* stream = fuzz::open_bytes(data, size);
    const bool loaded = load_picture(stream, grid);
    std::fclose(stream);

    const ColourIndex* const pixels = grid.pixels;
    const ColourIndex* const pixels_end = pixels + GRID_SIZE * GRID_SIZE;
    if (!loaded) {
        fuzz::check(all_zero(pixels, pixels_end), "a rejected picture stored pixels");
        return 0;
    }
    // With a shorter file the header fields borrow bytes from each other, so
    // only a complete header tells the sizes and depth for sure.
    constexpr std::size_t HEADER_BYTES = 29;
    if (size < HEADER_BYTES) {
        return 0;
    }
    const auto width = static_cast<std::int32_t>(fuzz::le32_at(data, 18));
    const auto height = static_cast<std::int32_t>(fuzz::le32_at(data, 22));
    fuzz::check(width > 0 && width <= GRID_SIZE && height > 0 && height <= GRID_SIZE,
                "a picture of impossible size was accepted");
    for (int x = 0; x < GRID_SIZE; ++x) {
        const ColourIndex* column = &pixels[x * GRID_SIZE];
        const int rows_kept = x < width ? height : 0;
        fuzz::check(all_zero(column + rows_kept, column + GRID_SIZE),
                    "a pixel beyond the picture is not zero");
    }
    if (data[28] != 8) {
        fuzz::check(all_below_16(pixels, GRID_SIZE * GRID_SIZE),
                    "a 4-bit picture holds a value above 15");
    }
    return 0;
}
