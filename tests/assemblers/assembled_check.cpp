// What a real assembler made of kelvora's output, checked against what the
// output means: .ci/assemblers.sh converts each case for each assembler,
// assembles it at origin 0 and hands the binary, the assembler's symbols and
// the end of what it assembled to this program. The output is read by the
// read-back reader, in the list's own terms, and compared with the picture
// and the list converted afresh; only then are its lines laid out at their
// addresses and looked for in the binary.
//
//   assembled_check prepare NAME PICTURE LIST OUTPUT COPY
//       Reads OUTPUT back and copies it for assembling. Lists made to test
//       odd names hold labels no assembler takes (the same name twice, a
//       name with a blank, a number); then each written record is named
//       label_1, label_2, ... in order, its label line in the copy too, and
//       "renamed" is printed, else "as written". Nothing but label lines
//       changes, but for one more at the end, kelvora_end, which shows where
//       the last fill ends even where the assembler rounds the end up.
//   assembled_check verify NAME PICTURE LIST COPY BINARY SYMBOLS END
//       SYMBOLS has a line "LABEL ADDRESS" (hexadecimal) for each label; END
//       is the address (hexadecimal) where the assembled text ends. Reads
//       COPY back (with the records named as prepare named them), then checks
//       that every byte of every byte line is in the binary at its address,
//       that each label stands where the lines before it put it (so every
//       fill reserved its length), that a tile table's label is on a page,
//       and that the text (and kelvora_end) ends where the last fill or byte
//       line ends it.
//
// NAME is an assembler of --assembler (gnu, pasmo, z80asm, sdas, sdcc), or
// "default" for the output without it, which GNU as takes with -colonless.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "check/label_check.h"
#include "convert/convert_record.h"
#include "input/byte_reader.h"
#include "input/picture.h"
#include "output/asm_syntax.h"
#include "output/kept_names.h"
#include "readback/read_back.h"

namespace {

using kelvora::AsmSyntax;
using kelvora::ResourceRecord;
namespace read_back = kelvora::read_back;

const AsmSyntax* syntax_named(std::string_view name) {
    return name == "default" ? &kelvora::DEFAULT_SYNTAX : kelvora::find_assembler(name);
}

std::string read_all(const char* path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// The label prepare puts after the output's last line.
constexpr std::string_view END_LABEL = "kelvora_end";

std::string label_of(const ResourceRecord& record) {
    return std::string(record.name, strnlen(record.name, kelvora::TOKEN_BUFFER_SIZE));
}

// A label every assembler takes as it is: letters, digits, "_" and ".", not
// first a digit, clashing with no name an assembler keeps.
bool takes_as_written(const std::string& label, const AsmSyntax& syntax) {
    if (label.empty() || (label[0] >= '0' && label[0] <= '9') ||
        (syntax.c_names && !kelvora::is_c_name(label))) {
        return false;
    }
    for (const char c : label) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '.')) {
            return false;
        }
    }
    const kelvora::AssemblerSet set = &syntax == &kelvora::DEFAULT_SYNTAX
                                          ? kelvora::DEFAULT_ASSEMBLERS
                                          : kelvora::assembler_set(syntax);
    return kelvora::label_clashes(label, set).empty();
}

// The lines of a global label in the syntax; the end label's too.
std::string label_line(const AsmSyntax& syntax, const std::string& label) {
    const std::string global =
        syntax.global_lead[0] != '\0' ? syntax.global_lead + label + "\n" : "";
    return global + syntax.label_prefix + label + syntax.label_end + "\n";
}

// The picture in a fresh run's stores, and the list's records.
struct Input {
    std::unique_ptr<kelvora::Stores> stores = std::make_unique<kelvora::Stores>();
    std::vector<ResourceRecord> records;
};

bool load(const char* picture_path, const char* list_path, Input& input) {
    const std::string picture = read_all(picture_path);
    const std::string list = read_all(list_path);
    kelvora::ByteReader reader;
    kelvora::start_reading_memory(reader, picture.data(), picture.size());
    const auto scratch = std::make_unique<kelvora::PictureScratch>();
    kelvora::PictureFacts facts;
    const kelvora::PictureVerdict verdict =
        kelvora::read_picture(reader, *scratch, input.stores->grid, facts);
    if (!verdict.taken) {
        std::fprintf(stderr, "%s: the picture is refused: %s\n", picture_path, verdict.reason);
        return false;
    }
    kelvora::start_reading_memory(reader, list.data(), list.size());
    input.records = kelvora::read_back::records_of(reader);
    return true;
}

// Renames the written records label_1, label_2, ... when any of their names
// is one an assembler would not take, the end label, or a name given twice;
// true when it did. Prepare and verify both rename so, the one to write the copy, the
// other to read it back: the reader then checks each label line against the
// name the record has in the copy, and nothing of its check is skipped.
bool rename_if_needed(std::vector<ResourceRecord>& records, const AsmSyntax& syntax) {
    std::set<std::string> seen;
    bool rename = false;
    for (const ResourceRecord& record : records) {
        if (!kelvora::record_is_outside(record)) {
            const std::string label = label_of(record);
            rename = rename || !takes_as_written(label, syntax) || label == END_LABEL ||
                     !seen.insert(label).second;
        }
    }
    int number = 0;
    for (ResourceRecord& record : records) {
        if (rename && !kelvora::record_is_outside(record)) {
            const std::string label = "label_" + std::to_string(++number);
            std::memset(record.name, 0, sizeof record.name);
            label.copy(record.name, label.size());
            record.label_length = static_cast<std::uint8_t>(label.size());
        }
    }
    return rename;
}

// Reads `text` back as the records' output in `syntax` and compares it with
// their conversion; false, with the reason, when it is not that.
bool reads_back(const std::string& text, const std::vector<ResourceRecord>& records,
                const AsmSyntax& syntax, kelvora::Stores& stores, read_back::Text& read,
                const char* path) {
    read = read_back::read_text(text, records, syntax);
    const read_back::Verdict verdict = read_back::compare(read, records, stores);
    if (!verdict.fits()) {
        std::fprintf(stderr, "%s:%lld: %s\n", path, static_cast<long long>(verdict.line),
                     verdict.why.c_str());
        return false;
    }
    return true;
}

int prepare(const AsmSyntax& syntax, const char* picture_path, const char* list_path,
            const char* output_path, const char* copy_path) {
    Input input;
    if (!load(picture_path, list_path, input)) {
        return 1;
    }
    const std::string text = read_all(output_path);
    read_back::Text read;
    if (!reads_back(text, input.records, syntax, *input.stores, read, output_path)) {
        return 1;
    }
    const bool renamed = rename_if_needed(input.records, syntax);
    // The label lines the reader found, by line number, with their new text.
    std::map<std::int64_t, std::string> new_labels;
    for (std::size_t i = 0; renamed && i < input.records.size(); ++i) {
        if (read.records[i].written) {
            new_labels[read.records[i].label_line] = label_of(input.records[i]);
        }
    }
    // A renamed label is a name every syntax makes global: where a line of
    // its own says so, that line, just before the label's, is renamed too.
    const bool global_lines = syntax.global_lead[0] != '\0';
    std::string copy;
    std::size_t at = 0;
    for (std::int64_t number = 1; at < text.size(); ++number) {
        const std::size_t end = text.find('\n', at) + 1; // every line ends so, as read
        const auto label = new_labels.find(number);
        const auto global = new_labels.find(number + 1);
        if (label != new_labels.end()) {
            copy += syntax.label_prefix + label->second + syntax.label_end + "\n";
        } else if (global_lines && global != new_labels.end()) {
            copy += syntax.global_lead + global->second + "\n";
        } else {
            copy.append(text, at, end - at);
        }
        at = end;
    }
    // The end label goes where the last record ends: before the line that
    // ends the output on a page, where it has one, so that a fill of the
    // wrong length cannot hide in the page's rest.
    const std::string page_end = syntax.page_end;
    const bool ends_on_page = !page_end.empty() && copy.ends_with(page_end);
    copy.insert(copy.size() - (ends_on_page ? page_end.size() : 0),
                label_line(syntax, std::string(END_LABEL)));
    std::ofstream(copy_path, std::ios::binary) << copy;
    std::puts(renamed ? "renamed" : "as written");
    return 0;
}

std::uint32_t parse_hex(const std::string& text) {
    return static_cast<std::uint32_t>(std::stoul(text, nullptr, 16));
}

int verify(const AsmSyntax& syntax, const char* picture_path, const char* list_path,
           const char* copy_path, const char* binary_path, const char* symbols_path,
           const std::string& end_text) {
    Input input;
    if (!load(picture_path, list_path, input)) {
        return 1;
    }
    rename_if_needed(input.records, syntax);
    // The output is the copy without the end label prepare put in, last or
    // before the line that ends the output on a page.
    std::string text = read_all(copy_path);
    const std::string end_line = label_line(syntax, std::string(END_LABEL));
    const std::string page_end = syntax.page_end;
    const std::size_t end_at =
        text.size() - end_line.size() -
        (!page_end.empty() && text.ends_with(page_end) ? page_end.size() : 0);
    if (text.size() < end_line.size() || text.compare(end_at, end_line.size(), end_line) != 0) {
        std::fprintf(stderr, "%s: the end label is not where the last record ends\n", copy_path);
        return 1;
    }
    text.erase(end_at, end_line.size());
    read_back::Text read;
    if (!reads_back(text, input.records, syntax, *input.stores, read, copy_path)) {
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
    bool any_alignment = false;
    long bytes = 0;
    long labels = 0;
    long pages = 0;
    long fills = 0;
    long first_byte = -1;
    // The bytes of one byte line or more, `per_line` a line from `line` on,
    // at the address they take.
    const auto check_bytes = [&](const std::vector<std::uint8_t>& values, std::int64_t line,
                                 std::int64_t per_line) {
        for (std::size_t i = 0; i < values.size(); ++i) {
            if (first_byte < 0) {
                first_byte = address;
            }
            const std::string where =
                "line " + std::to_string(line + static_cast<std::int64_t>(i) / per_line) +
                ", byte at " + std::to_string(address);
            if (address >= binary.size()) {
                fault(where + ": past the binary's end");
            } else if (static_cast<std::uint8_t>(binary[address]) != values[i]) {
                fault(where + ": " + std::to_string(static_cast<std::uint8_t>(binary[address])) +
                      " in the binary, " + std::to_string(values[i]) + " in the output");
            }
            ++address;
            ++bytes;
        }
    };
    for (std::size_t i = 0; i < input.records.size(); ++i) {
        const read_back::Record& record = read.records[i];
        if (!record.written) {
            continue;
        }
        const kelvora::RecordLayout layout = kelvora::record_layout(input.records[i]);
        if (layout.page_aligned) {
            address = (address + 255) & ~255u;
            any_alignment = true;
        }
        ++labels;
        const auto symbol = symbols.find(record.label);
        if (symbol == symbols.end()) {
            fault("label " + record.label + ": not among the assembler's symbols");
        } else if (symbol->second != address) {
            fault("label " + record.label + ": at " + std::to_string(symbol->second) +
                  ", where the lines before it end at " + std::to_string(address));
        }
        if (layout.page_aligned) {
            ++pages;
            if (address % 256 != 0 || (symbol != symbols.end() && symbol->second % 256 != 0)) {
                fault("tile table " + record.label + ": not on a 256-byte page");
            }
        }
        check_bytes(record.header, record.label_line + 1, 1);
        for (const read_back::Band& band : record.bands) {
            check_bytes(band.bytes, band.first_line, layout.bytes_per_line);
            if (layout.page_fill) {
                address += band.fill;
                ++fills;
            }
        }
    }
    const auto end_symbol = symbols.find(std::string(END_LABEL));
    if (end_symbol == symbols.end() || end_symbol->second != address) {
        fault(std::string(END_LABEL) + ": not at " + std::to_string(address) +
              ", where the output's last line ends");
    }
    // GNU as rounds the size of a section up to its alignment, which
    // ".balign 256" makes a page; an output that ends itself on a page,
    // where it holds a tile table, ends there.
    std::uint32_t expected_end = address;
    if ((std::strcmp(syntax.name, "gnu") == 0 || !page_end.empty()) && any_alignment) {
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
    if (syntax != nullptr && argc == 7 && std::strcmp(argv[1], "prepare") == 0) {
        return prepare(*syntax, argv[3], argv[4], argv[5], argv[6]);
    }
    if (syntax != nullptr && argc == 9 && std::strcmp(argv[1], "verify") == 0) {
        return verify(*syntax, argv[3], argv[4], argv[5], argv[6], argv[7], argv[8]);
    }
    std::fputs("usage: assembled_check prepare NAME PICTURE LIST OUTPUT COPY\n"
               "       assembled_check verify NAME PICTURE LIST COPY BINARY SYMBOLS END\n",
               stderr);
    return 2;
}
