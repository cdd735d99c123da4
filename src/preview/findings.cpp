// The checker's findings, one function per kind of mistake.
#include "preview/findings.h"

#include <algorithm>
#include <cinttypes>
#include <cstdarg>
#include <cstring>

#include "convert/convert_record.h"

namespace kelvora {
namespace {

void print_text(std::FILE* out, const char* format, va_list arguments) {
    std::vfprintf(out, format, arguments);
    std::fputc('\n', out);
}

__attribute__((format(printf, 3, 4))) void list_error(Findings& findings, std::int64_t line,
                                                      const char* format, ...) {
    std::fprintf(findings.out, "%s:%" PRId64 ": error: ", findings.list_path, line);
    va_list arguments;
    va_start(arguments, format);
    print_text(findings.out, format, arguments);
    va_end(arguments);
    ++findings.errors;
}

__attribute__((format(printf, 2, 3))) void picture_error(Findings& findings, const char* format,
                                                         ...) {
    std::fprintf(findings.out, "%s: error: ", findings.picture_path);
    va_list arguments;
    va_start(arguments, format);
    print_text(findings.out, format, arguments);
    va_end(arguments);
    ++findings.errors;
}

__attribute__((format(printf, 4, 5))) void cell_note(Findings& findings, int x, int y,
                                                     const char* format, ...) {
    std::fprintf(findings.out, "%s:%d,%d: note: ", findings.picture_path, x, y);
    va_list arguments;
    va_start(arguments, format);
    print_text(findings.out, format, arguments);
    va_end(arguments);
    ++findings.notes;
}

// Text from the list or a name, shown in messages: bytes outside printable
// ASCII as \xNN.
std::string shown_text(const char* bytes, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= ' ' && c < 0x7F && c != '"' && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            text += escaped;
        }
    }
    return text;
}

std::string label_of(const ResourceRecord& record) {
    return std::string(record.name, strnlen(record.name, TOKEN_BUFFER_SIZE));
}

// "3 magenta", "200 (no display colour)".
std::string colour_words(int index) {
    const char* name = colour_name(index);
    return std::to_string(index) +
           (name != nullptr ? std::string(" ") + name : std::string(" (no display colour)"));
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

bool is_label_character(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '_' || c == '.';
}

// A character of a label, in words.
std::string character_words(char c) {
    if (c == ' ') {
        return "a space";
    }
    if (c == '\t') {
        return "a tab";
    }
    std::string quoted(1, '"');
    quoted += shown_text(&c, 1);
    quoted += '"';
    return quoted;
}

constexpr const char* FIELD_NAMES[7] = {"name", "kind", "x", "y", "width", "height", "colour"};

std::uint64_t field_start(const RecordTrace& trace, int field) {
    if (field == 0) {
        return trace.name_start;
    }
    return field == 1 ? trace.kind_start : trace.field_end[field - 1];
}

// A number field's text as written, without the byte that ended it.
std::string number_text(const ListText& list, const RecordTrace& trace, int field) {
    const std::uint64_t begin = trace.field_end[field - 1];
    std::uint64_t end = trace.field_end[field];
    if (end > begin && !is_digit(list.bytes[end - 1])) {
        --end;
    }
    return shown_text(list.bytes.data() + begin, end - begin);
}

// The rest of the line that holds `offset`, from `offset` on, line end and
// carriage returns left out.
std::string rest_of_line(const ListText& list, std::uint64_t offset) {
    std::string rest;
    for (std::uint64_t i = offset; i < list.bytes.size() && list.bytes[i] != '\n'; ++i) {
        if (list.bytes[i] != '\r') {
            rest += list.bytes[i];
        }
    }
    return rest;
}

// Whether the record's six fields stand on the line its name starts on, with
// nothing after them but a comment. Returns false when they do not.
bool check_layout(Findings& findings, const ListText& list, const RecordTrace& trace,
                  std::int64_t line) {
    for (int field = 1; field < 7; ++field) {
        const std::uint64_t start = field_start(trace, field);
        const std::int64_t start_line = line_of(list, start);
        if (start < list.bytes.size() && start_line > line) {
            std::uint64_t end = trace.field_end[field];
            while (end > start && (list.bytes[end - 1] == '\n' || list.bytes[end - 1] == '\r')) {
                --end;
            }
            list_error(findings, line,
                       "only %d of the six fields after the name stand on this line: the %s is "
                       "read from line %" PRId64 " (\"%s\"), so a field is missing and the next "
                       "record loses its start; give all six: kind,x,y,width,height,colour",
                       field - 1, FIELD_NAMES[field], start_line,
                       shown_text(list.bytes.data() + start, end - start).c_str());
            return false;
        }
    }
    const std::int64_t name_end_line = line_of(list, trace.field_end[0] - 1);
    if (name_end_line > line) {
        list_error(findings, line,
                   "the record runs on from line %" PRId64 " to line %" PRId64
                   "; write each record on a line of its own",
                   line, name_end_line);
        return false;
    }
    const std::uint64_t end = trace.field_end[6];
    const char last = end > 0 ? list.bytes[end - 1] : '\n';
    if (end == trace.field_end[5] || is_digit(last) || last == '\n') {
        return true; // the colour ended at the end of the list or of its line
    }
    // What stands after the byte that ended the colour is read as the start
    // of the next record, unless it is nothing or a comment after a blank.
    const std::string rest = rest_of_line(list, end);
    const bool blank = last == ' ' || last == '\t';
    const std::size_t first = rest.find_first_not_of(" \t");
    if (rest.empty() && (blank || last == '\r' || last == ';')) {
        return true;
    }
    if (blank && first != std::string::npos && rest[first] == ';') {
        return true;
    }
    const std::string shown = shown_text(rest.data(), rest.size());
    if (blank && first == std::string::npos) {
        list_error(findings, line,
                   "blanks after the colour become the start of the next record's name; remove "
                   "them");
    } else if (last == ';') {
        list_error(findings, line,
                   "\";%s\" after the colour: the \";\" ends the number, so no comment starts "
                   "and \"%s\" becomes the start of the next record's name; put a blank before "
                   "\";\"",
                   shown.c_str(), shown.c_str());
    } else {
        const std::string extra = blank ? rest.substr(first) : std::string(1, last) + rest;
        list_error(findings, line,
                   "\"%s\" after the colour becomes the start of the next record: a field too "
                   "many, or text that is not a comment; remove it, or start a comment with "
                   "\";\"",
                   shown_text(extra.data(), extra.size()).c_str());
    }
    return false;
}

void check_label(Findings& findings, const ListText& list, const ResourceRecord& record,
                 const RecordTrace& trace, std::int64_t line) {
    static constexpr char BYTE_ORDER_MARK[] = "\xEF\xBB\xBF";
    if (trace.name_start == 0 && list.bytes.compare(0, 3, BYTE_ORDER_MARK) == 0) {
        list_error(findings, line,
                   "the list starts with a byte-order mark, which becomes part of the first "
                   "label; save the list without it (as plain UTF-8 or ASCII)");
        return;
    }
    const auto length = static_cast<std::size_t>(trace.name_length);
    const std::string name(record.name, length);
    const std::string label = label_of(record);
    if (label.empty()) {
        list_error(findings, line,
                   "the label is empty (the name starts with a NUL byte), which the assembler "
                   "will not take; give the record a name");
        return;
    }
    if (label.size() < length) {
        list_error(findings, line,
                   "the name \"%s\" holds a NUL byte, and the label written ends there (\"%s\"); "
                   "remove it",
                   shown_text(name.data(), name.size()).c_str(),
                   shown_text(label.data(), label.size()).c_str());
        return;
    }
    const auto bad =
        std::find_if(label.begin(), label.end(), [](char c) { return !is_label_character(c); });
    if (bad != label.end()) {
        list_error(findings, line,
                   "the label \"%s\" holds %s, which the assembler will not take; use letters, "
                   "digits, \"_\" and \".\" only",
                   shown_text(label.data(), label.size()).c_str(), character_words(*bad).c_str());
    } else if (is_digit(label[0])) {
        list_error(findings, line,
                   "the label \"%s\" starts with a digit, which the assembler takes for a "
                   "number; start it with a letter, \"_\" or \".\"",
                   label.c_str());
    }
}

void check_kind(Findings& findings, const ResourceRecord& record, std::int64_t line) {
    const char c = record.kind_char;
    if (is_kind_letter(c)) {
        return;
    }
    const std::string kind = c == '\0' ? "the kind is empty"
                                       : "the kind starts with " + character_words(c) +
                                             ", not B, T, S or s (case counts)";
    list_error(findings, line,
               "%s, so this record will be a %s; write B for a block, T for a tile table, S for "
               "a sprite or s for a white sprite",
               kind.c_str(), kind_name(record.kind));
}

void check_duplicate(Findings& findings, const ResourceRecord& record, std::int64_t line) {
    const std::string label = label_of(record);
    const auto [earlier, added] = findings.label_lines.emplace(label, line);
    if (!added) {
        list_error(findings, line,
                   "the label \"%s\" is taken already, on line %" PRId64
                   ", and the assembler will not take it twice; rename one of them",
                   shown_text(label.data(), label.size()).c_str(), earlier->second);
    }
}

// A width or height of 0, or one that wrapped past 2^31 and reads as negative.
void check_size_given(Findings& findings, const ListText& list, const RecordTrace& trace,
                      std::int64_t line, int field, std::int32_t value) {
    if (value == 0) {
        list_error(findings, line,
                   "the %s is 0: nothing is drawn and only the header is written; give the %s "
                   "in pixels",
                   FIELD_NAMES[field], FIELD_NAMES[field]);
    } else if (value < 0) {
        list_error(findings, line,
                   "the %s \"%s\" wraps past 2^31 and reads as %" PRId32
                   ": nothing is drawn and only the header is written; give the %s in pixels, "
                   "1024 at most",
                   FIELD_NAMES[field], number_text(list, trace, field).c_str(), value,
                   FIELD_NAMES[field]);
    }
}

// "the size line says 1 cell across, but ".
std::string size_line(std::int32_t cells, const char* direction) {
    return "the size line says " + std::to_string(cells) + (cells == 1 ? " cell " : " cells ") +
           direction + ", but ";
}

std::int64_t off_grid(std::int64_t value) {
    return ((value % 8) + 8) % 8;
}

// x, y, width or height not a multiple of 8 where cells are cut: x and width
// for every kind, y and height for blocks and tile tables.
void check_cell_edges(Findings& findings, const ResourceRecord& record, std::int64_t line) {
    const bool banded = is_banded(record.kind);
    const bool block = record.kind == RecordKind::Block;
    const RecordLayout layout = record_layout(record);
    if (off_grid(record.x) != 0) {
        list_error(findings, line,
                   "x is %" PRId32 ", not a multiple of 8: its cells are cut from pixel %" PRId32
                   " on, across the picture's own cells; move the record to a multiple of 8",
                   record.x, record.x);
    }
    if (record.width > 0 && record.width % 8 != 0) {
        const std::int64_t past = 8 * layout.cells_across - record.width;
        if (banded) {
            list_error(findings, line,
                       "the width %" PRId32 " is not a multiple of 8: %seach band writes %" PRId64
                       " cells, the last one reaching %" PRId64
                       " %s past the record; make the width a multiple of 8",
                       record.width, block ? size_line(layout.size_bytes[0], "across").c_str() : "",
                       layout.cells_across, past, past == 1 ? "pixel" : "pixels");
        } else if (record.width < 8) {
            list_error(findings, line,
                       "the width %" PRId32 " is not a multiple of 8: the size line says 0 cells "
                       "across, yet a column of 8 pixels is written; make the width 8",
                       record.width);
        } else {
            const auto columns = static_cast<std::int32_t>(layout.columns_written);
            const std::int32_t left_out = record.width % 8;
            list_error(findings, line,
                       "the width %" PRId32 " is not a multiple of 8: %" PRId32
                       " %s written and the last %" PRId32
                       " %s left out; make the width a multiple of 8",
                       record.width, columns, columns == 1 ? "column is" : "columns are", left_out,
                       left_out == 1 ? "pixel is" : "pixels are");
        }
    }
    if (!banded) {
        return;
    }
    if (off_grid(record.y) != 0) {
        list_error(findings, line,
                   "y is %" PRId32 ", not a multiple of 8: its bands are cut from row %" PRId32
                   " on, across the picture's own cells; move the record to a multiple of 8",
                   record.y, record.y);
    }
    if (record.height > 0 && record.height % 8 != 0) {
        const std::int64_t past = 8 * layout.bands - record.height;
        list_error(findings, line,
                   "the height %" PRId32 " is not a multiple of 8: %s%" PRId64
                   " bands of 8 rows are written, the last one reaching %" PRId64
                   " %s past the record; make the height a multiple of 8",
                   record.height, block ? size_line(layout.size_bytes[1], "down").c_str() : "",
                   layout.bands, past, past == 1 ? "row" : "rows");
    }
}

void check_place(Findings& findings, const ResourceRecord& record, const PictureFacts* facts,
                 std::int64_t line) {
    if (record_is_outside(record)) {
        const std::string label = label_of(record);
        list_error(findings, line, "can't convert %s: outside the 1024x1024 picture area",
                   shown_text(label.data(), label.size()).c_str());
        return;
    }
    const RecordLayout layout = record_layout(record);
    if (facts == nullptr || layout.cells_across == 0 || layout.bands == 0) {
        return;
    }
    const std::int64_t right = record.x + 8 * layout.cells_across;
    const std::int64_t bottom = record.y + layout.rows_read;
    const int rows = picture_rows(*facts);
    if (right > facts->width || bottom > rows) {
        list_error(findings, line,
                   "the record reaches to pixel %" PRId64 ",%" PRId64 ", past the %" PRId32
                   " x %d picture: what lies beyond it reads as colour 0; keep the record "
                   "inside the picture",
                   right, bottom, facts->width, rows);
    }
}

} // namespace

void index_lines(ListText& list) {
    list.line_starts.assign(1, 0);
    for (std::size_t i = 0; i < list.bytes.size(); ++i) {
        if (list.bytes[i] == '\n') {
            list.line_starts.push_back(i + 1);
        }
    }
}

std::int64_t line_of(const ListText& list, std::uint64_t offset) {
    return std::upper_bound(list.line_starts.begin(), list.line_starts.end(), offset) -
           list.line_starts.begin();
}

void start_findings(Findings& findings, std::FILE* out, const char* picture_path,
                    const char* list_path) {
    findings.out = out;
    findings.picture_path = picture_path;
    findings.list_path = list_path;
    findings.errors = 0;
    findings.notes = 0;
    findings.assemblers = ALL_ASSEMBLERS;
    findings.label_lines.clear();
    findings.have_previous = false;
    findings.previous_end = 0;
    findings.previous_layout_wrong = false;
}

void find_refused_picture(Findings& findings, const char* reason) {
    picture_error(findings, "%s", reason);
}

void find_palette_out_of_order(Findings& findings, const PictureFacts& facts,
                               const PreviewImage& image) {
    if (!facts.indexed) {
        return;
    }
    for (int i = 0; i < 16 && i < facts.palette_entries; ++i) {
        if (!image.index_drawn[i]) {
            continue;
        }
        const Rgb entry = facts.palette[i];
        const int looks = nearest_display_colour(entry).index;
        if ((looks & 7) != (i & 7)) {
            // Bright black shows as black.
            const char* shows = colour_name(same_on_display(i, 0) ? 0 : i);
            picture_error(findings,
                          "palette entry %d is #%02x%02x%02x, which looks %s, but the display "
                          "shows index %d as %s, so what is drawn in it will show %s; keep the "
                          "palette in the display's order (0 black, 1 blue, 2 red, 3 magenta, "
                          "4 green, 5 cyan, 6 yellow, 7 white, then the same bright)",
                          i, entry.r, entry.g, entry.b, colour_name(looks), i, shows, shows);
        }
    }
}

bool find_record_errors(Findings& findings, const ListText& list, const ResourceRecord& record,
                        const RecordTrace& trace, const PictureFacts* facts) {
    const std::int64_t line = line_of(list, trace.name_start);
    // A record that starts on the line where the previous one's fields ran
    // on is what is left of that line: the previous record's finding says why.
    const bool leftover = findings.have_previous && findings.previous_layout_wrong &&
                          line == line_of(list, findings.previous_end - 1) &&
                          list.bytes[findings.previous_end - 1] != '\n';
    findings.have_previous = true;
    findings.previous_end = trace.field_end[6];
    if (leftover) {
        findings.previous_layout_wrong = true;
        return false;
    }
    findings.previous_layout_wrong = !check_layout(findings, list, trace, line);
    check_label(findings, list, record, trace, line);
    for (const std::string& clash : label_clashes(label_of(record), findings.assemblers)) {
        list_error(findings, line, "%s", clash.c_str());
    }
    check_kind(findings, record, line);
    // Nothing at all is written for a record outside the area, so what its
    // sizes would do is beside the point.
    if (!record_is_outside(record)) {
        check_duplicate(findings, record, line);
        check_size_given(findings, list, trace, line, 4, record.width);
        check_size_given(findings, list, trace, line, 5, record.height);
        check_cell_edges(findings, record, line);
    }
    check_place(findings, record, facts, line);
    return true;
}

void find_record_notes(Findings& findings, const ResourceRecord& record,
                       const RecordPreview& preview) {
    const std::string label = label_of(record);
    const std::string name = shown_text(label.data(), label.size());
    if (preview.off_white_pixels > 0) {
        std::string colours;
        for (int i = 0; i < 256; ++i) {
            if (preview.off_white_colour[i]) {
                colours += (colours.empty() ? "" : ", ") + colour_words(i);
            }
        }
        cell_note(findings, preview.first_off_white_x, preview.first_off_white_y,
                  "%s: a white sprite shows only bright white 15 as ink, so its %" PRId64
                  " pixels in %s show as paper, black; draw it in 15",
                  name.c_str(), preview.off_white_pixels, colours.c_str());
    }
    if (record.kind == RecordKind::WhiteSprite) {
        return; // its one note above says what every changed pixel is
    }
    const std::int64_t listed = std::min<std::int64_t>(preview.changed_cells, CELLS_NOTED);
    for (std::int64_t i = 0; i < listed; ++i) {
        const CellChange& cell = preview.cells[i];
        std::string changes;
        bool hue_changed = false;
        for (int k = 0; k < cell.kinds; ++k) {
            const ColourChange& change = cell.changes[k];
            // Bright black shows as black; say so.
            const int shown = same_on_display(change.shown, 0) ? 0 : change.shown;
            changes += (k > 0 ? ", " : "") + colour_words(change.drawn) + " as " +
                       colour_words(shown) + " (" + std::to_string(change.pixels) + ")";
            hue_changed = hue_changed || change.drawn > 15 || (change.drawn & 7) != (shown & 7);
        }
        cell_note(findings, cell.x, cell.y, "%s: %d %s shown in other colours: %s; %s",
                  name.c_str(), cell.pixels, cell.pixels == 1 ? "pixel is" : "pixels are",
                  changes.c_str(),
                  hue_changed ? "a cell shows only its ink and paper, so draw it in two colours"
                              : "a cell's ink and paper are bright together or not at all, so "
                                "draw its two colours alike");
    }
    if (preview.changed_cells > CELLS_NOTED) {
        cell_note(findings, preview.first_unlisted_x, preview.first_unlisted_y,
                  "%s: and %" PRId64 " more cells with pixels shown in other colours", name.c_str(),
                  preview.changed_cells - CELLS_NOTED);
    }
}

void find_early_end(Findings& findings, const ListText& list, std::uint64_t end) {
    if (end == 0 || end >= list.bytes.size() ||
        list.bytes.find_first_not_of(" \t\r\n", end) == std::string::npos) {
        return; // the list ran to its end, or only blanks follow
    }
    const std::int64_t line = line_of(list, end - 1);
    std::int64_t last_line = line_of(list, list.bytes.size() - 1);
    const std::int64_t unread = last_line - line + 1;
    const char separator = list.bytes[end - 1];
    list_error(findings, line,
               "the list ends here: the name before \"%c\" is empty, so kelvora reads no further "
               "and the %" PRId64 " %s from here on %s not converted; give the record a name",
               separator, unread, unread == 1 ? "line" : "lines", unread == 1 ? "is" : "are");
}

} // namespace kelvora
