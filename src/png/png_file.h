// A PNG written into its file as kelvora writes its output: whole or not at
// all, so that a failure leaves the earlier file as it was. For the preview
// and for the picture of the display's view, of both runs.
#pragma once

#include <cstdio>

#include "draw/render.h"
#include "files/files.h"
#include "model/stores.h"

namespace kelvora {

// Prints "kelvora-preview: WHAT NAME: WHY", how both runs say they failed.
void print_failure(std::FILE* messages, const char* what, const char* name, const char* why);

// Opens an existing preview now, so that it is checked against the inputs
// before any work; one that can't be opened yet is tried again when the
// preview is written, and reported then. False, with the message, when it
// is also an input.
bool open_preview_early(const char* path, std::initializer_list<const InputFile*> inputs,
                        OutputFile& preview, OutputWay way, std::FILE* messages);

// Opens the preview (made where it is missing, unless open already) and,
// where `view_path` is given, the view's picture (--picture) beside it,
// then writes the preview's PNG at `scale` and the view's picture, each
// whole or not at all; false, with the message, at the first that can't be
// opened (or is an input, or the view's picture is the preview) or
// written.
bool write_preview_files(const char* preview_path, OutputFile& preview, const char* view_path,
                         std::initializer_list<const InputFile*> inputs, const PreviewImage& image,
                         const PictureGrid& grid, int scale, OutputWay way, std::FILE* messages);

} // namespace kelvora
