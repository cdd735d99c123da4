// The list as the checker reads it: in sequence, through one window that
// holds the bytes of the record at hand, for the findings to quote, and
// numbers the lines as it moves on. Its memory is the same whatever the
// list's length, and each byte is read and counted once.
//
// The record reader reads from the window (its source), so it reads exactly
// what kelvora reads. A line ends at LF, and also at a CR that no LF
// follows: kelvora itself knows only LF, but an editor shows such a CR as a
// line end, and the findings name lines as the editor shows them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "input/byte_reader.h"

namespace kelvora {

struct ListWindow {
    // A record longer than this (blank lines or digits by the megabyte) is
    // still read whole; only its first bytes are no longer there to quote.
    static constexpr std::size_t CAPACITY = 256 << 10;
    static constexpr std::uint64_t NONE = ~std::uint64_t{0};
    int fd;
    int error;               // errno of the read that failed, 0 if none
    bool at_end;             // the file has no more bytes
    std::uint64_t start;     // offset of bytes[0]
    std::size_t held;        // bytes held from `start` on
    std::uint64_t keep_from; // bytes from here on stay while the window moves
    // The lines up to `counted`: the line that byte is on, from 1.
    std::uint64_t counted;
    std::int64_t line;
    std::uint64_t first_lone_cr; // a CR that no LF follows, or NONE
    std::int64_t lone_cr_line;
    unsigned char bytes[CAPACITY];
};

// Starts reading the file; `reader` then reads the list through the window.
void start_list_window(ListWindow& window, int fd, ByteReader& reader);

// Keeps the bytes from `offset` on (an offset the reader has not passed
// yet, or has passed only within the record at hand).
void keep_list_bytes(ListWindow& window, std::uint64_t offset);

// hold_list_bytes when the bytes are not held yet.
bool read_list_bytes(ListWindow& window, ByteReader& reader, std::uint64_t offset);

// Makes the bytes up to `offset` (exclusive) be held, or as many as the list
// has; false when it ends sooner. The reader's place is kept.
inline bool hold_list_bytes(ListWindow& window, ByteReader& reader, std::uint64_t offset) {
    return offset <= window.start + window.held || read_list_bytes(window, reader, offset);
}

// The byte at `offset`, or -1 when it is not held (gone, or past the end).
inline int list_byte(const ListWindow& window, std::uint64_t offset) {
    if (offset < window.start || offset >= window.start + window.held) {
        return -1;
    }
    return window.bytes[offset - window.start];
}

// The line (from 1) that holds the byte at `offset`. Offsets before the
// window's start count as its first line held.
std::int64_t line_at(ListWindow& window, ByteReader& reader, std::uint64_t offset);

// The lines of a record's first byte and of its last (the byte that ended
// its colour, at `last`), counting on through that byte: a CR alone there
// is found. `first` is not before the bytes counted so far.
void record_lines(ListWindow& window, ByteReader& reader, std::uint64_t first, std::uint64_t last,
                  std::int64_t& first_line, std::int64_t& last_line);

// The line of a record written bare on a line of its own, when the
// counting stands at its first byte (`first`): its bytes up to `end` are
// held, end in LF and hold nothing below "!" before it (no blank, no CR, no
// control byte). Then the counting moves past its LF and the line is
// returned; otherwise 0, and nothing moves. The same as record_lines for
// such a record, without a look at each byte for a line end.
std::int64_t take_bare_line(ListWindow& window, std::uint64_t first, std::uint64_t end);

// Whether the byte at `offset` ends its line: LF, or a CR that no LF
// follows. The byte after it is read in when needed.
bool ends_line(ListWindow& window, ByteReader& reader, std::uint64_t offset);

// Reads to the end of the list, counting its lines; returns whether a byte
// other than a blank or a line end was met from `offset` on.
bool read_to_end(ListWindow& window, ByteReader& reader, std::uint64_t offset);

// The list's size once read_to_end has run.
inline std::uint64_t list_size(const ListWindow& window) {
    return window.start + window.held;
}

} // namespace kelvora
