// Hostile input through the real program that is not a plain case of
// tests/cases: the largest picture with a very long list in bounded memory,
// endless comments, and pictures that are FIFOs.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

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
        messages = run_kelvora(dir.path(), {"pic.fifo", "list.txt", "out.asm"}).out;
    }
    EXPECT_EQ(messages, "");
    EXPECT_EQ(read_file(dir / "out.asm"), LOGO_OUTPUT);
}

TEST(Limits, EmptyPictureFromAFifoCreatesNoOutput) {
    TempDir dir;
    write_file(dir / "list.txt", LOGO);
    ASSERT_EQ(mkfifo((dir / "empty.fifo").c_str(), 0600), 0);
    {
        FifoWriter writer(dir / "empty.fifo", "");
        EXPECT_EQ(run_kelvora(dir.path(), {"empty.fifo", "list.txt", "out.asm"}).out,
                  "can't read empty.fifo: the file ends after 0 bytes, inside its header; save "
                  "the picture again as a BMP or PNG\n");
    }
    EXPECT_FALSE(fs::exists(dir / "out.asm"));
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

    const test::Run small = run_kelvora(dir.path(), {"big.bmp", "thousand.txt", "thousand.asm"});
    const test::Run large = run_kelvora(dir.path(), {"big.bmp", "many.txt", "many.asm"});
    ASSERT_EQ(small.status, 0);
    ASSERT_EQ(large.status, 0);
    EXPECT_EQ(small.out, "");
    EXPECT_EQ(large.out, "");

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
