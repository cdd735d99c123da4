// A PNG written into its file as kelvora writes its output: whole or not at
// all, so that a failure leaves the earlier file as it was. For the preview
// and for the picture of the display's view, of both runs.
#pragma once

#include <cstdio>

#include "draw/render.h"
#include "files/files.h"
#include "model/stores.h"

namespace kelvora {

// Puts the file's bytes to the descriptor: 0, or the errno of the failure.
using WriteBytes = int (*)(int fd, const void* context);

// Writes the opened output through `write` and puts it in place; false,
// with "kelvora-preview: can't write PATH: why" on `messages`, when it
// could not be.
bool write_whole_file(const char* path, OutputFile& output, WriteBytes write, const void* context,
                      std::FILE* messages);

// Writes the preview's PNG at `scale` into `preview` and, where `view_path`
// is given, the view's picture (--picture) into `view`, each whole or not
// at all; false, with the message, at the first that could not be.
bool write_preview_files(const char* preview_path, OutputFile& preview, const char* view_path,
                         OutputFile& view, const PreviewImage& image, const PictureGrid& grid,
                         int scale, std::FILE* messages);

// Opens an output of a run to be written, made where it is missing, unless
// it is open already: false, with the message, when it can't be, or is an
// input.
bool open_output_to_write(const char* path, std::initializer_list<const InputFile*> inputs,
                          OutputFile& output, OutputWay way, std::FILE* messages);

// Opens a further output of a run, beside `first` (its preview): false,
// with the message, when it can't be written, or would be an input or that
// preview.
bool open_further_output(const char* path, std::initializer_list<const InputFile*> inputs,
                         const OutputFile& first, OutputFile& output, OutputWay way,
                         std::FILE* messages);

} // namespace kelvora
