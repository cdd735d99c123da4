// The conversion run: open the three files in order, load the picture, and
// convert every record of the list into the output.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cells/stores.h"
#include "input/resource_record.h"
#include "output/asm_output.h"

namespace kelvora {

// True when converting the record would read or write outside the grid or the
// 128-column stores. Decided in 64-bit arithmetic from the raw fields.
bool record_is_outside(const ResourceRecord& record);

// Called after each band of a record has been encoded, with the band's top
// row; the stores then hold that band's planes and attributes.
using BandVisitor = void (*)(const Stores& stores, const ResourceRecord& record, std::int64_t row,
                             void* context);

// Cuts the record into bands (8 rows for "B" and "T", the whole height for
// any other kind) and encodes them top to bottom, visiting each. The caller
// has checked that the record is not outside.
void encode_record(Stores& stores, const ResourceRecord& record, BandVisitor visit, void* context);

// Writes the whole text of one record. A record outside the grid writes
// nothing, changes no store, and gets a message instead.
void convert_record(Stores& stores, const ResourceRecord& record, AsmOutput& out,
                    std::FILE* messages);

// Reads records from `list` until it ends and converts each into `out`.
void convert_list(Stores& stores, std::FILE* list, AsmOutput& out, std::FILE* messages);

// The whole run. Failures are reported only as messages; there is nothing to
// return.
void convert_resources(Stores& stores, const char* picture_path, const char* list_path,
                       const char* output_path, std::FILE* messages);

} // namespace kelvora
