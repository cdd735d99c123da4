// What a real assembler made of kelvora's output, checked against what the
// output means: .ci/assemblers.sh converts each case for each assembler,
// assembles it at origin 0 and hands the binary, the assembler's symbols and
// the end of what it assembled to this program.
//
//   assembled_check prepare NAME OUTPUT COPY
//       Copies the output for assembling. Lists made to test odd names hold
//       labels no assembler takes (the same name twice, a name with a blank,
//       a number); then every label line of the copy is renamed to one that
//       is, and "renamed" is printed, else "as written". Nothing but label
//       lines changes.
//   assembled_check verify NAME COPY BINARY SYMBOLS END
//       SYMBOLS has a line "LABEL ADDRESS" (hexadecimal) for each label; END
//       is the address (hexadecimal) where the assembled text ends. Checks
//       that every byte of every byte line is in the binary at its address,
//       that each label stands where the lines before it put it (so every
//       fill reserved its length), that a tile table's label is on a page,
//       and that the text ends where the last fill or byte line ends it.
//
// NAME is gnu, pasmo, z80asm or sdas, or "default" for the output without
// --assembler, which GNU as takes with -colonless.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "output/asm_syntax.h"
#include "preview/label_check.h"

namespace {

using kelvora::AsmSyntax;

const AsmSyntax* syntax_named(std::string_view name) {
    return name == "default" ? &kelvora::DEFAULT_SYNTAX : kelvora::find_assembler(name);
}

std::string read_all(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// One line of the output, as the syntax spells it.
struct Line {
    enum Kind { Label, Bytes, Fill, PageAlign } kind;
    std::string label;               // a label line's label
    std::vector<std::uint8_t> bytes; // a byte line's bytes; a fill line's length
};

bool parse_literal(std::string_view text, std::uint8_t& value) {
    constexpr std::string_view DIGITS = "0123456789abcdef";
    if (text.size() != 4 || text.substr(0, 2) != "0x" ||
        DIGITS.find(text[2]) == std::string_view::npos ||
        DIGITS.find(text[3]) == std::string_view::npos) {
        return false;
    }
    value = static_cast<std::uint8_t>(DIGITS.find(text[2]) * 16 + DIGITS.find(text[3]));
    return true;
}

// The output's lines; false, with a message, when one is none of its forms.
bool parse_output(const std::string& text, const AsmSyntax& syntax, std::vector<Line>& lines) {
    const std::string_view page_align(syntax.page_align);
    const std::string_view byte_lead(syntax.byte_lead);
    const std::string_view fill_lead(syntax.fill_lead);
    const std::string_view label_end(syntax.label_end);
    std::size_t at = 0;
    for (int number = 1; at < text.size(); ++number) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos) {
            std::fprintf(stderr, "line %d: no line feed at the end of the output\n", number);
            return false;
        }
        const std::string_view line(text.data() + at, end - at);
        const std::string_view whole(text.data() + at, end - at + 1);
        at = end + 1;
        Line parsed{Line::Label, {}, {}};
        if (whole == page_align) {
            parsed.kind = Line::PageAlign;
        } else if (line.substr(0, fill_lead.size()) == fill_lead) {
            parsed.kind = Line::Fill;
            std::uint8_t length = 0;
            if (!parse_literal(line.substr(fill_lead.size()), length)) {
                std::fprintf(stderr, "line %d: a fill line without its length\n", number);
                return false;
            }
            parsed.bytes.push_back(length);
        } else if (line.substr(0, byte_lead.size()) == byte_lead) {
            parsed.kind = Line::Bytes;
            std::string_view rest = line.substr(byte_lead.size());
            for (;;) {
                const std::size_t comma = rest.find(',');
                std::uint8_t value = 0;
                if (!parse_literal(rest.substr(0, comma), value)) {
                    std::fprintf(stderr, "line %d: a byte line with something else than bytes\n",
                                 number);
                    return false;
                }
                parsed.bytes.push_back(value);
                if (comma == std::string_view::npos) {
                    break;
                }
                rest.remove_prefix(comma + 1);
            }
        } else {
            if (line.size() < label_end.size() ||
                line.substr(line.size() - label_end.size()) != label_end) {
                std::fprintf(stderr, "line %d: a label line without \"%s\" at its end\n", number,
                             syntax.label_end);
                return false;
            }
            parsed.label = std::string(line.substr(0, line.size() - label_end.size()));
        }
        lines.push_back(std::move(parsed));
    }
    return true;
}

// A label every assembler takes as it is: letters, digits, "_" and ".", not
// first a digit, clashing with no name an assembler keeps.
bool takes_as_written(const std::string& label, const AsmSyntax& syntax) {
    if (label.empty() || (label[0] >= '0' && label[0] <= '9')) {
        return false;
    }
    for (const char c : label) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '.')) {
            return false;
        }
    }
    const kelvora::AssemblerSet set = &syntax == &kelvora::DEFAULT_SYNTAX
                                          ? kelvora::ALL_ASSEMBLERS
                                          : kelvora::assembler_set(syntax);
    return kelvora::label_clashes(label, set).empty();
}

int prepare(const AsmSyntax& syntax, const char* output_path, const char* copy_path) {
    const std::string text = read_all(output_path);
    std::vector<Line> lines;
    if (!parse_output(text, syntax, lines)) {
        return 1;
    }
    std::set<std::string> seen;
    bool rename = false;
    for (const Line& line : lines) {
        if (line.kind == Line::Label) {
            rename =
                rename || !takes_as_written(line.label, syntax) || !seen.insert(line.label).second;
        }
    }
    // Only the label lines are written anew; every other line is copied.
    std::string copy;
    int label_number = 0;
    std::size_t at = 0;
    for (const Line& line : lines) {
        const std::size_t end = text.find('\n', at) + 1;
        if (rename && line.kind == Line::Label) {
            copy += "label_" + std::to_string(++label_number) + syntax.label_end + "\n";
        } else {
            copy.append(text, at, end - at);
        }
        at = end;
    }
    std::ofstream(copy_path, std::ios::binary) << copy;
    std::puts(rename ? "renamed" : "as written");
    return 0;
}

std::uint32_t parse_hex(const std::string& text) {
    return static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
}

int verify(const AsmSyntax& syntax, const char* copy_path, const char* binary_path,
           const char* symbols_path, const std::string& end_text) {
    std::vector<Line> lines;
    if (!parse_output(read_all(copy_path), syntax, lines)) {
        return 1;
    }
    const std::string binary = read_all(binary_path);
    std::map<std::string, std::uint32_t> symbols;
    {
        std::istringstream in(read_all(symbols_path));
        std::string name;
        std::string address;
        while (in >> name >> address) {
            symbols[name] = parse_hex(address);
        }
    }
    int faults = 0;
    const auto fault = [&faults](const std::string& text) {
        if (++faults <= 10) {
            std::fprintf(stderr, "%s\n", text.c_str());
        }
    };
    std::uint32_t address = 0;
    bool aligned = false;
    bool any_alignment = false;
    long bytes = 0;
    long labels = 0;
    long pages = 0;
    long fills = 0;
    long first_byte = -1;
    for (const Line& line : lines) {
        switch (line.kind) {
        case Line::PageAlign:
            address = (address + 255) & ~255u;
            aligned = true;
            any_alignment = true;
            continue;
        case Line::Fill:
            address += line.bytes[0];
            ++fills;
            break;
        case Line::Bytes:
            for (const std::uint8_t value : line.bytes) {
                if (first_byte < 0) {
                    first_byte = address;
                }
                if (address >= binary.size()) {
                    fault("byte at " + std::to_string(address) + ": past the binary's end");
                } else if (static_cast<std::uint8_t>(binary[address]) != value) {
                    fault("byte at " + std::to_string(address) + ": " +
                          std::to_string(static_cast<std::uint8_t>(binary[address])) +
                          " in the binary, " + std::to_string(value) + " in the output");
                }
                ++address;
                ++bytes;
            }
            break;
        case Line::Label: {
            ++labels;
            const auto symbol = symbols.find(line.label);
            if (symbol == symbols.end()) {
                fault("label " + line.label + ": not among the assembler's symbols");
            } else if (symbol->second != address) {
                fault("label " + line.label + ": at " + std::to_string(symbol->second) +
                      ", where the lines before it end at " + std::to_string(address));
            }
            if (aligned) {
                ++pages;
                if (address % 256 != 0 || (symbol != symbols.end() && symbol->second % 256 != 0)) {
                    fault("tile table " + line.label + ": not on a 256-byte page");
                }
            }
            break;
        }
        }
        aligned = false;
    }
    // GNU as rounds the size of a section up to its alignment, which
    // ".balign 256" makes a page.
    std::uint32_t expected_end = address;
    if (std::strcmp(syntax.name, "gnu") == 0 && any_alignment) {
        expected_end = (address + 255) & ~255u;
    }
    const std::uint32_t end = parse_hex(end_text);
    if (end != expected_end) {
        fault("the assembled text ends at " + std::to_string(end) + ", the output's at " +
              std::to_string(expected_end));
    }
    if (address > 0x10000) {
        fault("the output is longer than the 64 KiB a Z80 addresses");
    }
    if (faults > 0) {
        std::fprintf(stderr, "%d faults\n", faults);
        return 1;
    }
    // Last, for the script: a byte to change, which the check must then see.
    std::printf("%ld bytes, %ld fills, %ld labels (%ld on a page), %u bytes in all", bytes, fills,
                labels, pages, address);
    if (first_byte >= 0) {
        std::printf(", first byte at %lx", first_byte);
    }
    std::putchar('\n');
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    const AsmSyntax* syntax = argc > 2 ? syntax_named(argv[2]) : nullptr;
    if (syntax != nullptr && argc == 5 && std::strcmp(argv[1], "prepare") == 0) {
        return prepare(*syntax, argv[3], argv[4]);
    }
    if (syntax != nullptr && argc == 7 && std::strcmp(argv[1], "verify") == 0) {
        return verify(*syntax, argv[3], argv[4], argv[5], argv[6]);
    }
    std::fputs("usage: assembled_check prepare NAME OUTPUT COPY\n"
               "       assembled_check verify NAME COPY BINARY SYMBOLS END\n",
               stderr);
    return 2;
}
