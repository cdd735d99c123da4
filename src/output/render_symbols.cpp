// The labels of a binary, for the assembler that takes it in: every label
// but the first, given as the first plus its offset in the binary, in the
// syntax of --assembler ("heart equ smiley + 0x0b"). The game writes the first
// label and takes the binary in after it ("smiley: incbin ..."), then takes
// this file in, and each label has the address the assembler text would give
// it. Where the binary holds a tile table, the first label must be on a page:
// the file says so, and stops the assembly where the assembler can tell.
#include <cstring>

#include "output/output_forms.h"

namespace kelvora {
namespace {

// The label as the syntax names it: with the syntax's prefix where it is
// global (a C name, where labels are C names).
void put_label(OutputBuffer& out, const AsmSyntax& syntax, const char* name, std::size_t length,
               bool global) {
    if (global) {
        write_text(out, syntax.label_prefix);
    }
    write_text(out, name, length);
}

void put_first(OutputBuffer& out, const FormOutput& output) {
    put_label(out, *output.syntax, output.first_label, output.first_length, output.first_global);
}

void put_hex(OutputBuffer& out, std::uint64_t value) {
    constexpr char digits[] = "0123456789abcdef";
    char text[2 + 16];
    int length = 0;
    int shift = 60;
    while (shift > 4 && ((value >> shift) & 15) == 0) {
        shift -= 4; // at least two digits, like the byte literals
    }
    text[length++] = '0';
    text[length++] = 'x';
    for (; shift >= 0; shift -= 4) {
        text[length++] = digits[(value >> shift) & 15];
    }
    write_text(out, text, static_cast<std::size_t>(length));
}

void write_record(FormOutput& output, const SheetPart& part) {
    const AsmSyntax& syntax = *output.syntax;
    OutputBuffer& out = output.buffer;
    const ResourceRecord& record = *part.record;
    const std::uint64_t at = part.offset + part.gap;
    if (!output.has_first) {
        output.has_first = true;
        std::memcpy(output.first_label, record.name, sizeof output.first_label);
        output.first_length = record.label_length;
        output.first_global = part.c_name;
        output.first_offset = at;
        // The line that takes the binary in, after the header's comment.
        put_first(out, output);
        write_text(out, output.first_global ? syntax.label_end : syntax.local_label_end);
        write_text(out, "\t");
        write_text(out, syntax.incbin);
        write_text(out, " \"");
        const char* const slash = std::strrchr(output.companion, '/');
        write_text(out, slash != nullptr ? slash + 1 : output.companion);
        write_text(out, "\"\n");
        return;
    }
    if (part.c_name && syntax.global_lead[0] != '\0') {
        write_text(out, syntax.global_lead);
        put_label(out, syntax, record.name, record.label_length, true);
        write_text(out, "\n");
    }
    put_label(out, syntax, record.name, record.label_length, part.c_name);
    write_text(out, syntax.equate);
    put_first(out, output);
    write_text(out, " + ");
    put_hex(out, at - output.first_offset);
    write_text(out, "\n");
}

// The page check, with the first label for each "@".
void write_page_check(FormOutput& output) {
    OutputBuffer& out = output.buffer;
    for (const char* p = output.syntax->page_check; *p != '\0'; ++p) {
        if (*p == '@') {
            put_first(out, output);
        } else {
            write_text(out, p, 1);
        }
    }
}

} // namespace

void render_symbols(FormOutput& output, const SheetPart& part) {
    OutputBuffer& out = output.buffer;
    switch (part.kind) {
    case SheetPartKind::Start:
        output.has_first = false;
        write_text(out, SYMBOLS_START);
        write_text(out, ". Take the binary in right after its\n"
                        "; first label, then take this file in:\n"
                        ";\t");
        break;
    case SheetPartKind::Record:
        write_record(output, part);
        break;
    case SheetPartKind::End:
        if (!output.has_first) {
            write_text(out, "(the binary is empty)\n");
        }
        if (part.holds_page_aligned && output.has_first) {
            write_text(out, "; The binary holds a tile table: ");
            put_first(out, output);
            write_text(out, " must start on a 256-byte page.\n");
            write_page_check(output);
        }
        break;
    }
}

} // namespace kelvora
