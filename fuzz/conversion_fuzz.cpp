// Fuzz target: the whole conversion. The input is a picture, then the
// separator "@@LIST@@", then the resource list (no separator: an empty list).
// Each record's output must be exactly the lines its kind and sizes call for,
// well-formed, with the right header values; a record outside the grid must
// give its message instead; and a second run over the same input must write
// the same bytes.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "convert/convert_record.h"
#include "fuzz_support.h"
#include "input/picture.h"
#include "input/resource_list.h"

namespace {

using namespace kelvora;
using fuzz::check;

constexpr std::string_view SEPARATOR = "@@LIST@@";

// Inputs whose picture or records hold more pixels than these are skipped:
// every record can reach the whole grid whatever the picture's size, so large
// work finds nothing new and would only slow each run (the picture target and
// the tests take the largest sizes).
constexpr std::int64_t PICTURE_BUDGET = 256 * 256;
constexpr std::int64_t PIXEL_BUDGET = 1 << 16;

struct Input {
    std::string_view picture;
    std::string_view list;
};

Input split(const std::uint8_t* data, std::size_t size) {
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t at = all.find(SEPARATOR);
    if (at == std::string_view::npos) {
        return {all, {}};
    }
    return {all.substr(0, at), all.substr(at + SEPARATOR.size())};
}

ByteReader& reader_over(std::string_view bytes) {
    return fuzz::reader_over(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

// Pixels a record encodes, for the budget. A band of no cells counts as one
// cell: a block or tile table of width 0 still runs a band for every 8 rows
// (a tile table writing a fill line for each).
std::int64_t work_of(const ResourceRecord& record) {
    const RecordLayout layout = record_layout(record);
    const std::int64_t cells = layout.cells_across > 0 ? layout.cells_across : 1;
    return layout.bands * cells * (is_banded(record.kind) ? 64 : layout.rows * 8);
}

std::int64_t work_of_list(std::string_view list_bytes) {
    ByteReader& list = reader_over(list_bytes);
    ResourceRecord record{};
    std::int64_t work = 0;
    while (work <= PIXEL_BUDGET && read_record(list, record)) {
        if (!record_is_outside(record)) {
            work += work_of(record);
        }
    }
    return work;
}

struct Conversion {
    bool taken;
    std::string output;
    std::string messages;
};

// Everything written to the descriptor, from its start.
std::string contents_of(int fd) {
    std::string text;
    char chunk[1 << 16];
    lseek(fd, 0, SEEK_SET);
    for (ssize_t got; (got = read(fd, chunk, sizeof chunk)) > 0;) {
        text.append(chunk, static_cast<std::size_t>(got));
    }
    return text;
}

Conversion convert(const Input& input) {
    static OutputBuffer out; // 64 KiB of line buffer
    Stores& stores = fuzz::zeroed_stores();
    PictureFacts facts;
    if (!read_picture(reader_over(input.picture), fuzz::picture_scratch(), stores.grid, facts)
             .taken) {
        return {false, {}, {}};
    }
    const int output = memfd_create("kelvora-output", 0);
    char* message_bytes = nullptr;
    std::size_t message_size = 0;
    std::FILE* messages = open_memstream(&message_bytes, &message_size);
    check(output >= 0 && messages != nullptr, "memfd_create or open_memstream failed");

    start_output(out, output);
    ByteReader& list = reader_over(input.list);
    ResourceRecord record{};
    while (read_record(list, record)) {
        convert_record(stores, record, out, messages);
    }
    flush_output(out);
    check(out.error == 0, "writing to memory failed");
    std::fclose(messages);
    Conversion result{true, contents_of(output), std::string(message_bytes, message_size)};
    std::free(message_bytes);
    close(output);
    return result;
}

// Walks the output line by line against what each record calls for.
class Lines {
  public:
    explicit Lines(const std::string& text) : text_(text) {}

    bool at_end() const { return at_ == text_.size(); }

    std::string_view next() {
        check(at_ < text_.size(), "the output ends before a record's lines do");
        const std::size_t end = text_.find('\n', at_);
        check(end != std::string::npos, "the output's last line has no line feed");
        const std::string_view line(text_.data() + at_, end - at_);
        at_ = end + 1;
        return line;
    }

  private:
    const std::string& text_;
    std::size_t at_ = 0;
};

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    fuzz::fail("a byte literal has a digit that is not lower-case hex");
}

// Checks "\t" + directive + " " + `count` literals joined by "," and returns
// the value of the last one.
int expect_literals(std::string_view line, const char* directive, std::int64_t count) {
    check(line.size() == static_cast<std::size_t>(4 + 5 * count - 1), "a data line's length");
    check(line[0] == '\t' && line.substr(1, 2) == directive && line[3] == ' ',
          "a data line does not start with its directive");
    int value = 0;
    for (std::int64_t i = 0; i < count; ++i) {
        const std::string_view literal = line.substr(static_cast<std::size_t>(4 + 5 * i), 4);
        check(literal[0] == '0' && literal[1] == 'x', "a byte literal does not start with 0x");
        value = hex_digit(literal[2]) * 16 + hex_digit(literal[3]);
        const std::size_t after = static_cast<std::size_t>(8 + 5 * i);
        check(after == line.size() || line[after] == ',', "byte literals not separated by ','");
    }
    return value;
}

void expect_value_line(Lines& lines, const char* directive, std::int64_t value) {
    check(expect_literals(lines.next(), directive, 1) == (value & 0xFF),
          "a header or fill line has the wrong value");
}

void expect_record(Lines& lines, const ResourceRecord& record) {
    const std::string_view label(record.name, strnlen(record.name, TOKEN_BUFFER_SIZE));
    const RecordLayout layout = record_layout(record);
    const bool tile_table = record.kind == RecordKind::TileTable;
    if (tile_table) {
        check(lines.next() == "\tds (-$)&0xff", "a tile table does not start on a page");
    }
    check(lines.next() == label, "a label line is not the record's name");
    if (record.kind == RecordKind::Block) {
        expect_value_line(lines, "db", record.width >> 3);
        expect_value_line(lines, "db", record.height >> 3);
    } else if (!tile_table) {
        expect_value_line(lines, "db", record.width >> 3);
        expect_value_line(lines, "db", record.height);
    }
    const std::int64_t data_lines = layout.lines_per_band;
    const std::int64_t literals = layout.bytes_per_line;
    for (std::int64_t band = 0; band < layout.bands; ++band) {
        for (std::int64_t i = 0; i < data_lines; ++i) {
            const int last = expect_literals(lines.next(), "db", literals);
            if (is_banded(record.kind)) {
                check(last < 0x80, "an attribute byte has bit 7 set");
            }
        }
        if (tile_table) {
            expect_value_line(lines, "ds", -9 * ((record.width >> 3) & 255));
        }
    }
}

void check_conversion(const Input& input, const Conversion& result) {
    ByteReader& list = reader_over(input.list);
    Lines lines(result.output);
    std::string messages;
    ResourceRecord record{};
    while (read_record(list, record)) {
        if (record_is_outside(record)) {
            messages += "can't convert ";
            messages.append(record.name, strnlen(record.name, TOKEN_BUFFER_SIZE));
            messages += ": outside the 1024x1024 picture area\n";
        } else {
            expect_record(lines, record);
        }
    }
    check(lines.at_end(), "the output goes on after the last record");
    check(result.messages == messages, "the messages are not one per outside record");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input input = split(data, size);
    PictureFacts facts;
    const bool taken = read_picture(reader_over(input.picture), fuzz::picture_scratch(),
                                    fuzz::zeroed_stores().grid, facts)
                           .taken;
    if ((taken && std::int64_t{facts.width} * facts.height > PICTURE_BUDGET) ||
        work_of_list(input.list) > PIXEL_BUDGET) {
        return -1; // not worth keeping in the corpus
    }
    const Conversion first = convert(input);
    if (!first.taken) {
        return 0;
    }
    check_conversion(input, first);
    const Conversion second = convert(input);
    check(second.output == first.output, "a second conversion wrote other bytes");
    check(second.messages == first.messages, "a second conversion printed other messages");
    return 0;
}
