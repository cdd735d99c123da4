// Cell colour ranking: the four most frequent of colours 0-15, ties going to
// the lower index, then colour 0 moved to the back and same-hue twins merged.
#include "cells/ranking.h"

#include <bit>
#include <cstdint>

#include "cells/swar.h"
#include "model/forms.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(KELVORA_X86_DISPATCH)
#include <immintrin.h>
#endif

namespace kelvora {
namespace {

// Four slots, most frequent first. Each holds count << 4 | (15 - colour), so
// that of two equal counts the lower colour has the larger key: the order a
// strict ranking visiting colours in ascending order gives. An empty slot
// holds colour 0 with count 0, below every colour that occurs.
using Slots = std::uint32_t[4];
constexpr std::uint32_t EMPTY_SLOT = 15;

// Inserts by passing the smaller key down; the smallest falls off the end.
inline void insert_key(Slots& slot, std::uint32_t count, ColourIndex colour) {
    std::uint32_t key = count << 4 | static_cast<std::uint32_t>(15 - colour);
    for (std::uint32_t& s : slot) {
        const std::uint32_t larger = s > key ? s : key;
        key = s > key ? key : s;
        s = larger;
    }
}

inline __attribute__((always_inline)) CellRanking finish_ranking(const Slots& slot) {
    ColourIndex c[4];
    for (int s = 0; s < 4; ++s) {
        c[s] = static_cast<ColourIndex>(15 - (slot[s] & 15));
    }
    // Background goes last, one step at a time in this order. Selects, not
    // branches: whether a colour is 0 depends on the picture.
    const auto step_back_zero = [&c](int k) {
        const bool zero = c[k] == 0;
        const ColourIndex next = c[k + 1];
        c[k + 1] = zero ? 0 : next;
        c[k] = zero ? next : c[k];
    };
    step_back_zero(0);
    step_back_zero(1);
    step_back_zero(2);
    // The same hue at the other brightness cannot be a second colour.
    const ColourIndex second = (c[1] & 7) == (c[0] & 7) ? c[2] : c[1];
    return CellRanking{c[0], second};
}

} // namespace

namespace detail {

CellRanking rank_cell_colours_plain(const PictureGrid& grid, int cx, int row) {
    // A counter for every byte value, then colours 0-15 inserted in
    // ascending order into four slots, a colour passing only those it has
    // more pixels than.
    int counts[256] = {};
    for (int x = cx; x < cx + 8; ++x) {
        for (int y = row; y < row + 8; ++y) {
            ++counts[grid.at(x, y)];
        }
    }
    int colour[4] = {0, 0, 0, 0};
    int count[4] = {0, 0, 0, 0};
    for (int i = 0; i < 16; ++i) {
        int slot = 0;
        while (slot < 4 && counts[i] <= count[slot]) {
            ++slot;
        }
        for (int s = 3; s > slot; --s) {
            colour[s] = colour[s - 1];
            count[s] = count[s - 1];
        }
        if (slot < 4) {
            colour[slot] = i;
            count[slot] = counts[i];
        }
    }
    for (int s = 0; s < 3; ++s) {
        if (colour[s] == 0) {
            colour[s] = colour[s + 1];
            colour[s + 1] = 0;
        }
    }
    if ((colour[1] & 7) == (colour[0] & 7)) {
        colour[1] = colour[2];
    }
    return CellRanking{static_cast<ColourIndex>(colour[0]), static_cast<ColourIndex>(colour[1])};
}

CellRanking rank_cell_colours_words(const PictureGrid& grid, int cx, int row) {
    // Each pixel column of the cell is one word of 8 rows. Only colours 0-15
    // can rank, so pixels above 15 are left out of the count from the start.
    const ColourIndex* cell = grid.column(cx) + row;
    std::uint64_t columns[8];
    std::uint64_t uncounted[8]; // 0x80 in the bytes of pixels still to count
    for (int k = 0; k < 8; ++k) {
        columns[k] = load8(cell + k * COLUMN_STRIDE);
        uncounted[k] = ~nonzero_bytes(columns[k] & 0xF0F0F0F0F0F0F0F0ull) & HIGH_BITS;
    }

    // Count one colour at a time, taking the first pixel not yet counted: a
    // cell of d colours costs d passes over its eight words, never above 16.
    Slots slot = {EMPTY_SLOT, EMPTY_SLOT, EMPTY_SLOT, EMPTY_SLOT};
    int first = 0;
    for (;;) {
        while (first < 8 && uncounted[first] == 0) {
            ++first;
        }
        if (first == 8) {
            break;
        }
        const int shift = std::countr_zero(uncounted[first]) & ~7;
        const auto colour = static_cast<ColourIndex>(columns[first] >> shift);
        // Earlier columns hold no pixel of this colour, or it would have been
        // counted already. Per byte the equality flags add up to at most 8;
        // the multiply then adds the 8 bytes into the top one.
        std::uint64_t per_row = 0;
        for (int k = first; k < 8; ++k) {
            const std::uint64_t equal = equal_bytes(columns[k], colour);
            per_row += equal >> 7;
            uncounted[k] &= ~equal;
        }
        insert_key(slot, static_cast<std::uint32_t>((per_row * LOW_BITS) >> 56), colour);
    }
    return finish_ranking(slot);
}

#if defined(__SSE2__)
CellRanking rank_cell_colours_sse2(const PictureGrid& grid, int cx, int row) {
    // Four vectors of two pixel columns each hold the cell's 64 pixels;
    // `pixels` keeps them in the same order for picking a colour by index.
    const ColourIndex* cell = grid.column(cx) + row;
    alignas(16) ColourIndex pixels[64];
    __m128i v[4];
    const __m128i high_nibbles = _mm_set1_epi8(static_cast<char>(0xF0));
    const __m128i zero = _mm_setzero_si128();
    std::uint64_t uncounted = 0; // bit i: pixel i is still to count
    for (int j = 0; j < 4; ++j) {
        const __m128i left =
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cell + 2 * j * COLUMN_STRIDE));
        const __m128i right =
            _mm_loadl_epi64(reinterpret_cast<const __m128i*>(cell + (2 * j + 1) * COLUMN_STRIDE));
        v[j] = _mm_unpacklo_epi64(left, right);
        _mm_store_si128(reinterpret_cast<__m128i*>(pixels + 16 * j), v[j]);
        // Only colours 0-15 can rank; other values are never counted.
        const __m128i small = _mm_cmpeq_epi8(_mm_and_si128(v[j], high_nibbles), zero);
        uncounted |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(small)))
                     << (16 * j);
    }

    // One pass per colour in the cell, as in the word-wise form.
    Slots slot = {EMPTY_SLOT, EMPTY_SLOT, EMPTY_SLOT, EMPTY_SLOT};
    while (uncounted != 0) {
        const ColourIndex colour = pixels[std::countr_zero(uncounted)];
        const __m128i wanted = _mm_set1_epi8(static_cast<char>(colour));
        __m128i tally = zero; // per byte, minus the number of matches
        std::uint64_t matched = 0;
        for (int j = 0; j < 4; ++j) {
            const __m128i equal = _mm_cmpeq_epi8(v[j], wanted);
            tally = _mm_sub_epi8(tally, equal);
            matched |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(equal)))
                       << (16 * j);
        }
        uncounted &= ~matched;
        const __m128i sums = _mm_sad_epu8(tally, zero); // two partial sums, one per half
        const auto count = static_cast<std::uint32_t>(_mm_cvtsi128_si32(sums) +
                                                      _mm_cvtsi128_si32(_mm_srli_si128(sums, 8)));
        insert_key(slot, count, colour);
    }
    return finish_ranking(slot);
}
#endif

#if defined(KELVORA_X86_DISPATCH)
// How many of the 64 pixels in the two vectors are `colour`.
__attribute__((target("avx2,popcnt"))) static inline std::uint32_t
pixels_of_avx2(const __m256i (&v)[2], ColourIndex colour) {
    const __m256i wanted = _mm256_set1_epi8(static_cast<char>(colour));
    const std::uint64_t matched =
        static_cast<std::uint64_t>(
            static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v[0], wanted)))) |
        static_cast<std::uint64_t>(
            static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(v[1], wanted))))
            << 32;
    return static_cast<std::uint32_t>(std::popcount(matched));
}

__attribute__((target("avx2,popcnt,bmi"))) CellRanking
rank_cell_colours_avx2(const PictureGrid& grid, int cx, int row) {
    // Two vectors of four pixel columns each hold the cell's 64 pixels.
    const ColourIndex* cell = grid.column(cx) + row;
    __m256i v[2];
    for (int j = 0; j < 2; ++j) {
        const ColourIndex* columns = cell + 4 * j * COLUMN_STRIDE;
        v[j] = _mm256_set_epi64x(static_cast<long long>(load8(columns + 3 * COLUMN_STRIDE)),
                                 static_cast<long long>(load8(columns + 2 * COLUMN_STRIDE)),
                                 static_cast<long long>(load8(columns + COLUMN_STRIDE)),
                                 static_cast<long long>(load8(columns)));
    }
    // Which of colours 0-15 occur, found first and all at once: each pixel
    // looks up its colour's bit among the low eight colours and among the
    // high eight, and the bits are OR-ed together. Adding 0x70 with
    // saturation sets the top bit of pixels above 15, which then look up
    // nothing. Counting the colours found does not wait on each other then,
    // as it would if each had to be found among the pixels not yet counted.
    const __m256i low_bits = _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0,
                                              1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i high_bits =
        _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0,
                         0, 1, 2, 4, 8, 16, 32, 64, -128);
    const __m256i offset = _mm256_set1_epi8(0x70);
    const __m256i index0 = _mm256_adds_epu8(v[0], offset);
    const __m256i index1 = _mm256_adds_epu8(v[1], offset);
    const __m256i low = _mm256_or_si256(_mm256_shuffle_epi8(low_bits, index0),
                                        _mm256_shuffle_epi8(low_bits, index1));
    const __m256i high = _mm256_or_si256(_mm256_shuffle_epi8(high_bits, index0),
                                         _mm256_shuffle_epi8(high_bits, index1));
    // Sixteen-bit lanes of low | high << 8, then OR-ed down to one.
    const __m256i both =
        _mm256_or_si256(_mm256_unpacklo_epi8(low, high), _mm256_unpackhi_epi8(low, high));
    __m128i seen = _mm_or_si128(_mm256_castsi256_si128(both), _mm256_extracti128_si256(both, 1));
    seen = _mm_or_si128(seen, _mm_unpackhi_epi64(seen, seen));
    seen = _mm_or_si128(seen, _mm_srli_epi64(seen, 32));
    seen = _mm_or_si128(seen, _mm_srli_epi32(seen, 16));
    auto present = static_cast<std::uint32_t>(_mm_cvtsi128_si32(seen)) & 0xFFFFu;

    Slots slot = {EMPTY_SLOT, EMPTY_SLOT, EMPTY_SLOT, EMPTY_SLOT};
    while (present != 0) {
        const auto colour = static_cast<ColourIndex>(std::countr_zero(present));
        present &= present - 1;
        insert_key(slot, pixels_of_avx2(v, colour), colour);
    }
    return finish_ranking(slot);
}
#endif

} // namespace detail

#if defined(KELVORA_X86_DISPATCH)
namespace {
// Decided once, before main: every cell then takes the same, well-predicted
// branch.
const bool RANK_WITH_AVX2 = detail::cpu_has_avx2();
} // namespace
#endif

CellRanking rank_cell_colours(const PictureGrid& grid, int cx, int row) {
    if constexpr (!USE_FAST_FORMS) {
        return detail::rank_cell_colours_plain(grid, cx, row);
    }
#if defined(KELVORA_X86_DISPATCH)
    if (RANK_WITH_AVX2) {
        return detail::rank_cell_colours_avx2(grid, cx, row);
    }
#endif
#if defined(__SSE2__)
    return detail::rank_cell_colours_sse2(grid, cx, row);
#else
    return detail::rank_cell_colours_words(grid, cx, row);
#endif
}

} // namespace kelvora
