// The sheet as assembler source: label lines, and lines of byte literals after
// a lead, in the run's syntax. Byte literals come from a table and every line
// is assembled in memory, so no formatted print runs per byte.
#include <array>
#include <cstring>

#include "model/forms.h"
#include "output/output_forms.h"
#include "output/text_lines.h"

namespace kelvora {
namespace {

// A literal and the comma after it, "0x..,", padded to eight bytes so that
// one fixed-size copy writes it; the next literal then starts 5 bytes on, and
// a line's last comma becomes its line feed.
constexpr std::array<std::array<char, 8>, 256> make_literals() {
    constexpr char digits[] = "0123456789abcdef";
    std::array<std::array<char, 8>, 256> table{};
    for (int v = 0; v < 256; ++v) {
        table[v] = {'0', 'x', digits[v >> 4], digits[v & 15], ',', 0, 0, 0};
    }
    return table;
}

constexpr auto LITERALS = make_literals();

constexpr std::size_t LITERAL_ROOM = 5;

// The longest line: a lead and a sprite row of every cell column.
constexpr std::size_t LONGEST_LINE = MAX_LEAD_LENGTH + 2 * CELL_COLUMNS * LITERAL_ROOM;
static_assert(LONGEST_LINE < OutputBuffer::CAPACITY);

// A padded spelling: one fixed-size copy, then on by its length. The copy
// may reach past the spelling; what follows overwrites that.
char* put_padded(char* p, const PaddedText& text) {
    std::memcpy(p, text.text, sizeof text.text);
    return p + text.length;
}

// The one shape of every byte and fill line: the lead, the literals
// separated by commas, the line feed. The count is an int or, where the
// line's shape fixes it, a FixedCount, which unrolls the loop.
template <typename Count>
char* put_line(char* p, const PaddedText& lead, const std::uint8_t* bytes, Count count) {
    p = put_padded(p, lead);
    for (int i = 0; i < count; ++i) {
        std::memcpy(p + i * LITERAL_ROOM, LITERALS[bytes[i]].data(), 8);
    }
    p += count * LITERAL_ROOM;
    p[-1] = '\n';
    return p;
}

std::size_t line_room(const PaddedText& lead, int count) {
    return lead.length + LITERAL_ROOM * static_cast<std::size_t>(count);
}

// The label as read, up to a NUL it may contain, copied as one fixed-size
// copy: of the buffer's first 32 bytes for the short labels most lists
// have, else of the whole name buffer.
constexpr std::size_t SHORT_LABEL = 32;

char* put_label(char* p, const ResourceRecord& record) {
    if (record.label_length < SHORT_LABEL) {
        std::memcpy(p, record.name, SHORT_LABEL);
    } else {
        std::memcpy(p, record.name, TOKEN_BUFFER_SIZE);
    }
    return p + record.label_length;
}

// The room a label line and its two size lines reach into at most, with
// every fixed-size copy counted whole.
constexpr std::size_t HEADER_ROOM =
    2 * sizeof PaddedText::text + TOKEN_BUFFER_SIZE + 2 * 2 * sizeof PaddedText::text;

void write_record(FormOutput& output, const SheetPart& part) {
    const AsmSyntax& syntax = *output.syntax;
    const ResourceRecord& record = *part.record;
    const RecordLayout& layout = *part.layout;
    OutputBuffer& out = output.buffer;
    if (layout.page_aligned) {
        write_text(out, syntax.page_align);
    }
    // A label that is no C name gets no global name where labels are C
    // names; every label is made global where a line says so.
    const bool global = part.c_name;
    if (global && output.global_lines) {
        write_text(out, syntax.global_lead);
        char* const start = reserve(out, TOKEN_BUFFER_SIZE + 1);
        char* p = put_label(start, record);
        *p++ = '\n';
        out.used += static_cast<std::size_t>(p - start);
    }
    char* const start = reserve(out, HEADER_ROOM);
    char* p = global ? put_padded(start, output.label_prefix) : start;
    p = put_label(p, record);
    p = put_padded(p, global ? output.label_end : output.local_label_end);
    if (layout.size_byte_count == 2) {
        p = put_line(p, output.byte_lead, &layout.size_bytes[0], FixedCount<1>{});
        p = put_line(p, output.byte_lead, &layout.size_bytes[1], FixedCount<1>{});
    }
    out.used += static_cast<std::size_t>(p - start);

    for (std::int64_t band = 0; band < layout.bands; ++band) {
        write_band_lines(out, output.byte_lead, part, band);
        if (layout.page_fill) {
            char* const fill = reserve(out, sizeof PaddedText::text + LITERAL_ROOM);
            const char* const end =
                put_line(fill, output.fill_lead, &layout.fill_bytes, FixedCount<1>{});
            out.used += static_cast<std::size_t>(end - fill);
        }
    }
}

} // namespace

void write_band_lines_plain(OutputBuffer& out, const PaddedText& lead, const SheetPart& part,
                            std::int64_t band) {
    for_each_body_line(part, band, [&](const std::uint8_t* bytes, auto count) {
        char* const start = reserve(out, sizeof PaddedText::text + line_room(lead, count));
        out.used += static_cast<std::size_t>(put_line(start, lead, bytes, count) - start);
    });
}

void write_band_lines(OutputBuffer& out, const PaddedText& lead, const SheetPart& part,
                      std::int64_t band) {
    // Where the whole band fits in the room left, its lines go through a
    // local pointer, with no look at the room per line.
    const RecordLayout& layout = *part.layout;
    const std::size_t band_room = static_cast<std::size_t>(layout.lines_per_band) *
                                  line_room(lead, static_cast<int>(layout.bytes_per_line));
    if (!USE_FAST_FORMS || band_room > OutputBuffer::CAPACITY - out.used) {
        write_band_lines_plain(out, lead, part, band);
        return;
    }
    // The lead is copied: the text is written through a char pointer, which
    // could point into it, so it would otherwise be loaded again each line.
    char* p = out.buffer + out.used;
    for_each_body_line(part, band, [&p, line_lead = lead](const std::uint8_t* bytes, auto count) {
        p = put_line(p, line_lead, bytes, count);
    });
    out.used = static_cast<std::size_t>(p - out.buffer);
}

void render_assembler(FormOutput& output, const SheetPart& part) {
    switch (part.kind) {
    case SheetPartKind::Start:
        write_text(output.buffer, output.syntax->preamble);
        break;
    case SheetPartKind::Record:
        write_record(output, part);
        break;
    case SheetPartKind::End:
        if (part.holds_page_aligned) {
            write_text(output.buffer, output.syntax->page_end);
        }
        break;
    }
}

} // namespace kelvora
