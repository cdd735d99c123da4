// The run over the three files: the picture is opened and read, then the list
// and the output are opened, and every record of the list is converted. The
// files close in the reverse order of opening as the run returns, whichever
// way it ends; the output replaces the earlier one only once it is complete.
#include "main/run.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "convert/convert_record.h"
#include "files/files.h"
#include "input/byte_reader.h"
#include "input/picture.h"
#include "input/resource_list.h"
#include "model/zeroed_block.h"
#include "output/output_forms.h"

namespace kelvora {
namespace {

// "can't open" carries no line break of its own, deliberately: scripts that
// read kelvora's messages were written against it, and a message printed
// after the usage text still lands on a line of its own.
void report_cannot_open(std::FILE* messages, const char* path) {
    std::fprintf(messages, "can't open %s", path);
}

void report_cannot_read(std::FILE* messages, const char* path, const char* reason) {
    std::fprintf(messages, "can't read %s: %s\n", path, reason);
}

// Without a reason, as scripts of old expect, but for a lack of memory.
void report_cannot_write(std::FILE* messages, const char* path, int error) {
    std::fprintf(messages, "can't write %s%s\n", path, error == ENOMEM ? ": out of memory" : "");
}

void convert_list(Stores& stores, ByteReader& list, SheetWriter& sheet, std::FILE* messages) {
    ResourceRecord record{};
    while (read_record(list, record)) {
        convert_record(stores, record, sheet, messages);
    }
}

// Opens an output of the run; false, with the message printed, when it
// can't be written.
bool open_run_output(const char* path, const InputFile& picture, const InputFile& list,
                     OutputFile& output, OutputWay way, std::FILE* messages) {
    int error = 0;
    switch (open_output(path, {&picture, &list}, true, output, error, way)) {
    case OutputOpening::Opened:
        return true;
    case OutputOpening::CannotOpen:
        report_cannot_open(messages, path);
        return false;
    case OutputOpening::AlsoAnInput:
        std::fprintf(messages, "can't write %s: it is also an input\n", path);
        return false;
    }
    return false;
}

} // namespace

RunMemory& allocate_run_memory() {
    // Everything but a PNG's decoded picture fits one huge page; that part,
    // at the end, is touched only when a PNG is read.
    void* block = allocate_zeroed_block(
        sizeof(RunMemory), offsetof(RunMemory, picture) + offsetof(PictureScratch, png_pixels));
    if (block == nullptr) {
        return *new RunMemory{}; // zero like the block, only slower to touch
    }
    return *new (block) RunMemory;
}

void convert_resources(RunMemory& memory, const char* picture_path, const char* list_path,
                       const char* output_path, std::FILE* messages, const RunOptions& options) {
    Stores& stores = memory.stores;
    InputFile picture;
    if (open_input(picture_path, picture) != 0) {
        report_cannot_open(messages, picture_path);
        return;
    }
    ByteReader& reader = memory.reader;
    start_reading(reader, picture.handle.fd());
    PictureFacts facts;
    PictureVerdict verdict = read_picture(reader, memory.picture, stores.grid, facts);
    if (reader.error != 0) {
        report_cannot_read(messages, picture_path, std::strerror(reader.error));
        return;
    }
    if (!verdict.taken) {
        hint_swapped_names(verdict, list_path);
        report_cannot_read(messages, picture_path, verdict.reason);
        return;
    }
    InputFile list;
    if (open_input(list_path, list) != 0) {
        report_cannot_open(messages, list_path);
        return;
    }
    OutputFile output;
    if (!open_run_output(output_path, picture, list, output, options.way, messages)) {
        return;
    }
    // A header or a symbols file is written only with the output, and never
    // over it.
    const char* const beside_path = options.header != nullptr ? options.header : options.symbols;
    OutputFile beside;
    if (beside_path != nullptr) {
        if (!open_run_output(beside_path, picture, list, beside, options.way, messages)) {
            return;
        }
        if (same_output(beside, output)) {
            std::fprintf(messages, "can't write %s: it is also the output\n", beside_path);
            return;
        }
    }

    FormOutput* outputs[MAX_SHEET_OUTPUTS] = {&memory.output, &memory.beside};
    // Where the bytes go is known only once writing starts.
    int error = start_writing(output);
    start_form_output(memory.output,
                      output_form(options.binary ? FormId::Binary : FormId::AssemblerSource),
                      *options.syntax, output.handle.fd(), output_path);
    memory.output.buffer.error = error;
    if (beside_path != nullptr) {
        error = start_writing(beside);
        start_form_output(
            memory.beside,
            output_form(options.header != nullptr ? FormId::CHeader : FormId::Symbols),
            *options.syntax, beside.handle.fd(), beside_path);
        memory.beside.companion = output_path;
        memory.beside.buffer.error = error;
    }
    SheetWriter& sheet = memory.sheet;
    start_sheet(sheet, outputs, beside_path != nullptr ? 2 : 1);
    start_reading(reader, list.handle.fd());
    convert_list(stores, reader, sheet, messages);
    if (reader.error != 0) {
        report_cannot_read(messages, list_path, std::strerror(reader.error));
        return; // the outputs are left as they were
    }
    end_sheet(sheet);
    error = memory.output.buffer.error != 0 ? memory.output.buffer.error : commit_output(output);
    if (error != 0) {
        report_cannot_write(messages, output_path, error);
        return;
    }
    if (beside_path != nullptr) {
        error =
            memory.beside.buffer.error != 0 ? memory.beside.buffer.error : commit_output(beside);
        if (error != 0) {
            report_cannot_write(messages, beside_path, error);
        }
    }
}

} // namespace kelvora
