// The --from runs: the list and the output read side by side, the output's
// bands put back into the stores and drawn as the preview draws, and the
// findings printed in the compilers' form.
#include "preview/from_run.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <new>

#include "cells/band.h"
#include "check/findings.h"
#include "convert/convert_record.h"
#include "draw/cell_changes.h"
#include "input/resource_list.h"
#include "model/zeroed_block.h"
#include "output/sheet.h"
#include "png/png_file.h"
#include "png/png_writer.h"
#include "png/view_picture.h"
#include "preview/preview_run.h"

namespace kelvora {
namespace {

// Outside every record the preview of an output shows this grey: there is
// no picture to dim.
constexpr Rgb OUTSIDE_GREY{0x60, 0x60, 0x60};

// What reading a sheet works with: where the findings go, and for the
// drawing, the record at hand and the bounding box of all drawn so far.
struct Drawing {
    FromFinding found;
    void* found_context;
    Stores* stores;
    PreviewImage* image; // none when only checking
    const ResourceRecord* record;
    const RecordLayout* layout;
    std::int64_t right;
    std::int64_t bottom;
};

// A sprite's cell columns get their drawn colours: each is painted into the
// grid as the view shows it in bright white and black, and then given the
// ink a conversion of that would choose for it, where that is a colour the
// view can show (else bright white, the column having no ink a conversion
// could give it).
void give_sprite_colours(Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                         int row) {
    InkPaper colours = BAND_START_COLOURS;
    const std::int64_t columns = columns_drawn(layout);
    const int bottom = static_cast<int>(std::min<std::int64_t>(row + layout.rows, GRID_ROWS));
    for (std::int64_t i = 0; i < columns; ++i) {
        const auto cx = static_cast<int>(record.x + 8 * i);
        const int column = cx / 8;
        for (int k = 0; k < 8; ++k) {
            ColourIndex* pixels = stores.grid.column(cx + k);
            for (int y = row; y < bottom; ++y) {
                const bool opaque = ((stores.mask.bytes[column][y] >> (7 - k)) & 1) != 0;
                const bool ink = ((stores.bitmap.bytes[column][y] >> (7 - k)) & 1) != 0;
                pixels[y] = opaque ? (ink ? 15 : 8) : 0;
            }
        }
        const ColourIndex ink = choose_cell_colours(stores.grid, record, cx, row, colours);
        const bool shown = ink >= 1 && ink <= 15 && ink != NO_COLOUR;
        stores.attributes.bytes[column] = make_attribute(shown ? ink : 15, 0);
    }
}

void draw_band(Drawing& drawing, std::int64_t band) {
    Stores& stores = *drawing.stores;
    const ResourceRecord& record = *drawing.record;
    const RecordLayout& layout = *drawing.layout;
    const auto row = static_cast<int>(record.y + band * layout.band_height);
    if (layout.body == BandBody::SpriteRows) {
        give_sprite_colours(stores, record, layout, row);
    }
    draw_band_shown(stores, record, layout, row, GRID_SIZE, GRID_ROWS, drawing.image->shown);
    // The grid takes the band as the view's picture holds it, for the
    // sprites after it to choose their colours from.
    const std::int64_t columns = columns_drawn(layout);
    const int bottom =
        static_cast<int>(std::min<std::int64_t>(row + layout.band_height, GRID_ROWS));
    for (std::int64_t i = 0; i < columns; ++i) {
        const auto cx = static_cast<int>(record.x + 8 * i);
        for (int y = row; y < bottom; ++y) {
            for (int k = 0; k < 8; ++k) {
                stores.grid.at(cx + k, y) = view_index(
                    drawing.image->shown[static_cast<std::size_t>(y) * GRID_SIZE + cx + k]);
            }
        }
    }
}

// The image as a preview of an output starts: the whole grid, no record
// drawn, no picture beside it.
void start_view(PreviewImage& image) {
    image.width = GRID_SIZE;
    image.height = GRID_ROWS;
    image.indexed = true;
    image.drawn_panel = false;
    for (Rgb& colour : image.palette) {
        colour = OUTSIDE_GREY;
    }
    std::memset(image.shown, SHOWN_OUTSIDE, sizeof image.shown);
    std::memset(image.marks, 0, sizeof image.marks);
}

// Cuts the image down to the bounding box rounded up to 8.
void end_view(PreviewImage& image, std::int64_t right, std::int64_t bottom) {
    const auto size = [](std::int64_t pixels) {
        const std::int64_t rounded = (pixels + 7) / 8 * 8;
        return static_cast<int>(rounded < 8 ? 8 : rounded > GRID_SIZE ? GRID_SIZE : rounded);
    };
    const int width = size(right);
    const int height = size(bottom);
    for (int y = 0; y < height; ++y) {
        const std::size_t from = static_cast<std::size_t>(y) * GRID_SIZE;
        const std::size_t to = static_cast<std::size_t>(y) * width;
        std::memmove(image.shown + to, image.shown + from, static_cast<std::size_t>(width));
        std::memmove(image.marks + to, image.marks + from, static_cast<std::size_t>(width));
    }
    image.width = width;
    image.height = height;
}

OutputVisitor visitor_of(Drawing& drawing) {
    OutputVisitor visitor{};
    visitor.context = &drawing;
    visitor.finding = [](void* context, const OutputFinding& finding) {
        const Drawing& d = *static_cast<Drawing*>(context);
        d.found(d.found_context, finding);
    };
    if (drawing.image == nullptr) {
        return visitor;
    }
    visitor.body_line = [](void* context, std::int64_t band, std::int64_t index,
                           const std::uint8_t* bytes, std::int64_t) {
        const Drawing& d = *static_cast<Drawing*>(context);
        store_body_line(*d.stores, *d.record, *d.layout, band, index, bytes);
    };
    visitor.band_end = [](void* context, std::int64_t band, std::uint8_t, std::int64_t) {
        draw_band(*static_cast<Drawing*>(context), band);
    };
    return visitor;
}

// Prints the findings as the checker prints its own: "OUTPUT:LINE: error:
// ...", or for a binary "OUTPUT: error: at byte N (0xN): ..."; as many
// as it shows of its errors, the rest only counted.
struct Printer {
    const char* path;
    std::FILE* report;
    std::int64_t found;
};

void print_finding(void* context, const OutputFinding& finding) {
    Printer& printer = *static_cast<Printer*>(context);
    if (++printer.found > ERRORS_SHOWN) {
        return;
    }
    if (finding.binary) {
        std::fprintf(printer.report, "%s: error: at byte %" PRId64 " (0x%" PRIx64 "): %s\n",
                     printer.path, finding.at, static_cast<std::uint64_t>(finding.at),
                     finding.text);
    } else {
        std::fprintf(printer.report, "%s:%" PRId64 ": error: %s\n", printer.path, finding.at,
                     finding.text);
    }
}

void print_findings_left(const Printer& printer) {
    if (printer.found > ERRORS_SHOWN) {
        std::fprintf(printer.report, "%s: error: %" PRId64 " more, not shown\n", printer.path,
                     printer.found - ERRORS_SHOWN);
    }
}

void print_form(const FromSheet& sheet, const char* path, std::FILE* report) {
    if (sheet.form.binary) {
        std::fprintf(report, "%s: read as the bytes of --binary\n", path);
        return;
    }
    char names[128];
    name_syntax(*sheet.form.syntax, names, sizeof names);
    std::fprintf(report, "%s: read as assembler text in %s\n", path, names);
}

// Opens both inputs and starts their readers; false, with the message, when
// one can't be opened.
bool open_inputs(FromMemory& memory, const FromRequest& request, InputFile& output, InputFile& list,
                 std::FILE* messages) {
    if (!open_preview_input(request.output_path, output, messages) ||
        !open_preview_input(request.list_path, list, messages)) {
        return false;
    }
    start_output_reader(memory.output, output.handle.fd());
    start_reading(memory.list, list.handle.fd());
    return true;
}

// A failed read of either input, reported; true when there was one.
bool read_failed(const FromMemory& memory, const FromRequest& request, std::FILE* messages) {
    if (memory.output.bytes.error != 0) {
        print_failure(messages, "can't read", request.output_path,
                      std::strerror(memory.output.bytes.error));
        return true;
    }
    if (memory.list.error != 0) {
        print_failure(messages, "can't read", request.list_path, std::strerror(memory.list.error));
        return true;
    }
    return false;
}

} // namespace

FromMemory& allocate_from_memory() {
    void* block = allocate_zeroed_block(sizeof(FromMemory));
    if (block == nullptr) {
        return *new FromMemory{}; // zero like the block, only slower to touch
    }
    return *new (block) FromMemory;
}

FromSheet read_sheet_from_output(FromMemory& memory, PreviewImage* image, const AsmSyntax* syntax,
                                 bool binary, FromFinding found, void* context, std::FILE* report) {
    FromSheet sheet{};
    OutputReader& output = memory.output;
    Drawing drawing{found, context, &memory.stores, image, nullptr, nullptr, 0, 0};
    const OutputVisitor visitor = visitor_of(drawing);
    if (image != nullptr) {
        start_view(*image);
    }
    // The list is read a written record ahead: where a record's lines end
    // is told by the next one's label. A record outside the grid has no
    // lines; it is reported as it is met, after the record before it.
    const auto read_written = [&](ResourceRecord& record) {
        while (read_record(memory.list, record)) {
            if (!record_is_outside(record)) {
                return true;
            }
            ++sheet.outside;
            if (report != nullptr) {
                report_outside(record, report);
            }
        }
        return false;
    };
    static ResourceRecord records[2];
    int at = 0;
    bool more = read_written(records[at]);
    // The form is told from the output's start and the first written
    // record, whose label helps tell a syntax.
    if (binary || syntax != nullptr) {
        sheet.form.told = true;
        sheet.form.binary = binary;
        sheet.form.syntax = syntax;
    } else {
        sheet.form = detect_output_form(output, more ? &records[at] : nullptr);
    }
    if (!sheet.form.told) {
        found(context, sheet.form.why);
    } else if (sheet.form.binary) {
        read_as_binary(output);
    } else {
        read_as_text(output, *sheet.form.syntax);
    }
    if (sheet.form.told) {
        read_output_start(output, visitor);
    }
    while (more && sheet.form.told && !output.stopped) {
        const ResourceRecord& record = records[at];
        const RecordLayout layout = record_layout(record);
        if (report != nullptr) {
            print_record_kind_and_size(record, report);
            std::fputc('\n', report);
        }
        more = read_written(records[at ^ 1]);
        drawing.record = &record;
        drawing.layout = &layout;
        read_output_record(output, record, layout, more ? &records[at ^ 1] : nullptr, visitor);
        ++sheet.records;
        const std::int64_t columns = columns_drawn(layout);
        if (image != nullptr && columns > 0 && layout.rows > 0) {
            static RecordPreview frame;
            frame_record(image, record, layout, GRID_SIZE, GRID_ROWS, frame);
            drawing.right = std::max(drawing.right, record.x + 8 * columns);
            drawing.bottom = std::max(drawing.bottom, record.y + layout.rows);
            sheet.sprites += layout.body == BandBody::SpriteRows ? 1 : 0;
        }
        at ^= 1;
    }
    if (sheet.form.told) {
        read_output_end(output, visitor);
    }
    if (image != nullptr) {
        end_view(*image, drawing.right, drawing.bottom);
    }
    return sheet;
}

int run_from(FromMemory& memory, PreviewImage& image, const FromRequest& request, std::FILE* report,
             std::FILE* messages) {
    InputFile output_file;
    InputFile list_file;
    if (!open_inputs(memory, request, output_file, list_file, messages)) {
        return PREVIEW_FAILED;
    }
    OutputFile preview;
    if (!open_preview_early(request.preview_path, {&output_file, &list_file}, preview,
                            request.output_way, messages)) {
        return PREVIEW_FAILED;
    }
    Printer printer{request.output_path, report, 0};
    const FromSheet sheet = read_sheet_from_output(memory, &image, request.syntax, request.binary,
                                                   print_finding, &printer, report);
    print_findings_left(printer);
    if (read_failed(memory, request, messages)) {
        return PREVIEW_FAILED;
    }
    if (printer.found > 0) {
        print_failure(messages, "can't preview", request.output_path,
                      sheet.form.told
                          ? "it does not hold what the list gives (see above); nothing written"
                          : "its form is not one kelvora writes (see above); nothing written");
        return PREVIEW_FAILED;
    }
    print_form(sheet, request.output_path, report);
    std::fprintf(report, "total: %" PRId64 " %s", sheet.records,
                 sheet.records == 1 ? "record" : "records");
    if (sheet.outside > 0) {
        std::fprintf(report, ", %" PRId64 " not converted", sheet.outside);
    }
    std::fputc('\n', report);
    if (sheet.sprites > 0) {
        std::fputs("legend: an output holds no sprite colours, so sprites are drawn in bright "
                   "white ink on black paper (a column whose ink a conversion takes from the "
                   "record's colour, in that colour), their transparent pixels as a grey "
                   "checkerboard\n",
                   report);
    }
    // One panel, as wide as the two of a picture half its width.
    const int scale =
        request.scale != 0 ? request.scale : automatic_scale(image.width / 2, image.height);
    if (!write_preview_files(request.preview_path, preview, request.view_path,
                             {&output_file, &list_file}, image, memory.stores.grid, scale,
                             request.output_way, messages)) {
        return PREVIEW_FAILED;
    }
    return sheet.outside > 0 ? PREVIEW_FAILED : PREVIEW_DONE;
}

int run_check_from(FromMemory& memory, const FromRequest& request, std::FILE* report,
                   std::FILE* messages) {
    InputFile output_file;
    InputFile list_file;
    if (!open_inputs(memory, request, output_file, list_file, messages)) {
        return CHECK_CANNOT_RUN;
    }
    Printer printer{request.output_path, report, 0};
    read_sheet_from_output(memory, nullptr, request.syntax, request.binary, print_finding, &printer,
                           nullptr);
    print_findings_left(printer);
    if (read_failed(memory, request, messages)) {
        return CHECK_CANNOT_RUN;
    }
    return printer.found > 0 ? CHECK_FOUND_ERRORS : CHECK_CLEAN;
}

} // namespace kelvora
