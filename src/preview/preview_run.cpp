// The preview run over the three files: the picture is read by the
// converter's own reader and the list through a window, every record is
// converted by the converter's own record conversion and what changed is
// counted (for a preview, drawn too), and the PNG is written at the end. The
// check only counts. Both runs open a sheet and go through it with the same
// two functions, open_sheet and check_sheet.
#include "preview/preview_run.h"

#include <cerrno>
#include <cinttypes>
#include <cstddef>
#include <cstring>
#include <new>

#include <sys/stat.h>

#include "check/findings.h"
#include "check/list_window.h"
#include "convert/convert_record.h"
#include "draw/cell_changes.h"
#include "files/files.h"
#include "input/byte_reader.h"
#include "input/picture.h"
#include "input/resource_list.h"
#include "model/zeroed_block.h"
#include "png/png_file.h"
#include "png/png_writer.h"

namespace kelvora {
namespace {

void print_warning_start(const char* name, std::FILE* messages) {
    std::fprintf(messages, "kelvora-preview: warning: %s: ", name);
}

// One warning line for each way the converter reads this picture other than
// its maker may have meant: a BMP without its signature, a file that ends
// before its pixels do.
void print_picture_warnings(const PictureFacts& facts, const char* name, std::FILE* messages) {
    if (facts.format == PictureFormat::Bmp && !facts.signature_is_bm) {
        print_warning_start(name, messages);
        std::fputs("it does not start with \"BM\", so it may not be a BMP at all; "
                   "it is read as one all the same\n",
                   messages);
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

} // namespace

void print_record_kind_and_size(const ResourceRecord& record, std::FILE* report) {
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
    const RecordLayout layout = record_layout(record);
    const std::int64_t columns = columns_drawn(layout);
    if (is_banded(record.kind)) {
        // Across by down, as a size: "1 x 1 cells" like "2 x 1 cells".
        std::fprintf(report, "%" PRId64 " x %" PRId64 " cells", columns, layout.bands);
    } else {
        std::fprintf(report, "%" PRId64 " %s x %" PRId64 " %s", columns,
                     plural(columns, "cell", "cells"), layout.rows,
                     plural(layout.rows, "row", "rows"));
    }
}

namespace {

void print_record_line(const ResourceRecord& record, const RecordPreview& preview,
                       const PreviewImage& image, std::FILE* report) {
    print_record_kind_and_size(record, report);
    std::fprintf(report, ", %" PRId64 " %s changed", preview.changed_pixels,
                 plural(preview.changed_pixels, "pixel", "pixels"));
    if (preview.reaches_beyond_picture) {
        std::fprintf(report, ", partly beyond the %dx%d picture (that part is not shown)",
                     image.width, image.height);
    }
    std::fputc('\n', report);
}

struct SheetTotals {
    std::int64_t previewed;
    std::int64_t skipped; // outside the grid
    std::int64_t changed;
};

// What the walk over the list works with: the picture, when it was taken,
// and the image to draw into, for a preview.
struct Sheet {
    Stores* stores;
    const PictureFacts* facts; // null when the picture was refused
    const DrawnColours* drawn;
    PreviewImage* image; // null when only checking
    std::FILE* report;   // each record's line, for a preview
};

// Checks every record of the list and, when the picture was taken, converts
// it as kelvora would, counting (and for a preview drawing) what changed.
SheetTotals walk_sheet(const Sheet& sheet, ListWindow& window, ByteReader& reader,
                       Findings& findings) {
    static RecordPreview preview; // a few KiB of cell changes, kept off the stack
    SheetTotals totals{0, 0, 0};
    const ListReading list{&window, &reader};
    // What is found in a record's own text is found before the next record
    // is read, while its bytes are surely held. Then the next record is
    // read, and the memory its label will be looked up in is fetched while
    // the one at hand is converted and its label looked up: with many
    // labels, that memory is far.
    ResourceRecord records[2]{};
    RecordTrace traces[2]{};
    std::uint64_t hashes[2] = {0, 0};
    std::uint64_t starts[2] = {0, 0};
    int at = 0;
    bool more = read_record(reader, records[0], traces[0]);
    hashes[0] = label_hash(records[0].name, records[0].label_length);
    while (more) {
        const ResourceRecord& record = records[at];
        const RecordTrace& trace = traces[at];
        std::int64_t line = 0;
        const RecordLayout layout = record_layout(record);
        const bool outside = record_is_outside(record, layout);
        const bool own = find_record_errors(findings, list, record, trace, line);

        // The record at hand stays held while the next is read: its end is
        // where a wrong record's leftovers are looked for.
        keep_list_bytes(window, starts[at]);
        starts[at ^ 1] = bytes_taken(reader);
        more = read_record(reader, records[at ^ 1], traces[at ^ 1]);
        if (more) {
            hashes[at ^ 1] = label_hash(records[at ^ 1].name, records[at ^ 1].label_length);
            prefetch_label(findings.labels, hashes[at ^ 1]);
        }

        const bool converted = !outside && sheet.facts != nullptr;
        if (converted) {
            preview_record(sheet.image, *sheet.stores, record, layout, *sheet.drawn,
                           sheet.facts->width, picture_rows(*sheet.facts),
                           own ? cells_to_describe(findings) : 0, preview);
        }
        if (own && !outside) {
            find_label_errors(findings, record, layout, hashes[at], line);
        }
        if (own) {
            find_number_errors(findings, list, record, layout, trace, outside, sheet.facts, line);
        }
        at ^= 1;
        if (outside) {
            ++totals.skipped;
            continue;
        }
        if (!converted) {
            continue;
        }
        if (sheet.report != nullptr) {
            print_record_line(record, preview, *sheet.image, sheet.report);
        }
        if (own) {
            find_record_notes(findings, record, line, preview);
        }
        ++totals.previewed;
        totals.changed += preview.changed_pixels;
    }
    find_list_end(findings, list, bytes_taken(reader));
    return totals;
}

// A list of many records has room made for its labels at once: a record
// takes 14 bytes at the least, and usually some more.
void expect_labels(Findings& findings, const InputFile& list) {
    if (S_ISREG(list.info.st_mode) && list.info.st_size > 0) {
        reserve_labels(findings.labels, static_cast<std::size_t>(list.info.st_size) / 16);
    }
}

// Colours drawn that the picture's palette does not define.
void warn_about_missing_colours(const DrawnColours& drawn, const PictureFacts& facts,
                                const char* path, std::FILE* messages) {
    int missing = 0;
    int highest = 0;
    for (int i = facts.palette_entries; i < 256 && facts.indexed; ++i) {
        if (drawn.used[i]) {
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

// A sheet as a run goes through it: its two files, the picture read from
// the first, and what the walk over the second came to.
struct SheetRun {
    PreviewImage* image; // null when only checking
    InputFile picture;
    InputFile list;
    ByteReader reader; // 64 KiB of read-ahead for the picture; the list comes through a window
    PictureFacts facts;
    PictureVerdict verdict;
    bool swapped; // the names given the wrong way round
    int scale;    // a preview's
    DrawnColours drawn;
    SheetTotals totals;
};

// Opens the sheet for either run: the picture opened and read, then the
// list opened; false, said to `messages`, when one fails. A preview keeps a
// truecolour picture's own colours, needs the picture taken, warns at once
// of what it reads otherwise than its maker may have meant, and needs its
// scale to fit; for the check a refused picture is a finding.
bool open_sheet(PreviewMemory& memory, const PreviewRequest& request, SheetRun& sheet,
                std::FILE* messages) {
    if (!open_preview_input(request.picture_path, sheet.picture, messages)) {
        return false;
    }
    start_reading(sheet.reader, sheet.picture.handle.fd());
    const bool preview = sheet.image != nullptr;
    sheet.verdict = read_picture(sheet.reader, memory.picture, memory.stores.grid, sheet.facts,
                                 preview ? sheet.image->drawn : nullptr);
    // With the names the wrong way round, all the list's findings would come
    // of that one mistake.
    sheet.swapped = hint_swapped_names(sheet.verdict, request.list_path);
    if (sheet.reader.error != 0 || (preview && !sheet.verdict.taken)) {
        print_failure(messages, "can't read", request.picture_path,
                      sheet.reader.error != 0 ? std::strerror(sheet.reader.error)
                                              : sheet.verdict.reason);
        return false;
    }
    if (preview) {
        const PictureFacts& facts = sheet.facts;
        print_picture_warnings(facts, request.picture_path, messages);
        sheet.scale =
            request.scale != 0 ? request.scale : automatic_scale(facts.width, picture_rows(facts));
        if (2 * facts.width * sheet.scale > MAX_PREVIEW_WIDTH) {
            std::fprintf(messages,
                         "kelvora-preview: can't preview at scale %d: the preview would be wider "
                         "than %d pixels; the largest scale for this picture is %d\n",
                         sheet.scale, MAX_PREVIEW_WIDTH, MAX_PREVIEW_WIDTH / (2 * facts.width));
            return false;
        }
    }
    return open_preview_input(request.list_path, sheet.list, messages);
}

// Checks the open sheet for either run: the picture, or why it was refused,
// then every record of the list, converted as kelvora would where the
// picture was taken, and for a preview drawn and reported a line each.
// Returns the findings, or null, said to `messages`, when the list could
// not be read to its end.
const Findings* check_sheet(PreviewMemory& memory, const PreviewRequest& request, SheetRun& sheet,
                            std::FILE* report, std::FILE* messages) {
    static Findings findings;
    start_findings(findings, report, request.picture_path, request.list_path);
    findings.assemblers = request.assemblers;
    findings.collect = request.collect;
    findings.collect_context = request.collect_context;
    const bool taken = sheet.verdict.taken;
    if (taken) {
        learn_drawn_colours(sheet.drawn, sheet.facts, memory.stores.grid);
        findings.drawn = &sheet.drawn;
        if (sheet.image != nullptr) {
            start_preview(*sheet.image, sheet.facts);
        }
        find_picture_errors(findings, sheet.facts, sheet.drawn);
    } else {
        find_refused_picture(findings, sheet.verdict.reason);
    }
    ListWindow& window = memory.window;
    start_list_window(window, sheet.list.handle.fd(), sheet.reader);
    expect_labels(findings, sheet.list);
    const Sheet walk{&memory.stores, taken ? &sheet.facts : nullptr, &sheet.drawn, sheet.image,
                     sheet.image != nullptr ? report : nullptr};
    sheet.totals =
        sheet.swapped ? SheetTotals{0, 0, 0} : walk_sheet(walk, window, sheet.reader, findings);
    end_findings(findings);
    if (window.error != 0) {
        print_failure(messages, "can't read", request.list_path, std::strerror(window.error));
        return nullptr;
    }
    return &findings;
}

} // namespace

bool open_preview_input(const char* path, InputFile& file, std::FILE* messages) {
    const int error = open_input(path, file);
    if (error != 0) {
        print_failure(messages, "can't open", path, std::strerror(error));
    }
    return error == 0;
}

PreviewMemory& allocate_preview_memory() {
    // Everything but a PNG's decoded picture is taken at once; that part, at
    // the end, is touched only when a PNG is read.
    void* block =
        allocate_zeroed_block(sizeof(PreviewMemory), offsetof(PreviewMemory, picture) +
                                                         offsetof(PictureScratch, png_pixels));
    if (block == nullptr) {
        return *new PreviewMemory{}; // zero like the block, only slower to touch
    }
    return *new (block) PreviewMemory;
}

int run_preview(PreviewMemory& memory, PreviewImage& image, const PreviewRequest& request,
                std::FILE* report, std::FILE* messages) {
    SheetRun sheet;
    sheet.image = &image;
    if (!open_sheet(memory, request, sheet, messages)) {
        return PREVIEW_FAILED;
    }
    OutputFile output;
    if (!open_preview_early(request.output_path, {&sheet.picture, &sheet.list}, output,
                            request.output_way, messages)) {
        return PREVIEW_FAILED;
    }

    if (check_sheet(memory, request, sheet, report, messages) == nullptr) {
        return PREVIEW_FAILED;
    }
    const SheetTotals& totals = sheet.totals;
    std::fprintf(report, "total: %" PRId64 " %s, %" PRId64 " %s changed", totals.previewed,
                 plural(totals.previewed, "record", "records"), totals.changed,
                 plural(totals.changed, "pixel", "pixels"));
    if (totals.skipped > 0) {
        std::fprintf(report, ", %" PRId64 " not converted", totals.skipped);
    }
    std::fputc('\n', report);
    warn_about_missing_colours(sheet.drawn, sheet.facts, request.picture_path, messages);

    if (!write_preview_files(request.output_path, output, request.view_path,
                             {&sheet.picture, &sheet.list}, image, memory.stores.grid, sheet.scale,
                             request.output_way, messages)) {
        return PREVIEW_FAILED;
    }
    return totals.skipped > 0 ? PREVIEW_FAILED : PREVIEW_DONE;
}

int run_check(PreviewMemory& memory, const PreviewRequest& request, std::FILE* report,
              std::FILE* messages) {
    SheetRun sheet;
    sheet.image = nullptr; // nothing is drawn, so a truecolour picture's own colours are not kept
    if (!open_sheet(memory, request, sheet, messages)) {
        return CHECK_CANNOT_RUN;
    }
    const Findings* findings = check_sheet(memory, request, sheet, report, messages);
    if (findings == nullptr) {
        return CHECK_CANNOT_RUN;
    }
    const bool failed = findings->errors > 0 || (request.strict && findings->notes > 0);
    return failed ? CHECK_FOUND_ERRORS : CHECK_CLEAN;
}

} // namespace kelvora
