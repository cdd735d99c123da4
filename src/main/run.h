// The conversion run: open the three files in order, load the picture, and
// convert every record of the list into the output.
#pragma once

#include <cstdio>

#include "cells/stores.h"
#include "input/resource_record.h"
#include "output/asm_output.h"

namespace kelvora {

// True when converting the record would read or write outside the grid or the
// 128-column stores. Decided in 64-bit arithmetic from the raw fields.
bool record_is_outside(const ResourceRecord& record);

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
