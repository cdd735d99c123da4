// The preview run over the three files: the picture is read by the
// converter's own reader, every record is converted by the converter's own
// record conversion and drawn, and the PNG is written at the end.
#include "preview/preview_run.h"

#include <cinttypes>
#include <cstring>

#include "input/byte_reader.h"
#include "input/picture.h"
#include "input/resource_list.h"
#include "main/convert_record.h"
#include "main/files.h"
#include "preview/png_writer.h"

namespace kelvora {
namespace {

void fail(std::FILE* messages, const char* what, const char* name, const char* why) {
    std::fprintf(messages, "kelvora-preview: %s %s: %s\n", what, name, why);
}

bool open_preview_input(const char* path, InputFile& file, std::FILE* messages) {
    const int error = open_input(path, file);
    if (error != 0) {
        fail(messages, "can't open", path, std::strerror(error));
    }
    return error == 0;
}

bool read_preview_picture(ByteReader& in, const char* path, Stores& stores, PictureFacts& facts,
                          std::FILE* messages) {
    const PictureVerdict verdict = read_picture(in, stores.grid, facts);
    if (in.error != 0) {
        fail(messages, "can't read", path, std::strerror(in.error));
        return false;
    }
    if (!verdict.taken) {
        std::fprintf(messages,
                     "kelvora-preview: can't preview %s: %s; kelvora reads only uncompressed 4- "
                     "or 8-bit BMPs, stored bottom-up, whose width and height are multiples of "
                     "8 up to 1024. Re-save the picture as one.\n",
                     path, verdict.reason);
        return false;
    }
    return true;
}

const char* compression_name(std::uint32_t compression) {
    switch (compression) {
    case 1:
        return "RLE8-compressed";
    case 2:
        return "RLE4-compressed";
    case 3:
    case 6:
        return "stored with bit-field masks";
    case 4:
        return "JPEG-compressed";
    case 5:
        return "PNG-compressed";
    default:
        return "compressed";
    }
}

void print_warning_start(const char* name, std::FILE* messages) {
    std::fprintf(messages, "kelvora-preview: warning: %s: ", name);
}

// One warning line for each way the converter reads these pixels other than
// they were written: compression, an unusual depth, a missing signature, a
// file that ends before its pixels do.
void print_picture_warnings(const PictureFacts& facts, const char* name, std::FILE* messages) {
    const int decoded_bits = (facts.bits_per_pixel & 0xFF) == 8 ? 8 : 4;
    if (!facts.signature_is_bm) {
        print_warning_start(name, messages);
        std::fputs("it does not start with \"BM\", so it may not be a BMP at all; "
                   "it is read as one all the same\n",
                   messages);
    }
    if (facts.compression != 0) {
        print_warning_start(name, messages);
        std::fprintf(messages,
                     "it is %s (compression %" PRIu32 "); kelvora reads the stored bytes as "
                     "uncompressed %d-bit pixels, so the picture comes out scrambled, as shown. "
                     "Re-save it as an uncompressed 4- or 8-bit BMP.\n",
                     compression_name(facts.compression), facts.compression, decoded_bits);
    }
    if (facts.bits_per_pixel != 4 && facts.bits_per_pixel != 8) {
        print_warning_start(name, messages);
        std::fprintf(messages,
                     "it has %u %s per pixel; kelvora reads its bytes as %d-bit palette "
                     "indices, so the picture comes out scrambled, as shown. Re-save it as an "
                     "indexed (palette) BMP with 16 or 256 colours, uncompressed.\n",
                     static_cast<unsigned>(facts.bits_per_pixel),
                     facts.bits_per_pixel == 1 ? "bit" : "bits", decoded_bits);
    }
    if (facts.bytes_missing > 0) {
        print_warning_start(name, messages);
        std::fprintf(messages,
                     "the file ends %" PRIu64 " bytes before its pixels do; kelvora repeats the "
                     "last byte it read for the rest, as shown\n",
                     facts.bytes_missing);
    }
}

const char* plural(std::int64_t count, const char* one, const char* more) {
    return count == 1 ? one : more;
}

void print_name(const ResourceRecord& record, std::FILE* report) {
    std::fwrite(record.name, 1, strnlen(record.name, TOKEN_BUFFER_SIZE), report);
}

void print_record_line(const ResourceRecord& record, const RecordPreview& preview,
                       const PreviewImage& image, std::FILE* report) {
    print_name(record, report);
    const auto kind = static_cast<unsigned char>(record.kind_char);
    const char* name = kind_name(record.kind);
    if (kind > ' ' && kind < 0x7F) {
        std::fprintf(report, ": %s \"%c\", ", name, kind);
    } else if (kind == 0) {
        std::fprintf(report, ": %s \"\", ", name);
    } else {
        std::fprintf(report, ": %s \"\\x%02x\", ", name, kind);
    }
    const RecordShape shape = record_shape(record);
    if (is_banded(record.kind)) {
        std::fprintf(report, "%" PRId64 " x %" PRId64 " cells", shape.cells_across, shape.bands);
    } else {
        std::fprintf(report, "%" PRId64 " %s x %" PRId64 " %s", shape.cells_across,
                     plural(shape.cells_across, "cell", "cells"), shape.rows,
                     plural(shape.rows, "row", "rows"));
    }
    std::fprintf(report, ", %" PRId64 " %s changed", preview.changed_pixels,
                 plural(preview.changed_pixels, "pixel", "pixels"));
    if (preview.reaches_beyond_picture) {
        std::fprintf(report, ", partly beyond the %dx%d picture (that part is not shown)",
                     image.width, image.height);
    }
    std::fputc('\n', report);
}

// Previews every record; returns the number left out as outside the grid.
std::int64_t preview_list(Stores& stores, PreviewImage& image, ByteReader& list,
                          std::FILE* report) {
    std::int64_t previewed = 0;
    std::int64_t skipped = 0;
    std::int64_t changed = 0;
    ResourceRecord record{};
    while (read_record(list, record)) {
        if (record_is_outside(record)) {
            report_outside(record, report);
            ++skipped;
            continue;
        }
        const RecordPreview preview = preview_record(image, stores, record);
        print_record_line(record, preview, image, report);
        ++previewed;
        changed += preview.changed_pixels;
    }
    std::fprintf(report, "total: %" PRId64 " %s, %" PRId64 " %s changed", previewed,
                 plural(previewed, "record", "records"), changed,
                 plural(changed, "pixel", "pixels"));
    if (skipped > 0) {
        std::fprintf(report, ", %" PRId64 " not converted", skipped);
    }
    std::fputc('\n', report);
    return skipped;
}

// Colours shown that the picture's palette does not define.
void warn_about_missing_colours(const PreviewImage& image, const PictureFacts& facts,
                                const char* path, std::FILE* messages) {
    int missing = 0;
    int highest = 0;
    for (int i = facts.palette_entries; i < 256; ++i) {
        if (image.index_used[i]) {
            ++missing;
            highest = i;
        }
    }
    if (missing > 0) {
        std::fprintf(messages,
                     "kelvora-preview: warning: %s: its palette has %d %s, but colour indices "
                     "up to %d are shown; %d %s shown in the display's standard colours%s\n",
                     path, facts.palette_entries, plural(facts.palette_entries, "entry", "entries"),
                     highest, missing, plural(missing, "is", "are"),
                     highest > 15 ? " (black above 15)" : "");
    }
}

bool write_png_file(const char* path, OutputFile& output, const PreviewImage& image, int scale,
                    std::FILE* messages) {
    int error = start_writing(output);
    if (error == 0) {
        error = write_preview_png(output.handle.fd(), image, scale);
    }
    if (error == 0) {
        error = commit_output(output); // a cut-off PNG never takes the earlier one's place
    }
    if (error != 0) {
        fail(messages, "can't write", path, std::strerror(error));
    }
    return error == 0;
}

} // namespace

int run_preview(Stores& stores, PreviewImage& image, const PreviewRequest& request,
                std::FILE* report, std::FILE* messages) {
    InputFile picture;
    if (!open_preview_input(request.picture_path, picture, messages)) {
        return PREVIEW_FAILED;
    }
    ByteReader reader; // 64 KiB of read-ahead, used for the picture, then the list
    start_reading(reader, picture.handle.fd());
    PictureFacts facts;
    if (!read_preview_picture(reader, request.picture_path, stores, facts, messages)) {
        return PREVIEW_FAILED;
    }
    print_picture_warnings(facts, request.picture_path, messages);

    const int scale =
        request.scale != 0 ? request.scale : automatic_scale(facts.width, facts.height);
    if (2 * facts.width * scale > MAX_PREVIEW_WIDTH) {
        std::fprintf(messages,
                     "kelvora-preview: can't preview at scale %d: the preview would be wider "
                     "than %d pixels; the largest scale for this picture is %d\n",
                     scale, MAX_PREVIEW_WIDTH, MAX_PREVIEW_WIDTH / (2 * facts.width));
        return PREVIEW_FAILED;
    }

    InputFile list;
    if (!open_preview_input(request.list_path, list, messages)) {
        return PREVIEW_FAILED;
    }
    // An existing output is opened now, so that it is checked against the
    // inputs before any work; one that can't be opened yet is tried again
    // when the preview is written, and reported then.
    OutputFile output;
    int error = 0;
    if (open_output(request.output_path, {&picture, &list}, false, output, error) ==
        OutputOpening::AlsoAnInput) {
        fail(messages, "can't write", request.output_path, "it is also an input");
        return PREVIEW_FAILED;
    }

    start_preview(image, stores.grid, facts.width, facts.height, facts.palette);
    start_reading(reader, list.handle.fd());
    const std::int64_t skipped = preview_list(stores, image, reader, report);
    if (reader.error != 0) {
        fail(messages, "can't read", request.list_path, "read error; nothing written");
        return PREVIEW_FAILED;
    }
    warn_about_missing_colours(image, facts, request.picture_path, messages);

    if (!output.handle.is_open()) {
        switch (open_output(request.output_path, {&picture, &list}, true, output, error)) {
        case OutputOpening::Opened:
            break;
        case OutputOpening::CannotOpen:
            fail(messages, "can't open", request.output_path, std::strerror(error));
            return PREVIEW_FAILED;
        case OutputOpening::AlsoAnInput:
            fail(messages, "can't write", request.output_path, "it is also an input");
            return PREVIEW_FAILED;
        }
    }
    if (!write_png_file(request.output_path, output, image, scale, messages)) {
        return PREVIEW_FAILED;
    }
    return skipped > 0 ? PREVIEW_FAILED : PREVIEW_DONE;
}

} // namespace kelvora
