// kelvora's options, one row each: a new option is a new row and, where it
// takes a value, a function that applies it.
#include "main/command_line.h"

#include <cstring>

namespace kelvora {
namespace {

const char* apply_help(CommandLine& line, const char*) {
    line.action = CommandAction::Help;
    return nullptr;
}

const char* apply_version(CommandLine& line, const char*) {
    line.action = CommandAction::Version;
    return nullptr;
}

const char* apply_assembler(CommandLine& line, const char* name) {
    const AsmSyntax* syntax = find_assembler(name);
    line.options.syntax = syntax != nullptr ? syntax : line.options.syntax;
    return syntax == nullptr ? "unknown assembler " : nullptr;
}

const char* apply_header(CommandLine& line, const char* file) {
    line.options.header = file;
    return file[0] == '\0' ? "--header wants a file name" : nullptr;
}

const char* apply_binary(CommandLine& line, const char*) {
    line.options.binary = true;
    return nullptr;
}

const char* apply_symbols(CommandLine& line, const char* file) {
    line.options.symbols = file;
    return file[0] == '\0' ? "--symbols wants a file name" : nullptr;
}

struct OptionRow {
    const char* name;
    // What is wrong when the value is missing; null for an option that takes
    // none. A value follows as the next word, or after "=".
    const char* missing_value;
    // Applies the option: null, or what is wrong with the value (which the
    // message then names).
    const char* (*apply)(CommandLine& line, const char* value);
};

constexpr OptionRow OPTIONS[] = {
    {"--help", nullptr, apply_help},
    {"-h", nullptr, apply_help},
    {"--version", nullptr, apply_version},
    {"--assembler", "--assembler wants a name", apply_assembler},
    {"--header", "--header wants a file name", apply_header},
    {"--binary", nullptr, apply_binary},
    {"--symbols", "--symbols wants a file name", apply_symbols},
};

CommandLine wrong(CommandLine line, const char* problem, const char* argument) {
    line.action = CommandAction::Wrong;
    line.problem = problem;
    line.argument = argument;
    return line;
}

} // namespace

CommandLine read_command_line(int argc, const char* const* argv) {
    CommandLine line;
    const char* names[3] = {};
    int name_count = 0;
    bool options_end = false;
    bool any_option = false;
    for (int i = 1; i < argc; ++i) {
        const char* word = argv[i];
        const bool option =
            !options_end && word[0] == '-' && (name_count == 0 ? word[1] != '\0' : word[1] == '-');
        if (!option) {
            if (name_count < 3) {
                names[name_count++] = word;
            }
            continue;
        }
        any_option = true;
        if (std::strcmp(word, "--") == 0) {
            options_end = true;
            continue;
        }
        const OptionRow* row = nullptr;
        const char* value = nullptr;
        for (const OptionRow& candidate : OPTIONS) {
            const std::size_t length = std::strlen(candidate.name);
            if (std::strncmp(word, candidate.name, length) != 0) {
                continue;
            }
            if (word[length] == '\0') {
                row = &candidate;
            } else if (word[length] == '=' && candidate.missing_value != nullptr) {
                row = &candidate;
                value = word + length + 1;
            }
        }
        if (row == nullptr) {
            return wrong(line, "unknown option ", word);
        }
        if (row->missing_value != nullptr && value == nullptr) {
            if (i + 1 == argc) {
                return wrong(line, row->missing_value, "");
            }
            value = argv[++i];
        }
        const char* problem = row->apply(line, value);
        if (problem != nullptr) {
            return wrong(line, problem, value);
        }
        if (line.action != CommandAction::Convert) {
            return line;
        }
    }
    if (line.options.header != nullptr && (!line.options.syntax->c_names || line.options.binary)) {
        return wrong(line, "--header goes with --assembler sdcc, and not with --binary", "");
    }
    if (line.options.symbols != nullptr && !line.options.binary) {
        return wrong(line, "--symbols goes with --binary", "");
    }
    if (name_count == 3) {
        line.picture = names[0];
        line.list = names[1];
        line.output = names[2];
    } else if (any_option) {
        return wrong(line, "three names are needed", "");
    } else {
        line.default_names = true;
    }
    return line;
}

} // namespace kelvora
