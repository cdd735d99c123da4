// Hostile input through the real program: the largest picture with a very
// long list in bounded memory, numbers at and beyond the signed 32-bit range,
// tokens at the 79-character limit, endless comments, and pictures that are
// FIFOs or empty files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

extern char** environ;

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::convert;
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

const std::string LOGO = "logo=B,0,0,16,8,7\n";
const std::string LOGO_OUTPUT = "logo\n\tdb 0x02\n\tdb 0x01\n" + LEFT_CELL + RIGHT_CELL;

std::string outside(const std::string& name) {
    return "can't convert " + name + ": outside the 1024x1024 picture area\n";
}

// Numbers are read modulo 2^32: each wrapped form must convert exactly like
// the plain one, whatever the kind.
TEST(Limits, NumbersThatWrapThroughTwoToThe32ConvertAsTheirRemainder) {
    struct Case {
        std::string wrapped;
        std::string plain;
    };
    const std::vector<Case> cases = {
        {"4294967296,4294967296,4294967312,4294967304,4294967303", "0,0,16,8,7"},
        {"8589934600,4294967296,4294967304,12884901904,263", "8,0,8,16,7"},
        {"99999999999,0,8,8,7", "1215752191,0,8,8,7"}, // outside either way
        {"0,0,4294967312,4294967552,7", "0,0,16,256,7"},
    };
    for (const Case& c : cases) {
        for (const std::string kind : {"B", "T", "S", "s"}) {
            const Result wrapped = convert(logo_picture(8), "r=" + kind + "," + c.wrapped + "\n");
            const Result plain = convert(logo_picture(8), "r=" + kind + "," + c.plain + "\n");
            EXPECT_FALSE(plain.output.empty() && plain.messages.empty()) << c.plain;
            EXPECT_EQ(wrapped.output, plain.output) << kind << " " << c.wrapped;
            EXPECT_EQ(wrapped.messages, plain.messages) << kind << " " << c.wrapped;
        }
    }
}

// Coordinates and sizes at the signed 32-bit extremes, where a sum such as
// x + width would overflow 32 bits. Each record sits between two good ones,
// which must convert as usual.
TEST(Limits, SignedExtremesFollowTheOutsideRule) {
    struct Case {
        const char* what;
        std::string record;
        std::string output; // "" with a message: the record is outside
    };
    const std::string sprite_header = "\tdb 0x01\n\tdb 0x00\n";
    const std::vector<Case> cases = {
        {"x + width past 2^31", "n=B,2147483640,0,16,8,7", ""},
        {"largest x, largest width", "n=S,2147483647,0,2147483647,8,7", ""},
        {"largest y", "n=T,0,2147483647,8,8,7", ""},
        {"y + height past 2^31", "n=S,0,1016,8,2147483647,7", ""},
        {"smallest x", "n=B,2147483648,0,8,8,7", ""},
        {"smallest y", "n=s,0,2147483648,8,8,7", ""},
        {"width 0 sprite at the largest x", "n=S,2147483647,0,0,8,7", ""},
        {"smallest height: nothing is encoded", "n=S,0,0,8,2147483648,7", "n\n" + sprite_header},
        {"smallest width: bands of no cells", "n=B,0,0,2147483648,8,7",
         "n\n\tdb 0x00\n\tdb 0x01\n"},
        {"smallest width and height", "n=T,2147483648,2147483648,2147483648,2147483648,7",
         "\tds (-$)&0xff\nn\n"},
        // Bands of no cells touch no store wherever they lie; a tile table
        // still writes a fill line for each.
        {"width 0 tile table above the grid", "n=T,0,4294967288,0,16,7",
         "\tds (-$)&0xff\nn\n\tds 0x00\n\tds 0x00\n"},
        {"width -8 block below the grid", "n=B,2147483647,1024,4294967288,16,7",
         "n\n\tdb 0xff\n\tdb 0x02\n"},
    };
    for (const Case& c : cases) {
        const Result result = convert(logo_picture(8), LOGO + c.record + "\n" + LOGO);
        EXPECT_EQ(result.output, LOGO_OUTPUT + c.output + LOGO_OUTPUT) << c.what;
        EXPECT_EQ(result.messages, c.output.empty() ? outside("n") : "") << c.what;
    }
}

// A token keeps 79 characters; the 80th byte is lost and what follows is read
// as the next field, so the rest of the line shifts by one field.
TEST(Limits, NamesAndKindsAtTheTokenLimit) {
    const std::string name79(79, 'n');
    const std::string empty_sprite = "\n\tdb 0x00\n\tdb 0x00\n";
    struct Case {
        const char* what;
        std::string list;
        std::string output;
    };
    const std::vector<Case> cases = {
        {"name of 79", name79 + "=B,0,0,16,8,7\n",
         name79 + "\n\tdb 0x02\n\tdb 0x01\n" + LEFT_CELL + RIGHT_CELL},
        // The "=" is lost: the kind is empty, x reads the "B", y the ",", and
        // the fields shift on until "8" is left over as the next record's name.
        {"name of 80", name79 + "x=B,0,0,16,8,7\n", name79 + empty_sprite + "8" + empty_sprite},
        // Characters 81 on are the kind token, here a tile table of width 0
        // and height 0; "=" ends it and the fields shift as above.
        {"name of 100", name79 + "x" + std::string(20, 'T') + "=B,0,0,16,8,7\n",
         "\tds (-$)&0xff\n" + name79 + "\n8" + empty_sprite},
        {"kind of 79", "k=" + std::string(79, 'B') + ",0,0,16,8,7\n",
         "k\n\tdb 0x02\n\tdb 0x01\n" + LEFT_CELL + RIGHT_CELL},
        // The kind's "," is lost: x reads the "," as 0, so width 0, height 16
        // and colour 8, and "7" is left over as the next record's name.
        {"kind of 80", "k=" + std::string(80, 'T') + ",0,0,16,8,7\n",
         "\tds (-$)&0xff\nk\n\tds 0x00\n\tds 0x00\n7" + empty_sprite},
    };
    for (const Case& c : cases) {
        const Result result = convert(logo_picture(8), c.list);
        EXPECT_EQ(result.output, c.output) << c.what;
        EXPECT_EQ(result.messages, "") << c.what;
    }
}

TEST(Limits, ListThatIsOneEndlessCommentGivesAnEmptyOutput) {
    // Semicolons reopen the comment at each 79-character cut, so it never ends.
    const Result result = convert(logo_picture(8), std::string(4 << 20, ';'));
    EXPECT_EQ(result.output, "");
    EXPECT_EQ(result.messages, "");
}

// Feeds `bytes` into the FIFO from another thread, as a pipe from another
// program would. The writer gives up if nobody opens the FIFO.
class FifoWriter {
  public:
    FifoWriter(const fs::path& fifo, std::string bytes)
        : thread_([fifo, bytes = std::move(bytes)] {
              // The open blocks until kelvora opens the other end.
              const int fd = open(fifo.c_str(), O_WRONLY);
              if (fd < 0) {
                  return;
              }
              std::size_t done = 0;
              while (done < bytes.size()) {
                  const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
                  if (wrote <= 0) {
                      break;
                  }
                  done += static_cast<std::size_t>(wrote);
              }
              close(fd);
          }),
          fifo_(fifo) {}
    ~FifoWriter() {
        // Should kelvora not have opened the FIFO, open it here so the
        // writer's open returns and the thread can end.
        const int fd = open(fifo_.c_str(), O_RDONLY | O_NONBLOCK);
        thread_.join();
        if (fd >= 0) {
            close(fd);
        }
    }
    FifoWriter(const FifoWriter&) = delete;
    FifoWriter& operator=(const FifoWriter&) = delete;

  private:
    std::thread thread_;
    fs::path fifo_;
};

TEST(Limits, PictureFromAFifoConvertsLikeAFile) {
    TempDir dir;
    write_file(dir / "list.txt", LOGO);
    ASSERT_EQ(mkfifo((dir / "pic.fifo").c_str(), 0600), 0);
    std::string messages;
    {
        FifoWriter writer(dir / "pic.fifo", logo_picture(8));
        messages = run_kelvora(dir.path(), "pic.fifo list.txt out.asm");
    }
    EXPECT_EQ(messages, "");
    EXPECT_EQ(read_file(dir / "out.asm"), LOGO_OUTPUT);
}

TEST(Limits, EmptyPictureIsSilentAndCreatesNoOutput) {
    TempDir dir;
    write_file(dir / "list.txt", LOGO);
    write_file(dir / "empty.bmp", "");
    ASSERT_EQ(mkfifo((dir / "empty.fifo").c_str(), 0600), 0);
    EXPECT_EQ(run_kelvora(dir.path(), "empty.bmp list.txt out.asm"), "");
    {
        FifoWriter writer(dir / "empty.fifo", "");
        EXPECT_EQ(run_kelvora(dir.path(), "empty.fifo list.txt out.asm"), "");
    }
    EXPECT_FALSE(fs::exists(dir / "out.asm"));
}

struct Spawned {
    int status;
    long max_rss_kib;
};

// Runs kelvora in `directory` with its standard output in `messages`, and
// reports the largest resident size of that one process.
Spawned spawn_kelvora(const fs::path& directory, std::vector<std::string> arguments,
                      const fs::path& messages) {
    arguments.insert(arguments.begin(), KELVORA_BINARY);
    for (std::string& argument : arguments) {
        if (argument.front() != '/') {
            argument = (directory / argument).string();
        }
    }
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, messages.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        return {-1, 0};
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss};
}

// The largest picture with a list of 100,000 records: the output is the
// 1,000-record output a hundred times over, and the process needs no more
// memory for it than for the 1,000 records.
TEST(Limits, HundredThousandRecordsInBoundedMemory) {
    TempDir dir;
    write_file(dir / "big.bmp", make_bmp({1024, 1024, 8}, [](int x, int y) {
                   return static_cast<std::uint8_t>((x / 3 + y / 5 + (x ^ y) / 64) % 16);
               }));
    std::string thousand;
    for (int i = 0; i < 1000; ++i) {
        char line[96];
        std::snprintf(line, sizeof line, "r%d=%c,%d,%d,%d,%d,%d\n", i, "BTSs"[i % 4],
                      8 * (i * 7 % 125), 8 * (i * 13 % 125), 8 + 8 * (i % 2), 8 + 8 * (i / 2 % 2),
                      i % 16);
        thousand += line;
    }
    write_file(dir / "thousand.txt", thousand);
    write_file(dir / "many.txt", repeat(thousand, 100));

    const Spawned small =
        spawn_kelvora(dir.path(), {"big.bmp", "thousand.txt", "thousand.asm"}, dir / "small.out");
    const Spawned large =
        spawn_kelvora(dir.path(), {"big.bmp", "many.txt", "many.asm"}, dir / "large.out");
    ASSERT_EQ(small.status, 0);
    ASSERT_EQ(large.status, 0);
    EXPECT_EQ(read_file(dir / "small.out"), "");
    EXPECT_EQ(read_file(dir / "large.out"), "");

    const std::string thousand_output = read_file(dir / "thousand.asm");
    ASSERT_GT(thousand_output.size(), 50000u);
    // Compared in place: a second 100-fold string would double the test's own memory.
    const std::string many_output = read_file(dir / "many.asm");
    ASSERT_EQ(many_output.size(), 100 * thousand_output.size());
    for (std::size_t i = 0; i < 100; ++i) {
        ASSERT_EQ(many_output.compare(i * thousand_output.size(), thousand_output.size(),
                                      thousand_output),
                  0)
            << "copy " << i;
    }
    // The output alone is over 100 times larger; a process that kept records
    // or output would grow by megabytes.
    EXPECT_LT(large.max_rss_kib - small.max_rss_kib, 1024)
        << small.max_rss_kib << " KiB for 1,000 records, " << large.max_rss_kib << " for 100,000";
}

} // namespace
} // namespace kelvora
