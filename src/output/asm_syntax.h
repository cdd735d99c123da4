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

} // namespace kelvora
