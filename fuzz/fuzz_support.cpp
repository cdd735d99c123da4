// Shared pieces of the fuzz targets.
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace kelvora::fuzz {

ByteReader& reader_over(const std::uint8_t* data, std::size_t size) {
    static const std::unique_ptr<ByteReader> reader = std::make_unique<ByteReader>();
    start_reading_memory(*reader, data, size);
    return *reader;
}

Stores& zeroed_stores() {
    // 1.25 MiB: too large for the stack, allocated once for the process.
    static const std::unique_ptr<Stores> stores = std::make_unique<Stores>();
    std::memset(stores.get(), 0, sizeof(Stores));
    return *stores;
}

PictureScratch& picture_scratch() {
    static const std::unique_ptr<PictureScratch> scratch = std::make_unique<PictureScratch>();
    return *scratch;
}

void fail(const char* reason) {
    std::fprintf(stderr, "fuzz check failed: %s\n", reason);
    std::fflush(stderr);
    std::abort();
}

} // namespace kelvora::fuzz
