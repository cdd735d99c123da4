// Colours in a finding's words: each index with its display colour's name,
// made once for all 256 indices.
#include "check/colour_names.h"

#include <array>
#include <cstdint>

#include "model/display_colours.h"

namespace kelvora {
namespace {

// "3 magenta" for every index, made once: colours are named in most
// findings about cells, and a sheet may have thousands of those.
struct ColourText {
    char text[24];
    std::uint8_t length;
};

constexpr std::array<ColourText, 256> make_colour_texts() {
    std::array<ColourText, 256> texts{};
    for (int index = 0; index < 256; ++index) {
        ColourText& colour = texts[index];
        for (int unit = 100; unit > 0; unit /= 10) {
            if (index >= unit || unit == 1) {
                colour.text[colour.length++] = static_cast<char>('0' + index / unit % 10);
            }
        }
        const char* name = colour_name(index);
        if (name != nullptr) {
            colour.text[colour.length++] = ' ';
            while (*name != '\0') {
                colour.text[colour.length++] = *name++;
            }
        }
    }
    return texts;
}

constexpr std::array<ColourText, 256> COLOUR_TEXTS = make_colour_texts();

const char* const TRUECOLOUR = "save the picture as truecolour (ImageMagick's PNG24:), whose "
                               "colours kelvora matches to the display's";

} // namespace

void put_colour(Line& line, int index) {
    const ColourText& colour = COLOUR_TEXTS[static_cast<std::uint8_t>(index)];
    put(line, colour.text, colour.length);
}

void put_drawn(Line& line, const DrawnColours& drawn, int index) {
    if (drawn_as_shown(drawn, index)) {
        put_colour(line, index);
        return;
    }
    put(line, index);
    put(line, " (drawn ");
    put_text(line, colour_name(drawn.looks[index]));
    put(line, ")");
}

// Truecolour has no bright black, and black 0 is background to a
// cell, so a cell of 8 and two other colours clashes anew.
void put_truecolour(Line& text, const DrawnColours& drawn) {
    put_text(text, TRUECOLOUR);
    if (drawn.used[8]) {
        put(text, ", though that turns bright black 8 into black 0, which a cell takes for "
                  "background, so cells drawn in 8 may clash anew");
    }
}

void put_index_shown(Line& text, int index, int shown) {
    if (display_class(index) == shown) {
        put_colour(text, index);
        return;
    }
    put(text, static_cast<std::int64_t>(index));
    put(text, " (shown ");
    put_colour(text, shown);
    put(text, ")");
}

} // namespace kelvora
