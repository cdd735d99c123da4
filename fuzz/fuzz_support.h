// Pieces shared by the fuzz targets: streams over the fuzzer's bytes, the one
// set of stores, and checks that stop the run with a plain reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "cells/stores.h"
#include "input/resource_list.h"
#include "input/resource_record.h"

namespace kelvora::fuzz {

// A read-only stream over the bytes (an empty input gives an empty stream).
std::FILE* open_bytes(const std::uint8_t* data, std::size_t size);

// Reads the records of a list held in memory as the program reads its list
// file. The targets read records only through these.
struct ListReader {
    std::FILE* file;
    ListStream* stream; // one for the process: a target reads one list at a time
};
ListReader open_list(const std::uint8_t* data, std::size_t size);
bool next_record(ListReader& list, ResourceRecord& record);
long bytes_taken(ListReader& list); // of the list so far
void close_list(ListReader& list);

// The process's stores, zeroed: each input starts as a fresh run would.
Stores& zeroed_stores();

// The little-endian 32-bit value at `offset`; the caller has checked the size.
std::uint32_t le32_at(const std::uint8_t* data, std::size_t offset);

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
