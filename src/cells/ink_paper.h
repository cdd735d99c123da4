// Turns a cell's two ranked colours into its ink and paper.
#pragma once

#include <cstdint>

#include "model/resource_record.h"
#include "model/stores.h"

namespace kelvora {

// The second attribute colour for a cell that has only colour x, derived from
// the record's default colour d.
ColourIndex partner_colour(ColourIndex x, std::uint8_t d);

// Updates `ink_paper` in place from the ranking and what the previous cell of
// the band left there. A white sprite's colours are fixed.
void resolve_ink_paper(CellRanking ranking, InkPaper& ink_paper, std::uint8_t default_colour,
                       RecordKind kind);

} // namespace kelvora
