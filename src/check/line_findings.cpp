// What shows in a record's own line: where its fields stand, blanks at
// its separators, a typing slip, its label's bytes, its kind letter, a
// record cut short by the one before; and at the end of the list, lines
// that end in CR alone, a list that ends early or holds no record.
#include "check/findings.h"

#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <string>
#include <string_view>

#include "check/finding_line.h"
#include "check/label_check.h"
#include "check/typos.h"
#include "model/forms.h"

namespace kelvora {
namespace {

// A character of a label, in words.
void put_character(Line& line, char c) {
    if (c == ' ') {
        put(line, "a space");
    } else if (c == '\t') {
        put(line, "a tab");
    } else {
        put(line, "\"");
        put_shown(line, &c, 1);
        put(line, "\"");
    }
}

std::uint64_t field_start(const RecordTrace& trace, int field) {
    if (field == 0) {
        return trace.name_start;
    }
    return field == 1 ? trace.kind_start : trace.field_end[field - 1];
}

// The rest of the line that holds `offset`, from `offset` on, up to its
// line end, carriage returns left out; at most QUOTE_LIMIT + 1 bytes.
struct LineRest {
    char text[QUOTE_LIMIT + 1];
    std::size_t length;
    bool cut;
};

void rest_of_line(ListReading list, std::uint64_t offset, LineRest& rest) {
    rest.length = 0;
    rest.cut = false;
    for (std::uint64_t at = offset;; ++at) {
        hold_list_bytes(*list.window, *list.reader, at + 1);
        const int c = list_byte(*list.window, at);
        if (c < 0 || ends_line(*list.window, *list.reader, at)) {
            return;
        }
        if (rest.length == sizeof rest.text) {
            rest.cut = true;
            return;
        }
        if (c != '\r') {
            rest.text[rest.length++] = static_cast<char>(c);
        }
    }
}

// The record's line as meant, as the remedy of a finding that gives it.
void set_line_remedy(Findings& findings, const char* text, std::size_t length) {
    Remedy& remedy = findings.current.remedy;
    remedy.form = RemedyForm::LineText;
    const std::size_t taken = std::min(length, sizeof remedy.text - 1);
    std::memcpy(remedy.text, text, taken);
    remedy.text[taken] = '\0';
}

// How a record's fields stand on the line its name starts on.
struct LineLayout {
    bool fits; // all six stand there, with nothing after them but a comment
    // Why not: FieldOnNextLine, RecordRunsOn, BlanksAfterColour,
    // SemicolonAfterColour or TextAfterColour.
    FindingKind kind;
    int field;               // FieldOnNextLine: the first field on a later line,
    std::int64_t field_line; // and that line
    std::int64_t name_line;  // RecordRunsOn: the line the name ends on
    // After the colour: the byte that ended it, the rest of its line, and
    // the first byte of that rest that is no blank.
    int last;
    LineRest rest;
    std::size_t first;
};

LineLayout check_layout(ListReading list, const RecordTrace& trace, std::int64_t line,
                        std::int64_t last_line) {
    ListWindow& window = *list.window;
    ByteReader& reader = *list.reader;
    LineLayout layout{};
    // The fields all stand on one line when the byte that ends the colour does.
    for (int field = 1; field < 7 && last_line > line; ++field) {
        const std::uint64_t start = field_start(trace, field);
        hold_list_bytes(window, reader, start + 1);
        if (list_byte(window, start) < 0 && start >= list_size(window)) {
            continue; // the field starts at the end of the list: it is empty
        }
        const std::int64_t start_line = line_at(window, reader, start);
        if (start_line > line) {
            layout.kind = FindingKind::FieldOnNextLine;
            layout.field = field;
            layout.field_line = start_line;
            return layout;
        }
    }
    const std::int64_t name_end_line =
        last_line > line ? line_at(window, reader, trace.field_end[0] - 1) : line;
    if (name_end_line > line) {
        layout.kind = FindingKind::RecordRunsOn;
        layout.name_line = name_end_line;
        return layout;
    }
    layout.fits = true;
    const std::uint64_t end = trace.field_end[6];
    if (end == trace.field_end[5] || end == 0) {
        return layout; // the colour ended at the end of the list
    }
    const int last = list_byte(window, end - 1);
    if (is_digit(last) || ends_line(window, reader, end - 1)) {
        return layout; // at the end of the list, or of its line
    }
    // What stands after the byte that ended the colour is read as the start
    // of the next record, unless it is nothing or a comment after a blank.
    LineRest& rest = layout.rest;
    rest_of_line(list, end, rest);
    const bool blank = is_blank(last);
    std::size_t first = 0;
    while (first < rest.length && is_blank(rest.text[first])) {
        ++first;
    }
    const bool nothing_after = rest.length == 0 && !rest.cut;
    if (nothing_after && (blank || last == '\r' || last == ';')) {
        return layout;
    }
    if (blank && first < rest.length && rest.text[first] == ';') {
        return layout;
    }
    layout.fits = false;
    layout.last = last;
    layout.first = first;
    if (blank && first == rest.length && !rest.cut) {
        layout.kind = FindingKind::BlanksAfterColour;
    } else if (last == ';') {
        layout.kind = FindingKind::SemicolonAfterColour;
    } else {
        layout.kind = FindingKind::TextAfterColour;
    }
    return layout;
}

// Says why the record's fields do not fit its line, right after
// check_layout found it, while the bytes it looked at are held.
void say_layout(Findings& findings, ListReading list, const RecordTrace& trace, std::int64_t line,
                const LineLayout& layout) {
    const ListWindow& window = *list.window;
    if (layout.kind == FindingKind::FieldOnNextLine) {
        Line* const begun = begin_list_error(findings, FindingKind::FieldOnNextLine, line);
        if (begun == nullptr) {
            return;
        }
        Line& text = *begun;
        const std::uint64_t start = field_start(trace, layout.field);
        std::uint64_t end = trace.field_end[layout.field];
        while (end > start &&
               (list_byte(window, end - 1) == '\n' || list_byte(window, end - 1) == '\r')) {
            --end;
        }
        putf(text,
             "only %d of the six fields after the name stand on this line: the %s "
             "is read from line %" PRId64 " (\"",
             layout.field - 1, FIELD_NAMES[layout.field], layout.field_line);
        put_list_text(text, list, start, end);
        put(text, "\"), so a field is missing and the next record loses its start; give "
                  "all six: kind,x,y,width,height,colour");
        finish(findings, text);
        return;
    }
    if (layout.kind == FindingKind::RecordRunsOn) {
        list_error(findings, FindingKind::RecordRunsOn, line,
                   "the record runs on from line %" PRId64 " to line %" PRId64
                   "; write each record on a line of its own",
                   line, layout.name_line);
        return;
    }
    const LineRest& rest = layout.rest;
    const std::uint64_t end = trace.field_end[6];
    Line* const begun = begin_list_error(findings, layout.kind, line);
    if (begun == nullptr) {
        return;
    }
    Line& text = *begun;
    // The record as meant: its bytes up to the colour's last digit, and for
    // a ";" right after the colour the comment with a blank before it.
    char meant[sizeof findings.current.remedy.text];
    std::size_t length = 0;
    for (std::uint64_t at = trace.name_start; at + 1 < end && length < sizeof meant - 1; ++at) {
        const int c = list_byte(window, at);
        if (c >= 0) {
            meant[length++] = static_cast<char>(c);
        }
    }
    if (layout.kind == FindingKind::BlanksAfterColour) {
        put(text, "blanks after the colour become the start of the next record's name; remove "
                  "them");
    } else if (layout.kind == FindingKind::SemicolonAfterColour) {
        put(text, "\";");
        put_shown(text, rest.text, rest.length);
        put(text, "\" after the colour: the \";\" ends the number, so no comment starts and \"");
        put_shown(text, rest.text, rest.length);
        put(text, "\" becomes the start of the next record's name; put a blank before \";\"");
        const char* const comment = " ;";
        for (std::size_t i = 0; i < 2 && length < sizeof meant - 1; ++i) {
            meant[length++] = comment[i];
        }
        for (std::size_t i = 0; i < rest.length && length < sizeof meant - 1; ++i) {
            meant[length++] = rest.text[i];
        }
    } else {
        put(text, "\"");
        if (is_blank(layout.last)) {
            put_shown(text, rest.text + layout.first, rest.length - layout.first);
        } else {
            const char c = static_cast<char>(layout.last);
            put_shown(text, &c, 1);
            put_shown(text, rest.text, rest.length);
        }
        put(text, "\" after the colour becomes the start of the next record: a field too many, "
                  "or text that is not a comment; remove it, or start a comment with \";\"");
    }
    set_line_remedy(findings, meant, length);
    put(text, ": ");
    put_shown(text, meant, length);
    finish(findings, text);
}

// Blanks next to "=" or "," that the reading took into a field: the last
// byte of the name or the kind, the first of the kind, or the byte that
// ended a number (a number that starts with a blank ends at it, and one
// followed by a blank ends there). The colour may end at a blank before a
// comment; only one that is nothing but a blank counts.
bool has_blanks_at_separators(ListReading list, const RecordTrace& trace) {
    const ListWindow& window = *list.window;
    const auto blank_at = [&window](std::uint64_t offset) {
        return is_blank(list_byte(window, offset));
    };
    if ((trace.name_length > 0 && blank_at(trace.field_end[0] - 2)) ||
        (trace.field_end[1] > trace.kind_start + 1 &&
         (blank_at(trace.kind_start) || blank_at(trace.field_end[1] - 2)))) {
        return true;
    }
    for (int field = 2; field < 6; ++field) {
        if (blank_at(trace.field_end[field] - 1)) {
            return true;
        }
    }
    return trace.field_end[6] == trace.field_end[5] + 1 && blank_at(trace.field_end[5]);
}

// The record's line as it was meant: its bytes with the blanks next to "="
// and "," taken out, up to a comment or the line end.
void put_without_blanks(Findings& findings, Line& text, ListReading list,
                        std::uint64_t name_start) {
    char meant[QUOTE_LIMIT + 1];
    std::size_t length = 0;
    int previous = -1;
    for (std::uint64_t at = name_start; length < sizeof meant; ++at) {
        const int c = list_byte(*list.window, at);
        if (c < 0 || c == ';' || ends_line(*list.window, *list.reader, at)) {
            break;
        }
        if (is_blank(c)) {
            std::uint64_t next = at;
            while (is_blank(list_byte(*list.window, next))) {
                ++next;
            }
            const int following = list_byte(*list.window, next);
            if (previous == '=' || previous == ',' || following == '=' || following == ',' ||
                following == ';' || following < 0 || following == '\n' || following == '\r') {
                continue;
            }
        }
        meant[length++] = static_cast<char>(c);
        previous = c;
    }
    put_shown(text, meant, length);
    set_line_remedy(findings, meant, length);
}

void say_typo(Findings& findings, const Typo& typo, std::int64_t line) {
    Line* const begun = begin_list_error(findings, typo.kind, line);
    if (begun == nullptr) {
        return;
    }
    Line& text = *begun;
    set_line_remedy(findings, typo.meant, typo.meant_length);
    const char* field = FIELD_NAMES[typo.field];
    switch (typo.kind) {
    case FindingKind::SignTypo:
    case FindingKind::HexTypo: {
        const bool sign = typo.kind == FindingKind::SignTypo;
        putf(text, "the %s \"", field);
        put_text(text, typo.written);
        putf(text,
             "\" %s, which kelvora does not read: the \"%c\" ends the number, so it reads as 0 "
             "and the fields after it shift; numbers are %s",
             sign ? "has a sign" : "is hexadecimal", typo.written[sign ? 0 : 1],
             sign ? "plain digits" : "decimal");
        break;
    }
    case FindingKind::MissingEquals:
        put(text, "the \"=\" after the name is missing: the name is read up to the first \",\", "
                  "as \"");
        put_shown(text, typo.written, std::strlen(typo.written));
        put(text, "\", and the fields after it shift");
        break;
    case FindingKind::SemicolonInRecord:
        put(text, "the \";\" after the kind starts a comment: the kind read so far is dropped "
                  "with the rest of the line, and the record goes on on the next line; a "
                  "comment goes after the colour and a blank");
        break;
    default: // FieldMisplaced
        put(text, "the kind \"");
        put_text(text, typo.written);
        put(text, "\" stands among the numbers, where it is read as a number, and the first "
                  "number is read as the kind; the kind comes first, after \"=\"");
        break;
    }
    put(text, ": write ");
    put_shown(text, typo.meant, typo.meant_length);
    finish(findings, text);
}

void check_label(Findings& findings, ListReading list, const ResourceRecord& record,
                 const RecordTrace& trace, std::int64_t line) {
    const auto length = static_cast<std::size_t>(trace.name_length);
    if (trace.name_start == 0 && list_byte(*list.window, 0) == 0xEF &&
        list_byte(*list.window, 1) == 0xBB && list_byte(*list.window, 2) == 0xBF) {
        Line* const begun = begin_list_error(findings, FindingKind::ByteOrderMark, line);
        if (begun == nullptr) {
            return;
        }
        Line& text = *begun;
        set_name_remedy(findings, "", record.name + 3, length > 3 ? length - 3 : 0, false, "");
        put(text, "the list starts with a byte-order mark, which becomes part of the first "
                  "label; save the list without it (as plain UTF-8 or ASCII), so the label is ");
        put_new_name(text, findings);
        finish(findings, text);
        return;
    }
    const std::size_t label_length = record.label_length;
    if (label_length == 0) {
        list_error(findings, FindingKind::EmptyLabel, line,
                   "the label is empty (the name starts with a NUL byte), which the assembler "
                   "will not take; give the record a name");
        return;
    }
    if (label_length < length) {
        Line* const begun = begin_list_error(findings, FindingKind::NulInName, line);
        if (begun == nullptr) {
            return;
        }
        Line& text = *begun;
        set_name_remedy(findings, "", record.name, length, false, "");
        put(text, "the name \"");
        put_shown(text, record.name, length);
        put(text, "\" holds a NUL byte, and the label written ends there (\"");
        put_shown(text, record.name, label_length);
        put(text, "\"); remove it: ");
        put_new_name(text, findings);
        finish(findings, text);
        return;
    }
    const char* bad = std::find_if(record.name, record.name + label_length,
                                   [](char c) { return !is_label_character(c); });
    if (bad != record.name + label_length) {
        Line* const begun = begin_list_error(findings, FindingKind::LabelCharacter, line);
        if (begun == nullptr) {
            return;
        }
        Line& text = *begun;
        set_name_remedy(findings, is_digit(record.name[0]) ? "_" : "", record.name, label_length,
                        true, "");
        put(text, "the label \"");
        put_shown(text, record.name, label_length);
        put(text, "\" holds ");
        put_character(text, *bad);
        put(text, ", which the assembler will not take; use letters, digits, \"_\" and \".\" "
                  "only, as in ");
        put_new_name(text, findings);
        finish(findings, text);
    } else if (is_digit(record.name[0])) {
        Line* const begun = begin_list_error(findings, FindingKind::LabelDigit, line);
        if (begun == nullptr) {
            return;
        }
        Line& text = *begun;
        set_name_remedy(findings, "_", record.name, label_length, false, "");
        put(text, "the label \"");
        put_shown(text, record.name, label_length);
        put(text, "\" starts with a digit, which the assembler takes for a number; start it "
                  "with a letter, \"_\" or \".\", as in ");
        put_new_name(text, findings);
        finish(findings, text);
    }
}

void check_kind(Findings& findings, const ResourceRecord& record, std::int64_t line) {
    const char c = record.kind_char;
    if (is_kind_letter(c)) {
        return;
    }
    Line* const begun = begin_list_error(findings, FindingKind::KindLetter, line);
    if (begun == nullptr) {
        return;
    }
    Line& text = *begun;
    // A small b or t is the block or tile table meant; anything else keeps
    // the sprite it makes now.
    set_field_remedy(findings, FIELD_KIND, c == 'b' ? 'B' : (c == 't' ? 'T' : 'S'));
    const Remedy& remedy = findings.current.remedy;
    if (c == '\0') {
        put(text, "the kind is empty");
    } else {
        put(text, "the kind starts with ");
        put_character(text, c);
        put(text, ", not B, T, S or s (case counts)");
    }
    put(text, ", so this record will be a ");
    put_text(text, kind_name(record.kind));
    put(text,
        "; write B for a block, T for a tile table, S for a sprite or s for a white sprite (");
    put(text, "\"");
    const char letter = static_cast<char>(remedy.value);
    put(text, &letter, 1);
    put_text(text, c == 'b' || c == 't' ? "\" is likely meant)" : "\" keeps what it makes)");
    finish(findings, text);
}

// The first line that ends in CR alone, once it has been read.
void check_lone_cr(Findings& findings, const ListWindow& window) {
    if (findings.lone_cr_reported || window.first_lone_cr == ListWindow::NONE) {
        return;
    }
    findings.lone_cr_reported = true;
    Line* const begun = begin_list_error(findings, FindingKind::LoneCr, window.lone_cr_line);
    if (begun == nullptr) {
        return;
    }
    Line& text = *begun;
    findings.current.remedy.form = RemedyForm::LineEnds;
    put(text, "the lines end in CR alone, without LF; kelvora ends a line only at LF and reads "
              "CR as nothing, so a comment runs on over every line after it; save the list with "
              "LF (or CR LF) line ends");
    finish(findings, text);
}

// A record whose name starts inside its line, after bytes the record before
// took into its fields: its label has lost its start.
void check_lost_start(Findings& findings, ListReading list, const ResourceRecord& record,
                      const RecordTrace& trace, std::int64_t line) {
    std::uint64_t start = trace.name_start;
    std::size_t back = 0;
    while (start > 0 && back < QUOTE_LIMIT) {
        const int c = list_byte(*list.window, start - 1);
        if (c < 0 || ends_line(*list.window, *list.reader, start - 1)) {
            break;
        }
        --start;
        ++back;
    }
    while (start < trace.name_start && is_blank(list_byte(*list.window, start))) {
        ++start;
    }
    if (start == trace.name_start || !show_note(findings)) {
        return;
    }
    Line& text = begin_list_line(findings, FindingKind::LostStart, line);
    put(text, "the label is \"");
    put_shown(text, record.name, record.label_length);
    put(text, "\", not \"");
    put_list_text(text, list, start, trace.name_start);
    put_shown(text, record.name, record.label_length);
    put(text, "\": the record before takes \"");
    put_list_text(text, list, start, trace.name_start);
    putf(text,
         "\" from the start of this line into its fields; mend line %" PRId64
         " and it is whole again",
         findings.bad_line);
    finish(findings, text);
}

// A name every assembler checked takes, for a label one of them keeps or
// will not take: letters, digits and "_" only, 32 at most, and the first of
// a few forms that clashes with none.
void set_kept_name_remedy(Findings& findings, const ResourceRecord& record) {
    constexpr std::size_t MOST = 32;
    std::string stem;
    for (int i = 0; i < record.label_length && stem.size() < MOST; ++i) {
        const char c = record.name[i];
        stem += is_label_character(c) && c != '.' ? c : '_';
    }
    const std::string forms[] = {stem, "_" + stem, stem + "_1", "gfx_" + stem};
    const std::string* chosen = &forms[3];
    for (const std::string& form : forms) {
        if (!form.empty() && !is_digit(form[0]) && form != record.name &&
            label_clashes(form, findings.assemblers).empty()) {
            chosen = &form;
            break;
        }
    }
    set_name_remedy(findings, "", chosen->data(), chosen->size(), false, "");
}

} // namespace

bool find_record_errors(Findings& findings, ListReading list, const ResourceRecord& record,
                        const RecordTrace& trace, std::int64_t& line) {
    ListWindow& window = *list.window;
    ByteReader& reader = *list.reader;
    ++findings.records;
    // Counting the record's own lines, the byte after it included, finds a
    // CR alone among them before anything is said about it.
    // A record written bare on a line of its own, as most are, has its
    // fields on that line and no blank by a separator: its line is the one
    // after the counting, and neither needs a closer look.
    const std::int64_t bare_line =
        USE_FAST_FORMS ? take_bare_line(window, trace.name_start, trace.field_end[6]) : 0;
    const bool bare = bare_line > 0;
    std::int64_t last_line = bare_line;
    line = bare_line;
    if (!bare) {
        record_lines(window, reader, trace.name_start,
                     trace.field_end[6] > trace.name_start ? trace.field_end[6] - 1
                                                           : trace.name_start,
                     line, last_line);
    }
    check_lone_cr(findings, window);
    const bool after_wrong = findings.have_previous && findings.previous_layout_wrong;
    findings.have_previous = true;
    findings.previous_end = trace.field_end[6];
    // A record that starts on the line where a wrong record's fields ended
    // is what is left of that line: that record's finding says why.
    if (after_wrong && line == findings.bad_line) {
        findings.previous_left_over = true;
        return false;
    }
    const bool after_left_over = after_wrong && findings.previous_left_over;
    findings.previous_left_over = false;
    if (after_left_over) {
        check_lost_start(findings, list, record, trace, line);
    }
    if (!bare && has_blanks_at_separators(list, trace)) {
        if (Line* const begun = begin_list_error(findings, FindingKind::BlanksAtSeparators, line)) {
            Line& text = *begun;
            put(text, "blanks around \"=\" and \",\" are read into the fields: a name or kind "
                      "keeps them, and a number that starts with one reads as 0, so the fields "
                      "after it shift; remove them: ");
            put_without_blanks(findings, text, list, trace.name_start);
            finish(findings, text);
        }
        findings.previous_layout_wrong = !check_layout(list, trace, line, last_line).fits;
        findings.bad_line = last_line;
        return false;
    }
    if (!bare) {
        // A slip shifts the fields after it: it is named, and what follows
        // from it is not.
        LineRest rest;
        rest_of_line(list, trace.name_start, rest);
        const Typo typo = rest.cut ? Typo{} : find_typo(rest.text, rest.length);
        if (typo.found) {
            say_typo(findings, typo, line);
            findings.previous_layout_wrong = !check_layout(list, trace, line, last_line).fits;
            findings.bad_line = last_line;
            return false;
        }
    }
    findings.previous_layout_wrong = false;
    if (!bare) {
        const LineLayout layout = check_layout(list, trace, line, last_line);
        if (!layout.fits) {
            say_layout(findings, list, trace, line, layout);
        }
        findings.previous_layout_wrong = !layout.fits;
    }
    findings.bad_line = last_line;
    check_label(findings, list, record, trace, line);
    for (const std::string& clash :
         label_clashes(std::string_view(record.name, record.label_length), findings.assemblers)) {
        Line* const begun = begin_list_error(findings, FindingKind::LabelKept, line);
        if (begun == nullptr) {
            continue;
        }
        Line& text = *begun;
        set_kept_name_remedy(findings, record);
        put(text, clash.data(), clash.size());
        put(text, " (");
        put_new_name(text, findings);
        put(text, " would do)");
        finish(findings, text);
    }
    check_kind(findings, record, line);
    return true;
}

void find_list_end(Findings& findings, ListReading list, std::uint64_t end) {
    ListWindow& window = *list.window;
    ByteReader& reader = *list.reader;
    const std::int64_t end_line = end > 0 ? line_at(window, reader, end - 1) : 1;
    const int separator = end > 0 ? list_byte(window, end - 1) : -1;
    const bool more = read_to_end(window, reader, end);
    check_lone_cr(findings, window);
    if (end > 0 && more && (separator == '=' || separator == ',')) {
        const std::uint64_t size = list_size(window);
        const std::int64_t last_line = line_at(window, reader, size > 0 ? size - 1 : 0);
        const std::int64_t unread = last_line - end_line + 1;
        list_error(findings, FindingKind::ListEndsEarly, end_line,
                   "the list ends here: the name before \"%c\" is empty, so kelvora reads no "
                   "further and the %" PRId64 " %s from here on %s not converted; give the "
                   "record a name",
                   separator, unread, plural(unread, "line", "lines"), plural(unread, "is", "are"));
    } else if (findings.records == 0 && !findings.lone_cr_reported && show_note(findings)) {
        Line& text = begin_list_line(findings, FindingKind::EmptyList, 1);
        put(text, "the list holds no record, so kelvora writes an empty output; write one "
                  "record a line: name=kind,x,y,width,height,colour");
        finish(findings, text);
    }
    // Said last, and not findings themselves: they add no mistake.
    put_hidden_count(findings, findings.errors_hidden, "error", "errors", ERRORS_SHOWN);
    put_hidden_count(findings, findings.notes_hidden, "note", "notes", NOTES_SHOWN);
}

} // namespace kelvora
