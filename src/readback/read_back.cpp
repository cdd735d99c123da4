// Reading the assembler text back and comparing it with a fresh conversion.
// Test code: it allocates freely and says everything in words.
#include "readback/read_back.h"

#include <cstring>

#include "convert/convert_record.h"
#include "input/resource_list.h"
#include "output/kept_names.h"

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

// One byte literal in any of the forms assemblers take; "" or why not.
std::string parse_literal(std::string_view token, std::uint8_t& value) {
    std::string_view digits = token;
    int base = 10;
    if (digits.starts_with("0x") || digits.starts_with("0X")) {
        digits.remove_prefix(2);
        base = 16;
    } else if (digits.starts_with("$")) {
        digits.remove_prefix(1);
        base = 16;
    } else if (!digits.empty() && (digits.back() == 'h' || digits.back() == 'H') &&
               digit_value(digits.front()) < 10) {
        digits.remove_suffix(1);
        base = 16;
    }
    if (digits.empty()) {
        return quoted(token) + " is not a byte literal";
    }
    int number = 0;
    for (const char c : digits) {
        const int digit = digit_value(c);
        if (digit >= base) {
            return quoted(token) + " is not a byte literal";
        }
        number = number * base + digit;
        if (number > 255) {
            return quoted(token) + " is more than a byte";
        }
    }
    value = static_cast<std::uint8_t>(number);
    return "";
}

// The text line by line, numbered from 1.
struct Lines {
    std::string_view text;
    std::size_t at = 0;
    std::int64_t number = 0; // of the line last taken

    bool at_end() const { return at == text.size(); }
};

// Which line of a record the reader expects, said only when it is not there.
struct Place {
    const std::string& name;
    const char* part;
    std::int64_t band = 0; // from 1; 0 for the header
    std::int64_t bands = 0;
    std::int64_t line = 0; // from 1 within the band; 0 for its fill
    std::int64_t lines = 0;

    std::string describe() const {
        if (band == 0) {
            return name + "'s " + part;
        }
        std::string text =
            name + ", band " + std::to_string(band) + " of " + std::to_string(bands) + ", " + part;
        if (line > 0) {
            text += ' ';
            text += std::to_string(line) + " of " + std::to_string(lines);
        }
        return text;
    }
};

class Reader {
  public:
    Reader(std::string_view text, const AsmSyntax& syntax) : lines_{text}, syntax_(syntax) {}

    // Takes the next line, without its line feed; false (with the verdict
    // set) when there is none.
    bool next(std::string_view& line, const Place& place) {
        if (lines_.at_end()) {
            fail(lines_.number + 1, "the text ends where " + place.describe() + " should be");
            return false;
        }
        const std::size_t end = lines_.text.find('\n', lines_.at);
        ++lines_.number;
        if (end == std::string_view::npos) {
            fail(lines_.number, place.describe() + ": the last line has no line feed");
            return false;
        }
        line = lines_.text.substr(lines_.at, end - lines_.at);
        lines_.at = end + 1;
        return true;
    }

    // Whole lines the syntax spells as they stand: its alignment, its
    // preamble, the line that ends it on a page.
    bool whole_lines(std::string_view expected, const Place& place) {
        const std::string_view rest = lines_.text.substr(lines_.at);
        if (!rest.starts_with(expected)) {
            const std::string_view found = rest.substr(0, rest.find('\n'));
            fail(lines_.number + 1,
                 place.describe() + ": " + quoted(expected) + " expected, not " + quoted(found));
            return false;
        }
        for (const char c : expected) {
            lines_.number += c == '\n';
        }
        lines_.at += expected.size();
        return true;
    }

    // A label line: the label between the prefix and the end the syntax
    // gives a global label, or without the prefix and with the local end
    // where `global` is not set.
    bool label(std::string& label, bool global, const Place& place) {
        std::string_view line;
        if (!next(line, place)) {
            return false;
        }
        const std::string_view prefix = global ? syntax_.label_prefix : "";
        const std::string_view end = global ? syntax_.label_end : syntax_.local_label_end;
        if (!line.starts_with(prefix)) {
            fail(lines_.number,
                 place.describe() + ": " + quoted(line) + " does not start with " + quoted(prefix));
            return false;
        }
        // An end that holds the other one ("::" and ":") is told apart when
        // the label is compared with the record's name.
        if (!line.ends_with(end) || line.size() < prefix.size() + end.size()) {
            fail(lines_.number,
                 place.describe() + ": " + quoted(line) + " does not end in " + quoted(end));
            return false;
        }
        line.remove_prefix(prefix.size());
        line.remove_suffix(end.size());
        label = line;
        return true;
    }

    // The line that makes a label global, where the syntax has one.
    bool global_line(std::string_view label, const Place& place) {
        if (syntax_.global_lead[0] == '\0') {
            return true;
        }
        return whole_lines(std::string(syntax_.global_lead) + std::string(label) + "\n", place);
    }

    // A line of `count` literals after `lead`, appended to `bytes`.
    bool literals(const char* lead, std::int64_t count, std::vector<std::uint8_t>& bytes,
                  const Place& place) {
        std::string_view line;
        if (!next(line, place)) {
            return false;
        }
        if (!line.starts_with(lead)) {
            fail(lines_.number,
                 place.describe() + ": " + quoted(line) + " does not start with " + quoted(lead));
            return false;
        }
        std::string_view rest = line.substr(std::strlen(lead));
        std::int64_t found = 0;
        for (;;) {
            const std::size_t comma = rest.find(',');
            std::uint8_t value = 0;
            const std::string why = parse_literal(rest.substr(0, comma), value);
            if (!why.empty()) {
                fail(lines_.number, place.describe() + ": " + why + " in " + quoted(line));
                return false;
            }
            bytes.push_back(value);
            ++found;
            if (comma == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(comma + 1);
        }
        if (found != count) {
            fail(lines_.number, place.describe() + ": " + std::to_string(found) + " bytes where " +
                                    std::to_string(count) + " belong, in " + quoted(line));
            return false;
        }
        return true;
    }

    bool at_end() const { return lines_.at_end(); }
    std::int64_t line_number() const { return lines_.number; }
    const AsmSyntax& syntax() const { return syntax_; }

    void fail(std::int64_t line, std::string why) {
        verdict_.line = line;
        verdict_.why = std::move(why);
    }
    Verdict& verdict() { return verdict_; }

  private:
    Lines lines_;
    const AsmSyntax& syntax_;
    Verdict verdict_;
};

bool read_record(Reader& reader, const ResourceRecord& list_record, Record& record) {
    const RecordLayout layout = record_layout(list_record);
    const std::string name = label_of(list_record);
    const AsmSyntax& syntax = reader.syntax();
    if (layout.page_aligned && !reader.whole_lines(syntax.page_align, {name, "alignment line"})) {
        return false;
    }
    // Where labels are C names, one that is none is local; every other label
    // is global, with a line of its own where the syntax says so.
    const bool global = !syntax.c_names || is_c_name(name);
    if (global && !reader.global_line(name, {name, "line that makes the label global"})) {
        return false;
    }
    record.label_line = reader.line_number() + 1;
    if (!reader.label(record.label, global, {name, "label line"})) {
        return false;
    }
    for (int i = 0; i < layout.size_byte_count; ++i) {
        if (!reader.literals(reader.syntax().byte_lead, 1, record.header,
                             {name, i == 0 ? "first size byte" : "second size byte"})) {
            return false;
        }
    }
    Place place{name, layout.body == BandBody::CellLines ? "cell line" : "row"};
    place.bands = layout.bands;
    place.lines = layout.lines_per_band;
    for (std::int64_t band = 0; band < layout.bands; ++band) {
        Band& read = record.bands.emplace_back();
        read.first_line = reader.line_number() + 1;
        place.band = band + 1;
        for (std::int64_t i = 0; i < layout.lines_per_band; ++i) {
            place.line = i + 1;
            if (!reader.literals(reader.syntax().byte_lead, layout.bytes_per_line, read.bytes,
                                 place)) {
                return false;
            }
        }
        if (layout.page_fill) {
            std::vector<std::uint8_t> fill;
            if (!reader.literals(reader.syntax().fill_lead, 1, fill,
                                 {name, "fill line", place.band, place.bands})) {
                return false;
            }
            read.fill = fill[0];
        }
    }
    return true;
}

} // namespace

std::string Verdict::describe() const {
    return fits() ? "fits" : "line " + std::to_string(line) + ": " + why;
}

Text read_text(std::string_view text, const std::vector<ResourceRecord>& records,
               const AsmSyntax& syntax) {
    Text read;
    Reader reader(text, syntax);
    if (!reader.whole_lines(syntax.preamble, {"the output", "start"})) {
        read.verdict = reader.verdict();
        return read;
    }
    bool holds_page_aligned = false;
    for (const ResourceRecord& list_record : records) {
        Record& record = read.records.emplace_back();
        record.written = !record_is_outside(list_record);
        if (record.written && !read_record(reader, list_record, record)) {
            read.verdict = reader.verdict();
            return read;
        }
        holds_page_aligned = holds_page_aligned || (record.written && is_page_aligned(list_record));
    }
    if (holds_page_aligned && !reader.whole_lines(syntax.page_end, {"the output", "end"})) {
        read.verdict = reader.verdict();
        return read;
    }
    if (!reader.at_end()) {
        std::string_view line;
        reader.next(line, {"", ""});
        reader.fail(reader.line_number(), "text after the last record: " + quoted(line));
        read.verdict = reader.verdict();
    }
    return read;
}

Text read_binary(std::string_view bytes, const std::vector<ResourceRecord>& records) {
    Text read;
    std::uint64_t at = 0;
    const auto fail = [&](const std::string& why) {
        read.verdict.line = static_cast<std::int64_t>(at) + 1;
        read.verdict.why = why;
    };
    // Takes `count` bytes, into `into` (or checked to be zeros).
    const auto take = [&](std::uint64_t count, std::vector<std::uint8_t>* into,
                          const std::string& what) {
        if (bytes.size() - at < count) {
            fail("the binary ends where " + what + " should be");
            return false;
        }
        for (std::uint64_t i = 0; i < count; ++i, ++at) {
            const auto byte = static_cast<std::uint8_t>(bytes[at]);
            if (into != nullptr) {
                into->push_back(byte);
            } else if (byte != 0) {
                fail(what + " holds " + hex(byte) + ", not zeros");
                return false;
            }
        }
        return true;
    };
    for (const ResourceRecord& list_record : records) {
        Record& record = read.records.emplace_back();
        record.written = !record_is_outside(list_record);
        if (!record.written) {
            continue;
        }
        const RecordLayout layout = record_layout(list_record);
        const std::string name = label_of(list_record);
        record.label = name;
        const std::uint64_t gap = layout.page_aligned ? (0 - at) % PAGE_BYTES : 0;
        if (!take(gap, nullptr, name + "'s gap to its page")) {
            return read;
        }
        record.label_line = static_cast<std::int64_t>(at) + 1;
        if (!take(static_cast<std::uint64_t>(layout.size_byte_count), &record.header,
                  name + "'s size bytes")) {
            return read;
        }
        for (std::int64_t b = 0; b < layout.bands; ++b) {
            Band& band = record.bands.emplace_back();
            band.first_line = static_cast<std::int64_t>(at) + 1;
            band.fill = layout.page_fill ? layout.fill_bytes : 0;
            const std::string place = name + ", band " + std::to_string(b + 1);
            if (!take(static_cast<std::uint64_t>(layout.lines_per_band * layout.bytes_per_line),
                      &band.bytes, place) ||
                !take(band.fill, nullptr, place + "'s fill")) {
                return read;
            }
        }
    }
    if (at != bytes.size()) {
        fail("bytes after the last record");
    }
    return read;
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

} // namespace kelvora::read_back
