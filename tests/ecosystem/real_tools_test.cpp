// Pictures written by ImageMagick and Pillow (real_tools/make_pictures.py):
// the routes that keep palette indices convert byte for byte like the same
// pattern written by our own BMP writer, and each trap the README warns about
// does what the README says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "input/picture.h"
#include "test_support.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::run_kelvora;
using test::TempDir;

const fs::path REAL_TOOLS = test::SOURCE_DIR / "tests" / "ecosystem" / "real_tools";

// What kelvora does with a file.
enum class Outcome {
    SameOutput,       // converts like the pattern written by our own writer
    IndicesReordered, // same picture, other palette order: converts, but wrongly
    WrongOutput,      // pixel data kelvora cannot read: converts, but wrongly
    Rejected,         // header not accepted: no message, no output file
};

struct RealToolFile {
    const char* name;
    std::uint32_t info_header_size;
    std::uint32_t pixel_offset;
    std::uint16_t bits_per_pixel; // 0: the 12-byte header keeps no such field at offset 28
    std::uint32_t compression;    // 1 is run-length encoding, 8 bits a pixel
    bool two_colours;             // drawn from the two-colour form of the pattern
    Outcome outcome;
};

constexpr Outcome SAME = Outcome::SameOutput;
constexpr Outcome REORDERED = Outcome::IndicesReordered;
constexpr Outcome WRONG = Outcome::WrongOutput;
constexpr Outcome REJECTED = Outcome::Rejected;

const RealToolFile REAL_TOOL_FILES[] = {
    {"im_bmp3_4bit.bmp", 40, 118, 4, 0, false, SAME},
    {"im_bmp3_8bit.bmp", 40, 1078, 8, 0, false, SAME},
    {"im_bmp_4bit.bmp", 124, 202, 4, 0, false, SAME},
    {"im_bmp_8bit.bmp", 124, 1162, 8, 0, false, SAME},
    {"im_bmp3_two_colours.bmp", 40, 118, 4, 0, true, SAME},
    {"pil_16_entries.bmp", 40, 118, 8, 0, false, SAME},
    {"pil_2_entries.bmp", 40, 62, 8, 0, true, SAME},
    {"pil_quantized.bmp", 40, 118, 8, 0, false, SAME},
    {"trap_rle.bmp", 40, 1078, 8, 1, false, WRONG},
    {"trap_colors.bmp", 40, 118, 4, 0, false, REORDERED},
    {"trap_colors_indexed.bmp", 40, 118, 4, 0, false, REORDERED},
    {"trap_remap.bmp", 40, 118, 4, 0, false, REORDERED},
    {"trap_type_palette.bmp", 40, 118, 4, 0, false, REORDERED},
    {"trap_two_colours.bmp", 40, 62, 1, 0, true, WRONG},
    {"trap_drawn.bmp", 40, 54, 24, 0, false, WRONG},
    {"trap_bmp2.bmp", 12, 74, 0, 0, false, REJECTED},
};

// Rows of palette indices, top row first, from pattern.txt (one hex digit a
// pixel); the two-colour form draws every non-zero pixel in colour 1.
std::vector<std::vector<std::uint8_t>> read_pattern(bool two_colours) {
    std::ifstream in(REAL_TOOLS / "pattern.txt");
    std::vector<std::vector<std::uint8_t>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::vector<std::uint8_t> row;
        for (char digit : line) {
            const auto index =
                static_cast<std::uint8_t>(std::stoi(std::string(1, digit), nullptr, 16));
            row.push_back(two_colours && index != 0 ? 1 : index);
        }
        rows.push_back(row);
    }
    return rows;
}

const char* expected_output_name(bool two_colours) {
    return two_colours ? "expected_two_colours.asm" : "expected.asm";
}

struct Conversion {
    std::string messages;
    bool written;
    std::string output;
};

Conversion convert(const fs::path& picture) {
    TempDir dir;
    Conversion result;
    result.messages =
        run_kelvora(dir.path(), {picture.string(), (REAL_TOOLS / "list.txt").string(), "out.asm"})
            .out;
    result.written = fs::exists(dir / "out.asm");
    result.output = read_file(dir / "out.asm");
    return result;
}

// True when the file holds the pattern with its palette indices renumbered one
// for one and not all kept: the picture looks the same, but its indices, which
// kelvora takes as colours, are not the artist's.
bool holds_renumbered_pattern(const fs::path& picture,
                              const std::vector<std::vector<std::uint8_t>>& pattern) {
    auto stores = test::fresh_stores();
    const std::string bytes = read_file(picture);
    PictureFacts facts;
    if (!read_picture(*test::reader_over(bytes), stores->grid, facts).taken) {
        return false;
    }
    int renumbered[256];
    std::fill(std::begin(renumbered), std::end(renumbered), -1);
    for (std::size_t y = 0; y < pattern.size(); ++y) {
        for (std::size_t x = 0; x < pattern[y].size(); ++x) {
            const int file_index = stores->grid.at(static_cast<int>(x), static_cast<int>(y));
            int& slot = renumbered[pattern[y][x]];
            if (slot != -1 && slot != file_index) {
                return false; // one pattern index became two: not a renumbering
            }
            slot = file_index;
        }
    }
    std::set<int> targets;
    bool all_kept = true;
    for (int index = 0; index < 256; ++index) {
        if (renumbered[index] != -1) {
            targets.insert(renumbered[index]);
            all_kept = all_kept && renumbered[index] == index;
        }
    }
    const std::size_t used = static_cast<std::size_t>(
        std::count_if(std::begin(renumbered), std::end(renumbered), [](int t) { return t != -1; }));
    return targets.size() == used && !all_kept;
}

TEST(RealTools, OwnWriterGivesTheCommittedExpectedOutputs) {
    // The committed outputs are what the pattern converts to when our own
    // writer makes the BMP, at either depth.
    const struct {
        bool two_colours;
        int bits;
    } cases[] = {{false, 4}, {false, 8}, {true, 4}, {true, 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(expected_output_name(c.two_colours)) + " at " +
                     std::to_string(c.bits) + " bits");
        const auto pattern = read_pattern(c.two_colours);
        ASSERT_EQ(pattern.size(), 16u);
        ASSERT_EQ(pattern[0].size(), 32u);
        TempDir dir;
        test::write_file(
            dir / "own.bmp", test::make_bmp({32, 16, c.bits}, [&pattern](int x, int y) {
                return pattern[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
            }));
        const Conversion result = convert(dir / "own.bmp");
        EXPECT_EQ(result.messages, "");
        const std::string expected = read_file(REAL_TOOLS / expected_output_name(c.two_colours));
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(result.output, expected);
    }
}

TEST(RealTools, HeaderFieldsAreWhatTheToolsWrite) {
    for (const RealToolFile& file : REAL_TOOL_FILES) {
        SCOPED_TRACE(file.name);
        const std::string bytes = read_file(REAL_TOOLS / file.name);
        auto stores = test::fresh_stores();
        PictureFacts facts;
        read_picture(*test::reader_over(bytes), stores->grid, facts);
        EXPECT_TRUE(facts.signature_is_bm);
        EXPECT_EQ(facts.pixel_offset, file.pixel_offset);
        EXPECT_EQ(facts.info_size, file.info_header_size);
        if (file.info_header_size >= 40) {
            EXPECT_EQ(facts.width, 32);
            EXPECT_EQ(facts.height, 16);
            EXPECT_EQ(facts.bits_per_pixel, file.bits_per_pixel);
            EXPECT_EQ(facts.compression, file.compression);
        }
    }
}

TEST(RealTools, EachFileConvertsAsRecorded) {
    for (const RealToolFile& file : REAL_TOOL_FILES) {
        SCOPED_TRACE(file.name);
        const Conversion result = convert(REAL_TOOLS / file.name);
        // No route, good or bad, gets a message: the traps are silent.
        EXPECT_EQ(result.messages, "");
        const std::string expected = read_file(REAL_TOOLS / expected_output_name(file.two_colours));
        switch (file.outcome) {
        case Outcome::SameOutput:
            EXPECT_EQ(result.output, expected);
            break;
        case Outcome::IndicesReordered:
            EXPECT_TRUE(
                holds_renumbered_pattern(REAL_TOOLS / file.name, read_pattern(file.two_colours)));
            EXPECT_TRUE(result.written);
            EXPECT_NE(result.output, expected);
            break;
        case Outcome::WrongOutput:
            EXPECT_TRUE(result.written);
            EXPECT_NE(result.output, expected);
            break;
        case Outcome::Rejected:
            EXPECT_FALSE(result.written);
            break;
        }
    }
}

TEST(RealTools, EveryCommittedPictureIsInTheTable) {
    std::set<std::string> listed;
    for (const RealToolFile& file : REAL_TOOL_FILES) {
        listed.insert(file.name);
    }
    std::set<std::string> on_disk;
    for (const auto& entry : fs::directory_iterator(REAL_TOOLS)) {
        if (entry.path().extension() == ".bmp") {
            on_disk.insert(entry.path().filename().string());
        }
    }
    EXPECT_EQ(on_disk, listed);
}

} // namespace
} // namespace kelvora
