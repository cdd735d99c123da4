// Colours in the checker's words: an index with the name of the display
// colour it is, as drawn, or as shown.
#pragma once

#include "check/finding_line.h"
#include "draw/cell_changes.h"

namespace kelvora {

// "3 magenta"; an index above 15 has no display colour of its own.
void put_colour(Line& line, int index);

// A colour as drawn: "2 red", or for an index the picture draws in another
// colour than the display gives it, "1 (drawn black)".
void put_drawn(Line& line, const DrawnColours& drawn, int index);

// A colour as it must be drawn, the index, and how the display shows it
// where that differs: "6 (shown 14 bright yellow)".
void put_index_shown(Line& text, int index, int shown);

// The truecolour route, with what it costs a picture that draws in bright
// black 8.
void put_truecolour(Line& text, const DrawnColours& drawn);

} // namespace kelvora
