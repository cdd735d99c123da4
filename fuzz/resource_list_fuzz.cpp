// Fuzz target: the resource-list reader on arbitrary bytes, reading records
// until the list ends. Every record must move through the list (so the loop
// ends), leave its name terminated inside the buffer and have the kind its
// character makes.
#include <cstring>

#include "fuzz_support.h"
#include "input/resource_list.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvora;
    ByteReader& list = fuzz::reader_over(data, size);
    ResourceRecord record;
    std::uint64_t position = 0;
    for (;;) {
        // Poison the record so that a name left unterminated shows up.
        std::memset(&record, 0xA5, sizeof record);
        if (!read_record(list, record)) {
            break;
        }
        fuzz::check(std::memchr(record.name, '\0', sizeof record.name) != nullptr,
                    "a name is not terminated inside its buffer");
        fuzz::check(record.kind == kind_of(record.kind_char), "a record's kind was not decided");
        const std::uint64_t next = bytes_taken(list);
        fuzz::check(next > position, "a record was read without consuming any byte");
        fuzz::check(next <= size, "the reader went past the end of the list");
        position = next;
    }
    return 0;
}
