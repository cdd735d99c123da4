// The run over the three files: the picture is opened and read, then the list
// and the output are opened, and every record of the list is converted. The
// files close in the reverse order of opening as the run returns, whichever
// way it ends; the output replaces the earlier one only once it is complete.
#include "main/run.h"

#include <cstring>

#include "input/byte_reader.h"
#include "input/picture.h"
#include "input/resource_list.h"
#include "main/convert_record.h"
#include "main/files.h"

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

void convert_list(Stores& stores, ByteReader& list, OutputBuffer& out, std::FILE* messages) {
    ResourceRecord record{};
    while (read_record(list, record)) {
        convert_record(stores, record, out, messages);
    }
}

} // namespace

void convert_resources(Stores& stores, const char* picture_path, const char* list_path,
                       const char* output_path, std::FILE* messages) {
    InputFile picture;
    if (open_input(picture_path, picture) != 0) {
        report_cannot_open(messages, picture_path);
        return;
    }
    ByteReader reader; // 64 KiB of read-ahead, used for the picture, then the list
    start_reading(reader, picture.handle.fd());
    PictureFacts facts;
    const PictureVerdict verdict = read_picture(reader, stores.grid, facts);
    if (reader.error != 0) {
        report_cannot_read(messages, picture_path, std::strerror(reader.error));
        return;
    }
    if (!verdict.taken) {
        report_cannot_read(messages, picture_path, verdict.reason);
        return;
    }
    InputFile list;
    if (open_input(list_path, list) != 0) {
        report_cannot_open(messages, list_path);
        return;
    }
    OutputFile output;
    int error = 0;
    switch (open_output(output_path, {&picture, &list}, true, output, error)) {
    case OutputOpening::Opened:
        break;
    case OutputOpening::CannotOpen:
        report_cannot_open(messages, output_path);
        return;
    case OutputOpening::AlsoAnInput:
        std::fprintf(messages, "can't write %s: it is also an input\n", output_path);
        return;
    }

    OutputBuffer out; // 64 KiB of line buffer, for this run only
    start_output(out, output.handle.fd());
    out.error = start_writing(output);
    start_reading(reader, list.handle.fd());
    convert_list(stores, reader, out, messages);
    if (reader.error != 0) {
        report_cannot_read(messages, list_path, std::strerror(reader.error));
        return; // the output is left as it was
    }
    flush_output(out);
    if (out.error != 0 || commit_output(output) != 0) {
        std::fprintf(messages, "can't write %s\n", output_path);
    }
}

} // namespace kelvora
