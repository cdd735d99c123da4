// The text builder of the checker: a finding is composed as one line in a
// buffer and written whole, and what it says is kept beside it as data
// (findings.current) for its remedy. Each check begins the line for its
// kind and place, puts its words, and finishes it; errors and notes past
// those shown are counted here, not composed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "check/finding.h"
#include "check/findings.h"

namespace kelvora {

// Quoted text from the list or a name is cut after this many bytes.
inline constexpr std::size_t QUOTE_LIMIT = 120;

struct Line {
    static constexpr std::size_t CAPACITY = 8192;
    std::size_t length;
    char text[CAPACITY];
};

inline void put(Line& line, const char* text, std::size_t length) {
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

inline void put_text(Line& line, const char* text) {
    put(line, text, std::strlen(text));
}

void put(Line& line, std::int64_t number);

__attribute__((format(printf, 2, 3))) void putf(Line& line, const char* format, ...);

constexpr bool is_digit(int c) {
    return c >= '0' && c <= '9';
}

constexpr bool is_blank(int c) {
    return c == ' ' || c == '\t';
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
inline constexpr std::array<bool, 256> LABEL_CHARACTERS = make_label_characters();

inline bool is_label_character(char c) {
    return LABEL_CHARACTERS[static_cast<unsigned char>(c)];
}

inline const char* plural(std::int64_t count, const char* one, const char* more) {
    return count == 1 ? one : more;
}

// The fields of a record in words, by RecordField.
inline constexpr const char* FIELD_NAMES[7] = {"name",  "kind",   "x",     "y",
                                               "width", "height", "colour"};

// Text from the list or a name, shown in messages: bytes outside printable
// ASCII as \xNN, cut with "..." past QUOTE_LIMIT bytes.
void put_shown(Line& line, const char* bytes, std::size_t length);

// The list's bytes from `begin` to `end` as they are held, shown.
void put_list_text(Line& line, ListReading list, std::uint64_t begin, std::uint64_t end);

// A finding's line begun, with no remedy yet: the check that says it fills
// that in before the line is finished. On the list's line `at`, an error or
// a note as FINDINGS says; on the picture; on the cell at x,y.
Line& begin_list_line(Findings& findings, FindingKind kind, std::int64_t at);
Line& begin_picture_line(Findings& findings, FindingKind kind);
Line& begin_cell_line(Findings& findings, FindingKind kind, int x, int y);

// Whether the next note is shown; when not, it is counted all the same.
bool show_note(Findings& findings);

// An error past the first ERRORS_SHOWN, when no collector wants it, is only
// counted: composing its line would cost more than the check of its record.
bool count_hidden_error(Findings& findings);

// An error's line on the list's line `at`, begun as begin_list_line begins
// it; or null for an error that is only counted (see count_hidden_error),
// whose line the caller then skips composing. For kinds said as errors.
Line* begin_list_error(Findings& findings, FindingKind kind, std::int64_t at);

// Writes the finding's line, or for an error past the first ERRORS_SHOWN
// only counts it; hands the finding to the collector when there is one.
void finish(Findings& findings, Line& line);

// An error on the list's line `at`, said in one go.
__attribute__((format(printf, 4, 5))) void list_error(Findings& findings, FindingKind kind,
                                                      std::int64_t at, const char* format, ...);

// A new name for the record, as the remedy: `before`, then the name's bytes
// without its NULs (and any byte the assembler will not take, when
// `only_label_characters`), then `after`.
void set_name_remedy(Findings& findings, const char* before, const char* name, std::size_t length,
                     bool only_label_characters, const char* after);

// The record's field to the value, as the remedy.
void set_field_remedy(Findings& findings, RecordField field, std::int64_t value);

// The remedy's new name, quoted.
void put_new_name(Line& text, const Findings& findings);

// "PICTURE: note: 3 more errors like those above are not shown; ...": not
// a finding, since it adds no mistake.
void put_hidden_count(Findings& findings, std::int64_t hidden, const char* one, const char* more,
                      std::int64_t shown);

} // namespace kelvora
