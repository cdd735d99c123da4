// Fuzz target: the picture reader on arbitrary bytes. Beyond staying inside
// the grid, a refused picture must store nothing and say why, a taken one
// must be of a size the grid holds and leave the grid zero beyond it, and a
// picture of fewer than 8 bits a pixel holds only 0-15. Every cell of a taken
// picture is ranked by each fast form and by the plain one, which must agree.
#include <cstring>

#include "cells/ranking.h"
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

// Each fast form of the ranking against the plain one, on every cell the
// picture covers.
void check_ranking_forms(const PictureGrid& grid, int width, int height) {
#if defined(KELVORA_X86_DISPATCH)
    const bool avx2 = detail::cpu_has_avx2();
#endif
    for (int cx = 0; cx < width; cx += 8) {
        for (int row = 0; row < height; row += 8) {
            const CellRanking plain = detail::rank_cell_colours_plain(grid, cx, row);
            const CellRanking forms[] = {
                rank_cell_colours(grid, cx, row),
                detail::rank_cell_colours_words(grid, cx, row),
#if defined(__SSE2__)
                detail::rank_cell_colours_sse2(grid, cx, row),
#endif
#if defined(KELVORA_X86_DISPATCH)
                avx2 ? detail::rank_cell_colours_avx2(grid, cx, row) : plain,
#endif
            };
            for (const CellRanking& form : forms) {
                fuzz::check(form.a == plain.a && form.b == plain.b,
                            "a fast form of the ranking disagrees with the plain one");
            }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Stores& stores = fuzz::zeroed_stores();
    PictureGrid& grid = stores.grid;
    PictureFacts facts;
    const PictureVerdict verdict =
        read_picture(fuzz::reader_over(data, size), fuzz::picture_scratch(), grid, facts);

    const ColourIndex* const pixels = grid.pixels;
    const ColourIndex* const pixels_end = pixels + sizeof grid.pixels;
    if (!verdict.taken) {
        fuzz::check(all_zero(pixels, pixels_end), "a refused picture stored pixels");
        fuzz::check(verdict.reason[0] != '\0', "a refused picture has no reason");
        return 0;
    }
    const int width = facts.width;
    const int height = picture_rows(facts);
    fuzz::check(width > 0 && width <= GRID_SIZE && height > 0 && height <= GRID_SIZE,
                "a picture of impossible size was taken");
    check_ranking_forms(grid, width, height);
    for (int x = 0; x < GRID_SIZE; ++x) {
        const ColourIndex* column = grid.column(x);
        const int rows_kept = x < width ? height : 0;
        fuzz::check(all_zero(column + rows_kept, column + GRID_SIZE),
                    "a pixel beyond the picture is not zero");
    }
    // Only 8-bit indices can be above 15; matched colours never are.
    if (!facts.indexed || facts.bits_per_pixel < 8) {
        fuzz::check(all_below_16(pixels, sizeof grid.pixels),
                    "a picture without 8-bit indices holds a value above 15");
    }
    return 0;
}
