// Ranks the colours of one 8x8 cell: the two colours the cell is drawn with.
#pragma once

#include "cells/stores.h"

namespace kelvora {

// The cell is columns cx..cx+7, rows row..row+7 of the grid; the caller keeps
// it inside. Colour 0 is background: it is pushed behind every other colour.
CellRanking rank_cell_colours(const PictureGrid& grid, int cx, int row);

} // namespace kelvora
