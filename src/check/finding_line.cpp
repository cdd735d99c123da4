// Composing a finding's line: the text builder every check writes with,
// and the line's start, its end and the counting of what is not shown.
#include "check/finding_line.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace kelvora {
namespace {

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

// Formatted text, cut where the line is full.
__attribute__((format(printf, 2, 0))) void vputf(Line& line, const char* format,
                                                 va_list arguments) {
    const int length = std::vsnprintf(line.text + line.length, Line::CAPACITY - 1 - line.length,
                                      format, arguments);
    if (length > 0) {
        line.length = std::min(line.length + static_cast<std::size_t>(length), Line::CAPACITY - 1);
    }
}

} // namespace

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

void putf(Line& line, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    vputf(line, format, arguments);
    va_end(arguments);
}

void put_shown(Line& line, const char* bytes, std::size_t length) {
    const std::size_t shown = std::min(length, QUOTE_LIMIT);
    // Most text is shown as it is (a label), and is copied as one block.
    std::size_t as_is = 0;
    while (as_is < shown && LABEL_CHARACTERS[static_cast<unsigned char>(bytes[as_is])]) {
        ++as_is;
    }
    put(line, bytes, as_is);
    for (std::size_t i = as_is; i < shown; ++i) {
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

Line& begin_list_line(Findings& findings, FindingKind kind, std::int64_t at) {
    const bool error = finding_row(kind).said == SaidAs::LineError;
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

bool show_note(Findings& findings) {
    if (findings.notes - findings.notes_hidden < NOTES_SHOWN) {
        return true;
    }
    ++findings.notes;
    ++findings.notes_hidden;
    return false;
}

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

bool count_hidden_error(Findings& findings) {
    if (findings.errors < ERRORS_SHOWN || findings.collect != nullptr) {
        return false;
    }
    ++findings.errors;
    ++findings.errors_hidden;
    return true;
}

Line* begin_list_error(Findings& findings, FindingKind kind, std::int64_t at) {
    return count_hidden_error(findings) ? nullptr : &begin_list_line(findings, kind, at);
}

void list_error(Findings& findings, FindingKind kind, std::int64_t at, const char* format, ...) {
    Line* const text = begin_list_error(findings, kind, at);
    if (text == nullptr) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    vputf(*text, format, arguments);
    va_end(arguments);
    finish(findings, *text);
}

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

void set_field_remedy(Findings& findings, RecordField field, std::int64_t value) {
    Remedy& remedy = findings.current.remedy;
    remedy.form = RemedyForm::Field;
    remedy.field = field;
    remedy.value = value;
}

void put_new_name(Line& text, const Findings& findings) {
    const char* name = findings.current.remedy.text;
    put(text, "\"");
    put_shown(text, name, std::strlen(name));
    put(text, "\"");
}

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

} // namespace kelvora
