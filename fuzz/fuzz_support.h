// Pieces shared by the fuzz targets: readers over the fuzzer's bytes, the one
// set of stores, and checks that stop the run with a plain reason.
#pragma once

#include <cstddef>
#include <cstdint>

#include "input/byte_reader.h"
#include "input/picture.h"
#include "model/stores.h"

namespace kelvora::fuzz {

// A reader over the bytes, one for the process: a target reads one input at
// a time.
ByteReader& reader_over(const std::uint8_t* data, std::size_t size);

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
