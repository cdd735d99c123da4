// Labels an assembler will not take, or reads as something else: the names
// of registers and conditions, and the names an assembler keeps for its own
// instructions, directives and operators. Each was tried with the assembler
// itself; a name that one takes is not held against it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "output/asm_syntax.h"

namespace kelvora {

// A set of the assemblers of ASSEMBLER_SYNTAXES, a bit each in its order.
using AssemblerSet = unsigned;
inline constexpr AssemblerSet ALL_ASSEMBLERS = (1u << ASSEMBLER_COUNT) - 1;

constexpr AssemblerSet assembler_set(const AsmSyntax& syntax) {
    return 1u << (&syntax - ASSEMBLER_SYNTAXES);
}

// The text of a finding for each way the label clashes with an assembler of
// the set; none when they all take it.
std::vector<std::string> label_clashes(std::string_view label, AssemblerSet assemblers);

} // namespace kelvora
