// Whole conversions through the real program, compared byte for byte.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "test_support.h"

namespace kelvora {
namespace {

using test::BmpLayout;
using test::convert;
using test::EMPTY_CELL;
using test::LEFT_CELL;
using test::logo_picture;
using test::make_bmp;
using test::read_file;
using test::repeat;
using test::Result;
using test::RIGHT_CELL;
using test::run_kelvora;
using test::TempDir;
using test::write_file;

struct Case {
    const char* what;
    std::string list;
    std::string expected;
    std::string messages = "";
};

TEST(Conversion, RecordsOfTheSmallPicture) {
    const std::vector<Case> cases = {
        {"block", "logo=B,0,0,16,8,7\n", "logo\n\tdb 0x02\n\tdb 0x01\n" + LEFT_CELL + RIGHT_CELL},
        {"tile table", "font=T,0,0,16,8,7\n",
         "\tds (-$)&0xff\nfont\n" + LEFT_CELL + RIGHT_CELL + "\tds 0xee\n"},
        {"sprite", "ship=S,0,0,16,8,7\n",
         "ship\n\tdb 0x02\n\tdb 0x08\n" + repeat("\tdb 0xff,0xf0,0x00,0x00\n", 8)},
        {"kind Sprite is a sprite", "ship=Sprite,0,0,16,8,7\n",
         "ship\n\tdb 0x02\n\tdb 0x08\n" + repeat("\tdb 0xff,0xf0,0x00,0x00\n", 8)},
        {"kind t is a sprite", "ship=t,0,0,16,8,7\n",
         "ship\n\tdb 0x02\n\tdb 0x08\n" + repeat("\tdb 0xff,0xf0,0x00,0x00\n", 8)},
        {"kind with a leading space is a sprite", "ship= B,0,0,16,8,7\n",
         "ship\n\tdb 0x02\n\tdb 0x08\n" + repeat("\tdb 0xff,0xf0,0x00,0x00\n", 8)},
        {"empty kind is a sprite", "ship=,0,0,16,8,7\n",
         "ship\n\tdb 0x02\n\tdb 0x08\n" + repeat("\tdb 0xff,0xf0,0x00,0x00\n", 8)},
        {"white sprite: every colour is ink 15", "w=s,0,0,16,8,7\n",
         // 15 never occurs, so no bitmap bit is set: data equals mask.
         "w\n\tdb 0x02\n\tdb 0x08\n" + repeat("\tdb 0xff,0xff,0x00,0x00\n", 8)},
        {"name with a trailing space", "logo =B,0,0,8,8,7\n",
         "logo \n\tdb 0x01\n\tdb 0x01\n" + LEFT_CELL},
        {"block 12 wide: header says one cell, two are written", "b=B,0,0,12,8,7\n",
         "b\n\tdb 0x01\n\tdb 0x01\n" + LEFT_CELL + RIGHT_CELL},
        {"block 12 high: two bands, the second past the picture", "b=B,0,0,8,12,7\n",
         "b\n\tdb 0x01\n\tdb 0x01\n" + LEFT_CELL + EMPTY_CELL},
        {"height 0: header only, every kind", "b=B,0,0,16,0,7\nt=T,0,0,16,0,7\ns=S,0,0,16,0,7\n",
         "b\n\tdb 0x02\n\tdb 0x00\n\tds (-$)&0xff\nt\ns\n\tdb 0x02\n\tdb 0x00\n"},
        {"tile table of width 0 still fills each band", "t=T,0,0,0,16,7\n",
         "\tds (-$)&0xff\nt\n\tds 0x00\n\tds 0x00\n"},
        {"negative sizes shift arithmetically", "b=B,0,0,4294967288,4294967280,7\n",
         "b\n\tdb 0xff\n\tdb 0xfe\n"},
        {"a NUL in the name ends the label", std::string("ab\0cd=B,0,0,8,8,7\n", 18),
         "ab\n\tdb 0x01\n\tdb 0x01\n" + LEFT_CELL},
        {"a name that is only a NUL gives an empty label", std::string("\0=B,0,0,8,8,7\n", 14),
         "\n\tdb 0x01\n\tdb 0x01\n" + LEFT_CELL},
        {"two trailing spaces give one more sprite record", "logo=B,0,0,8,8,7  ",
         // The extra record has width and height 0: header only.
         "logo\n\tdb 0x01\n\tdb 0x01\n" + LEFT_CELL + " \n\tdb 0x00\n\tdb 0x00\n"},
    };
    for (const Case& c : cases) {
        for (int bits : {4, 8}) {
            const Result result = convert(logo_picture(bits), c.list);
            EXPECT_EQ(result.output, c.expected) << c.what << ", " << bits << "-bit";
            EXPECT_EQ(result.messages, c.messages) << c.what << ", " << bits << "-bit";
        }
    }
}

TEST(Conversion, OutsideRecordsAreSkippedWithAMessage) {
    const std::string good = "logo=B,0,0,16,8,7\n";
    const std::string good_output = "logo\n\tdb 0x02\n\tdb 0x01\n" + LEFT_CELL + RIGHT_CELL;
    const std::vector<std::string> outside = {
        "far=B,1024,0,8,8,7",        "far=B,1017,0,8,8,7",
        "far=B,0,1017,8,8,7",        "far=B,0,1016,8,9,7",
        "far=T,1016,0,9,8,7",        "far=S,0,1020,8,4,7",
        "far=S,0,1017,8,8,7",        "far=S,0,0,8,1025,7",
        "far=S,1024,0,0,8,7",        "far=S,0,1000,0,25,7",
        "far=s,1017,0,1,8,7",        "far=B,0,0,2147483647,8,7",
        "far=B,0,0,8,2147483647,7",  "far=S,2147483647,0,2147483647,1,7",
        "far=B,4294967288,0,16,8,7", // x = -8
        "far=S,0,4294967295,8,8,7",  // y = -1
        "far=S,4294967295,0,0,8,7",  // x = -1, width 0
    };
    for (const std::string& record : outside) {
        const Result result = convert(logo_picture(8), good + record + "\n" + good);
        EXPECT_EQ(result.output, good_output + good_output) << record;
        EXPECT_EQ(result.messages, "can't convert far: outside the 1024x1024 picture area\n")
            << record;
    }
}

TEST(Conversion, RecordsAtTheGridsEdgeAreInside) {
    const std::vector<Case> cases = {
        {"last cell of the grid", "e=B,1016,1016,8,8,7\n",
         "e\n\tdb 0x01\n\tdb 0x01\n" + EMPTY_CELL},
        {"sprite of 4 rows at the bottom edge reads 8", "e=S,0,1016,8,8,7\n",
         "e\n\tdb 0x01\n\tdb 0x08\n" + repeat("\tdb 0x00,0x00\n", 8)},
        {"width 0 sprite at the last column", "e=S,1023,1020,0,4,7\n",
         "e\n\tdb 0x00\n\tdb 0x04\n" + repeat("\tdb 0x00,0x00\n", 4)},
        {"negative height touches nothing", "e=S,4294967291,4294967291,4294967291,4294967295,7\n",
         "e\n\tdb 0xff\n\tdb 0xff\n"},
        {"block of negative width touches nothing", "e=B,4294967295,1020,4294967295,8,7\n",
         "e\n\tdb 0xff\n\tdb 0x01\n"},
    };
    for (const Case& c : cases) {
        const Result result = convert(logo_picture(8), c.list);
        EXPECT_EQ(result.output, c.expected) << c.what;
        EXPECT_EQ(result.messages, "") << c.what;
    }
}

TEST(Conversion, BlocksWithoutCellsWriteOnlyTheirFillLines) {
    // A tile table of width 0 writes one fill line per band, across several
    // output blocks; width -8 shifts to -1, so its fill is -9 * 255 & 255.
    const Result result = convert(logo_picture(8), "t=T,0,0,0,80000,7\n"
                                                   "n=T,0,0,4294967288,24,7\n"
                                                   "b=B,0,0,0,2147483647,7\n");
    EXPECT_EQ(result.output, "\tds (-$)&0xff\nt\n" + repeat("\tds 0x00\n", 10000) +
                                 "\tds (-$)&0xff\nn\n" + repeat("\tds 0x09\n", 3) +
                                 "b\n\tdb 0x00\n\tdb 0xff\n");
    EXPECT_EQ(result.messages, "");
}

TEST(Conversion, WideTileTableFillsToTheNextPage) {
    // 256 pixels wide: 32 cells of 9 bytes = 288, so the fill is 224 (0xe0).
    const Result result =
        convert(make_bmp({256, 8, 4}, [](int, int) { return 0; }), "wide=T,0,0,256,8,7\n");
    EXPECT_EQ(result.output, "\tds (-$)&0xff\nwide\n" + repeat(EMPTY_CELL, 32) + "\tds 0xe0\n");
}

TEST(Conversion, TallSpriteHeightByteWraps) {
    const Result result =
        convert(make_bmp({8, 256, 4}, [](int, int) { return 0; }), "tall=S,0,0,8,256,7\n");
    EXPECT_EQ(result.output, "tall\n\tdb 0x01\n\tdb 0x00\n" + repeat("\tdb 0x00,0x00\n", 256));
}

// Column 1 (pixels 8-15) holds colour 4 in a triangle: in row r the first
// r % 8 + 1 pixels, so its mask byte in row r is the top r % 8 + 1 bits.
std::string triangle_picture() {
    return make_bmp({24, 16, 8}, [](int x, int y) -> std::uint8_t {
        return x >= 8 && x < 16 && x - 8 <= y % 8 ? 4 : 0;
    });
}

std::string triangle_bits(int r) {
    static const char* const BYTES[] = {"0x80", "0xc0", "0xe0", "0xf0",
                                        "0xf8", "0xfc", "0xfe", "0xff"};
    return BYTES[r % 8];
}

std::string triangle_cell() {
    std::string line = "\tdb ";
    for (int r = 0; r < 8; ++r) {
        line += triangle_bits(r) + ",";
    }
    return line + "0x04\n";
}

TEST(Conversion, WidthZeroSpriteShowsWhatTheStoresHold) {
    const std::string list = "f=B,0,0,24,16,7\na=S,0,0,8,16,7\nz=S,8,0,0,16,7\n";
    const std::string zero_cell = "\tdb 0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x04\n";
    // f: an empty cell (ink 15), the triangle (ink 4 on 0), an empty cell
    // keeping ink 4; two bands alike.
    const std::string f_band = EMPTY_CELL + triangle_cell() + zero_cell;
    std::string z_rows;
    for (int r = 0; r < 16; ++r) {
        // a cleared column 1 of the bitmap, so the data equals the mask f left.
        z_rows += "\tdb " + triangle_bits(r) + "," + triangle_bits(r) + "\n";
    }
    const std::string expected = "f\n\tdb 0x03\n\tdb 0x02\n" + f_band + f_band +
                                 "a\n\tdb 0x01\n\tdb 0x10\n" + repeat("\tdb 0x00,0x00\n", 16) +
                                 "z\n\tdb 0x00\n\tdb 0x10\n" + z_rows;
    EXPECT_EQ(convert(triangle_picture(), list).output, expected);
}

TEST(Conversion, StoresCarryFromOneRecordToTheNext) {
    // Without a, the bitmap of column 1 still holds f's triangle in rows 0-15,
    // so data = mask XOR bitmap = 0 in every row. z2 of width 0 reads column
    // 2, whose bitmap f's last cell set to 0 and whose mask is 0.
    const std::string list = "f=B,0,0,24,16,7\nz=S,8,0,0,16,7\nz2=S,16,4,0,2,7\n"
                             // A block of width 0 leaves every store alone.
                             "n=B,0,0,0,16,7\nz3=S,8,0,0,2,7\n";
    const std::string zero_cell = "\tdb 0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x04\n";
    const std::string f_band = EMPTY_CELL + triangle_cell() + zero_cell;
    std::string z_rows;
    for (int r = 0; r < 16; ++r) {
        z_rows += "\tdb " + triangle_bits(r) + ",0x00\n";
    }
    const std::string expected =
        "f\n\tdb 0x03\n\tdb 0x02\n" + f_band + f_band + "z\n\tdb 0x00\n\tdb 0x10\n" + z_rows +
        "z2\n\tdb 0x00\n\tdb 0x02\n" + repeat("\tdb 0x00,0x00\n", 2) + "n\n\tdb 0x00\n\tdb 0x02\n" +
        "z3\n\tdb 0x00\n\tdb 0x02\n\tdb 0x80,0x00\n\tdb 0xc0,0x00\n";
    EXPECT_EQ(convert(triangle_picture(), list).output, expected);
}

TEST(Conversion, OutsideRecordChangesNoStore) {
    // The outside record would encode column 1 if it were converted; the
    // width-0 sprite after it must still see f's triangle.
    const std::string list = "f=B,0,0,24,8,7\nbad=S,8,0,8,2000,7\nz=S,8,0,0,8,7\n";
    const Result result = convert(triangle_picture(), list);
    std::string z_rows;
    for (int r = 0; r < 8; ++r) {
        z_rows += "\tdb " + triangle_bits(r) + ",0x00\n";
    }
    const std::string zero_cell = "\tdb 0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x04\n";
    EXPECT_EQ(result.output, "f\n\tdb 0x03\n\tdb 0x01\n" + EMPTY_CELL + triangle_cell() +
                                 zero_cell + "z\n\tdb 0x00\n\tdb 0x08\n" + z_rows);
    EXPECT_EQ(result.messages, "can't convert bad: outside the 1024x1024 picture area\n");
}

TEST(Conversion, RecordOutsideThePictureButInsideTheGridReadsZeros) {
    const Result result = convert(logo_picture(4), "far=B,512,512,8,8,7\n");
    EXPECT_EQ(result.output, "far\n\tdb 0x01\n\tdb 0x01\n" + EMPTY_CELL);
    EXPECT_EQ(result.messages, "");
}

} // namespace
} // namespace kelvora
