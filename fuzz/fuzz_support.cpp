// Shared pieces of the fuzz targets.
#include "fuzz_support.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "convert/convert_record.h"
#include "input/resource_list.h"
#include "output/output_forms.h"

namespace kelvora::fuzz {
namespace {

constexpr std::string_view SEPARATOR = "@@LIST@@";

// Inputs whose picture or records hold more pixels than these are skipped:
// every record can reach the whole grid whatever the picture's size, so large
// work finds nothing new and would only slow each run (the picture target and
// the tests take the largest sizes).
constexpr std::int64_t PICTURE_BUDGET = 256 * 256;
constexpr std::int64_t PIXEL_BUDGET = 1 << 16;

// Pixels a record encodes, for the budget. A band of no cells counts as one
// cell: a block or tile table of width 0 still runs a band for every 8 rows
// (a tile table writing a fill line for each).
std::int64_t work_of(const ResourceRecord& record) {
    const RecordLayout layout = record_layout(record);
    const std::int64_t cells = layout.cells_across > 0 ? layout.cells_across : 1;
    return layout.bands * cells * (is_banded(record.kind) ? 64 : layout.rows * 8);
}

std::int64_t work_of_list(std::string_view list_bytes) {
    ByteReader& list =
        reader_over(reinterpret_cast<const std::uint8_t*>(list_bytes.data()), list_bytes.size());
    ResourceRecord record{};
    std::int64_t work = 0;
    while (work <= PIXEL_BUDGET && read_record(list, record)) {
        if (!record_is_outside(record)) {
            work += work_of(record);
        }
    }
    return work;
}

} // namespace

std::string contents_of(int fd) {
    std::string text;
    char chunk[1 << 16];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

ByteReader& reader_over(const std::uint8_t* data, std::size_t size) {
    static const std::unique_ptr<ByteReader> reader = std::make_unique<ByteReader>();
    start_reading_memory(*reader, data, size);
    return *reader;
}

Stores& zeroed_stores() {
    // 1.25 MiB: too large for the stack, allocated once for the process.
    static const std::unique_ptr<Stores> stores = std::make_unique<Stores>();
    std::memset(stores.get(), 0, sizeof(Stores));
    return *stores;
}

PictureScratch& picture_scratch() {
    static const std::unique_ptr<PictureScratch> scratch = std::make_unique<PictureScratch>();
    return *scratch;
}

void fail(const char* reason) {
    std::fprintf(stderr, "fuzz check failed: %s\n", reason);
    std::fflush(stderr);
    std::abort();
}

Sheet split_sheet(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t at = all.find(SEPARATOR);
    if (at == std::string_view::npos) {
        return {all, {}};
    }
    return {all.substr(0, at), all.substr(at + SEPARATOR.size())};
}

ByteReader& reader_over(std::string_view bytes) {
    return reader_over(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

bool within_budget(const Sheet& sheet) {
    PictureFacts facts;
    const bool taken =
        read_picture(reader_over(sheet.picture), picture_scratch(), zeroed_stores().grid, facts)
            .taken;
    return !(taken && std::int64_t{facts.width} * facts.height > PICTURE_BUDGET) &&
           work_of_list(sheet.list) <= PIXEL_BUDGET;
}

// Converts the input in the syntax, as raw bytes where `binary` (with the
// symbols as the second output), else as text (with the header as the second
// output where the syntax's labels are C names).
Conversion convert(const Sheet& input, const AsmSyntax& syntax, bool binary) {
    static SheetWriter sheet;
    static FormOutput output;
    static FormOutput header;
    Stores& stores = zeroed_stores();
    PictureFacts facts;
    if (!read_picture(reader_over(input.picture), picture_scratch(), stores.grid, facts).taken) {
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

} // namespace kelvora::fuzz
