// The assembler source writer: byte literals, label, "db" and "ds" lines, and
// the per-kind record headers and band bodies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/resource_record.h"
#include "model/stores.h"
#include "output/output_buffer.h"

namespace kelvora {

void write_label_line(const ResourceRecord& record, OutputBuffer& out);
void write_fill_line(std::int64_t value, OutputBuffer& out); // low 8 bits
void write_page_alignment_line(OutputBuffer& out);
// Eight bitmap bytes of one cell column from `row` down, then its attribute.
void write_cell_line(const Stores& stores, int cell_column, int row, OutputBuffer& out);
// One line per pixel row, a mask/data pair per cell column: the fast form
// fills the buffer with as many whole lines at a time as it holds; the plain
// one makes room for each line on its own.
void write_sprite_rows(const Stores& stores, int first_column, int row, int columns, int rows,
                       OutputBuffer& out);
void write_sprite_rows_plain(const Stores& stores, int first_column, int row, int columns, int rows,
                             OutputBuffer& out);

// The record's header and each band's body and closing line, as its layout
// says; the band whose top row is `row` is written after it has been encoded.
void write_record_header(const ResourceRecord& record, const RecordLayout& layout,
                         OutputBuffer& out);
void write_band(const Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                std::int64_t row, OutputBuffer& out);

} // namespace kelvora
