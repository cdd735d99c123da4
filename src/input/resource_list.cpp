// The resource-list reader. There is no line structure: tokens end at
// separators and numbers at their first non-digit, so the byte that ends a
// field is always consumed with it.
#include "input/resource_list.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
            // Runs of ordinary bytes are copied straight from the block,
            // through local pointers: a store into the buffer could alias
            // the reader's own, which would have them reloaded every byte.
            const unsigned char* p = list.next;
            const unsigned char* const end = list.end;
            const std::ptrdiff_t room = TOKEN_MAX_LENGTH - length;
            const unsigned char* const stop = end - p > room ? p + room : end;
            char* out = buffer + length;
            while (p < stop && BYTE_CLASSES[*p] == ORDINARY) {
                *out++ = static_cast<char>(*p++);
            }
            length = static_cast<int>(out - buffer);
            list.next = p;
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

// Bytes the block must hold for a record to be read in one pass: a few line
// breaks, two tokens and their separators looked at 16 bytes at a time, and
// the numbers looked at 32 bytes at a time, with four more read for a
// number that starts at the last of them.
constexpr std::ptrdiff_t ONE_PASS_WINDOW = 4 + 2 * 17 + 32 + 4;

// The bytes among the 32 at p that are no digit, one bit each, the first
// byte lowest.
inline std::uint32_t non_digits(const unsigned char* p) {
#if defined(__SSE2__)
    const auto half = [](const unsigned char* q) {
        const __m128i values =
            _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q)), _mm_set1_epi8('0'));
        const __m128i digits = _mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values);
        return ~static_cast<std::uint32_t>(_mm_movemask_epi8(digits)) & 0xFFFFu;
    };
    return half(p) | half(p + 16) << 16;
#else
    std::uint32_t bits = 0;
    for (int i = 0; i < 32; ++i) {
        bits |= static_cast<std::uint32_t>(p[i] - '0' > 9) << i;
    }
    return bits;
#endif
}

// Reads the five numbers at p when none has more than four digits, as no
// position or size inside the picture area has; false, with p unmoved,
// otherwise. A number ends at its first byte that is no digit, which is
// consumed with it, so the five numbers end at the first five such bytes.
inline bool read_short_numbers(const unsigned char*& p, std::uint32_t (&values)[5]) {
    std::uint32_t ends = non_digits(p);
    std::uint32_t start = 0;
    bool too_long = false;
    for (std::uint32_t& value : values) {
        if (ends == 0) {
            return false;
        }
        const auto end = static_cast<std::uint32_t>(std::countr_zero(ends));
        ends &= ends - 1;
        const std::uint32_t length = end - start;
        too_long |= length > 4;
        // The digits to the top of a 32-bit word, the first (most
        // significant) lowest, then pairs and fours of them added up in
        // place; the shift is done in 64 bits so that no digit at all
        // shifts everything out.
        std::uint32_t bytes;
        std::memcpy(&bytes, p + start, 4);
        const std::uint32_t kept = length < 4 ? length : 4;
        auto v = static_cast<std::uint32_t>(static_cast<std::uint64_t>(bytes ^ 0x30303030u)
                                            << (32 - 8 * kept));
        v = (v * 10 + (v >> 8)) & 0x00FF00FFu;
        v = (v * 100 + (v >> 16)) & 0x0000FFFFu;
        value = v;
        start = end + 1;
    }
    if (too_long) {
        return false;
    }
    p += start;
    return true;
}

// The number of bytes before the first one that ends a token (";", "=",
// ",", CR or LF) among the 16 at p, 16 when there is none; and in
// `before_nul`, how many come before the first NUL (the label ends there).
inline int plain_token_length(const unsigned char* p, int& before_nul) {
#if defined(__SSE2__)
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const auto is = [&chunk](char c) { return _mm_cmpeq_epi8(chunk, _mm_set1_epi8(c)); };
    const __m128i ends = _mm_or_si128(_mm_or_si128(_mm_or_si128(is(';'), is('=')), is(',')),
                                      _mm_or_si128(is('\r'), is('\n')));
    const auto end_bits = static_cast<unsigned>(_mm_movemask_epi8(ends)) | 0x10000u;
    const auto nul_bits = static_cast<unsigned>(_mm_movemask_epi8(is('\0'))) | 0x10000u;
    before_nul = std::countr_zero(nul_bits);
    return std::countr_zero(end_bits);
#else
    int length = 0;
    while (length < 16 && BYTE_CLASSES[p[length]] == ORDINARY) {
        ++length;
    }
    before_nul = 0;
    while (before_nul < length && p[before_nul] != 0) {
        ++before_nul;
    }
    return length;
#endif
}

// Most records are written plainly, name=kind,x,y,width,height,colour, with
// short fields and no comment or line break inside; such a record is read
// in one pass over the block, without the byte-by-byte reading's checks and
// without a branch on the length of a name or a number. Any other record,
// or one the block may end inside, returns false with the list where it was,
// and the byte-by-byte reading starts it over. Both read the same.
bool read_plain_record(ByteReader& list, ResourceRecord& record) {
    const unsigned char* p = list.next;
    if (list.end - p < ONE_PASS_WINDOW) {
        return false;
    }
    // The line break after the record before (the LF of a CR LF): skipped,
    // as the token reader skips it. A few at most, so that all the fields
    // stay inside the window.
    for (int i = 0; i < 4 && (*p == '\r' || *p == '\n'); ++i) {
        ++p;
    }
    int before_nul = 0;
    const int name_length = plain_token_length(p, before_nul);
    if (name_length == 0 || name_length == 16 || BYTE_CLASSES[p[name_length]] != SEPARATOR) {
        return false; // the end of the list, a long name, or more than a plain name
    }
    std::memcpy(record.name, p, 16); // the name buffer holds 80
    record.name[name_length] = '\0';
    record.label_length =
        static_cast<std::uint8_t>(before_nul < name_length ? before_nul : name_length);
    p += name_length + 1;
    int ignored = 0;
    const int kind_length = plain_token_length(p, ignored);
    if (kind_length == 16 || BYTE_CLASSES[p[kind_length]] != SEPARATOR) {
        return false;
    }
    record.kind_char = kind_length > 0 ? static_cast<char>(*p) : '\0';
    p += kind_length + 1;
    std::uint32_t values[5];
    if (!read_short_numbers(p, values)) {
        return false;
    }
    record.x = static_cast<std::int32_t>(values[0]);
    record.y = static_cast<std::int32_t>(values[1]);
    record.width = static_cast<std::int32_t>(values[2]);
    record.height = static_cast<std::int32_t>(values[3]);
    record.default_colour = static_cast<std::uint8_t>(values[4]);
    record.kind = kind_of(record.kind_char);
    list.next = p;
    return true;
}

template <bool Traced>
bool read_record_as(ByteReader& list, ResourceRecord& record, RecordTrace* trace) {
    if constexpr (!Traced) {
        if (read_plain_record(list, record)) {
            return true;
        }
    }
    std::uint64_t ignored = 0;
    std::uint64_t& name_start = Traced ? trace->name_start : ignored;
    const int name_length = read_token_as<Traced>(list, record.name, &name_start);
    if (name_length == 0) {
        return false;
    }
    record.label_length = static_cast<std::uint8_t>(strnlen(record.name, TOKEN_BUFFER_SIZE));
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
        const unsigned char* p = list.next;
        const unsigned char* const end = list.end;
        while (p < end) {
            const unsigned digit = static_cast<unsigned>(*p++) - '0';
            if (digit > 9) { // this byte ends the number and is consumed with it
                list.next = p;
                return static_cast<std::int32_t>(value);
            }
            value = value * 10u + digit;
        }
        list.next = p;
        if (!refill(list)) { // the end of the list ends it too
            return static_cast<std::int32_t>(value);
        }
    }
}

bool read_record(ByteReader& list, ResourceRecord& record) {
    return read_record_as<false>(list, record, nullptr);
}

bool read_record(ByteReader& list, ResourceRecord& record, RecordTrace& trace) {
    return read_record_as<true>(list, record, &trace);
}

namespace detail {

bool read_record_byte_by_byte(ByteReader& list, ResourceRecord& record) {
    // The traced reading never takes the one-pass path.
    RecordTrace ignored;
    return read_record_as<true>(list, record, &ignored);
}

} // namespace detail

} // namespace kelvora
