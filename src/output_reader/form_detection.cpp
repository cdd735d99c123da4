// Telling an output's form from its first block of bytes, which the reader
// has read ahead but not taken: only those bytes are looked at, a line at a
// time.
#include "output_reader/form_detection.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "output/output_forms.h"
#include "output_reader/finding_words.h"
#include "output_reader/text_spelling.h"

namespace kelvora {
namespace {

using spelling::content_of;
using spelling::first_syntax;
using spelling::without_feed;
using std::string_view;

// A line of the block: its number and what it holds.
struct BlockLine {
    std::int64_t number;
    string_view text;
};

// The first lines of the block that hold more than blanks and a comment;
// `count` of them at most.
int content_lines(string_view block, BlockLine* lines, int count) {
    int found = 0;
    std::int64_t number = 0;
    while (!block.empty() && found < count) {
        const std::size_t feed = block.find('\n');
        string_view line = block.substr(0, feed);
        // A CR LF line end is told apart from the line: the form is told
        // without it, and the reader refuses it with what it means.
        if (line.ends_with('\r')) {
            line.remove_suffix(1);
        }
        block.remove_prefix(feed == string_view::npos ? block.size() : feed + 1);
        ++number;
        if (!content_of(line).empty()) {
            lines[found++] = BlockLine{number, line};
        }
    }
    return found;
}

bool starts_a_line_of(const AsmSyntax& syntax, string_view content) {
    return content.starts_with(syntax.byte_lead) || content.starts_with(syntax.fill_lead) ||
           content == without_feed(syntax.page_align);
}

// Whether a byte is one no text kelvora writes holds: a control byte
// other than a tab or a line feed (a carriage return is left to the reader,
// which says what it means).
bool is_binary_byte(unsigned char byte) {
    return byte == 0x7F || (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r');
}

DetectedForm text_in(const AsmSyntax* syntax) {
    DetectedForm form{};
    form.told = true;
    form.syntax = syntax;
    return form;
}

DetectedForm refused(const OutputReader& reader, std::int64_t line, const char* why,
                     string_view quoted = {}) {
    Words words = start_words(reader, true, line);
    words.add(why);
    if (!quoted.empty()) {
        words.add(": ");
        words.quoted(quoted);
    }
    DetectedForm form{};
    form.why = words.finding;
    return form;
}

// Whether the syntax's output starts with a record's label line: no
// preamble, no line that makes the label global before it.
bool starts_with_label(const AsmSyntax& syntax) {
    return syntax.preamble[0] == '\0' && syntax.global_lead[0] == '\0';
}

// The syntax of a first line that is a label line, where the line after it
// starts a record's lines (or there is none).
const AsmSyntax* syntax_of_label(string_view label, const BlockLine* next) {
    // A record that is no tile table (whose alignment line comes first)
    // writes its size bytes after its label.
    if (next == nullptr || !first_syntax([&](const AsmSyntax& syntax) {
            return starts_with_label(syntax) && starts_a_line_of(syntax, content_of(next->text));
        })) {
        return nullptr;
    }
    // A label other than the list's first: by its end, the longest that
    // fits, and the next line's lead.
    const string_view content = content_of(label);
    const AsmSyntax* best = nullptr;
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        const string_view end = syntax.label_end;
        if (starts_with_label(syntax) && content.ends_with(end) && content.size() > end.size() &&
            starts_a_line_of(syntax, content_of(next->text)) &&
            (best == nullptr || end.size() > std::strlen(best->label_end))) {
            best = &syntax;
        }
    }
    return best != nullptr ? best : &DEFAULT_SYNTAX;
}

} // namespace

bool spelled_alike(const AsmSyntax& a, const AsmSyntax& b) {
    const auto same = [](const char* x, const char* y) { return std::strcmp(x, y) == 0; };
    return same(a.preamble, b.preamble) && same(a.global_lead, b.global_lead) &&
           same(a.label_prefix, b.label_prefix) && same(a.label_end, b.label_end) &&
           same(a.byte_lead, b.byte_lead) && same(a.fill_lead, b.fill_lead) &&
           same(a.page_align, b.page_align) && same(a.page_end, b.page_end) &&
           a.c_names == b.c_names && same(a.local_label_end, b.local_label_end);
}

void name_syntax(const AsmSyntax& syntax, char* text, std::size_t size) {
    if (&syntax == &DEFAULT_SYNTAX) {
        std::snprintf(text, size, "kelvora's own syntax, without --assembler");
        return;
    }
    std::size_t length = static_cast<std::size_t>(std::snprintf(text, size, "the syntax of "));
    int named = 0;
    int alike = 0;
    for (const AsmSyntax& other : ASSEMBLER_SYNTAXES) {
        alike += spelled_alike(syntax, other) ? 1 : 0;
    }
    for (const AsmSyntax& other : ASSEMBLER_SYNTAXES) {
        if (!spelled_alike(syntax, other) || length >= size) {
            continue;
        }
        ++named;
        const char* const joint = named == 1 ? "" : named == alike ? " or " : ", ";
        length += static_cast<std::size_t>(
            std::snprintf(text + length, size - length, "%s%s", joint, other.name));
    }
}

namespace {

// The syntax the first content lines spell (`count` of them, 1 or 2; the
// second where the output has one), or null when none does.
const AsmSyntax* syntax_of_lines(const BlockLine* lines, int count,
                                 const ResourceRecord* first_written) {
    const string_view first = content_of(lines[0].text);
    const AsmSyntax* syntax = first_syntax([&](const AsmSyntax& syntax) {
        const string_view preamble = syntax.preamble;
        return (!preamble.empty() && first == preamble.substr(0, preamble.find('\n'))) ||
               (syntax.global_lead[0] != '\0' &&
                spelling::before_comment(lines[0].text).starts_with(syntax.global_lead)) ||
               first == without_feed(syntax.page_align);
    });
    // The list's first label as a syntax spells it, whatever it starts with.
    if (syntax == nullptr && first_written != nullptr) {
        const string_view name(first_written->name, first_written->label_length);
        syntax = first_syntax([&](const AsmSyntax& syntax) {
            return starts_with_label(syntax) &&
                   spelling::before_comment(lines[0].text) ==
                       spelling::label_line(syntax, name).view() &&
                   (count == 1 || starts_a_line_of(syntax, content_of(lines[1].text)));
        });
    }
    // A byte or fill line first: the label before it was blanks, which only
    // a syntax without a label end writes as a line of blanks.
    if (syntax == nullptr && first_syntax([&](const AsmSyntax& syntax) {
                                 return starts_a_line_of(syntax, first);
                             }) != nullptr) {
        syntax = first_syntax([&](const AsmSyntax& syntax) {
            return syntax.label_end[0] == '\0' && starts_a_line_of(syntax, first);
        });
    }
    if (syntax == nullptr) {
        syntax = syntax_of_label(lines[0].text, count > 1 ? &lines[1] : nullptr);
    }
    return syntax;
}

// The form of an output whose first block holds only comments and blank
// lines: they are read (and taken, as the reader skips them anyway) up to
// the first line with content, in a fixed amount of memory however many
// there are. That line is given back for the reader, and so is the first
// line a blank label may be read from, where it would have been read. A
// binary is no longer possible here, its bytes being taken: what no line
// tells is refused.
DetectedForm form_past_comments(OutputReader& reader, const ResourceRecord* first_written) {
    OutputLine line;
    OutputLine blank_label;
    bool kept = false;
    const string_view name = first_written != nullptr
                                 ? string_view(first_written->name, first_written->label_length)
                                 : string_view();
    // The lines come back out the last given back first.
    const auto give_back = [&](bool with_line) {
        if (with_line) {
            give_back_line(reader.lines, line);
        }
        if (kept) {
            give_back_line(reader.lines, blank_label);
        }
    };
    while (take_line(reader.lines, line)) {
        const string_view text(line.text, static_cast<std::size_t>(line.length));
        if (line.trouble != LineTrouble::None) {
            // The reader refuses it, saying what is wrong with it.
            give_back(true);
            return text_in(&DEFAULT_SYNTAX);
        }
        if (!content_of(text).empty()) {
            give_back(true);
            BlockLine lines[2] = {{line.number, text}, {0, {}}};
            // The second, from what follows in the bytes read ahead.
            ByteReader& in = reader.bytes;
            peek_byte(in);
            const int count =
                1 + content_lines(string_view(reinterpret_cast<const char*>(in.next),
                                              static_cast<std::size_t>(in.end - in.next)),
                                  &lines[1], 1);
            const AsmSyntax* syntax = syntax_of_lines(lines, count, first_written);
            return syntax != nullptr ? text_in(syntax)
                                     : refused(reader, line.number,
                                               "the output starts in no form kelvora writes; "
                                               "name its syntax with --assembler",
                                               content_of(text));
        }
        if (!kept && first_written != nullptr && spelling::spelled(text, name)) {
            kept = true;
            blank_label = line;
        }
    }
    // Nothing but comments and blank lines, as when the first block holds
    // them all.
    give_back(false);
    return text_in(&DEFAULT_SYNTAX);
}

} // namespace

DetectedForm detect_output_form(OutputReader& reader, const ResourceRecord* first_written) {
    ByteReader& in = reader.bytes;
    peek_byte(in); // reads the first block, and takes nothing
    const string_view block(reinterpret_cast<const char*>(in.next),
                            static_cast<std::size_t>(in.end - in.next));
    DetectedForm binary{};
    binary.told = true;
    binary.binary = true;
    // No label holds a NUL: kelvora writes a name up to its first.
    if (block.find('\0') != string_view::npos) {
        return binary;
    }
    if (block.starts_with(SYMBOLS_START)) {
        return refused(reader, 1,
                       "this is the symbols file kelvora writes beside a binary; give the "
                       "binary itself");
    }
    if (block.starts_with(C_HEADER_START)) {
        return refused(reader, 1,
                       "this is the C header kelvora writes beside its assembler source, "
                       "which holds no bytes; give the assembler source");
    }
    BlockLine lines[2];
    const int count = content_lines(block, lines, 2);
    if (count == 0) {
        // No text holds a written record in no line, but a binary may hold
        // it in no byte (a tile table of width 0, say).
        if (block.empty()) {
            return first_written != nullptr ? binary : text_in(&DEFAULT_SYNTAX);
        }
        return form_past_comments(reader, first_written);
    }
    const AsmSyntax* syntax = syntax_of_lines(lines, count, first_written);
    if (syntax != nullptr) {
        return text_in(syntax);
    }
    for (const char c : block) {
        if (is_binary_byte(static_cast<unsigned char>(c))) {
            return binary;
        }
    }
    return refused(reader, lines[0].number,
                   "the output starts in no form kelvora writes; name its syntax with "
                   "--assembler, or give --binary for a binary",
                   content_of(lines[0].text));
}

} // namespace kelvora
