// Reads the resource list one record at a time: name=kind,x,y,width,height,colour
#pragma once

#include <cstdint>

#include "input/byte_reader.h"
#include "model/resource_record.h"

namespace kelvora {

// Reads one name or kind token into an 80-byte buffer and returns its length.
// A token ends at "=" or "," (consumed); CR is skipped; LF is skipped unless a
// comment is open. A ";" opens a comment that runs to the line end, and the
// whole token read so far is dropped with it. Past 79 stored characters the
// next byte is consumed and lost.
int read_token(ByteReader& list, char (&buffer)[TOKEN_BUFFER_SIZE]);

// Reads decimal digits until the first other byte (consumed) or the end of the
// list. No sign, no leading spaces; wraps modulo 2^32.
std::int32_t read_number(ByteReader& list);

// Reads the next record and decides its kind. Returns false when the list has
// ended: the name token was empty, and nothing more was read.
bool read_record(ByteReader& list, ResourceRecord& record);

// Where a record's fields lie in the list, as offsets from its start, for
// the checker: the same reading, noted down.
struct RecordTrace {
    std::uint64_t name_start; // the name's first stored byte
    int name_length;          // bytes stored, NULs included
    std::uint64_t kind_start; // the kind's first stored byte, or where it ended if empty
    // Just past each field's last byte, the byte that ended it included:
    // name, kind, x, y, width, height, colour. A number starts where the
    // field before it ends.
    std::uint64_t field_end[7];
};

// read_record, noting where each field lies.
bool read_record(ByteReader& list, ResourceRecord& record, RecordTrace& trace);

namespace detail {
// read_record without its one-pass reading of short records, byte by byte
// only: what the one-pass reading is checked against, its trace too.
bool read_record_byte_by_byte(ByteReader& list, ResourceRecord& record);
bool read_record_byte_by_byte(ByteReader& list, ResourceRecord& record, RecordTrace& trace);
} // namespace detail

} // namespace kelvora
