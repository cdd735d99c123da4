// The display's sixteen colours, and the rule that takes a colour drawn in a
// truecolour picture to the display colour it stands for. The picture reader
// matches pixels with it; the preview draws with the same table.
#pragma once

#include <cstdint>

namespace kelvora {

struct Rgb {
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
    bool operator==(const Rgb&) const = default;
};

// Colour i: blue when bit 0 is set, red for bit 1, green for bit 2; each
// channel that is on is 0xCD, or 0xFF when bit 3 (bright) is set. Black 0
// and bright black 8 are the same. Indices above 15 have no display colour
// and come out black.
constexpr Rgb display_colour(int index) {
    if (index < 0 || index > 15) {
        return Rgb{0, 0, 0};
    }
    const auto level = static_cast<std::uint8_t>((index & 8) != 0 ? 0xFF : 0xCD);
    return Rgb{(index & 2) != 0 ? level : std::uint8_t{0},
               (index & 4) != 0 ? level : std::uint8_t{0},
               (index & 1) != 0 ? level : std::uint8_t{0}};
}

// The colour's name in messages, or nullptr above 15.
constexpr const char* colour_name(int index) {
    constexpr const char* NAMES[16] = {
        "black",        "blue",        "red",           "magenta",
        "green",        "cyan",        "yellow",        "white",
        "bright black", "bright blue", "bright red",    "bright magenta",
        "bright green", "bright cyan", "bright yellow", "bright white"};
    return index >= 0 && index < 16 ? NAMES[index] : nullptr;
}

// How far a colour may be from a display colour and still stand for it, in
// the largest of the three channel differences.
inline constexpr int MATCH_TOLERANCE = 48;

// The largest of the three channel differences.
constexpr int colour_distance(Rgb a, Rgb b) {
    const auto difference = [](int x, int y) { return x > y ? x - y : y - x; };
    const int red = difference(a.r, b.r);
    const int green = difference(a.g, b.g);
    const int blue = difference(a.b, b.b);
    const int larger = red > green ? red : green;
    return larger > blue ? larger : blue;
}

// The display colour nearest to `colour` (ties to the lower index; 8 is never
// chosen, as black is 0), with its distance.
struct ColourMatch {
    int index;
    int distance;
};

constexpr ColourMatch nearest_display_colour(Rgb colour) {
    ColourMatch best{0, colour_distance(colour, display_colour(0))};
    for (int i = 1; i < 16; ++i) {
        const int distance = colour_distance(colour, display_colour(i));
        if (i != 8 && distance < best.distance) {
            best = ColourMatch{i, distance};
        }
    }
    return best;
}

// The index of the display colour `colour` stands for, or -1 when it is
// further than the tolerance from every one.
constexpr int match_display_colour(Rgb colour) {
    const ColourMatch match = nearest_display_colour(colour);
    return match.distance <= MATCH_TOLERANCE ? match.index : -1;
}

} // namespace kelvora
