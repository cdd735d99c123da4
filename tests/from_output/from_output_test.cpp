// Drawing what an output holds, proved on every case of tests/cases that
// writes an output. The picture of the display's view (--picture) drawn
// from the case's picture equals the one drawn from each form kelvora
// writes (every syntax and the binary): blocks and tile tables pixel for
// pixel, sprites as ink, paper or transparent (an output holds no sprite
// colours). And converting a view's picture again with the same list gives
// the same view over every record that can come back (read_back's
// not_coming_back), with bytes that differ from the first output's only in
// the kinds that byte-differences.txt lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "convert/convert_record.h"
#include "input/picture.h"
#include "model/display_colours.h"
#include "output/asm_syntax.h"
#include "readback/read_back.h"
#include "test_support.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;

const fs::path CASES = test::SOURCE_DIR / "tests" / "cases";
const fs::path KINDS = test::SOURCE_DIR / "tests" / "from_output" / "byte-differences.txt";

// A form kelvora writes: its options and the file it goes to.
struct Form {
    std::string name;
    std::vector<std::string> options;
    const AsmSyntax* syntax; // null for the binary
};

std::vector<Form> forms() {
    std::vector<Form> all{{"default", {}, &DEFAULT_SYNTAX}};
    for (const AsmSyntax& syntax : ASSEMBLER_SYNTAXES) {
        all.push_back({syntax.name, {"--assembler", syntax.name}, &syntax});
    }
    all.push_back({"binary", {"--binary"}, nullptr});
    return all;
}

// The cases whose run writes an output.
std::vector<std::string> case_names() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(CASES)) {
        const fs::path& path = entry.path();
        if (path.extension() == ".txt" && (fs::exists(fs::path(path).replace_extension(".asm")) ||
                                           fs::exists(fs::path(path).replace_extension(".bin")))) {
            names.push_back(path.stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

using read_back::View;

// A view's picture as kelvora reads it.
View load_view(const fs::path& path) {
    const auto stores = test::fresh_stores();
    PictureFacts facts;
    const std::string bytes = test::read_file(path);
    EXPECT_TRUE(
        read_picture(*test::reader_over(bytes), test::picture_scratch(), stores->grid, facts).taken)
        << path;
    View view;
    view.width = facts.width;
    view.height = picture_rows(facts);
    for (int y = 0; y < view.height; ++y) {
        for (int x = 0; x < view.width; ++x) {
            view.pixels.push_back(stores->grid.at(x, y));
        }
    }
    return view;
}

std::vector<ResourceRecord> records_of_list(const std::string& list) {
    return read_back::records_of(*test::reader_over(list));
}

read_back::Text read_output(const std::string& bytes, const Form& form,
                            const std::vector<ResourceRecord>& records) {
    return form.syntax != nullptr ? read_back::read_text(bytes, records, *form.syntax)
                                  : read_back::read_binary(bytes, records);
}

class FromOutput : public testing::TestWithParam<std::string> {};

TEST_P(FromOutput, ShowsWhatThePictureShowsAndComesBack) {
    const std::string& name = GetParam();
    test::TempDir dir;
    const std::string picture = name + (fs::exists(CASES / (name + ".png")) ? ".png" : ".bmp");
    fs::copy_file(CASES / picture, dir / picture);
    fs::copy_file(CASES / (name + ".txt"), dir / "list.txt");
    const std::vector<ResourceRecord> records = records_of_list(test::read_file(dir / "list.txt"));
    const auto owners = std::make_unique<read_back::Owners>();
    read_back::mark_owners(*owners, records);
    // Exit status 1 where a record is outside the grid: the rest is drawn.
    const bool outside = std::any_of(records.begin(), records.end(),
                                     [](const auto& record) { return record_is_outside(record); });
    const int drawn_status = outside ? 1 : 0;

    const test::Run drawn = test::run_preview(
        dir.path(), {picture, "list.txt", "/dev/null", "--picture", "from-picture.png"});
    ASSERT_EQ(drawn.status, drawn_status) << drawn.err;
    const View from_picture = load_view(dir / "from-picture.png");

    std::string first_view;
    for (const Form& form : forms()) {
        SCOPED_TRACE(form.name);
        std::vector<std::string> arguments = form.options;
        const std::string output = "out-" + form.name;
        arguments.insert(arguments.end(), {picture, "list.txt", output});
        ASSERT_EQ(test::run_kelvora(dir.path(), arguments).status, 0);
        const std::string view = "from-" + form.name + ".png";
        const test::Run read = test::run_preview(
            dir.path(), {"--from", output, "list.txt", "/dev/null", "--picture", view});
        ASSERT_EQ(read.status, drawn_status) << read.out << read.err;
        const test::Run check =
            test::run_preview(dir.path(), {"--check", "--from", output, "list.txt"});
        EXPECT_EQ(check.status, 0) << check.out;
        EXPECT_EQ(check.out, "");
        EXPECT_EQ(read_back::compare_views(from_picture, load_view(dir / view), records, *owners),
                  "");
        // Every form holds the same bytes, so draws the same picture.
        const std::string picture_bytes = test::read_file(dir / view);
        if (first_view.empty()) {
            first_view = picture_bytes;
        }
        EXPECT_TRUE(picture_bytes == first_view) << view << " differs from the default's";
    }
    // Some records can't come back whole: what a later one drew over, the
    // colours one took from another, a sprite's ink an index above 15.
    const std::vector<bool> skipped = read_back::not_coming_back(records);
    const bool any_skipped = std::find(skipped.begin(), skipped.end(), true) != skipped.end();

    // The round trip: each view's picture converted again with the list.
    for (const std::string& view :
         {std::string("from-picture.png"), std::string("from-default.png")}) {
        SCOPED_TRACE(view);
        ASSERT_EQ(test::run_kelvora(dir.path(), {view, "list.txt", "again.asm"}).status, 0);
        const bool of_picture = view == "from-picture.png";
        const test::Run again =
            of_picture ? test::run_preview(
                             dir.path(), {view, "list.txt", "/dev/null", "--picture", "again.png"})
                       : test::run_preview(dir.path(), {"--from", "again.asm", "list.txt",
                                                        "/dev/null", "--picture", "again.png"});
        ASSERT_EQ(again.status, drawn_status) << again.out << again.err;
        if (any_skipped) {
            EXPECT_EQ(read_back::compare_over(load_view(dir / view), load_view(dir / "again.png"),
                                              *owners, skipped),
                      "")
                << "converted again, " << view << " shows something else";
        } else {
            EXPECT_TRUE(test::read_file(dir / "again.png") == test::read_file(dir / view))
                << "converted again, " << view << " shows something else";
        }
        const Form text = forms().front();
        std::map<std::string, int> kinds;
        read_back::classify_differences(
            read_output(test::read_file(dir / "out-default"), text, records),
            read_output(test::read_file(dir / "again.asm"), text, records), records, skipped,
            kinds);
        const std::set<std::string> listed = read_back::listed_kinds(test::read_file(KINDS));
        for (const auto& [kind, count] : kinds) {
            EXPECT_EQ(listed.count(kind), 1u)
                << "a byte difference of a kind not listed: " << kind << " (" << count << ")";
            std::printf("byte differences of %s: %s (%d)\n", view.c_str(), kind.c_str(), count);
        }
    }
}

std::string test_name(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    std::replace_if(
        name.begin(), name.end(), [](char c) { return !std::isalnum(c); }, '_');
    return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, FromOutput, testing::ValuesIn(case_names()), test_name);

// Checks of outputs against lists, as data: in tests/from_checks, a list
// (NAME.txt), an output (NAME.asm, NAME.s, NAME.bin or NAME.h), the
// options when there are any (NAME.args) and what `kelvora-preview --check
// --from` prints (NAME.check: "# exit N", then its lines), rewritten from
// the run when KELVORA_REGENERATE=1 is set.
const fs::path FROM_CHECKS = test::SOURCE_DIR / "tests" / "from_checks";

std::vector<std::string> from_check_names() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(FROM_CHECKS)) {
        if (entry.path().extension() == ".txt") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string output_file_of(const std::string& name) {
    for (const char* extension : {".asm", ".s", ".bin", ".h"}) {
        if (fs::exists(FROM_CHECKS / (name + extension))) {
            return name + extension;
        }
    }
    return "";
}

class FromCheck : public testing::TestWithParam<std::string> {};

TEST_P(FromCheck, FindsWhatIsRecorded) {
    const std::string& name = GetParam();
    test::TempDir dir;
    const std::string output = output_file_of(name);
    ASSERT_NE(output, "") << name << " has no output to check";
    fs::copy_file(FROM_CHECKS / output, dir / output);
    fs::copy_file(FROM_CHECKS / (name + ".txt"), dir / (name + ".txt"));
    std::vector<std::string> arguments{"--check", "--from"};
    if (fs::exists(FROM_CHECKS / (name + ".args"))) {
        std::istringstream words(test::read_file(FROM_CHECKS / (name + ".args")));
        for (std::string word; words >> word;) {
            arguments.push_back(word);
        }
    }
    arguments.insert(arguments.end(), {output, name + ".txt"});
    const test::Run run = test::run_preview(dir.path(), arguments);
    const std::string found = "# exit " + std::to_string(run.status) + "\n" + run.out;
    const char* const regenerate = std::getenv("KELVORA_REGENERATE");
    if (regenerate != nullptr && std::string(regenerate) == "1") {
        test::write_file(FROM_CHECKS / (name + ".check"), found);
    }
    EXPECT_EQ(found, test::read_file(FROM_CHECKS / (name + ".check")));
    EXPECT_EQ(run.err, "");
}

INSTANTIATE_TEST_SUITE_P(FromChecks, FromCheck, testing::ValuesIn(from_check_names()), test_name);

// The view's picture itself: the display's sixteen colours in their order,
// four bits a pixel; a block's black written 8, a sprite's transparent
// pixels and all outside the records 0.
TEST(ViewPicture, IsTheDisplaysViewInItsOwnPalette) {
    test::TempDir dir;
    test::BmpLayout layout;
    layout.width = 24;
    for (int i = 0; i < 16; ++i) {
        layout.palette.push_back(display_colour(i));
    }
    test::write_file(dir / "pic.bmp", test::make_bmp(layout, [](int x, int y) -> std::uint8_t {
                         if (x < 8) {
                             return x < 4 ? 2 : 0; // a block of red on black 0
                         }
                         if (x < 16) {
                             return y < 4 ? 0 : x == 8 && y == 4 ? 8 : 14; // a sprite
                         }
                         return 4; // outside every record
                     }));
    test::write_file(dir / "list.txt", "b=B,0,0,8,8,0\ns=S,8,0,8,8,0\n");
    ASSERT_EQ(
        test::run_preview(dir.path(), {"pic.bmp", "list.txt", "/dev/null", "--picture", "view.png"})
            .status,
        0);
    const std::string bytes = test::read_file(dir / "view.png");
    PictureFacts facts;
    const auto stores = test::fresh_stores();
    ASSERT_TRUE(
        read_picture(*test::reader_over(bytes), test::picture_scratch(), stores->grid, facts)
            .taken);
    EXPECT_EQ(facts.bits_per_pixel, 4);
    ASSERT_EQ(facts.palette_entries, 16);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(facts.palette[i], display_colour(i)) << i;
    }
    ASSERT_EQ(facts.width, 24);
    for (int y = 0; y < 8; ++y) {
        for (int x = 0; x < 24; ++x) {
            const int expected = x < 8    ? (x < 4 ? 2 : 8)
                                 : x < 16 ? (y < 4              ? 0
                                             : x == 8 && y == 4 ? 8
                                                                : 14)
                                          : 0;
            EXPECT_EQ(stores->grid.at(x, y), expected) << x << "," << y;
        }
    }
}

// A preview of an output: a line for each record, the form it was read in
// (told from the output), the total and the legend of the sprites' colours;
// one panel of the records' size (64 x 32, zoomed 8 times).
TEST(FromOutputRun, ReportsEachRecordTheFormAndTheLegend) {
    test::TempDir dir;
    fs::copy_file(test::SOURCE_DIR / "examples" / "testpic.bmp", dir / "testpic.bmp");
    fs::copy_file(test::SOURCE_DIR / "examples" / "testpic.txt", dir / "testpic.txt");
    ASSERT_EQ(test::run_kelvora(dir.path(),
                                {"--assembler", "pasmo", "testpic.bmp", "testpic.txt", "out.asm"})
                  .status,
              0);
    const test::Run run =
        test::run_preview(dir.path(), {"--from", "out.asm", "testpic.txt", "preview.png"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "smiley: block \"B\", 1 x 1 cells\n"
              "heart: block \"B\", 1 x 1 cells\n"
              "font: tile table \"T\", 2 x 1 cells\n"
              "ship: sprite \"S\", 2 cells x 16 rows\n"
              "ghost: white sprite \"s\", 2 cells x 16 rows\n"
              "coin: sprite \"S\", 1 cell x 8 rows\n"
              "wall: block \"B\", 4 x 2 cells\n"
              "scene: block \"B\", 4 x 2 cells\n"
              "out.asm: read as assembler text in the syntax of pasmo, z80asm, sjasmplus, rasm or "
              "z88dk\n"
              "total: 8 records\n"
              "legend: an output holds no sprite colours, so sprites are drawn in bright white ink "
              "on black paper (a column whose ink a conversion takes from the record's colour, in "
              "that colour), their transparent pixels as a grey checkerboard\n");
    PictureFacts facts;
    const auto stores = test::fresh_stores();
    const std::string png = test::read_file(dir / "preview.png");
    ASSERT_TRUE(
        read_picture(*test::reader_over(png), test::picture_scratch(), stores->grid, facts).taken);
    EXPECT_EQ(facts.width, 512);
    EXPECT_EQ(picture_rows(facts), 256);
}

// The preview of an output shows, inside each record's frame, the very
// colours of the view's picture: nothing in it is marked as changed, there
// being no picture to change from. Blocks and a tile table only, whose
// pixels (unlike a sprite's transparent ones) the view holds as shown.
TEST(FromOutputRun, ShowsTheViewInsideTheFrames) {
    test::TempDir dir;
    fs::copy_file(test::SOURCE_DIR / "examples" / "testpic.bmp", dir / "testpic.bmp");
    const std::vector<std::array<int, 4>> boxes{
        {0, 0, 8, 8}, {8, 0, 8, 8}, {16, 0, 16, 8}, {0, 16, 32, 16}, {32, 16, 32, 16}};
    test::write_file(dir / "list.txt", "smiley=B,0,0,8,8,7\nheart=B,8,0,8,8,7\n"
                                       "font=T,16,0,16,8,7\nwall=B,0,16,32,16,7\n"
                                       "scene=B,32,16,32,16,7\n");
    ASSERT_EQ(test::run_kelvora(dir.path(), {"testpic.bmp", "list.txt", "out.asm"}).status, 0);
    const test::Run run =
        test::run_preview(dir.path(), {"--from", "--scale", "1", "out.asm", "list.txt",
                                       "preview.png", "--picture", "view.png"});
    ASSERT_EQ(run.status, 0) << run.out << run.err;
    const View view = load_view(dir / "view.png");
    const auto stores = test::fresh_stores();
    PictureFacts facts;
    const std::string bytes = test::read_file(dir / "preview.png");
    ASSERT_TRUE(
        read_picture(*test::reader_over(bytes), test::picture_scratch(), stores->grid, facts)
            .taken);
    ASSERT_TRUE(facts.indexed);
    ASSERT_EQ(facts.width, view.width);
    int compared = 0;
    for (const auto& [left, top, width, height] : boxes) {
        for (int y = top + 1; y < top + height - 1; ++y) {
            for (int x = left + 1; x < left + width - 1; ++x) {
                EXPECT_EQ(facts.palette[stores->grid.at(x, y)], display_colour(view.at(x, y)))
                    << x << "," << y;
                compared += view.at(x, y) != 0 ? 1 : 0;
            }
        }
    }
    EXPECT_GT(compared, 100); // colours other than black, which a mark would change
}

// A preview of an output that does not hold what the list gives is not
// written: the earlier file stays, and the run says where they part.
TEST(FromOutputRun, WritesNothingForAnOutputOfAnotherList) {
    test::TempDir dir;
    fs::copy_file(FROM_CHECKS / "another-label.asm", dir / "out.asm");
    fs::copy_file(FROM_CHECKS / "another-label.txt", dir / "list.txt");
    test::write_file(dir / "preview.png", "earlier");
    test::write_file(dir / "view.png", "earlier");
    const test::Run run = test::run_preview(
        dir.path(), {"--from", "out.asm", "list.txt", "preview.png", "--picture", "view.png"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "logo: block \"B\", 2 x 1 cells\n"
                       "font: tile table \"T\", 2 x 1 cells\n"
                       "out.asm:7: error: the label \"title\" is not the list's \"font\"\n"
                       "ship: sprite \"S\", 1 cell x 8 rows\n");
    EXPECT_EQ(run.err, "kelvora-preview: can't preview out.asm: it does not hold what the list "
                       "gives (see above); nothing written\n");
    EXPECT_EQ(test::read_file(dir / "preview.png"), "earlier");
    EXPECT_EQ(test::read_file(dir / "view.png"), "earlier");
}

// The syntax is told from the first line with content however far into
// the output it is: here past a first block of a comment, or of blank
// lines; a line that tells none is refused, not guessed at.
TEST(FromOutputRun, TellsTheSyntaxPastALongStart) {
    test::TempDir dir;
    fs::copy_file(FROM_CHECKS / "pasmo-is-told.txt", dir / "list.txt");
    const std::string output = test::read_file(FROM_CHECKS / "pasmo-is-told.asm");
    std::string comment(100000, 'c');
    comment.front() = ';';
    comment.back() = '\n';
    const std::string blank(100000, '\n');
    test::write_file(dir / "comment.asm", comment.append(output));
    test::write_file(dir / "blank.asm", blank + output);
    test::write_file(dir / "unknown.asm", blank + std::string("what\n").append(output));
    for (const char* name : {"comment.asm", "blank.asm"}) {
        const test::Run run =
            test::run_preview(dir.path(), {"--check", "--from", name, "list.txt"});
        EXPECT_EQ(run.status, 0) << name;
        EXPECT_EQ(run.out, "") << name;
    }
    const test::Run unknown =
        test::run_preview(dir.path(), {"--check", "--from", "unknown.asm", "list.txt"});
    EXPECT_EQ(unknown.out, "unknown.asm:100001: error: the output starts in no form kelvora "
                           "writes; name its syntax with --assembler: \"what\"\n");
}

// An output of any size is read in the same memory: here 100 MB of lines
// after the last record, and comments of 100 MB, on a line of their own
// and after a label.
TEST(FromOutputRun, ReadsAHugeOutputInBoundedMemory) {
    test::TempDir dir;
    fs::copy_file(FROM_CHECKS / "another-label.txt", dir / "list.txt");
    const std::string output = test::read_file(FROM_CHECKS / "comments-and-blank-lines-agree.asm");
    const std::string title = "; the title";
    ASSERT_NE(output.find(title), std::string::npos);
    {
        // Let go of before the runs, whose peak memory counts the tests'
        // own until they start.
        const std::string lines = test::repeat("\tdb 0x00\n", 1 << 16);
        const std::string comment(50 << 20, 'c');
        std::ofstream long_lines(dir / "lines.asm", std::ios::binary);
        long_lines << output;
        for (int i = 0; i < 180; ++i) {
            long_lines << lines;
        }
        std::ofstream long_comments(dir / "comments.asm", std::ios::binary);
        long_comments << ";" << comment << "\n"
                      << output.substr(0, output.find(title) + title.size()) << comment
                      << output.substr(output.find(title) + title.size());
    }
    const test::Run extra =
        test::run_preview(dir.path(), {"--check", "--from", "lines.asm", "list.txt"});
    EXPECT_EQ(extra.out, "lines.asm:27: error: \"ship\": the output has 11796490 byte lines and 0 "
                         "fill lines for it, where the list's record (a sprite) gives 10 and 0: 2 "
                         "size bytes, then 1 band of 8 lines of 2 bytes; they part from this line "
                         "on\n");
    const test::Run commented =
        test::run_preview(dir.path(), {"--check", "--from", "comments.asm", "list.txt"});
    EXPECT_EQ(commented.status, 0) << commented.out;
    // The peak memory of a run counts the tests' own until it starts, so
    // each is held against a run on the small output.
    test::write_file(dir / "small.asm", output);
    const test::Run small =
        test::run_preview(dir.path(), {"--check", "--from", "small.asm", "list.txt"});
    EXPECT_LT(extra.max_rss_kib - small.max_rss_kib, 1024);
    EXPECT_LT(commented.max_rss_kib - small.max_rss_kib, 1024);
}

} // namespace
} // namespace kelvora
