// Fuzz target: the whole conversion. The input is a picture, then the
// separator "@@LIST@@", then the resource list (no separator: an empty list).
// The output is read back and each record's lines compared with what a fresh
// conversion puts in the stores; a record outside the grid must give its
// message instead; a second run over the same input, written in one of the
// assemblers' syntaxes (with its header where its labels are C names), must
// read back in that syntax as the same lines holding the same bytes; and a
// third, as a binary, must hold those bytes too.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "convert/convert_record.h"
#include "fuzz_support.h"
#include "input/picture.h"
#include "input/resource_list.h"
#include "output/output_forms.h"
#include "readback/read_back.h"

namespace {

using namespace kelvora;
using fuzz::check;

constexpr std::string_view SEPARATOR = "@@LIST@@";

// Inputs whose picture or records hold more pixels than these are skipped:
// every record can reach the whole grid whatever the picture's size, so large
// work finds nothing new and would only slow each run (the picture target and
// the tests take the largest sizes).
constexpr std::int64_t PICTURE_BUDGET = 256 * 256;
constexpr std::int64_t PIXEL_BUDGET = 1 << 16;

struct Input {
    std::string_view picture;
    std::string_view list;
};

Input split(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t at = all.find(SEPARATOR);
    if (at == std::string_view::npos) {
        return {all, {}};
    }
    return {all.substr(0, at), all.substr(at + SEPARATOR.size())};
}

ByteReader& reader_over(std::string_view bytes) {
    return fuzz::reader_over(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// Pixels a record encodes, for the budget. A band of no cells counts as one
// cell: a block or tile table of width 0 still runs a band for every 8 rows
// (a tile table writing a fill line for each).
std::int64_t work_of(const ResourceRecord& record) {
    const RecordLayout layout = record_layout(record);
    const std::int64_t cells = layout.cells_across > 0 ? layout.cells_across : 1;
    return layout.bands * cells * (is_banded(record.kind) ? 64 : layout.rows * 8);
}

std::int64_t work_of_list(std::string_view list_bytes) {
    ByteReader& list = reader_over(list_bytes);
    ResourceRecord record{};
    std::int64_t work = 0;
    while (work <= PIXEL_BUDGET && read_record(list, record)) {
        if (!record_is_outside(record)) {
            work += work_of(record);
        }
    }
    return work;
}

struct Conversion {
    bool taken;
    std::string output;
    std::string header; // the header or the symbols, where there are any
    std::string messages;
};

// Everything written to the descriptor, from its start.
std::string contents_of(int fd) {
    std::string text;
    char chunk[1 << 16];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

// Converts the input in the syntax, as raw bytes where `binary` (with the
// symbols as the second output), else as text (with the header as the second
// output where the syntax's labels are C names).
Conversion convert(const Input& input, const AsmSyntax& syntax, bool binary = false) {
    static SheetWriter sheet;
    static FormOutput output;
    static FormOutput header;
    Stores& stores = fuzz::zeroed_stores();
    PictureFacts facts;
    if (!read_picture(reader_over(input.picture), fuzz::picture_scratch(), stores.grid, facts)
             .taken) {
        return {false, {}, {}, {}};
    }
    const int output_fd = memfd_create("kelvora-output", 0);
    const int header_fd = memfd_create("kelvora-header", 0);
    char* message_bytes = nullptr;
    std::size_t message_size = 0;
    std::FILE* messages = open_memstream(&message_bytes, &message_size);
    check(output_fd >= 0 && header_fd >= 0 && messages != nullptr,
          "memfd_create or open_memstream failed");

    // Where labels are C names, the header is written beside the output.
    start_form_output(output, output_form(binary ? FormId::Binary : FormId::AssemblerSource),
                      syntax, output_fd, "out.s");
    start_form_output(header, output_form(binary ? FormId::Symbols : FormId::CHeader), syntax,
                      header_fd, "sheet.h");
    header.companion = "out.s";
    FormOutput* const outputs[] = {&output, &header};
    start_sheet(sheet, outputs, binary || syntax.c_names ? 2 : 1);
    ByteReader& list = reader_over(input.list);
    ResourceRecord record{};
    while (read_record(list, record)) {
        convert_record(stores, record, sheet, messages);
    }
    end_sheet(sheet);
    check(output.buffer.error == 0 && header.buffer.error == 0, "writing to memory failed");
    std::fclose(messages);
    Conversion result{true, contents_of(output_fd), contents_of(header_fd),
                      std::string(message_bytes, message_size)};
    std::free(message_bytes);
    close(output_fd);
    close(header_fd);
    return result;
}

// Reads the output back in the list's terms and compares every byte with a
// fresh conversion: the lines each record calls for, in its layout, holding
// what the stores hold after each band; a record outside the grid gives its
// message instead. Returns what was read.
read_back::Text check_conversion(const Input& input, const std::vector<ResourceRecord>& records,
                                 const Conversion& result) {
    read_back::Text text = read_back::read_text(result.output, records, DEFAULT_SYNTAX);
    Stores& stores = fuzz::zeroed_stores();
    PictureFacts facts;
    read_picture(reader_over(input.picture), fuzz::picture_scratch(), stores.grid, facts);
    const read_back::Verdict verdict = read_back::compare(text, records, stores);
    if (!verdict.fits()) {
        fuzz::fail(("the output read back: " + verdict.describe()).c_str());
    }
    check(result.messages == read_back::expected_messages(records),
          "the messages are not one per outside record");
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input input = split(data, size);
    PictureFacts facts;
    const bool taken = read_picture(reader_over(input.picture), fuzz::picture_scratch(),
                                    fuzz::zeroed_stores().grid, facts)
                           .taken;
    if ((taken && std::int64_t{facts.width} * facts.height > PICTURE_BUDGET) ||
        work_of_list(input.list) > PIXEL_BUDGET) {
        return -1; // not worth keeping in the corpus
    }
    const Conversion first = convert(input, DEFAULT_SYNTAX);
    if (!first.taken) {
        return 0;
    }
    const std::vector<ResourceRecord> records = read_back::records_of(reader_over(input.list));
    const read_back::Text text = check_conversion(input, records, first);
    // The second run is written for an assembler picked by the input's size,
    // so every syntax gets inputs of every kind. Reading it back as the very
    // lines and bytes of the first shows both that this syntax's writer
    // means what the default's does and that the first run left nothing
    // behind, without converting the picture a third time.
    const AsmSyntax& syntax = ASSEMBLER_SYNTAXES[size % ASSEMBLER_COUNT];
    const Conversion second = convert(input, syntax);
    const read_back::Text again = read_back::read_text(second.output, records, syntax);
    if (!again.verdict.fits()) {
        fuzz::fail(("the output for " + std::string(syntax.name) +
                    " read back: " + again.verdict.describe())
                       .c_str());
    }
    check(again.records == text.records,
          "a second conversion, in another syntax, wrote other lines or bytes");
    check(second.messages == read_back::expected_messages(records, syntax),
          "a second conversion printed other messages than one per outside record or "
          "label that is no C name");
    if (syntax.c_names) {
        const read_back::Verdict header = read_back::read_header(second.header, records, again);
        if (!header.fits()) {
            fuzz::fail(("the header read back: " + header.describe()).c_str());
        }
    }
    // The binary holds the very bytes the text says, fills as zeros.
    const Conversion binary = convert(input, syntax, true);
    const read_back::Text bytes = read_back::read_binary(binary.output, records);
    if (!bytes.verdict.fits()) {
        fuzz::fail(("the binary read back: " + bytes.verdict.describe()).c_str());
    }
    check(bytes.records == text.records, "the binary holds other bytes than the text");
    const read_back::Verdict symbols =
        read_back::read_symbols(binary.header, records, syntax, bytes);
    if (!symbols.fits()) {
        fuzz::fail(("the symbols read back: " + symbols.describe()).c_str());
    }
    return 0;
}
