// A PNG written into its file as kelvora writes its output: whole or not at
// all, so that a failure leaves the earlier file as it was. For the preview
// and for the picture of the display's view.
#pragma once

#include <cstdio>

#include "files/files.h"

namespace kelvora {

// Puts the file's bytes to the descriptor: 0, or the errno of the failure.
using WriteBytes = int (*)(int fd, const void* context);

// Writes the opened output through `write` and puts it in place; false,
// with "kelvora-preview: can't write PATH: why" on `messages`, when it
// could not be.
bool write_whole_file(const char* path, OutputFile& output, WriteBytes write, const void* context,
                      std::FILE* messages);

// Opens a further output of a run, beside `first` (its preview): false,
// with the message, when it can't be written, or would be an input or that
// preview.
bool open_further_output(const char* path, std::initializer_list<const InputFile*> inputs,
                         const OutputFile& first, OutputFile& output, OutputWay way,
                         std::FILE* messages);

} // namespace kelvora
