// The real kelvora binary in a temporary directory: arguments, messages, and
// which files exist afterwards.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <utility>

#include "test_support.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::make_bmp;
using test::read_file;
using test::run_kelvora;
using test::TempDir;
using test::write_file;
using Args = std::vector<std::string>;

const std::string USAGE = "Kelvora\n\tkelvora.exe file.bmp file.txt file.asm\n";
const std::string LIST = "a=B,0,0,8,8,7\n";
const std::string ASM = "a\n\tdb 0x01\n\tdb 0x01\n"
                        "\tdb 0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x47\n";

std::string good_picture() {
    return make_bmp({8, 8, 4}, [](int, int) { return 0; });
}

// A directory holding a picture and a list under the given names.
struct Workspace {
    TempDir dir;
    explicit Workspace(const std::string& picture = "pic.bmp",
                       const std::string& list = "list.txt") {
        write_file(dir / picture, good_picture());
        write_file(dir / list, LIST);
    }
    std::string run(const Args& arguments, int* status = nullptr) const {
        const test::Run run = run_kelvora(dir.path(), arguments);
        if (status != nullptr) {
            *status = run.status;
        }
        return run.out;
    }
};

TEST(CommandLine, NoArgumentsWithoutDefaultFiles) {
    TempDir dir;
    const test::Run run = run_kelvora(dir.path(), Args{});
    EXPECT_EQ(run.out, USAGE + "can't open testpic.bmp");
    EXPECT_EQ(run.status, 0);
    EXPECT_FALSE(fs::exists(dir / "testpic.asm"));
}

TEST(CommandLine, FewerThanThreeArgumentsUseTheDefaults) {
    for (const Args& args : {Args{}, Args{"pic.bmp"}, Args{"pic.bmp", "list.txt"}}) {
        Workspace w("testpic.bmp", "testpic.txt");
        int status = -1;
        EXPECT_EQ(w.run(args, &status), USAGE) << args.size();
        EXPECT_EQ(status, 0);
        EXPECT_EQ(read_file(w.dir / "testpic.asm"), ASM) << args.size();
    }
}

TEST(CommandLine, ExtraArgumentsAreIgnored) {
    Workspace w;
    EXPECT_EQ(w.run(Args{"pic.bmp", "list.txt", "out.asm", "more", "and-more"}), "");
    EXPECT_EQ(read_file(w.dir / "out.asm"), ASM);
    EXPECT_FALSE(fs::exists(w.dir / "more"));
}

TEST(CommandLine, MissingPictureCreatesNothing) {
    Workspace w;
    int status = -1;
    EXPECT_EQ(w.run(Args{"nothere.bmp", "list.txt", "out.asm"}, &status), "can't open nothere.bmp");
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(fs::exists(w.dir / "out.asm"));
}

TEST(CommandLine, RefusedPictureSaysWhyAndLeavesTheOutput) {
    Workspace w;
    write_file(w.dir / "wide.bmp", make_bmp({12, 8, 8}, [](int, int) { return 1; }));
    write_file(w.dir / "out.asm", "earlier run\n");
    int status = -1;
    EXPECT_EQ(w.run(Args{"wide.bmp", "list.txt", "out.asm"}, &status),
              "can't read wide.bmp: 12 pixels wide; width and height must be multiples of 8, at "
              "most 1024\n");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_file(w.dir / "out.asm"), "earlier run\n");
}

TEST(CommandLine, MissingListLeavesTheOutputUntouched) {
    Workspace w;
    write_file(w.dir / "out.asm", "earlier run\n");
    EXPECT_EQ(w.run(Args{"pic.bmp", "nolist.txt", "out.asm"}), "can't open nolist.txt");
    EXPECT_EQ(read_file(w.dir / "out.asm"), "earlier run\n");
    EXPECT_EQ(w.run(Args{"pic.bmp", "nolist.txt", "new.asm"}), "can't open nolist.txt");
    EXPECT_FALSE(fs::exists(w.dir / "new.asm"));
}

TEST(CommandLine, OutputThatCannotBeOpened) {
    Workspace w;
    fs::create_directory(w.dir / "sub");
    const std::string cases[] = {"missing/out.asm", "sub"};
    for (const std::string& output : cases) {
        int status = -1;
        EXPECT_EQ(w.run(Args{"pic.bmp", "list.txt", output}, &status), "can't open " + output);
        EXPECT_EQ(status, 0);
    }
    EXPECT_EQ(read_file(w.dir / "list.txt"), LIST);
}

TEST(CommandLine, DirectoriesAsInputsCannotBeOpened) {
    Workspace w;
    fs::create_directory(w.dir / "sub");
    EXPECT_EQ(w.run(Args{"sub", "list.txt", "out.asm"}), "can't open sub");
    EXPECT_EQ(w.run(Args{"pic.bmp", "sub", "out.asm"}), "can't open sub");
    EXPECT_FALSE(fs::exists(w.dir / "out.asm"));
}

TEST(CommandLine, UsageThenMessageOnTheNextLine) {
    TempDir dir;
    write_file(dir / "testpic.bmp", good_picture());
    EXPECT_EQ(run_kelvora(dir.path(), Args{}).out, USAGE + "can't open testpic.txt");
}

TEST(CommandLine, EmptyListGivesAnEmptyOutput) {
    Workspace w;
    write_file(w.dir / "empty.txt", "");
    write_file(w.dir / "out.asm", "earlier run\n");
    EXPECT_EQ(w.run(Args{"pic.bmp", "empty.txt", "out.asm"}), "");
    ASSERT_TRUE(fs::exists(w.dir / "out.asm"));
    EXPECT_EQ(fs::file_size(w.dir / "out.asm"), 0u);
}

TEST(CommandLine, OutputThatIsAnInputIsRefused) {
    Workspace w;
    fs::create_directory(w.dir / "sub");
    fs::create_hard_link(w.dir / "list.txt", w.dir / "hard.txt");
    fs::create_symlink("list.txt", w.dir / "soft.txt");
    fs::create_symlink("../pic.bmp", w.dir / "sub" / "soft.bmp");
    const std::string outputs[] = {"list.txt", "./list.txt", "sub/../list.txt", "hard.txt",
                                   "soft.txt", "pic.bmp",    "sub/soft.bmp"};
    const std::string picture = read_file(w.dir / "pic.bmp");
    for (const std::string& output : outputs) {
        int status = -1;
        EXPECT_EQ(w.run(Args{"pic.bmp", "list.txt", output}, &status),
                  "can't write " + output + ": it is also an input\n");
        EXPECT_EQ(status, 0);
        EXPECT_EQ(read_file(w.dir / "list.txt"), LIST) << output;
        EXPECT_EQ(read_file(w.dir / "pic.bmp"), picture) << output;
    }
    // The same list under an absolute name as well.
    const std::string absolute = (w.dir / "list.txt").string();
    EXPECT_EQ(w.run(Args{"pic.bmp", "list.txt", absolute}),
              "can't write " + absolute + ": it is also an input\n");
}

TEST(CommandLine, DevicesAreWrittenAsUsual) {
    Workspace w;
    EXPECT_EQ(w.run(Args{"pic.bmp", "list.txt", "/dev/null"}), "");
}

TEST(CommandLine, WriteErrorIsReportedOnce) {
    if (!fs::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full here";
    }
    Workspace w;
    int status = -1;
    EXPECT_EQ(w.run(Args{"pic.bmp", "list.txt", "/dev/full"}, &status), "can't write /dev/full\n");
    EXPECT_EQ(status, 0);

    // A long output fails in the middle of the run; still one message.
    std::string list;
    for (int i = 0; i < 5000; ++i) {
        list += "r";
        list += std::to_string(i);
        list += "=S,0,0,8,8,7\n";
    }
    write_file(w.dir / "long.txt", list);
    EXPECT_EQ(w.run(Args{"pic.bmp", "long.txt", "/dev/full"}), "can't write /dev/full\n");
}

const std::string USAGE_LINE =
    "usage: kelvora [--assembler gnu|pasmo|z80asm|sdas|sdcc|sjasmplus|rasm|z88dk] [--header FILE.h "
    "| --binary [--symbols FILE]] PICTURE LIST OUTPUT\n";

TEST(CommandLine, HelpAndVersionConvertNothing) {
    Workspace w("testpic.bmp", "testpic.txt");
    int status = -1;
    for (const char* help : {"--help", "-h"}) {
        EXPECT_EQ(w.run(Args{help}, &status).rfind(USAGE_LINE, 0), 0u) << help;
        EXPECT_EQ(status, 0);
    }
    EXPECT_EQ(
        w.run(Args{"--version", "pic.bmp", "list.txt", "out.asm"}, &status).rfind("kelvora ", 0),
        0u);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(fs::exists(w.dir / "testpic.asm"));
    EXPECT_FALSE(fs::exists(w.dir / "out.asm"));
}

TEST(CommandLine, WrongOptionsConvertNothingAndExitWith2) {
    const std::pair<Args, std::string> cases[] = {
        {{"--bogus", "pic.bmp", "list.txt", "out.asm"}, "kelvora: unknown option --bogus\n"},
        {{"-x", "pic.bmp", "list.txt", "out.asm"}, "kelvora: unknown option -x\n"},
        {{"--assembler", "masm", "pic.bmp", "list.txt", "out.asm"},
         "kelvora: unknown assembler masm\n"},
        {{"--assembler=GNU", "pic.bmp", "list.txt", "out.asm"}, "kelvora: unknown assembler GNU\n"},
        {{"--assembler"}, "kelvora: --assembler wants a name\n"},
        {{"--assembler", "gnu", "pic.bmp", "list.txt"}, "kelvora: three names are needed\n"},
        {{"--"}, "kelvora: three names are needed\n"},
        // After a name only a word that starts with "--" is an option.
        {{"pic.bmp", "list.txt", "out.asm", "--bogus"}, "kelvora: unknown option --bogus\n"},
        {{"pic.bmp", "list.txt", "--assembler", "gnu"}, "kelvora: three names are needed\n"},
        {{"pic.bmp", "list.txt", "out.asm", "--assembler"}, "kelvora: --assembler wants a name\n"},
        {{"--header", "h.h", "pic.bmp", "list.txt", "out.asm"},
         "kelvora: --header goes with --assembler sdcc, and not with --binary\n"},
        {{"--assembler", "sdcc", "--binary", "--header", "h.h", "pic.bmp", "list.txt", "out.asm"},
         "kelvora: --header goes with --assembler sdcc, and not with --binary\n"},
        {{"--symbols", "s.sym", "pic.bmp", "list.txt", "out.asm"},
         "kelvora: --symbols goes with --binary\n"},
    };
    for (const auto& [args, message] : cases) {
        Workspace w("testpic.bmp", "testpic.txt");
        int status = -1;
        EXPECT_EQ(w.run(args, &status), message + USAGE_LINE) << args[0];
        EXPECT_EQ(status, 2) << args[0];
        EXPECT_FALSE(fs::exists(w.dir / "out.asm")) << args[0];
        EXPECT_FALSE(fs::exists(w.dir / "testpic.asm")) << args[0];
    }
}

TEST(CommandLine, AssemblerOptionChangesOnlyTheSpellings) {
    Workspace w;
    write_file(w.dir / "-pic.bmp", good_picture());
    const std::string label_and_sizes = "a:\n\tdb 0x01\n\tdb 0x01\n";
    const std::string cell = "0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x47\n";
    const std::string colons = label_and_sizes + "\tdb " + cell; // pasmo's and z80asm's
    const std::string gnu = "\t.global a\n" + colons;
    const struct {
        Args args;
        std::string file;
        std::string output;
    } cases[] = {
        {{"--assembler", "gnu", "pic.bmp", "list.txt", "out.asm"}, "out.asm", gnu},
        {{"--assembler=sdas", "pic.bmp", "list.txt", "out.asm", "ignored"},
         "out.asm",
         "a::\n\t.db 0x01\n\t.db 0x01\n\t.db " + cell},
        {{"--assembler", "sdcc", "pic.bmp", "list.txt", "out.asm"},
         "out.asm",
         "\t.area _KELVORA\n_a::\n\t.db 0x01\n\t.db 0x01\n\t.db " + cell},
        // "--" ends the options, for a name that starts with "-".
        {{"--assembler", "pasmo", "--", "-pic.bmp", "list.txt", "out.asm"}, "out.asm", colons},
        {{"--", "-pic.bmp", "list.txt", "out.asm"}, "out.asm", ASM},
        // The last one counts.
        {{"--assembler", "sdas", "--assembler", "z80asm", "pic.bmp", "list.txt", "out.asm"},
         "out.asm",
         colons},
        // After the first name, a word with one "-" is a name, and options
        // may come between the names.
        {{"pic.bmp", "list.txt", "-o3.asm", "--assembler", "gnu"}, "-o3.asm", gnu},
        {{"pic.bmp", "--assembler=gnu", "list.txt", "out.asm", "-x"}, "out.asm", gnu},
    };
    for (const auto& c : cases) {
        int status = -1;
        EXPECT_EQ(w.run(c.args, &status), "") << c.args[1];
        EXPECT_EQ(status, 0);
        EXPECT_EQ(read_file(w.dir / c.file), c.output) << c.args[1];
        fs::remove(w.dir / c.file);
    }
}

} // namespace
} // namespace kelvora
