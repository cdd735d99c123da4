// Fuzz target: drawing what an output holds (kelvora-preview --from). The
// input is a sheet as the conversion target takes it: a picture, the
// separator "@@LIST@@", then the list. The sheet is converted into the
// default text, the syntax its size picks and the binary; each is read back
// with the list, its form told from its bytes, without a finding, and drawn:
// the view must be the preview's view of the picture, blocks and tile tables
// pixel for pixel, sprites as ink, paper or transparent. The view's picture
// (the PNG of --picture) converted again with the list must draw the same
// view over every record that can come back (read_back's not_coming_back),
// its bytes differing from the first output's only in the kinds the table
// of tests/from_output lists. Last, the picture's bytes, and the output with a
// byte changed, are read as outputs of the list: whatever they hold, the
// reading ends.
#include <sys/mman.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "convert/convert_record.h"
#include "draw/cell_changes.h"
#include "draw/render.h"
#include "fuzz_support.h"
#include "input/picture.h"
#include "input/resource_list.h"
#include "png/view_picture.h"
#include "preview/from_run.h"
#include "readback/read_back.h"

namespace {

using namespace kelvora;
using fuzz::check;

PreviewImage& image(int which) {
    static const std::unique_ptr<PreviewImage> images[2] = {std::make_unique<PreviewImage>(),
                                                            std::make_unique<PreviewImage>()};
    return *images[which];
}

FromMemory& from_memory() {
    static const std::unique_ptr<FromMemory> memory = std::make_unique<FromMemory>();
    return *memory;
}

// The preview's view of the picture: every record drawn as the preview
// draws it; false when the picture is refused.
bool draw_picture(const fuzz::Sheet& sheet, PreviewImage& view) {
    Stores& stores = fuzz::zeroed_stores();
    PictureFacts facts;
    if (!read_picture(fuzz::reader_over(sheet.picture), fuzz::picture_scratch(), stores.grid, facts,
                      view.drawn)
             .taken) {
        return false;
    }
    static DrawnColours drawn;
    static RecordPreview result;
    learn_drawn_colours(drawn, facts, stores.grid);
    start_preview(view, facts);
    ByteReader& list = fuzz::reader_over(sheet.list);
    for (ResourceRecord record{}; read_record(list, record);) {
        const RecordLayout layout = record_layout(record);
        if (!record_is_outside(record, layout)) {
            preview_record(&view, stores, record, layout, drawn, facts.width, picture_rows(facts),
                           0, result);
        }
    }
    return true;
}

struct Findings {
    int count = 0;
    std::string first;
};

void note_finding(void* context, const OutputFinding& finding) {
    Findings& findings = *static_cast<Findings*>(context);
    if (findings.count++ == 0) {
        findings.first = std::to_string(finding.at) + ": " + finding.text;
    }
}

// Reads the output with the list, its form told from it (or the one given),
// from a fresh set of stores, drawing into `view` when given.
Findings read_output(std::string_view output, std::string_view list, PreviewImage* view,
                     const AsmSyntax* syntax = nullptr, bool binary = false) {
    FromMemory& memory = from_memory();
    std::memset(&memory.stores, 0, sizeof memory.stores);
    start_reading_memory(memory.list, list.data(), list.size());
    start_output_reader_memory(memory.output, output.data(), output.size());
    Findings findings;
    read_sheet_from_output(memory, view, syntax, binary, note_finding, &findings, nullptr);
    return findings;
}

// The view the image shows, as its picture holds it.
read_back::View view_of(const PreviewImage& image) {
    read_back::View view;
    view.width = image.width;
    view.height = image.height;
    view.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
    for (std::size_t i = 0; i < view.pixels.size(); ++i) {
        view.pixels[i] = view_index(image.shown[i]);
    }
    return view;
}

read_back::Owners& owners_of(const std::vector<ResourceRecord>& records) {
    static const std::unique_ptr<read_back::Owners> owners = std::make_unique<read_back::Owners>();
    read_back::mark_owners(*owners, records);
    return *owners;
}

// The view's picture, as --picture writes it.
std::string picture_of(const PreviewImage& view) {
    const int fd = memfd_create("kelvora-view", 0);
    check(fd >= 0, "memfd_create failed");
    check(write_view_picture(fd, view) == 0, "the view's picture could not be written");
    std::string bytes = fuzz::contents_of(fd);
    close(fd);
    return bytes;
}

const std::set<std::string>& listed_kinds() {
    static const std::set<std::string> kinds = [] {
        std::ifstream table(KELVORA_BYTE_DIFFERENCES);
        std::ostringstream text;
        text << table.rdbuf();
        std::set<std::string> names = read_back::listed_kinds(text.str());
        check(!names.empty(), "the table of byte differences could not be read");
        return names;
    }();
    return kinds;
}

// Converts the view's picture again: the view it draws is the same over the
// records that can come back, and its bytes differ only in listed kinds.
void round_trip(const fuzz::Sheet& sheet, const fuzz::Conversion& first, const PreviewImage& view,
                const std::vector<ResourceRecord>& records, const read_back::Owners& owners) {
    const std::string picture = picture_of(view);
    const fuzz::Conversion again = fuzz::convert({picture, sheet.list}, DEFAULT_SYNTAX);
    check(again.taken, "the view's picture is refused");
    PreviewImage& drawn_again = image(0);
    const Findings findings = read_output(again.output, sheet.list, &drawn_again);
    check(findings.count == 0, ("converted again: " + findings.first).c_str());
    const std::vector<bool> skipped = read_back::not_coming_back(records);
    const std::string differs =
        read_back::compare_over(view_of(view), view_of(drawn_again), owners, skipped);
    check(differs.empty(), ("converted again, " + differs).c_str());
    std::map<std::string, int> kinds;
    read_back::classify_differences(read_back::read_text(first.output, records, DEFAULT_SYNTAX),
                                    read_back::read_text(again.output, records, DEFAULT_SYNTAX),
                                    records, skipped, kinds);
    for (const auto& [kind, count] : kinds) {
        check(listed_kinds().count(kind) == 1,
              ("converted again, bytes differ in a kind not listed: " + kind).c_str());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzz::Sheet sheet = fuzz::split_sheet(data, size);
    if (!fuzz::within_budget(sheet)) {
        return -1; // not worth keeping in the corpus
    }
    // Whatever the bytes, read as an output of the list the reading ends.
    read_output(sheet.picture, sheet.list, &image(1));
    read_output(sheet.picture, sheet.list, nullptr, nullptr, true);
    read_output(sheet.picture, sheet.list, nullptr, &ASSEMBLER_SYNTAXES[size % ASSEMBLER_COUNT]);

    PreviewImage& from_picture = image(0);
    if (!draw_picture(sheet, from_picture)) {
        return 0;
    }
    const std::vector<ResourceRecord> records =
        read_back::records_of(fuzz::reader_over(sheet.list));
    const read_back::Owners& owners = owners_of(records);
    const read_back::View picture_view = view_of(from_picture);
    const AsmSyntax& syntax = ASSEMBLER_SYNTAXES[size % ASSEMBLER_COUNT];
    const fuzz::Conversion first = fuzz::convert(sheet, DEFAULT_SYNTAX);
    const struct {
        const char* name;
        fuzz::Conversion output;
    } forms[] = {{"the default text", first},
                 {syntax.name, fuzz::convert(sheet, syntax)},
                 {"the binary", fuzz::convert(sheet, syntax, true)}};
    PreviewImage& from_output = image(1);
    for (const auto& form : forms) {
        const Findings findings = read_output(form.output.output, sheet.list, &from_output);
        check(findings.count == 0, (std::string(form.name) + ": " + findings.first).c_str());
        const std::string differs =
            read_back::compare_views(picture_view, view_of(from_output), records, owners);
        check(differs.empty(), (std::string(form.name) + ", " + differs).c_str());
    }
    // A byte changed: read, found wrong or not, and drawn.
    if (!first.output.empty()) {
        std::string changed = first.output;
        changed[size % changed.size()] = static_cast<char>(data[size / 2]);
        read_output(changed, sheet.list, &image(0));
    }
    // The binary's view, drawn last, is the view of every form.
    round_trip(sheet, first, from_output, records, owners);
    return 0;
}
