// The resource-list reader. There is no line structure: tokens end at
// separators and numbers at their first non-digit, so the byte that ends a
// field is always consumed with it.
#include "input/resource_list.h"

#include <array>

namespace kelvora {
namespace {

// What a byte means to the token reader. Most bytes are ORDINARY, so one
// table lookup settles them.
enum ByteClass : std::uint8_t { ORDINARY, SEMICOLON, SEPARATOR, CARRIAGE_RETURN, LINE_FEED };

constexpr std::array<ByteClass, 256> make_byte_classes() {
    std::array<ByteClass, 256> classes{};
    classes[';'] = SEMICOLON;
    classes['='] = SEPARATOR;
    classes[','] = SEPARATOR;
    classes['\r'] = CARRIAGE_RETURN;
    classes['\n'] = LINE_FEED;
    return classes;
}

constexpr auto BYTE_CLASSES = make_byte_classes();

} // namespace

namespace {

// The token reader; when `first_stored` is given (the checker's reading), it
// also notes where the token's first stored byte lies. That costs a test
// per run of ordinary bytes, and only in the traced form.
template <bool Traced>
int read_token_as(ByteReader& list, char (&buffer)[TOKEN_BUFFER_SIZE],
                  std::uint64_t* first_stored) {
    if constexpr (Traced) {
        *first_stored = bytes_taken(list);
    }
    for (;;) {
        int length = 0;
        bool comment = false;
        for (;;) {
            if constexpr (Traced) {
                if (length == 0 && list.next < list.end && BYTE_CLASSES[*list.next] == ORDINARY) {
                    *first_stored = bytes_taken(list);
                }
            }
            // Runs of ordinary bytes are copied straight from the block.
            while (list.next < list.end && length < TOKEN_MAX_LENGTH &&
                   BYTE_CLASSES[*list.next] == ORDINARY) {
                buffer[length++] = static_cast<char>(*list.next++);
            }
            const int c = next_byte(list);
            if (c < 0) {
                break;
            }
            const ByteClass kind = BYTE_CLASSES[static_cast<unsigned char>(c)];
            if (kind == SEPARATOR) {
                if (!comment) {
                    break;
                }
                continue;
            }
            if (kind == CARRIAGE_RETURN) {
                continue;
            }
            if (kind == LINE_FEED) {
                if (comment) {
                    break;
                }
                continue; // a token may go on across a line break
            }
            if (kind == SEMICOLON) {
                comment = true; // the ";" itself is stored like any character
            }
            if (length == TOKEN_MAX_LENGTH) {
                break; // this byte is consumed and lost
            }
            if constexpr (Traced) {
                if (length == 0) {
                    *first_stored = bytes_taken(list) - 1;
                }
            }
            buffer[length++] = static_cast<char>(c);
        }
        buffer[length] = '\0';
        if (!comment) {
            return length;
        }
        // A comment drops everything read so far; start the token afresh.
    }
}

template <bool Traced>
bool read_record_as(ByteReader& list, ResourceRecord& record, RecordTrace* trace) {
    std::uint64_t ignored = 0;
    std::uint64_t& name_start = Traced ? trace->name_start : ignored;
    const int name_length = read_token_as<Traced>(list, record.name, &name_start);
    if (name_length == 0) {
        return false;
    }
    char kind_token[TOKEN_BUFFER_SIZE];
    if constexpr (Traced) {
        trace->name_length = name_length;
        trace->field_end[0] = bytes_taken(list);
    }
    read_token_as<Traced>(list, kind_token, Traced ? &trace->kind_start : &ignored);
    record.kind_char = kind_token[0];
    record.kind = kind_of(record.kind_char);
    std::int32_t* const numbers[] = {&record.x, &record.y, &record.width, &record.height};
    for (int i = 0; i < 4; ++i) {
        if constexpr (Traced) {
            trace->field_end[1 + i] = bytes_taken(list);
        }
        *numbers[i] = read_number(list);
    }
    if constexpr (Traced) {
        trace->field_end[5] = bytes_taken(list);
    }
    record.default_colour = static_cast<std::uint8_t>(read_number(list));
    if constexpr (Traced) {
        trace->field_end[6] = bytes_taken(list);
    }
    return true;
}

} // namespace

int read_token(ByteReader& list, char (&buffer)[TOKEN_BUFFER_SIZE]) {
    return read_token_as<false>(list, buffer, nullptr);
}

std::int32_t read_number(ByteReader& list) {
    std::uint32_t value = 0;
    for (;;) {
        const int c = next_byte(list);
        if (c < '0' || c > '9') { // the end of the list (-1) ends it too
            break;
        }
        value = value * 10u + static_cast<std::uint32_t>(c - '0');
    }
    return static_cast<std::int32_t>(value);
}

bool read_record(ByteReader& list, ResourceRecord& record) {
    return read_record_as<false>(list, record, nullptr);
}

bool read_record(ByteReader& list, ResourceRecord& record, RecordTrace& trace) {
    return read_record_as<true>(list, record, &trace);
}

} // namespace kelvora
