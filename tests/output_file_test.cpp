// Both programs' outputs under faults: a write that fails part-way, a run
// killed in the middle, inputs that fail to read, a reader that goes away, a
// symbolic link, and the output's name swapped for a link to the picture. The
// earlier output (or the picture) must come through byte for byte, or the
// new output be complete, and every failure be named.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

namespace kelvora {
namespace {

namespace fs = std::filesystem;
using test::read_file;
using test::RunOptions;
using test::write_file;
using Clock = std::chrono::steady_clock;

const std::string EARLIER = "earlier run\n";

struct Program {
    const char* name;
    const char* output;
    const char* long_list; // a list that keeps it writing for a while
    test::Run (*run)(const fs::path&, const std::vector<std::string>&, const RunOptions&);
    bool is_kelvora;
    // kelvora prints its failures on standard output, the preview on standard error.
    const std::string& messages(const test::Run& run) const {
        return is_kelvora ? run.out : run.err;
    }
};

// On a 512 x 512 picture of noise, kelvora writes 200 KB for each record,
// 80 MB for its long list; the preview writes a PNG of 480 KB.
const Program PROGRAMS[] = {{"kelvora", "out.asm", "long.txt", test::run_kelvora, true},
                            {"kelvora-preview", "out.png", "one.txt", test::run_preview, false}};

// A folder with the inputs and each program's earlier output.
struct Sheet {
    test::TempDir dir;
    Sheet() {
        write_file(dir / "pic.bmp", test::make_bmp({512, 512, 8}, [](int x, int y) {
                       const std::uint32_t mixed = (x * 73856093u ^ y * 19349663u) * 2654435761u;
                       return static_cast<std::uint8_t>(mixed >> 28);
                   }));
        write_file(dir / "one.txt", "a=B,0,0,512,512,7\n");
        write_file(dir / "long.txt", test::repeat("a=B,0,0,512,512,7\n", 400));
        for (const Program& program : PROGRAMS) {
            write_file(dir / program.output, EARLIER);
        }
    }
    std::size_t files() const {
        return static_cast<std::size_t>(
            std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator{}));
    }
};

RunOptions file_size_limit(std::uint64_t bytes) {
    RunOptions options;
    options.file_size_limit = bytes;
    return options;
}

// Sends the signal once the program has written `bytes` (as the kernel
// counts them), or after ten seconds.
RunOptions kill_after(long long bytes, int signal) {
    RunOptions options;
    options.while_running = [bytes, signal](pid_t pid) {
        const auto written = [pid] {
            std::ifstream io("/proc/" + std::to_string(pid) + "/io");
            std::string key;
            long long value = 0;
            while (io >> key >> value) {
                if (key == "wchar:") {
                    return value;
                }
            }
            return 0LL;
        };
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (written() < bytes && Clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        kill(pid, signal);
    };
    return options;
}

struct Fault {
    const char* what;
    const char* picture;
    const char* list;              // nullptr: the program's long list
    std::uint64_t file_size_limit; // 0: none
    int signal;                    // sent once 128 KB are written; 0: none
    std::string kelvora_messages;
    std::string preview_messages;
};

TEST(Output, EveryFailureLeavesTheEarlierOutput) {
    const std::string mem_error = "can't read /proc/self/mem: Input/output error\n";
    const std::vector<Fault> faults = {
        {"write fails part-way", "pic.bmp", "one.txt", 128 << 10, 0, "can't write out.asm\n",
         "kelvora-preview: can't write out.png: File too large\n"},
        // Reading /proc/self/mem from its start fails with EIO.
        {"list fails to read", "pic.bmp", "/proc/self/mem", 0, 0, mem_error,
         "kelvora-preview: can't read /proc/self/mem: Input/output error\n"},
        {"picture fails to read", "/proc/self/mem", "one.txt", 0, 0, mem_error,
         "kelvora-preview: " + mem_error},
        // Last, as a named temporary file may stay behind a killed run.
        {"killed", "pic.bmp", nullptr, 0, SIGKILL, "", ""},
        {"terminated", "pic.bmp", nullptr, 0, SIGTERM, "", ""},
    };
    Sheet sheet;
    const std::size_t files = sheet.files();
    for (const Fault& fault : faults) {
        for (const Program& program : PROGRAMS) {
            const char* list = fault.list != nullptr ? fault.list : program.long_list;
            const RunOptions options = fault.signal != 0 ? kill_after(128 << 10, fault.signal)
                                                         : file_size_limit(fault.file_size_limit);
            const test::Run run =
                program.run(sheet.dir.path(), {fault.picture, list, program.output}, options);
            const std::string where = std::string(program.name) + ", " + fault.what;
            if (fault.signal != 0) {
                EXPECT_EQ(run.status, 128 + fault.signal) << where << ": not killed mid-run";
            } else {
                EXPECT_EQ(program.messages(run),
                          program.is_kelvora ? fault.kelvora_messages : fault.preview_messages)
                    << where;
                EXPECT_EQ(run.status, program.is_kelvora ? 0 : 1) << where;
                EXPECT_EQ(sheet.files(), files) << where << ": the temporary file is left";
            }
            const std::string output = read_file(sheet.dir / program.output);
            EXPECT_TRUE(output == EARLIER) << where << ": " << output.size() << " other bytes";
        }
    }
}

TEST(Output, ReaderThatGoesAwayIsAFailedWrite) {
    Sheet sheet;
    const fs::path fifo_path = sheet.dir / "out.fifo";
    ASSERT_EQ(mkfifo(fifo_path.c_str(), 0600), 0);
    for (const Program& program : PROGRAMS) {
        // Open for reading and writing, the FIFO lets the program's open
        // return at once; closed after the first byte, it has no reader left.
        int fifo = open(fifo_path.c_str(), O_RDWR | O_CLOEXEC);
        ASSERT_GE(fifo, 0);
        RunOptions options;
        options.while_running = [&fifo](pid_t) {
            pollfd wait{fifo, POLLIN, 0};
            char byte = 0;
            if (poll(&wait, 1, 10000) == 1 && read(fifo, &byte, 1) == 1) {
                close(fifo);
                fifo = -1;
            }
        };
        const test::Run run =
            program.run(sheet.dir.path(), {"pic.bmp", "one.txt", "out.fifo"}, options);
        EXPECT_EQ(fifo, -1) << program.name << " wrote nothing";
        if (fifo >= 0) {
            close(fifo);
        }
        EXPECT_EQ(program.messages(run),
                  program.is_kelvora ? "can't write out.fifo\n"
                                     : "kelvora-preview: can't write out.fifo: Broken pipe\n");
        EXPECT_EQ(run.status, program.is_kelvora ? 0 : 1) << program.name;
    }
}

TEST(Output, SymbolicLinkKeepsItsLinkAndTheTargetItsMode) {
    Sheet sheet;
    fs::create_directory(sheet.dir / "sub");
    for (const Program& program : PROGRAMS) {
        const fs::path target = fs::path("sub") / program.output;
        const std::string link = std::string("link-") + program.output;
        write_file(sheet.dir / target, EARLIER);
        fs::permissions(sheet.dir / target, fs::perms(0640));
        fs::create_symlink(target, sheet.dir / link);

        // A failed write leaves both as they were.
        program.run(sheet.dir.path(), {"pic.bmp", "one.txt", link}, file_size_limit(128 << 10));
        EXPECT_TRUE(fs::is_symlink(sheet.dir / link)) << program.name;
        EXPECT_TRUE(read_file(sheet.dir / target) == EARLIER) << program.name;

        // A run that succeeds replaces the target, which keeps its mode.
        EXPECT_EQ(program.run(sheet.dir.path(), {"pic.bmp", "one.txt", link}, {}).status, 0);
        program.run(sheet.dir.path(), {"pic.bmp", "one.txt", program.output}, {});
        EXPECT_EQ(fs::read_symlink(sheet.dir / link), target) << program.name;
        EXPECT_TRUE(read_file(sheet.dir / target) == read_file(sheet.dir / program.output))
            << program.name;
        EXPECT_EQ(fs::status(sheet.dir / target).permissions(), fs::perms(0640)) << program.name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(sheet.dir / "sub"), fs::directory_iterator{}), 2)
        << "nothing left beside the targets";
}

TEST(Output, OutputSwappedForALinkToThePictureNeverWritesThePicture) {
    for (const Program& program : PROGRAMS) {
        test::TempDir dir;
        write_file(dir / "pic.bmp", test::logo_picture(8));
        write_file(dir / "list.txt", "logo=B,0,0,16,8,7\n");
        const std::string picture = read_file(dir / "pic.bmp");
        const std::string refused = std::string(program.is_kelvora ? "" : "kelvora-preview: ") +
                                    "can't write out: it is also an input\n";
        // Another thread swaps "out" between a new file and a link to the
        // picture while the program runs again and again.
        std::atomic<bool> stop{false};
        std::thread swapper([&dir, &stop] {
            const std::string out = dir / "out", link = dir / "link", file = dir / "file";
            while (!stop) {
                symlink("pic.bmp", link.c_str());
                rename(link.c_str(), out.c_str());
                close(open(file.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
                rename(file.c_str(), out.c_str());
            }
        });
        // For 0.7 s, but at least 20 runs (a slow build) and at most 300.
        const auto end = Clock::now() + std::chrono::milliseconds(700);
        for (int runs = 0; runs < 20 || (runs < 300 && Clock::now() < end); ++runs) {
            const test::Run run = program.run(dir.path(), {"pic.bmp", "list.txt", "out"}, {});
            const std::string& messages = program.messages(run);
            EXPECT_TRUE(messages.empty() || messages == refused)
                << program.name << ": " << messages;
            if (read_file(dir / "pic.bmp") != picture) {
                ADD_FAILURE() << program.name << " wrote the picture in run " << runs;
                break;
            }
        }
        stop = true;
        swapper.join();
    }
}

} // namespace
} // namespace kelvora
