// The conversion run: open the three files in order, read the picture, and
// convert every record of the list into the output.
#pragma once

#include <cstdio>

#include "input/byte_reader.h"
#include "model/stores.h"
#include "output/output_buffer.h"

namespace kelvora {

// Everything a run works in: the stores, and the buffers the files are read
// and written through. The program owns one, zeroed, for the whole run.
struct RunMemory {
    Stores stores;
    ByteReader reader; // the picture, then the list
    OutputBuffer out;
};

// A zeroed block of at least `size` bytes, on huge pages where the system
// has them and with its pages taken at once, so that the first touch of
// the stores costs no page fault; null when there is no such memory.
void* allocate_zeroed_block(std::size_t size);

// The program's run memory: one such block, so that the stores cost one
// page fault instead of hundreds. Zero, like every store at the start.
RunMemory& allocate_run_memory();

// The whole run. Failures are reported only as messages on `messages`; there
// is nothing to return, as kelvora's exit status is always 0.
void convert_resources(RunMemory& memory, const char* picture_path, const char* list_path,
                       const char* output_path, std::FILE* messages);

} // namespace kelvora
