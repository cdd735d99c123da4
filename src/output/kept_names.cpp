// The names each assembler keeps, as a table: a row a name, with what it
// names and which assemblers keep it. Every assembler reads the processor's
// register and condition names as such in an operand, so those are kept by
// all of them, whether or not an assembler takes them on a label line. Only
// pasmo also keeps its instruction, directive and operator names: the others
// take "nop:" or "org:" as labels and refer to them as labels. Each row was
// tried with the assembler itself.
#include "output/kept_names.h"

#include <algorithm>
#include <array>

namespace kelvora {
namespace {

constexpr AssemblerSet bit_of(std::string_view name) {
    return assembler_set(*find_assembler(name));
}

constexpr AssemblerSet GNU = bit_of("gnu");
constexpr AssemblerSet PASMO = bit_of("pasmo");
constexpr AssemblerSet Z80ASM = bit_of("z80asm");
constexpr AssemblerSet SDAS = bit_of("sdas");
// The assemblers that read labels as written. sdcc's labels are C names with
// a "_" before them, which no kept name has.
constexpr AssemblerSet ALL = GNU | PASMO | Z80ASM | SDAS;

constexpr KeptName KEPT[] = {
    {"a", Named::Register, ALL},
    {"b", Named::Register, ALL},
    {"c", Named::RegisterAndCondition, ALL},
    {"d", Named::Register, ALL},
    {"e", Named::Register, ALL},
    {"h", Named::Register, ALL},
    {"l", Named::Register, ALL},
    {"i", Named::Register, ALL},
    {"r", Named::Register, ALL},
    {"af", Named::Register, ALL},
    {"bc", Named::Register, ALL},
    {"de", Named::Register, ALL},
    {"hl", Named::Register, ALL},
    {"sp", Named::Register, ALL},
    {"ix", Named::Register, ALL},
    {"iy", Named::Register, ALL},
    {"ixh", Named::Register, ALL},
    {"ixl", Named::Register, ALL},
    {"iyh", Named::Register, ALL},
    {"iyl", Named::Register, ALL},
    {"f", Named::Register, GNU},
    {"mb", Named::Register, SDAS},
    {"nz", Named::Condition, ALL},
    {"z", Named::Condition, ALL},
    {"nc", Named::Condition, ALL},
    {"po", Named::Condition, ALL},
    {"pe", Named::Condition, ALL},
    {"p", Named::Condition, ALL},
    {"m", Named::Condition, ALL},
    {".", Named::LocationCounter, GNU | SDAS},
    {".text", Named::Section, GNU},
    {"adc", Named::Instruction, PASMO},
    {"add", Named::Instruction, PASMO},
    {"and", Named::InstructionAndOperator, PASMO},
    {"bit", Named::Instruction, PASMO},
    {"call", Named::Instruction, PASMO},
    {"ccf", Named::Instruction, PASMO},
    {"cp", Named::Instruction, PASMO},
    {"cpd", Named::Instruction, PASMO},
    {"cpdr", Named::Instruction, PASMO},
    {"cpi", Named::Instruction, PASMO},
    {"cpir", Named::Instruction, PASMO},
    {"cpl", Named::Instruction, PASMO},
    {"daa", Named::Instruction, PASMO},
    {"dec", Named::Instruction, PASMO},
    {"di", Named::Instruction, PASMO},
    {"djnz", Named::Instruction, PASMO},
    {"ei", Named::Instruction, PASMO},
    {"ex", Named::Instruction, PASMO},
    {"exx", Named::Instruction, PASMO},
    {"halt", Named::Instruction, PASMO},
    {"im", Named::Instruction, PASMO},
    {"in", Named::Instruction, PASMO},
    {"inc", Named::Instruction, PASMO},
    {"ind", Named::Instruction, PASMO},
    {"indr", Named::Instruction, PASMO},
    {"ini", Named::Instruction, PASMO},
    {"inir", Named::Instruction, PASMO},
    {"jp", Named::Instruction, PASMO},
    {"jr", Named::Instruction, PASMO},
    {"ld", Named::Instruction, PASMO},
    {"ldd", Named::Instruction, PASMO},
    {"lddr", Named::Instruction, PASMO},
    {"ldi", Named::Instruction, PASMO},
    {"ldir", Named::Instruction, PASMO},
    {"neg", Named::Instruction, PASMO},
    {"nop", Named::Instruction, PASMO},
    {"or", Named::InstructionAndOperator, PASMO},
    {"otdr", Named::Instruction, PASMO},
    {"otir", Named::Instruction, PASMO},
    {"out", Named::Instruction, PASMO},
    {"outd", Named::Instruction, PASMO},
    {"outi", Named::Instruction, PASMO},
    {"pop", Named::Instruction, PASMO},
    {"push", Named::Instruction, PASMO},
    {"res", Named::Instruction, PASMO},
    {"ret", Named::Instruction, PASMO},
    {"reti", Named::Instruction, PASMO},
    {"retn", Named::Instruction, PASMO},
    {"rl", Named::Instruction, PASMO},
    {"rla", Named::Instruction, PASMO},
    {"rlc", Named::Instruction, PASMO},
    {"rlca", Named::Instruction, PASMO},
    {"rld", Named::Instruction, PASMO},
    {"rr", Named::Instruction, PASMO},
    {"rra", Named::Instruction, PASMO},
    {"rrc", Named::Instruction, PASMO},
    {"rrca", Named::Instruction, PASMO},
    {"rrd", Named::Instruction, PASMO},
    {"rst", Named::Instruction, PASMO},
    {"sbc", Named::Instruction, PASMO},
    {"scf", Named::Instruction, PASMO},
    {"set", Named::Instruction, PASMO},
    {"sla", Named::Instruction, PASMO},
    {"sll", Named::Instruction, PASMO},
    {"sra", Named::Instruction, PASMO},
    {"srl", Named::Instruction, PASMO},
    {"sub", Named::Instruction, PASMO},
    {"xor", Named::InstructionAndOperator, PASMO},
    {"db", Named::Directive, PASMO},
    {"defb", Named::Directive, PASMO},
    {"defl", Named::Directive, PASMO},
    {"defm", Named::Directive, PASMO},
    {"defs", Named::Directive, PASMO},
    {"defw", Named::Directive, PASMO},
    {"ds", Named::Directive, PASMO},
    {"dw", Named::Directive, PASMO},
    {"else", Named::Directive, PASMO},
    {"end", Named::Directive, PASMO},
    {"endif", Named::Directive, PASMO},
    {"endm", Named::Directive, PASMO},
    {"endp", Named::Directive, PASMO},
    {"equ", Named::Directive, PASMO},
    {"exitm", Named::Directive, PASMO},
    {"if", Named::Directive, PASMO},
    {"incbin", Named::Directive, PASMO},
    {"include", Named::Directive, PASMO},
    {"irp", Named::Directive, PASMO},
    {"local", Named::Directive, PASMO},
    {"macro", Named::Directive, PASMO},
    {"org", Named::Directive, PASMO},
    {"proc", Named::Directive, PASMO},
    {"public", Named::Directive, PASMO},
    {"rept", Named::Directive, PASMO},
    {".error", Named::Directive, PASMO},
    {".shift", Named::Directive, PASMO},
    {".warning", Named::Directive, PASMO},
    {"defined", Named::Operator, PASMO},
    {"eq", Named::Operator, PASMO},
    {"ge", Named::Operator, PASMO},
    {"gt", Named::Operator, PASMO},
    {"high", Named::Operator, PASMO},
    {"le", Named::Operator, PASMO},
    {"low", Named::Operator, PASMO},
    {"lt", Named::Operator, PASMO},
    {"mod", Named::Operator, PASMO},
    {"ne", Named::Operator, PASMO},
    {"not", Named::Operator, PASMO},
    {"nul", Named::Operator, PASMO},
    {"shl", Named::Operator, PASMO},
    {"shr", Named::Operator, PASMO},
};

constexpr char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool same_ignoring_case(std::string_view label, std::string_view name) {
    if (label.size() != name.size()) {
        return false;
    }
    for (std::size_t i = 0; i < label.size(); ++i) {
        if (lower(label[i]) != name[i]) {
            return false;
        }
    }
    return true;
}

// Every label is looked at, and almost none is a kept name: which lengths
// and first two letters the kept names have settles most labels with one
// look, before the table is searched. A letter is taken by its low five
// bits, so that both cases fall together (a section's name is matched as
// written, and a few other bytes share a letter's bits: the look only ever
// lets through too many).
constexpr std::size_t LONGEST_KEPT = [] {
    std::size_t longest = 0;
    for (const KeptName& kept : KEPT) {
        longest = std::max(longest, kept.name.size());
    }
    return longest;
}();

constexpr unsigned letter_bits(char c) {
    return static_cast<unsigned char>(c) & 31u;
}

struct KeptStarts {
    // By length and first letter, one bit for each second letter (the
    // lowest for a one-letter name).
    std::uint32_t second_letters[LONGEST_KEPT + 1][32];
};

constexpr KeptStarts KEPT_STARTS = [] {
    KeptStarts starts{};
    for (const KeptName& kept : KEPT) {
        const unsigned second = kept.name.size() > 1 ? letter_bits(kept.name[1]) : 0;
        starts.second_letters[kept.name.size()][letter_bits(kept.name[0])] |= 1u << second;
    }
    return starts;
}();

bool may_be_kept(std::string_view label) {
    if (label.empty() || label.size() > LONGEST_KEPT) {
        return false;
    }
    const unsigned second = label.size() > 1 ? letter_bits(label[1]) : 0;
    return ((KEPT_STARTS.second_letters[label.size()][letter_bits(label[0])] >> second) & 1u) != 0;
}

// The condition names z80asm looks for at the start of a jump's operand.
constexpr std::string_view CONDITIONS[] = {"nz", "z", "nc", "c", "po", "pe", "p", "m"};

// C's keywords up to its latest revision, and those sdcc adds without the
// leading "__" that marks the rest.
constexpr std::string_view C_KEYWORDS[] = {
    "alignas",      "alignof",  "auto",          "bool",      "break",
    "case",         "char",     "const",         "constexpr", "continue",
    "default",      "do",       "double",        "else",      "enum",
    "extern",       "false",    "float",         "for",       "goto",
    "if",           "inline",   "int",           "long",      "nullptr",
    "register",     "restrict", "return",        "short",     "signed",
    "sizeof",       "static",   "static_assert", "struct",    "switch",
    "thread_local", "true",     "typedef",       "typeof",    "typeof_unqual",
    "union",        "unsigned", "void",          "volatile",  "while",
};

constexpr bool is_letter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

constexpr bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

} // namespace

namespace kept_detail {

Candidates candidates(std::string_view label) {
    if (!may_be_kept(label)) {
        return {KEPT, KEPT};
    }
    return {std::begin(KEPT), std::end(KEPT)};
}

bool matches(std::string_view label, const KeptName& kept) {
    return kept.what == Named::Section ? label == kept.name : same_ignoring_case(label, kept.name);
}

} // namespace kept_detail

std::size_t leading_condition_length(std::string_view label) {
    // Conditions are one or two letters, so only a "_" or "." second or
    // third can end one; most labels are settled by that look alone.
    const auto stops = [&label](std::size_t at) {
        return label.size() > at && (label[at] == '_' || label[at] == '.');
    };
    if (!stops(1) && !stops(2)) {
        return 0;
    }
    const bool plain = std::all_of(label.begin(), label.end(),
                                   [](char c) { return is_letter(c) || is_digit(c) || c == '.'; });
    if (!plain) {
        return 0;
    }
    for (const std::string_view condition : CONDITIONS) {
        if (label.size() > condition.size() &&
            same_ignoring_case(label.substr(0, condition.size()), condition) &&
            (label[condition.size()] == '_' || label[condition.size()] == '.')) {
            return condition.size();
        }
    }
    return 0;
}

bool is_c_name(std::string_view label) {
    if (label.empty() || !is_letter(label[0]) ||
        !std::all_of(label.begin(), label.end(),
                     [](char c) { return is_letter(c) || is_digit(c); })) {
        return false;
    }
    if (label[0] == '_' && label.size() > 1 &&
        (label[1] == '_' || (label[1] >= 'A' && label[1] <= 'Z'))) {
        return false; // the compiler's own: __at, _Bool
    }
    return std::find(std::begin(C_KEYWORDS), std::end(C_KEYWORDS), label) == std::end(C_KEYWORDS);
}

} // namespace kelvora
