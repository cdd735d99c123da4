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
    // Chosen without a branch, as the colours come from the picture: hues 4
    // to 7 get 0, black gets all eight bits of d (even above 15), the other
    // hues d's hue at x's brightness.
    const int h = hue(x);
    const auto same_brightness = static_cast<ColourIndex>((d & 7) | (x & 8));
    const ColourIndex dark = h == 0 ? d : same_brightness;
    return h >= 4 ? 0 : dark;
}

namespace detail {

// The rules as they read, one branch each: the reference the form below is
// tested against.
void resolve_ink_paper_plain(CellRanking ranking, InkPaper& ink_paper, std::uint8_t default_colour,
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

} // namespace detail

// The same rules without a branch: each rule's outcome is worked out and the
// one that applies is picked. Which rule applies depends on the picture, so
// a branch on it would often be guessed wrong, and only late, once the
// cell's colours have been counted.
void resolve_ink_paper(CellRanking ranking, InkPaper& ink_paper, std::uint8_t default_colour,
                       RecordKind kind) {
    const bool white = kind == RecordKind::WhiteSprite;
    const ColourIndex a = white ? 15 : ranking.a;
    const ColourIndex b = white ? NO_COLOUR : ranking.b;
    const ColourIndex ink = ink_paper.ink;
    const ColourIndex paper = ink_paper.paper;
    // A lone colour's partner stands in for the missing one.
    const ColourIndex a_or_partner = a != 0 ? a : partner_colour(b, default_colour);
    const ColourIndex b_or_partner = b != 0 ? b : partner_colour(a, default_colour);

    // From the last rule to the first, each overriding those after it.
    ColourIndex new_ink = a_or_partner > b_or_partner ? a_or_partner : b_or_partner;
    ColourIndex new_paper = a_or_partner > b_or_partner ? b_or_partner : a_or_partner;
    const bool empty = a == 0 && b == 0; // the cell keeps the colours before it
    new_ink = empty ? ink : new_ink;
    new_paper = empty ? paper : new_paper;
    const bool a_continues_paper = a != 0 && hue(a) == hue(paper);
    new_ink = a_continues_paper ? b_or_partner : new_ink;
    new_paper = a_continues_paper ? a : new_paper;
    const bool b_continues_ink = b != 0 && hue(b) == hue(ink);
    new_ink = b_continues_ink ? b : new_ink;
    new_paper = b_continues_ink ? a_or_partner : new_paper;
    const bool b_continues_paper = b != 0 && hue(b) == hue(paper);
    new_ink = b_continues_paper ? a_or_partner : new_ink;
    new_paper = b_continues_paper ? b : new_paper;
    const bool a_continues_ink = a != 0 && hue(a) == hue(ink);
    new_ink = a_continues_ink ? a : new_ink;
    new_paper = a_continues_ink ? b_or_partner : new_paper;

    new_paper = new_paper == NO_COLOUR ? 0 : new_paper;
    new_ink = new_ink == NO_COLOUR ? 0 : new_ink;
    const bool swap = hue(new_ink) <= 1 && hue(new_paper) > hue(new_ink);
    ink_paper.ink = swap ? new_paper : new_ink;
    ink_paper.paper = swap ? new_ink : new_paper;
}

} // namespace kelvora
