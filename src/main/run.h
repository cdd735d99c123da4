// The conversion run: open the three files in order, read the picture, and
// convert every record of the list into the output.
#pragma once

#include <cstdio>

#include "files/files.h"
#include "input/byte_reader.h"
#include "input/picture.h"
#include "model/stores.h"
#include "output/asm_syntax.h"
#include "output/output_buffer.h"

namespace kelvora {

// Everything a run works in: the stores, and the buffers the files are read
// and written through. The program owns one, zeroed, for the whole run.
struct RunMemory {
    Stores stores;
    ByteReader reader; // the picture, then the list
    OutputBuffer out;
    PictureScratch picture; // last: its largest part is touched only by PNGs
};

// The program's run memory: one zeroed block (see model/zeroed_block.h).
// Zero, like every store at the start.
RunMemory& allocate_run_memory();

// The whole run, writing the output in the given assembler syntax. Failures
// are reported only as messages on `messages`; there is nothing to return,
// as kelvora's exit status is always 0. `way` is for the tests, which force
// each way an output can be written.
void convert_resources(RunMemory& memory, const char* picture_path, const char* list_path,
                       const char* output_path, std::FILE* messages,
                       const AsmSyntax& syntax = DEFAULT_SYNTAX, OutputWay way = OutputWay::Chosen);

} // namespace kelvora
