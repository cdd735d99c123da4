// The reader of kelvora's outputs. Text is read a record at a time: its head
// (the alignment line, the line that makes the label global, the label line)
// as the syntax spells it, then every byte and fill line up to the next line
// of another kind, or the next record's label, which starts the next record.
// Those lines are matched against what the record's layout gives, so a
// record with more or fewer lines than the list says is one finding, and
// the next record is read where it starts. A binary has no lines: it is
// taken byte for byte as the layouts give.
#include "output_reader/output_reader.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "output/sheet.h"
#include "output_reader/finding_words.h"
#include "output_reader/text_spelling.h"

namespace kelvora {
namespace {

using std::string_view;

void emit(OutputReader& reader, const OutputVisitor& visitor, const Words& words) {
    if (words.finding.refusal) {
        ++reader.refusals;
        reader.stopped = true;
    } else {
        ++reader.disagreements;
    }
    if (visitor.finding != nullptr) {
        visitor.finding(visitor.context, words.finding);
    }
}

string_view name_of(const ResourceRecord& record) {
    return string_view(record.name, record.label_length);
}

string_view text_of(const OutputLine& line) {
    return string_view(line.text, static_cast<std::size_t>(line.length));
}

string_view content_of(const OutputLine& line) {
    return spelling::content_of(text_of(line));
}

bool spelled(const OutputLine& line, string_view text) {
    return spelling::spelled(text_of(line), text);
}

using spelling::without_feed;

// The kinds of line, by what they start with. A line another syntax
// spells (its alignment line, or its lead of a byte, fill or global line)
// is foreign: the output mixes syntaxes.
enum class LineKind : std::uint8_t { Align, Global, Bytes, Fill, Foreign, Other };

// Whether any syntax `fits`.
template <typename Fits> bool any_syntax(Fits fits) {
    return spelling::first_syntax(fits) != nullptr;
}

LineKind kind_of(const AsmSyntax& syntax, string_view content) {
    if (content == without_feed(syntax.page_align)) {
        return LineKind::Align;
    }
    // Most lines are of bytes, and no alignment line starts as one does.
    if (content.starts_with(syntax.byte_lead)) {
        return LineKind::Bytes;
    }
    if (any_syntax(
            [&](const AsmSyntax& other) { return content == without_feed(other.page_align); })) {
        return LineKind::Foreign;
    }
    if (syntax.global_lead[0] != '\0' && content.starts_with(syntax.global_lead)) {
        return LineKind::Global;
    }
    if (content.starts_with(syntax.fill_lead)) {
        return LineKind::Fill;
    }
    if (any_syntax([&](const AsmSyntax& other) {
            return content.starts_with(other.byte_lead) || content.starts_with(other.fill_lead) ||
                   (other.global_lead[0] != '\0' && content.starts_with(other.global_lead));
        })) {
        return LineKind::Foreign;
    }
    return LineKind::Other;
}

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// The byte literals after a line's lead, as kelvora writes them ("0x" and
// two lower-case hex digits, separated by ","), the first `room` into
// `bytes`: their count, or -1 with `wrong` at the first that is not one.
int parse_literals(string_view text, std::uint8_t* bytes, int room, string_view& wrong) {
    int count = 0;
    for (;;) {
        const int high = text.size() >= 4 ? hex_digit(text[2]) : -1;
        const int low = text.size() >= 4 ? hex_digit(text[3]) : -1;
        if (text.size() < 4 || text[0] != '0' || text[1] != 'x' || high < 0 || low < 0) {
            wrong = text;
            return -1;
        }
        if (count < room) {
            bytes[count] = static_cast<std::uint8_t>(high << 4 | low);
        }
        ++count;
        text.remove_prefix(4);
        if (text.empty()) {
            return count;
        }
        if (text[0] != ',') {
            wrong = text;
            return -1;
        }
        text.remove_prefix(1);
    }
}

void refuse_trouble(OutputReader& reader, const OutputVisitor& visitor, const OutputLine& line) {
    Words words = start_words(reader, true, line.number);
    switch (line.trouble) {
    case LineTrouble::TooLong:
        words.add("the line is longer than any line kelvora writes");
        break;
    case LineTrouble::CarriageReturn:
        words.add("the line ends in CR LF, where kelvora ends its lines with LF alone; convert "
                  "the line ends (dos2unix does)");
        break;
    case LineTrouble::NoLineFeed:
        words.add("the last line has no line feed, where kelvora ends every line with one");
        break;
    case LineTrouble::None:
        break;
    }
    emit(reader, visitor, words);
}

// The next line that holds more than blanks and a comment into
// reader.line, or a line that the label line `label` spells (an empty label,
// or one of blanks, in a syntax without a label end); false at the end or
// when the reading stopped.
bool next_content_line(OutputReader& reader, const OutputVisitor& visitor,
                       const string_view* label = nullptr) {
    while (!reader.stopped && take_line(reader.lines, reader.line)) {
        if (reader.line.trouble != LineTrouble::None) {
            refuse_trouble(reader, visitor, reader.line);
            return false;
        }
        if (!content_of(reader.line).empty() ||
            (label != nullptr && spelled(reader.line, *label))) {
            return true;
        }
    }
    return false;
}

// Where the next line would be: past the last one read.
std::int64_t line_after(const OutputReader& reader) {
    return reader.lines.number + 1;
}

void refuse_expected(OutputReader& reader, const OutputVisitor& visitor, string_view expected,
                     string_view what) {
    Words words = start_words(reader, true, reader.line.number);
    words.quoted(expected);
    words.add(what);
    words.add(" expected, not ");
    words.quoted(content_of(reader.line));
    emit(reader, visitor, words);
}

// Refuses a line another syntax spells, saying what this one spells there.
void refuse_foreign(OutputReader& reader, const OutputVisitor& visitor) {
    const AsmSyntax& syntax = *reader.syntax;
    const string_view content = content_of(reader.line);
    Words words = start_words(reader, true, reader.line.number);
    if (any_syntax(
            [&](const AsmSyntax& other) { return content == without_feed(other.page_align); })) {
        words.quoted(without_feed(syntax.page_align));
        words.add(", this output's alignment line,");
    } else {
        words.add("lines that start ");
        words.quoted(syntax.byte_lead);
        words.add(" or ");
        words.quoted(syntax.fill_lead);
        words.add(", as this output's syntax spells them,");
    }
    words.add(" expected, not ");
    words.quoted(content);
    emit(reader, visitor, words);
}

void report_ends_before(OutputReader& reader, const OutputVisitor& visitor,
                        const ResourceRecord& record, std::int64_t at) {
    Words words = start_words(reader, false, at);
    words.add(reader.binary ? "the binary ends here, within the list's record "
                            : "the output ends here, before the list's record ");
    words.quoted(name_of(record));
    emit(reader, visitor, words);
    reader.stopped = true;
}

// What the record is in words, for a finding.
void describe_kind(Words& words, const ResourceRecord& record) {
    words.add(record.kind == RecordKind::TileTable ? "a tile table"
              : record.kind == RecordKind::Block   ? "a block"
                                                   : "a sprite");
}

// Where a record's body lines stand against its layout: its size bytes,
// then each band's lines and fill.
struct BodyPlace {
    const ResourceRecord* record;
    const RecordLayout* layout;
    int sizes_taken;
    std::uint8_t sizes[2];
    std::int64_t sizes_at;
    std::int64_t band;
    std::int64_t index;
    bool done;
    // The first line that is not what the layout gives there, and what was
    // found and expected on it; then the lines counted to the record's end.
    bool strays;
    std::int64_t stray_at;
    int stray_found;    // bytes on it, or -1 for a fill line where bytes belong
    int stray_expected; // bytes expected there, -1 for a fill line, 0 for no line
    std::int64_t byte_lines;
    std::int64_t fill_lines;
    bool fill_reported;
};

// Ends every band that has nothing left to take: a band of no lines and no
// fill ends as soon as it starts.
void settle(BodyPlace& place, const OutputVisitor& visitor, std::int64_t at) {
    const RecordLayout& layout = *place.layout;
    while (!place.done && place.sizes_taken == layout.size_byte_count) {
        if (place.band == layout.bands) {
            place.done = true;
            return;
        }
        if (place.index < layout.lines_per_band || layout.page_fill) {
            return;
        }
        if (visitor.band_end != nullptr) {
            visitor.band_end(visitor.context, place.band, 0, at);
        }
        ++place.band;
        place.index = 0;
    }
}

void stray(BodyPlace& place, std::int64_t at, int found, int expected) {
    if (!place.strays) {
        place.strays = true;
        place.stray_at = at;
        place.stray_found = found;
        place.stray_expected = expected;
    }
}

void check_size_bytes(OutputReader& reader, const OutputVisitor& visitor, BodyPlace& place) {
    const RecordLayout& layout = *place.layout;
    if (visitor.size_bytes != nullptr) {
        visitor.size_bytes(visitor.context, place.sizes, layout.size_byte_count, place.sizes_at);
    }
    if (std::memcmp(place.sizes, layout.size_bytes, 2) == 0) {
        return;
    }
    Words words = start_words(reader, false, place.sizes_at);
    words.quoted(name_of(*place.record));
    words.add(": the size bytes are ");
    words.hex(place.sizes[0]);
    words.add(", ");
    words.hex(place.sizes[1]);
    words.add(" here, where the list's record gives ");
    words.hex(layout.size_bytes[0]);
    words.add(", ");
    words.hex(layout.size_bytes[1]);
    words.add(layout.body == BandBody::CellLines ? " (its width and height in cells)"
                                                 : " (its width in cells, its height in rows)");
    emit(reader, visitor, words);
}

// Takes one byte line (count bytes) or, with `fill`, one fill line.
void take_body_line(OutputReader& reader, const OutputVisitor& visitor, BodyPlace& place,
                    const std::uint8_t* bytes, int count, bool fill, std::int64_t at) {
    const RecordLayout& layout = *place.layout;
    place.byte_lines += fill ? 0 : 1;
    place.fill_lines += fill ? 1 : 0;
    if (place.strays) {
        return;
    }
    if (place.done) {
        stray(place, at, fill ? -1 : count, 0);
        return;
    }
    if (place.sizes_taken < layout.size_byte_count) {
        if (fill || count != 1) {
            stray(place, at, fill ? -1 : count, 1);
            return;
        }
        place.sizes_at = place.sizes_taken == 0 ? at : place.sizes_at;
        place.sizes[place.sizes_taken++] = bytes[0];
        if (place.sizes_taken == layout.size_byte_count) {
            check_size_bytes(reader, visitor, place);
        }
    } else if (place.index < layout.lines_per_band) {
        if (fill || count != layout.bytes_per_line) {
            stray(place, at, fill ? -1 : count, static_cast<int>(layout.bytes_per_line));
            return;
        }
        if (visitor.body_line != nullptr) {
            visitor.body_line(visitor.context, place.band, place.index, bytes, at);
        }
        ++place.index;
    } else {
        // The band's fill line, the one line left in it.
        if (!fill) {
            stray(place, at, count, -1);
            return;
        }
        if (bytes[0] != layout.fill_bytes && !place.fill_reported) {
            place.fill_reported = true;
            Words words = start_words(reader, false, at);
            words.quoted(name_of(*place.record));
            words.add(", band ");
            words.number(place.band + 1);
            words.add(": the fill is ");
            words.hex(bytes[0]);
            words.add(" here, where the list's record fills ");
            words.hex(layout.fill_bytes);
            words.add(", the rest of a page after ");
            words.number((layout.size_bytes[0]));
            words.add(" cells of 9 bytes");
            emit(reader, visitor, words);
        }
        if (visitor.band_end != nullptr) {
            visitor.band_end(visitor.context, place.band, bytes[0], at);
        }
        ++place.band;
        place.index = 0;
    }
    settle(place, visitor, at);
}

// "1 band", "2 bands".
void add_count(Words& words, std::int64_t count, const char* one, const char* more) {
    words.number(count);
    words.add(count == 1 ? one : more);
}

void report_strays(OutputReader& reader, const OutputVisitor& visitor, const BodyPlace& place) {
    const RecordLayout& layout = *place.layout;
    const std::int64_t byte_lines = layout.size_byte_count + layout.bands * layout.lines_per_band;
    const std::int64_t fill_lines = layout.page_fill ? layout.bands : 0;
    Words words = start_words(reader, false, place.stray_at);
    words.quoted(name_of(*place.record));
    words.add(": ");
    if (place.byte_lines != byte_lines || place.fill_lines != fill_lines) {
        words.add("the output has ");
        add_count(words, place.byte_lines, " byte line and ", " byte lines and ");
        add_count(words, place.fill_lines, " fill line", " fill lines");
        words.add(" for it, where the list's record (");
        describe_kind(words, *place.record);
        words.add(") gives ");
        words.number(byte_lines);
        words.add(" and ");
        words.number(fill_lines);
        words.add(": ");
        add_count(words, layout.size_byte_count, " size byte, then ", " size bytes, then ");
        add_count(words, layout.bands, " band of ", " bands of ");
        add_count(words, layout.lines_per_band, " line of ", " lines of ");
        add_count(words, layout.bytes_per_line, " byte", " bytes");
        words.add(layout.page_fill ? " and a fill line each" : "");
        words.add("; they part from this line on");
    } else if (place.stray_found < 0) {
        words.add("a fill line here, where the list's record gives a line of ");
        add_count(words, place.stray_expected, " byte", " bytes");
    } else if (place.stray_expected < 0) {
        words.add("a line of bytes here, where the list's record gives a band's fill line");
    } else {
        words.add("a line of ");
        add_count(words, place.stray_found, " byte", " bytes");
        words.add(" here, where the list's record gives ");
        words.number(place.stray_expected);
    }
    emit(reader, visitor, words);
}

// Every byte and fill line of the record up to the next line of another
// kind, or, once the record's lines are all there, up to the next record's
// label line (`next_label`, where the next record starts with its label): a
// label may be empty, blanks, or spelled like a line of bytes. The line
// that ends the record is given back for the next.
void read_text_body(OutputReader& reader, const OutputVisitor& visitor, BodyPlace& place,
                    const string_view* next_label) {
    const AsmSyntax& syntax = *reader.syntax;
    std::uint8_t bytes[MAX_LINE_BYTES];
    while (take_line(reader.lines, reader.line)) {
        if (reader.line.trouble != LineTrouble::None) {
            refuse_trouble(reader, visitor, reader.line);
            return;
        }
        if (place.done && !place.strays && next_label != nullptr &&
            spelled(reader.line, *next_label)) {
            give_back_line(reader.lines, reader.line);
            break;
        }
        const string_view content = content_of(reader.line);
        if (content.empty()) {
            continue;
        }
        const LineKind kind = kind_of(syntax, content);
        const bool fill = kind == LineKind::Fill;
        const char* const lead = fill ? syntax.fill_lead : syntax.byte_lead;
        string_view wrong;
        const int count =
            kind == LineKind::Bytes || fill
                ? parse_literals(content.substr(std::strlen(lead)), bytes, MAX_LINE_BYTES, wrong)
                : -1;
        const bool body = count >= 0 && (!fill || count == 1);
        // Once the record's lines are all there, any line but one of bytes
        // starts the next record; a label may start like a line of bytes.
        if (!body &&
            (place.done || (kind != LineKind::Bytes && !fill && kind != LineKind::Foreign))) {
            give_back_line(reader.lines, reader.line);
            break;
        }
        if (kind == LineKind::Foreign) {
            refuse_foreign(reader, visitor);
            return;
        }
        if (!body) {
            Words words = start_words(reader, true, reader.line.number);
            words.add(fill ? "one byte after " : "bytes after ");
            words.quoted(lead);
            words.add(" as kelvora writes them (0x and two lower-case hex digits");
            words.add(fill ? ")" : ", separated by \",\")");
            words.add(" expected, not ");
            words.quoted(count < 0 ? wrong : content.substr(std::strlen(lead)));
            emit(reader, visitor, words);
            return;
        }
        take_body_line(reader, visitor, place, bytes, count, fill, reader.line.number);
    }
    if (!place.done && !place.strays) {
        stray(place, reader.lines.held > 0 ? reader.line.number : line_after(reader), 0, 0);
    }
    if (place.strays) {
        report_strays(reader, visitor, place);
    }
}

void read_text_record(OutputReader& reader, const ResourceRecord& record,
                      const RecordLayout& layout, const ResourceRecord* next,
                      const OutputVisitor& visitor) {
    const AsmSyntax& syntax = *reader.syntax;
    const string_view name = name_of(record);
    const spelling::Spelled label_line = spelling::label_line(syntax, name);
    const string_view expected_label = label_line.view();
    // The next line of the record's head; false when there is none to read,
    // or it is spelled as another syntax spells it.
    const auto next_head_line = [&] {
        if (!next_content_line(reader, visitor, &expected_label)) {
            if (!reader.stopped) {
                report_ends_before(reader, visitor, record, line_after(reader));
            }
            return false;
        }
        if (!spelled(reader.line, expected_label) &&
            kind_of(syntax, content_of(reader.line)) == LineKind::Foreign) {
            refuse_foreign(reader, visitor);
            return false;
        }
        return true;
    };
    if (!next_head_line()) {
        return;
    }
    const bool aligned = spelled(reader.line, without_feed(syntax.page_align));
    if (aligned != layout.page_aligned) {
        Words words = start_words(reader, false, reader.line.number);
        words.quoted(name);
        words.add(aligned ? " is put on a page here, but the list's record is "
                          : " is not put on a page here, but the list's record is ");
        describe_kind(words, record);
        emit(reader, visitor, words);
    }
    if (aligned && !next_head_line()) {
        return;
    }
    // The line that makes the label global, where the syntax has one: it
    // names the label of the line after it.
    const bool global_line = syntax.global_lead[0] != '\0' && spelling::is_global(syntax, name);
    char made_global[MAX_OUTPUT_LINE];
    std::size_t made_global_length = 0;
    bool globals_the_name = false;
    if (global_line) {
        const string_view content = content_of(reader.line);
        const spelling::Spelled expected = spelling::global_line(syntax, name);
        if (!spelling::before_comment(text_of(reader.line)).starts_with(syntax.global_lead)) {
            refuse_expected(reader, visitor, expected.view(),
                            ", the line that makes a label global,");
            return;
        }
        globals_the_name = spelled(reader.line, expected.view());
        const std::size_t lead = std::strlen(syntax.global_lead);
        made_global_length = content.size() > lead ? content.size() - lead : 0;
        std::memcpy(made_global, content.data() + lead, made_global_length);
        if (!next_head_line()) {
            return;
        }
    }
    // The label line: the list's name as the syntax spells it, or another
    // label spelled the same way.
    const std::int64_t label_at = reader.line.number;
    string_view label = name;
    const bool named = spelled(reader.line, label_line.view());
    if (!named) {
        const string_view content = content_of(reader.line);
        const LineKind kind = kind_of(syntax, content);
        const string_view prefix = syntax.label_prefix;
        const string_view end = syntax.label_end;
        const string_view local_end = syntax.local_label_end;
        if (kind == LineKind::Other && content.starts_with(prefix) && content.ends_with(end) &&
            content.size() > prefix.size() + end.size()) {
            label = content.substr(prefix.size(), content.size() - prefix.size() - end.size());
        } else if (kind == LineKind::Other && syntax.c_names && content.ends_with(local_end) &&
                   content.size() > local_end.size()) {
            label = content.substr(0, content.size() - local_end.size());
        } else {
            refuse_expected(reader, visitor, label_line.view(), ", the label line,");
            return;
        }
        Words words = start_words(reader, false, label_at);
        words.add("the label ");
        words.quoted(label);
        words.add(" is not the list's ");
        words.quoted(name);
        emit(reader, visitor, words);
    }
    if (global_line &&
        !(named ? globals_the_name : label == string_view(made_global, made_global_length))) {
        Words words = start_words(reader, true, label_at);
        words.add("the line before makes ");
        words.quoted(string_view(made_global, made_global_length));
        words.add(" global, not the label of this line");
        emit(reader, visitor, words);
        return;
    }
    if (visitor.label != nullptr) {
        visitor.label(visitor.context, label.data(), static_cast<int>(label.size()), label_at);
    }
    BodyPlace place{};
    place.record = &record;
    place.layout = &layout;
    settle(place, visitor, label_at);
    // The next record's label line, where it comes first (no alignment line,
    // no line that makes it global).
    spelling::Spelled next_line{};
    string_view next_label;
    const bool next_starts_with_label =
        next != nullptr && !record_layout(*next).page_aligned &&
        !(syntax.global_lead[0] != '\0' && spelling::is_global(syntax, name_of(*next)));
    if (next_starts_with_label) {
        next_line = spelling::label_line(syntax, name_of(*next));
        next_label = next_line.view();
    }
    read_text_body(reader, visitor, place, next_starts_with_label ? &next_label : nullptr);
}

// Takes `count` bytes of a binary into `bytes` (null: they must be zeros,
// else `what` is reported once); false when the binary ends first.
bool take_binary(OutputReader& reader, const OutputVisitor& visitor, const ResourceRecord& record,
                 std::uint64_t count, std::uint8_t* bytes, const char* what) {
    std::uint8_t zeros[PAGE_BYTES];
    bool reported = false;
    while (count > 0) {
        const std::size_t part = bytes != nullptr ? count : count < PAGE_BYTES ? count : PAGE_BYTES;
        std::uint8_t* const into = bytes != nullptr ? bytes : zeros;
        const std::size_t got = read_bytes(reader.bytes, into, part);
        for (std::size_t i = 0; bytes == nullptr && !reported && i < got; ++i) {
            if (into[i] != 0) {
                reported = true;
                Words words =
                    start_words(reader, false, static_cast<std::int64_t>(reader.offset + i));
                words.quoted(name_of(record));
                words.add(": ");
                words.add(what);
                words.add(" holds ");
                words.hex(into[i]);
                words.add(" here, where kelvora writes zeros");
                emit(reader, visitor, words);
            }
        }
        reader.offset += got;
        if (got < part) {
            report_ends_before(reader, visitor, record, static_cast<std::int64_t>(reader.offset));
            return false;
        }
        count -= part;
    }
    return true;
}

void read_binary_record(OutputReader& reader, const ResourceRecord& record,
                        const RecordLayout& layout, const OutputVisitor& visitor) {
    const std::uint64_t gap = layout.page_aligned ? (0 - reader.offset) % PAGE_BYTES : 0;
    if (!take_binary(reader, visitor, record, gap, nullptr, "the gap before its page")) {
        return;
    }
    const auto label_at = static_cast<std::int64_t>(reader.offset);
    if (visitor.label != nullptr) {
        visitor.label(visitor.context, record.name, record.label_length, label_at);
    }
    BodyPlace place{};
    place.record = &record;
    place.layout = &layout;
    std::uint8_t bytes[MAX_LINE_BYTES];
    if (layout.size_byte_count > 0) {
        if (!take_binary(reader, visitor, record, 2, place.sizes, "")) {
            return;
        }
        place.sizes_at = label_at;
        check_size_bytes(reader, visitor, place);
    }
    for (std::int64_t band = 0; band < layout.bands; ++band) {
        for (std::int64_t index = 0; index < layout.lines_per_band; ++index) {
            const auto at = static_cast<std::int64_t>(reader.offset);
            if (!take_binary(reader, visitor, record,
                             static_cast<std::uint64_t>(layout.bytes_per_line), bytes, "")) {
                return;
            }
            if (visitor.body_line != nullptr) {
                visitor.body_line(visitor.context, band, index, bytes, at);
            }
        }
        const std::uint8_t fill = layout.page_fill ? layout.fill_bytes : 0;
        if (!take_binary(reader, visitor, record, fill, nullptr, "the fill after a band")) {
            return;
        }
        if (visitor.band_end != nullptr) {
            visitor.band_end(visitor.context, band, fill, static_cast<std::int64_t>(reader.offset));
        }
    }
}

} // namespace

void start_output_reader(OutputReader& reader, int fd) {
    start_reading(reader.bytes, fd);
    reader.binary = false;
    reader.syntax = &DEFAULT_SYNTAX;
    start_output_lines(reader.lines, reader.bytes);
    reader.stopped = false;
    reader.holds_page_aligned = false;
    reader.offset = 0;
    reader.disagreements = 0;
    reader.refusals = 0;
}

void start_output_reader_memory(OutputReader& reader, const void* bytes, std::size_t size) {
    start_output_reader(reader, -1);
    start_reading_memory(reader.bytes, bytes, size);
}

void read_as_text(OutputReader& reader, const AsmSyntax& syntax) {
    reader.binary = false;
    reader.syntax = &syntax;
}

void read_as_binary(OutputReader& reader) {
    reader.binary = true;
    reader.syntax = nullptr;
}

void read_output_start(OutputReader& reader, const OutputVisitor& visitor) {
    if (reader.binary) {
        return;
    }
    // The preamble, a whole line at a time.
    string_view preamble = reader.syntax->preamble;
    while (!preamble.empty()) {
        const string_view line = preamble.substr(0, preamble.find('\n'));
        preamble.remove_prefix(line.size() + 1 <= preamble.size() ? line.size() + 1 : line.size());
        if (!next_content_line(reader, visitor)) {
            if (!reader.stopped) {
                Words words = start_words(reader, true, line_after(reader));
                words.quoted(line);
                words.add(", the output's first line, expected, but the output ends");
                emit(reader, visitor, words);
            }
            return;
        }
        if (!spelled(reader.line, line)) {
            refuse_expected(reader, visitor, line, ", the output's first line,");
            return;
        }
    }
}

void read_output_record(OutputReader& reader, const ResourceRecord& record,
                        const RecordLayout& layout, const ResourceRecord* next,
                        const OutputVisitor& visitor) {
    if (reader.stopped) {
        return;
    }
    reader.holds_page_aligned = reader.holds_page_aligned || layout.page_aligned;
    if (reader.binary) {
        read_binary_record(reader, record, layout, visitor);
    } else {
        read_text_record(reader, record, layout, next, visitor);
    }
}

void read_output_end(OutputReader& reader, const OutputVisitor& visitor) {
    if (reader.stopped) {
        return;
    }
    if (reader.binary) {
        std::uint64_t after = 0;
        for (std::uint64_t got; (got = skip_bytes(reader.bytes, std::uint64_t{1} << 30)) > 0;) {
            after += got;
        }
        if (after > 0) {
            Words words = start_words(reader, false, static_cast<std::int64_t>(reader.offset));
            words.number(static_cast<std::int64_t>(after));
            words.add(after == 1 ? " byte" : " bytes");
            words.add(" after the list's last record");
            emit(reader, visitor, words);
        }
        return;
    }
    const string_view page_end = without_feed(reader.syntax->page_end);
    const bool ends_on_page = reader.holds_page_aligned && !page_end.empty();
    const bool more = next_content_line(reader, visitor);
    if (reader.stopped) {
        return;
    }
    if (ends_on_page && !(more && spelled(reader.line, page_end))) {
        Words words = start_words(reader, false, more ? reader.line.number : line_after(reader));
        words.quoted(page_end);
        words.add(", the line that ends an output holding a tile table on a page, expected ");
        words.add(more ? "here, not " : "at the end");
        if (more) {
            words.quoted(content_of(reader.line));
        }
        emit(reader, visitor, words);
        return;
    }
    if (ends_on_page && !next_content_line(reader, visitor)) {
        return;
    }
    if (!reader.stopped && (ends_on_page || more)) {
        Words words = start_words(reader, false, reader.line.number);
        words.add("text after the list's last record: ");
        words.quoted(content_of(reader.line));
        emit(reader, visitor, words);
    }
}

} // namespace kelvora
