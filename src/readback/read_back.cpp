// Reading the assembler text back and comparing it with a fresh conversion.
// Test code: it allocates freely and says everything in words.
#include "readback/read_back.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "convert/convert_record.h"
#include "input/resource_list.h"
#include "output/kept_names.h"
#include "output_reader/output_reader.h"

namespace kelvora::read_back {
namespace {

std::string hex(int value) {
    constexpr char digits[] = "0123456789abcdef";
    return std::string("0x") + digits[(value >> 4) & 15] + digits[value & 15];
}

// The text shown in a reason, with its control bytes made visible.
std::string quoted(std::string_view text) {
    std::string shown = "\"";
    for (const char c : text.substr(0, 120)) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\t') {
            shown += "\\t";
        } else if (c == '\n') {
            shown += "\\n";
        } else if (byte < 0x20 || byte == 0x7F || c == '"' || c == '\\') {
            shown += '\\';
            shown += hex(byte).substr(1);
        } else {
            shown += c;
        }
    }
    return shown + (text.size() > 120 ? "...\"" : "\"");
}

std::string label_of(const ResourceRecord& record) {
    return std::string(record.name, strnlen(record.name, TOKEN_BUFFER_SIZE));
}

bool is_page_aligned(const ResourceRecord& record) {
    return record_layout(record).page_aligned;
}

// A hex digit's value, 99 for any other character.
int digit_value(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return 99;
}

// The text line by line, numbered from 1.
struct Lines {
    std::string_view text;
    std::size_t at = 0;
    std::int64_t number = 0; // of the line last taken

    bool at_end() const { return at == text.size(); }
};

// Collects what the output reader hands out into the records read.
struct Collector {
    Text* read;
    const RecordLayout* layout;
    bool binary;

    Record& record() { return read->records.back(); }
    // The line of a place: a binary's places are given as offsets from 1.
    std::int64_t line(std::int64_t at) const { return binary ? at + 1 : at; }
    Band& band(std::int64_t index, std::int64_t at) {
        std::vector<Band>& bands = record().bands;
        while (static_cast<std::int64_t>(bands.size()) <= index) {
            bands.emplace_back().first_line = line(at);
        }
        return bands[static_cast<std::size_t>(index)];
    }
};

Collector& collector(void* context) {
    return *static_cast<Collector*>(context);
}

OutputVisitor visitor_of(Collector& collected) {
    OutputVisitor visitor{};
    visitor.context = &collected;
    visitor.label = [](void* context, const char* label, int length, std::int64_t at) {
        Collector& c = collector(context);
        c.record().label.assign(label, static_cast<std::size_t>(length));
        c.record().label_line = c.line(at);
    };
    visitor.size_bytes = [](void* context, const std::uint8_t* bytes, int count, std::int64_t) {
        collector(context).record().header.assign(bytes, bytes + count);
    };
    visitor.body_line = [](void* context, std::int64_t band, std::int64_t,
                           const std::uint8_t* bytes, std::int64_t at) {
        Collector& c = collector(context);
        c.band(band, at).bytes.insert(c.band(band, at).bytes.end(), bytes,
                                      bytes + c.layout->bytes_per_line);
    };
    visitor.band_end = [](void* context, std::int64_t band, std::uint8_t fill, std::int64_t at) {
        collector(context).band(band, at).fill = fill;
    };
    visitor.finding = [](void* context, const OutputFinding& finding) {
        Collector& c = collector(context);
        if (c.read->verdict.fits()) {
            c.read->verdict.line = c.line(finding.at);
            c.read->verdict.why = finding.text;
        }
    };
    return visitor;
}

// Reads the output with the production reader, in the form it is set to.
Text read_with(OutputReader& reader, const std::vector<ResourceRecord>& records) {
    Text read;
    Collector collected{&read, nullptr, reader.binary};
    const OutputVisitor visitor = visitor_of(collected);
    read_output_start(reader, visitor);
    for (std::size_t i = 0; i < records.size() && !reader.stopped; ++i) {
        Record& record = read.records.emplace_back();
        record.written = !record_is_outside(records[i]);
        if (record.written) {
            std::size_t next = i + 1;
            while (next < records.size() && record_is_outside(records[next])) {
                ++next;
            }
            const RecordLayout layout = record_layout(records[i]);
            collected.layout = &layout;
            read_output_record(reader, records[i], layout,
                               next < records.size() ? &records[next] : nullptr, visitor);
        }
    }
    read_output_end(reader, visitor);
    return read;
}

OutputReader& output_reader() {
    static const std::unique_ptr<OutputReader> reader = std::make_unique<OutputReader>();
    return *reader;
}

// What one cell line shows: each pixel's display colour, black as 0.
std::vector<int> cell_shows(const std::uint8_t* line) {
    const int bright = (line[8] & 0x40) != 0 ? 8 : 0;
    const int ink = (line[8] & 7) | bright;
    const int paper = (line[8] >> 3 & 7) | bright;
    std::vector<int> shown;
    for (int row = 0; row < 8; ++row) {
        for (int k = 0; k < 8; ++k) {
            const int colour = ((line[row] >> (7 - k)) & 1) != 0 ? ink : paper;
            shown.push_back(colour == 8 ? 0 : colour);
        }
    }
    return shown;
}

} // namespace

std::string Verdict::describe() const {
    return fits() ? "fits" : "line " + std::to_string(line) + ": " + why;
}

Text read_text(std::string_view text, const std::vector<ResourceRecord>& records,
               const AsmSyntax& syntax) {
    OutputReader& reader = output_reader();
    start_output_reader_memory(reader, text.data(), text.size());
    read_as_text(reader, syntax);
    return read_with(reader, records);
}

Text read_binary(std::string_view bytes, const std::vector<ResourceRecord>& records) {
    OutputReader& reader = output_reader();
    start_output_reader_memory(reader, bytes.data(), bytes.size());
    read_as_binary(reader);
    return read_with(reader, records);
}

Verdict read_symbols(std::string_view symbols, const std::vector<ResourceRecord>& records,
                     const AsmSyntax& syntax, const Text& binary) {
    // The names as the syntax gives them: with its prefix where global.
    const auto global = [&syntax](const ResourceRecord& record) {
        return !syntax.c_names || is_c_name(label_of(record));
    };
    const auto named = [&](const ResourceRecord& record) {
        return (global(record) ? syntax.label_prefix : "") + label_of(record);
    };
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < symbols.size();) {
        const std::size_t end = symbols.find('\n', at);
        if (end == std::string_view::npos) {
            return Verdict{static_cast<std::int64_t>(lines.size()) + 1,
                           "the last line has no line feed"};
        }
        lines.push_back(symbols.substr(at, end - at));
        at = end + 1;
    }
    // Three lines of comment first: what the file is, and the line that takes
    // the binary in.
    std::size_t line = 3;
    bool have_first = false;
    std::string first;
    std::int64_t first_at = 0;
    const auto fail = [&](const std::string& why) {
        return Verdict{static_cast<std::int64_t>(std::min(line, lines.size())) + 1, why};
    };
    if (lines.size() < line || !lines[0].starts_with(";") || !lines[1].starts_with(";") ||
        !lines[2].starts_with(";")) {
        return fail("no comment of three lines first");
    }
    for (std::size_t i = 0; i < records.size() && i < binary.records.size(); ++i) {
        if (!binary.records[i].written) {
            continue;
        }
        const std::int64_t at = binary.records[i].label_line - 1; // its offset
        const std::string name = named(records[i]);
        if (!have_first) {
            have_first = true;
            first = name;
            first_at = at;
            continue;
        }
        const std::int64_t offset = at - first_at;
        if (syntax.global_lead[0] != '\0' && global(records[i])) {
            if (line >= lines.size() || lines[line] != syntax.global_lead + name) {
                return fail("\"" + std::string(syntax.global_lead) + name + "\" expected");
            }
            ++line;
        }
        const std::string lead = name + syntax.equate + first + " + 0x";
        std::int64_t value = -1;
        if (line < lines.size() && lines[line].starts_with(lead) &&
            lines[line].size() > lead.size() && lines[line].size() <= lead.size() + 12) {
            value = 0;
            for (const char c : lines[line].substr(lead.size())) {
                const int digit = digit_value(c);
                value = digit < 16 && value >= 0 ? value * 16 + digit : -1;
            }
        }
        if (value != offset) {
            return fail(name + " as the first label + " + std::to_string(offset) +
                        " expected, not " + quoted(line < lines.size() ? lines[line] : ""));
        }
        ++line;
    }
    // What follows may only say that the first label must be on a page, and
    // check it.
    if (line < lines.size() && !lines[line].starts_with("; The binary holds a tile table")) {
        return fail("text after the last symbol: " + quoted(lines[line]));
    }
    return Verdict{};
}

Verdict read_header(std::string_view header, const std::vector<ResourceRecord>& records,
                    const Text& read) {
    Verdict verdict;
    Lines lines{header};
    std::vector<std::string_view> all;
    while (!lines.at_end()) {
        const std::size_t end = lines.text.find('\n', lines.at);
        if (end == std::string_view::npos) {
            verdict.line = static_cast<std::int64_t>(all.size()) + 1;
            verdict.why = "the last line has no line feed";
            return verdict;
        }
        all.push_back(lines.text.substr(lines.at, end - lines.at));
        lines.at = end + 1;
    }
    std::size_t at = 0;
    const auto fail = [&](const std::string& why) {
        verdict.line = static_cast<std::int64_t>(at) + 1;
        verdict.why = why;
        return verdict;
    };
    // The comment, up to the line that ends it.
    if (at < all.size() && all[at].starts_with("/*")) {
        while (at < all.size() && !all[at].ends_with("*/")) {
            ++at;
        }
        ++at;
    }
    const auto expect = [&](const std::string& line) {
        if (at >= all.size()) {
            fail("the header ends where " + quoted(line) + " should be");
            return false;
        }
        if (all[at] != line) {
            fail(quoted(line) + " expected, not " + quoted(all[at]));
            return false;
        }
        ++at;
        return true;
    };
    if (at >= all.size() || !all[at].starts_with("#ifndef ")) {
        return fail("no include guard");
    }
    const std::string guard(all[at].substr(8));
    ++at;
    if (!is_c_name(guard) || !expect("#define " + guard)) {
        return verdict.fits() ? fail(quoted(guard) + " is no name for a guard") : verdict;
    }
    for (std::size_t i = 0; i < records.size() && i < read.records.size(); ++i) {
        const Record& record = read.records[i];
        const std::string name = label_of(records[i]);
        if (!record.written || !is_c_name(name)) {
            continue;
        }
        std::uint64_t bytes = record.header.size();
        for (const Band& band : record.bands) {
            bytes += band.bytes.size() + (record_layout(records[i]).page_fill ? band.fill : 0);
        }
        if (!expect("") || !expect("extern const unsigned char " + name + "[];") ||
            !expect("#define " + name + "_BYTES " + std::to_string(bytes))) {
            return verdict;
        }
        if (record.header.size() == 2 &&
            (!expect("#define " + name + "_WIDTH " + std::to_string(record.header[0])) ||
             !expect("#define " + name + "_HEIGHT " + std::to_string(record.header[1])))) {
            return verdict;
        }
        if (is_page_aligned(records[i]) && !expect("#define " + name + "_PAGE_ALIGNED 1")) {
            return verdict;
        }
    }
    if (!expect("") || !expect("#endif")) {
        return verdict;
    }
    return at == all.size() ? verdict : fail("text after the guard's end: " + quoted(all[at]));
}

namespace {

// What one band's bytes must be, worked out from the stores just after the
// band was encoded.
struct BandCheck {
    const Record* read;
    std::int64_t band;
    Verdict* verdict;
};

// What a byte of a band means, said only when it is wrong.
enum class Meaning { BitmapRow, Attribute, Mask, Data, Fill };

std::string describe(Meaning meaning, int column, int row) {
    const std::string cell = "the cell at column " + std::to_string(column) + ": ";
    const std::string pixels =
        "row " + std::to_string(row) + ", column " + std::to_string(column) + ": ";
    switch (meaning) {
    case Meaning::BitmapRow:
        return cell + "bitmap row " + std::to_string(row);
    case Meaning::Attribute:
        return cell + "attribute";
    case Meaning::Mask:
        return pixels + "mask";
    case Meaning::Data:
        return pixels + "data";
    case Meaning::Fill:
        break;
    }
    return "the fill";
}

void check_band(const Stores& stores, const ResourceRecord& record, const RecordLayout& layout,
                std::int64_t row, void* context) {
    BandCheck& check = *static_cast<BandCheck*>(context);
    const std::int64_t band = check.band++;
    if (!check.verdict->fits()) {
        return;
    }
    const Band& read = check.read->bands[static_cast<std::size_t>(band)];
    std::int64_t line = 0;
    std::size_t at = 0;
    // Takes the next byte read back, which must be `value`.
    const auto expect = [&](int found, int value, Meaning meaning, int column, int y) {
        if (found != value && check.verdict->fits()) {
            check.verdict->line = read.first_line + line;
            check.verdict->why = label_of(record) + ", band " + std::to_string(band + 1) + ": " +
                                 describe(meaning, column, y) + " is " + hex(found) +
                                 ", but the conversion made " + hex(value);
        }
    };
    // Every band's body shows the cell columns from x div 8 on.
    const int first_column = static_cast<int>(record.x / 8);
    const auto r = static_cast<int>(row);
    for (; line < layout.lines_per_band && check.verdict->fits(); ++line) {
        switch (layout.body) {
        case BandBody::CellLines: {
            // A line per cell: its eight bitmap bytes from the band's top
            // row down, then its attribute.
            const int column = first_column + static_cast<int>(line);
            for (int k = 0; k < 8; ++k) {
                expect(read.bytes[at++], stores.bitmap.bytes[column][r + k], Meaning::BitmapRow,
                       column, r + k);
            }
            expect(read.bytes[at++], stores.attributes.bytes[column], Meaning::Attribute, column,
                   r);
            break;
        }
        case BandBody::SpriteRows: {
            // A line per pixel row; each cell column gives its mask, then
            // its data: the mask with the bitmap's set pixels flipped.
            const int y = r + static_cast<int>(line);
            for (int c = 0; c < layout.columns_written; ++c) {
                const int column = first_column + c;
                const int mask = stores.mask.bytes[column][y];
                expect(read.bytes[at++], mask, Meaning::Mask, column, y);
                expect(read.bytes[at++], mask ^ stores.bitmap.bytes[column][y], Meaning::Data,
                       column, y);
            }
            break;
        }
        }
    }
    if (layout.page_fill) {
        expect(read.fill, layout.fill_bytes, Meaning::Fill, 0, 0);
    }
}

} // namespace

Verdict compare(const Text& text, const std::vector<ResourceRecord>& records, Stores& stores) {
    Verdict verdict;
    if (!text.verdict.fits()) {
        return text.verdict;
    }
    for (std::size_t i = 0; i < records.size(); ++i) {
        const ResourceRecord& record = records[i];
        const Record& read = text.records[i];
        if (!read.written) {
            continue; // converting it would change no store
        }
        const RecordLayout layout = record_layout(record);
        const std::string name = label_of(record);
        if (read.label != name) {
            verdict.line = read.label_line;
            verdict.why =
                "the label " + quoted(read.label) + " is not the record's name " + quoted(name);
            return verdict;
        }
        for (int b = 0; b < layout.size_byte_count; ++b) {
            if (read.header[b] != layout.size_bytes[b]) {
                verdict.line = read.label_line + 1 + b;
                verdict.why = name + ": size byte " + std::to_string(b + 1) + " is " +
                              hex(read.header[b]) + ", not " + hex(layout.size_bytes[b]);
                return verdict;
            }
        }
        BandCheck check{&read, 0, &verdict};
        encode_record(stores, record, layout, check_band, &check);
        if (!verdict.fits()) {
            return verdict;
        }
    }
    return verdict;
}

std::vector<ResourceRecord> records_of(ByteReader& list) {
    std::vector<ResourceRecord> records;
    for (ResourceRecord record{}; read_record(list, record);) {
        records.push_back(record);
    }
    return records;
}

std::string expected_messages(const std::vector<ResourceRecord>& records, const AsmSyntax& syntax) {
    std::string messages;
    for (const ResourceRecord& record : records) {
        if (record_is_outside(record)) {
            messages +=
                "can't convert " + label_of(record) + ": outside the 1024x1024 picture area\n";
        } else if (syntax.c_names && !is_c_name(label_of(record))) {
            messages += "can't convert " + label_of(record) + ": not a C name\n";
        }
    }
    return messages;
}

std::vector<bool> not_coming_back(const std::vector<ResourceRecord>& records) {
    std::vector<int> reader(GRID_SIZE * GRID_SIZE, -1);
    std::vector<bool> skipped(records.size(), false);
    for (std::size_t r = 0; r < records.size(); ++r) {
        const RecordLayout layout = record_layout(records[r]);
        if (record_is_outside(records[r], layout)) {
            continue;
        }
        if (records[r].kind == RecordKind::Sprite && records[r].default_colour > 15) {
            skipped[r] = true;
        }
        for (std::int64_t y = records[r].y; y < records[r].y + layout.rows_read; ++y) {
            for (std::int64_t x = records[r].x; x < records[r].x + 8 * layout.cells_across; ++x) {
                int& first = reader[y * GRID_SIZE + x];
                if (first >= 0 && first != static_cast<int>(r)) {
                    skipped[static_cast<std::size_t>(first)] = true;
                    skipped[r] = true;
                }
                first = static_cast<int>(r);
            }
        }
    }
    return skipped;
}

void classify_differences(const Text& first, const Text& again,
                          const std::vector<ResourceRecord>& records,
                          const std::vector<bool>& skipped, std::map<std::string, int>& kinds) {
    for (std::size_t r = 0; r < records.size(); ++r) {
        const Record& a = first.records[r];
        const Record& b = again.records[r];
        if (!a.written || skipped[r]) {
            continue;
        }
        const RecordLayout layout = record_layout(records[r]);
        if (a.header != b.header) {
            ++kinds["size bytes"];
        }
        for (std::size_t band = 0; band < a.bands.size(); ++band) {
            const std::vector<std::uint8_t>& x = a.bands[band].bytes;
            const std::vector<std::uint8_t>& y = b.bands[band].bytes;
            if (a.bands[band].fill != b.bands[band].fill) {
                ++kinds["fill"];
            }
            const std::size_t step = static_cast<std::size_t>(layout.bytes_per_line);
            for (std::size_t at = 0; at < x.size(); at += step) {
                if (std::equal(x.begin() + at, x.begin() + at + step, y.begin() + at)) {
                    continue;
                }
                if (layout.body == BandBody::CellLines) {
                    const std::vector<int> shown = cell_shows(&x[at]);
                    if (shown != cell_shows(&y[at])) {
                        ++kinds["view changed: cell"];
                        continue;
                    }
                    bool swapped = (x[at + 8] & 0xC0) == (y[at + 8] & 0xC0) &&
                                   (x[at + 8] & 7) == (y[at + 8] >> 3 & 7) &&
                                   (x[at + 8] >> 3 & 7) == (y[at + 8] & 7);
                    for (int row = 0; row < 8; ++row) {
                        swapped = swapped && x[at + row] == static_cast<std::uint8_t>(~y[at + row]);
                    }
                    const bool one_colour = std::count(shown.begin(), shown.end(), shown[0]) == 64;
                    ++kinds[swapped      ? "ink and paper swapped"
                            : one_colour ? "unused colour of a one-colour cell"
                                         : "other bytes of a cell"];
                    continue;
                }
                // A sprite row: a mask and data pair for each cell column;
                // columns past those drawn (a sprite of width 0 draws none)
                // show the stores as earlier records left them.
                const std::int64_t drawn = std::min(layout.cells_across, layout.columns_written);
                for (std::size_t c = 0; c < step / 2; ++c) {
                    const std::uint8_t mask = x[at + 2 * c];
                    const auto bits_x = static_cast<std::uint8_t>(mask ^ x[at + 2 * c + 1]);
                    const auto bits_y =
                        static_cast<std::uint8_t>(y[at + 2 * c] ^ y[at + 2 * c + 1]);
                    if (mask == y[at + 2 * c] && bits_x == bits_y) {
                        continue;
                    }
                    if (static_cast<std::int64_t>(c) >= drawn) {
                        ++kinds["a sprite column that is not drawn"];
                    } else if (mask != y[at + 2 * c] || ((bits_x ^ bits_y) & mask) != 0) {
                        ++kinds["view changed: sprite pixels"];
                    } else {
                        ++kinds["bitmap under transparent sprite pixels"];
                    }
                }
            }
        }
    }
}

} // namespace kelvora::read_back
