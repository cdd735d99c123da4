// Writing a file of the preview whole or not at all, through the files'
// own replacing.
#include "png/png_file.h"

#include <cerrno>
#include <cstring>

#include "png/png_writer.h"
#include "png/view_picture.h"

namespace kelvora {
namespace {

void cannot_write(std::FILE* messages, const char* path, const char* why) {
    print_failure(messages, "can't write", path, why);
}

// Puts the file's bytes to the descriptor: 0, or the errno of the failure.
using WriteBytes = int (*)(int fd, const void* context);

// Writes the opened output through `write` and puts it in place; false,
// with the message, when it could not be.
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
        cannot_write(messages, path, error == ENOMEM ? "out of memory" : std::strerror(error));
    }
    return error == 0;
}

// Opens an output of a run to be written, made where it is missing, unless
// it is open already: false, with the message, when it can't be, or is an
// input.
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
        print_failure(messages, "can't open", path, std::strerror(error));
        return false;
    case OutputOpening::AlsoAnInput:
        cannot_write(messages, path, "it is also an input");
        return false;
    }
    return false;
}

// Opens a further output of a run, beside `first` (its preview): false,
// with the message, when it can't be written, or would be an input or that
// preview.
bool open_further_output(const char* path, std::initializer_list<const InputFile*> inputs,
                         const OutputFile& first, OutputFile& output, OutputWay way,
                         std::FILE* messages) {
    if (!open_output_to_write(path, inputs, output, way, messages)) {
        return false;
    }
    if (same_output(output, first)) {
        cannot_write(messages, path, "it is also the preview");
        return false;
    }
    return true;
}

} // namespace

void print_failure(std::FILE* messages, const char* what, const char* name, const char* why) {
    std::fprintf(messages, "kelvora-preview: %s %s: %s\n", what, name, why);
}

bool open_preview_early(const char* path, std::initializer_list<const InputFile*> inputs,
                        OutputFile& preview, OutputWay way, std::FILE* messages) {
    int error = 0;
    if (open_output(path, inputs, false, preview, error, way) == OutputOpening::AlsoAnInput) {
        cannot_write(messages, path, "it is also an input");
        return false;
    }
    return true;
}

bool write_preview_files(const char* preview_path, OutputFile& preview, const char* view_path,
                         std::initializer_list<const InputFile*> inputs, const PreviewImage& image,
                         const PictureGrid& grid, int scale, OutputWay way, std::FILE* messages) {
    OutputFile view;
    if (!open_output_to_write(preview_path, inputs, preview, way, messages) ||
        (view_path != nullptr &&
         !open_further_output(view_path, inputs, preview, view, way, messages))) {
        return false;
    }
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

} // namespace kelvora
