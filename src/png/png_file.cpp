// Writing a file of the preview whole or not at all, through the files'
// own replacing.
#include "png/png_file.h"

#include <cerrno>
#include <cstring>

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

bool open_further_output(const char* path, std::initializer_list<const InputFile*> inputs,
                         const OutputFile& first, OutputFile& output, OutputWay way,
                         std::FILE* messages) {
    int error = 0;
    switch (open_output(path, inputs, true, output, error, way)) {
    case OutputOpening::Opened:
        break;
    case OutputOpening::CannotOpen:
        std::fprintf(messages, "kelvora-preview: can't open %s: %s\n", path, std::strerror(error));
        return false;
    case OutputOpening::AlsoAnInput:
        fail(messages, path, "it is also an input");
        return false;
    }
    if (same_output(output, first)) {
        fail(messages, path, "it is also the preview");
        return false;
    }
    return true;
}

} // namespace kelvora
