// Writing the output buffer to its file descriptor.
#include "output/output_buffer.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kelvora {

PaddedText padded(const char* text, const char* then) {
    PaddedText result{};
    for (const char* p = text; *p != '\0'; ++p) {
        result.text[result.length++] = *p;
    }
    for (const char* p = then; *p != '\0'; ++p) {
        result.text[result.length++] = *p;
    }
    return result;
}

void start_output(OutputBuffer& out, int fd) {
    out.fd = fd;
    out.error = 0;
    out.used = 0;
}

void flush_output(OutputBuffer& out) {
    const char* p = out.buffer;
    std::size_t left = out.error == 0 ? out.used : 0;
    while (left > 0) {
        const ssize_t wrote = write(out.fd, p, left);
        if (wrote > 0) {
            p += wrote;
            left -= static_cast<std::size_t>(wrote);
        } else if (wrote < 0 && errno == EINTR) {
            continue;
        } else {
            out.error = wrote < 0 ? errno : ENOSPC; // a write of nothing makes no progress
            break;
        }
    }
    out.used = 0;
}

void write_text(OutputBuffer& out, const char* text, std::size_t length) {
    while (length > 0) {
        std::size_t room = OutputBuffer::CAPACITY - out.used;
        if (room == 0) {
            flush_output(out);
            room = OutputBuffer::CAPACITY;
        }
        const std::size_t part = length < room ? length : room;
        std::memcpy(out.buffer + out.used, text, part);
        out.used += part;
        text += part;
        length -= part;
    }
}

} // namespace kelvora
