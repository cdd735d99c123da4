// The run over the three files: the picture is opened and read, then the list
// and the output are opened, and every record of the list is converted. The
// files close in the reverse order of opening as the run returns, whichever
// way it ends; the output replaces the earlier one only once it is complete.
#include "main/run.h"

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>

#include "convert/convert_record.h"
#include "files/files.h"
#include "input/byte_reader.h"
#include "input/picture.h"
#include "input/resource_list.h"

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

RunMemory& allocate_run_memory() {
    // A 2 MiB-aligned block, carved out of a larger mapping, the rest given
    // back. Everything but a PNG's decoded picture fits one huge page; that
    // part, at the end, is left to ordinary pages, touched only when read.
    constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
    constexpr auto round_up = [](std::size_t bytes) {
        return (bytes + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    };
    constexpr std::size_t SIZE = round_up(sizeof(RunMemory));
    constexpr std::size_t HOT =
        round_up(offsetof(RunMemory, picture) + offsetof(PictureScratch, png_pixels));
    void* mapping =
        mmap(nullptr, SIZE + HUGE_PAGE, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        return *new RunMemory{}; // zero like the mapping, only slower to touch
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapping);
    const std::uintptr_t aligned = (start + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    if (aligned > start) {
        munmap(mapping, aligned - start);
    }
    munmap(reinterpret_cast<void*>(aligned + SIZE), start + HUGE_PAGE - aligned);
    auto* block = reinterpret_cast<void*>(aligned);
    // Both are hints: without huge pages the block is ordinary memory. The
    // second takes every page in one call instead of a fault each.
    if (madvise(block, HOT, MADV_HUGEPAGE) == 0) {
        constexpr int POPULATE_WRITE = 23; // MADV_POPULATE_WRITE, Linux 5.14 on
        madvise(block, HOT, POPULATE_WRITE);
    }
    return *new (block) RunMemory;
}

void convert_resources(RunMemory& memory, const char* picture_path, const char* list_path,
                       const char* output_path, std::FILE* messages, const AsmSyntax& syntax,
                       OutputWay way) {
    Stores& stores = memory.stores;
    InputFile picture;
    if (open_input(picture_path, picture) != 0) {
        report_cannot_open(messages, picture_path);
        return;
    }
    ByteReader& reader = memory.reader;
    start_reading(reader, picture.handle.fd());
    PictureFacts facts;
    const PictureVerdict verdict = read_picture(reader, memory.picture, stores.grid, facts);
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
    switch (open_output(output_path, {&picture, &list}, true, output, error, way)) {
    case OutputOpening::Opened:
        break;
    case OutputOpening::CannotOpen:
        report_cannot_open(messages, output_path);
        return;
    case OutputOpening::AlsoAnInput:
        std::fprintf(messages, "can't write %s: it is also an input\n", output_path);
        return;
    }

    OutputBuffer& out = memory.out;
    error = start_writing(output); // where the bytes go is known only after this
    start_output(out, output.handle.fd(), syntax);
    out.error = error;
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
