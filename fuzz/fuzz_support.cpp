// Shared pieces of the fuzz targets.
#include "fuzz_support.h"

#include <cstdlib>
#include <cstring>
#include <memory>

#include "input/resource_list.h"

namespace kelvora::fuzz {

std::FILE* open_bytes(const std::uint8_t* data, std::size_t size) {
    static std::uint8_t empty[1];
    // The stream is opened read-only, so the bytes are never written through
    // the pointer fmemopen insists on.
    void* bytes = size > 0 ? const_cast<std::uint8_t*>(data) : empty;
    std::FILE* stream = fmemopen(bytes, size, "rb");
    check(stream != nullptr, "fmemopen failed");
    return stream;
}

ListReader open_list(const std::uint8_t* data, std::size_t size) {
    static ListStream stream; // 64 KiB of read-ahead
    ListReader list{open_bytes(data, size), &stream};
    start_list(*list.stream, list.file);
    return list;
}

bool next_record(ListReader& list, ResourceRecord& record) {
    return read_record(*list.stream, record);
}

long bytes_taken(ListReader& list) {
    // What the stream has handed over, less what is read ahead and unused.
    return std::ftell(list.file) - static_cast<long>(list.stream->end - list.stream->position);
}

void close_list(ListReader& list) {
    std::fclose(list.file);
}

Stores& zeroed_stores() {
    // 1.25 MiB: too large for the stack, allocated once for the process.
    static const std::unique_ptr<Stores> stores = std::make_unique<Stores>();
    std::memset(stores.get(), 0, sizeof(Stores));
    return *stores;
}

std::uint32_t le32_at(const std::uint8_t* data, std::size_t offset) {
    return static_cast<std::uint32_t>(data[offset]) |
           static_cast<std::uint32_t>(data[offset + 1]) << 8 |
           static_cast<std::uint32_t>(data[offset + 2]) << 16 |
           static_cast<std::uint32_t>(data[offset + 3]) << 24;
}

void fail(const char* reason) {
    std::fprintf(stderr, "fuzz check failed: %s\n", reason);
    std::fflush(stderr);
    std::abort();
}

} // namespace kelvora::fuzz
