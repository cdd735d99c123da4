// Fuzz target: the resource-list reader on arbitrary bytes, reading records
// until the list ends. Every record must move through the list (so the loop
// ends) and leave its name terminated inside the buffer.
#include <cstring>

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kelvora;
    fuzz::ListReader list = fuzz::open_list(data, size);
    ResourceRecord record;
    long position = 0;
    for (;;) {
        // Poison the record so that a name left unterminated shows up.
        std::memset(&record, 0xA5, sizeof record);
        if (!fuzz::next_record(list, record)) {
            break;
        }
        fuzz::check(std::memchr(record.name, '\0', sizeof record.name) != nullptr,
                    "a name is not terminated inside its buffer");
        const long next = fuzz::bytes_taken(list);
        fuzz::check(next > position, "a record was read without consuming any byte");
        fuzz::check(next <= static_cast<long>(size), "the reader went past the end of the list");
        position = next;
    }
    fuzz::close_list(list);
    return 0;
}
