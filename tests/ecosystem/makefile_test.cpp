// The makefile recipe of the examples (examples/Makefile), run with make in a
// copy of the example folder: it converts every sheet there, remakes when any
// input changes, checks first when kelvora-preview is there, and fails the
// build, with no output left, where kelvora's exit status would not.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::read_file;
using test::TempDir;

const fs::path EXAMPLES = test::SOURCE_DIR / "examples";

// A copy of the example folder with its own kelvora, all files two hours old
// and the output, once made, one hour old.
class ExampleFolder {
  public:
    ExampleFolder() {
        for (const char* name : {"Makefile", "testpic.bmp", "testpic.txt"}) {
            fs::copy_file(EXAMPLES / name, dir_ / name);
        }
        fs::copy_file(KELVORA_BINARY, dir_ / "kelvora");
        for (const char* name : {"Makefile", "testpic.bmp", "testpic.txt", "kelvora"}) {
            fs::last_write_time(dir_ / name, base_ - 2h);
        }
    }
    const fs::path& path() const { return dir_.path(); }
    fs::path operator/(const std::string& name) const { return dir_ / name; }
    // The output an hour old, and the options it was made with older still.
    void age_output() {
        fs::last_write_time(dir_ / "out/.options", base_ - 2h);
        fs::last_write_time(dir_ / "out/testpic.asm", base_ - 1h);
    }
    void add_checker() {
        fs::copy_file(PREVIEW_BINARY, dir_ / "kelvora-preview");
        fs::last_write_time(dir_ / "kelvora-preview", base_ - 2h);
    }
    void renew(const std::string& name) { fs::last_write_time(dir_ / name, base_ - 30min); }

  private:
    TempDir dir_;
    fs::file_time_type base_ = fs::file_time_type::clock::now();
};

struct MakeRun {
    int status;
    std::string output; // standard output and error together
};

MakeRun run_make(const fs::path& directory, const std::string& argument) {
    std::vector<std::string> argv{"make", "--no-print-directory", "KELVORA=./kelvora"};
    if (!argument.empty()) {
        argv.push_back(argument);
    }
    const test::Run run = test::run_program(directory, argv);
    return {run.status, run.out + run.err};
}

TEST(ExampleMakefile, ConvertsTheExampleAndThenHasNothingToDo) {
    ExampleFolder folder;
    const MakeRun first = run_make(folder.path(), "");
    EXPECT_EQ(first.status, 0) << first.output;
    EXPECT_EQ(first.output, "./kelvora testpic.bmp testpic.txt out/testpic.asm\n");
    EXPECT_EQ(read_file(folder / "out/testpic.asm"), read_file(EXAMPLES / "testpic.asm"));
    EXPECT_EQ(run_make(folder.path(), "--question").status, 0);
    // -B remakes the output, in its own folder, and leaves the sheet alone.
    EXPECT_EQ(run_make(folder.path(), "-B").status, 0);
    EXPECT_FALSE(fs::exists(folder / "testpic.asm"));
}

TEST(ExampleMakefile, RemakesWhenThePictureTheListOrKelvoraChanges) {
    for (const char* changed : {"testpic.bmp", "testpic.txt", "kelvora"}) {
        SCOPED_TRACE(changed);
        ExampleFolder folder;
        ASSERT_EQ(run_make(folder.path(), "").status, 0);
        folder.age_output();
        ASSERT_EQ(run_make(folder.path(), "--question").status, 0);
        folder.renew(changed);
        EXPECT_EQ(run_make(folder.path(), "--question").status, 1);
        const MakeRun again = run_make(folder.path(), "");
        EXPECT_EQ(again.status, 0) << again.output;
        EXPECT_EQ(again.output, "./kelvora testpic.bmp testpic.txt out/testpic.asm\n");
        EXPECT_GT(fs::last_write_time(folder / "out/testpic.asm"),
                  fs::last_write_time(folder / changed));
    }
}

TEST(ExampleMakefile, FailsTheBuildWhereKelvoraOnlyPrintsOrSaysNothing) {
    const struct {
        const char* what;
        std::string picture; // empty: keep the example's
        const char* list_tail;
        const char* expected_message;
    } cases[] = {
        {"a record outside the picture area", "", "far=B,1024,0,8,8,7\n",
         "can't convert far: outside the 1024x1024 picture area\n"},
        {"a picture kelvora refuses",
         test::make_bmp({12, 8, 8}, [](int, int) { return std::uint8_t{1}; }), "",
         "can't read testpic.bmp: 12 pixels wide; width and height must be multiples of 8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ExampleFolder folder;
        // An output from an earlier good run must not survive a failed one.
        ASSERT_EQ(run_make(folder.path(), "").status, 0);
        if (!c.picture.empty()) {
            test::write_file(folder / "testpic.bmp", c.picture);
        }
        test::write_file(folder / "testpic.txt", read_file(folder / "testpic.txt") + c.list_tail);
        const MakeRun failed = run_make(folder.path(), "");
        EXPECT_NE(failed.status, 0);
        EXPECT_NE(failed.output.find(c.expected_message), std::string::npos) << failed.output;
        EXPECT_FALSE(fs::exists(folder / "out/testpic.asm"));
    }
}

TEST(ExampleMakefile, ConvertsASheetDroppedIntoTheFolder) {
    ExampleFolder folder;
    test::write_file(folder / "sheet.png", test::make_png({16, 8, 3, 4}, [](int x, int) {
                         return test::PngPixel{std::uint16_t(x < 8 ? 2 : 4), 0, 0, 0};
                     }));
    test::write_file(folder / "sheet.txt", "logo=B,0,0,16,8,0\n");
    const MakeRun run = run_make(folder.path(), "");
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(read_file(folder / "out/sheet.asm"),
              "logo\n\tdb 0x02\n\tdb 0x01\n"
              "\tdb 0xff,0xff,0xff,0xff,0xff,0xff,0xff,0xff,0x02\n"
              "\tdb 0xff,0xff,0xff,0xff,0xff,0xff,0xff,0xff,0x04\n");
    EXPECT_EQ(read_file(folder / "out/testpic.asm"), read_file(EXAMPLES / "testpic.asm"));
}

TEST(ExampleMakefile, TheCheckerStopsTheBuildAtAnError) {
    ExampleFolder folder;
    folder.add_checker();
    ASSERT_EQ(run_make(folder.path(), "").status, 0) << "the example has notes, no error";
    test::write_file(folder / "testpic.txt",
                     read_file(folder / "testpic.txt") + "late=b,0,0,8,8,7\n");
    const MakeRun failed = run_make(folder.path(), "");
    EXPECT_NE(failed.status, 0);
    EXPECT_NE(failed.output.find("testpic.txt:10: error: the kind starts with \"b\""),
              std::string::npos)
        << failed.output;
    EXPECT_FALSE(fs::exists(folder / "out/testpic.asm"));
}

TEST(ExampleMakefile, StrictMakesNotesStopTheBuild) {
    ExampleFolder folder;
    folder.add_checker();
    const MakeRun failed = run_make(folder.path(), "STRICT=1");
    EXPECT_NE(failed.status, 0) << "the example has notes";
    EXPECT_NE(failed.output.find("--check --strict"), std::string::npos) << failed.output;
    EXPECT_FALSE(fs::exists(folder / "out/testpic.asm"));
}

TEST(ExampleMakefile, AssemblerGoesToBothPrograms) {
    ExampleFolder folder;
    folder.add_checker();
    const MakeRun made = run_make(folder.path(), "ASSEMBLER=sdas");
    EXPECT_EQ(made.status, 0) << made.output;
    // The checker's notes on the example stand between the two commands.
    EXPECT_EQ(made.output.rfind("./kelvora-preview --check --assembler sdas testpic.bmp "
                                "testpic.txt\n",
                                0),
              0u)
        << made.output;
    const std::string converted =
        "./kelvora --assembler sdas testpic.bmp testpic.txt out/testpic.asm\n";
    ASSERT_GE(made.output.size(), converted.size());
    EXPECT_EQ(made.output.substr(made.output.size() - converted.size()), converted);
    EXPECT_EQ(read_file(folder / "out/testpic.asm").rfind("smiley::\n\t.db 0x01\n", 0), 0u);
    // Another assembler, without -B, remakes it.
    EXPECT_EQ(run_make(folder.path(), "ASSEMBLER=pasmo").status, 0);
    EXPECT_EQ(read_file(folder / "out/testpic.asm").rfind("smiley:\n\tdb 0x01\n", 0), 0u);
    // The checker reports a label sdas reads as the location counter.
    test::write_file(folder / "testpic.txt", read_file(folder / "testpic.txt") + ".=B,0,0,8,8,7\n");
    const MakeRun failed = run_make(folder.path(), "ASSEMBLER=sdas");
    EXPECT_NE(failed.status, 0);
    EXPECT_NE(failed.output.find("testpic.txt:10: error: the label \".\" is the location "
                                 "counter's name in sdas"),
              std::string::npos)
        << failed.output;
    EXPECT_FALSE(fs::exists(folder / "out/testpic.asm"));
}

// The README's make block: the Makefile's recipe, as it stands there.
std::string readme_recipe() {
    const std::string readme = read_file(test::SOURCE_DIR / "README.md");
    const std::size_t start = readme.find("```make\n");
    const std::size_t end = readme.find("```\n", start + 8);
    return start == std::string::npos || end == std::string::npos
               ? ""
               : readme.substr(start + 8, end - start - 8);
}

TEST(ExampleMakefile, TheReadmeShowsTheRuleAsItIs) {
    // Every line of the README's make block stands in the Makefile, in order.
    std::istringstream block(readme_recipe());
    const std::string makefile = read_file(EXAMPLES / "Makefile");
    std::size_t position = 0;
    int lines = 0;
    for (std::string line; std::getline(block, line);) {
        if (line.empty()) {
            continue;
        }
        const std::size_t found = makefile.find("\n" + line + "\n", position);
        ASSERT_NE(found, std::string::npos) << line;
        position = found + line.size();
        ++lines;
    }
    EXPECT_GT(lines, 5);
}

TEST(ExampleMakefile, TheReadmeRecipeWorksOnItsOwn) {
    // Copied into a folder with a sheet and the programs, and nothing else.
    TempDir dir;
    test::write_file(dir / "Makefile", readme_recipe());
    for (const char* name : {"testpic.bmp", "testpic.txt"}) {
        fs::copy_file(EXAMPLES / name, dir / name);
    }
    fs::copy_file(KELVORA_BINARY, dir / "kelvora");
    fs::copy_file(PREVIEW_BINARY, dir / "kelvora-preview");
    const MakeRun made = run_make(dir.path(), "ASSEMBLER=pasmo");
    EXPECT_EQ(made.status, 0) << made.output;
    EXPECT_NE(made.output.find("./kelvora-preview --check --assembler pasmo"), std::string::npos)
        << made.output;
    EXPECT_EQ(read_file(dir / "out/testpic.asm").rfind("smiley:\n", 0), 0u);
}

} // namespace
} // namespace kelvora
