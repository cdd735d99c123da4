// The preview run: load the picture and its palette, read the list, check
// and preview every record, report what changed and what is wrong, and write
// the PNG; or, with --check, only report what is wrong.
#pragma once

#include <cstdio>

#include "check/finding.h"
#include "check/label_check.h"
#include "check/list_window.h"
#include "draw/render.h"
#include "files/files.h"
#include "input/picture.h"
#include "model/stores.h"

namespace kelvora {

// What a run works in, owned for the whole run like kelvora's: the stores
// and the window the list is read through, in one block.
struct PreviewMemory {
    Stores stores;
    ListWindow window;
    PictureScratch picture; // last: its largest part is touched only by PNGs
};

// The block, on a huge page where the system has them (see
// model/zeroed_block.h), zeroed.
PreviewMemory& allocate_preview_memory();

struct PreviewRequest {
    const char* picture_path;
    const char* list_path;
    const char* output_path; // none when only checking
    int scale;               // 1 to MAX_SCALE, or 0 for automatic_scale
    bool strict;             // when checking, notes count as errors
    AssemblerSet assemblers; // whose labels are checked

    OutputWay output_way = OutputWay::Chosen; // forced only by the tests
    // Given each finding as data, besides its line (by the tests).
    void (*collect)(const Finding& finding, void* context) = nullptr;
    void* collect_context = nullptr;
    const char* view_path = nullptr; // --picture: the view as a picture
};

// Exit statuses of kelvora-preview.
inline constexpr int PREVIEW_DONE = 0;
inline constexpr int PREVIEW_FAILED = 1; // nothing written, or a record could not be previewed
inline constexpr int PREVIEW_USAGE = 2;
// And of kelvora-preview --check.
inline constexpr int CHECK_CLEAN = 0;
inline constexpr int CHECK_FOUND_ERRORS = 1;
inline constexpr int CHECK_CANNOT_RUN = 2; // a wrong command line, a file not opened or read

// The whole run. The report (one line per record and a total) goes to
// `report`, warnings and failures to `messages`. The PNG is written only
// when the picture and the list were read in full; a record outside the grid
// is reported and left out, and the others are still written.
int run_preview(PreviewMemory& memory, PreviewImage& image, const PreviewRequest& request,
                std::FILE* report, std::FILE* messages);

// Opens an input of a run; false, with "kelvora-preview: can't open PATH:
// why" on `messages`, when it can't be.
bool open_preview_input(const char* path, InputFile& file, std::FILE* messages);

// A record's report line up to its size: "ship: sprite \"S\", 2 cells x 16
// rows", without a line feed.
void print_record_kind_and_size(const ResourceRecord& record, std::FILE* report);

// The check: the findings go to `report`, failures to read to `messages`;
// nothing is written, and nothing is drawn.
int run_check(PreviewMemory& memory, const PreviewRequest& request, std::FILE* report,
              std::FILE* messages);

} // namespace kelvora
