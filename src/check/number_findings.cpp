// What a record's numbers do: a width or height of 0 or one that wrapped,
// a place or size off the cells' grid, a record outside the grid or
// reaching past the picture, a tile table wider than a page, a colour
// above 7.
#include "check/findings.h"

#include <cinttypes>

#include "check/colour_names.h"
#include "check/finding_line.h"

namespace kelvora {
namespace {

// A number field's text as written, without the byte that ended it.
void put_number_text(Line& text, ListReading list, const RecordTrace& trace, int field) {
    const std::uint64_t begin = trace.field_end[field - 1];
    std::uint64_t end = trace.field_end[field];
    if (end > begin && !is_digit(list_byte(*list.window, end - 1))) {
        --end;
    }
    put_list_text(text, list, begin, end);
}

// A width or height of 0, or one that wrapped past 2^31 and reads as negative.
void check_size_given(Findings& findings, ListReading list, const RecordTrace& trace,
                      std::int64_t line, int field, std::int32_t value) {
    if (value == 0) {
        list_error(findings, FindingKind::SizeZero, line,
                   "the %s is 0: nothing is drawn and only the header is written; give the %s "
                   "in pixels",
                   FIELD_NAMES[field], FIELD_NAMES[field]);
    } else if (value < 0) {
        Line* const begun = begin_list_error(findings, FindingKind::SizeWrapped, line);
        if (begun == nullptr) {
            return;
        }
        Line& text = *begun;
        putf(text, "the %s \"", FIELD_NAMES[field]);
        put_number_text(text, list, trace, field);
        putf(text,
             "\" wraps past 2^31 and reads as %" PRId32
             ": nothing is drawn and only the header is written; give the %s in pixels, 1024 "
             "at most",
             value, FIELD_NAMES[field]);
        finish(findings, text);
    }
}

std::int64_t off_grid(std::int64_t value) {
    return ((value % 8) + 8) % 8;
}

std::int64_t round_down(std::int64_t value) {
    return value - off_grid(value);
}

std::int64_t round_up(std::int64_t value) {
    return off_grid(value) == 0 ? value : value + 8 - off_grid(value);
}

// x or y off the grid; the remedy moves the record back to the multiple of
// 8 below.
void say_place_off_grid(Findings& findings, FindingKind kind, RecordField field, std::int32_t value,
                        std::int64_t line) {
    Line* const begun = begin_list_error(findings, kind, line);
    if (begun == nullptr) {
        return;
    }
    Line& text = *begun;
    const bool x = field == FIELD_X;
    set_field_remedy(findings, field, round_down(value));
    putf(text,
         "%s is %" PRId32 ", not a multiple of 8: its %s are cut from %s %" PRId32
         " on, across the picture's own cells; move the record to a multiple of 8, %s %" PRId64,
         FIELD_NAMES[field], value, x ? "cells" : "bands", x ? "pixel" : "row", value,
         FIELD_NAMES[field], findings.current.remedy.value);
    finish(findings, text);
}

// x, y, width or height not a multiple of 8 where cells are cut: x and width
// for every kind, y and height for blocks and tile tables.
void check_cell_edges(Findings& findings, const ResourceRecord& record, const RecordLayout& layout,
                      std::int64_t line) {
    const bool banded = is_banded(record.kind);
    const bool block = record.kind == RecordKind::Block;
    if (off_grid(record.x) != 0) {
        say_place_off_grid(findings, FindingKind::XOffGrid, FIELD_X, record.x, line);
    }
    // What is written stays: a block's or tile table's width rounds up to
    // the cells its bands write, a sprite's down to the columns it writes.
    if (record.width > 0 && record.width % 8 != 0 && !count_hidden_error(findings)) {
        const std::int64_t past = 8 * layout.cells_across - record.width;
        Line& text = begin_list_line(findings, FindingKind::WidthOffGrid, line);
        set_field_remedy(findings, FIELD_WIDTH,
                         banded ? round_up(record.width)
                                : (record.width < 8 ? 8 : round_down(record.width)));
        putf(text, "the width %" PRId32 " is not a multiple of 8: ", record.width);
        if (banded) {
            if (block) {
                const std::int32_t cells = layout.size_bytes[0];
                putf(text, "the size line says %" PRId32 " %s across, but ", cells,
                     plural(cells, "cell", "cells"));
            }
            if (layout.cells_across == 1) {
                putf(text, "each band writes 1 cell, which reaches %" PRId64 " %s past the record",
                     past, plural(past, "pixel", "pixels"));
            } else {
                putf(text,
                     "each band writes %" PRId64 " cells, the last one reaching %" PRId64
                     " %s past the record",
                     layout.cells_across, past, plural(past, "pixel", "pixels"));
            }
            put(text, "; make the width a multiple of 8");
        } else if (record.width < 8) {
            put(text, "the size line says 0 cells across, yet a column of 8 pixels is written; "
                      "make the width 8");
        } else {
            const auto columns = static_cast<std::int32_t>(layout.columns_written);
            const std::int32_t left_out = record.width % 8;
            putf(text,
                 "%" PRId32 " %s written and the last %" PRId32
                 " %s left out; make the width a multiple of 8",
                 columns, plural(columns, "column is", "columns are"), left_out,
                 plural(left_out, "pixel is", "pixels are"));
        }
        if (banded || record.width >= 8) {
            putf(text, ", %" PRId64, findings.current.remedy.value);
        }
        finish(findings, text);
    }
    if (!banded) {
        return;
    }
    if (off_grid(record.y) != 0) {
        say_place_off_grid(findings, FindingKind::YOffGrid, FIELD_Y, record.y, line);
    }
    if (record.height > 0 && record.height % 8 != 0 && !count_hidden_error(findings)) {
        const std::int64_t past = 8 * layout.bands - record.height;
        Line& text = begin_list_line(findings, FindingKind::HeightOffGrid, line);
        set_field_remedy(findings, FIELD_HEIGHT, round_up(record.height));
        putf(text, "the height %" PRId32 " is not a multiple of 8: ", record.height);
        if (block) {
            const std::int32_t cells = layout.size_bytes[1];
            putf(text, "the size line says %" PRId32 " %s down, but ", cells,
                 plural(cells, "cell", "cells"));
        }
        if (layout.bands == 1) {
            putf(text, "1 band of 8 rows is written, which reaches %" PRId64 " %s past the record",
                 past, plural(past, "row", "rows"));
        } else {
            putf(text,
                 "%" PRId64 " bands of 8 rows are written, the last one reaching %" PRId64
                 " %s past the record",
                 layout.bands, past, plural(past, "row", "rows"));
        }
        putf(text, "; make the height a multiple of 8, %" PRId64, findings.current.remedy.value);
        finish(findings, text);
    }
}

void check_place(Findings& findings, const ResourceRecord& record, const RecordLayout& layout,
                 bool outside, const PictureFacts* facts, std::int64_t line) {
    if (outside) {
        Line* const begun = begin_list_error(findings, FindingKind::Outside, line);
        if (begun == nullptr) {
            return;
        }
        Line& text = *begun;
        put(text, "can't convert ");
        put_shown(text, record.name, std::strlen(record.name));
        put(text, ": outside the 1024x1024 picture area");
        finish(findings, text);
        return;
    }
    const std::int64_t columns = columns_drawn(layout);
    if (facts == nullptr || columns == 0 || layout.rows == 0) {
        return;
    }
    // What is written: the columns across, and the bands' rows down (a
    // sprite's own height). Cells read past the picture but not written
    // change nothing.
    const std::int64_t right = record.x + 8 * columns;
    const std::int64_t bottom = record.y + layout.rows;
    const int rows = picture_rows(*facts);
    if (right > facts->width || bottom > rows) {
        list_error(findings, FindingKind::PastPicture, line,
                   "the record reaches to pixel %" PRId64 ",%" PRId64 ", past the %" PRId32
                   " x %d picture: what lies beyond it reads as colour 0; keep the record "
                   "inside the picture",
                   right, bottom, facts->width, rows);
    }
}

// A tile table wider than a page holds: each band's cell lines pass its
// page, and its fill runs on to the next, so each band takes more than one.
void say_wide_tile_table(Findings& findings, const RecordLayout& layout, std::int64_t line) {
    const std::int64_t bytes = layout.cells_across * CELL_LINE_BYTES;
    const std::int64_t pages = (bytes + PAGE_BYTES - 1) / PAGE_BYTES;
    const std::int64_t most = PAGE_BYTES / CELL_LINE_BYTES;
    Line& text = begin_list_line(findings, FindingKind::WideTileTable, line);
    putf(text,
         "the tile table is %" PRId64 " cells wide, so a band's %" PRId64 " bytes pass its "
         "%d-byte page and each band takes %" PRId64 " pages, not one: code that steps one page "
         "a band reads the wrong bytes; split it into tables of %" PRId64 " cells (%" PRId64
         " pixels) across at most",
         layout.cells_across, bytes, PAGE_BYTES, pages, most, 8 * most);
    finish(findings, text);
}

// A colour field above 7: only its bits 0-2 count (the partner's hue; a
// bright partner takes its brightness from the cell's own colour), and it
// keeps only the low 8 bits of what is written.
struct ColourField {
    bool above_seven;
    std::uint64_t written; // the digits as written, up to 10^18
    std::uint8_t read;
    std::uint8_t acts_as;
};

ColourField check_colour_field(ListReading list, const ResourceRecord& record,
                               const RecordTrace& trace) {
    ColourField found{record.default_colour > 7, 0, record.default_colour,
                      static_cast<std::uint8_t>(record.default_colour & 7)};
    if (!found.above_seven) {
        return found;
    }
    for (std::uint64_t at = trace.field_end[5]; at < trace.field_end[6]; ++at) {
        const int c = list_byte(*list.window, at);
        if (!is_digit(c)) {
            break;
        }
        found.written =
            found.written < 100000000000000000 ? 10 * found.written + (c - '0') : found.written;
    }
    return found;
}

void say_colour_field(Findings& findings, const ColourField& colour, std::int64_t line) {
    Line& text = begin_list_line(findings, FindingKind::ColourAboveSeven, line);
    set_field_remedy(findings, FIELD_COLOUR, colour.acts_as);
    Remedy& remedy = findings.current.remedy;
    remedy.every = true;
    remedy.was = colour.written;
    put(text, "the colour ");
    put(text, static_cast<std::int64_t>(colour.written));
    if (colour.written != colour.read) {
        put(text, " is read as ");
        put(text, static_cast<std::int64_t>(colour.read));
        put(text, " (its low 8 bits), and");
    }
    put(text, " counts only in its bits 0-2, so it acts as ");
    put_colour(text, colour.acts_as);
    put(text, "; write ");
    put(text, remedy.value);
    finish(findings, text);
}

} // namespace

void find_number_errors(Findings& findings, ListReading list, const ResourceRecord& record,
                        const RecordLayout& layout, const RecordTrace& trace, bool outside,
                        const PictureFacts* facts, std::int64_t line) {
    // Nothing at all is written for a record outside the area, so what its
    // sizes would do is beside the point.
    if (!outside) {
        if (record.width <= 0) {
            check_size_given(findings, list, trace, line, 4, record.width);
        }
        if (record.height <= 0) {
            check_size_given(findings, list, trace, line, 5, record.height);
        }
        check_cell_edges(findings, record, layout, line);
    }
    check_place(findings, record, layout, outside, facts, line);
    if (!outside && record.kind == RecordKind::TileTable &&
        layout.cells_across * CELL_LINE_BYTES > PAGE_BYTES && show_note(findings)) {
        say_wide_tile_table(findings, layout, line);
    }
    const ColourField colour = check_colour_field(list, record, trace);
    const std::uint64_t bit = std::uint64_t{1} << (colour.read & 63);
    if (colour.above_seven && (findings.colours_noted[colour.read >> 6] & bit) == 0) {
        findings.colours_noted[colour.read >> 6] |= bit;
        if (show_note(findings)) {
            say_colour_field(findings, colour, line);
        }
    }
}

} // namespace kelvora
