// Writing a file of the preview whole or not at all, through the files'
// own replacing.
#include "png/png_file.h"

#include <cerrno>
#include <cstring>

#include "png/png_writer.h"
#include "png/view_picture.h"

namespace kelvora {
namespace {

void fail(std::FILE* messages, const char* path, const char* why) {
    std::fprintf(messages, "kelvora-preview: can't write %s: %s\n", path, why);
}

} // namespace

bool write_whole_file(const char* path, OutputFile& output, WriteBytes write, const void* context,
                      std::FILE* messages) {
    int error = start_writing(output);
    if (error == 0) {
        error = write(output.handle.fd(), context);
    }
    if (error == 0) {
        error = commit_output(output); // a cut-off file never takes the earlier one's place
    }
    if (error != 0) {
        fail(messages, path, error == ENOMEM ? "out of memory" : std::strerror(error));
    }
    return error == 0;
}

bool write_preview_files(const char* preview_path, OutputFile& preview, const char* view_path,
                         OutputFile& view, const PreviewImage& image, const PictureGrid& grid,
                         int scale, std::FILE* messages) {
    struct Png {
        const PreviewImage* image;
        const PictureGrid* grid;
        int scale;
    } const png{&image, &grid, scale};
    const bool written = write_whole_file(
        preview_path, preview,
        [](int fd, const void* context) {
            const Png& png = *static_cast<const Png*>(context);
            return write_preview_png(fd, *png.image, *png.grid, png.scale);
        },
        &png, messages);
    return written &&
           (view_path == nullptr ||
            write_whole_file(
                view_path, view,
                [](int fd, const void* context) {
                    return write_view_picture(fd, *static_cast<const PreviewImage*>(context));
                },
                &image, messages));
}

bool open_output_to_write(const char* path, std::initializer_list<const InputFile*> inputs,
                          OutputFile& output, OutputWay way, std::FILE* messages) {
    if (output.handle.is_open()) {
        return true;
    }
    int error = 0;
    switch (open_output(path, inputs, true, output, error, way)) {
    case OutputOpening::Opened:
        return true;
    case OutputOpening::CannotOpen:
        std::fprintf(messages, "kelvora-preview: can't open %s: %s\n", path, std::strerror(error));
        return false;
    case OutputOpening::AlsoAnInput:
        fail(messages, path, "it is also an input");
        return false;
    }
    return false;
}

bool open_further_output(const char* path, std::initializer_list<const InputFile*> inputs,
                         const OutputFile& first, OutputFile& output, OutputWay way,
                         std::FILE* messages) {
    if (!open_output_to_write(path, inputs, output, way, messages)) {
        return false;
    }
    if (same_output(output, first)) {
        fail(messages, path, "it is also the preview");
        return false;
    }
    return true;
}

} // namespace kelvora
