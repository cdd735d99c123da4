// Pieces shared by the fuzz targets: readers over the fuzzer's bytes, the one
// set of stores, and checks that stop the run with a plain reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "input/byte_reader.h"
#include "input/picture.h"
#include "model/stores.h"
#include "output/asm_syntax.h"

namespace kelvora::fuzz {

// A reader over the bytes, one for the process: a target reads one input at
// a time.
ByteReader& reader_over(const std::uint8_t* data, std::size_t size);

ByteReader& reader_over(std::string_view bytes);

// A sheet as the targets that convert take it: a picture, the separator
// "@@LIST@@", then the resource list (no separator: an empty list).
struct Sheet {
    std::string_view picture;
    std::string_view list;
};

Sheet split_sheet(const std::uint8_t* data, std::size_t size);

// Whether the sheet is worth converting: a sheet whose picture or records
// hold more pixels than a budget finds nothing new, and only slows each run.
bool within_budget(const Sheet& sheet);

// One conversion in this process.
struct Conversion {
    bool taken; // the picture was read
    std::string output;
    std::string header; // the header or the symbols, where there are any
    std::string messages;
};

// Converts the sheet into the syntax, from a fresh set of stores: as raw
// bytes where `binary` (with the symbols as the second output), else as
// text (with the header as the second output where the syntax's labels are
// C names).
Conversion convert(const Sheet& sheet, const AsmSyntax& syntax, bool binary = false);

// Everything written to the descriptor, from its start.
std::string contents_of(int fd);

// The process's stores, zeroed: each input starts as a fresh run would.
Stores& zeroed_stores();

// The picture reader's working memory, one for the process.
PictureScratch& picture_scratch();

// Prints the reason and aborts, which libFuzzer and the replay driver both
// report as a failure of the current input.
[[noreturn]] void fail(const char* reason);

inline void check(bool ok, const char* reason) {
    if (!ok) {
        fail(reason);
    }
}

} // namespace kelvora::fuzz

// The entry point every target defines (libFuzzer's name for it).
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
