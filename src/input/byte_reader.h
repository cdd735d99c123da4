// Input read strictly in sequence, in large blocks, from a file descriptor or
// from memory. Reading never seeks, so pictures and lists can come from
// pipes. The end of the input and a failed read both end the bytes; which of
// the two it was is kept, so the run can report a read error instead of
// taking a cut-short file for a whole one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvora {

struct ByteReader;

// Where a reader's bytes come from when not from its own buffer: called when
// every byte given so far has been taken, it points `next` and `end` at the
// next bytes and moves `offset_of_end` on, or returns false at the end.
using ByteSource = bool (*)(ByteReader& in, void* context);

struct ByteReader {
    static constexpr std::size_t CAPACITY = 1 << 16;
    int fd; // -1 when the bytes are in memory or come from a source
    const unsigned char* next;
    const unsigned char* end;
    std::uint64_t offset_of_end; // bytes of the input up to `end`
    int error;                   // errno of the read that failed, 0 if none
    ByteSource source;           // none unless started with one
    void* source_context;
    unsigned char buffer[CAPACITY];
};

void start_reading(ByteReader& in, int fd);
// Reads `size` bytes at `bytes`, which must outlive the reading.
void start_reading_memory(ByteReader& in, const void* bytes, std::size_t size);
// Reads what `source` hands out, from offset 0; it may keep the bytes in a
// buffer of its own for longer than the reading needs them.
void start_reading_source(ByteReader& in, ByteSource source, void* context);

// Makes at least one byte available; false at the end of the input or on a
// read error.
bool refill(ByteReader& in);

// The next byte, or -1 at the end.
inline int next_byte(ByteReader& in) {
    if (in.next == in.end && !refill(in)) {
        return -1;
    }
    return *in.next++;
}

// The next byte without taking it, or -1 at the end.
inline int peek_byte(ByteReader& in) {
    if (in.next == in.end && !refill(in)) {
        return -1;
    }
    return *in.next;
}

// Copies up to `count` bytes; fewer only at the end of the input.
std::size_t read_bytes(ByteReader& in, void* destination, std::size_t count);

// Drops up to `count` bytes; returns how many were there to drop.
std::uint64_t skip_bytes(ByteReader& in, std::uint64_t count);

// Bytes taken from the input so far.
inline std::uint64_t bytes_taken(const ByteReader& in) {
    return in.offset_of_end - static_cast<std::uint64_t>(in.end - in.next);
}

} // namespace kelvora
