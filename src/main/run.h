// The conversion run: open the three files in order, read the picture, and
// convert every record of the list into the output.
#pragma once

#include <cstdio>

#include "files/files.h"
#include "input/byte_reader.h"
#include "input/picture.h"
#include "model/stores.h"
#include "output/asm_syntax.h"
#include "output/sheet.h"

namespace kelvora {

// Everything a run works in: the stores, and the buffers the files are read
// and written through. The program owns one, zeroed, for the whole run.
struct RunMemory {
    Stores stores;
    ByteReader reader; // the picture, then the list
    SheetWriter sheet;
    FormOutput output;      // the output named third
    FormOutput beside;      // --header's or --symbols'
    PictureScratch picture; // last: its largest part is touched only by PNGs
};

// The program's run memory: one zeroed block (see model/zeroed_block.h).
// Zero, like every store at the start.
RunMemory& allocate_run_memory();

// What a run is asked for beyond its three files.
struct RunOptions {
    const AsmSyntax* syntax = &DEFAULT_SYNTAX; // the output's, or its symbols'
    bool binary = false;                       // the output is raw bytes
    // A C header of the records, or the binary's symbols, written beside the
    // output; null for none.
    const char* header = nullptr;
    const char* symbols = nullptr;
    // For the tests, which force each way an output can be written.
    OutputWay way = OutputWay::Chosen;
};

// The whole run. Failures are reported only as messages on `messages`;
// there is nothing to return, as kelvora's exit status is always 0.
void convert_resources(RunMemory& memory, const char* picture_path, const char* list_path,
                       const char* output_path, std::FILE* messages,
                       const RunOptions& options = {});

} // namespace kelvora
