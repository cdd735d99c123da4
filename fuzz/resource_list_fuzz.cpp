// Fuzz target: the resource-list reader on arbitrary bytes, reading records
// until the list ends. Every record must move through the list (so the loop
// ends), leave its name terminated inside the buffer and have the kind its
// character makes; and the one-pass reading, the plain byte-by-byte one and
// the checker's traced one must read the same records from the same bytes,
// the trace ending where the record does.
#include <cstring>
#include <memory>

#include "fuzz_support.h"
#include "input/resource_list.h"

namespace {

using namespace kelvora;
using fuzz::check;

void check_same_record(const ResourceRecord& a, const ResourceRecord& b, int stored) {
    check(std::memcmp(a.name, b.name, static_cast<std::size_t>(stored) + 1) == 0,
          "the readings stored other names");
    check(a.label_length == b.label_length && a.kind_char == b.kind_char && a.kind == b.kind &&
              a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height &&
              a.default_colour == b.default_colour,
          "the readings read other fields");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ByteReader& list = fuzz::reader_over(data, size);
    // Two more readers over the same bytes, for the other two readings.
    static const std::unique_ptr<ByteReader> plain = std::make_unique<ByteReader>();
    static const std::unique_ptr<ByteReader> traced = std::make_unique<ByteReader>();
    start_reading_memory(*plain, data, size);
    start_reading_memory(*traced, data, size);
    ResourceRecord record;
    ResourceRecord plain_record;
    ResourceRecord traced_record;
    RecordTrace trace;
    std::uint64_t position = 0;
    for (;;) {
        // Poison the records so that a name left unterminated shows up.
        std::memset(&record, 0xA5, sizeof record);
        std::memset(&plain_record, 0x5A, sizeof plain_record);
        std::memset(&traced_record, 0x3C, sizeof traced_record);
        const bool read = read_record(list, record);
        check(detail::read_record_byte_by_byte(*plain, plain_record) == read &&
                  read_record(*traced, traced_record, trace) == read,
              "the readings disagree on where the list ends");
        const std::uint64_t next = bytes_taken(list);
        check(bytes_taken(*plain) == next && bytes_taken(*traced) == next,
              "the readings took other bytes");
        if (!read) {
            break;
        }
        check(std::memchr(record.name, '\0', sizeof record.name) != nullptr,
              "a name is not terminated inside its buffer");
        check(record.kind == kind_of(record.kind_char), "a record's kind was not decided");
        check(trace.name_length > 0 && trace.name_length < TOKEN_BUFFER_SIZE,
              "the trace's name length is outside the buffer");
        check(record.label_length == strnlen(record.name, TOKEN_BUFFER_SIZE),
              "a label length is not the name up to its first NUL");
        check_same_record(record, plain_record, trace.name_length);
        check_same_record(record, traced_record, trace.name_length);
        check(trace.field_end[6] == next, "the trace does not end where the record does");
        check(next > position, "a record was read without consuming any byte");
        check(next <= size, "the reader went past the end of the list");
        position = next;
    }
    return 0;
}
