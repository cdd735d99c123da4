// Reads the resource list one record at a time: name=kind,x,y,width,height,colour
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "input/resource_record.h"

namespace kelvora {

// The list as a stream of bytes read in large blocks. The reader takes bytes
// one at a time, exactly in order; the block only saves calls into the file.
struct ListStream {
    static constexpr std::size_t CAPACITY = 1 << 16;
    std::FILE* file;
    std::size_t position;
    std::size_t end;
    unsigned char buffer[CAPACITY];
};

void start_list(ListStream& list, std::FILE* file);

// The next byte of the list, or EOF at its end.
int read_byte(ListStream& list);

// Reads one name or kind token into an 80-byte buffer and returns its length.
// A token ends at "=" or "," (consumed); CR is skipped; LF is skipped unless a
// comment is open. A ";" opens a comment that runs to the line end, and the
// whole token read so far is dropped with it. Past 79 stored characters the
// next byte is consumed and lost.
int read_token(ListStream& list, char (&buffer)[TOKEN_BUFFER_SIZE]);

// Reads decimal digits until the first other byte (consumed) or the end of the
// file. No sign, no leading spaces; wraps modulo 2^32.
std::int32_t read_number(ListStream& list);

// Reads the next record. Returns false when the list has ended: the name token
// was empty, and nothing more was read.
bool read_record(ListStream& list, ResourceRecord& record);

} // namespace kelvora
