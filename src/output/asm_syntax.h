// The assembler syntaxes kelvora writes: a row each, with every spelling that
// differs from one assembler to the next. What is written (records, labels,
// bytes, fills) comes from the sheet's description; how a text line is built
// from these spellings is said once, in the assembler rendering.
#pragma once

#include <cstddef>
#include <string_view>

namespace kelvora {

struct AsmSyntax {
    const char* name;  // as given to --assembler; "" for the default
    const char* title; // as messages name the assembler
    // Whole lines before the first record (an area of its own, say).
    const char* preamble;
    // A line that makes a label visible to other modules, up to the label;
    // the label and a line feed follow. "" where the label line says it.
    const char* global_lead;
    const char* label_prefix; // before the label: the name a C program gives it
    const char* label_end;    // right after the label
    const char* byte_lead;    // a byte line up to its first literal
    const char* fill_lead;    // a fill line up to its literal
    const char* page_align;   // the whole line that moves to the next 256-byte page
    // The whole line that ends an output holding a page-aligned record on a
    // page, so that the next module linked into the same area starts on
    // one; "" where the linker sees to it.
    const char* page_end;
    // Labels are a C program's names: a label that is no C name is written
    // without the prefix, ended by local_label_end, so nothing outside the
    // output can reach it, and its bytes keep their place.
    bool c_names;
    const char* local_label_end;
    // Checked by kelvora-preview --check when no --assembler is given.
    bool checked_by_default;
    // The symbols beside a binary: the directive that takes a binary in;
    // what stands between a label and the value it is given; and the lines
    // that stop the assembly when the first label is off a page, with "@"
    // for that label ("" where the assembler cannot tell, the label being
    // placed by the link).
    const char* incbin;
    const char* equate;
    const char* page_check;
};

// The output as it has always been written, byte for byte: callers rely on it.
inline constexpr AsmSyntax DEFAULT_SYNTAX = {"",
                                             "GNU as with -colonless",
                                             "",
                                             "",
                                             "",
                                             "",
                                             "\tdb ",
                                             "\tds ",
                                             "\tds (-$)&0xff\n",
                                             "",
                                             false,
                                             "",
                                             false,
                                             ".incbin",
                                             " = ",
                                             ""};

// What each assembler takes, as tried with the assemblers themselves. Each
// wants the colon after a label. pasmo reads "&0xff" as its own "&" hex
// notation, hence the blanks around "&". GNU as and sdas align with their own
// directives: GNU as then also aligns the section it links, where "(-$)"
// would count only from the section's start; sdas counts from where the
// module starts in its area. GNU as and sdas make every label global, so an
// output assembled as an object of its own can be linked with the game; an
// includer sees no difference. sdcc is sdas for a C program: its names carry
// a leading "_", and the output sits in an area of its own that the link
// puts on a page. sjasmplus, rasm and z88dk's z80asm take pasmo's spelling;
// only the names they keep differ. z80asm has no directive that stops the
// assembly: a reference to a name nothing defines does.
inline constexpr AsmSyntax ASSEMBLER_SYNTAXES[] = {
    {"gnu", "GNU as", "", "\t.global ", "", ":", "\tdb ", "\tds ", "\t.balign 256\n", "", false, "",
     true, ".incbin", " = ", ""},
    {"pasmo", "pasmo", "", "", "", ":", "\tdb ", "\tds ", "\tds (-$) & 0xff\n", "", false, "", true,
     "incbin", " equ ", "\tif @ mod 256\n\t.error \"@ must start on a 256-byte page\"\n\tendif\n"},
    {"z80asm", "z80asm", "", "", "", ":", "\tdb ", "\tds ", "\tds (-$) & 0xff\n", "", false, "",
     true, "incbin", ": equ ", "\tif @ & 0xff\n\tdb @_must_start_on_a_256_byte_page\n\tendif\n"},
    {"sdas", "sdas", "", "", "", "::", "\t.db ", "\t.ds ", "\t.bndry 256\n", "", false, "", true,
     ".incbin", " == ", ""},
    {"sdcc", "sdcc", "\t.area _KELVORA\n", "", "_", "::", "\t.db ", "\t.ds ", "\t.bndry 256\n",
     "\t.bndry 256\n", true, ":", false, ".incbin", " == ", ""},
    {"sjasmplus", "sjasmplus", "", "", "", ":", "\tdb ", "\tds ", "\tds (-$) & 0xff\n", "", false,
     "", false, "incbin", " equ ", "\tassert @ % 256 == 0\n"},
    {"rasm", "rasm", "", "", "", ":", "\tdb ", "\tds ", "\tds (-$) & 0xff\n", "", false, "", false,
     "incbin", " equ ", "\tassert @ % 256 == 0\n"},
    {"z88dk", "z88dk-z80asm", "", "", "", ":", "\tdb ", "\tds ", "\tds (-$) & 0xff\n", "", false,
     "", false, "incbin", " equ ", ""},
};

inline constexpr int ASSEMBLER_COUNT =
    static_cast<int>(sizeof ASSEMBLER_SYNTAXES / sizeof ASSEMBLER_SYNTAXES[0]);

// The longest label end, prefix and lead the writer copies in one fixed-size
// piece.
inline constexpr std::size_t MAX_LEAD_LENGTH = 7;

namespace syntax_detail {
constexpr bool fits(const AsmSyntax& syntax) {
    return std::string_view(syntax.label_end).size() < MAX_LEAD_LENGTH &&
           std::string_view(syntax.local_label_end).size() < MAX_LEAD_LENGTH &&
           std::string_view(syntax.label_prefix).size() <= MAX_LEAD_LENGTH &&
           std::string_view(syntax.byte_lead).size() <= MAX_LEAD_LENGTH &&
           std::string_view(syntax.fill_lead).size() <= MAX_LEAD_LENGTH;
}
constexpr bool all_fit() {
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        if (!fits(syntax)) {
            return false;
        }
    }
    return fits(DEFAULT_SYNTAX);
}
} // namespace syntax_detail
static_assert(syntax_detail::all_fit(), "a label end or lead longer than the writer copies");

// The syntax of the assembler named as --assembler takes it; null for a name
// that is none of them.
constexpr const AsmSyntax* find_assembler(std::string_view name) {
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        if (name == syntax.name) {
            return &syntax;
        }
    }
    return nullptr;
}

} // namespace kelvora
