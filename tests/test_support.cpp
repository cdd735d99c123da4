// Test helpers: building BMPs, readers over memory, running the programs.
#include "test_support.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kelvora::test {
namespace {

namespace fs = std::filesystem;

void put_le16(std::string& out, std::uint32_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

void put_le32(std::string& out, std::uint32_t value) {
    put_le16(out, value & 0xFFFF);
    put_le16(out, value >> 16);
}

} // namespace

std::string make_bmp(const BmpLayout& layout, const std::function<std::uint8_t(int, int)>& pixel) {
    std::vector<Rgb> palette = layout.palette;
    if (palette.empty()) {
        const int entries = layout.bits_per_pixel == 8 ? 256 : 16;
        for (int i = 0; i < entries; ++i) {
            const auto grey = static_cast<std::uint8_t>(i * 255 / (entries - 1));
            palette.push_back(Rgb{grey, grey, grey});
        }
    }
    const auto entries = static_cast<std::uint32_t>(palette.size());
    const std::uint32_t standard_offset = 14 + 40 + 4 * entries;
    const std::uint32_t offset = layout.pixel_offset != 0 ? layout.pixel_offset : standard_offset;
    const auto field = [](std::int64_t given, std::uint32_t actual) {
        return given >= 0 ? static_cast<std::uint32_t>(given) : actual;
    };

    std::string header;
    header += "BM";
    put_le32(header, 0); // file size: not read
    put_le32(header, 0);
    put_le32(header, field(layout.offset_field, offset));
    put_le32(header, 40);
    put_le32(header, static_cast<std::uint32_t>(layout.width));
    put_le32(header, static_cast<std::uint32_t>(layout.height));
    put_le16(header, 1);
    put_le16(header, field(layout.bits_field, static_cast<std::uint32_t>(layout.bits_per_pixel)));
    put_le32(header, layout.compression);
    put_le32(header, 0);
    put_le32(header, 2835);
    put_le32(header, 2835);
    put_le32(header, field(layout.colours_used_field, entries));
    put_le32(header, 0);
    for (const Rgb& colour : palette) {
        header += {static_cast<char>(colour.b), static_cast<char>(colour.g),
                   static_cast<char>(colour.r), 0};
    }
    // Pad or cut the header so the pixels start exactly at the offset.
    header.resize(offset, '\0');

    std::string pixels;
    const int rows = layout.height < 0 ? -layout.height : layout.height;
    for (int y = rows - 1; y >= 0; --y) {
        for (int x = 0; x < layout.width;) {
            if (layout.bits_per_pixel == 8) {
                pixels.push_back(static_cast<char>(pixel(x, y)));
                x += 1;
            } else {
                const int high = pixel(x, y) & 0x0F;
                const int low = pixel(x + 1, y) & 0x0F;
                pixels.push_back(static_cast<char>(high << 4 | low));
                x += 2;
            }
        }
    }
    return header + pixels;
}

std::unique_ptr<ByteReader> reader_over(const std::string& bytes) {
    auto reader = std::make_unique<ByteReader>();
    start_reading_memory(*reader, bytes.data(), bytes.size());
    return reader;
}

std::unique_ptr<Stores> fresh_stores() {
    return std::make_unique<Stores>();
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TempDir::TempDir() {
    std::random_device random;
    path_ = fs::temp_directory_path() /
            ("kelvora-test-" + std::to_string(random()) + std::to_string(random()));
    fs::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
    fs::remove_all(path_, ignored);
}

Run run_program(const fs::path& directory, const std::vector<std::string>& argv,
                const RunOptions& options) {
    TempDir capture;
    const fs::path out = capture / "out";
    const fs::path err = capture / "err";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addchdir_np(&actions, directory.c_str());
    std::vector<char*> args;
    for (const std::string& argument : argv) {
        args.push_back(const_cast<char*>(argument.c_str()));
    }
    args.push_back(nullptr);
    // The program inherits the limit, lowered here just while it is started.
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit own_limit = limit;
    if (options.file_size_limit > 0 && options.file_size_limit < limit.rlim_cur) {
        limit.rlim_cur = options.file_size_limit;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    setrlimit(RLIMIT_FSIZE, &own_limit);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("can't start " + argv[0]);
    }
    if (options.while_running) {
        options.while_running(pid);
    }
    int status = 0;
    rusage usage{};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            throw std::runtime_error("wait4 failed");
        }
    }
    Run run;
    run.out = read_file(out);
    run.err = read_file(err);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.max_rss_kib = usage.ru_maxrss;
    return run;
}

namespace {

Run run_binary(const char* binary, const fs::path& directory,
               const std::vector<std::string>& arguments, const RunOptions& options) {
    std::vector<std::string> argv{binary};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return run_program(directory, argv, options);
}

} // namespace

Run run_kelvora(const fs::path& directory, const std::vector<std::string>& arguments,
                const RunOptions& options) {
    return run_binary(KELVORA_BINARY, directory, arguments, options);
}

Run run_preview(const fs::path& directory, const std::vector<std::string>& arguments,
                const RunOptions& options) {
    return run_binary(PREVIEW_BINARY, directory, arguments, options);
}

Result convert(const std::string& picture, const std::string& list) {
    TempDir dir;
    write_file(dir / "pic.bmp", picture);
    write_file(dir / "list.txt", list);
    Result result;
    result.messages = run_kelvora(dir.path(), {"pic.bmp", "list.txt", "out.asm"}).out;
    result.output = read_file(dir / "out.asm");
    return result;
}

std::string repeat(const std::string& text, int times) {
    std::string out;
    out.reserve(text.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

std::string logo_picture(int bits) {
    return make_bmp({16, 8, bits}, [](int x, int) -> std::uint8_t {
        if (x >= 8) {
            return 0;
        }
        return x < 4 ? 2 : 6;
    });
}

} // namespace kelvora::test
