// The resource-list reader. There is no line structure: tokens end at
// separators and numbers at their first non-digit, so the byte that ends a
// field is always consumed with it.
#include "input/resource_list.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>

#include "model/forms.h"

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

// The one-pass reading looks at the 64 bytes at the start of a record, and
// reads a number's four bytes from any of them.
constexpr std::ptrdiff_t ONE_PASS_WINDOW = 64 + 4;

// What the one-pass reading needs to know of each of the 64 bytes, one bit a
// byte, the first byte lowest. Found all at once, so that finding where each
// field ends is a few steps on these words instead of a look at the bytes
// that waits for the field before.
struct WindowBits {
    std::uint64_t breaks;     // CR or LF, in the first 16 bytes at least
    std::uint64_t token_ends; // ";", "=", ",", CR or LF, in the first 48 at least
    std::uint64_t nuls;       // in the first 32 at least
    std::uint64_t non_digits;
};

inline WindowBits window_bits(const unsigned char* p) {
    WindowBits bits{};
#if defined(__SSE2__)
    // Only as far as each is needed: line breaks before the name, NULs in
    // it, the ends of the name and the kind, digits to the end.
    for (int i = 0; i < 4; ++i) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
        const auto is = [&chunk](char c) { return _mm_cmpeq_epi8(chunk, _mm_set1_epi8(c)); };
        const auto bits_of = [i](__m128i flags) {
            return static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(flags)))
                   << (16 * i);
        };
        if (i < 3) {
            const __m128i breaks = _mm_or_si128(is('\r'), is('\n'));
            const __m128i ends =
                _mm_or_si128(_mm_or_si128(is(';'), is('=')), _mm_or_si128(is(','), breaks));
            bits.token_ends |= bits_of(ends);
            if (i == 0) {
                bits.breaks = bits_of(breaks);
            }
        }
        if (i < 2) {
            bits.nuls |= bits_of(is('\0'));
        }
        const __m128i values = _mm_sub_epi8(chunk, _mm_set1_epi8('0'));
        const __m128i digits = _mm_cmpeq_epi8(_mm_min_epu8(values, _mm_set1_epi8(9)), values);
        bits.non_digits |= bits_of(_mm_cmpeq_epi8(digits, _mm_setzero_si128()));
    }
#else
    for (int i = 0; i < 64; ++i) {
        const std::uint64_t bit = std::uint64_t{1} << i;
        const ByteClass kind = BYTE_CLASSES[p[i]];
        bits.breaks |= kind == CARRIAGE_RETURN || kind == LINE_FEED ? bit : 0;
        bits.token_ends |= kind != ORDINARY ? bit : 0;
        bits.nuls |= p[i] == 0 ? bit : 0;
        bits.non_digits |= p[i] - '0' > 9 ? bit : 0;
    }
#endif
    return bits;
}

// Reads the five numbers at p, whose bytes that are no digit are the bits
// of `ends`, when none has more than four digits, as no position or size
// inside the picture area has: the count of bytes taken, or -1. A number
// ends at its first byte that is no digit, which is consumed with it, so
// the five numbers end at the first five such bytes.
inline int read_short_numbers(const unsigned char* p, std::uint64_t ends,
                              std::uint32_t (&values)[5], std::uint32_t (&taken)[5]) {
    std::uint32_t start = 0;
    bool too_long = false;
    for (int i = 0; i < 5; ++i) {
        std::uint32_t& value = values[i];
        if (ends == 0) {
            return -1;
        }
        const auto end = static_cast<std::uint32_t>(std::countr_zero(ends));
        taken[i] = end + 1;
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
    return too_long ? -1 : static_cast<int>(start);
}

// Most records are short, name=kind,x,y,width,height,colour with short
// fields and no comment or line break inside; such a record is read
// in one pass over the block, without the byte-by-byte reading's checks and
// without a branch on the length of a name or a number. Any other record,
// or one the block may end inside, returns false with the list where it was,
// and the byte-by-byte reading starts it over. Both read the same, and note
// the same trace.
template <bool Traced>
bool read_short_record(ByteReader& list, ResourceRecord& record, RecordTrace* trace) {
    const unsigned char* const p = list.next;
    if (list.end - p < ONE_PASS_WINDOW) {
        return false;
    }
    const WindowBits bits = window_bits(p);
    // The line break after the record before (the LF of a CR LF) is skipped,
    // as the token reader skips it. A few at most, so that all the fields
    // stay inside the window.
    const int name_at = std::countr_zero(~bits.breaks);
    if (name_at > 4) {
        return false;
    }
    const int name_length = std::countr_zero(bits.token_ends >> name_at);
    if (name_length == 0 || name_length >= 16 ||
        BYTE_CLASSES[p[name_at + name_length]] != SEPARATOR) {
        return false; // the end of the list, a long name, or a name not ended by a separator
    }
    std::memcpy(record.name, p + name_at, 16); // the name buffer holds 80
    record.name[name_length] = '\0';
    const int before_nul = std::countr_zero(bits.nuls >> name_at);
    record.label_length =
        static_cast<std::uint8_t>(before_nul < name_length ? before_nul : name_length);
    const int kind_at = name_at + name_length + 1;
    const int kind_length = std::countr_zero(bits.token_ends >> kind_at);
    if (kind_length >= 16 || BYTE_CLASSES[p[kind_at + kind_length]] != SEPARATOR) {
        return false;
    }
    record.kind_char = kind_length > 0 ? static_cast<char>(p[kind_at]) : '\0';
    const int numbers_at = kind_at + kind_length + 1;
    std::uint32_t values[5];
    std::uint32_t taken[5];
    const int numbers_length =
        read_short_numbers(p + numbers_at, bits.non_digits >> numbers_at, values, taken);
    if (numbers_length < 0) {
        return false;
    }
    if constexpr (Traced) {
        const std::uint64_t at = bytes_taken(list); // the offset of p
        trace->name_start = at + static_cast<std::uint64_t>(name_at);
        trace->name_length = name_length;
        trace->field_end[0] = at + static_cast<std::uint64_t>(kind_at);
        trace->kind_start = at + static_cast<std::uint64_t>(kind_at);
        trace->field_end[1] = at + static_cast<std::uint64_t>(numbers_at);
        for (int i = 0; i < 5; ++i) {
            trace->field_end[2 + i] = at + static_cast<std::uint64_t>(numbers_at) + taken[i];
        }
    }
    record.x = static_cast<std::int32_t>(values[0]);
    record.y = static_cast<std::int32_t>(values[1]);
    record.width = static_cast<std::int32_t>(values[2]);
    record.height = static_cast<std::int32_t>(values[3]);
    record.default_colour = static_cast<std::uint8_t>(values[4]);
    record.kind = kind_of(record.kind_char);
    list.next = p + numbers_at + numbers_length;
    return true;
}

template <bool Traced, bool OnePass>
bool read_record_as(ByteReader& list, ResourceRecord& record, RecordTrace* trace) {
    if constexpr (OnePass && USE_FAST_FORMS) {
        if (read_short_record<Traced>(list, record, trace)) {
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
    return read_record_as<false, true>(list, record, nullptr);
}

bool read_record(ByteReader& list, ResourceRecord& record, RecordTrace& trace) {
    return read_record_as<true, true>(list, record, &trace);
}

namespace detail {

bool read_record_byte_by_byte(ByteReader& list, ResourceRecord& record) {
    return read_record_as<false, false>(list, record, nullptr);
}

bool read_record_byte_by_byte(ByteReader& list, ResourceRecord& record, RecordTrace& trace) {
    return read_record_as<true, false>(list, record, &trace);
}

} // namespace detail

} // namespace kelvora
