// Cell conversion: ranking, ink and paper, and band encoding on a real grid.
#include <gtest/gtest.h>

#include <initializer_list>
#include <utility>
#include <vector>

#include "cells/band.h"
#include "cells/ink_paper.h"
#include "cells/ranking.h"
#include "test_support.h"

namespace kelvora {
namespace {

using test::fresh_stores;

// Fills the cell at (cx, row) with colours in the order given, `count` pixels
// each, going down each pixel column in turn.
void paint_cell(PictureGrid& grid, int cx, int row,
                std::initializer_list<std::pair<ColourIndex, int>> colours) {
    int n = 0;
    for (auto [colour, count] : colours) {
        for (int i = 0; i < count; ++i, ++n) {
            grid.at(cx + n / 8, row + n % 8) = colour;
        }
    }
}

struct RankCase {
    std::initializer_list<std::pair<ColourIndex, int>> cell;
    int a, b;
};

TEST(Ranking, ColoursOfOneCell) {
    const RankCase cases[] = {
        {{{0, 64}}, 0, 0},                    // empty cell: no colour
        {{{1, 32}, {9, 16}, {2, 16}}, 1, 2},  // 9 is 1's bright twin, so 2 comes second
        {{{0, 40}, {5, 24}}, 5, 0},           // background pushed behind the colour
        {{{0, 30}, {5, 20}, {13, 14}}, 5, 0}, // 13 is 5's twin: no second colour
        {{{6, 32}, {14, 20}, {3, 12}}, 6, 3}, // the twin skipped for the third
        {{{4, 32}, {2, 32}}, 2, 4},           // equal counts: lower index first
        {{{200, 64}}, 0, 0},                  // values above 15 never rank
        {{{7, 64}}, 7, 0},                    // single colour
        {{{0, 24}, {8, 40}}, 8, 0},           // 8 pushes 0 back; 0 is its twin, no second
        {{{12, 16}, {9, 16}, {5, 16}, {3, 16}}, 3, 5},
        {{{0, 20}, {3, 20}, {11, 12}, {4, 12}}, 3, 4},         // 0 ranked second, 11 is 3's twin
        {{{1, 10}, {2, 11}, {3, 12}, {4, 13}, {5, 18}}, 5, 4}, // fifth colour dropped
        {{{0, 64 - 9}, {2, 1}, {3, 1}, {4, 1}, {5, 1}, {6, 5}}, 6, 2},
        {{{200, 40}, {3, 24}}, 3, 0},
    };
    for (const RankCase& c : cases) {
        auto stores = fresh_stores();
        paint_cell(stores->grid, 16, 8, c.cell);
        const CellRanking r = rank_cell_colours(stores->grid, 16, 8);
        EXPECT_EQ(r.a, c.a) << "first colour " << int(c.cell.begin()->first);
        EXPECT_EQ(r.b, c.b) << "first colour " << int(c.cell.begin()->first);
    }
}

TEST(Ranking, AgreesWithThePlainHistogramOnRandomCells) {
    auto stores = fresh_stores();
    std::uint32_t state = 1;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int trial = 0; trial < 20000; ++trial) {
        // A palette of 1 to 6 values; some trials draw values above 15 too.
        ColourIndex palette[6];
        const int size = 1 + static_cast<int>(next() % 6);
        const bool wide = trial % 3 == 0;
        for (int i = 0; i < size; ++i) {
            palette[i] = static_cast<ColourIndex>(wide ? next() % 256 : next() % 16);
        }
        const int cx = 8 * static_cast<int>(next() % 128);
        const int row = static_cast<int>(next() % (GRID_SIZE - 7));
        for (int x = cx; x < cx + 8; ++x) {
            for (int y = row; y < row + 8; ++y) {
                stores->grid.at(x, y) = palette[next() % static_cast<std::uint32_t>(size)];
            }
        }
        const CellRanking want = detail::rank_cell_colours_plain(stores->grid, cx, row);
        const CellRanking forms[] = {
            rank_cell_colours(stores->grid, cx, row),
            detail::rank_cell_colours_words(stores->grid, cx, row),
#if defined(__SSE2__)
            detail::rank_cell_colours_sse2(stores->grid, cx, row),
#endif
#if defined(KELVORA_X86_DISPATCH)
            detail::cpu_has_avx2() ? detail::rank_cell_colours_avx2(stores->grid, cx, row) : want,
#endif
        };
        for (const CellRanking& got : forms) {
            ASSERT_EQ(got.a, want.a) << "trial " << trial << " form " << (&got - forms);
            ASSERT_EQ(got.b, want.b) << "trial " << trial << " form " << (&got - forms);
        }
    }
}

TEST(Band, EightRowFormsAgreeWithPixelByPixel) {
    auto stores = fresh_stores();
    std::uint32_t state = 7;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int trial = 0; trial < 5000; ++trial) {
        const int cx = 8 * static_cast<int>(next() % 128);
        const int row = static_cast<int>(next() % (GRID_SIZE - 7));
        const std::uint32_t range = trial % 2 == 0 ? 4 : 256;
        for (int x = cx; x < cx + 8; ++x) {
            for (int y = row; y < row + 8; ++y) {
                stores->grid.at(x, y) = static_cast<ColourIndex>(next() % range);
            }
        }
        const auto ink = static_cast<ColourIndex>(next() % range);
        std::uint8_t want_bits[8] = {};
        std::uint8_t want_mask[8] = {};
        for (int r = 0; r < 8; ++r) {
            for (int k = 0; k < 8; ++k) {
                const ColourIndex pixel = stores->grid.at(cx + k, row + r);
                want_bits[r] |= pixel == ink ? 0x80 >> k : 0;
                want_mask[r] |= pixel != 0 ? 0x80 >> k : 0;
            }
        }
        using Form = void (*)(const ColourIndex*, ColourIndex, std::uint8_t*, std::uint8_t*);
        const Form forms[] = {
            detail::encode_eight_rows_words,
#if defined(__SSE2__)
            detail::encode_eight_rows_sse2,
#endif
        };
        for (Form form : forms) {
            std::uint8_t bits[8];
            std::uint8_t mask[8];
            form(&stores->grid.at(cx, row), ink, bits, mask);
            for (int r = 0; r < 8; ++r) {
                ASSERT_EQ(bits[r], want_bits[r]) << "trial " << trial << " row " << r;
                ASSERT_EQ(mask[r], want_mask[r]) << "trial " << trial << " row " << r;
            }
        }
    }
}

TEST(InkPaper, PartnerColour) {
    struct Case {
        int x, d, partner;
    };
    const Case cases[] = {
        {4, 7, 0},   {5, 7, 0},  {6, 7, 0},     {7, 9, 0},     {15, 9, 0}, {12, 9, 0},
        {0, 7, 7},   {8, 7, 7},  {0, 200, 200}, {8, 0, 0},     {1, 7, 7},  {2, 7, 7},
        {10, 7, 15}, {9, 3, 11}, {3, 14, 6},    {11, 250, 10},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(partner_colour(static_cast<ColourIndex>(c.x), static_cast<std::uint8_t>(c.d)),
                  c.partner)
            << c.x << " " << c.d;
    }
}

struct ResolveCase {
    int a, b;
    int in_ink, in_paper;
    int d;
    RecordKind kind;
    int out_ink, out_paper;
};

constexpr RecordKind S = RecordKind::Sprite;
constexpr RecordKind W = RecordKind::WhiteSprite;
constexpr RecordKind B = RecordKind::Block;

TEST(InkPaper, RolesCarryFromCellToCell) {
    // A, B; ink and paper carried in; default colour; kind; ink and paper out.
    const ResolveCase cases[] = {
        {1, 2, 15, 8, 7, S, 2, 1},    // band start: the larger value becomes ink
        {2, 1, 2, 1, 7, S, 2, 1},     // A continues as ink
        {1, 2, 2, 1, 7, S, 2, 1},     // B continues as ink, A becomes paper
        {2, 6, 2, 1, 7, S, 2, 6},     // ink continues, the new B is paper
        {5, 0, 15, 8, 7, S, 5, 0},    // lone cyan: partner 0, larger value ink
        {7, 0, 15, 8, 7, S, 7, 0},    // lone white continues the band's white ink
        {2, 0, 15, 8, 7, S, 7, 2},    // lone red: partner from the default, larger is ink
        {10, 0, 15, 8, 7, S, 15, 10}, // lone bright red: the partner is bright too
        {0, 0, 6, 1, 7, S, 6, 1},     // empty cell keeps what it was given
        {0, 0, 15, 8, 7, S, 15, 0},   // empty first cell: paper "no colour" becomes 0
        {3, 5, 15, 8, 7, W, 15, 0},   // white sprite: white on black whatever is drawn
        {0, 0, 2, 6, 7, W, 15, 0},
        {1, 0, 15, 8, 0, S, 1, 0},    // partner 0; no swap, black paper is not lighter
        {8, 0, 15, 8, 7, S, 7, 0},    // lone bright black continues the "no colour" paper
        {8, 0, 15, 8, 0, S, 0, 0},    // the same with default 0: both black
        {5, 0, 0, 2, 7, B, 5, 0},     // lone cyan after black on red: cyan on black
        {1, 5, 15, 8, 7, B, 5, 1},    // dark blue ink gives way to lighter cyan paper
        {0, 5, 1, 3, 7, B, 5, 0},     // lone B: A is its partner 0, cyan ink
        {1, 0, 9, 3, 0, B, 1, 0},     // blue continues as ink, partner 0 as paper
        {3, 0, 1, 8, 7, B, 7, 3},     // lone magenta meets no carried hue: partner 7 is ink
        {9, 4, 1, 0, 7, B, 4, 9},     // bright blue continues as ink, then yields to green
        {0, 2, 15, 0, 7, B, 7, 2},    // lone red B continues nothing: partner 7 is ink
        {0, 8, 15, 0, 7, B, 7, 0},    // bright black continues black paper, ink its partner
        {4, 0, 15, 8, 200, B, 4, 0},  // green's partner is 0 whatever the default
        {0, 0, 200, 0, 7, B, 200, 0}, // an empty cell keeps a large ink
        {2, 0, 15, 8, 0, B, 2, 0},    // partner 0 with hue 2
    };
    for (const ResolveCase& c : cases) {
        InkPaper state{static_cast<ColourIndex>(c.in_ink), static_cast<ColourIndex>(c.in_paper)};
        resolve_ink_paper(CellRanking{static_cast<ColourIndex>(c.a), static_cast<ColourIndex>(c.b)},
                          state, static_cast<std::uint8_t>(c.d), c.kind);
        EXPECT_EQ(state.ink, c.out_ink)
            << c.a << "," << c.b << " in " << c.in_ink << "," << c.in_paper << " d " << c.d;
        EXPECT_EQ(state.paper, c.out_paper)
            << c.a << "," << c.b << " in " << c.in_ink << "," << c.in_paper << " d " << c.d;
    }
}

TEST(InkPaper, HueZeroWithDefaultAboveFifteen) {
    // A cell of the single colour 8 at band start with default colour 200:
    // ink takes all eight bits of the default.
    InkPaper state{15, NO_COLOUR};
    resolve_ink_paper(CellRanking{8, 0}, state, 200, B);
    EXPECT_EQ(state.ink, 200);
    EXPECT_EQ(state.paper, 0);
}

TEST(Band, MakeAttribute) {
    struct Case {
        int ink, paper, attribute;
    };
    const Case cases[] = {{6, 2, 0x16}, {15, 0, 0x47}, {7, 0, 0x07},
                          {0, 9, 0x48}, {5, 13, 0x6d}, {200, 0, 0x40}};
    for (const Case& c : cases) {
        EXPECT_EQ(
            make_attribute(static_cast<ColourIndex>(c.ink), static_cast<ColourIndex>(c.paper)),
            c.attribute)
            << c.ink << "," << c.paper;
    }
}

// Encodes the band of `width` x `height` pixels at (x, row) as the given kind would.
void encode(Stores& stores, char kind, int x, int row, int width, int height, int default_colour) {
    ResourceRecord record{};
    record.kind_char = kind;
    record.kind = kind_of(kind);
    record.x = x;
    record.y = row;
    record.width = width;
    record.height = height;
    record.default_colour = static_cast<std::uint8_t>(default_colour);
    encode_band(stores, record, record_layout(record), row);
}

// Colour 2 in the left four pixel columns, colour 6 in the right four.
void paint_two_colour_cell(PictureGrid& grid, int cx, int row) {
    for (int px = 0; px < 8; ++px) {
        for (int r = 0; r < 8; ++r) {
            grid.at(cx + px, row + r) = px < 4 ? 2 : 6;
        }
    }
}

TEST(Band, TwoColourCell) {
    auto stores = fresh_stores();
    paint_two_colour_cell(stores->grid, 0, 0);
    encode(*stores, 'B', 0, 0, 8, 8, 7);
    for (int r = 0; r < 8; ++r) {
        EXPECT_EQ(stores->bitmap.bytes[0][r], 0x0F) << r;
        EXPECT_EQ(stores->mask.bytes[0][r], 0xFF) << r;
    }
    EXPECT_EQ(stores->attributes.bytes[0], 0x16);
}

TEST(Band, EmptyFirstCell) {
    auto stores = fresh_stores();
    encode(*stores, 'B', 8, 0, 8, 8, 7);
    EXPECT_EQ(stores->attributes.bytes[1], 0x47);
    EXPECT_EQ(stores->bitmap.bytes[1][0], 0x00);
    EXPECT_EQ(stores->mask.bytes[1][0], 0x00);
}

TEST(Band, SecondCellKeepsTheFirstCellsRoles) {
    auto stores = fresh_stores();
    paint_two_colour_cell(stores->grid, 0, 0);
    paint_two_colour_cell(stores->grid, 8, 0);
    // An empty third cell keeps them as well.
    encode(*stores, 'B', 0, 0, 24, 8, 7);
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(stores->attributes.bytes[c], 0x16) << c;
    }
    EXPECT_EQ(stores->bitmap.bytes[1][3], 0x0F);
    EXPECT_EQ(stores->bitmap.bytes[2][3], 0x00);
}

TEST(Band, StateIsResetAtEachBand) {
    auto stores = fresh_stores();
    paint_two_colour_cell(stores->grid, 0, 0);
    encode(*stores, 'B', 0, 0, 8, 8, 7);
    // An empty cell in a new band starts from ink 15, paper 8, not from 6/2.
    encode(*stores, 'B', 16, 0, 8, 8, 7);
    EXPECT_EQ(stores->attributes.bytes[2], 0x47);
}

TEST(Band, TallSpriteIsRankedFromItsTopCell) {
    auto stores = fresh_stores();
    for (int r = 0; r < 24; ++r) {
        for (int px = 0; px < 8; ++px) {
            stores->grid.at(px, r) = r < 8 ? 5 : 3;
        }
    }
    encode(*stores, 'S', 0, 0, 8, 24, 7);
    EXPECT_EQ(stores->attributes.bytes[0], 0x05); // ink 5, paper partner(5) = 0
    for (int r = 0; r < 24; ++r) {
        EXPECT_EQ(stores->bitmap.bytes[0][r], r < 8 ? 0xFF : 0x00) << r;
        EXPECT_EQ(stores->mask.bytes[0][r], 0xFF) << r;
    }
}

TEST(Band, ColumnToTheRightOfTheLastCellIsCleared) {
    auto stores = fresh_stores();
    for (int c = 0; c < CELL_COLUMNS; ++c) {
        for (int r = 0; r < 16; ++r) {
            stores->bitmap.bytes[c][r] = 0xAA;
            stores->mask.bytes[c][r] = 0xAA;
        }
    }
    encode(*stores, 'B', 0, 0, 16, 8, 7);
    EXPECT_EQ(stores->bitmap.bytes[2][0], 0x00) << "cleared for the band's rows";
    EXPECT_EQ(stores->bitmap.bytes[2][7], 0x00);
    EXPECT_EQ(stores->bitmap.bytes[2][8], 0xAA) << "rows below the band untouched";
    EXPECT_EQ(stores->mask.bytes[2][0], 0xAA) << "the mask is not cleared";
    EXPECT_EQ(stores->bitmap.bytes[3][0], 0xAA);

    // The last column has no neighbour to clear, and nothing past it is touched.
    encode(*stores, 'B', 1016, 8, 8, 8, 7);
    EXPECT_EQ(stores->bitmap.bytes[127][8], 0x00);
}

TEST(Band, CellsAtAnOddXAreStoredUnderXDivEight) {
    auto stores = fresh_stores();
    // Pixels 4..11 form the first cell; make its left half colour 3.
    for (int px = 4; px < 8; ++px) {
        for (int r = 0; r < 8; ++r) {
            stores->grid.at(px, r) = 3;
        }
    }
    encode(*stores, 'B', 4, 0, 16, 8, 7);
    // Cell 1 at x = 4 goes to column 0, cell 2 at x = 12 to column 1.
    // Colour 3 with partner 7: ink 7, paper 3, so no pixel is ink.
    EXPECT_EQ(stores->attributes.bytes[0], 0x1F);
    EXPECT_EQ(stores->mask.bytes[0][0], 0xF0);
    EXPECT_EQ(stores->bitmap.bytes[0][0], 0x00);
    EXPECT_EQ(stores->mask.bytes[1][0], 0x00);
    EXPECT_EQ(stores->bitmap.bytes[2][0], 0x00);
}

TEST(Band, ValuesAboveFifteenInAnEightBitPicture) {
    auto stores = fresh_stores();
    // Left half 200, right half 0: nothing ranks, so the cell is empty and
    // stays at ink 15 / paper 0; 200 is not ink but is in the mask.
    for (int px = 0; px < 4; ++px) {
        for (int r = 0; r < 8; ++r) {
            stores->grid.at(px, r) = 200;
        }
    }
    encode(*stores, 'B', 0, 0, 8, 8, 7);
    EXPECT_EQ(stores->bitmap.bytes[0][0], 0x00);
    EXPECT_EQ(stores->mask.bytes[0][0], 0xF0);
    EXPECT_EQ(stores->attributes.bytes[0], 0x47);

    // With colour 8 in the right half and default colour 200, the ink is 200
    // taken whole, so the 200 pixels become ink bits.
    for (int px = 4; px < 8; ++px) {
        for (int r = 0; r < 8; ++r) {
            stores->grid.at(px, r) = 8;
        }
    }
    encode(*stores, 'B', 0, 0, 8, 8, 200);
    EXPECT_EQ(stores->bitmap.bytes[0][0], 0xF0);
    EXPECT_EQ(stores->attributes.bytes[0], 0x40); // 200 & 7 = 0, bright from 200's bit 3
}

TEST(Band, WhiteSpriteIsInkWhiteOnBlack) {
    auto stores = fresh_stores();
    paint_two_colour_cell(stores->grid, 0, 0);
    for (int r = 0; r < 8; ++r) {
        stores->grid.at(7, r) = 15;
    }
    encode(*stores, 's', 0, 0, 8, 8, 7);
    EXPECT_EQ(stores->attributes.bytes[0], 0x47);
    EXPECT_EQ(stores->bitmap.bytes[0][0], 0x01);
    EXPECT_EQ(stores->mask.bytes[0][0], 0xFF);
}

} // namespace
} // namespace kelvora
