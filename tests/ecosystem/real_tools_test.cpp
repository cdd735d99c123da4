// Pictures written by ImageMagick and Pillow (real_tools/make_pictures.py):
// every route kelvora takes converts byte for byte like the same pattern
// saved by our own writer as an uncompressed 8-bit BMP, every route it
// refuses says why and writes nothing, and the one trap left (a palette put
// in another order) does what the README says.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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

// The pattern as each file draws it.
enum class Form {
    Full,        // indices 0-15
    TwoColours,  // every drawn pixel in colour 1
    FourColours, // the low two bits of each index
    Truecolour,  // bright black (8) drawn black: truecolour has no other black
};

enum class Outcome {
    Same,      // converts like the form written by our own writer
    Reordered, // same picture, other palette order: converts, but wrongly
    Refused,   // one "can't read" line with the reason, no output file
};

struct RealToolFile {
    const char* name;
    Form form;
    Outcome outcome;
    const char* reason; // the start of the reason, for a refused file
};

constexpr Outcome SAME = Outcome::Same;
constexpr Outcome REORDERED = Outcome::Reordered;
constexpr Outcome REFUSED = Outcome::Refused;
constexpr Form FULL = Form::Full;
constexpr Form TWO = Form::TwoColours;
constexpr Form FOUR = Form::FourColours;
constexpr Form RGB = Form::Truecolour;

const RealToolFile REAL_TOOL_FILES[] = {
    {"im_bmp3_4bit.bmp", FULL, SAME, ""},
    {"im_bmp3_8bit.bmp", FULL, SAME, ""},
    {"im_bmp_4bit.bmp", FULL, SAME, ""},
    {"im_bmp_8bit.bmp", FULL, SAME, ""},
    {"im_bmp3_two_colours.bmp", TWO, SAME, ""},
    {"im_bmp3_8bit_rle.bmp", FULL, SAME, ""},
    {"im_bmp3_16_colours_rle.bmp", FULL, SAME, ""},
    {"im_bmp3_1bit.bmp", TWO, SAME, ""},
    {"im_bmp3_24bit_drawn.bmp", RGB, SAME, ""},
    {"im_bmp3_24bit_smoothed.bmp", RGB, REFUSED, "pixel "},
    {"im_png_interlaced_rgb.png", RGB, SAME, ""},
    {"im_bmp2.bmp", FULL, REFUSED, "it has the old 12-byte BMP header"},
    {"pil_16_entries.bmp", FULL, SAME, ""},
    {"pil_2_entries.bmp", TWO, SAME, ""},
    {"pil_quantized.bmp", FULL, SAME, ""},
    {"pil_1bit.bmp", TWO, SAME, ""},
    {"pil_24bit.bmp", RGB, SAME, ""},
    {"pil_indexed_1bit.png", TWO, SAME, ""},
    {"pil_indexed_2bit.png", FOUR, SAME, ""},
    {"pil_indexed_4bit.png", FULL, SAME, ""},
    {"pil_indexed_8bit.png", FULL, SAME, ""},
    {"pil_rgb.png", RGB, SAME, ""},
    {"pil_rgba.png", RGB, SAME, ""},
    {"trap_colors.bmp", FULL, REORDERED, ""},
    {"trap_colors_indexed.bmp", FULL, REORDERED, ""},
    {"trap_remap.bmp", FULL, REORDERED, ""},
    {"trap_type_palette.bmp", FULL, REORDERED, ""},
    {"trap_png_interlaced.png", FULL, REORDERED, ""},
};

// Rows of palette indices, top row first, from pattern.txt (one hex digit a
// pixel), in the given form.
std::vector<std::vector<std::uint8_t>> read_pattern(Form form) {
    std::ifstream in(REAL_TOOLS / "pattern.txt");
    std::vector<std::vector<std::uint8_t>> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::vector<std::uint8_t> row;
        for (char digit : line) {
            auto index = static_cast<std::uint8_t>(std::stoi(std::string(1, digit), nullptr, 16));
            switch (form) {
            case Form::Full:
                break;
            case Form::TwoColours:
                index = index != 0 ? 1 : 0;
                break;
            case Form::FourColours:
                index &= 3;
                break;
            case Form::Truecolour:
                index = index == 8 ? 0 : index;
                break;
            }
            row.push_back(index);
        }
        rows.push_back(row);
    }
    return rows;
}

std::string own_bmp(Form form, int bits) {
    const auto pattern = read_pattern(form);
    return test::make_bmp({32, 16, bits}, [&pattern](int x, int y) {
        return pattern[static_cast<std::size_t>(y)][static_cast<std::size_t>(x)];
    });
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

Conversion convert_own(Form form) {
    TempDir dir;
    test::write_file(dir / "own.bmp", own_bmp(form, 8));
    return convert(dir / "own.bmp");
}

// True when the file holds the pattern with its palette indices renumbered one
// for one and not all kept: the picture looks the same, but its indices, which
// kelvora takes as colours, are not the artist's.
bool holds_renumbered_pattern(const fs::path& picture,
                              const std::vector<std::vector<std::uint8_t>>& pattern) {
    auto stores = test::fresh_stores();
    const std::string bytes = read_file(picture);
    PictureFacts facts;
    if (!read_picture(*test::reader_over(bytes), test::picture_scratch(), stores->grid, facts)
             .taken) {
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
        Form form;
        const char* expected;
        int bits;
    } cases[] = {{FULL, "expected.asm", 4},
                 {FULL, "expected.asm", 8},
                 {TWO, "expected_two_colours.asm", 4},
                 {TWO, "expected_two_colours.asm", 8}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.expected) + " at " + std::to_string(c.bits) + " bits");
        TempDir dir;
        test::write_file(dir / "own.bmp", own_bmp(c.form, c.bits));
        const Conversion result = convert(dir / "own.bmp");
        EXPECT_EQ(result.messages, "");
        const std::string expected = read_file(REAL_TOOLS / c.expected);
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(result.output, expected);
    }
}

TEST(RealTools, EachFileConvertsAsRecorded) {
    for (const RealToolFile& file : REAL_TOOL_FILES) {
        SCOPED_TRACE(file.name);
        const Conversion result = convert(REAL_TOOLS / file.name);
        const Conversion own = convert_own(file.form);
        ASSERT_TRUE(own.written);
        switch (file.outcome) {
        case Outcome::Same:
            EXPECT_EQ(result.messages, "");
            EXPECT_EQ(result.output, own.output);
            break;
        case Outcome::Reordered:
            // The trap is silent: only kelvora-preview --check can tell.
            EXPECT_EQ(result.messages, "");
            EXPECT_TRUE(holds_renumbered_pattern(REAL_TOOLS / file.name, read_pattern(file.form)));
            EXPECT_TRUE(result.written);
            EXPECT_NE(result.output, own.output);
            break;
        case Outcome::Refused:
            EXPECT_EQ(result.messages.rfind("can't read " + (REAL_TOOLS / file.name).string() +
                                                ": " + file.reason,
                                            0),
                      0u)
                << result.messages;
            EXPECT_EQ(std::count(result.messages.begin(), result.messages.end(), '\n'), 1);
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
        if (entry.path().extension() == ".bmp" || entry.path().extension() == ".png") {
            on_disk.insert(entry.path().filename().string());
        }
    }
    EXPECT_EQ(on_disk, listed);
}

} // namespace
} // namespace kelvora
