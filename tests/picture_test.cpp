// The picture reader: every form it takes against the same pixels, row and
// nibble order, run-length data, offsets, short files, and each refusal with
// its reason.
#include <gtest/gtest.h>

#include <zlib.h>

#include <array>
#include <cstring>
#include <vector>

#include "input/picture.h"
#include "input/picture_rows.h"
#include "test_support.h"

namespace kelvora {
namespace {

using test::BmpLayout;
using test::fresh_stores;
using test::make_bmp;
using test::repeat;

bool load(const std::string& bytes, PictureGrid& grid) {
    PictureFacts facts;
    return read_picture(*test::reader_over(bytes), test::picture_scratch(), grid, facts).taken;
}

// Why the reader refuses the bytes; "" when it takes them.
std::string refusal(const std::string& bytes) {
    auto stores = fresh_stores();
    PictureFacts facts;
    const PictureVerdict verdict =
        read_picture(*test::reader_over(bytes), test::picture_scratch(), stores->grid, facts);
    return verdict.taken ? "" : verdict.reason;
}

// The grid's rows y0 .. y0 + count - 1 over `width` columns, a hex digit a
// pixel, rows separated by "/".
std::string rows_of(const PictureGrid& grid, int width, int y0, int count) {
    std::string text;
    for (int y = y0; y < y0 + count; ++y) {
        text += y > y0 ? "/" : "";
        for (int x = 0; x < width; ++x) {
            text += "0123456789abcdef"[grid.at(x, y) & 15];
        }
    }
    return text;
}

// A pattern that differs at every position of a small picture.
std::uint8_t pattern(int x, int y) {
    return static_cast<std::uint8_t>((x * 7 + y * 3) & 0xFF);
}

// Both forms of the 8 x 8 transpose against a plain byte loop, on every
// byte value at every position, including the last block of a full row.
TEST(Picture, BlockTransposeAgreesWithByteLoop) {
    using Store = void (*)(const std::uint8_t(*)[GRID_SIZE], std::size_t, std::uint8_t*);
    static std::uint8_t rows[8][GRID_SIZE];
    for (int r = 0; r < 8; ++r) {
        for (std::size_t x = 0; x < GRID_SIZE; ++x) {
            rows[r][x] =
                static_cast<std::uint8_t>(x * 37 + static_cast<std::size_t>(r) * 101 + x / 256);
        }
    }
    static std::uint8_t got[8 * COLUMN_STRIDE];
    for (Store store :
         {&picture_detail::store_transposed_plain, &picture_detail::store_transposed_words}) {
        for (std::size_t x :
             {std::size_t{0}, std::size_t{8}, std::size_t{512}, std::size_t{GRID_SIZE} - 8}) {
            std::memset(got, 0xEE, sizeof got);
            store(rows, x, got + 8);
            for (std::size_t i = 0; i < 8; ++i) {
                for (std::size_t r = 0; r < 8; ++r) {
                    ASSERT_EQ(got[8 + i * COLUMN_STRIDE + r], rows[r][x + i])
                        << "x " << x << " column " << i << " row " << r;
                }
                EXPECT_EQ(got[i * COLUMN_STRIDE + 7], 0xEE) << "wrote before column " << i;
                EXPECT_EQ(got[i * COLUMN_STRIDE + 16], 0xEE) << "wrote after column " << i;
            }
        }
    }
}

TEST(Picture, EightBitRowsAreStoredBottomUp) {
    auto stores = fresh_stores();
    // First row in the file (the bottom row, y = 7) all 1s, second row all 2s.
    const std::string bmp = make_bmp(
        {16, 8, 8}, [](int, int y) -> std::uint8_t { return y == 7 ? 1 : (y == 6 ? 2 : 0); });
    ASSERT_TRUE(load(bmp, stores->grid));
    for (int x = 0; x < 16; ++x) {
        EXPECT_EQ(stores->grid.at(x, 7), 1);
        EXPECT_EQ(stores->grid.at(x, 6), 2);
        EXPECT_EQ(stores->grid.at(x, 0), 0);
    }
}

TEST(Picture, FourBitHighNibbleIsTheLeftPixel) {
    auto stores = fresh_stores();
    const std::string bmp = make_bmp({8, 8, 4}, [](int x, int y) -> std::uint8_t {
        if (y != 0) {
            return 0;
        }
        return x == 0 ? 5 : (x == 1 ? 10 : 0);
    });
    // The top row is the last one in the file; its first byte is 0x5A.
    EXPECT_EQ(static_cast<std::uint8_t>(bmp[bmp.size() - 4]), 0x5A);
    ASSERT_TRUE(load(bmp, stores->grid));
    EXPECT_EQ(stores->grid.at(0, 0), 5);
    EXPECT_EQ(stores->grid.at(1, 0), 10);
}

TEST(Picture, EveryFormHoldsTheSamePixels) {
    // Each depth draws what it can hold of one pattern; truecolour has no
    // bright black, so its 8s are drawn black.
    const auto drawn = [](int bits) {
        return [bits](int x, int y) -> std::uint8_t {
            const int value = (x * 7 + y * 3) & 0xFF;
            if (bits > 8) {
                return static_cast<std::uint8_t>((value & 15) == 8 ? 0 : value & 15);
            }
            return static_cast<std::uint8_t>(value & ((1 << bits) - 1));
        };
    };
    for (int bits : {1, 2, 4, 8, 24, 32}) {
        for (int height : {24, -24}) {
            auto stores = fresh_stores();
            const auto pixel = drawn(bits);
            ASSERT_TRUE(load(make_bmp({48, height, bits}, pixel), stores->grid))
                << bits << " bits, height " << height;
            for (int x = 0; x < 56; ++x) {
                for (int y = 0; y < 32; ++y) {
                    const std::uint8_t want = x < 48 && y < 24 ? pixel(x, y) : 0;
                    ASSERT_EQ(stores->grid.at(x, y), want)
                        << bits << " bits, height " << height << ", at " << x << "," << y;
                }
            }
        }
    }
}

TEST(Picture, ValuesAboveFifteenAreKept) {
    auto stores = fresh_stores();
    ASSERT_TRUE(
        load(make_bmp({8, 8, 8}, [](int, int) { return std::uint8_t{200}; }), stores->grid));
    EXPECT_EQ(stores->grid.at(3, 3), 200);
}

struct SizeCase {
    std::int32_t width;
    std::int32_t height;
    bool passes;
};

TEST(Picture, HeaderCheckOnSizes) {
    const SizeCase cases[] = {
        {1024, 1024, true}, {8, 8, true},    {1032, 8, false},  {8, 1032, false}, {0, 8, false},
        {8, 0, false},      {12, 8, false},  {8, 12, false},    {8, -8, true},    {-8, 8, false},
        {1024, 8, true},    {8, 1024, true}, {8, -1032, false}, {8, -12, false},
    };
    for (const SizeCase& c : cases) {
        auto stores = fresh_stores();
        const std::string bmp = make_bmp({c.width, c.height, 8}, [](int, int) { return 9; });
        EXPECT_EQ(load(bmp, stores->grid), c.passes) << c.width << "x" << c.height;
        if (!c.passes) {
            EXPECT_EQ(stores->grid.at(0, 0), 0) << "nothing stored on failure";
        }
    }
}

TEST(Picture, LargestPictureFillsTheWholeGrid) {
    auto stores = fresh_stores();
    ASSERT_TRUE(load(make_bmp({1024, 1024, 8}, pattern), stores->grid));
    EXPECT_EQ(stores->grid.at(0, 0), pattern(0, 0));
    EXPECT_EQ(stores->grid.at(1023, 1023), pattern(1023, 1023));
    EXPECT_EQ(stores->grid.at(517, 3), pattern(517, 3));
}

TEST(Picture, PixelOffsetOfTwentyNineStartsPixelsRightAfterTheDepth) {
    auto stores = fresh_stores();
    ASSERT_TRUE(load(make_bmp({8, 8, 8, 29}, pattern), stores->grid));
    EXPECT_EQ(stores->grid.at(5, 2), pattern(5, 2));
}

TEST(Picture, HugePixelOffsetsAreSkippedInChunks) {
    for (std::uint32_t offset : {29u + 65536u, 29u + 65536u + 1u, 200000u}) {
        auto stores = fresh_stores();
        ASSERT_TRUE(load(make_bmp({16, 8, 8, offset}, pattern), stores->grid)) << offset;
        EXPECT_EQ(stores->grid.at(15, 7), pattern(15, 7)) << offset;
    }
}

TEST(Picture, PixelOffsetPastTheEndLeavesEveryPixelZero) {
    auto stores = fresh_stores();
    std::memset(stores->grid.pixels, 0xEE, sizeof stores->grid.pixels);
    BmpLayout layout{8, 8, 8};
    layout.offset_field = 0xFFFFFFF0u;
    const std::string bmp = make_bmp(layout, [](int, int) { return 4; });
    ASSERT_TRUE(load(bmp, stores->grid));
    EXPECT_EQ(stores->grid.at(0, 0), 0);
    EXPECT_EQ(stores->grid.at(7, 7), 0);
    EXPECT_EQ(stores->grid.at(8, 0), 0xEE) << "beyond the picture: untouched";
}

TEST(Picture, MissingPixelBytesRepeatTheLastOneRead) {
    auto stores = fresh_stores();
    std::string bmp = make_bmp({8, 8, 8}, pattern);
    // Keep the bottom row and three bytes of the next one (y = 6).
    bmp.resize(bmp.size() - 64 + 8 + 3);
    ASSERT_TRUE(load(bmp, stores->grid));
    EXPECT_EQ(stores->grid.at(7, 7), pattern(7, 7));
    EXPECT_EQ(stores->grid.at(2, 6), pattern(2, 6));
    for (int x = 3; x < 8; ++x) {
        EXPECT_EQ(stores->grid.at(x, 6), pattern(2, 6));
    }
    EXPECT_EQ(stores->grid.at(4, 0), pattern(2, 6));
}

TEST(Picture, FourBitMissingBytesRepeatBothNibbles) {
    auto stores = fresh_stores();
    std::string bmp =
        make_bmp({8, 8, 4}, [](int x, int) { return std::uint8_t(x == 0 ? 0xC : 3); });
    bmp.resize(bmp.size() - 32 + 1); // one byte of pixel data: 0xC3
    ASSERT_TRUE(load(bmp, stores->grid));
    EXPECT_EQ(stores->grid.at(0, 0), 0xC);
    EXPECT_EQ(stores->grid.at(7, 0), 3);
}

TEST(Picture, NoPixelByteAtAllGivesZeros) {
    auto stores = fresh_stores();
    std::memset(stores->grid.pixels, 0xEE, sizeof stores->grid.pixels);
    std::string bmp = make_bmp({8, 8, 8}, [](int, int) { return 5; });
    bmp.resize(bmp.size() - 64);
    ASSERT_TRUE(load(bmp, stores->grid));
    EXPECT_EQ(stores->grid.at(0, 0), 0);
    EXPECT_EQ(stores->grid.at(7, 7), 0);
}

TEST(Picture, PaletteEntriesTheFileHolds) {
    struct Case {
        const char* what;
        BmpLayout layout;
        int entries;
    };
    const auto layout = [](BmpLayout l, std::int64_t colours_used, std::int64_t bits) {
        l.colours_used_field = colours_used;
        l.bits_field = bits;
        return l;
    };
    const Case cases[] = {
        {"4-bit", {8, 8, 4}, 16},
        {"8-bit", {8, 8, 8}, 256},
        {"colours used 3", layout({8, 8, 8}, 3, -1), 3},
        {"colours used 300", layout({8, 8, 8}, 300, -1), 256},
        {"no count: two to the depth", layout({8, 8, 4}, 0, -1), 16},
        {"pixels start after 5 entries", {8, 8, 4, 54 + 20}, 5},
        {"two colours", {8, 8, 1}, 2},
        {"four colours", {8, 8, 2}, 4},
        {"24 bits: no palette", {8, 8, 24}, 0},
        {"only the depth field's low byte counts", layout({8, 8, 8}, 0, 0x108), 256},
    };
    for (const Case& c : cases) {
        auto stores = fresh_stores();
        PictureFacts facts;
        const std::string bmp = make_bmp(c.layout, [](int, int) { return 0; });
        ASSERT_TRUE(
            read_picture(*test::reader_over(bmp), test::picture_scratch(), stores->grid, facts)
                .taken)
            << c.what;
        EXPECT_EQ(facts.palette_entries, c.entries) << c.what;
        EXPECT_EQ(facts.bytes_missing, 0u) << c.what;
    }
}

TEST(Picture, PngPictures) {
    using test::make_png;
    using test::PngLayout;
    using test::PngPixel;
    // One pattern of indices 0-15 (no bright black: grey and colour have none).
    const auto index = [](int x, int y) {
        const int value = (x * 5 + y * 3) % 16;
        return value == 8 ? 0 : value;
    };
    const auto channel = [](int index, int bits, int c) -> std::uint16_t {
        const Rgb colour = display_colour(index);
        const int value = c == 0 ? colour.r : c == 1 ? colour.g : colour.b;
        return static_cast<std::uint16_t>(bits == 16 ? value * 257 : value);
    };
    const auto rgb = [&](int bits, int alpha) {
        return [=](int x, int y) {
            const int i = index(x, y);
            return PngPixel{channel(i, bits, 0), channel(i, bits, 1), channel(i, bits, 2),
                            static_cast<std::uint16_t>(alpha)};
        };
    };
    const auto palette = [&](int bits) {
        return [=](int x, int y) {
            return PngPixel{static_cast<std::uint16_t>(index(x, y) & ((1 << bits) - 1)), 0, 0, 0};
        };
    };
    const struct Case {
        const char* what;
        PngLayout layout;
        std::function<PngPixel(int, int)> sample;
        std::function<int(int, int)> expected;
    } cases[] = {
        {"palette, 8 bits", {24, 16, 3, 8}, palette(8), index},
        {"palette, 4 bits, interlaced", {24, 16, 3, 4, true}, palette(4), index},
        {"palette, 2 bits",
         {24, 16, 3, 2},
         palette(2),
         [&](int x, int y) { return index(x, y) & 3; }},
        {"palette, 1 bit, interlaced",
         {24, 16, 3, 1, true},
         palette(1),
         [&](int x, int y) { return index(x, y) & 1; }},
        {"RGB, 8 bits", {24, 16, 2, 8}, rgb(8, 0), index},
        {"RGB, 16 bits, interlaced", {24, 16, 2, 16, true}, rgb(16, 0), index},
        {"RGBA, opaque", {24, 16, 6, 8}, rgb(8, 255), index},
        {"RGBA, alpha below 128 is colour 0",
         {24, 16, 6, 8},
         rgb(8, 127),
         [](int, int) { return 0; }},
        {"RGBA, alpha 128 is opaque", {24, 16, 6, 8}, rgb(8, 128), index},
        {"RGB with a transparent colour: that colour is 0",
         {24, 16, 2, 8, false, {}, {0xCD, 0, 0}},
         rgb(8, 0),
         [&](int x, int y) { return index(x, y) == 2 ? 0 : index(x, y); }},
        {"grey: black, white and bright white",
         {24, 16, 0, 8},
         [](int x, int) {
             return PngPixel{std::uint16_t(x % 3 == 0 ? 0 : x % 3 == 1 ? 0xCD : 0xFF)};
         },
         [](int x, int) { return x % 3 == 0   ? 0
                                 : x % 3 == 1 ? 7
                                              : 15; }},
        {"grey, 1 bit: black and bright white",
         {24, 16, 0, 1},
         [](int x, int) { return PngPixel{std::uint16_t(x % 2)}; },
         [](int x, int) { return x % 2 == 0 ? 0 : 15; }},
        {"grey and alpha, 16 bits",
         {24, 16, 4, 16},
         [](int x, int) {
             return PngPixel{0xFFFF, std::uint16_t(x % 2 == 0 ? 0 : 0xFFFF)};
         },
         [](int x, int) { return x % 2 == 0 ? 0 : 15; }},
    };
    for (const Case& c : cases) {
        auto stores = fresh_stores();
        PictureFacts facts;
        const std::string png = make_png(c.layout, c.sample);
        const PictureVerdict verdict =
            read_picture(*test::reader_over(png), test::picture_scratch(), stores->grid, facts);
        ASSERT_TRUE(verdict.taken) << c.what << ": " << verdict.reason;
        EXPECT_EQ(facts.format, PictureFormat::Png) << c.what;
        EXPECT_EQ(facts.indexed, c.layout.colour_type == 3) << c.what;
        for (int y = 0; y < 24; ++y) {
            for (int x = 0; x < 32; ++x) {
                const int want = x < c.layout.width && y < c.layout.height ? c.expected(x, y) : 0;
                ASSERT_EQ(stores->grid.at(x, y), want) << c.what << " at " << x << "," << y;
            }
        }
    }
}

TEST(Picture, PngRefusals) {
    using test::make_png;
    const auto black = [](int, int) { return test::PngPixel{0, 0, 0, 0}; };
    const std::string good = make_png({8, 8, 2, 8}, black);
    std::string bad_checksum = good;
    bad_checksum[29] = static_cast<char>(bad_checksum[29] ^ 1); // inside IHDR's checksum
    const struct {
        std::string bytes;
        std::string reason;
    } cases[] = {
        {make_png({12, 8, 2, 8}, black),
         "12 pixels wide; width and height must be multiples of 8, at most 1024"},
        {make_png({8, 1032, 3, 8}, black),
         "1032 pixels high; width and height must be multiples of 8, at most 1024"},
        {bad_checksum, "a damaged PNG (IHDR: CRC error); save it again"},
        {good.substr(0, good.size() - 20),
         "a damaged PNG (the file ends before the picture does); save it again"},
        {good.substr(0, 12),
         "a damaged PNG (the file ends before the picture does); save it again"},
        {make_png({8, 8, 2, 8},
                  [](int x, int y) {
                      return test::PngPixel{std::uint16_t(x == 3 && y == 5 ? 0x80 : 0), 0, 0, 0};
                  }),
         "pixel 3,5 is #800000, which is none of the display's 16 colours; draw with those "
         "colours only, without smoothing"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(refusal(c.bytes), c.reason);
        auto stores = fresh_stores();
        EXPECT_FALSE(load(c.bytes, stores->grid));
        EXPECT_EQ(stores->grid.at(0, 0), 0) << c.reason;
    }
}

// A PNG chunk as it is stored: length, type, data, checksum.
std::string png_chunk(const char* type, const std::string& data) {
    std::string chunk;
    const auto put_be32 = [&chunk](std::uint32_t value) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            chunk.push_back(static_cast<char>((value >> shift) & 0xFF));
        }
    };
    put_be32(static_cast<std::uint32_t>(data.size()));
    chunk += std::string(type, 4) + data;
    const auto* bytes = reinterpret_cast<const Bytef*>(chunk.data() + 4);
    put_be32(static_cast<std::uint32_t>(crc32(0, bytes, static_cast<uInt>(data.size() + 4))));
    return chunk;
}

TEST(Picture, PngReadingStopsAtTheLastRow) {
    // Where each pass starts and how far it steps, across and down: the one
    // pass of a picture, or Adam7's seven of an interlaced one.
    using Pass = std::array<int, 4>;
    const std::vector<Pass> plain = {{0, 0, 1, 1}};
    const std::vector<Pass> adam7 = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                     {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
    std::string expected;
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 8; ++x) {
            expected += "0123456789abcdef"[pattern(x, y) & 15];
        }
        expected += y < 7 ? "/" : "";
    }
    for (const bool interlaced : {false, true}) {
        // The rows, each after its filter byte (0: none).
        std::string rows;
        for (const auto& [x0, y0, dx, dy] : interlaced ? adam7 : plain) {
            for (int y = y0; y < 8; y += dy) {
                rows.push_back(0);
                for (int x = x0; x < 8; x += dx) {
                    rows.push_back(static_cast<char>(pattern(x, y) & 15));
                }
            }
        }
        // After them in the same compressed data, 16 MiB of zeros in 16 KB:
        // none of it may be read, let alone inflated.
        z_stream z{};
        ASSERT_EQ(deflateInit(&z, 9), Z_OK);
        std::string packed;
        const auto pack = [&z, &packed](const std::string& bytes, int flush) {
            static char out[1 << 16];
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
            z.avail_in = static_cast<uInt>(bytes.size());
            do {
                z.next_out = reinterpret_cast<Bytef*>(out);
                z.avail_out = sizeof out;
                deflate(&z, flush);
                packed.append(out, sizeof out - z.avail_out);
            } while (z.avail_out == 0);
        };
        pack(rows, Z_NO_FLUSH);
        const std::string zeros(1 << 16, '\0');
        for (int i = 0; i < 256; ++i) {
            pack(zeros, Z_NO_FLUSH);
        }
        pack("", Z_FINISH);
        deflateEnd(&z);

        const std::string header = std::string("\0\0\0\x08\0\0\0\x08\x08\x03\0\0", 12) +
                                   static_cast<char>(interlaced ? 1 : 0);
        std::string palette;
        for (int i = 0; i < 16; ++i) {
            palette += std::string(3, static_cast<char>(i * 16));
        }
        const std::string png = "\x89PNG\r\n\x1a\n" + png_chunk("IHDR", header) +
                                png_chunk("PLTE", palette) + png_chunk("IDAT", packed) +
                                png_chunk("IEND", "");
        auto reader = test::reader_over(png);
        auto stores = fresh_stores();
        PictureFacts facts;
        EXPECT_TRUE(read_picture(*reader, test::picture_scratch(), stores->grid, facts).taken)
            << interlaced;
        EXPECT_EQ(rows_of(stores->grid, 8, 0, 8), expected) << interlaced;
        EXPECT_LT(bytes_taken(*reader), 4096u) << "of " << png.size() << ", " << interlaced;
    }
}

TEST(Picture, RunLengthData) {
    struct Case {
        const char* what;
        int bits;
        std::string data;
        std::string bottom_rows; // rows 7 and 6 of an 8 x 8 picture; the rest must be 0
    };
    const std::string END = std::string("\0\1", 2);
    const std::string END_OF_ROW = std::string("\0\0", 2);
    const Case cases[] = {
        {"a run", 8, "\3\5" + END, "55500000/00000000"},
        {"a run past the row's end is dropped, not wrapped", 8, "\12\5" + END_OF_ROW + "\2\6",
         "55555555/66000000"},
        {"pixels past the end are dropped until an end of row", 8, "\6\1\4\2" + END_OF_ROW + "\1\3",
         "11111122/30000000"},
        {"a move right 2 and up 1", 8, std::string("\1\7\0\2\2\1\1\10", 8), "70000000/00080000"},
        {"a literal of 3 and its padding byte", 8, std::string("\0\3\1\2\3\0\1\11", 8) + END,
         "12390000/00000000"},
        {"a literal past the row's end", 8,
         std::string("\0\12\1\2\3\4\5\6\7\10\11\12", 12) + END_OF_ROW + "\1\4",
         "12345678/40000000"},
        {"a literal cut short keeps what is there", 8, std::string("\0\5\1\2", 4),
         "12000000/00000000"},
        {"a pair cut short writes nothing more", 8, "\2\3\4", "33000000/00000000"},
        {"a move cut short writes nothing more", 8, std::string("\1\5\0\2\3", 5),
         "50000000/00000000"},
        {"no end codes: the data just ends", 8, "\10\1" + END_OF_ROW + "\10\2",
         "11111111/22222222"},
        {"a move above the top row stops", 8, std::string("\0\2\0\10\1\3", 6), "00000000/00000000"},
        {"a 4-bit run alternates its two nibbles", 4, "\5\x12" + END, "12121000/00000000"},
        {"a 4-bit literal of 5 and its padding byte", 4, std::string("\0\5\x12\x34\x50\0\2\x77", 8),
         "12345770/00000000"},
        {"a 4-bit literal of 6: three bytes, then a padding byte", 4,
         std::string("\0\6\x12\x34\x56\0\2\x77", 8) + END, "12345677/00000000"},
        {"a 4-bit literal of 3: two bytes, no padding byte", 4,
         std::string("\0\3\x12\x30\2\x77", 6) + END, "12377000/00000000"},
        {"a 4-bit literal cut short: both nibbles of each byte there", 4,
         std::string("\0\5\x12\x34", 4), "12340000/00000000"},
    };
    for (const Case& c : cases) {
        auto stores = fresh_stores();
        std::memset(stores->grid.pixels, 0xEE, sizeof stores->grid.pixels);
        const std::uint32_t compression = c.bits == 8 ? 1 : 2;
        ASSERT_TRUE(load(make_bmp({8, 8, c.bits, 0, compression}, c.data), stores->grid)) << c.what;
        EXPECT_EQ(rows_of(stores->grid, 8, 6, 2),
                  c.bottom_rows.substr(9) + "/" + c.bottom_rows.substr(0, 8))
            << c.what;
        EXPECT_EQ(rows_of(stores->grid, 8, 0, 6), "00000000/00000000/00000000/00000000/00000000/"
                                                  "00000000")
            << c.what;
        EXPECT_EQ(stores->grid.at(8, 7), 0xEE) << c.what << ": beyond the picture, untouched";
    }
    // The end of row that moves above the top row ends the decoding.
    auto stores = fresh_stores();
    ASSERT_TRUE(
        load(make_bmp({8, 8, 8, 0, 1}, repeat(std::string("\0\0", 2), 8) + "\1\5"), stores->grid));
    EXPECT_EQ(rows_of(stores->grid, 8, 0, 1), "00000000");
}

TEST(Picture, TruecolourPixelsTakeTheNearestDisplayColour) {
    const struct {
        const char* what;
        Rgb colour;
        int index; // -1: refused
    } cases[] = {
        {"#e60000 is 25 from red and from bright red: the lower index", {0xE6, 0, 0}, 2},
        {"#e6e6e6 is 25 from white and from bright white: the lower index", {0xE6, 0xE6, 0xE6}, 7},
        {"#cd0030 is 48 from red: still red", {0xCD, 0, 0x30}, 2},
        {"#303030 is 48 from black: still black", {0x30, 0x30, 0x30}, 0},
        {"#cd0031 is 49 from red and further from the rest", {0xCD, 0, 0x31}, -1},
    };
    for (const auto& c : cases) {
        std::string pixels;
        for (int i = 0; i < 64; ++i) {
            pixels += {static_cast<char>(c.colour.b), static_cast<char>(c.colour.g),
                       static_cast<char>(c.colour.r)};
        }
        auto stores = fresh_stores();
        const bool taken = load(make_bmp({8, 8, 24}, pixels), stores->grid);
        EXPECT_EQ(taken ? stores->grid.at(7, 7) : -1, c.index) << c.what;
    }
}

TEST(Picture, ShortFilesRepeatTheirLastByte) {
    struct Case {
        const char* what;
        int bits;
        std::uint8_t first; // the index of every pixel
        std::size_t pixel_bytes_kept;
        std::string bottom_rows; // rows 7 and 6
    };
    const Case cases[] = {
        {"1 bit, cut after the first byte: padding repeats it too", 1, 1, 1, "11111111/11111111"},
        {"1 bit, cut after a padding byte: the rest repeat the padding", 1, 1, 2,
         "11111111/00000000"},
        {"2 bits, cut inside the row", 2, 3, 1, "33333333/33333333"},
        {"24 bits, cut after a white pixel: the rest are #cdcdcd, white", 24, 7, 3,
         "77777777/77777777"},
        {"24 bits, cut inside a red pixel: the rest repeat its green, black", 24, 2, 2,
         "00000000/00000000"},
        {"32 bits, cut before the unused byte: it repeats the red", 32, 7, 3, "77777777/77777777"},
        {"32 bits, cut after the unused byte: the rest repeat it", 32, 7, 4, "70000000/00000000"},
    };
    for (const Case& c : cases) {
        auto stores = fresh_stores();
        const std::string whole = make_bmp({8, 8, c.bits}, [&c](int, int) { return c.first; });
        const std::size_t header = 14 + 40 + 4 * (c.bits <= 8 ? (1u << c.bits) : 0u);
        ASSERT_TRUE(load(whole.substr(0, header + c.pixel_bytes_kept), stores->grid)) << c.what;
        EXPECT_EQ(rows_of(stores->grid, 8, 6, 2),
                  c.bottom_rows.substr(9) + "/" + c.bottom_rows.substr(0, 8))
            << c.what;
    }
}

TEST(Picture, RefusalsSayWhyAndStoreNothing) {
    const auto blank = [](int, int) -> std::uint8_t { return 1; };
    const auto layout = [](BmpLayout l, std::int64_t offset, std::int64_t bits, std::int64_t info) {
        l.offset_field = offset;
        l.bits_field = bits;
        l.info_size_field = info;
        return l;
    };
    const std::string bmp8 = make_bmp({8, 8, 8}, blank);
    std::string grey_pixel = make_bmp({8, 8, 24}, blank);
    grey_pixel[grey_pixel.size() - 24] = '\x80'; // the blue of pixel 0,0: the last row's first
    const std::string rule = "width and height must be multiples of 8, at most 1024";
    const struct {
        std::string bytes;
        std::string reason;
    } cases[] = {
        {"", "the file ends after 0 bytes, inside its header; save the picture again as a BMP or "
             "PNG"},
        {bmp8.substr(0, 28), "the file ends after 28 bytes, inside its header; save the picture "
                             "again as a BMP or PNG"},
        {make_bmp(layout({8, 8, 8}, 28, -1, -1), blank),
         "its pixel data would start at byte 28, inside its header; re-save it"},
        {make_bmp(layout({8, 8, 8}, 0, -1, -1), blank),
         "its pixel data would start at byte 0, inside its header; re-save it"},
        {make_bmp(layout({8, 8, 8}, -1, -1, 12), blank),
         "it has the old 12-byte BMP header; re-save it with a 40-byte or larger header"},
        {make_bmp({12, 8, 8}, blank), "12 pixels wide; " + rule},
        {make_bmp({0, 8, 8}, blank), "0 pixels wide; " + rule},
        {make_bmp({8, 1032, 8}, blank), "1032 pixels high; " + rule},
        {make_bmp({8, -12, 8}, blank), "12 pixels high; " + rule},
        {make_bmp({8, 8, 4, 0, 1}, blank),
         "run-length compressed 8-bit data in a 4-bit picture; re-save it"},
        {make_bmp({8, 8, 8, 0, 2}, blank),
         "run-length compressed 4-bit data in an 8-bit picture; re-save it"},
        {make_bmp({8, -8, 8, 0, 1}, blank),
         "run-length compressed rows stored top row first, which BMP does not allow; re-save it"},
        {make_bmp({8, 8, 32, 0, 3}, blank),
         "compression 3 (bit fields), which kelvora does not read; save it uncompressed"},
        {make_bmp({8, 8, 8, 0, 4}, blank),
         "compression 4 (JPEG), which kelvora does not read; save it uncompressed"},
        {make_bmp(layout({8, 8, 8}, -1, 16, -1), blank),
         "16 bits per pixel, which kelvora does not read; save it with 1, 2, 4, 8, 24 or 32 bits "
         "per pixel"},
        {grey_pixel, "pixel 0,0 is #000080, which is none of the display's 16 colours; draw with "
                     "those colours only, without smoothing"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(refusal(c.bytes), c.reason);
        auto stores = fresh_stores();
        EXPECT_FALSE(load(c.bytes, stores->grid));
        EXPECT_EQ(stores->grid.at(0, 7), 0) << c.reason << ": stored a pixel";
        EXPECT_EQ(stores->grid.at(7, 0), 0) << c.reason << ": stored a pixel";
    }
}

} // namespace
} // namespace kelvora
