// The names each assembler keeps for itself, beside the syntaxes that write
// labels for them: a label spelled like one is refused, or read as the
// register, condition, instruction, directive or operator it names. And the
// names a C program can give a record, for the syntax whose labels are C
// names. The writer asks here which labels it may make global; the checker
// words what it finds here.
#pragma once

#include <cstdint>
#include <string_view>

#include "output/asm_syntax.h"

namespace kelvora {

// A set of the assemblers of ASSEMBLER_SYNTAXES, a bit each in its order.
using AssemblerSet = unsigned;

constexpr AssemblerSet assembler_set(const AsmSyntax& syntax) {
    return 1u << (&syntax - ASSEMBLER_SYNTAXES);
}

// The assemblers --check checks when it is not told which.
inline constexpr AssemblerSet DEFAULT_ASSEMBLERS = [] {
    AssemblerSet set = 0;
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        set |= syntax.checked_by_default ? assembler_set(syntax) : 0;
    }
    return set;
}();

// What a kept name names.
enum class Named : std::uint8_t {
    Register,
    Condition,
    RegisterAndCondition,
    Instruction,
    InstructionAndOperator,
    Directive,
    Operator,
    LocationCounter,
    Section,
};

// A name in the assemblers' own spelling; matched without regard to case, as
// the assemblers match it, but for a section's name, matched exactly.
struct KeptName {
    std::string_view name;
    Named what;
    AssemblerSet assemblers;
};

// Calls `found(kept)` for each kept name the label matches, whichever
// assemblers keep it.
template <typename Found> void for_each_kept_match(std::string_view label, Found found);

// The length of the condition name a label starts with before a "_" or a
// ".", which z80asm reads as the condition in "jp c_x"; 0 when it starts
// with none.
std::size_t leading_condition_length(std::string_view label);

// What an assembler does with names beyond the ones it keeps, a row for each
// of ASSEMBLER_SYNTAXES in its order, as tried with the assembler itself
// (z88dk's as measured once, with one built from source).
struct NameRules {
    std::size_t longest_label; // the longest label it takes; 0 where none was found
    bool takes_dots;           // a "." within a name
    bool dot_makes_local;      // ".a" after "ship" is "ship.a"
    bool folds_case;           // "ship" and "Ship" are one name
};

inline constexpr NameRules NAME_RULES[] = {
    /* gnu */ {0, true, false, false},
    /* pasmo */ {0, true, false, false},
    /* z80asm */ {0, true, false, false},
    /* sdas */ {0, true, false, false},
    /* sdcc */ {0, true, false, false},
    /* sjasmplus */ {64, true, true, false},
    /* rasm */ {0, true, true, true},
    /* z88dk */ {0, false, false, false},
};
static_assert(sizeof NAME_RULES / sizeof NAME_RULES[0] == ASSEMBLER_COUNT,
              "a row of name rules for each assembler");

constexpr const NameRules& name_rules(const AsmSyntax& syntax) {
    return NAME_RULES[&syntax - ASSEMBLER_SYNTAXES];
}

// Whether a label can be a C program's name for its record: an identifier
// that is no keyword and none of the names C keeps for the compiler
// (starting with "__", or "_" and a capital).
bool is_c_name(std::string_view label);

// The matching itself; for_each_kept_match is its front.
namespace kept_detail {
// The kept names whose length and first two letters the label has (the
// first look, which settles almost every label), as a range of the table.
struct Candidates {
    const KeptName* begin;
    const KeptName* end;
};
Candidates candidates(std::string_view label);
bool matches(std::string_view label, const KeptName& kept);
} // namespace kept_detail

template <typename Found> void for_each_kept_match(std::string_view label, Found found) {
    const kept_detail::Candidates range = kept_detail::candidates(label);
    for (const KeptName* kept = range.begin; kept != range.end; ++kept) {
        if (kept_detail::matches(label, *kept)) {
            found(*kept);
        }
    }
}

} // namespace kelvora
