// The run over the three files: the picture is opened and read, then the list
// and the output are opened, and every record of the list is converted. The
// files close in the reverse order of opening as the run returns, whichever
// way it ends; the output replaces the earlier one only once it is complete.
#include "main/run.h"

#include <sys/mman.h>

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
    // The next record is read before the one at hand is converted. Reading
    // a record is a chain of steps each waiting on the one before; with the
    // conversion of the record before to do meanwhile, the processor keeps
    // busy. Reading prints and writes nothing, so output and messages come
    // in the same order.
    ResourceRecord records[2]{};
    int at = 0;
    bool more = read_record(list, records[0]);
    while (more) {
        more = read_record(list, records[at ^ 1]);
        convert_record(stores, records[at], out, messages);
        at ^= 1;
    }
}

} // namespace

void* allocate_zeroed_block(std::size_t size) {
    // 2 MiB-aligned: for a block of up to 2 MiB, one huge page holds it
    // all. Carved out of a mapping a huge page larger, the rest given back.
    constexpr std::size_t HUGE_PAGE = std::size_t{2} << 20;
    const std::size_t rounded = (size + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    void* mapping = mmap(nullptr, rounded + HUGE_PAGE, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        return nullptr;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(mapping);
    const std::uintptr_t aligned = (start + HUGE_PAGE - 1) & ~(HUGE_PAGE - 1);
    if (aligned > start) {
        munmap(mapping, aligned - start);
    }
    munmap(reinterpret_cast<void*>(aligned + rounded), start + HUGE_PAGE - aligned);
    auto* block = reinterpret_cast<void*>(aligned);
    // Both are hints: without huge pages the block is ordinary memory. The
    // second takes every page in one call instead of a fault each.
    if (madvise(block, rounded, MADV_HUGEPAGE) == 0) {
        constexpr int POPULATE_WRITE = 23; // MADV_POPULATE_WRITE, Linux 5.14 on
        madvise(block, rounded, POPULATE_WRITE);
    }
    return block;
}

RunMemory& allocate_run_memory() {
    void* block = allocate_zeroed_block(sizeof(RunMemory));
    if (block == nullptr) {
        static RunMemory fallback; // zero like the block, only slower to touch
        return fallback;
    }
    return *new (block) RunMemory;
}

void convert_resources(RunMemory& memory, const char* picture_path, const char* list_path,
                       const char* output_path, std::FILE* messages) {
    Stores& stores = memory.stores;
    InputFile picture;
    if (open_input(picture_path, picture) != 0) {
        report_cannot_open(messages, picture_path);
        return;
    }
    ByteReader& reader = memory.reader;
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

    OutputBuffer& out = memory.out;
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
