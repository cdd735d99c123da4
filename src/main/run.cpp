// The conversion run and record conversion: the order in which the three
// files are opened and closed, the outside-the-grid guard, and the cutting of
// each record into bands.
#include "main/run.h"

#include <sys/stat.h>

#include <cstdint>
#include <cstring>

#include "cells/band.h"
#include "input/picture.h"
#include "input/resource_list.h"

namespace kelvora {
namespace {

std::int64_t ceil_div8(std::int64_t value) {
    return (value + 7) / 8;
}

// Large stream buffers: a picture or list is read in a few system calls
// instead of one per 4 KiB. They live on the run's stack until its files close.
constexpr std::size_t READ_BUFFER_SIZE = 1 << 16;

// A directory opens for reading on some systems but yields no bytes; treat it
// as the unopenable file it is rather than as an empty one.
std::FILE* open_for_reading(const char* path, char* buffer) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return nullptr;
    }
    struct stat info {};
    if (fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    if (buffer != nullptr) {
        std::setvbuf(file, buffer, _IOFBF, READ_BUFFER_SIZE);
    }
    return file;
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opening an input for writing would truncate it. Devices such as /dev/null
// lose nothing, so only regular files count.
bool output_is_an_input(const char* output_path, std::FILE* picture, std::FILE* list) {
    struct stat output {};
    if (stat(output_path, &output) != 0 || !S_ISREG(output.st_mode)) {
        return false;
    }
    struct stat input {};
    if (fstat(fileno(picture), &input) == 0 && same_file(output, input)) {
        return true;
    }
    return fstat(fileno(list), &input) == 0 && same_file(output, input);
}

void print_name_message(std::FILE* messages, const char* before, const char* name,
                        const char* after) {
    std::fputs(before, messages);
    std::fwrite(name, 1, strnlen(name, TOKEN_BUFFER_SIZE), messages);
    std::fputs(after, messages);
}

} // namespace

bool record_is_outside(const ResourceRecord& record) {
    const std::int64_t x = record.x;
    const std::int64_t y = record.y;
    const std::int64_t width = record.width;
    const std::int64_t height = record.height;
    if (height <= 0) {
        return false; // no band is encoded or written
    }
    if (is_block_kind(record.kind)) {
        if (width <= 0) {
            return false; // bands of no cells touch nothing
        }
        return !(x >= 0 && y >= 0 && x + 8 * ceil_div8(width) <= GRID_SIZE &&
                 y + 8 * ceil_div8(height) <= GRID_SIZE);
    }
    if (width > 0) {
        // The ranking reads the top 8 rows even of a shorter sprite.
        const std::int64_t rows_read = height > 8 ? height : 8;
        return !(x >= 0 && y >= 0 && x + 8 * ceil_div8(width) <= GRID_SIZE &&
                 y + rows_read <= GRID_SIZE);
    }
    // No cell is encoded, but each row still shows the stores of column x div 8.
    return !(x >= 0 && x < GRID_SIZE && y >= 0 && y + height <= GRID_SIZE);
}

void encode_record(Stores& stores, const ResourceRecord& record, BandVisitor visit, void* context) {
    // 64-bit bounds: the loop runs ceil(height / 8) times for blocks and once
    // for a sprite of positive height, whatever the signed 32-bit fields hold.
    if (is_block_kind(record.kind) && record.width <= 0) {
        return; // bands of no cells: nothing to encode or to show
    }
    const std::int64_t y = record.y;
    const std::int64_t height = record.height;
    const std::int64_t band_height = is_block_kind(record.kind) ? 8 : height;
    for (std::int64_t row = y; row < y + height; row += band_height) {
        encode_band(stores, record.x, row, record.width, band_height, record);
        visit(stores, record, row, context);
    }
}

void report_outside(const ResourceRecord& record, std::FILE* messages) {
    print_name_message(messages, "can't convert ", record.name,
                       ": outside the 1024x1024 picture area\n");
}

void convert_record(Stores& stores, const ResourceRecord& record, AsmOutput& out,
                    std::FILE* messages) {
    if (record_is_outside(record)) {
        report_outside(record, messages);
        return;
    }
    write_record_header(record, out);
    if (is_block_kind(record.kind) && record.width <= 0) {
        // Bands of no cells encode and change nothing; a block writes nothing
        // for them and a tile table its fill line, once per band. Written
        // straight away, as a height near 2^31 makes 268 million bands.
        if (record.kind == 'T' && record.height > 0) {
            write_fill_lines(tile_fill_value(record), ceil_div8(record.height), out);
        }
        return;
    }
    encode_record(
        stores, record,
        [](const Stores& encoded, const ResourceRecord& band_record, std::int64_t row,
           void* context) {
            write_band(encoded, band_record, row, *static_cast<AsmOutput*>(context));
        },
        &out);
}

void convert_list(Stores& stores, std::FILE* list, AsmOutput& out, std::FILE* messages) {
    ListStream stream; // 64 KiB of read-ahead, for this list only
    start_list(stream, list);
    ResourceRecord record{};
    while (read_record(stream, record)) {
        convert_record(stores, record, out, messages);
    }
}

void convert_resources(Stores& stores, const char* picture_path, const char* list_path,
                       const char* output_path, std::FILE* messages) {
    char picture_buffer[READ_BUFFER_SIZE];
    std::FILE* picture = open_for_reading(picture_path, picture_buffer);
    if (picture == nullptr) {
        std::fprintf(messages, "can't open %s", picture_path);
        return;
    }
    if (!load_picture(picture, stores.grid)) {
        std::fclose(picture); // silently: the header is not one this program reads
        return;
    }
    std::FILE* list = open_for_reading(list_path, nullptr);
    if (list == nullptr) {
        std::fprintf(messages, "can't open %s", list_path);
        std::fclose(picture);
        return;
    }
    if (output_is_an_input(output_path, picture, list)) {
        std::fprintf(messages, "can't write %s: it is also an input\n", output_path);
        std::fclose(list);
        std::fclose(picture);
        return;
    }
    std::FILE* output = std::fopen(output_path, "wb");
    if (output == nullptr) {
        std::fprintf(messages, "can't open %s", output_path);
        std::fclose(list);
        std::fclose(picture);
        return;
    }

    AsmOutput out; // 64 KiB of line buffer, for this run only
    start_output(out, output);
    convert_list(stores, list, out, messages);
    flush_output(out);
    const bool write_failed = out.failed || std::fflush(output) != 0 || std::ferror(output) != 0;
    if (std::fclose(output) != 0 || write_failed) {
        std::fprintf(messages, "can't write %s\n", output_path);
    }
    std::fclose(list);
    std::fclose(picture);
}

} // namespace kelvora
