// The checker's findings: mistakes in a sheet that kelvora converts without a
// word, each said once in the compilers' form, so an editor can jump to it:
//   LIST:LINE: error: TEXT        a record, by the line its name starts on
//   LIST:LINE: note: TEXT         the same, for what may be meant
//   PICTURE: error: TEXT          the picture as a whole
//   PICTURE:X,Y: note: TEXT       a cell, by its top-left pixel
// TEXT says what will happen, why, and what to do. Both
// `kelvora-preview --check` and the preview's report print them. Every kind
// of finding is a row of FINDINGS (check/finding.h); the checks that find
// them lie in check/*_findings.cpp, a file for each thing they look at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "check/finding.h"
#include "check/label_check.h"
#include "check/label_set.h"
#include "check/list_window.h"
#include "draw/cell_changes.h"
#include "input/picture.h"
#include "input/resource_list.h"

namespace kelvora {

// The list as it is being read: the window over its bytes, and the reader
// that reads records from it.
struct ListReading {
    ListWindow* window;
    ByteReader* reader;
};

struct Findings {
    std::FILE* out;
    const char* picture_path;
    const char* list_path;
    std::size_t list_path_length; // named in every finding on the list
    const DrawnColours* drawn;    // null while there is no picture
    bool palette_moved;           // the palette is out of the display's order
    std::int64_t errors;          // all of them, shown or not
    std::int64_t errors_hidden;   // past the first ERRORS_SHOWN
    std::int64_t notes;           // all of them, shown or not
    std::int64_t notes_hidden;    // past the first NOTES_SHOWN
    // The finding being said, as data; handed to `collect` when it is set
    // (by the tests, which apply each finding's remedy).
    Finding current;
    void (*collect)(const Finding& finding, void* context);
    void* collect_context;
    AssemblerSet assemblers; // whose labels are checked; all of them unless told
    // What the list's earlier records left for the later ones to be checked
    // against.
    LabelSet labels;            // the fast form
    PlainLabelSet plain_labels; // its plain twin, in a build of the plain forms
    bool have_previous;
    bool previous_layout_wrong; // its fields did not end its line
    bool previous_left_over;    // it was what a wrong record left of a line
    std::int64_t bad_line;      // the line the last wrong record's fields ended on
    std::uint64_t previous_end; // just past the previous record's colour
    bool lone_cr_reported;
    std::int64_t records;
    std::uint64_t colours_noted[4]; // colour values above 7 noted already, a bit each
};

// Notes shown in a run: a sheet with more has the same few mistakes many
// times over, and the lines past these would cost more than the check.
// Every note still counts (for --strict), and a last line says how many
// were not shown.
inline constexpr std::int64_t NOTES_SHOWN = 200;
// Errors shown, likewise: a list of one mistake repeated a million times
// would otherwise print a million lines. The exit status still counts them.
inline constexpr std::int64_t ERRORS_SHOWN = 200;

void start_findings(Findings& findings, std::FILE* out, const char* picture_path,
                    const char* list_path);

// How many changed cells of the next record are worth describing: as many
// as may still be shown.
int cells_to_describe(const Findings& findings);
void end_findings(Findings& findings);

// A picture kelvora refuses.
void find_refused_picture(Findings& findings, const char* reason);

// What is wrong with a picture kelvora takes: palette entries, of the
// indices it uses, that the display shows in another colour (one error for
// them all); indices past the end of its palette; a file that ends before
// its pixels do.
void find_picture_errors(Findings& findings, const PictureFacts& facts, const DrawnColours& drawn);

// What shows in a record's own text: its layout on the line, its label and
// its kind. Returns false for a record that is only the leftover of the
// record before, or whose fields are misread, whose other findings would
// say nothing new. `line` is set to the line its name starts on.
bool find_record_errors(Findings& findings, ListReading list, const ResourceRecord& record,
                        const RecordTrace& trace, std::int64_t& line);

// For a record find_record_errors took as its own, and that is inside the
// grid (nothing is written for one outside it): its label against those of
// the records before it, given twice, and with sdcc among the assemblers a
// label that is no C name or that sdcc or its header gives another record.
// `layout` is its record_layout, `label_hash` its label_hash.
void find_label_errors(Findings& findings, const ResourceRecord& record, const RecordLayout& layout,
                       std::uint64_t label_hash, std::int64_t line);

// What the numbers of a record find_record_errors took as its own do: a
// width or height of 0 or one that wrapped, a place or size off the cells'
// grid, a record outside the grid (`outside`) or reaching past the picture
// (`facts`, null when there is none), a tile table wider than a page, a
// colour above 7. Said after its label's findings, and before its notes.
void find_number_errors(Findings& findings, ListReading list, const ResourceRecord& record,
                        const RecordLayout& layout, const RecordTrace& trace, bool outside,
                        const PictureFacts* facts, std::int64_t line);

// The cells of a converted record that the display shows otherwise than
// drawn; a white sprite that shows nothing white.
void find_record_notes(Findings& findings, const ResourceRecord& record, std::int64_t line,
                       const RecordPreview& preview);

// At the end of the list, where the reading stopped (`end`): a list that
// ends at an empty name while more follows, one whose lines end in CR alone,
// one that yields no record. Reads the rest of the list.
void find_list_end(Findings& findings, ListReading list, std::uint64_t end);

} // namespace kelvora
