// Reading kelvora's output back, for the tests and the fuzz targets (not
// part of the programs). The text and the binary are read by the programs'
// own reader of outputs (src/output_reader), in the list's own terms: each
// record's layout says which lines it has, and the first line that does not
// fit is given with its number and why. A separate comparison then converts
// the list afresh and checks every byte read back against what it means: a
// cell's bitmap rows and attribute, a sprite row's mask and data, the size
// bytes and the fill. It does not look at how the writer builds its lines
// or how the reader takes them, so a fault in either cannot hide behind the
// same fault here.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "input/byte_reader.h"
#include "model/resource_record.h"
#include "model/stores.h"
#include "output/asm_syntax.h"

namespace kelvora::read_back {

// One band as read: the bytes of its body lines one after another, and the
// value of its closing fill line when its layout has one.
struct Band {
    std::int64_t first_line; // the text's line number (from 1) of its first line
    std::vector<std::uint8_t> bytes;
    std::uint8_t fill;

    // The same bytes and fill, wherever the syntax put their lines.
    bool operator==(const Band& other) const { return bytes == other.bytes && fill == other.fill; }
};

// One record of the list as read. A record outside the grid has no lines.
struct Record {
    bool written;
    std::int64_t label_line;
    std::string label;
    std::vector<std::uint8_t> header; // the size bytes after the label
    std::vector<Band> bands;

    // The same lines, holding the same bytes, in whichever syntax each was
    // read, wherever the syntax put them (a syntax may add lines of its own).
    bool operator==(const Record& other) const {
        return written == other.written && label == other.label && header == other.header &&
               bands == other.bands;
    }
};

// Where a reading or a comparison found the first thing that does not fit,
// and why; no line (0) and no reason when everything fits.
struct Verdict {
    std::int64_t line = 0;
    std::string why;

    bool fits() const { return why.empty(); }
    std::string describe() const; // "line N: why"
};

struct Text {
    std::vector<Record> records; // one per record of the list, as far as read
    Verdict verdict;
};

// Every record of the list, as a run reads them.
std::vector<ResourceRecord> records_of(ByteReader& list);

// Reads `text` as the output of `records` written in `syntax`: everything
// the syntax spells exactly, as kelvora writes it, comments and blank lines
// aside. The verdict is the reader's first finding.
Text read_text(std::string_view text, const std::vector<ResourceRecord>& records,
               const AsmSyntax& syntax);

// Reads `bytes` as the binary of `records` (--binary): each record's gap to
// its page and each fill must be zeros, and the rest is taken in the list's
// terms, as read_text takes lines, with each band's fill the length its
// layout gives. The verdict's line is the byte's offset from 1.
Text read_binary(std::string_view bytes, const std::vector<ResourceRecord>& records);

// Reads the symbols written beside `binary`, the binary of the same records
// read back, in `syntax`: each line that defines a symbol must give a
// written record but the first, in order, as the first label plus the
// offset the binary gives it.
Verdict read_symbols(std::string_view symbols, const std::vector<ResourceRecord>& records,
                     const AsmSyntax& syntax, const Text& binary);

// Reads a C header written beside `read`, the text of the same records, and
// checks that it declares each written record with a C name, in order, with
// the bytes the text gives it (its size bytes, band bytes and fills), its
// size bytes as the text has them, and whether it starts on a page; inside
// an include guard, after a comment.
Verdict read_header(std::string_view header, const std::vector<ResourceRecord>& records,
                    const Text& read);

// Converts the records again, one after another into `stores` (which hold
// the picture in their grid and are otherwise as a run starts: zero), and
// checks what was read back against each encoded band.
Verdict compare(const Text& text, const std::vector<ResourceRecord>& records, Stores& stores);

// Which records can't come back whole from what the display shows: those
// that read pixels another record reads too (records outside the grid read
// none), as a later one draws over an earlier one or takes its colours from
// it; and sprites whose colour is above 15, whose column with no ink in its
// top cell takes that colour, an index no view holds, as its ink.
std::vector<bool> not_coming_back(const std::vector<ResourceRecord>& records);

// Counts, by kind, the bytes of two outputs of one list that differ, in
// the records not `skipped`: for a cell, "ink and paper swapped", "unused
// colour of a one-colour cell", or else "other bytes of a cell"; for a
// sprite row, "bitmap under transparent sprite pixels" or "a sprite column
// that is not drawn"; "view changed: ..." where the display would show
// something else; "size bytes" and "fill".
void classify_differences(const Text& first, const Text& again,
                          const std::vector<ResourceRecord>& records,
                          const std::vector<bool>& skipped, std::map<std::string, int>& kinds);

// A view's picture (what --picture writes) as the display colours it holds,
// 0 beyond its size.
struct View {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels; // row by row

    std::uint8_t at(int x, int y) const {
        return x < width && y < height ? pixels[static_cast<std::size_t>(y) * width + x] : 0;
    }
};

// Which record's cell column each pixel of the grid shows last, as both
// previews draw records in the list's order. Kept from one list to the
// next: a pixel counts only when marked for the current list, so nothing
// needs clearing.
struct Owners {
    std::vector<std::uint32_t> round = std::vector<std::uint32_t>(GRID_SIZE * GRID_SIZE, 0);
    std::vector<std::int32_t> record = std::vector<std::int32_t>(GRID_SIZE * GRID_SIZE, 0);
    std::vector<std::uint8_t> column = std::vector<std::uint8_t>(GRID_SIZE * GRID_SIZE, 0);
    std::uint32_t now = 0;

    // The record's index in the list, or -1 where none is drawn.
    int owner(int x, int y) const {
        const std::size_t at = static_cast<std::size_t>(y) * GRID_SIZE + x;
        return round[at] == now ? record[at] : -1;
    }
    int column_at(int x, int y) const {
        return column[static_cast<std::size_t>(y) * GRID_SIZE + x];
    }
};

// Marks the pixels of every cell column the records write.
void mark_owners(Owners& owners, const std::vector<ResourceRecord>& records);

// "" when the view from an output shows what the view from the picture
// shows, over the picture's size: blocks and tile tables pixel for pixel;
// a sprite's cell column showing each of the output's classes (transparent
// 0, paper 8, ink) in one colour of the picture's view, transparent where
// it is. Else the first pixel that differs, and how.
std::string compare_views(const View& from_picture, const View& from_output,
                          const std::vector<ResourceRecord>& records, const Owners& owners);

// "" when two views show the same over the records not `skipped` and
// outside every record; else the first pixel that differs.
std::string compare_over(const View& first, const View& again, const Owners& owners,
                         const std::vector<bool>& skipped);

// The kinds of byte difference a round trip may make, from the table of
// tests/from_output (its text): the part of each line before its ":",
// lines starting "#" aside.
std::set<std::string> listed_kinds(std::string_view table);

// The messages a run of the list prints in the syntax: one for each record
// outside the grid, and one for each label that is no C name where the
// syntax's labels are C names.
std::string expected_messages(const std::vector<ResourceRecord>& records,
                              const AsmSyntax& syntax = DEFAULT_SYNTAX);

} // namespace kelvora::read_back
