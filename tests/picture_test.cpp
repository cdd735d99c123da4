// Picture loader: header check, row order, nibble order, offsets, short files.
#include <gtest/gtest.h>

#include <cstring>

#include "input/picture.h"
#include "test_support.h"

namespace kelvora {
namespace {

using test::BmpLayout;
using test::fresh_stores;
using test::make_bmp;

bool load(const std::string& bytes, PictureGrid& grid) {
    PictureFacts facts;
    return read_picture(*test::reader_over(bytes), grid, facts).taken;
}

// A pattern that differs at every position of a small picture.
std::uint8_t pattern(int x, int y) {
    return static_cast<std::uint8_t>((x * 7 + y * 3) & 0xFF);
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

TEST(Picture, WholePictureMatchesAtBothDepths) {
    for (int bits : {4, 8}) {
        auto stores = fresh_stores();
        const auto pixel = [bits](int x, int y) -> std::uint8_t {
            return bits == 8 ? pattern(x, y) : pattern(x, y) & 15;
        };
        ASSERT_TRUE(load(make_bmp({48, 24, bits}, pixel), stores->grid)) << bits;
        for (int x = 0; x < 56; ++x) {
            for (int y = 0; y < 32; ++y) {
                const std::uint8_t want = x < 48 && y < 24 ? pixel(x, y) : 0;
                ASSERT_EQ(stores->grid.at(x, y), want) << bits << " " << x << "," << y;
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

TEST(Picture, OtherDepthsAreReadAsFourBit) {
    for (int bits : {1, 24, 32}) {
        auto stores = fresh_stores();
        // The bytes of a 4-bit file under a header that claims another depth.
        BmpLayout layout{8, 8, 4};
        layout.bits_field = bits;
        const std::string bmp = make_bmp(layout, [](int x, int) { return std::uint8_t(x + 1); });
        ASSERT_TRUE(load(bmp, stores->grid)) << bits;
        EXPECT_EQ(stores->grid.at(0, 0), 1) << bits;
        EXPECT_EQ(stores->grid.at(7, 7), 8) << bits;
    }
}

struct SizeCase {
    std::int32_t width;
    std::int32_t height;
    bool passes;
};

TEST(Picture, HeaderCheckOnSizes) {
    const SizeCase cases[] = {
        {1024, 1024, true}, {8, 8, true},   {1032, 8, false}, {8, 1032, false},
        {0, 8, false},      {8, 0, false},  {12, 8, false},   {8, 12, false},
        {8, -8, false},     {-8, 8, false}, {1024, 8, true},  {8, 1024, true},
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

TEST(Picture, PixelOffsetBelowTwentyNineFails) {
    for (std::uint32_t offset : {0u, 1u, 28u}) {
        auto stores = fresh_stores();
        BmpLayout layout{8, 8, 8};
        layout.offset_field = offset;
        const std::string bmp = make_bmp(layout, [](int, int) { return 3; });
        EXPECT_FALSE(load(bmp, stores->grid)) << offset;
    }
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

TEST(Picture, HeaderFieldsCutShortKeepThePreviousFieldsBytes) {
    auto stores = fresh_stores();
    std::memset(stores->grid.pixels, 0xEE, sizeof stores->grid.pixels);
    // Offset 64 complete, info size complete, then two bytes of the width.
    const std::string bmp = make_bmp({16, 16, 4, 64}, [](int, int) { return 0; }).substr(0, 20);
    // Width 16 (its high bytes from the offset's zeros); the height gets no
    // byte and keeps the same scratch, 16; the depth byte is missing: 4-bit.
    ASSERT_TRUE(load(bmp, stores->grid));
    EXPECT_EQ(stores->grid.at(15, 15), 0);
    EXPECT_EQ(stores->grid.at(16, 0), 0xEE);
    EXPECT_EQ(stores->grid.at(0, 16), 0xEE);
}

TEST(Picture, EmptyAndTinyFilesFail) {
    for (std::size_t size : {0u, 1u, 10u, 13u}) {
        auto stores = fresh_stores();
        EXPECT_FALSE(load(std::string(size, '\0'), stores->grid)) << size;
    }
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
        {"no count, 24 bits: no palette", layout({8, 8, 4}, 0, 24), 0},
        {"no count, depth field 0x0108: no palette", layout({8, 8, 8}, 0, 0x108), 0},
    };
    for (const Case& c : cases) {
        auto stores = fresh_stores();
        PictureFacts facts;
        const std::string bmp = make_bmp(c.layout, [](int, int) { return 0; });
        ASSERT_TRUE(read_picture(*test::reader_over(bmp), stores->grid, facts).taken) << c.what;
        EXPECT_EQ(facts.palette_entries, c.entries) << c.what;
        EXPECT_EQ(facts.bytes_missing, 0u) << c.what;
    }
}

} // namespace
} // namespace kelvora
