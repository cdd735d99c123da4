// kelvora-preview: header facts, preview pixels read back from the PNG,
// messages and exit statuses, and the shipped example.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "check/label_set.h"
#include "check/list_window.h"
#include "convert/convert_record.h"
#include "draw/cell_changes.h"
#include "draw/render.h"
#include "files/files.h"
#include "input/picture.h"
#include "input/resource_list.h"
#include "png/png_writer.h"
#include "test_support.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::BmpLayout;
using test::make_bmp;
using test::read_file;
using test::TempDir;
using test::write_file;

using Palette = std::vector<Rgb>;
using PixelFunction = std::function<std::uint8_t(int, int)>;

// Sixteen colours in the display's order, each nearer its display colour
// than any other but none the same, and all different, so a colour taken
// from the wrong place shows.
Palette test_palette() {
    Palette palette;
    for (int i = 0; i < 16; ++i) {
        const auto on = static_cast<std::uint8_t>((i & 8) != 0 ? 0xFF - i : 0xB0 + i);
        const auto off = static_cast<std::uint8_t>(0x10 + i);
        palette.push_back(
            Rgb{(i & 2) != 0 ? on : off, (i & 4) != 0 ? on : off, (i & 1) != 0 ? on : off});
    }
    return palette;
}

// The layout with the given palette.
BmpLayout with_palette(BmpLayout layout, const Palette& palette) {
    layout.palette = palette;
    return layout;
}

// A 4-bit picture with the given palette.
std::string picture(int width, int height, const PixelFunction& pixel,
                    const Palette& palette = test_palette()) {
    return make_bmp(with_palette({width, height, 4}, palette), pixel);
}

struct Png {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb;
    Rgb at(int x, int y) const {
        const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
        return Rgb{rgb[i], rgb[i + 1], rgb[i + 2]};
    }
};

Png read_png(const fs::path& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    Png png;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
        return png;
    }
    image.format = PNG_FORMAT_RGB;
    png.rgb.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, png.rgb.data(), 0, nullptr) == 0) {
        png.rgb.clear();
        return png;
    }
    png.width = static_cast<int>(image.width);
    png.height = static_cast<int>(image.height);
    return png;
}

using Outcome = test::Run;

// Runs kelvora-preview in `directory` with the arguments, split at spaces.
Outcome run_preview(const fs::path& directory, const std::string& arguments) {
    std::vector<std::string> argv;
    for (std::size_t start = 0; start < arguments.size();) {
        std::size_t end = arguments.find(' ', start);
        end = end == std::string::npos ? arguments.size() : end;
        argv.push_back(arguments.substr(start, end - start));
        start = end + 1;
    }
    return test::run_preview(directory, argv);
}

struct Preview {
    Outcome run;
    Png png;
};

Preview preview_of(const std::string& bmp, const std::string& list,
                   const std::string& options = "--scale 4") {
    TempDir dir;
    write_file(dir / "pic.bmp", bmp);
    write_file(dir / "list.txt", list);
    Preview preview;
    preview.run = run_preview(dir.path(), options + " pic.bmp list.txt out.png");
    preview.png = read_png(dir / "out.png");
    return preview;
}

// The middle of a zoomed picture pixel, clear of frames and outlines.
Rgb left_panel(const Png& png, int scale, int x, int y) {
    return png.at(x * scale + scale / 2, y * scale + scale / 2);
}

Rgb right_panel(const Png& png, int scale, int picture_width, int x, int y) {
    return png.at((picture_width + x) * scale + scale / 2, y * scale + scale / 2);
}

std::string colour_text(Rgb c) {
    return std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b);
}

const Palette P = test_palette();

// A cell of colours 2 and 6 that also holds 8 pixels of colour 1, a colour
// the cell cannot keep: 1 sits in columns 3-4, rows 2-5.
std::uint8_t three_colour_cell(int x, int y) {
    if ((x == 3 || x == 4) && y >= 2 && y <= 5) {
        return 1;
    }
    return x >= 5 ? 6 : 2;
}

struct PixelCase {
    const char* what;
    int width;
    int height;
    PixelFunction pixel;
    std::string list;
    std::function<Rgb(int, int)> shown; // the right panel, what the display shows
    std::string report;
    Palette palette = test_palette();
};

// The display's colour of an index.
Rgb D(int index) {
    return display_colour(index);
}

const std::string TWO_COLOURS = "a cell shows only its ink and paper, so draw it in two colours";

TEST(PreviewPixels, KnownCells) {
    const std::vector<PixelCase> cases = {
        {"two-colour cell: nothing changes", 8, 8,
         [](int x, int) -> std::uint8_t { return x < 4 ? 2 : 6; }, "cc=B,0,0,8,8,7\n",
         [](int x, int) { return x < 4 ? D(2) : D(6); },
         "cc: block \"B\", 1 x 1 cells, 0 pixels changed\ntotal: 1 record, 0 pixels changed\n"},
        {"three-colour cell: colour 1 is lost to the paper 2", 8, 8, three_colour_cell,
         "cc=B,0,0,8,8,7\n",
         [](int x, int y) { return three_colour_cell(x, y) == 6 ? D(6) : D(2); },
         "cc: block \"B\", 1 x 1 cells, 8 pixels changed\npic.bmp:0,0: note: cc: 8 pixels are "
         "shown in other colours: 1 blue as 2 red (8); " +
             TWO_COLOURS + ": draw 1 in 2\ntotal: 1 record, 8 pixels changed\n"},
        {"black and bright black are one colour: not a change", 8, 8,
         [](int x, int) -> std::uint8_t { return x < 4 ? 8 : 6; }, "cc=T,0,0,8,8,7\n",
         [](int x, int) { return x < 4 ? D(0) : D(6); },
         "cc: tile table \"T\", 1 x 1 cells, 0 pixels changed\ntotal: 1 record, 0 pixels "
         "changed\n"},
        {"sprite: colour 0 is transparent and not a change", 8, 8,
         [](int x, int y) -> std::uint8_t { return x < 4 && y < 4 ? 0 : 5; }, "s=S,0,0,8,8,7\n",
         [](int x, int y) { return x < 4 && y < 4 ? checker_colour(x, y) : D(5); },
         "s: sprite \"S\", 1 cell x 8 rows, 0 pixels changed\ntotal: 1 record, 0 pixels "
         "changed\n"},
        {"white sprite: ink white, other colours black paper", 8, 8,
         [](int x, int) -> std::uint8_t { return x < 4 ? 15 : (x < 6 ? 3 : 0); }, "w=s,0,0,8,8,7\n",
         [](int x, int y) { return x < 4 ? D(15) : (x < 6 ? D(0) : checker_colour(x, y)); },
         "w: white sprite \"s\", 1 cell x 8 rows, 16 pixels changed\npic.bmp:0,0: note: w: a "
         "white sprite shows only bright white 15 as ink; its 16 pixels in 3 magenta show as "
         "paper, black; draw 3 in 15\ntotal: 1 record, 16 pixels changed\n"},
        {"bright cell: both colours bright", 8, 8,
         [](int x, int) -> std::uint8_t { return x < 4 ? 10 : 12; }, "bb=B,0,0,8,8,7\n",
         [](int x, int) { return x < 4 ? D(10) : D(12); },
         "bb: block \"B\", 1 x 1 cells, 0 pixels changed\ntotal: 1 record, 0 pixels changed\n"},
        {"bright ink makes the normal paper bright", 8, 8,
         [](int x, int) -> std::uint8_t { return x < 4 ? 2 : 12; }, "bb=B,0,0,8,8,7\n",
         [](int x, int) { return x < 4 ? D(10) : D(12); },
         "bb: block \"B\", 1 x 1 cells, 32 pixels changed\npic.bmp:0,0: note: bb: 32 pixels are "
         "shown in other colours: 2 red as 10 bright red (32); a cell's ink and paper are bright "
         "together or not at all, so draw its two colours alike: draw 2 in 10\ntotal: 1 record, 32 "
         "pixels "
         "changed\n"},
        {"each band in its own colours; outside the record dimmed", 16, 16,
         [](int x, int y) -> std::uint8_t {
             if (x >= 8) {
                 return 3;
             }
             return y < 8 ? (x < 4 ? 2 : 6) : (x < 4 ? 1 : 4);
         },
         "t=B,0,0,8,16,7\n",
         [](int x, int y) {
             if (x >= 8) {
                 return dimmed(P[3]);
             }
             return y < 8 ? (x < 4 ? D(2) : D(6)) : (x < 4 ? D(1) : D(4));
         },
         "t: block \"B\", 1 x 2 cells, 0 pixels changed\ntotal: 1 record, 0 pixels changed\n"},
        {"a later record is drawn over an earlier one", 16, 8, three_colour_cell,
         "bb=B,0,0,8,8,7\nw=s,0,0,8,8,7\n", [](int x, int) { return x < 8 ? D(0) : dimmed(P[6]); },
         "bb: block \"B\", 1 x 1 cells, 8 pixels changed\npic.bmp:0,0: note: bb: 8 pixels are "
         "shown in other colours: 1 blue as 2 red (8); " +
             TWO_COLOURS +
             ": draw 1 in 2\nw: white sprite \"s\", 1 cell x 8 rows, 64 pixels "
             "changed\nlist.txt:2: error: "
             "the white sprite \"w\" has no pixel in 15, so it comes out all black: a white "
             "sprite shows only bright white 15 as ink; its 64 pixels in 1 blue, 2 red, 6 "
             "yellow show as paper, black; draw 1 in 15, 2 in 15, 6 in 15\nlist.txt:2: note: "
             "the sprite \"w\" has no pixel in 0, so nothing of it is transparent and its mask "
             "covers its whole box; draw its background in 0\ntotal: 2 records, 72 pixels "
             "changed\n"},
    };
    constexpr int SCALE = 4;
    for (const PixelCase& c : cases) {
        const Preview preview = preview_of(picture(c.width, c.height, c.pixel, c.palette), c.list);
        EXPECT_EQ(preview.run.out, c.report) << c.what;
        EXPECT_EQ(preview.run.err, "") << c.what;
        EXPECT_EQ(preview.run.status, 0) << c.what;
        ASSERT_EQ(preview.png.width, 2 * c.width * SCALE) << c.what;
        ASSERT_EQ(preview.png.height, c.height * SCALE) << c.what;
        for (int y = 0; y < c.height; ++y) {
            for (int x = 0; x < c.width; ++x) {
                EXPECT_EQ(colour_text(left_panel(preview.png, SCALE, x, y)),
                          colour_text(c.palette[c.pixel(x, y)]))
                    << c.what << " left " << x << "," << y;
                EXPECT_EQ(colour_text(right_panel(preview.png, SCALE, c.width, x, y)),
                          colour_text(c.shown(x, y)))
                    << c.what << " right " << x << "," << y;
            }
        }
    }
}

bool is_outline(Rgb colour) {
    return colour == OUTLINE_DARK || colour == OUTLINE_LIGHT;
}

TEST(PreviewPixels, ChangedPixelsAreOutlinedOrTintedAndRecordsFramed) {
    const std::string bmp = picture(8, 8, three_colour_cell);
    const std::string list = "cc=B,0,0,8,8,7\n";

    // Scale 4: the changed block of colour-1 pixels (3-4, 2-5) is outlined
    // along its edge only; the frame runs round the record's edge pixels.
    const Png at4 = preview_of(bmp, list, "--scale 4").png;
    ASSERT_EQ(at4.width, 64);
    const auto right4 = [&at4](int x, int y, int dx, int dy) {
        return at4.at(32 + 4 * x + dx, 4 * y + dy);
    };
    EXPECT_TRUE(is_outline(right4(3, 3, 0, 1))) << "left edge of the changed block";
    EXPECT_TRUE(is_outline(right4(3, 2, 1, 0))) << "top edge of the changed block";
    EXPECT_TRUE(is_outline(right4(4, 5, 3, 1))) << "right edge of the changed block";
    EXPECT_EQ(right4(3, 3, 3, 1), D(2)) << "inside the block: its neighbour changed too";
    EXPECT_EQ(right4(3, 3, 1, 0), D(2));
    EXPECT_EQ(right4(2, 3, 3, 1), D(2)) << "an unchanged pixel beside it";
    EXPECT_EQ(right4(0, 3, 0, 1), FRAME_COLOUR);
    EXPECT_EQ(right4(0, 3, 1, 1), D(2)) << "the frame is one PNG pixel wide at scale 4";
    EXPECT_EQ(right4(5, 7, 1, 3), FRAME_COLOUR);
    EXPECT_EQ(at4.at(0, 0), P[2]) << "the left panel has no frame";

    // Scale 8: outlines and frames are two PNG pixels wide.
    const Png at8 = preview_of(bmp, list, "--scale 8").png;
    ASSERT_EQ(at8.width, 128);
    EXPECT_TRUE(is_outline(at8.at(64 + 24 + 3, 16 + 1))) << "second row of the outline";
    EXPECT_EQ(at8.at(64 + 24 + 3, 16 + 2), D(2));
    EXPECT_EQ(at8.at(64 + 1, 30), FRAME_COLOUR);
    EXPECT_EQ(at8.at(64 + 2, 30), D(2));

    // Scale 1: no room for an outline, so the changed pixels are tinted.
    const Png at1 = preview_of(bmp, list, "--scale 1").png;
    ASSERT_EQ(at1.width, 16);
    const Rgb red_tinted{0xE6, 0x00, 0x80}; // red 2, #cd0000, halfway to the tint #ff00ff
    EXPECT_EQ(at1.at(8 + 3, 3), red_tinted);
    EXPECT_EQ(at1.at(8 + 2, 3), D(2));
    EXPECT_EQ(at1.at(8 + 0, 3), FRAME_COLOUR);
}

TEST(PreviewWarnings, SignatureShortFileAndShortPalette) {
    const auto pixel = [](int x, int) -> std::uint8_t { return x < 4 ? 2 : 6; };
    std::string no_signature = picture(8, 8, pixel);
    no_signature[0] = 'X';
    std::string short_file = picture(8, 8, pixel);
    short_file.resize(short_file.size() - 5);
    BmpLayout two_entries = with_palette({8, 8, 4}, P);
    two_entries.colours_used_field = 2; // the palette is entries 0 and 1 only
    const std::string two_colours = make_bmp(two_entries, pixel);

    const std::string prefix = "kelvora-preview: warning: pic.bmp: ";
    EXPECT_EQ(preview_of(no_signature, "aa=B,0,0,8,8,7\n").run.err,
              prefix + "it does not start with \"BM\", so it may not be a BMP at all; it is "
                       "read as one all the same\n");
    EXPECT_EQ(preview_of(short_file, "aa=B,0,0,8,8,7\n").run.err,
              prefix + "the file ends 5 bytes before its pixels do; kelvora repeats the last "
                       "byte it read for the rest, as shown\n");
    const Preview short_palette = preview_of(two_colours, "aa=B,0,0,8,8,7\n");
    EXPECT_EQ(short_palette.run.err,
              prefix + "its palette has 2 entries, but colour indices up to 6 are shown; 2 are "
                       "shown in the display's standard colours\n");
    EXPECT_EQ(short_palette.run.status, 0);
    EXPECT_EQ(left_panel(short_palette.png, 4, 0, 0), display_colour(2));
}

struct MessageCase {
    const char* what;
    std::string arguments;
    std::string out;
    std::string err; // the start of standard error
    int status;
};

TEST(PreviewRun, FailuresAreNamedAndLeaveTheOutputAlone) {
    const std::string usage_start =
        "\nusage: kelvora-preview [--scale N] [--assembler NAME] picture list.txt preview.png\n";
    const std::string size_rule = "; width and height must be multiples of 8, at most 1024\n";
    const std::vector<MessageCase> cases = {
        {"no names: no default run", "", "",
         "kelvora-preview: three names are needed" + usage_start, 2},
        {"four names", "pic.bmp list.txt out.png more", "",
         "kelvora-preview: one name too many: more" + usage_start, 2},
        {"scale 0", "--scale 0 pic.bmp list.txt out.png", "",
         "kelvora-preview: --scale wants a whole number from 1 to 16, not 0" + usage_start, 2},
        {"scale= empty", "--scale= pic.bmp list.txt out.png", "",
         "kelvora-preview: --scale wants a whole number from 1 to 16, not nothing" + usage_start,
         2},
        {"scale missing", "pic.bmp list.txt out.png --scale", "",
         "kelvora-preview: --scale wants a whole number from 1 to 16, not nothing" + usage_start,
         2},
        {"unknown option", "--zoom 2 pic.bmp list.txt out.png", "",
         "kelvora-preview: unknown option --zoom" + usage_start, 2},
        {"missing picture", "nothere.bmp list.txt out.png", "",
         "kelvora-preview: can't open nothere.bmp: No such file or directory\n", 1},
        {"picture is a directory", "sub list.txt out.png", "",
         "kelvora-preview: can't open sub: Is a directory\n", 1},
        {"picture 12 wide", "wide.bmp list.txt out.png", "",
         "kelvora-preview: can't read wide.bmp: 12 pixels wide" + size_rule, 1},
        {"picture of 16 bits a pixel", "deep.bmp list.txt out.png", "",
         "kelvora-preview: can't read deep.bmp: 16 bits per pixel, which kelvora does not read; "
         "save it with 1, 2, 4, 8, 24 or 32 bits per pixel\n",
         1},
        {"pixels inside the header", "early.bmp list.txt out.png", "",
         "kelvora-preview: can't read early.bmp: its pixel data would start at byte 20, inside "
         "its header; re-save it\n",
         1},
        {"scale too large for the picture", "--scale 9 big.bmp list.txt out.png", "",
         "kelvora-preview: can't preview at scale 9: the preview would be wider than 16384 "
         "pixels; the largest scale for this picture is 8\n",
         1},
        {"missing list", "pic.bmp nothere.txt out.png", "",
         "kelvora-preview: can't open nothere.txt: No such file or directory\n", 1},
        {"output is the list", "pic.bmp list.txt list.txt", "",
         "kelvora-preview: can't write list.txt: it is also an input\n", 1},
        {"--check takes two names", "--check pic.bmp list.txt out.png", "",
         "kelvora-preview: one name too many with --check: out.png" + usage_start, 2},
        {"--strict goes with --check", "--strict pic.bmp list.txt out.png", "",
         "kelvora-preview: --strict goes with --check" + usage_start, 2},
        {"unknown assembler", "--check --assembler masm pic.bmp list.txt", "",
         "kelvora-preview: --assembler wants gnu, pasmo, z80asm, sdas, sdcc, sjasmplus, rasm or "
         "z88dk, not masm" +
             usage_start,
         2},
        {"assembler missing", "--check pic.bmp list.txt --assembler", "",
         "kelvora-preview: --assembler wants gnu, pasmo, z80asm, sdas, sdcc, sjasmplus, rasm or "
         "z88dk, not nothing" +
             usage_start,
         2},
        {"--version", "--version pic.bmp list.txt out.png", "kelvora-preview " KELVORA_VERSION "\n",
         "", 0},
        {"--check, missing picture", "--check nothere.bmp list.txt", "",
         "kelvora-preview: can't open nothere.bmp: No such file or directory\n", 2},
        {"--check, list is a directory", "--check pic.bmp sub", "",
         "kelvora-preview: can't open sub: Is a directory\n", 2},
        {"--picture goes with a preview", "--check --picture view.png pic.bmp list.txt", "",
         "kelvora-preview: --picture does not go with --check" + usage_start, 2},
        {"--picture wants a file", "pic.bmp list.txt out.png --picture", "",
         "kelvora-preview: --picture wants a file name" + usage_start, 2},
        {"--picture is the preview", "pic.bmp list.txt out.png --picture out.png",
         "aa: block \"B\", 1 x 1 cells, 0 pixels changed\ntotal: 1 record, 0 pixels changed\n",
         "kelvora-preview: can't write out.png: it is also the preview\n", 1},
        {"--picture is the list", "pic.bmp list.txt out.png --picture list.txt",
         "aa: block \"B\", 1 x 1 cells, 0 pixels changed\ntotal: 1 record, 0 pixels changed\n",
         "kelvora-preview: can't write list.txt: it is also an input\n", 1},
        {"--binary goes with --from", "--binary pic.bmp list.txt out.png", "",
         "kelvora-preview: --binary goes with --from" + usage_start, 2},
        {"--binary or --assembler", "--from --binary --assembler gnu pic.bmp list.txt out.png", "",
         "kelvora-preview: --binary and --assembler name two forms; give one" + usage_start, 2},
        {"--strict and --from", "--check --from --strict pic.bmp list.txt", "",
         "kelvora-preview: --strict does not go with --from" + usage_start, 2},
        {"--from, missing output", "--from nothere.asm list.txt out.png", "",
         "kelvora-preview: can't open nothere.asm: No such file or directory\n", 1},
        {"--check --from, list is a directory", "--check --from pic.bmp sub", "",
         "kelvora-preview: can't open sub: Is a directory\n", 2},
        {"output folder missing", "pic.bmp list.txt nodir/out.png",
         "aa: block \"B\", 1 x 1 cells, 0 pixels changed\ntotal: 1 record, 0 pixels changed\n",
         "kelvora-preview: can't open nodir/out.png: No such file or directory\n", 1},
    };
    const auto blank = [](int, int) -> std::uint8_t { return 0; };
    for (const MessageCase& c : cases) {
        TempDir dir;
        write_file(dir / "pic.bmp",
                   picture(8, 8, [](int x, int) -> std::uint8_t { return x < 4 ? 2 : 6; }));
        write_file(dir / "wide.bmp", picture(12, 8, blank));
        BmpLayout deep{8, 8, 8};
        deep.bits_field = 16;
        write_file(dir / "deep.bmp", make_bmp(deep, blank));
        write_file(dir / "early.bmp", make_bmp({8, 8, 4, 20}, blank));
        write_file(dir / "big.bmp", make_bmp({1024, 8, 4}, blank));
        write_file(dir / "list.txt", "aa=B,0,0,8,8,7\n");
        write_file(dir / "out.png", "earlier run");
        fs::create_directory(dir / "sub");
        const auto files = std::distance(fs::directory_iterator(dir.path()), {});
        const Outcome run = run_preview(dir.path(), c.arguments);
        EXPECT_EQ(run.out, c.out) << c.what;
        EXPECT_EQ(run.err.substr(0, c.err.size()), c.err) << c.what;
        EXPECT_EQ(run.status, c.status) << c.what;
        EXPECT_EQ(read_file(dir / "out.png"), "earlier run") << c.what;
        EXPECT_EQ(read_file(dir / "list.txt"), "aa=B,0,0,8,8,7\n") << c.what;
        EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), files)
            << c.what << ": no file was added";
    }
}

TEST(PreviewRun, RecordOutsideTheGridIsReportedAndTheRestPreviewed) {
    const Preview preview =
        preview_of(picture(8, 8, [](int x, int) -> std::uint8_t { return x < 4 ? 2 : 6; }),
                   "aa=B,0,0,8,8,7\nfar=B,1024,0,8,8,7\nnear=B,512,0,8,8,7\n"
                   "tall=T,0,0,0,2147483647,7\n");
    EXPECT_EQ(preview.run.out,
              "aa: block \"B\", 1 x 1 cells, 0 pixels changed\n"
              "list.txt:2: error: can't convert far: outside the 1024x1024 picture area\n"
              "list.txt:3: error: the record reaches to pixel 520,8, past the 8 x 8 picture: what "
              "lies beyond it reads as colour 0; keep the record inside the picture\n"
              "near: block \"B\", 1 x 1 cells, 0 pixels changed, partly beyond the 8x8 picture "
              "(that part is not shown)\n"
              "list.txt:4: error: can't convert tall: outside the 1024x1024 picture area\n"
              "total: 2 records, 0 pixels changed, 2 not converted\n");
    EXPECT_EQ(preview.run.status, 1);
    EXPECT_EQ(right_panel(preview.png, 4, 8, 0, 0), D(2)) << "the preview is still written";
}

TEST(PreviewRun, AFailedWriteIsReported) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full here";
    }
    TempDir dir;
    write_file(dir / "pic.bmp", picture(8, 8, three_colour_cell));
    write_file(dir / "list.txt", "aa=B,0,0,8,8,7\n");
    const Outcome run = run_preview(dir.path(), "pic.bmp list.txt /dev/full");
    EXPECT_EQ(run.err, "kelvora-preview: can't write /dev/full: No space left on device\n");
    EXPECT_EQ(run.status, 1);
}

const fs::path SOURCE = test::SOURCE_DIR;

TEST(PreviewRun, APaletteOutOfOrderCountsAsChanged) {
    // Every index is encoded as drawn, but the palette gives half of them
    // other colours than the display does: those pixels change.
    TempDir dir;
    const fs::path checks = SOURCE / "tests/checks";
    const std::string name = "palette-reordered-by-imagemagick";
    fs::copy_file(checks / (name + ".bmp"), dir / "pic.bmp");
    fs::copy_file(checks / (name + ".txt"), dir / "list.txt");
    const Outcome run = run_preview(dir.path(), "pic.bmp list.txt out.png");
    EXPECT_NE(run.out.find("sheet: block \"B\", 4 x 2 cells, 372 pixels changed\n"),
              std::string::npos)
        << run.out;
    EXPECT_NE(run.out.find("1 (drawn black) as 1 blue (8)"), std::string::npos)
        << "a note names the colour drawn, not the index's";
}

// The check counts changed pixels two ways: eight rows at a time where the
// picture's indices look as the display shows them, and pixel by pixel
// through the table otherwise. Both must count (and the preview draw) alike,
// on every kind.
TEST(CheckCounts, EightRowsAtATimeAgreesWithPixelByPixel) {
    const auto stores = test::fresh_stores();
    constexpr int WIDTH = 256;
    constexpr int HEIGHT = 64;
    std::uint32_t state = 4242;
    const auto next = [&state](std::uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % below);
    };
    for (int y = 0; y < HEIGHT; ++y) {
        for (int x = 0; x < WIDTH; ++x) {
            // Mostly 0-15, now and then an index above 15 (not ranked).
            stores->grid.at(x, y) =
                static_cast<ColourIndex>(next(40) == 0 ? 16 + next(8) : next(16));
        }
    }
    PictureFacts facts{};
    facts.width = WIDTH;
    facts.height = HEIGHT;
    facts.indexed = true;
    facts.bits_per_pixel = 8;
    facts.palette_entries = 256;
    for (int i = 0; i < 256; ++i) {
        facts.palette[i] = display_colour(i < 16 ? i : i % 7);
    }
    DrawnColours fast{};
    learn_drawn_colours(fast, facts, stores->grid);
    ASSERT_TRUE(fast.in_display_order);
    DrawnColours plain = fast;
    plain.in_display_order = false;
    const auto a = std::make_unique<RecordPreview>();
    const auto b = std::make_unique<RecordPreview>();
    // And the preview draws alike both ways.
    const auto fast_image = std::make_unique<PreviewImage>();
    const auto plain_image = std::make_unique<PreviewImage>();
    start_preview(*fast_image, facts);
    start_preview(*plain_image, facts);
    const auto a_drawn = std::make_unique<RecordPreview>();
    const auto b_drawn = std::make_unique<RecordPreview>();
    const char kinds[] = {'B', 'T', 'S', 's'};
    for (int trial = 0; trial < 400; ++trial) {
        ResourceRecord record{};
        record.name[0] = 'r';
        record.label_length = 1;
        record.kind_char = kinds[trial % 4];
        record.kind = kind_of(record.kind_char);
        record.x = next(4) == 0 ? next(WIDTH) : 8 * next(WIDTH / 8);
        record.y = next(HEIGHT);
        record.width = 1 + next(80);
        record.height = 1 + next(40);
        record.default_colour = static_cast<std::uint8_t>(next(256));
        const RecordLayout layout = record_layout(record);
        if (record_is_outside(record, layout)) {
            continue;
        }
        preview_record(nullptr, *stores, record, layout, fast, WIDTH, HEIGHT, CELLS_NOTED, *a);
        preview_record(nullptr, *stores, record, layout, plain, WIDTH, HEIGHT, CELLS_NOTED, *b);
        preview_record(fast_image.get(), *stores, record, layout, fast, WIDTH, HEIGHT, CELLS_NOTED,
                       *a_drawn);
        preview_record(plain_image.get(), *stores, record, layout, plain, WIDTH, HEIGHT,
                       CELLS_NOTED, *b_drawn);
        SCOPED_TRACE("trial " + std::to_string(trial));
        ASSERT_EQ(a->changed_pixels, b->changed_pixels);
        ASSERT_EQ(a_drawn->changed_pixels, a->changed_pixels);
        ASSERT_EQ(b_drawn->changed_pixels, a->changed_pixels);
        ASSERT_EQ(std::memcmp(fast_image->shown, plain_image->shown, WIDTH * HEIGHT), 0);
        ASSERT_EQ(std::memcmp(fast_image->marks, plain_image->marks, WIDTH * HEIGHT), 0);
        ASSERT_EQ(a->changed_cells, b->changed_cells);
        ASSERT_EQ(a->white_has_15, b->white_has_15);
        for (std::int64_t i = 0; i < std::min<std::int64_t>(a->changed_cells, CELLS_NOTED); ++i) {
            ASSERT_EQ(a->cells[i].pixels, b->cells[i].pixels);
            ASSERT_EQ(a->cells[i].cause, b->cells[i].cause);
        }
    }
}

TEST(LabelSet, FindsALabelGivenTwiceWithItsFirstLineAsItGrows) {
    LabelSet set;
    start_label_set(set);
    const auto hash = [](int i) {
        const std::string label = "label" + std::to_string(i);
        return label_hash(label.data(), label.size());
    };
    std::int64_t line = 0;
    for (int i = 0; i < 50000; ++i) {
        ASSERT_EQ(add_label(set, hash(i), i + 1, line), LabelLookup::Added) << i;
    }
    for (int i : {0, 1, 4095, 4096, 30000, 49999}) {
        EXPECT_EQ(add_label(set, hash(i), 60000, line), LabelLookup::Taken) << i;
        EXPECT_EQ(line, i + 1) << "the line of its first use";
    }
    EXPECT_EQ(add_label(set, hash(50000), 60001, line), LabelLookup::Added);
    EXPECT_NE(label_hash("ab", 2), label_hash("ba", 2));
    EXPECT_NE(label_hash("a", 1), label_hash("a\0", 2)) << "the length is part of the hash";
    free_label_set(set);
}

// The hashed label set against its plain twin, which keeps labels whole:
// labels that share their first 16, 32 or 64 bytes, of every length up to
// 79, some given again, must be taken for one exactly when they are one.
TEST(LabelSet, AgreesWithThePlainSetOfWholeLabels) {
    LabelSet hashed;
    PlainLabelSet plain;
    start_label_set(hashed);
    start_plain_label_set(plain);
    std::uint32_t state = 99;
    const auto next = [&state](std::uint32_t below) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % below);
    };
    const std::string stem(79, 'x');
    std::vector<std::string> given;
    int taken = 0;
    for (int i = 0; i < 20000; ++i) {
        std::string label;
        if (!given.empty() && next(8) == 0) {
            label = given[static_cast<std::size_t>(next(static_cast<std::uint32_t>(given.size())))];
        } else {
            // A shared start of 16, 32 or 64 bytes, then a few bytes that differ.
            const int shared = 16 << next(3);
            label = stem.substr(0, static_cast<std::size_t>(shared - next(2)));
            const int tail = 1 + next(79 - static_cast<int>(label.size()) > 6 ? 6 : 1);
            for (int k = 0; k < tail && label.size() < 79; ++k) {
                label += static_cast<char>('a' + next(3));
            }
            given.push_back(label);
        }
        std::int64_t hashed_line = 0;
        std::int64_t plain_line = 0;
        const LabelLookup a =
            add_label(hashed, label_hash(label.data(), label.size()), i + 1, hashed_line);
        const LabelLookup b = add_plain_label(plain, label, i + 1, plain_line);
        ASSERT_EQ(a, b) << "\"" << label << "\", label " << i;
        if (a == LabelLookup::Taken) {
            ++taken;
            ASSERT_EQ(hashed_line, plain_line) << label;
        }
    }
    EXPECT_GT(taken, 1000);
    free_label_set(hashed);
    free_plain_label_set(plain);
}

// The shortcut for a record written bare on a line of its own, against
// counting its lines byte by byte, over every check case's list: where it
// takes a record, the record must lie on that one line, and the counting
// must go on alike. In both builds: the plain-forms build does not use the
// shortcut, so only this test looks at it there.
TEST(CheckRun, BareLineShortcutAgreesWithCountingOverEveryCheckList) {
    const fs::path checks = SOURCE / "tests/checks";
    int taken = 0;
    for (const auto& entry : fs::directory_iterator(checks)) {
        if (entry.path().extension() != ".txt") {
            continue;
        }
        InputFile files[2];
        const auto windows = std::make_unique<ListWindow[]>(2);
        ByteReader readers[2];
        for (int i = 0; i < 2; ++i) {
            ASSERT_EQ(open_input(entry.path().c_str(), files[i]), 0);
            start_list_window(windows[i], files[i].handle.fd(), readers[i]);
        }
        ResourceRecord records[2]{};
        RecordTrace traces[2]{};
        for (int record = 1;; ++record) {
            const bool more = read_record(readers[0], records[0], traces[0]);
            ASSERT_EQ(read_record(readers[1], records[1], traces[1]), more);
            if (!more) {
                break;
            }
            const RecordTrace& trace = traces[0];
            const std::uint64_t last =
                trace.field_end[6] > trace.name_start ? trace.field_end[6] - 1 : trace.name_start;
            std::int64_t first_line = 0;
            std::int64_t last_line = 0;
            record_lines(windows[1], readers[1], trace.name_start, last, first_line, last_line);
            const std::int64_t bare =
                take_bare_line(windows[0], trace.name_start, trace.field_end[6]);
            if (bare > 0) {
                ++taken;
                EXPECT_EQ(bare, first_line) << entry.path() << " record " << record;
                EXPECT_EQ(bare, last_line)
                    << entry.path() << " record " << record << ": its fields run past its line";
            } else {
                std::int64_t a = 0;
                std::int64_t b = 0;
                record_lines(windows[0], readers[0], trace.name_start, last, a, b);
            }
            EXPECT_EQ(windows[0].line, windows[1].line) << entry.path() << " record " << record;
            EXPECT_EQ(windows[0].counted, windows[1].counted) << entry.path();
        }
    }
    EXPECT_GT(taken, 50) << "the shortcut took few records: the cases test little of it";
}

TEST(CheckRun, LinesStayRightOverALongListReadInPieces) {
    // Far more than the check holds at once: records, then a stretch of
    // blank lines longer than its window inside one record's reading, then
    // mistakes whose lines must still be exact.
    std::string list;
    for (int i = 0; i < 30000; ++i) {
        // Built by appending: g++ 12 warns falsely on "r" + std::string.
        list += 'r';
        list += std::to_string(i);
        list += "=B,0,0,8,8,0\r\n";
    }
    list += std::string(300000, '\n');
    list += "r1=B,0,0,8,8,0\nbad=b,0,0,8,8,0\n";
    TempDir dir;
    write_file(dir / "pic.bmp",
               picture(8, 8, [](int x, int) -> std::uint8_t { return x < 4 ? 2 : 6; }));
    write_file(dir / "list.txt", list);
    const Outcome run = run_preview(dir.path(), "--check pic.bmp list.txt");
    EXPECT_EQ(run.out,
              "list.txt:330001: error: the label \"r1\" is taken already, on line 2, and the "
              "assembler will not take it twice; rename one of them, this one to "
              "\"r1_330001\" say\n"
              "list.txt:330002: error: the kind starts with \"b\", not B, T, S or s (case "
              "counts), so this record will be a sprite; write B for a block, T for a tile "
              "table, S for a sprite or s for a white sprite (\"B\" is likely meant)\n"
              "list.txt:330002: note: the sprite \"bad\" has no pixel in 0, so nothing of it is "
              "transparent and its mask covers its whole box; draw its background in 0\n");
    EXPECT_EQ(run.status, 1);
}

TEST(PreviewExample, ReproducesTheCommittedPreviewAndReport) {
    TempDir dir;
    const Outcome run = test::run_preview(
        SOURCE / "examples", {"testpic.bmp", "testpic.txt", (dir / "preview.png").string()});
    const std::string alike = "a cell's ink and paper are bright together or not at all, so draw "
                              "its two colours alike: draw ";
    EXPECT_EQ(run.out,
              "smiley: block \"B\", 1 x 1 cells, 0 pixels changed\n"
              "heart: block \"B\", 1 x 1 cells, 0 pixels changed\n"
              "font: tile table \"T\", 2 x 1 cells, 100 pixels changed\n"
              "testpic.bmp:16,0: note: font: 50 pixels are shown in other colours: 1 blue as 9 "
              "bright blue (50); " +
                  alike + "1 in 9\n" +
                  "testpic.bmp:24,0: note: font: 50 pixels are shown in other colours: 1 blue as 9 "
                  "bright blue (50); " +
                  alike + "1 in 9\n" +
                  "ship: sprite \"S\", 2 cells x 16 rows, 0 pixels changed\n"
                  "ghost: white sprite \"s\", 2 cells x 16 rows, 72 pixels changed\n"
                  "testpic.bmp:32,0: note: ghost: a white sprite shows only bright white 15 as "
                  "ink; its 72 pixels in 13 bright cyan show as paper, black; draw 13 in 15\n"
                  "coin: sprite \"S\", 1 cell x 8 rows, 26 pixels changed\n"
                  "testpic.bmp:48,0: note: coin: 26 pixels are shown in other colours: 14 bright "
                  "yellow as 0 black (26); " +
                  alike + "14 in 8\n" +
                  "wall: block \"B\", 4 x 2 cells, 0 pixels changed\n"
                  "scene: block \"B\", 4 x 2 cells, 148 pixels changed\n"
                  "testpic.bmp:32,24: note: scene: 35 pixels are shown in other colours: 4 green "
                  "as 12 bright green (35); " +
                  alike + "4 in 12\n" +
                  "testpic.bmp:40,24: note: scene: 37 pixels are shown in other colours: 4 green "
                  "as 12 bright green (37); " +
                  alike + "4 in 12\n" +
                  "testpic.bmp:48,24: note: scene: 40 pixels are shown in other colours: 14 "
                  "bright yellow as 9 bright blue (3), 4 green as 12 bright green (37); " +
                  TWO_COLOURS +
                  ": draw 14 in 9, 4 in 12\ntestpic.bmp:56,24: note: scene: 36 pixels are shown in "
                  "other colours: 4 "
                  "green as 12 bright green (36); " +
                  alike + "4 in 12\ntotal: 8 records, 346 pixels changed\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 0);
    // Compared as pixels: the committed file need not come from the same
    // zlib build to show the same picture.
    const Png made = read_png(dir / "preview.png");
    const Png committed = read_png(SOURCE / "docs/preview.png");
    EXPECT_EQ(made.width, 1024) << "64 pixels, two panels, zoomed 8 times";
    EXPECT_EQ(made.height, 256);
    EXPECT_EQ(made.width, committed.width);
    EXPECT_EQ(made.height, committed.height);
    EXPECT_TRUE(made.rgb == committed.rgb) << "docs/preview.png is out of date";
}

} // namespace
} // namespace kelvora
