// Reading one of kelvora's outputs back in the list's order, in a fixed
// amount of memory whatever its size: assembler text in any syntax kelvora
// writes, with comments and blank lines added or not, or the bytes of
// --binary. The list says what each record wrote; the reader takes the
// output record by record, hands the caller each body line's bytes, and
// reports each place where the output and the list disagree (a label, size
// bytes, the lines or bands a record holds, a fill, what follows the last
// record). Text that is not kelvora's own grammar stops the reading, with the
// line and what was expected there. The output is untrusted: nothing in it
// decides how much is read or kept.
#pragma once

#include <cstdint>

#include "input/byte_reader.h"
#include "model/resource_record.h"
#include "output/asm_syntax.h"
#include "output_reader/output_lines.h"

namespace kelvora {

// A place where the output and the list disagree, or, as a refusal, where
// the text breaks kelvora's grammar (nothing after it is read).
struct OutputFinding {
    bool refusal;
    bool binary;     // `at` is an offset in the binary, from 0; else a line number
    std::int64_t at; // where the reader was
    char text[512];  // what is wrong, and for a refusal what was expected
};

// What the reader hands its caller as it reads; a function left null is not
// called.
struct OutputVisitor {
    void* context;
    // A written record's label as the output has it (a binary, which holds
    // none, gives the list's), and where it is.
    void (*label)(void* context, const char* label, int length, std::int64_t at);
    // Its size bytes, where its kind has them.
    void (*size_bytes)(void* context, const std::uint8_t* bytes, int count, std::int64_t at);
    // Each body line of each band, in order, with the bytes the record's
    // layout gives a line; called only while the output holds the lines the
    // layout gives, so a record whose lines disagree stops being handed out
    // where they start to.
    void (*body_line)(void* context, std::int64_t band, std::int64_t index,
                      const std::uint8_t* bytes, std::int64_t at);
    // The end of each band, once its lines and its fill are taken: the
    // fill's length (0 for a band without one).
    void (*band_end)(void* context, std::int64_t band, std::uint8_t fill, std::int64_t at);
    void (*finding)(void* context, const OutputFinding& finding);
};

struct OutputReader {
    ByteReader bytes; // the output's bytes, from a file or memory
    bool binary;
    const AsmSyntax* syntax; // the text's; null for a binary
    OutputLines lines;
    OutputLine line; // the line at hand
    bool stopped;    // refused, or the output ended before the list did
    bool holds_page_aligned;
    std::uint64_t offset; // bytes of a binary taken
    std::int64_t disagreements;
    std::int64_t refusals;
};

// Starts reading an output from a file descriptor, or from `size` bytes in
// memory that outlive the reading. The form is chosen next.
void start_output_reader(OutputReader& reader, int fd);
void start_output_reader_memory(OutputReader& reader, const void* bytes, std::size_t size);

// Reads it as text in `syntax`, or as a binary.
void read_as_text(OutputReader& reader, const AsmSyntax& syntax);
void read_as_binary(OutputReader& reader);

// The start of the output: the lines the syntax writes before any record.
void read_output_start(OutputReader& reader, const OutputVisitor& visitor);

// One record of the list that is not outside the grid, whose layout is
// `layout`; `next` is the list's next record that is not, or null for the
// last, whose label tells where this one's lines end (a label may be empty,
// blanks, or spelled like a line of bytes). Nothing is read once the
// reading stopped.
void read_output_record(OutputReader& reader, const ResourceRecord& record,
                        const RecordLayout& layout, const ResourceRecord* next,
                        const OutputVisitor& visitor);

// The end of the output, after the list's last record: the line that ends
// it on a page, where the syntax has one and a record had to start on one,
// and then nothing.
void read_output_end(OutputReader& reader, const OutputVisitor& visitor);

} // namespace kelvora
