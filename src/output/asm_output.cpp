// Assembler source writer. Byte literals come from a table and every line is
// assembled in memory, so no formatted print runs per byte.
#include "output/asm_output.h"

#include <array>
#include <cstring>
#include <initializer_list>

#include "model/forms.h"

namespace kelvora {
namespace {

constexpr std::array<std::array<char, 4>, 256> make_literals() {
    constexpr char digits[] = "0123456789abcdef";
    std::array<std::array<char, 4>, 256> table{};
    for (int v = 0; v < 256; ++v) {
        table[v] = {'0', 'x', digits[v >> 4], digits[v & 15]};
    }
    return table;
}

constexpr auto LITERALS = make_literals();

// A literal and the comma after it, "0x..,", padded to eight bytes so that
// one fixed-size copy writes it; the next literal then starts 5 bytes on.
constexpr std::array<std::array<char, 8>, 256> make_listed_literals() {
    std::array<std::array<char, 8>, 256> table{};
    for (int v = 0; v < 256; ++v) {
        table[v] = {LITERALS[v][0], LITERALS[v][1], LITERALS[v][2], LITERALS[v][3], ',', 0, 0, 0};
    }
    return table;
}

constexpr auto LISTED_LITERALS = make_listed_literals();

char* put_listed_literal(char* p, std::uint8_t value) {
    std::memcpy(p, LISTED_LITERALS[value].data(), 8);
    return p + 5;
}

// Longest line: the lead and 128 pairs of "0x..,0x.." with separators.
constexpr std::size_t LONGEST_LINE = MAX_LEAD_LENGTH + CELL_COLUMNS * 10;
static_assert(LONGEST_LINE < OutputBuffer::CAPACITY);

char* put_literal(char* p, std::uint8_t value) {
    std::memcpy(p, LITERALS[value].data(), 4);
    return p + 4;
}

// A padded spelling: one fixed-size copy, then on by its length. The copy
// may reach past the spelling; what follows overwrites that.
char* put_padded(char* p, const PaddedText& text) {
    std::memcpy(p, text.text, sizeof text.text);
    return p + text.length;
}

// A lead, a literal and the line feed: room for all three at their longest.
constexpr std::size_t SINGLE_LITERAL_LINE = sizeof PaddedText::text + 4 + 1;

void write_single_literal_line(const PaddedText& lead, std::int64_t value, OutputBuffer& out) {
    char* const start = reserve(out, SINGLE_LITERAL_LINE);
    char* p = put_padded(start, lead);
    p = put_literal(p, static_cast<std::uint8_t>(value & 0xFF));
    *p++ = '\n';
    out.used += static_cast<std::size_t>(p - start);
}

// Copies the label, the name exactly as read up to a NUL it may contain, as
// one fixed-size copy of the whole name buffer, and puts the syntax's label
// end and the line feed after it. Room for the whole buffer and the padded
// end must have been made.
char* put_label_line(char* p, const ResourceRecord& record, const PaddedText& label_end) {
    std::memcpy(p, record.name, TOKEN_BUFFER_SIZE);
    return put_padded(p + record.label_length, label_end);
}

constexpr std::size_t LABEL_LINE_ROOM = TOKEN_BUFFER_SIZE + sizeof PaddedText::text;

} // namespace

void write_label_line(const ResourceRecord& record, OutputBuffer& out) {
    char* const start = reserve(out, LABEL_LINE_ROOM);
    out.used += static_cast<std::size_t>(put_label_line(start, record, out.label_end) - start);
}

void write_fill_line(std::int64_t value, OutputBuffer& out) {
    write_single_literal_line(out.fill_lead, value, out);
}

void write_page_alignment_line(OutputBuffer& out) {
    const char* const line = out.syntax->page_align;
    write_text(out, line, std::strlen(line));
}

void write_cell_line(const Stores& stores, int cell_column, int row, OutputBuffer& out) {
    char* const start = reserve(out, sizeof PaddedText::text + 9 * 5);
    char* p = put_padded(start, out.byte_lead);
    const std::uint8_t* bits = &stores.bitmap.bytes[cell_column][row];
    for (int i = 0; i < 8; ++i) {
        p = put_listed_literal(p, bits[i]);
    }
    p = put_listed_literal(p, stores.attributes.bytes[cell_column]);
    p[-1] = '\n';
    out.used += static_cast<std::size_t>(p - start);
}

void write_sprite_rows_plain(const Stores& stores, int first_column, int row, int columns, int rows,
                             OutputBuffer& out) {
    const std::size_t line_length =
        sizeof PaddedText::text + 10 * static_cast<std::size_t>(columns);
    for (int r = row; r < row + rows; ++r) {
        char* const start = reserve(out, line_length);
        char* p = put_padded(start, out.byte_lead);
        for (int c = first_column; c < first_column + columns; ++c) {
            const std::uint8_t mask = stores.mask.bytes[c][r];
            if (c > first_column) {
                *p++ = ',';
            }
            p = put_literal(p, mask);
            *p++ = ',';
            p = put_literal(p, static_cast<std::uint8_t>(mask ^ stores.bitmap.bytes[c][r]));
        }
        *p++ = '\n';
        out.used += static_cast<std::size_t>(p - start);
    }
}

void write_sprite_rows(const Stores& stores, int first_column, int row, int columns, int rows,
                       OutputBuffer& out) {
    if constexpr (!USE_FAST_FORMS) {
        write_sprite_rows_plain(stores, first_column, row, columns, rows, out);
        return;
    }
    const std::size_t line_length = out.byte_lead.length + 10 * static_cast<std::size_t>(columns);
    int r = row;
    const int end = row + rows;
    while (r < end) {
        // As many whole lines as the buffer has room for, written through a
        // local pointer so the buffer's fill level is not kept in step per
        // byte; all of them, but when the buffer is about to fill.
        const std::size_t room = OutputBuffer::CAPACITY - out.used;
        std::size_t batch = static_cast<std::size_t>(end - r);
        if (batch * line_length > room) {
            batch = room / line_length;
            if (batch == 0) {
                flush_output(out);
                continue;
            }
        }
        char* p = out.buffer + out.used;
        const int batch_end = r + static_cast<int>(batch);
        const PaddedText lead = out.byte_lead;
        if (columns == 1) {
            // The common sprite one cell wide: a line of one pair.
            const std::uint8_t* const mask = &stores.mask.bytes[first_column][0];
            const std::uint8_t* const bits = &stores.bitmap.bytes[first_column][0];
            for (; r < batch_end; ++r) {
                p = put_padded(p, lead);
                p = put_listed_literal(p, mask[r]);
                p = put_listed_literal(p, static_cast<std::uint8_t>(mask[r] ^ bits[r]));
                p[-1] = '\n';
            }
        } else {
            for (; r < batch_end; ++r) {
                p = put_padded(p, lead);
                for (int c = first_column; c < first_column + columns; ++c) {
                    const std::uint8_t mask = stores.mask.bytes[c][r];
                    p = put_listed_literal(p, mask);
                    p = put_listed_literal(
                        p, static_cast<std::uint8_t>(mask ^ stores.bitmap.bytes[c][r]));
                }
                p[-1] = '\n'; // the last separator becomes the line end
            }
        }
        out.used = static_cast<std::size_t>(p - out.buffer);
    }
}

void write_record_header(const ResourceRecord& record, const RecordLayout& layout,
                         OutputBuffer& out) {
    if (layout.page_aligned) {
        write_page_alignment_line(out);
    }
    // The label and its size lines, with room made for them at once.
    char* const start = reserve(out, LABEL_LINE_ROOM + 2 * SINGLE_LITERAL_LINE);
    char* p = put_label_line(start, record, out.label_end);
    for (int i = 0; i < layout.size_byte_count; ++i) {
        p = put_padded(p, out.byte_lead);
        p = put_literal(p, layout.size_bytes[i]);
        *p++ = '\n';
    }
    out.used += static_cast<std::size_t>(p - start);
}

void write_band(const Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                std::int64_t row, OutputBuffer& out) {
    const auto first_column = static_cast<int>(record.x / 8);
    switch (layout.body) {
    case BandBody::CellLines:
        for (std::int64_t i = 0; i < layout.lines_per_band; ++i) {
            write_cell_line(stores, first_column + static_cast<int>(i), static_cast<int>(row), out);
        }
        break;
    case BandBody::SpriteRows:
        // Even with a width below 8 (0 included) every row shows column x div
        // 8, whatever the stores hold there. Deliberate: outputs that builds
        // already depend on stay byte for byte as they were.
        write_sprite_rows(stores, first_column, static_cast<int>(row),
                          static_cast<int>(layout.columns_written),
                          static_cast<int>(layout.lines_per_band), out);
        break;
    }
    if (layout.page_fill) {
        write_fill_line(layout.fill_bytes, out);
    }
}

} // namespace kelvora
