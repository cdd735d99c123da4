// The preview run over the three files. The picture is read twice: once by
// the preview for its header and palette, then by the converter's own loader.
#include "preview/preview_run.h"

#include <sys/stat.h>

#include <cerrno>
#include <cinttypes>
#include <cstring>

#include "input/picture.h"
#include "input/resource_list.h"
#include "main/run.h"
#include "preview/bmp_facts.h"
#include "preview/png_writer.h"

namespace kelvora {
namespace {

void fail(std::FILE* messages, const char* what, const char* name, const char* why) {
    std::fprintf(messages, "kelvora-preview: %s %s: %s\n", what, name, why);
}

// Opens an input, refusing a directory, which would otherwise read as empty.
std::FILE* open_input(const char* path, struct stat& info, std::FILE* messages) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        fail(messages, "can't open", path, std::strerror(errno));
        return nullptr;
    }
    const int error = fstat(fileno(file), &info) != 0 ? errno : S_ISDIR(info.st_mode) ? EISDIR : 0;
    if (error != 0) {
        fail(messages, "can't open", path, std::strerror(error));
        std::fclose(file);
        return nullptr;
    }
    return file;
}

// Reads the header and palette, then rewinds for the converter's loader.
bool read_picture(std::FILE* picture, const char* path, const struct stat& info, Stores& stores,
                  BmpFacts& facts, std::FILE* messages) {
    if (!S_ISREG(info.st_mode)) {
        fail(messages, "can't read", path, "the picture must be a regular file");
        return false;
    }
    std::uint8_t head[BMP_HEAD_BYTES];
    const std::size_t length = std::fread(head, 1, sizeof head, picture);
    read_bmp_facts(head, length, static_cast<std::uint64_t>(info.st_size), facts);
    if (std::ferror(picture) != 0 || std::fseek(picture, 0, SEEK_SET) != 0) {
        fail(messages, "can't read", path, std::strerror(errno));
        return false;
    }
    if (!load_picture(picture, stores.grid)) {
        char reason[160];
        describe_header_problem(facts, reason, sizeof reason);
        std::fprintf(messages,
                     "kelvora-preview: can't preview %s: %s; kelvora reads only uncompressed 4- "
                     "or 8-bit BMPs, stored bottom-up, whose width and height are multiples of "
                     "8 up to 1024. Re-save the picture as one.\n",
                     path, reason);
        return false;
    }
    if (std::ferror(picture) != 0) {
        fail(messages, "can't read", path, std::strerror(errno));
        return false;
    }
    return true;
}

bool same_file(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Writing the preview over an input would destroy it; devices lose nothing.
bool output_is_an_input(const char* path, const struct stat& picture, const struct stat& list) {
    struct stat output {};
    return stat(path, &output) == 0 && S_ISREG(output.st_mode) &&
           (same_file(output, picture) || same_file(output, list));
}

const char* kind_name(char kind) {
    switch (kind) {
    case 'B':
        return "block";
    case 'T':
        return "tile table";
    case 's':
        return "white sprite";
    default:
        return "sprite";
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
    const auto kind = static_cast<unsigned char>(record.kind);
    if (kind > ' ' && kind < 0x7F) {
        std::fprintf(report, ": %s \"%c\", ", kind_name(record.kind), kind);
    } else if (kind == 0) {
        std::fprintf(report, ": %s \"\", ", kind_name(record.kind));
    } else {
        std::fprintf(report, ": %s \"\\x%02x\", ", kind_name(record.kind), kind);
    }
    const std::int64_t across = cells_across(record.width);
    if (is_block_kind(record.kind)) {
        std::fprintf(report, "%" PRId64 " x %" PRId64 " cells", across,
                     cells_across(record.height));
    } else {
        const std::int64_t rows = record.height > 0 ? record.height : 0;
        std::fprintf(report, "%" PRId64 " %s x %" PRId64 " %s", across,
                     plural(across, "cell", "cells"), rows, plural(rows, "row", "rows"));
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
std::int64_t preview_list(Stores& stores, PreviewImage& image, std::FILE* list, std::FILE* report) {
    std::int64_t previewed = 0;
    std::int64_t skipped = 0;
    std::int64_t changed = 0;
    ResourceRecord record{};
    ListStream stream; // 64 KiB of read-ahead, for this list only
    start_list(stream, list);
    while (read_record(stream, record)) {
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
void warn_about_missing_colours(const PreviewImage& image, const BmpFacts& facts, const char* path,
                                std::FILE* messages) {
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

bool write_png_file(const char* path, const PreviewImage& image, int scale, std::FILE* messages) {
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        fail(messages, "can't open", path, std::strerror(errno));
        return false;
    }
    struct stat info {};
    const bool regular = fstat(fileno(file), &info) == 0 && S_ISREG(info.st_mode);
    errno = 0;
    bool written = write_preview_png(file, image, scale) && std::fflush(file) == 0;
    const int error = errno;
    written = std::fclose(file) == 0 && written;
    if (!written) {
        fail(messages, "can't write", path, std::strerror(error != 0 ? error : errno));
        if (regular) {
            std::remove(path); // a cut-off PNG is no use to anyone
        }
    }
    return written;
}

} // namespace

int run_preview(Stores& stores, PreviewImage& image, const PreviewRequest& request,
                std::FILE* report, std::FILE* messages) {
    struct stat picture_info {};
    std::FILE* picture = open_input(request.picture_path, picture_info, messages);
    if (picture == nullptr) {
        return PREVIEW_FAILED;
    }
    BmpFacts facts{};
    const bool loaded =
        read_picture(picture, request.picture_path, picture_info, stores, facts, messages);
    std::fclose(picture);
    if (!loaded) {
        return PREVIEW_FAILED;
    }
    print_bmp_warnings(facts, request.picture_path, messages);

    const int scale =
        request.scale != 0 ? request.scale : automatic_scale(facts.width, facts.height);
    if (2 * facts.width * scale > MAX_PREVIEW_WIDTH) {
        std::fprintf(messages,
                     "kelvora-preview: can't preview at scale %d: the preview would be wider "
                     "than %d pixels; the largest scale for this picture is %d\n",
                     scale, MAX_PREVIEW_WIDTH, MAX_PREVIEW_WIDTH / (2 * facts.width));
        return PREVIEW_FAILED;
    }

    struct stat list_info {};
    std::FILE* list = open_input(request.list_path, list_info, messages);
    if (list == nullptr) {
        return PREVIEW_FAILED;
    }
    if (output_is_an_input(request.output_path, picture_info, list_info)) {
        fail(messages, "can't write", request.output_path, "it is also an input");
        std::fclose(list);
        return PREVIEW_FAILED;
    }

    start_preview(image, stores.grid, facts.width, facts.height, facts.palette);
    const std::int64_t skipped = preview_list(stores, image, list, report);
    const bool list_read = std::ferror(list) == 0;
    std::fclose(list);
    if (!list_read) {
        fail(messages, "can't read", request.list_path, "read error; nothing written");
        return PREVIEW_FAILED;
    }
    warn_about_missing_colours(image, facts, request.picture_path, messages);

    if (!write_png_file(request.output_path, image, scale, messages)) {
        return PREVIEW_FAILED;
    }
    return skipped > 0 ? PREVIEW_FAILED : PREVIEW_DONE;
}

} // namespace kelvora
