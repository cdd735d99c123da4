// The checker's words for a label that clashes with a name an assembler
// keeps.
#include "check/label_check.h"

namespace kelvora {
namespace {

struct NamedWords {
    const char* what;  // "is ...": what the label names
    const char* taken; // "will read it as ..."
};

constexpr NamedWords WORDS[] = {
    /* Register */ {"a register's name", "the register"},
    /* Condition */ {"a condition's name", "the condition"},
    /* RegisterAndCondition */
    {"the name of a register and of a condition", "the register or the condition"},
    /* Instruction */ {"an instruction's name", "the instruction"},
    /* InstructionAndOperator */
    {"the name of an instruction and of an operator", "the instruction or the operator"},
    /* Directive */ {"a directive's name", "the directive"},
    /* Operator */ {"an operator's name", "the operator"},
    /* LocationCounter */ {"the location counter's name", "the location counter"},
    /* Section */ {"a section's name", "the section"},
};

// The one assembler that reads a label starting with a condition as that
// condition.
constexpr AssemblerSet Z80ASM = assembler_set(*find_assembler("z80asm"));

// "GNU as, pasmo and sdas".
std::string titles_of(AssemblerSet assemblers) {
    std::string text;
    int left = 0;
    for (AssemblerSet rest = assemblers; rest != 0; rest &= rest - 1) {
        ++left;
    }
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        if ((assemblers & assembler_set(syntax)) == 0) {
            continue;
        }
        if (!text.empty()) {
            text += left == 1 ? " and " : ", ";
        }
        text += syntax.title;
        --left;
    }
    return text;
}

} // namespace

std::vector<std::string> label_clashes(std::string_view label, AssemblerSet assemblers) {
    std::vector<std::string> clashes;
    for_each_kept_match(label, [&](const KeptName& kept) {
        const AssemblerSet keeping = kept.assemblers & assemblers;
        if (keeping != 0) {
            const NamedWords& words = WORDS[static_cast<int>(kept.what)];
            clashes.push_back("the label \"" + std::string(label) + "\" is " + words.what + " in " +
                              titles_of(keeping) +
                              ", which will not take it as a label, or will read it as " +
                              words.taken + "; rename it");
        }
    });
    // The rules beyond the kept names, each said once for the assemblers it
    // holds for.
    AssemblerSet too_long = 0;
    AssemblerSet no_dots = 0;
    AssemblerSet local = 0;
    std::size_t longest = 0;
    const bool dotted = label.find('.') != std::string_view::npos;
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        const AssemblerSet bit = assembler_set(syntax);
        const NameRules& rules = name_rules(syntax);
        if ((assemblers & bit) == 0) {
            continue;
        }
        if (rules.longest_label > 0 && label.size() > rules.longest_label) {
            too_long |= bit;
            longest = rules.longest_label;
        }
        if (!rules.takes_dots && dotted) {
            no_dots |= bit;
        }
        if (rules.dot_makes_local && label.size() > 1 && label[0] == '.') {
            local |= bit;
        }
    }
    // Looked for only where z80asm is checked: most lists are for others.
    const std::size_t condition = (assemblers & Z80ASM) != 0 ? leading_condition_length(label) : 0;
    // Most labels break none of these rules, and need no copy to say so.
    if (too_long == 0 && no_dots == 0 && local == 0 && condition == 0) {
        return clashes;
    }
    const std::string shown(label);
    if (too_long != 0) {
        clashes.push_back("the label \"" + shown + "\" is " + std::to_string(label.size()) +
                          " characters long, more than the " + std::to_string(longest) + " " +
                          titles_of(too_long) + " takes; shorten it");
    }
    if (no_dots != 0) {
        clashes.push_back("the label \"" + shown + "\" holds a \".\", which " + titles_of(no_dots) +
                          " will not take in a name; write \"_\" instead");
    }
    if (local != 0) {
        clashes.push_back("the label \"" + shown + "\" starts with \".\", which " +
                          titles_of(local) + ((local & (local - 1)) != 0 ? " read" : " reads") +
                          " as a label local to the one before it (\".a\" after \"ship\" "
                          "is \"ship.a\"); start it with a letter or \"_\"");
    }
    if (condition > 0) {
        clashes.push_back("the label \"" + shown + "\" starts with the condition \"" +
                          shown.substr(0, condition) + "\" before \"" + label[condition] +
                          "\", which z80asm reads as the condition in \"jp " + shown + "\", \"jr " +
                          shown + "\" and \"call " + shown + "\"; start the label otherwise");
    }
    return clashes;
}

} // namespace kelvora
