// Ranks the colours of one 8x8 cell: the two colours the cell is drawn with.
#pragma once

#include "cells/cpu_features.h"
#include "model/stores.h"

namespace kelvora {

// The cell is columns cx..cx+7, rows row..row+7 of the grid; the caller keeps
// it inside. Colour 0 is background: it is pushed behind every other colour.
CellRanking rank_cell_colours(const PictureGrid& grid, int cx, int row);

namespace detail {
// The ways the ranking is computed: the plain form, a histogram of every
// byte value; 64-bit words on any machine, 128-bit vectors where the
// compiler targets SSE2, and 256-bit vectors on a processor found at run
// time to have AVX2. rank_cell_colours uses the fastest there is, or the
// plain form in a build of plain forms; tests and the conversion fuzz target
// check each fast form against the plain one.
CellRanking rank_cell_colours_plain(const PictureGrid& grid, int cx, int row);
CellRanking rank_cell_colours_words(const PictureGrid& grid, int cx, int row);
#if defined(__SSE2__)
CellRanking rank_cell_colours_sse2(const PictureGrid& grid, int cx, int row);
#endif
#if defined(KELVORA_X86_DISPATCH)
CellRanking rank_cell_colours_avx2(const PictureGrid& grid, int cx, int row);
#endif
} // namespace detail

} // namespace kelvora
