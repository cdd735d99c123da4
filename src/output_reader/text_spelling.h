// How kelvora's text outputs spell a line, as the reader and the detection
// of a syntax both need it: what a line holds before its comment, and a
// record's label line in a syntax. The writer's side of it is the assembler
// rendering (output/render_assembler.cpp) and the syntax table.
#pragma once

#include <cstring>
#include <string_view>

#include "model/resource_record.h"
#include "output/asm_syntax.h"
#include "output/kept_names.h"

namespace kelvora::spelling {

constexpr bool is_blank(char c) {
    return c == ' ' || c == '\t';
}

constexpr bool only_blanks(std::string_view text) {
    for (const char c : text) {
        if (!is_blank(c)) {
            return false;
        }
    }
    return true;
}

// What a line holds before its comment: no label holds a ";" (the list
// drops a name that has one), so the first ";" starts a comment.
constexpr std::string_view before_comment(std::string_view line) {
    return line.substr(0, line.find(';'));
}

// What a line holds: before its comment, without the blanks that end it.
constexpr std::string_view content_of(std::string_view line) {
    std::string_view text = before_comment(line);
    while (!text.empty() && is_blank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// Whether the line is `spelling`, perhaps followed by blanks and a comment.
constexpr bool spelled(std::string_view line, std::string_view spelling) {
    const std::string_view text = before_comment(line);
    return text.starts_with(spelling) && only_blanks(text.substr(spelling.size()));
}

// A whole line the syntax spells, without its line feed.
constexpr std::string_view without_feed(const char* line) {
    std::string_view text(line);
    if (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    return text;
}

// The syntaxes in the order they are tried: the default first, as it has
// always been written; then the table's, of which the first of those
// spelled alike stands for them all. The first that `fits`, or null when
// none does.
template <typename Try> const AsmSyntax* first_syntax(Try fits) {
    if (fits(DEFAULT_SYNTAX)) {
        return &DEFAULT_SYNTAX;
    }
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        if (fits(syntax)) {
            return &syntax;
        }
    }
    return nullptr;
}

// Whether the syntax makes the label global: every label, but for one that
// is no C name where labels are C names.
inline bool is_global(const AsmSyntax& syntax, std::string_view name) {
    return !syntax.c_names || is_c_name(name);
}

// A line put together from a few parts: a label line, or a global line.
struct Spelled {
    char text[2 * MAX_LEAD_LENGTH + 16 + TOKEN_BUFFER_SIZE];
    std::size_t length;

    std::string_view view() const { return std::string_view(text, length); }
    void add(std::string_view part) {
        std::memcpy(text + length, part.data(), part.size());
        length += part.size();
    }
};

// The label line of a record named `name` in the syntax.
inline Spelled label_line(const AsmSyntax& syntax, std::string_view name) {
    Spelled line{};
    const bool global = is_global(syntax, name);
    line.add(global ? syntax.label_prefix : "");
    line.add(name);
    line.add(global ? syntax.label_end : syntax.local_label_end);
    return line;
}

// The line that makes the label global, where the syntax has one.
inline Spelled global_line(const AsmSyntax& syntax, std::string_view name) {
    Spelled line{};
    line.add(syntax.global_lead);
    line.add(name);
    return line;
}

} // namespace kelvora::spelling
