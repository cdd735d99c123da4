// The assembler syntaxes kelvora writes: how a label ends, the lead of a
// byte line and of a fill line, and the line that aligns to a 256-byte page.
// The layout of what is written comes from the record model; only these
// spellings differ from one assembler to the next.
#pragma once

#include <cstddef>
#include <string_view>

namespace kelvora {

struct AsmSyntax {
    const char* name;       // as given to --assembler; "" for the default
    const char* label_end;  // written right after the label
    const char* byte_lead;  // a byte line up to its first literal
    const char* fill_lead;  // a fill line up to its literal
    const char* page_align; // the whole line that moves to the next 256-byte page
};

// The output as it has always been written, byte for byte: callers rely on it.
inline constexpr AsmSyntax DEFAULT_SYNTAX = {"", "", "\tdb ", "\tds ", "\tds (-$)&0xff\n"};

// What each assembler takes, as tried with the assemblers themselves. Each
// wants the colon after a label. pasmo reads "&0xff" as its own "&" hex
// notation, hence the blanks around "&". GNU as and sdas align with their
// own directives: GNU as then also aligns the section it links, where
// "(-$)" would count only from the section's start.
inline constexpr AsmSyntax ASSEMBLER_SYNTAXES[] = {
    {"gnu", ":", "\tdb ", "\tds ", "\t.balign 256\n"},
    {"pasmo", ":", "\tdb ", "\tds ", "\tds (-$) & 0xff\n"},
    {"z80asm", ":", "\tdb ", "\tds ", "\tds (-$) & 0xff\n"},
    {"sdas", ":", "\t.db ", "\t.ds ", "\t.bndry 256\n"},
};

inline constexpr int ASSEMBLER_COUNT =
    static_cast<int>(sizeof ASSEMBLER_SYNTAXES / sizeof ASSEMBLER_SYNTAXES[0]);

// The longest label end and lead the writer copies in one fixed-size piece.
inline constexpr std::size_t MAX_LEAD_LENGTH = 7;

namespace syntax_detail {
constexpr bool fits(const AsmSyntax& syntax) {
    return std::string_view(syntax.label_end).size() < MAX_LEAD_LENGTH &&
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
