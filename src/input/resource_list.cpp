// The resource-list reader. There is no line structure: tokens end at
// separators and numbers at their first non-digit, so the byte that ends a
// field is always consumed with it.
#include "input/resource_list.h"

#include <array>

namespace kelvora {
namespace {

// Single-threaded reading of a buffered stream; the unlocked form saves a lock
// per byte on long lists.
inline int next_byte(std::FILE* stream) {
    return getc_unlocked(stream);
}

} // namespace

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

int read_token(std::FILE* stream, char (&buffer)[TOKEN_BUFFER_SIZE]) {
    for (;;) {
        int length = 0;
        bool comment = false;
        for (;;) {
            const int c = next_byte(stream);
            if (c == EOF) {
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

std::int32_t read_number(std::FILE* stream) {
    std::uint32_t value = 0;
    for (;;) {
        const int c = next_byte(stream);
        if (c < '0' || c > '9') { // EOF is negative, so it ends the number too
            break;
        }
        value = value * 10u + static_cast<std::uint32_t>(c - '0');
    }
    return static_cast<std::int32_t>(value);
}

bool read_record(std::FILE* stream, ResourceRecord& record) {
    if (read_token(stream, record.name) == 0) {
        return false;
    }
    char kind_token[TOKEN_BUFFER_SIZE];
    read_token(stream, kind_token);
    record.kind = kind_token[0];
    record.x = read_number(stream);
    record.y = read_number(stream);
    record.width = read_number(stream);
    record.height = read_number(stream);
    record.default_colour = static_cast<std::uint8_t>(read_number(stream));
    return true;
}

} // namespace kelvora
