// Record conversion: a record's layout decides how it is cut into bands; each
// band is encoded into the stores, and the record is then described to the
// sheet's outputs.
#include "convert/convert_record.h"

#include <cstring>

#include "cells/band.h"

namespace kelvora {

namespace {

bool is_outside(const ResourceRecord& record, const RecordLayout& layout) {
    if (layout.bands == 0) {
        return false; // no band is encoded or written
    }
    const std::int64_t x = record.x;
    const std::int64_t y = record.y;
    if (layout.cells_across > 0) {
        return !(x >= 0 && y >= 0 && x + 8 * layout.cells_across <= GRID_SIZE &&
                 y + layout.rows_read <= GRID_SIZE);
    }
    if (is_banded(record.kind)) {
        // Bands of no cells touch no cell, but each is still written (a tile
        // table's fill line), so they too must end inside the area: that also
        // keeps one short line of the list from writing gigabytes.
        return !(y >= 0 && y + layout.rows <= GRID_SIZE);
    }
    // No cell is encoded, but each row still shows the stores of column x div 8.
    return !(x >= 0 && x < GRID_SIZE && y >= 0 && y + layout.rows <= GRID_SIZE);
}

// Encodes the record's bands top to bottom, calling visit(band, row) after
// each. A band of no cells (a width of 0 or below) encodes nothing, but is
// still visited: its layout may write something for it all the same.
template <typename Visit>
void encode_bands(Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                  Visit visit) {
    for (std::int64_t band = 0; band < layout.bands; ++band) {
        const std::int64_t row = record.y + band * layout.band_height;
        encode_band(stores, record, layout, row);
        visit(band, row);
    }
}

void report_cannot_convert(const ResourceRecord& record, const char* why, std::FILE* messages) {
    std::fputs("can't convert ", messages);
    std::fwrite(record.name, 1, strnlen(record.name, TOKEN_BUFFER_SIZE), messages);
    std::fputs(why, messages);
}

} // namespace

bool record_is_outside(const ResourceRecord& record) {
    return is_outside(record, record_layout(record));
}

bool record_is_outside(const ResourceRecord& record, const RecordLayout& layout) {
    return is_outside(record, layout);
}

void encode_record(Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                   BandVisitor visit, void* context) {
    encode_bands(stores, record, layout, [&](std::int64_t, std::int64_t row) {
        visit(stores, record, layout, row, context);
    });
}

void report_outside(const ResourceRecord& record, std::FILE* messages) {
    report_cannot_convert(record, ": outside the 1024x1024 picture area\n", messages);
}

void convert_record(Stores& stores, const ResourceRecord& record, SheetWriter& sheet,
                    std::FILE* messages) {
    const RecordLayout layout = record_layout(record);
    if (is_outside(record, layout)) {
        report_outside(record, messages);
        return;
    }
    // The planes keep every band's rows; a band's attributes are kept as it
    // is encoded. The record is described once all of them are.
    encode_bands(stores, record, layout, [&](std::int64_t band, std::int64_t) {
        keep_attributes(sheet, stores, layout, band);
    });
    if (!describe_record(sheet, stores, record, layout)) {
        report_cannot_convert(record, ": not a C name\n", messages);
    }
}

} // namespace kelvora
