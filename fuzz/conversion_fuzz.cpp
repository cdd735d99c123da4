// Fuzz target: the whole conversion. The input is a picture, then the
// separator "@@LIST@@", then the resource list (no separator: an empty list).
// Each record's output must be exactly the lines its kind and sizes call for,
// well-formed, with the right header values; a record outside the grid must
// give its message instead; and a second run over the same input must write
// the same bytes.
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "input/picture.h"
#include "main/run.h"

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

const std::uint8_t* bytes_of(std::string_view text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

std::FILE* open_view(std::string_view bytes) {
    return fuzz::open_bytes(bytes_of(bytes), bytes.size());
}

fuzz::ListReader open_list_view(std::string_view bytes) {
    return fuzz::open_list(bytes_of(bytes), bytes.size());
}

// How many lines of what a record that is inside the grid writes after its
// header: `bands` bands of `lines_per_band` lines, each of `literals`
// byte literals, and for a tile table one fill line closing each band.
struct Shape {
    std::int64_t bands;
    std::int64_t lines_per_band;
    std::int64_t literals;
    // Pixels encoded, for the budget. A band of no cells counts as one cell:
    // a block or tile table of width 0 may run a band for every 8 rows of a
    // height near 2^31 (a tile table writing a fill line for each).
    std::int64_t work;
};

Shape shape_of(const ResourceRecord& record) {
    const std::int64_t width = record.width;
    const std::int64_t height = record.height;
    if (height <= 0) {
        return {0, 0, 0, 0};
    }
    if (is_block_kind(record.kind)) {
        const std::int64_t cells = width > 0 ? (width + 7) / 8 : 0;
        const std::int64_t bands = (height + 7) / 8;
        return {bands, cells, 9, bands * (cells > 0 ? cells : 1) * 64};
    }
    const std::int64_t pairs = width / 8 > 0 ? width / 8 : 1;
    return {1, height, 2 * pairs, height * pairs * 8};
}

std::int64_t pixels_of_picture(std::string_view picture) {
    if (picture.size() < 26) {
        return 0;
    }
    const auto width = static_cast<std::int32_t>(fuzz::le32_at(bytes_of(picture), 18));
    const auto height = static_cast<std::int32_t>(fuzz::le32_at(bytes_of(picture), 22));
    return static_cast<std::int64_t>(width) * height;
}

std::int64_t work_of_list(std::string_view list_bytes) {
    fuzz::ListReader list = open_list_view(list_bytes);
    ResourceRecord record{};
    std::int64_t work = 0;
    while (work <= PIXEL_BUDGET && fuzz::next_record(list, record)) {
        if (!record_is_outside(record)) {
            work += shape_of(record).work;
        }
    }
    fuzz::close_list(list);
    return work;
}

struct Conversion {
    bool loaded;
    std::string output;
    std::string messages;
};

std::string take(char* buffer, std::size_t size) {
    std::string text(buffer, size);
    std::free(buffer);
    return text;
}

Conversion convert(const Input& input) {
    static AsmOutput out; // 64 KiB of line buffer
    Stores& stores = fuzz::zeroed_stores();
    std::FILE* picture = open_view(input.picture);
    const bool loaded = load_picture(picture, stores.grid);
    std::fclose(picture);
    if (!loaded) {
        return {false, {}, {}};
    }
    char* output_bytes = nullptr;
    std::size_t output_size = 0;
    char* message_bytes = nullptr;
    std::size_t message_size = 0;
    std::FILE* output = open_memstream(&output_bytes, &output_size);
    std::FILE* messages = open_memstream(&message_bytes, &message_size);
    check(output != nullptr && messages != nullptr, "open_memstream failed");
    std::FILE* list = open_view(input.list);

    start_output(out, output);
    convert_list(stores, list, out, messages);
    flush_output(out);
    check(!out.failed, "writing to memory failed");
    std::fclose(list);
    std::fclose(output);
    std::fclose(messages);
    return {true, take(output_bytes, output_size), take(message_bytes, message_size)};
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
    if (record.kind == 'T') {
        check(lines.next() == "\tds (-$)&0xff", "a tile table does not start on a page");
    }
    check(lines.next() == label, "a label line is not the record's name");
    if (record.kind == 'B') {
        expect_value_line(lines, "db", record.width >> 3);
        expect_value_line(lines, "db", record.height >> 3);
    } else if (record.kind != 'T') {
        expect_value_line(lines, "db", record.width >> 3);
        expect_value_line(lines, "db", record.height);
    }
    const Shape shape = shape_of(record);
    for (std::int64_t band = 0; band < shape.bands; ++band) {
        for (std::int64_t i = 0; i < shape.lines_per_band; ++i) {
            const int last = expect_literals(lines.next(), "db", shape.literals);
            if (is_block_kind(record.kind)) {
                check(last < 0x80, "an attribute byte has bit 7 set");
            }
        }
        if (record.kind == 'T') {
            expect_value_line(lines, "ds", -9 * ((record.width >> 3) & 255));
        }
    }
}

void check_conversion(const Input& input, const Conversion& result) {
    fuzz::ListReader list = open_list_view(input.list);
    Lines lines(result.output);
    std::string messages;
    ResourceRecord record{};
    while (fuzz::next_record(list, record)) {
        if (record_is_outside(record)) {
            messages += "can't convert ";
            messages.append(record.name, strnlen(record.name, TOKEN_BUFFER_SIZE));
            messages += ": outside the 1024x1024 picture area\n";
        } else {
            expect_record(lines, record);
        }
    }
    fuzz::close_list(list);
    check(lines.at_end(), "the output goes on after the last record");
    check(result.messages == messages, "the messages are not one per outside record");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Input input = split(data, size);
    if (pixels_of_picture(input.picture) > PICTURE_BUDGET ||
        work_of_list(input.list) > PIXEL_BUDGET) {
        return -1; // not worth keeping in the corpus
    }
    const Conversion first = convert(input);
    if (!first.loaded) {
        return 0;
    }
    check_conversion(input, first);
    const Conversion second = convert(input);
    check(second.output == first.output, "a second conversion wrote other bytes");
    check(second.messages == first.messages, "a second conversion printed other messages");
    return 0;
}
