// Block reads for the picture and list readers.
#include "input/byte_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kelvora {

void start_reading(ByteReader& in, int fd) {
    in.fd = fd;
    in.next = in.buffer;
    in.end = in.buffer;
    in.offset_of_end = 0;
    in.error = 0;
    in.source = nullptr;
    in.source_context = nullptr;
}

void start_reading_memory(ByteReader& in, const void* bytes, std::size_t size) {
    in.fd = -1;
    in.next = static_cast<const unsigned char*>(bytes);
    in.end = in.next + size;
    in.offset_of_end = size;
    in.error = 0;
    in.source = nullptr;
    in.source_context = nullptr;
}

void start_reading_source(ByteReader& in, ByteSource source, void* context) {
    start_reading_memory(in, nullptr, 0);
    in.source = source;
    in.source_context = context;
}

bool refill(ByteReader& in) {
    if (in.source != nullptr && in.error == 0) {
        return in.source(in, in.source_context);
    }
    if (in.fd < 0 || in.error != 0) {
        return false;
    }
    for (;;) {
        const ssize_t got = read(in.fd, in.buffer, ByteReader::CAPACITY);
        if (got > 0) {
            in.next = in.buffer;
            in.end = in.buffer + got;
            in.offset_of_end += static_cast<std::uint64_t>(got);
            return true;
        }
        if (got == 0) {
            return false;
        }
        if (errno != EINTR) {
            in.error = errno;
            return false;
        }
    }
}

std::size_t read_bytes(ByteReader& in, void* destination, std::size_t count) {
    auto* out = static_cast<unsigned char*>(destination);
    std::size_t done = 0;
    while (done < count) {
        if (in.next == in.end && !refill(in)) {
            break;
        }
        const auto available = static_cast<std::size_t>(in.end - in.next);
        const std::size_t part = count - done < available ? count - done : available;
        std::memcpy(out + done, in.next, part);
        in.next += part;
        done += part;
    }
    return done;
}

std::uint64_t skip_bytes(ByteReader& in, std::uint64_t count) {
    std::uint64_t done = 0;
    while (done < count) {
        if (in.next == in.end && !refill(in)) {
            break;
        }
        const auto available = static_cast<std::uint64_t>(in.end - in.next);
        const std::uint64_t part = count - done < available ? count - done : available;
        in.next += part;
        done += part;
    }
    return done;
}

} // namespace kelvora
