// The assembler source writer: byte literals, label, "db" and "ds" lines, and
// the per-kind record headers and band bodies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "cells/stores.h"
#include "input/resource_record.h"

namespace kelvora {

// Whole lines are assembled in this buffer and handed to the stream in large
// blocks. A failed write is remembered so the run can report it once.
struct AsmOutput {
    static constexpr std::size_t CAPACITY = 1 << 16;
    // Literals are copied eight bytes at a time, of which the last few are
    // overwritten by what follows; the slack keeps those copies inside.
    static constexpr std::size_t SLACK = 8;
    std::FILE* file;
    bool failed;
    std::size_t used;
    char buffer[CAPACITY + SLACK];
};

void start_output(AsmOutput& out, std::FILE* file);
// Hands everything buffered to the stream and flushes it.
void flush_output(AsmOutput& out);
void write_text(AsmOutput& out, const char* text, std::size_t length);

// "0x" and two lower-case hex digits; writes 4 characters, no terminator.
void format_byte(std::uint8_t value, char* destination);

void write_label_line(const ResourceRecord& record, AsmOutput& out);
void write_byte_line(std::int64_t value, AsmOutput& out); // low 8 bits
void write_fill_line(std::int64_t value, AsmOutput& out); // low 8 bits
// The same fill line `count` times, filling the buffer a block at a time.
void write_fill_lines(std::int64_t value, std::int64_t count, AsmOutput& out);
// The fill that completes a tile-table band of 9-byte cell lines to 256 bytes.
std::int64_t tile_fill_value(const ResourceRecord& record);
void write_page_alignment_line(AsmOutput& out);
// Eight bitmap bytes of one cell column from `row` down, then its attribute.
void write_cell_line(const Stores& stores, int cell_column, int row, AsmOutput& out);
// One line per pixel row, a mask/data pair per cell column.
void write_sprite_rows(const Stores& stores, int first_column, int row, int columns, int rows,
                       AsmOutput& out);

void write_record_header(const ResourceRecord& record, AsmOutput& out);
// The body of the band whose top row is `row`, after it has been encoded.
void write_band(const Stores& stores, const ResourceRecord& record, std::int64_t row,
                AsmOutput& out);

} // namespace kelvora
