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

int read_token(ByteReader& list, char (&buffer)[TOKEN_BUFFER_SIZE]) {
    for (;;) {
        int length = 0;
        bool comment = false;
        for (;;) {
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
            buffer[length++] = static_cast<char>(c);
        }
        buffer[length] = '\0';
        if (!comment) {
            return length;
        }
        // A comment drops everything read so far; start the token afresh.
    }
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
    if (read_token(list, record.name) == 0) {
        return false;
    }
    char kind_token[TOKEN_BUFFER_SIZE];
    read_token(list, kind_token);
    record.kind_char = kind_token[0];
    record.kind = kind_of(record.kind_char);
    record.x = read_number(list);
    record.y = read_number(list);
    record.width = read_number(list);
    record.height = read_number(list);
    record.default_colour = static_cast<std::uint8_t>(read_number(list));
    return true;
}

} // namespace kelvora
