// Encodes one band of a record into the bit planes and the attribute row.
#pragma once

#include <cstdint>

#include "model/resource_record.h"
#include "model/stores.h"

namespace kelvora {

// Attribute byte: bit 6 bright, bits 5-3 paper hue, bits 2-0 ink hue. Ink
// and paper come from the ink/paper resolution, which never leaves either
// at NO_COLOUR.
std::uint8_t make_attribute(ColourIndex ink, ColourIndex paper);

// A band's cells take their colours left to right, each from its ranked
// colours and those the cell before it left: a band starts from ink 15 and
// no paper.
inline constexpr InkPaper BAND_START_COLOURS{15, NO_COLOUR};

// Chooses the colours of the record's cell whose top-left pixel is (cx, top)
// into `ink_paper`, as the band's encoding does, and returns its ink: the
// colour whose pixels are the cell's set bits.
ColourIndex choose_cell_colours(const PictureGrid& grid, const ResourceRecord& record, int cx,
                                int top, InkPaper& ink_paper);

// Encodes the record's band whose top row is `row`: its cells from x across,
// rows row .. row + band height - 1. The caller has checked that every cell,
// the ranked top 8 rows included, lies inside the grid. Resets the ink/paper
// state first.
void encode_band(Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                 std::int64_t row);

namespace detail {
// The bitmap and mask bytes of eight rows of one cell (`cell` is its top-left
// pixel in the grid): 64-bit words on any machine, 128-bit vectors where the
// compiler targets SSE2. The encoder uses the second where it can.
void encode_eight_rows_words(const ColourIndex* cell, ColourIndex ink, std::uint8_t* bits,
                             std::uint8_t* mask);
#if defined(__SSE2__)
void encode_eight_rows_sse2(const ColourIndex* cell, ColourIndex ink, std::uint8_t* bits,
                            std::uint8_t* mask);
#endif
} // namespace detail

} // namespace kelvora
