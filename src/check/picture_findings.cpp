// What is wrong with the picture as a whole: a picture kelvora refuses,
// palette entries out of the display's order, a palette shorter than the
// indices drawn, a file cut short. Each check returns what it found, and
// its wording says it apart.
#include "check/findings.h"

#include <cstring>

#include "check/colour_names.h"
#include "check/finding_line.h"

namespace kelvora {
namespace {

// The palette's entries, of the indices the picture uses, that the display
// shows in another colour, and where each index would have to go for its
// drawn colour to be the display's: the index of the colour its entry looks
// like. Black stays apart from bright black: the first used index that
// looks black goes to 0, any other to 8, so that a cell keeps its colours.
struct PaletteOrder {
    int moved;
    bool moved_index[16];
    std::uint8_t index_to[256];
};

PaletteOrder check_palette_order(const PictureFacts& facts, const DrawnColours& drawn) {
    PaletteOrder order{};
    for (int i = 0; i < 256; ++i) {
        order.index_to[i] = static_cast<std::uint8_t>(i);
    }
    if (!facts.indexed) {
        return order;
    }
    bool black_taken = false;
    for (int i = 0; i < 16 && i < facts.palette_entries; ++i) {
        if (!drawn.used[i]) {
            continue;
        }
        const int looks = drawn.looks[i];
        int target = looks;
        if (looks == 0) {
            target = black_taken ? 8 : 0;
            black_taken = true;
        }
        if (display_class(target) == display_class(i)) {
            continue;
        }
        order.index_to[i] = static_cast<std::uint8_t>(target);
        order.moved_index[i] = true;
        ++order.moved;
    }
    return order;
}

void say_palette_order(Findings& findings, const PictureFacts& facts, const DrawnColours& drawn,
                       const PaletteOrder& order) {
    // The display's order, as far as the picture's indices go.
    static constexpr const char* ORDER[3] = {
        "0 black, 1 blue", "0 black, 1 blue, 2 red, 3 magenta",
        ("0 black, 1 blue, 2 red, 3 magenta, 4 green, 5 cyan, 6 yellow, 7 white, then the same "
         "bright")};
    Line& text = begin_picture_line(findings, FindingKind::PaletteOutOfOrder);
    Remedy& remedy = findings.current.remedy;
    remedy.form = RemedyForm::Palette; // truecolour too maps each index to its look
    std::memcpy(remedy.index_to, order.index_to, sizeof remedy.index_to);
    put_text(text, order.moved == 1 ? "a palette entry is out of the display's order, so what is "
                                      "drawn in it shows in another colour: "
                                    : "palette entries are out of the display's order, so what "
                                      "is drawn in them shows in other colours: ");
    bool first = true;
    for (int i = 0; i < 16; ++i) {
        if (!order.moved_index[i]) {
            continue;
        }
        const Rgb entry = facts.palette[i];
        putf(text, "%sentry %d is #%02x%02x%02x, which looks %s, but shows %s", first ? "" : "; ",
             i, entry.r, entry.g, entry.b, colour_name(drawn.looks[i]),
             colour_name(display_class(i)));
        first = false;
    }
    put(text, "; ");
    if (drawn.holdable > 15) {
        put(text, "put the palette in the display's order (");
        put_text(text, ORDER[drawn.holdable == 2 ? 0 : (drawn.holdable == 4 ? 1 : 2)]);
        put(text, ") and draw ");
        first = true;
        for (int i = 0; i < 16; ++i) {
            if (order.moved_index[i]) {
                putf(text, "%s%d in %d", first ? "" : ", ", i, order.index_to[i]);
                first = false;
            }
        }
        put(text, "; or ");
    } else {
        putf(text, "a %d-bit picture cannot hold the display's order, so ",
             drawn.holdable == 2 ? 1 : 2);
    }
    put_truecolour(text, drawn);
    finish(findings, text);
}

// Indices the picture draws in that its palette does not hold.
struct ShortPalette {
    int missing;
    int highest;
};

ShortPalette check_short_palette(const PictureFacts& facts, const DrawnColours& drawn) {
    ShortPalette found{0, 0};
    for (int i = facts.palette_entries; i < 256 && facts.indexed; ++i) {
        if (drawn.used[i]) {
            ++found.missing;
            found.highest = i;
        }
    }
    return found;
}

void say_short_palette(Findings& findings, const PictureFacts& facts,
                       const ShortPalette& short_palette) {
    Line& text = begin_picture_line(findings, FindingKind::PaletteShort);
    put(text, "its palette has ");
    put(text, static_cast<std::int64_t>(facts.palette_entries));
    put_text(text, facts.palette_entries == 1 ? " entry" : " entries");
    put(text, ", but the picture draws in ");
    put(text, static_cast<std::int64_t>(short_palette.missing));
    put_text(text, short_palette.missing == 1 ? " index past them" : " indices past them");
    put(text, ", up to ");
    put(text, static_cast<std::int64_t>(short_palette.highest));
    put(text, ": what those were drawn as is unknown, and kelvora converts them as the display's "
              "colours; save the picture with a palette that holds every index it uses");
    finish(findings, text);
}

// A file that ends before its pixels do.
void say_cut_short(Findings& findings, std::uint64_t bytes_missing) {
    Line& text = begin_picture_line(findings, FindingKind::PictureCutShort);
    put(text, "the file ends ");
    put(text, static_cast<std::int64_t>(bytes_missing));
    put(text, " bytes before its pixels do, so kelvora repeats the last byte it read for the rest "
              "of the picture; save the picture again in full");
    finish(findings, text);
}

} // namespace

void find_refused_picture(Findings& findings, const char* reason) {
    Line& text = begin_picture_line(findings, FindingKind::RefusedPicture);
    put_text(text, reason);
    finish(findings, text);
}

void find_picture_errors(Findings& findings, const PictureFacts& facts, const DrawnColours& drawn) {
    const PaletteOrder order = check_palette_order(facts, drawn);
    findings.palette_moved = order.moved > 0;
    if (order.moved > 0) {
        say_palette_order(findings, facts, drawn, order);
    }
    const ShortPalette short_palette = check_short_palette(facts, drawn);
    if (short_palette.missing > 0) {
        say_short_palette(findings, facts, short_palette);
    }
    if (facts.bytes_missing > 0) {
        say_cut_short(findings, facts.bytes_missing);
    }
}

} // namespace kelvora
