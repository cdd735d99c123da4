// Ink and paper resolution. A colour whose hue continues from the previous
// cell keeps its role, so a strip of cells does not flicker between ink and
// paper; a lone colour gets a partner from the record's default colour.
#include "cells/ink_paper.h"

#include <utility>

namespace kelvora {
namespace {

constexpr int hue(ColourIndex c) {
    return c & 7;
}

} // namespace

ColourIndex partner_colour(ColourIndex x, std::uint8_t d) {
    const int h = hue(x);
    if (h >= 4) {
        return 0;
    }
    if (h == 0) {
        return d; // all eight bits, even above 15
    }
    return static_cast<ColourIndex>((d & 7) | (x & 8));
}

void resolve_ink_paper(CellRanking ranking, InkPaper& ink_paper, std::uint8_t default_colour,
                       RecordKind kind) {
    ColourIndex a = ranking.a;
    ColourIndex b = ranking.b;
    if (kind == RecordKind::WhiteSprite) {
        a = 15;
        b = NO_COLOUR;
    }
    ColourIndex ink = ink_paper.ink;
    ColourIndex paper = ink_paper.paper;
    const std::uint8_t d = default_colour;

    if (a != 0 && hue(a) == hue(ink)) {
        ink = a;
        paper = b != 0 ? b : partner_colour(a, d);
    } else if (b != 0 && hue(b) == hue(paper)) {
        paper = b;
        ink = a != 0 ? a : partner_colour(b, d);
    } else if (b != 0 && hue(b) == hue(ink)) {
        ink = b;
        paper = a != 0 ? a : partner_colour(b, d);
    } else if (a != 0 && hue(a) == hue(paper)) {
        paper = a;
        ink = b != 0 ? b : partner_colour(a, d);
    } else if (a == 0 && b == 0) {
        // An empty cell keeps the colours of the one before it.
    } else {
        if (a == 0) {
            a = partner_colour(b, d);
        }
        if (b == 0) {
            b = partner_colour(a, d);
        }
        if (a > b) {
            ink = a;
            paper = b;
        } else {
            ink = b;
            paper = a;
        }
    }

    // From here on neither is NO_COLOUR, so the attribute byte can take them as they are.
    if (paper == NO_COLOUR) {
        paper = 0;
    }
    if (ink == NO_COLOUR) {
        ink = 0;
    }
    // A black or blue ink gives way to a lighter paper.
    if (hue(ink) <= 1 && hue(paper) > hue(ink)) {
        std::swap(ink, paper);
    }
    ink_paper.ink = ink;
    ink_paper.paper = paper;
}

} // namespace kelvora
