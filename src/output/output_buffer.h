// Output assembled in the program's own buffer and written to a file
// descriptor straight from it, in large blocks. A failed write is remembered,
// and nothing more is written, so the run can report it once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelvora {

// A spelling padded to eight bytes, so that a writer puts it with one
// fixed-size copy and then moves on by its length.
struct PaddedText {
    char text[8];
    std::uint8_t length;
};

// The text, then `then`, padded; together at most eight bytes.
PaddedText padded(const char* text, const char* then = "");

struct OutputBuffer {
    static constexpr std::size_t CAPACITY = 1 << 16;
    // Byte literals are copied eight bytes at a time, of which the last few
    // are overwritten by what follows; the slack keeps those copies inside.
    static constexpr std::size_t SLACK = 8;
    int fd;
    int error; // errno of the write that failed, 0 while all went well
    std::size_t used;
    char buffer[CAPACITY + SLACK];
};

// Starts an empty buffer that writes to `fd`.
void start_output(OutputBuffer& out, int fd);
// Writes everything buffered to the file descriptor.
void flush_output(OutputBuffer& out);
void write_text(OutputBuffer& out, const char* text, std::size_t length);
// The same for a text that ends at its NUL.
inline void write_text(OutputBuffer& out, const char* text) {
    write_text(out, text, std::strlen(text));
}

// Room for `length` bytes (at most CAPACITY) at the end of the buffer,
// flushing first when there is not enough. The caller adds what it wrote to
// `used`.
inline char* reserve(OutputBuffer& out, std::size_t length) {
    if (out.used + length > OutputBuffer::CAPACITY) {
        flush_output(out);
    }
    return out.buffer + out.used;
}

} // namespace kelvora
