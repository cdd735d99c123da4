// Converting one record: the outside-the-area check, the cutting into bands
// and the per-kind layout. Everything that converts records (kelvora's run,
// the preview and the fuzz targets) comes here.
#pragma once

#include <cstdint>
#include <cstdio>

#include "model/resource_record.h"
#include "model/stores.h"
#include "output/sheet.h"

namespace kelvora {

// True when converting the record would read or write outside the grid or the
// 128-column stores.
bool record_is_outside(const ResourceRecord& record);

// The same, for a record whose layout is worked out already.
bool record_is_outside(const ResourceRecord& record, const RecordLayout& layout);

// Called after each band of a record has been encoded, with the band's top
// row; the stores then hold that band's planes and attributes.
using BandVisitor = void (*)(const Stores& stores, const ResourceRecord& record,
                             const RecordLayout& layout, std::int64_t row, void* context);

// Encodes the record's bands top to bottom, visiting each. The caller has
// checked that the record is not outside; `layout` is its record_layout. A
// band of no cells (a width of 0 or below) encodes nothing but is visited
// all the same.
void encode_record(Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                   BandVisitor visit, void* context);

// Prints the message for a record that lies outside the grid.
void report_outside(const ResourceRecord& record, std::FILE* messages);

// Describes the whole of one record to the sheet's outputs. A record outside
// the grid is described not at all, changes no store, and gets a message
// instead; so does a label that is no C name where an output asks for one,
// but its bytes are described all the same.
void convert_record(Stores& stores, const ResourceRecord& record, SheetWriter& sheet,
                    std::FILE* messages);

} // namespace kelvora
