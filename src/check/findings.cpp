// The checker's findings, one function per kind of mistake. Each finding is
// composed as one line and written whole.
#include "check/findings.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cinttypes>
#include <cstdarg>
#include <cstring>
#include <string>
#include <string_view>

#include "cells/ink_paper.h"
#include "check/typos.h"
#include "convert/convert_record.h"
#include "model/forms.h"

namespace kelvora {
namespace {

// Quoted text from the list or a name is cut after this many bytes.
constexpr std::size_t QUOTE_LIMIT = 120;

struct Line {
    static constexpr std::size_t CAPACITY = 8192;
    std::size_t length;
    char text[CAPACITY];
};

void put(Line& line, const char* text, std::size_t length) {
    const std::size_t room = Line::CAPACITY - 1 - line.length;
    const std::size_t taken = length < room ? length : room;
    std::memcpy(line.text + line.length, text, taken);
    line.length += taken;
}

// A string literal, whose length is known without a look: copied as a
// block of that size when it fits, as it nearly always does.
template <std::size_t N> void put(Line& line, const char (&text)[N]) {
    if (line.length + N <= Line::CAPACITY) {
        std::memcpy(line.text + line.length, text, N - 1);
        line.length += N - 1;
    } else {
        put(line, text, N - 1);
    }
}

void put_text(Line& line, const char* text) {
    put(line, text, std::strlen(text));
}

void put(Line& line, std::int64_t number) {
    char digits[24];
    char* const end = digits + sizeof digits;
    char* p = end;
    std::uint64_t value =
        number < 0 ? 0 - static_cast<std::uint64_t>(number) : static_cast<std::uint64_t>(number);
    do {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    if (number < 0) {
        *--p = '-';
    }
    put(line, p, static_cast<std::size_t>(end - p));
}

__attribute__((format(printf, 2, 3))) void putf(Line& line, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(line.text + line.length, Line::CAPACITY - 1 - line.length,
                                      format, arguments);
    va_end(arguments);
    if (length > 0) {
        line.length = std::min(line.length + static_cast<std::size_t>(length), Line::CAPACITY - 1);
    }
}

constexpr bool is_digit(int c) {
    return c >= '0' && c <= '9';
}

constexpr std::array<bool, 256> make_label_characters() {
    std::array<bool, 256> label{};
    for (int c = 0; c < 256; ++c) {
        label[c] =
            (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '_' || c == '.';
    }
    return label;
}

// Every label is looked at, so this is a table.
constexpr std::array<bool, 256> LABEL_CHARACTERS = make_label_characters();

// Text from the list or a name, shown in messages: bytes outside printable
// ASCII as \xNN, cut with "..." past QUOTE_LIMIT bytes.
void put_shown(Line& line, const char* bytes, std::size_t length) {
    const std::size_t shown = std::min(length, QUOTE_LIMIT);
    // Most text is shown as it is (a label), and is copied as one block.
    std::size_t plain = 0;
    while (plain < shown && LABEL_CHARACTERS[static_cast<unsigned char>(bytes[plain])]) {
        ++plain;
    }
    put(line, bytes, plain);
    for (std::size_t i = plain; i < shown; ++i) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        if (c >= ' ' && c < 0x7F && c != '"' && c != '\\') {
            line.text[line.length] = static_cast<char>(c);
            line.length += line.length + 1 < Line::CAPACITY ? 1 : 0;
        } else {
            putf(line, "\\x%02x", c);
        }
    }
    if (shown < length) {
        put(line, "...");
    }
}

// Starts a finding of the kind at the place given, with no remedy yet: the
// check that says it fills that in before the line is finished.
void start_finding(Findings& findings, FindingKind kind, bool error, std::int64_t at, int x,
                   int y) {
    Finding& finding = findings.current;
    finding.kind = kind;
    finding.error = error;
    finding.line = at;
    finding.x = x;
    finding.y = y;
    finding.remedy.form = RemedyForm::None;
    finding.remedy.every = false;
}

Line& begin_list_line(Findings& findings, FindingKind kind, std::int64_t at, bool error) {
    start_finding(findings, kind, error, at, -1, -1);
    static Line line;
    line.length = 0;
    put(line, findings.list_path, findings.list_path_length);
    put(line, ":");
    put(line, at);
    put_text(line, error ? ": error: " : ": note: ");
    return line;
}

Line& begin_picture_line(Findings& findings, FindingKind kind) {
    start_finding(findings, kind, true, 0, -1, -1);
    static Line line;
    line.length = 0;
    put_text(line, findings.picture_path);
    put(line, ": error: ");
    return line;
}

Line& begin_cell_line(Findings& findings, FindingKind kind, int x, int y) {
    start_finding(findings, kind, false, 0, x, y);
    static Line line;
    line.length = 0;
    put_text(line, findings.picture_path);
    put(line, ":");
    put(line, x);
    put(line, ",");
    put(line, y);
    put(line, ": note: ");
    return line;
}

// Whether the next note is shown; when not, it is counted all the same.
bool show_note(Findings& findings) {
    if (findings.notes - findings.notes_hidden < NOTES_SHOWN) {
        return true;
    }
    ++findings.notes;
    ++findings.notes_hidden;
    return false;
}

// Writes the finding's line, or for an error past the first ERRORS_SHOWN
// only counts it; hands the finding to the collector when there is one.
void finish(Findings& findings, Line& line) {
    const Finding& finding = findings.current;
    if (findings.collect != nullptr) {
        findings.collect(finding, findings.collect_context);
    }
    if (!finding.error) {
        ++findings.notes;
    } else if (++findings.errors > ERRORS_SHOWN) {
        ++findings.errors_hidden;
        return;
    }
    line.text[line.length++] = '\n';
    std::fwrite(line.text, 1, line.length, findings.out);
}

// An error past the first ERRORS_SHOWN, when no collector wants it, is only
// counted: composing its line would cost more than the check of its record.
bool count_hidden_error(Findings& findings) {
    if (findings.errors < ERRORS_SHOWN || findings.collect != nullptr) {
        return false;
    }
    ++findings.errors;
    ++findings.errors_hidden;
    return true;
}

__attribute__((format(printf, 4, 5))) void list_error(Findings& findings, FindingKind kind,
                                                      std::int64_t at, const char* format, ...) {
    if (count_hidden_error(findings)) {
        return;
    }
    Line& line = begin_list_line(findings, kind, at, true);
    va_list arguments;
    va_start(arguments, format);
    const int length = std::vsnprintf(line.text + line.length, Line::CAPACITY - 1 - line.length,
                                      format, arguments);
    va_end(arguments);
    line.length =
        std::min(line.length + static_cast<std::size_t>(std::max(length, 0)), Line::CAPACITY - 1);
    finish(findings, line);
}

const char* plural(std::int64_t count, const char* one, const char* more) {
    return count == 1 ? one : more;
}

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

// "3 magenta"; an index above 15 has no display colour of its own.
void put_colour(Line& line, int index) {
    const ColourText& colour = COLOUR_TEXTS[static_cast<std::uint8_t>(index)];
    put(line, colour.text, colour.length);
}

// A colour as drawn: "2 red", or for an index the picture draws in another
// colour than the display gives it, "1 (drawn black)".
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

bool is_blank(int c) {
    return c == ' ' || c == '\t';
}

bool is_label_character(char c) {
    return LABEL_CHARACTERS[static_cast<unsigned char>(c)];
}

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

constexpr const char* FIELD_NAMES[7] = {"name", "kind", "x", "y", "width", "height", "colour"};

std::uint64_t field_start(const RecordTrace& trace, int field) {
    if (field == 0) {
        return trace.name_start;
    }
    return field == 1 ? trace.kind_start : trace.field_end[field - 1];
}

// The list's bytes from `begin` to `end` as they are held, shown.
void put_list_text(Line& line, ListReading list, std::uint64_t begin, std::uint64_t end) {
    const ListWindow& window = *list.window;
    if (end > begin + QUOTE_LIMIT + 1) {
        end = begin + QUOTE_LIMIT + 1; // shown cut anyway
    }
    char text[QUOTE_LIMIT + 1];
    std::size_t length = 0;
    bool lost = false;
    for (std::uint64_t at = begin; at < end; ++at) {
        const int c = list_byte(window, at);
        lost = lost || c < 0;
        if (c >= 0) {
            text[length++] = static_cast<char>(c);
        }
    }
    if (lost) {
        put(line, "...");
    }
    put_shown(line, text, length);
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

// Whether the record's six fields stand on the line its name starts on, with
// nothing after them but a comment. Returns false when they do not, and says
// why when `report` is set.
bool check_layout(Findings& findings, ListReading list, const RecordTrace& trace, std::int64_t line,
                  std::int64_t last_line, bool report) {
    ListWindow& window = *list.window;
    ByteReader& reader = *list.reader;
    // The fields all stand on one line when the byte that ends the colour does.
    for (int field = 1; field < 7 && last_line > line; ++field) {
        const std::uint64_t start = field_start(trace, field);
        hold_list_bytes(window, reader, start + 1);
        if (list_byte(window, start) < 0 && start >= list_size(window)) {
            continue; // the field starts at the end of the list: it is empty
        }
        const std::int64_t start_line = line_at(window, reader, start);
        if (start_line > line) {
            if (report) {
                std::uint64_t end = trace.field_end[field];
                while (end > start &&
                       (list_byte(window, end - 1) == '\n' || list_byte(window, end - 1) == '\r')) {
                    --end;
                }
                Line& text = begin_list_line(findings, FindingKind::FieldOnNextLine, line, true);
                putf(text,
                     "only %d of the six fields after the name stand on this line: the %s "
                     "is read from line %" PRId64 " (\"",
                     field - 1, FIELD_NAMES[field], start_line);
                put_list_text(text, list, start, end);
                put(text, "\"), so a field is missing and the next record loses its start; give "
                          "all six: kind,x,y,width,height,colour");
                finish(findings, text);
            }
            return false;
        }
    }
    const std::int64_t name_end_line =
        last_line > line ? line_at(window, reader, trace.field_end[0] - 1) : line;
    if (name_end_line > line) {
        if (report) {
            list_error(findings, FindingKind::RecordRunsOn, line,
                       "the record runs on from line %" PRId64 " to line %" PRId64
                       "; write each record on a line of its own",
                       line, name_end_line);
        }
        return false;
    }
    const std::uint64_t end = trace.field_end[6];
    if (end == trace.field_end[5] || end == 0) {
        return true; // the colour ended at the end of the list
    }
    const int last = list_byte(window, end - 1);
    if (is_digit(last) || ends_line(window, reader, end - 1)) {
        return true; // at the end of the list, or of its line
    }
    // What stands after the byte that ended the colour is read as the start
    // of the next record, unless it is nothing or a comment after a blank.
    LineRest rest;
    rest_of_line(list, end, rest);
    const bool blank = is_blank(last);
    std::size_t first = 0;
    while (first < rest.length && is_blank(rest.text[first])) {
        ++first;
    }
    const bool nothing_after = rest.length == 0 && !rest.cut;
    if (nothing_after && (blank || last == '\r' || last == ';')) {
        return true;
    }
    if (blank && first < rest.length && rest.text[first] == ';') {
        return true;
    }
    if (!report) {
        return false;
    }
    Line& text = begin_list_line(findings, FindingKind::TextAfterColour, line, true);
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
    if (blank && first == rest.length && !rest.cut) {
        findings.current.kind = FindingKind::BlanksAfterColour;
        put(text, "blanks after the colour become the start of the next record's name; remove "
                  "them");
    } else if (last == ';') {
        findings.current.kind = FindingKind::SemicolonAfterColour;
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
        if (blank) {
            put_shown(text, rest.text + first, rest.length - first);
        } else {
            const char c = static_cast<char>(last);
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
    return false;
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
    Line& text = begin_list_line(findings, typo.kind, line, true);
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

// A new name for the record, as the remedy: `before`, then the name's bytes
// from `from` on without its NULs (and any byte the assembler will not take,
// when `only_label_characters`), then `after`.
void set_name_remedy(Findings& findings, const char* before, const char* name, std::size_t length,
                     bool only_label_characters, const char* after) {
    Remedy& remedy = findings.current.remedy;
    remedy.form = RemedyForm::Field;
    remedy.field = FIELD_NAME;
    std::size_t at = 0;
    const auto add = [&remedy, &at](char c) {
        if (at + 1 < sizeof remedy.text) {
            remedy.text[at++] = c;
        }
    };
    for (const char* p = before; *p != '\0'; ++p) {
        add(*p);
    }
    for (std::size_t i = 0; i < length; ++i) {
        if (name[i] != '\0') {
            add(only_label_characters && !is_label_character(name[i]) ? '_' : name[i]);
        }
    }
    for (const char* p = after; *p != '\0'; ++p) {
        add(*p);
    }
    remedy.text[at] = '\0';
}

// The remedy's new name, quoted.
void put_new_name(Line& text, const Findings& findings) {
    const char* name = findings.current.remedy.text;
    put(text, "\"");
    put_shown(text, name, std::strlen(name));
    put(text, "\"");
}

void check_label(Findings& findings, ListReading list, const ResourceRecord& record,
                 const RecordTrace& trace, std::int64_t line) {
    const auto length = static_cast<std::size_t>(trace.name_length);
    if (trace.name_start == 0 && list_byte(*list.window, 0) == 0xEF &&
        list_byte(*list.window, 1) == 0xBB && list_byte(*list.window, 2) == 0xBF) {
        Line& text = begin_list_line(findings, FindingKind::ByteOrderMark, line, true);
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
        Line& text = begin_list_line(findings, FindingKind::NulInName, line, true);
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
        Line& text = begin_list_line(findings, FindingKind::LabelCharacter, line, true);
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
        Line& text = begin_list_line(findings, FindingKind::LabelDigit, line, true);
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
    Line& text = begin_list_line(findings, FindingKind::KindLetter, line, true);
    // A small b or t is the block or tile table meant; anything else keeps
    // the sprite it makes now.
    Remedy& remedy = findings.current.remedy;
    remedy.form = RemedyForm::Field;
    remedy.field = FIELD_KIND;
    remedy.value = c == 'b' ? 'B' : (c == 't' ? 'T' : 'S');
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

// The labels given so far are kept by the hashed set or, in a build of the
// plain forms, by its twin of whole labels. A name sdcc's header gives is
// kept beside them apart: its hash salted, its text after a NUL (which no
// label holds).
constexpr std::uint64_t HEADER_NAME_SALT = 0x9e3779b97f4a7c15u;

std::string plain_key(std::string_view name, bool header_name) {
    return header_name ? std::string(1, '\0').append(name) : std::string(name);
}

bool find_given(const Findings& findings, std::string_view name, bool header_name,
                std::int64_t& line) {
    if (!USE_FAST_FORMS) {
        const auto found = findings.plain_labels.lines.find(plain_key(name, header_name));
        line = found != findings.plain_labels.lines.end() ? found->second : line;
        return found != findings.plain_labels.lines.end();
    }
    const std::uint64_t hash = label_hash(name.data(), name.size());
    return find_label(findings.labels, header_name ? hash ^ HEADER_NAME_SALT : hash, line);
}

// Adds the name; `hash` is its label_hash, worked out already.
LabelLookup add_given(Findings& findings, std::string_view name, std::uint64_t hash,
                      bool header_name, std::int64_t at_line, std::int64_t& line) {
    if (!USE_FAST_FORMS) {
        return add_plain_label(findings.plain_labels, plain_key(name, header_name), at_line, line);
    }
    return add_label(findings.labels, header_name ? hash ^ HEADER_NAME_SALT : hash, at_line, line);
}

void note_label_set_full(Findings& findings, std::int64_t line) {
    if (!show_note(findings)) {
        return;
    }
    Line& text = begin_list_line(findings, FindingKind::LabelsFull, line, false);
    put(text, "the check keeps the first ");
    put(text, static_cast<std::int64_t>(USE_FAST_FORMS ? findings.labels.labels
                                                       : findings.plain_labels.lines.size()));
    put(text, " labels only: from this record on, a label is checked against those, but "
              "not against the labels after them");
    finish(findings, text);
}

// An assembler checked that reads "ship" and "Ship" as one name; null for
// none.
const AsmSyntax* folding_case(const Findings& findings) {
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        if ((findings.assemblers & assembler_set(syntax)) != 0 && name_rules(syntax).folds_case) {
            return &syntax;
        }
    }
    return nullptr;
}

void check_duplicate(Findings& findings, const ResourceRecord& record, std::uint64_t hash,
                     std::int64_t line) {
    // Where names are one whatever their case, labels are kept in lower case.
    const AsmSyntax* const folded = folding_case(findings);
    char lower[TOKEN_BUFFER_SIZE];
    std::string_view kept(record.name, record.label_length);
    if (folded != nullptr) {
        for (int i = 0; i < record.label_length; ++i) {
            const char c = record.name[i];
            lower[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
        }
        hash = label_hash(lower, record.label_length);
        kept = std::string_view(lower, record.label_length);
    }
    std::int64_t earlier = 0;
    const LabelLookup lookup = add_given(findings, kept, hash, false, line, earlier);
    switch (lookup) {
    case LabelLookup::Added:
    case LabelLookup::New:
        return;
    case LabelLookup::Taken: {
        Line& text = begin_list_line(findings, FindingKind::LabelTaken, line, true);
        // Named after its line, so that no two renamed labels meet.
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "_%" PRId64, line);
        set_name_remedy(findings, "", record.name, record.label_length, false, suffix);
        put(text, "the label \"");
        put_shown(text, record.name, record.label_length);
        put(text, "\" is taken already, on line ");
        put(text, earlier);
        if (folded != nullptr) {
            put(text, " (");
            put_text(text, folded->title);
            put(text, " reads names without regard to case)");
        }
        put(text, ", and the assembler will not take it twice; rename one of them, this one to ");
        put_new_name(text, findings);
        put(text, " say");
        finish(findings, text);
        return;
    }
    case LabelLookup::NowFull:
        note_label_set_full(findings, line);
        return;
    }
}

// The names sdcc's header gives a record besides its own, and what each
// names; the ones a record's kind does not write are left out.
struct HeaderName {
    const char* suffix;
    const char* what;
};
constexpr HeaderName HEADER_NAMES[] = {
    {"_BYTES", "the bytes"},
    {"_WIDTH", "the width"},
    {"_HEIGHT", "the height"},
    {"_PAGE_ALIGNED", "the page alignment"},
};

bool header_writes(const HeaderName& name, const RecordLayout& layout) {
    const std::string_view suffix = name.suffix;
    if (suffix == "_WIDTH" || suffix == "_HEIGHT") {
        return layout.size_byte_count == 2;
    }
    return suffix != "_PAGE_ALIGNED" || layout.page_aligned;
}

void put_c_name_trouble(Line& text, std::string_view label) {
    const bool identifier =
        !label.empty() && !is_digit(label[0]) &&
        std::all_of(label.begin(), label.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || is_digit(c) || c == '_';
        });
    if (!identifier) {
        put(text, "a C name has only letters, digits and \"_\", and no digit first");
    } else if (label[0] == '_' && label.size() > 1 &&
               (label[1] == '_' || (label[1] >= 'A' && label[1] <= 'Z'))) {
        put(text, "C keeps names that start with \"__\", or \"_\" and a capital, for the compiler");
    } else {
        put(text, "it is a keyword of C");
    }
}

// For a C program built with sdcc: a label that is no C name, which sdcc's
// header leaves out, and a name that sdcc or its header gives one record and
// is another's label.
void check_c_names(Findings& findings, const ResourceRecord& record, const RecordLayout& layout,
                   std::int64_t line) {
    const std::string_view label(record.name, record.label_length);
    char name[TOKEN_BUFFER_SIZE + 16];
    std::int64_t earlier = 0;
    if (!is_c_name(label)) {
        Line& text = begin_list_line(findings, FindingKind::NotCName, line, true);
        put(text, "the label \"");
        put_shown(text, record.name, record.label_length);
        put(text, "\" is no C name: ");
        put_c_name_trouble(text, label);
        put(text, "; sdcc's header leaves it out and a C program cannot reach the record; "
                  "rename it");
        finish(findings, text);
        // sdcc writes it as it is, where a C name M is written "_M".
        const std::string_view rest = label.substr(label.empty() ? 0 : 1);
        if (label.size() > 1 && label[0] == '_' && is_c_name(rest) &&
            find_given(findings, rest, false, earlier)) {
            list_error(findings, FindingKind::CNameTaken, line,
                       "the label \"%.*s\" is also the name sdcc gives the label \"%.*s\", on "
                       "line %lld; rename one of them",
                       static_cast<int>(label.size()), label.data(), static_cast<int>(rest.size()),
                       rest.data(), static_cast<long long>(earlier));
        }
        return;
    }
    name[0] = '_';
    label.copy(name + 1, label.size());
    if (!is_c_name(std::string_view(name, label.size() + 1)) &&
        find_given(findings, std::string_view(name, label.size() + 1), false, earlier)) {
        list_error(findings, FindingKind::CNameTaken, line,
                   "sdcc gives the label \"%.*s\" the name \"_%.*s\", which is also the label on "
                   "line %lld; rename one of them",
                   static_cast<int>(label.size()), label.data(), static_cast<int>(label.size()),
                   label.data(), static_cast<long long>(earlier));
    }
    if (find_given(findings, label, true, earlier)) {
        list_error(findings, FindingKind::CNameTaken, line,
                   "the label \"%.*s\" is also a name sdcc's header gives the record on line "
                   "%lld; rename one of them",
                   static_cast<int>(label.size()), label.data(), static_cast<long long>(earlier));
    }
    for (const HeaderName& header_name : HEADER_NAMES) {
        if (!header_writes(header_name, layout)) {
            continue;
        }
        const std::size_t length = label.size() + std::strlen(header_name.suffix);
        label.copy(name, label.size());
        std::memcpy(name + label.size(), header_name.suffix, std::strlen(header_name.suffix));
        const std::string_view header_name_text(name, length);
        if (find_given(findings, header_name_text, false, earlier)) {
            list_error(findings, FindingKind::CNameTaken, line,
                       "sdcc's header names %s of \"%.*s\" \"%.*s\", which is also the label on "
                       "line %lld; rename one of them",
                       header_name.what, static_cast<int>(label.size()), label.data(),
                       static_cast<int>(length), name, static_cast<long long>(earlier));
        }
        // Kept like a label, and counted so: the set's room is the labels'.
        std::int64_t ignored = 0;
        if (add_given(findings, header_name_text, label_hash(name, length), true, line, ignored) ==
            LabelLookup::NowFull) {
            note_label_set_full(findings, line);
        }
    }
}

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
        Line& text = begin_list_line(findings, FindingKind::SizeWrapped, line, true);
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

// x, y, width or height not a multiple of 8 where cells are cut: x and width
// for every kind, y and height for blocks and tile tables.
// A field remedy: the record's field to the value, said at the end of the
// line as ": make it N".
void set_field_remedy(Findings& findings, RecordField field, std::int64_t value) {
    Remedy& remedy = findings.current.remedy;
    remedy.form = RemedyForm::Field;
    remedy.field = field;
    remedy.value = value;
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
    if (count_hidden_error(findings)) {
        return;
    }
    const bool x = field == FIELD_X;
    Line& text = begin_list_line(findings, kind, line, true);
    set_field_remedy(findings, field, round_down(value));
    putf(text,
         "%s is %" PRId32 ", not a multiple of 8: its %s are cut from %s %" PRId32
         " on, across the picture's own cells; move the record to a multiple of 8, %s %" PRId64,
         FIELD_NAMES[field], value, x ? "cells" : "bands", x ? "pixel" : "row", value,
         FIELD_NAMES[field], findings.current.remedy.value);
    finish(findings, text);
}

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
        Line& text = begin_list_line(findings, FindingKind::WidthOffGrid, line, true);
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
        Line& text = begin_list_line(findings, FindingKind::HeightOffGrid, line, true);
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
        Line& text = begin_list_line(findings, FindingKind::Outside, line, true);
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

// The first line that ends in CR alone, once it has been read.
void check_lone_cr(Findings& findings, const ListWindow& window) {
    if (findings.lone_cr_reported || window.first_lone_cr == ListWindow::NONE) {
        return;
    }
    findings.lone_cr_reported = true;
    if (count_hidden_error(findings)) {
        return;
    }
    Line& text = begin_list_line(findings, FindingKind::LoneCr, window.lone_cr_line, true);
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
    Line& text = begin_list_line(findings, FindingKind::LostStart, line, false);
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

const char* TWO_COLOURS = "a cell shows only its ink and paper, so draw it in two colours";
const char* ALIKE = "a cell's ink and paper are bright together or not at all, so draw its two "
                    "colours alike";
const char* TRUECOLOUR = "save the picture as truecolour (ImageMagick's PNG24:), whose colours "
                         "kelvora matches to the display's";

// The truecolour route, with what it costs a picture that draws in bright
// black 8: truecolour has no bright black, and black 0 is background to a
// cell, so a cell of 8 and two other colours clashes anew.
void put_truecolour(Line& text, const DrawnColours& drawn) {
    put_text(text, TRUECOLOUR);
    if (drawn.used[8]) {
        put(text, ", though that turns bright black 8 into black 0, which a cell takes for "
                  "background, so cells drawn in 8 may clash anew");
    }
}

// A colour as it must be drawn, the index, and how the display shows it
// where that differs: "6 (shown 14 bright yellow)".
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
        remedy.form = RemedyForm::Field;
        remedy.field = FIELD_COLOUR;
        remedy.value = 0;
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
        put(text, "the display shows each index in its own colour, not its palette entry's (see "
                  "the palette error)");
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
    put(text, "; the display shows each index in its own colour, not its palette entry's (see the "
              "palette error)");
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
            put(text, "; and the display shows each index in its own colour, not its palette "
                      "entry's (see the palette error)");
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
    if (preview.white_has_15 ? !show_note(findings) : count_hidden_error(findings)) {
        return;
    }
    Line& text = preview.white_has_15
                     ? begin_cell_line(findings, FindingKind::WhiteSpriteColours,
                                       preview.first_white_x, preview.first_white_y)
                     : begin_list_line(findings, FindingKind::WhiteSpriteNo15, line, true);
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
    Line& text = begin_list_line(findings, FindingKind::NoTransparentPixel, line, false);
    put(text, "the sprite \"");
    put_shown(text, record.name, record.label_length);
    put(text, "\" has no pixel in 0, so nothing of it is transparent and its mask covers its "
              "whole box; draw its background in 0");
    finish(findings, text);
}

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

// A tile table wider than a page holds: each band's cell lines pass its
// page, and its fill runs on to the next, so each band takes more than one.
void say_wide_tile_table(Findings& findings, const RecordLayout& layout, std::int64_t line) {
    const std::int64_t bytes = layout.cells_across * CELL_LINE_BYTES;
    const std::int64_t pages = (bytes + PAGE_BYTES - 1) / PAGE_BYTES;
    const std::int64_t most = PAGE_BYTES / CELL_LINE_BYTES;
    Line& text = begin_list_line(findings, FindingKind::WideTileTable, line, false);
    putf(text,
         "the tile table is %" PRId64 " cells wide, so a band's %" PRId64 " bytes pass its "
         "%d-byte page and each band takes %" PRId64 " pages, not one: code that steps one page "
         "a band reads the wrong bytes; split it into tables of %" PRId64 " cells (%" PRId64
         " pixels) across at most",
         layout.cells_across, bytes, PAGE_BYTES, pages, most, 8 * most);
    finish(findings, text);
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
    Line& text = begin_list_line(findings, FindingKind::ColourAboveSeven, line, false);
    Remedy& remedy = findings.current.remedy;
    remedy.form = RemedyForm::Field;
    remedy.field = FIELD_COLOUR;
    remedy.value = colour.acts_as;
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

// "PICTURE: note: 3 more errors like those above are not shown; ..."
void put_hidden_count(Findings& findings, std::int64_t hidden, const char* one, const char* more,
                      std::int64_t shown) {
    if (hidden == 0) {
        return;
    }
    static Line text;
    text.length = 0;
    put_text(text, findings.picture_path);
    put(text, ": note: ");
    put(text, hidden);
    put(text, " more ");
    put_text(text, hidden == 1 ? one : more);
    put_text(text,
             hidden == 1 ? " like those above is not shown" : " like those above are not shown");
    put(text, "; the check shows the first ");
    put(text, shown);
    text.text[text.length++] = '\n';
    std::fwrite(text.text, 1, text.length, findings.out);
}

} // namespace

void start_findings(Findings& findings, std::FILE* out, const char* picture_path,
                    const char* list_path) {
    findings.out = out;
    findings.picture_path = picture_path;
    findings.list_path = list_path;
    findings.list_path_length = std::strlen(list_path);
    findings.drawn = nullptr;
    findings.errors = 0;
    findings.errors_hidden = 0;
    findings.palette_moved = false;
    findings.collect = nullptr;
    findings.collect_context = nullptr;
    findings.notes = 0;
    findings.notes_hidden = 0;
    findings.assemblers = DEFAULT_ASSEMBLERS;
    start_label_set(findings.labels);
    start_plain_label_set(findings.plain_labels);
    findings.have_previous = false;
    findings.previous_layout_wrong = false;
    findings.previous_left_over = false;
    findings.bad_line = 0;
    findings.previous_end = 0;
    findings.lone_cr_reported = false;
    findings.records = 0;
    std::memset(findings.colours_noted, 0, sizeof findings.colours_noted);
}

int cells_to_describe(const Findings& findings) {
    const std::int64_t left = NOTES_SHOWN - (findings.notes - findings.notes_hidden);
    return static_cast<int>(std::clamp<std::int64_t>(left, 0, CELLS_NOTED));
}

void end_findings(Findings& findings) {
    free_label_set(findings.labels);
    free_plain_label_set(findings.plain_labels);
}

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

// A name every assembler checked takes, for a label one of them keeps or
// will not take: letters, digits and "_" only, 32 at most, and the first of
// a few forms that clashes with none.
void set_kept_name_remedy(Findings& findings, const ResourceRecord& record) {
    constexpr std::size_t MOST = 32;
    std::string plain;
    for (int i = 0; i < record.label_length && plain.size() < MOST; ++i) {
        const char c = record.name[i];
        plain += is_label_character(c) && c != '.' ? c : '_';
    }
    const std::string forms[] = {plain, "_" + plain, plain + "_1", "gfx_" + plain};
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

bool find_record_errors(Findings& findings, ListReading list, const ResourceRecord& record,
                        const RecordTrace& trace, std::int64_t& line) {
    ListWindow& window = *list.window;
    ByteReader& reader = *list.reader;
    ++findings.records;
    // Counting the record's own lines, the byte after it included, finds a
    // CR alone among them before anything is said about it.
    // A record written plainly on a line of its own, as most are, has its
    // fields on that line and no blank by a separator: its line is the one
    // after the counting, and neither needs a closer look.
    const std::int64_t plain_line =
        USE_FAST_FORMS ? take_plain_line(window, trace.name_start, trace.field_end[6]) : 0;
    const bool plain = plain_line > 0;
    std::int64_t last_line = plain_line;
    line = plain_line;
    if (!plain) {
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
    if (!plain && has_blanks_at_separators(list, trace)) {
        Line& text = begin_list_line(findings, FindingKind::BlanksAtSeparators, line, true);
        put(text, "blanks around \"=\" and \",\" are read into the fields: a name or kind keeps "
                  "them, and a number that starts with one reads as 0, so the fields after it "
                  "shift; remove them: ");
        put_without_blanks(findings, text, list, trace.name_start);
        finish(findings, text);
        findings.previous_layout_wrong =
            !check_layout(findings, list, trace, line, last_line, false);
        findings.bad_line = last_line;
        return false;
    }
    if (!plain) {
        // A slip shifts the fields after it: it is named, and what follows
        // from it is not.
        LineRest rest;
        rest_of_line(list, trace.name_start, rest);
        const Typo typo = rest.cut ? Typo{} : find_typo(rest.text, rest.length);
        if (typo.found) {
            say_typo(findings, typo, line);
            findings.previous_layout_wrong =
                !check_layout(findings, list, trace, line, last_line, false);
            findings.bad_line = last_line;
            return false;
        }
    }
    findings.previous_layout_wrong =
        !plain && !check_layout(findings, list, trace, line, last_line, true);
    findings.bad_line = last_line;
    check_label(findings, list, record, trace, line);
    for (const std::string& clash :
         label_clashes(std::string_view(record.name, record.label_length), findings.assemblers)) {
        if (count_hidden_error(findings)) {
            continue;
        }
        Line& text = begin_list_line(findings, FindingKind::LabelKept, line, true);
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

void find_label_errors(Findings& findings, const ResourceRecord& record, const RecordLayout& layout,
                       std::uint64_t label_hash, std::int64_t line) {
    check_duplicate(findings, record, label_hash, line);
    if ((findings.assemblers & assembler_set(*find_assembler("sdcc"))) != 0) {
        check_c_names(findings, record, layout, line);
    }
}

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

void find_record_notes(Findings& findings, const ResourceRecord& record, std::int64_t line,
                       const RecordPreview& preview) {
    if (record.kind == RecordKind::WhiteSprite) {
        if (preview.changed_pixels > 0) {
            note_white_sprite(findings, record, line, preview); // says what every pixel is
        }
    } else {
        note_cells(findings, record, line, preview);
    }
    if (preview.any_cell && !preview.any_transparent) {
        note_solid_sprite(findings, record, line);
    }
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
        Line& text = begin_list_line(findings, FindingKind::EmptyList, 1, false);
        put(text, "the list holds no record, so kelvora writes an empty output; write one "
                  "record a line: name=kind,x,y,width,height,colour");
        finish(findings, text);
    }
    // Said last, and not findings themselves: they add no mistake.
    put_hidden_count(findings, findings.errors_hidden, "error", "errors", ERRORS_SHOWN);
    put_hidden_count(findings, findings.notes_hidden, "note", "notes", NOTES_SHOWN);
}

} // namespace kelvora
