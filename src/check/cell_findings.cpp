// The notes on what the display shows of a converted record: each cell
// shown in other colours than drawn, with the rule that changed it and what
// to draw instead; a white sprite that shows other than white; a sprite
// with nothing transparent.
#include "check/findings.h"

#include <algorithm>
#include <bit>

#include "check/colour_names.h"
#include "check/finding_line.h"

namespace kelvora {
namespace {

const char* TWO_COLOURS = "a cell shows only its ink and paper, so draw it in two colours";

const char* ALIKE = "a cell's ink and paper are bright together or not at all, so draw its two "
                    "colours alike";

// Why a cell changes only through the palette, said wherever that is a
// cause.
constexpr char PALETTE_IGNORED[] = "the display shows each index in its own colour, not its "
                                   "palette entry's (see the palette error)";

// The index a changed pixel of the cell is to be drawn in to show what it
// shows now, or -1 when no index in this cell does. An index drawn in the
// encoder's ink is ink, any other paper; black is drawn as bright black 8
// where 0 would not be drawn at all (a sprite) or would not be a colour of
// the cell's own. In a tall sprite's lower cell the ink is the top cell's
// index and nothing else.
int index_showing(const CellChange& cell, int shown, bool sprite, bool column) {
    const int ink = display_class(cell.ink);
    const int paper = display_class(cell.paper);
    int to = shown;
    if (shown == ink && display_class(cell.raw_ink) == shown) {
        to = cell.raw_ink;
    } else if (column && shown == ink) {
        return -1; // only the top cell could mend it
    } else if (shown == paper && display_class(cell.raw_paper) == shown &&
               cell.raw_paper != cell.raw_ink) {
        to = cell.raw_paper;
    }
    if (to == 0 && (sprite || cell.raw_ink == 8 || cell.raw_paper == 8)) {
        to = 8;
    }
    if (column && to == cell.raw_ink && shown != ink) {
        return -1;
    }
    return to > 15 ? -1 : to;
}

// A pixel remedy for the cell, with no pairs yet.
void start_cell_remedy(Remedy& remedy, const CellChange& cell) {
    remedy.form = RemedyForm::Pixels;
    remedy.x = cell.x;
    remedy.y = cell.y;
    remedy.width = 8;
    remedy.height = 8;
    remedy.pairs = 0;
}

// The cell's changed pixels, each colour to the index that shows it.
void set_cell_pixels_remedy(Remedy& remedy, const CellChange& cell, bool sprite, bool column) {
    start_cell_remedy(remedy, cell);
    for (int k = 0; k < cell.kinds; ++k) {
        const ColourChange& change = cell.changes[k];
        const int to = index_showing(cell, change.shown, sprite, column);
        if (to < 0 || to == change.drawn) {
            continue;
        }
        bool listed = false;
        for (int i = 0; i < remedy.pairs; ++i) {
            listed = listed || remedy.from[i] == change.drawn;
        }
        if (!listed && remedy.pairs < 16) {
            remedy.from[remedy.pairs] = change.drawn;
            remedy.to[remedy.pairs] = static_cast<std::uint8_t>(to);
            ++remedy.pairs;
        }
    }
}

// "draw 1 in 2, 14 in 10": a pixel remedy in words.
void put_pixel_remedy(Line& text, const Remedy& remedy) {
    put(text, "draw ");
    for (int i = 0; i < remedy.pairs; ++i) {
        if (i > 0) {
            put(text, ", ");
        }
        put(text, static_cast<std::int64_t>(remedy.from[i]));
        put(text, " in ");
        put(text, static_cast<std::int64_t>(remedy.to[i]));
    }
}

// `palette_first`: the palette is out of order, so no index drawn in the
// cell is sure to show what it should until the palette is mended.
void put_cause(Line& text, Findings& findings, const ResourceRecord& record, const CellChange& cell,
               bool sprite, bool palette_first) {
    const DrawnColours& drawn = *findings.drawn;
    Remedy& remedy = findings.current.remedy;
    const int ink = display_class(cell.ink);
    const int paper = display_class(cell.paper);
    switch (cell.cause) {
    case ChangeCause::TopCell:
    case ChangeCause::EmptyTopCell:
        putf(text, "a sprite's column takes its ink and paper from its top cell, at %d,%d", cell.x,
             cell.top_y);
        if (cell.cause == ChangeCause::EmptyTopCell) {
            put(text, ", which is empty, so it keeps those carried from the column to its left "
                      "(or, in the first column, 15 and none)");
        }
        put(text, ": only pixels in ");
        put_index_shown(text, cell.raw_ink, ink);
        put(text, " show as ink, all others as paper, ");
        put_colour(text, paper);
        if (cell.cause == ChangeCause::EmptyTopCell) {
            put(text, "; draw the column's colours in its top cell too");
            return;
        }
        if (palette_first) {
            return;
        }
        set_cell_pixels_remedy(remedy, cell, sprite, true);
        if (remedy.pairs == 0) {
            findings.current.kind = FindingKind::TopCellOnly;
            remedy.form = RemedyForm::None;
            put(text, "; draw the top cell in the colours this cell needs");
            return;
        }
        put(text, "; ");
        put_pixel_remedy(text, remedy);
        return;
    case ChangeCause::Carried:
        put(text, "an empty cell keeps the ink and paper carried from the cell to its left, ");
        put_index_shown(text, cell.raw_ink, ink);
        put(text, " and ");
        put_index_shown(text, cell.raw_paper, paper);
        put(text, ", so its 0 shows as that paper; draw it in 8, bright black, which shows black "
                  "and is a colour of the cell's own, or leave the cell out of the record");
        if (palette_first) {
            return;
        }
        start_cell_remedy(remedy, cell);
        remedy.pairs = 1;
        remedy.from[0] = 0;
        remedy.to[0] = 8;
        return;
    case ChangeCause::Background:
        put(text, "colour 0 is taken as background, so the record's colour ");
        put(text, static_cast<std::int64_t>(record.default_colour));
        put(text, " made ");
        put_colour(text, cell.partner);
        put(text, " the partner of ");
        put_colour(text, cell.colour);
        set_field_remedy(findings, FIELD_COLOUR, 0);
        put(text, "; set the record's colour to ");
        put(text, remedy.value);
        put(text, " to keep black");
        if (cell.partner < drawn.holdable) {
            put(text, ", or draw the partner");
        }
        return;
    case ChangeCause::AboveFifteen:
        put(text, "indices above 15 are no display colour and are never given a cell, so they "
                  "show as its paper");
        break;
    case ChangeCause::ManyColours:
        put_text(text, TWO_COLOURS);
        break;
    case ChangeCause::BrightAndDark:
        put_text(text, ALIKE);
        break;
    case ChangeCause::Palette:
        put(text, PALETTE_IGNORED);
        return;
    }
    if (palette_first) {
        return; // the palette comes first: its remedy changes what the cell holds
    }
    set_cell_pixels_remedy(remedy, cell, sprite, false);
    if (remedy.pairs == 0) {
        remedy.form = RemedyForm::None;
        return;
    }
    put(text, ": ");
    put_pixel_remedy(text, remedy);
}

// "7 (drawn bright yellow) as 7 white (44), ..."
void put_changes(Line& text, const DrawnColours& drawn, const ColourChange* changes, int kinds) {
    for (int k = 0; k < kinds; ++k) {
        const ColourChange& change = changes[k];
        if (k > 0) {
            put(text, ", ");
        }
        put_drawn(text, drawn, change.drawn);
        put(text, " as ");
        put_colour(text, change.shown);
        put(text, " (");
        put(text, static_cast<std::int64_t>(change.pixels));
        put(text, ")");
    }
}

// A note on a record's cell (the record's line kept with it): "NAME: 8 pixels".
Line& begin_record_cell_line(Findings& findings, FindingKind kind, int x, int y, std::int64_t line,
                             const ResourceRecord& record, std::int64_t pixels) {
    Line& text = begin_cell_line(findings, kind, x, y);
    findings.current.line = line;
    put_shown(text, record.name, record.label_length);
    put(text, ": ");
    put(text, pixels);
    put_text(text, pixels == 1 ? " pixel" : " pixels");
    return text;
}

// The record's cells changed only through the palette, as one note: the
// palette error says the one mistake.
void note_palette_cells(Findings& findings, const ResourceRecord& record, std::int64_t line,
                        const RecordPreview& preview, std::int64_t listed) {
    CellChange all{};
    std::int64_t cells = 0;
    for (std::int64_t i = 0; i < listed && i < preview.cells_to_describe; ++i) {
        const CellChange& cell = preview.cells[i];
        if (cell.cause != ChangeCause::Palette) {
            continue;
        }
        if (cells++ == 0) {
            all.x = cell.x;
            all.y = cell.y;
        }
        all.pixels += cell.pixels;
        for (int k = 0; k < cell.kinds; ++k) {
            const ColourChange& change = cell.changes[k];
            int at = 0;
            while (at < all.kinds && (all.changes[at].drawn != change.drawn ||
                                      all.changes[at].shown != change.shown)) {
                ++at;
            }
            if (at == all.kinds && all.kinds < 16) {
                all.changes[all.kinds++] = ColourChange{change.drawn, change.shown, 0};
            }
            if (at < all.kinds) {
                all.changes[at].pixels =
                    static_cast<std::uint16_t>(all.changes[at].pixels + change.pixels);
            }
        }
    }
    if (cells == 0 || !show_note(findings)) {
        return;
    }
    Line& text = begin_record_cell_line(findings, FindingKind::PaletteCells, all.x, all.y, line,
                                        record, all.pixels);
    put(text, " in ");
    put(text, cells);
    put_text(text, cells == 1 ? " cell" : " cells");
    put_text(text, all.pixels == 1 ? " is" : " are");
    put(text, " shown in other colours only because the palette is out of order: ");
    put_changes(text, *findings.drawn, all.changes, all.kinds);
    put(text, "; ");
    put(text, PALETTE_IGNORED);
    finish(findings, text);
}

void note_cells(Findings& findings, const ResourceRecord& record, std::int64_t line,
                const RecordPreview& preview) {
    const DrawnColours& drawn = *findings.drawn;
    const bool sprite = record.kind == RecordKind::Sprite;
    const std::int64_t listed = std::min<std::int64_t>(preview.changed_cells, CELLS_NOTED);
    bool palette_said = false;
    for (std::int64_t i = 0; i < listed; ++i) {
        if (i >= preview.cells_to_describe) {
            ++findings.notes; // not described: past the notes shown
            ++findings.notes_hidden;
            continue;
        }
        const CellChange& cell = preview.cells[i];
        if (cell.cause == ChangeCause::Palette) {
            if (!palette_said) {
                note_palette_cells(findings, record, line, preview, listed);
                palette_said = true;
            }
            continue;
        }
        if (!show_note(findings)) {
            continue;
        }
        const bool palette_first = cell.palette_too || findings.palette_moved;
        const FindingKind kind = cell.cause == ChangeCause::EmptyTopCell ? FindingKind::EmptyTopCell
                                 : cell.cause == ChangeCause::Background
                                     ? FindingKind::BackgroundPartner
                                 : palette_first ? FindingKind::CellChangedWithPalette
                                                 : FindingKind::CellChanged;
        Line& text =
            begin_record_cell_line(findings, kind, cell.x, cell.y, line, record, cell.pixels);
        put_text(text, cell.pixels == 1 ? " is" : " are");
        put(text, " shown in other colours: ");
        put_changes(text, drawn, cell.changes, cell.kinds);
        put(text, "; ");
        put_cause(text, findings, record, cell, sprite, palette_first);
        if (cell.palette_too) {
            put(text, "; and ");
            put(text, PALETTE_IGNORED);
        } else if (palette_first && kind == FindingKind::CellChangedWithPalette) {
            put(text, "; mend the palette first (see the palette error)");
        }
        finish(findings, text);
    }
    if (preview.changed_cells > CELLS_NOTED && show_note(findings)) {
        const std::int64_t more = preview.changed_cells - CELLS_NOTED;
        Line& text = begin_cell_line(findings, FindingKind::MoreCells, preview.first_unlisted_x,
                                     preview.first_unlisted_y);
        put_shown(text, record.name, record.label_length);
        put(text, ": and ");
        put(text, more);
        put_text(text, more == 1 ? " more cell with pixels shown in other colours"
                                 : " more cells with pixels shown in other colours");
        finish(findings, text);
    }
}

void note_white_sprite(Findings& findings, const ResourceRecord& record, std::int64_t line,
                       const RecordPreview& preview) {
    const DrawnColours& drawn = *findings.drawn;
    Line& text = preview.white_has_15
                     ? begin_cell_line(findings, FindingKind::WhiteSpriteColours,
                                       preview.first_white_x, preview.first_white_y)
                     : begin_list_line(findings, FindingKind::WhiteSpriteNo15, line);
    findings.current.line = line;
    // Where 15 is not bright white, or the picture has no 15, no pixel
    // drawn in it mends the sprite before the palette or the format does.
    const bool palette_first = drawn.holdable <= 15 || drawn.looks[15] != 15;
    if (palette_first) {
        findings.current.kind = FindingKind::WhiteSpriteWithPalette;
    }
    Remedy& remedy = findings.current.remedy;
    remedy.form = RemedyForm::Pixels;
    remedy.x = record.x;
    remedy.y = record.y;
    remedy.width = 8 * static_cast<int>(columns_drawn(record_layout(record)));
    remedy.height = record.height;
    remedy.pairs = 0;
    if (preview.white_has_15) {
        put_shown(text, record.name, record.label_length);
        put(text, ": a white sprite shows only bright white 15 as ink");
    } else {
        put(text, "the white sprite \"");
        put_shown(text, record.name, record.label_length);
        put(text, "\" has no pixel in 15, so it comes out all black: a white sprite shows only "
                  "bright white 15 as ink");
    }
    // Pixels in 15 are ink whatever their palette entry; only the palette
    // makes them change.
    if (preview.white_ink_changed > 0) {
        put(text, "; its ");
        put(text, preview.white_ink_changed);
        put_text(text,
                 preview.white_ink_changed == 1 ? " pixel in 15 shows" : " pixels in 15 show");
        put(text, " as ink, bright white, though its palette entry looks ");
        put_text(text, colour_name(drawn.looks[15]));
        put(text, " (see the palette error)");
    }
    const std::int64_t paper = preview.changed_pixels - preview.white_ink_changed;
    if (paper > 0) {
        put(text, "; its ");
        put(text, paper);
        put_text(text, paper == 1 ? " pixel in " : " pixels in ");
        bool first = true;
        for (int word = 0; word < 4; ++word) {
            for (std::uint64_t seen = preview.white_indices[word]; seen != 0; seen &= seen - 1) {
                const int index = 64 * word + std::countr_zero(seen);
                if (index != 15 && white_sprite_changes(drawn, index)) {
                    if (!first) {
                        put(text, ", ");
                    }
                    put_drawn(text, drawn, index);
                    first = false;
                    if (remedy.pairs < 16) {
                        remedy.from[remedy.pairs] = static_cast<std::uint8_t>(index);
                        remedy.to[remedy.pairs] = 15;
                        ++remedy.pairs;
                    }
                }
            }
        }
        put_text(text, paper == 1 ? " shows as paper, black; " : " show as paper, black; ");
        if (drawn.holdable > 15 && palette_first) {
            put(text, "once the palette is mended, ");
            put_pixel_remedy(text, remedy);
        } else if (!palette_first) {
            put_pixel_remedy(text, remedy);
        } else {
            putf(text, "a %d-bit picture has no 15, so ", drawn.holdable == 2 ? 1 : 2);
            put_truecolour(text, drawn);
        }
    }
    if (palette_first || remedy.pairs == 0) {
        remedy.form = RemedyForm::None;
    }
    finish(findings, text);
}

// A sprite with no pixel in 0 has nothing transparent: its mask is solid.
void note_solid_sprite(Findings& findings, const ResourceRecord& record, std::int64_t line) {
    if (!show_note(findings)) {
        return;
    }
    Line& text = begin_list_line(findings, FindingKind::NoTransparentPixel, line);
    put(text, "the sprite \"");
    put_shown(text, record.name, record.label_length);
    put(text, "\" has no pixel in 0, so nothing of it is transparent and its mask covers its "
              "whole box; draw its background in 0");
    finish(findings, text);
}

} // namespace

void find_record_notes(Findings& findings, const ResourceRecord& record, std::int64_t line,
                       const RecordPreview& preview) {
    if (record.kind == RecordKind::WhiteSprite) {
        // One finding says what every pixel is: a note, or an error when
        // the sprite shows nothing white. Past those shown, it is only
        // counted.
        const bool said =
            preview.changed_pixels > 0 &&
            (preview.white_has_15 ? show_note(findings) : !count_hidden_error(findings));
        if (said) {
            note_white_sprite(findings, record, line, preview);
        }
    } else {
        note_cells(findings, record, line, preview);
    }
    if (preview.any_cell && !preview.any_transparent) {
        note_solid_sprite(findings, record, line);
    }
}

} // namespace kelvora
