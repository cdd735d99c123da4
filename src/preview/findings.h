// The checker's findings: mistakes in a sheet that kelvora converts without a
// word, each said once in the compilers' form, so an editor can jump to it:
//   LIST:LINE: error: TEXT        a record, by the line its name starts on
//   PICTURE: error: TEXT          the picture as a whole
//   PICTURE:X,Y: note: TEXT       a cell, by its top-left pixel
// TEXT says what will happen and what to do. Both `kelvora-preview --check`
// and the preview's report print them.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

#include "input/picture.h"
#include "input/resource_list.h"
#include "preview/label_check.h"
#include "preview/render.h"

namespace kelvora {

// The list as read, kept for line numbers and the text of its fields.
struct ListText {
    std::string bytes;
    std::vector<std::uint64_t> line_starts; // offset of each line's first byte
};

void index_lines(ListText& list);

// The line (from 1) that holds the byte at `offset`.
std::int64_t line_of(const ListText& list, std::uint64_t offset);

struct Findings {
    std::FILE* out;
    const char* picture_path;
    const char* list_path;
    std::int64_t errors;
    std::int64_t notes;
    AssemblerSet assemblers; // whose labels are checked; all of them unless told
    // What the list's earlier records left for the later ones to be checked against.
    std::unordered_map<std::string, std::int64_t> label_lines;
    bool have_previous;
    std::uint64_t previous_end; // just past the previous record's colour
    bool previous_layout_wrong; // its fields did not end its line
};

void start_findings(Findings& findings, std::FILE* out, const char* picture_path,
                    const char* list_path);

// A picture kelvora refuses.
void find_refused_picture(Findings& findings, const char* reason);

// Palette entries, of the indices the picture uses, that the display will
// show in another hue.
void find_palette_out_of_order(Findings& findings, const PictureFacts& facts,
                               const PreviewImage& image);

// Everything about one record that shows in the list alone, and its place
// against the picture when there is one (`facts` null when there is none).
// Returns false for a record that is only the leftover of the record before,
// whose own findings would say nothing new.
bool find_record_errors(Findings& findings, const ListText& list, const ResourceRecord& record,
                        const RecordTrace& trace, const PictureFacts* facts);

// The cells of a converted record that the display shows otherwise than drawn.
void find_record_notes(Findings& findings, const ResourceRecord& record,
                       const RecordPreview& preview);

// A list that ends at an empty name while more follows; `end` is where the
// reading stopped.
void find_early_end(Findings& findings, const ListText& list, std::uint64_t end);

} // namespace kelvora
