// Resource-list reader: tokens, comments, numbers and whole records.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "input/resource_list.h"
#include "test_support.h"

namespace kelvora {
namespace {

// A record as plain values, for comparing in tables.
struct Expected {
    std::string name;
    char kind;
    std::int32_t x, y, width, height;
    int colour;

    bool operator==(const Expected&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Expected& e) {
    return os << "{\"" << e.name << "\" kind " << int(e.kind) << " " << e.x << "," << e.y << ","
              << e.width << "," << e.height << "," << e.colour << "}";
}

std::vector<Expected> read_all(const std::string& list, std::size_t most = 100) {
    const auto reader = test::reader_over(list);
    std::vector<Expected> records;
    ResourceRecord record{};
    while (read_record(*reader, record)) {
        EXPECT_EQ(record.kind, kind_of(record.kind_char));
        records.push_back({std::string(record.name), record.kind_char, record.x, record.y,
                           record.width, record.height, record.default_colour});
        if (records.size() > most) {
            break; // a reader that never ends the list would loop here
        }
    }
    return records;
}

struct ListCase {
    const char* what;
    std::string list;
    std::vector<Expected> records;
};

const std::string letters100 = [] {
    std::string s;
    for (int i = 0; i < 100; ++i) {
        s += static_cast<char>('a' + i % 26);
    }
    return s;
}();

TEST(ResourceList, RecordsAsTheyAreRead) {
    const Expected logo{"logo", 'B', 0, 0, 16, 8, 5};
    const Expected ship{"ship", 'S', 0, 0, 16, 16, 7};
    const std::vector<ListCase> cases = {
        {"LF", "logo=B,0,0,16,8,5\n", {logo}},
        {"CR LF", "logo=B,0,0,16,8,5\r\n", {logo}},
        {"two records", "logo=B,0,0,16,8,5\r\nship=S,0,0,16,16,7\r\n", {logo, ship}},
        {"no final line break", "logo=B,0,0,16,8,5", {logo}},
        {"comment line first", "; the logo\nlogo=B,0,0,16,8,5\n", {logo}},
        {"comment after a record",
         "ship=S,0,0,16,16,7 ; the hero\nlogo=B,0,0,16,8,5\n",
         {ship, logo}},
        {"semicolon ends the colour",
         "ship=S,0,0,16,16,7;x\nlogo=B,0,0,16,8,5\n",
         {ship, {"xlogo", 'B', 0, 0, 16, 8, 5}}},
        {"space in a name", "my ship=S,0,0,16,16,7\n", {{"my ship", 'S', 0, 0, 16, 16, 7}}},
        {"semicolon in a name", "hero;x=S,0,0,16,16,7\nlogo=B,0,0,16,8,5\n", {logo}},
        {"comment with separators", "; a=b,c\nlogo=B,0,0,16,8,5\n", {logo}},
        // The colour's digits are left over and become the next record's name.
        {"space before x",
         "ship=S, 16,0,16,16,7\n",
         {{"ship", 'S', 0, 16, 0, 16, 16}, {"7", '\0', 0, 0, 0, 0, 0}}},
        {"minus sign",
         "ship=S,-8,0,16,16,7\n",
         {{"ship", 'S', 0, 8, 0, 16, 16}, {"7", '\0', 0, 0, 0, 0, 0}}},
        {"any separator between numbers", "ship=S,1 2/3x4.263\n", {{"ship", 'S', 1, 2, 3, 4, 7}}},
        {"kind must end at a separator", "ship=S:1 2/3x4.263\n", {{"ship", 'S', 0, 0, 0, 0, 0}}},
        {"colour low 8 bits", "a=B,0,0,8,8,263\n", {{"a", 'B', 0, 0, 8, 8, 7}}},
        {"wrapping numbers",
         "a=B,4294967296,4294967295,2147483648,4294967304,0\n",
         {{"a", 'B', 0, -1, INT32_MIN, 8, 0}}},
        {"kind is the first character", "a=Sprite,1,2,3,4,5\n", {{"a", 'S', 1, 2, 3, 4, 5}}},
        {"kind with a space first", "a= B,1,2,3,4,5\n", {{"a", ' ', 1, 2, 3, 4, 5}}},
        {"empty kind", "a=,1,2,3,4,5\n", {{"a", '\0', 1, 2, 3, 4, 5}}},
        {"kind ended by equals", "a=B=1,2,3,4,5\n", {{"a", 'B', 1, 2, 3, 4, 5}}},
        {"token across a line break", "lo\ngo=B,0,0,16,8,5\n", {logo}},
        {"two trailing spaces", "logo=B,0,0,16,8,5  ", {logo, {" ", '\0', 0, 0, 0, 0, 0}}},
        {"empty file", "", {}},
        {"comments only", "; one\r\n;two\r\n", {}},
        {"comment to the end of the file", "logo=B,0,0,16,8,5\n; no line end", {logo}},
        {"empty name ends the list",
         "logo=B,0,0,16,8,5\n=B,0,0,8,8,1\nship=S,0,0,16,16,7\n",
         {logo}},
        {"comma name ends the list", ",B,0,0,8,8,1\nlogo=B,0,0,16,8,5\n", {}},
        {"long comment spills into the next name",
         std::string(";") + letters100 + "\nlogo=B,0,0,16,8,5\n",
         {{letters100.substr(79) + "logo", 'B', 0, 0, 16, 8, 5}}},
        {"comment of exactly 79 stored characters",
         std::string(";") + letters100.substr(0, 78) + "\n" + "logo=B,0,0,16,8,5\n",
         {logo}},
        {"name of 79 characters",
         letters100.substr(0, 79) + "=B,0,0,8,8,1\n",
         {{letters100.substr(0, 79), 'B', 0, 0, 8, 8, 1}}},
        {"name of 81 characters: 80th lost, 81st is the next token",
         letters100.substr(0, 81) + "=B,0,0,8,8,1\n",
         // "B" then reads as x = 0 and the separators shift every number along.
         {{letters100.substr(0, 79), letters100[80], 0, 0, 0, 0, 8}, {"8", '1', 0, 0, 0, 0, 0}}},
        {"long kind",
         "a=" + letters100 + ",1,2,3,4,5\n",
         // The kind's 80th character is lost; the rest is read as numbers.
         {{"a", 'a', 0, 0, 0, 0, 0}, {letters100.substr(85), '1', 2, 3, 4, 5, 0}}},
    };
    for (const ListCase& c : cases) {
        EXPECT_EQ(read_all(c.list), c.records) << c.what;
    }
}

TEST(ResourceList, NameWithNulHasLengthOneAndDoesNotEndTheList) {
    const std::string list("\0=B,0,0,8,8,1\n", 14);
    char buffer[TOKEN_BUFFER_SIZE];
    EXPECT_EQ(read_token(*test::reader_over(list), buffer), 1);
    EXPECT_EQ(buffer[0], '\0');

    const auto records = read_all(std::string("\0=B,0,0,8,8,1\nlogo=B,0,0,16,8,5\n", 32));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].name, "");
    EXPECT_EQ(records[1].name, "logo");
}

TEST(ResourceList, TokenLimitLosesTheEightiethByte) {
    const std::string list = letters100 + ",";
    const auto reader = test::reader_over(list);
    char buffer[TOKEN_BUFFER_SIZE];
    EXPECT_EQ(read_token(*reader, buffer), 79);
    EXPECT_EQ(std::string(buffer), letters100.substr(0, 79));
    EXPECT_EQ(read_token(*reader, buffer), 20);
    EXPECT_EQ(std::string(buffer), letters100.substr(80));
}

TEST(ResourceList, NumberReader) {
    struct Case {
        std::string text;
        std::int32_t value;
        int next; // the byte after the number's terminator, or -1 at the end
    };
    const Case cases[] = {
        {"0,x", 0, 'x'},
        {"123,x", 123, 'x'},
        {"123", 123, -1},
        {",x", 0, 'x'},
        {" 5", 0, '5'},
        {"-5", 0, '5'},
        {"2147483647,", INT32_MAX, -1},
        {"2147483648,", INT32_MIN, -1},
        {"4294967295,", -1, -1},
        {"4294967296,", 0, -1},
        {"99999999999,", 1215752191, -1},
        {"12\r\nx", 12, '\n'},
    };
    for (const Case& c : cases) {
        const auto reader = test::reader_over(c.text);
        EXPECT_EQ(read_number(*reader), c.value) << c.text;
        EXPECT_EQ(next_byte(*reader), c.next) << c.text;
    }
}

TEST(ResourceList, RecordsAcrossReadBlocks) {
    // Well over one 64 KiB block, so tokens and numbers are cut by refills
    // at every possible offset when read from a file.
    std::string list;
    std::vector<Expected> want;
    for (int i = 0; i < 6000; ++i) {
        std::string name = "r";
        name += std::to_string(i);
        name.append(static_cast<std::size_t>(i % 13), 'x');
        list += name;
        list += "=S,";
        list += std::to_string(i) + "," + std::to_string(3 * i) + ",8,16,";
        list += std::to_string(i % 300) + "\r\n";
        want.push_back({name, 'S', i, 3 * i, 8, 16, i % 300 % 256});
    }
    ASSERT_GT(list.size(), 2 * ByteReader::CAPACITY);
    EXPECT_EQ(read_all(list, 7000), want);
    test::TempDir dir;
    test::write_file(dir / "list.txt", list);
    const int fd = open((dir / "list.txt").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    const auto reader = std::make_unique<ByteReader>();
    start_reading(*reader, fd);
    ResourceRecord record{};
    for (const Expected& w : want) {
        ASSERT_TRUE(read_record(*reader, record));
        ASSERT_EQ(record.name, w.name);
        ASSERT_EQ(record.default_colour, w.colour);
    }
    EXPECT_FALSE(read_record(*reader, record));
    close(fd);
}

// Reads the list record by record both ways, untraced and traced, expecting
// the same records and the same traces.
void expect_same_reading(const std::string& list, const std::string& context) {
    const auto fast = test::reader_over(list);
    const auto plain = test::reader_over(list);
    const auto traced = test::reader_over(list);
    const auto traced_plain = test::reader_over(list);
    ResourceRecord a{};
    ResourceRecord b{};
    ResourceRecord c{};
    RecordTrace fast_trace{};
    RecordTrace plain_trace{};
    for (int record = 0;; ++record) {
        SCOPED_TRACE(context + " record " + std::to_string(record));
        const bool read_fast = read_record(*fast, a);
        const bool read_plain = detail::read_record_byte_by_byte(*plain, b);
        ASSERT_EQ(read_fast, read_plain);
        ASSERT_EQ(bytes_taken(*fast), bytes_taken(*plain));
        ASSERT_EQ(read_record(*traced, c, fast_trace), read_fast);
        ASSERT_EQ(detail::read_record_byte_by_byte(*traced_plain, c, plain_trace), read_fast);
        ASSERT_EQ(bytes_taken(*traced), bytes_taken(*plain));
        if (!read_fast) {
            return;
        }
        ASSERT_EQ(fast_trace.name_start, plain_trace.name_start);
        ASSERT_EQ(fast_trace.name_length, plain_trace.name_length);
        ASSERT_EQ(fast_trace.kind_start, plain_trace.kind_start);
        for (int field = 0; field < 7; ++field) {
            ASSERT_EQ(fast_trace.field_end[field], plain_trace.field_end[field]) << field;
        }
        ASSERT_EQ(std::memcmp(a.name, b.name, strnlen(b.name, TOKEN_BUFFER_SIZE) + 1), 0);
        ASSERT_EQ(a.label_length, b.label_length);
        ASSERT_EQ(a.kind_char, b.kind_char);
        ASSERT_EQ(a.kind, b.kind);
        ASSERT_EQ(a.x, b.x);
        ASSERT_EQ(a.y, b.y);
        ASSERT_EQ(a.width, b.width);
        ASSERT_EQ(a.height, b.height);
        ASSERT_EQ(a.default_colour, b.default_colour);
    }
}

TEST(ResourceList, OnePassReadingAgreesWithByteByByte) {
    // Lists of short records mixed with everything the one-pass reading must
    // leave to the byte-by-byte one: comments, CR LF, blank lines, long
    // names and kinds, long numbers, stray bytes, empty names.
    std::uint32_t state = 12345;
    const auto next = [&state](std::uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % below;
    };
    const auto digits = [&next](std::uint32_t count) {
        std::string text;
        for (std::uint32_t i = 0; i < count; ++i) {
            text += static_cast<char>('0' + next(10));
        }
        return text;
    };
    for (int trial = 0; trial < 300; ++trial) {
        std::string list;
        while (list.size() < 2000) {
            const std::uint32_t choice = next(16);
            if (choice < 6) {
                list += std::string(1 + next(8), static_cast<char>('a' + next(26))) + "=" +
                        "BTSs"[next(4)] + "," + digits(1 + next(4)) + "," + digits(1 + next(4)) +
                        "," + digits(1 + next(3)) + "," + digits(1 + next(3)) + "," +
                        digits(1 + next(3)) + (next(3) == 0 ? "\r\n" : "\n");
            } else if (choice == 14) {
                // Around the lengths read at once: names and kinds of 15 to 17,
                // numbers of up to 8 digits or none, a NUL in a name, after up
                // to four line breaks.
                std::string name(14 + next(4), 'q');
                if (next(2) == 0) {
                    name[next(static_cast<std::uint32_t>(name.size()))] = '\0';
                }
                list += std::string(next(5), '\n') + name + "=" + std::string(next(18), 'S') + "," +
                        digits(next(8)) + "," + digits(next(3)) + "," + digits(2 + next(5)) + "," +
                        digits(next(6)) + "," + digits(next(2) == 0 ? 8 : 1) + "\n";
            } else if (choice == 6) {
                list += "; a comment=with,separators\n";
            } else if (choice == 7) {
                list += std::string(70 + next(20), 'n') + "=B,1,2,3,4,5\n";
            } else if (choice == 8) {
                list += "k=" + std::string(70 + next(20), 'T') + ",1,2,3,4,5\n";
            } else if (choice == 9) {
                list += "d=S," + digits(10 + next(300)) + ",1,2,3,4\n";
            } else if (choice == 10) {
                list += std::string(1 + next(6), "\r\n"[next(2)]);
            } else if (choice == 11) {
                list += static_cast<char>(next(256));
            } else if (choice == 12) {
                list += "s= B, 1,2 ,3,4,5;x\n";
            } else if (next(8) == 0) {
                list += "=B,1,2,3,4,5\n"; // ends the list
            }
        }
        expect_same_reading(list, "trial " + std::to_string(trial));
    }
}

// Records at the edges of what is read in one pass: fields ending near the
// ends of the 16-byte pieces looked at, a NUL late in a name, numbers of
// four and five digits or none.
TEST(ResourceList, OnePassReadingAgreesAtItsEdges) {
    const std::string q15(15, 'q');
    const std::string rows[] = {
        std::string("\n\n\n\nqqqqqqqqqqqq\0qq=S,1,2,3,4,5\n", 29),
        std::string("\r\n\r\nqqqqqqqqqqqqqq\0=B,1,2,3,4,5\n", 29),
        "\n\n\n\n" + q15 + "=" + std::string(15, 'S') + ",1,2,3,4,5\n",
        "\n\n\n\n" + q15 + "=" + std::string(16, 'S') + ",1,2,3,4,5\n",
        "\n\n\n\n\n" + q15 + "=T,1,2,3,4,5\n",
        q15 + "=T,1024,1024,1024,1024,9999\n",
        q15 + "=T,1,2,3,4,12345\n",
        "a=B,,,,,\n",
        "a=,1;2=3\n4,5\n",
    };
    for (const std::string& row : rows) {
        // Enough after the record for it to be read in one pass.
        expect_same_reading(row + "b=B,0,0,8,8,0\n" + std::string(100, '\n'), "list " + row);
    }
}

TEST(ResourceList, EndlessCommentEndsTheList) {
    std::string list = ";";
    list.append(100000, ';');
    EXPECT_TRUE(read_all(list).empty());
}

} // namespace
} // namespace kelvora
