// The assembler source writer: byte literals, label, "db" and "ds" lines, and
// the per-kind record headers and band bodies.
#pragma once

#include <cstddef>
#include <cstdint>

#include "model/stores.h"
#include "model/resource_record.h"
#include "output/output_buffer.h"

namespace kelvora {

void write_label_line(const ResourceRecord& record, OutputBuffer& out);
void write_fill_line(std::int64_t value, OutputBuffer& out); // low 8 bits
// The same fill line `count` times, filling the buffer a block at a time.
void write_fill_lines(std::int64_t value, std::int64_t count, OutputBuffer& out);
// The fill that completes a tile-table band of 9-byte cell lines to 256 bytes.
std::int64_t tile_fill_value(const ResourceRecord& record);
void write_page_alignment_line(OutputBuffer& out);
// Eight bitmap bytes of one cell column from `row` down, then its attribute.
void write_cell_line(const Stores& stores, int cell_column, int row, OutputBuffer& out);
// One line per pixel row, a mask/data pair per cell column.
void write_sprite_rows(const Stores& stores, int first_column, int row, int columns, int rows,
                       OutputBuffer& out);

void write_record_header(const ResourceRecord& record, OutputBuffer& out);
// The body of the band whose top row is `row`, after it has been encoded.
void write_band(const Stores& stores, const ResourceRecord& record, const RecordShape& shape,
                std::int64_t row, OutputBuffer& out);

} // namespace kelvora
