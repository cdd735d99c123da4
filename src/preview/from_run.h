// kelvora-preview --from: what the display shows, drawn from one of
// kelvora's outputs and the list it was written from, without the picture.
// The output is read back a record at a time (src/output_reader), each
// band's lines are put back into the stores, and the band is drawn as the
// preview draws a band it encoded; with --check, only where the output and
// the list disagree is said. An output holds no sprite colours: a sprite is
// drawn in a bright white ink on black paper, but for a cell column whose
// ink, once drawn so, a conversion would take from the record's colour
// (its top cell showing no ink): that column's ink is drawn in the colour
// the conversion takes, so that the picture of the view converts back to
// the same bytes.
#pragma once

#include <cstdint>
#include <cstdio>

#include "draw/render.h"
#include "files/files.h"
#include "input/byte_reader.h"
#include "model/stores.h"
#include "output/asm_syntax.h"
#include "output_reader/form_detection.h"
#include "output_reader/output_reader.h"

namespace kelvora {

// What a --from run works in, owned for the whole run: the stores, whose
// planes and attribute row take each band as it is read and whose grid
// holds the view's picture as far as it is drawn, and the readers of the
// list and the output.
struct FromMemory {
    Stores stores;
    ByteReader list;
    OutputReader output;
};

// The block, on a huge page where the system has them, zeroed.
FromMemory& allocate_from_memory();

struct FromRequest {
    const char* output_path;
    const char* list_path;
    const char* preview_path; // none when checking
    const char* view_path;    // --picture, or none
    int scale;                // 1 to MAX_SCALE, or 0 for the automatic one
    const AsmSyntax* syntax;  // --assembler, or null to tell it from the output
    bool binary;              // --binary

    OutputWay output_way = OutputWay::Chosen; // forced only by the tests
};

// What reading a sheet from an output found.
struct FromSheet {
    DetectedForm form;    // how the output was read; not told: nothing was read
    std::int64_t records; // records of the list written in the output
    std::int64_t outside; // records outside the grid, which it does not hold
    std::int64_t sprites; // of the records, sprites drawn
};

// Called for each finding of the reader, the refusal of a form not told
// included.
using FromFinding = void (*)(void* context, const OutputFinding& finding);

// Reads the list from memory.list and the output from memory.output
// (started, over a file or memory) together, record by record: each finding
// goes to `found`. With an image, every band is drawn into it as it is read
// and, at the end, the image takes the list's bounding box rounded up to 8
// pixels (at least 8 x 8), without a drawn panel; with `report`, a line for
// each record is printed there.
FromSheet read_sheet_from_output(FromMemory& memory, PreviewImage* image, const AsmSyntax* syntax,
                                 bool binary, FromFinding found, void* context, std::FILE* report);

// The runs over the files: the preview (the PNG of the view, and the view's
// picture with --picture), and the check. Exit statuses as kelvora-preview's
// own: 0 when written or agreeing, 1 when not written or disagreeing, or
// when a record had to be left out (the preview of the others is written).
int run_from(FromMemory& memory, PreviewImage& image, const FromRequest& request, std::FILE* report,
             std::FILE* messages);
int run_check_from(FromMemory& memory, const FromRequest& request, std::FILE* report,
                   std::FILE* messages);

} // namespace kelvora
