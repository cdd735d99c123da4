// Record conversion: a record's shape decides how it is cut into bands, each
// band is encoded into the stores and then written in the record's layout.
#include "convert/convert_record.h"

#include <cstring>

#include "cells/band.h"

namespace kelvora {

namespace {

bool is_outside(const ResourceRecord& record, const RecordShape& shape) {
    if (shape.bands == 0) {
        return false; // no band is encoded or written
    }
    const std::int64_t x = record.x;
    const std::int64_t y = record.y;
    if (shape.cells_across > 0) {
        return !(x >= 0 && y >= 0 && x + 8 * shape.cells_across <= GRID_SIZE &&
                 y + shape.rows_read <= GRID_SIZE);
    }
    if (is_banded(record.kind)) {
        // Bands of no cells touch no cell, but each is still written (a tile
        // table's fill line), so they too must end inside the area: that also
        // keeps one short line of the list from writing gigabytes.
        return !(y >= 0 && y + shape.rows <= GRID_SIZE);
    }
    // No cell is encoded, but each row still shows the stores of column x div 8.
    return !(x >= 0 && x < GRID_SIZE && y >= 0 && y + shape.rows <= GRID_SIZE);
}

void encode_shaped(Stores& stores, const ResourceRecord& record, const RecordShape& shape,
                   BandVisitor visit, void* context) {
    if (is_banded(record.kind) && shape.cells_across == 0) {
        return; // bands of no cells: nothing to encode or to show
    }
    for (std::int64_t band = 0; band < shape.bands; ++band) {
        const std::int64_t row = record.y + band * shape.band_height;
        encode_band(stores, record, shape, row);
        visit(stores, record, shape, row, context);
    }
}

} // namespace

bool record_is_outside(const ResourceRecord& record) {
    return is_outside(record, record_shape(record));
}

void encode_record(Stores& stores, const ResourceRecord& record, BandVisitor visit, void* context) {
    encode_shaped(stores, record, record_shape(record), visit, context);
}

void report_outside(const ResourceRecord& record, std::FILE* messages) {
    std::fputs("can't convert ", messages);
    std::fwrite(record.name, 1, strnlen(record.name, TOKEN_BUFFER_SIZE), messages);
    std::fputs(": outside the 1024x1024 picture area\n", messages);
}

void convert_record(Stores& stores, const ResourceRecord& record, OutputBuffer& out,
                    std::FILE* messages) {
    const RecordShape shape = record_shape(record);
    if (is_outside(record, shape)) {
        report_outside(record, messages);
        return;
    }
    write_record_header(record, out);
    if (is_banded(record.kind) && shape.cells_across == 0) {
        // Bands of no cells encode and change nothing; a block writes nothing
        // for them and a tile table its fill line, once per band (at most
        // 128 of them inside the area).
        if (record.kind == RecordKind::TileTable) {
            write_fill_lines(tile_fill_value(record), shape.bands, out);
        }
        return;
    }
    encode_shaped(
        stores, record, shape,
        [](const Stores& encoded, const ResourceRecord& band_record, const RecordShape& band_shape,
           std::int64_t row, void* context) {
            write_band(encoded, band_record, band_shape, row, *static_cast<OutputBuffer*>(context));
        },
        &out);
}

} // namespace kelvora
