// The names each assembler keeps, as a table: a row a name, with what it
// names and which assemblers keep it. Every assembler reads the processor's
// register and condition names as such in an operand, so those are kept by
// all of them, whether or not an assembler takes them on a label line. pasmo
// and rasm also keep instruction, directive and operator names, and
// sjasmplus a few operators; the others take "nop:" or "org:" as labels and
// refer to them as labels. Each row was tried with the assembler itself
// (z88dk's as measured once, with one built from source).
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
constexpr AssemblerSet SJASMPLUS = bit_of("sjasmplus");
constexpr AssemblerSet RASM = bit_of("rasm");
constexpr AssemblerSet Z88DK = bit_of("z88dk");
// The assemblers that read labels as written. sdcc's labels are C names with
// a "_" before them, which no kept name has.
constexpr AssemblerSet ALL = GNU | PASMO | Z80ASM | SDAS | SJASMPLUS | RASM | Z88DK;

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
    {"f", Named::Register, GNU | SJASMPLUS | RASM | Z88DK},
    {"mb", Named::Register, SDAS | Z88DK},
    {"nz", Named::Condition, ALL},
    {"z", Named::Condition, ALL},
    {"nc", Named::Condition, ALL},
    {"po", Named::Condition, ALL},
    {"pe", Named::Condition, ALL},
    {"p", Named::Condition, ALL},
    {"m", Named::Condition, ALL},
    {".", Named::LocationCounter, GNU | SDAS | SJASMPLUS},
    {".text", Named::Section, GNU},
    {"adc", Named::Instruction, PASMO | RASM},
    {"add", Named::Instruction, PASMO | RASM},
    {"and", Named::InstructionAndOperator, PASMO | RASM},
    {"bit", Named::Instruction, PASMO | RASM},
    {"call", Named::Instruction, PASMO | RASM},
    {"ccf", Named::Instruction, PASMO | RASM},
    {"cp", Named::Instruction, PASMO | RASM},
    {"cpd", Named::Instruction, PASMO | RASM},
    {"cpdr", Named::Instruction, PASMO | RASM},
    {"cpi", Named::Instruction, PASMO | RASM},
    {"cpir", Named::Instruction, PASMO | RASM},
    {"cpl", Named::Instruction, PASMO | RASM},
    {"daa", Named::Instruction, PASMO | RASM},
    {"dec", Named::Instruction, PASMO | RASM},
    {"di", Named::Instruction, PASMO | RASM},
    {"djnz", Named::Instruction, PASMO | RASM},
    {"ei", Named::Instruction, PASMO | RASM},
    {"ex", Named::Instruction, PASMO | RASM},
    {"exx", Named::Instruction, PASMO | RASM},
    {"halt", Named::Instruction, PASMO | RASM},
    {"im", Named::Instruction, PASMO | RASM},
    {"in", Named::Instruction, PASMO | RASM},
    {"inc", Named::Instruction, PASMO | RASM},
    {"ind", Named::Instruction, PASMO | RASM},
    {"indr", Named::Instruction, PASMO | RASM},
    {"ini", Named::Instruction, PASMO | RASM},
    {"inir", Named::Instruction, PASMO | RASM},
    {"jp", Named::Instruction, PASMO | RASM},
    {"jr", Named::Instruction, PASMO | RASM},
    {"ld", Named::Instruction, PASMO | RASM},
    {"ldd", Named::Instruction, PASMO | RASM},
    {"lddr", Named::Instruction, PASMO | RASM},
    {"ldi", Named::Instruction, PASMO | RASM},
    {"ldir", Named::Instruction, PASMO | RASM},
    {"neg", Named::Instruction, PASMO | RASM},
    {"nop", Named::Instruction, PASMO | RASM},
    {"or", Named::InstructionAndOperator, PASMO | RASM},
    {"otdr", Named::Instruction, PASMO | RASM},
    {"otir", Named::Instruction, PASMO | RASM},
    {"out", Named::Instruction, PASMO | RASM},
    {"outd", Named::Instruction, PASMO | RASM},
    {"outi", Named::Instruction, PASMO | RASM},
    {"pop", Named::Instruction, PASMO | RASM},
    {"push", Named::Instruction, PASMO | RASM},
    {"res", Named::Instruction, PASMO | RASM},
    {"ret", Named::Instruction, PASMO | RASM},
    {"reti", Named::Instruction, PASMO | RASM},
    {"retn", Named::Instruction, PASMO | RASM},
    {"rl", Named::Instruction, PASMO | RASM},
    {"rla", Named::Instruction, PASMO | RASM},
    {"rlc", Named::Instruction, PASMO | RASM},
    {"rlca", Named::Instruction, PASMO | RASM},
    {"rld", Named::Instruction, PASMO | RASM},
    {"rr", Named::Instruction, PASMO | RASM},
    {"rra", Named::Instruction, PASMO | RASM},
    {"rrc", Named::Instruction, PASMO | RASM},
    {"rrca", Named::Instruction, PASMO | RASM},
    {"rrd", Named::Instruction, PASMO | RASM},
    {"rst", Named::Instruction, PASMO | RASM},
    {"sbc", Named::Instruction, PASMO | RASM},
    {"scf", Named::Instruction, PASMO | RASM},
    {"set", Named::Instruction, PASMO | RASM},
    {"sla", Named::Instruction, PASMO | RASM},
    {"sll", Named::Instruction, PASMO | RASM},
    {"sra", Named::Instruction, PASMO | RASM},
    {"srl", Named::Instruction, PASMO | RASM},
    {"sub", Named::Instruction, PASMO | RASM},
    {"xor", Named::InstructionAndOperator, PASMO | RASM},
    {"db", Named::Directive, PASMO | RASM},
    {"defb", Named::Directive, PASMO | RASM},
    {"defl", Named::Directive, PASMO},
    {"defm", Named::Directive, PASMO | RASM},
    {"defs", Named::Directive, PASMO | RASM},
    {"defw", Named::Directive, PASMO | RASM},
    {"ds", Named::Directive, PASMO | RASM},
    {"dw", Named::Directive, PASMO | RASM},
    {"else", Named::Directive, PASMO | RASM},
    {"end", Named::Directive, PASMO},
    {"endif", Named::Directive, PASMO | RASM},
    {"endm", Named::Directive, PASMO},
    {"endp", Named::Directive, PASMO},
    {"equ", Named::Directive, PASMO},
    {"exitm", Named::Directive, PASMO},
    {"if", Named::Directive, PASMO | RASM},
    {"incbin", Named::Directive, PASMO | RASM},
    {"include", Named::Directive, PASMO | RASM},
    {"irp", Named::Directive, PASMO},
    {"local", Named::Directive, PASMO},
    {"macro", Named::Directive, PASMO | RASM},
    {"org", Named::Directive, PASMO | RASM},
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
    {"high", Named::Operator, PASMO | SJASMPLUS},
    {"le", Named::Operator, PASMO},
    {"low", Named::Operator, PASMO | SJASMPLUS},
    {"lt", Named::Operator, PASMO},
    {"mod", Named::Operator, PASMO},
    {"ne", Named::Operator, PASMO},
    {"not", Named::Operator, PASMO | SJASMPLUS},
    {"nul", Named::Operator, PASMO},
    {"shl", Named::Operator, PASMO | RASM},
    {"shr", Named::Operator, PASMO | RASM},
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
