// Test helpers: building BMPs, readers over memory, running the programs.
#include "test_support.h"

#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "readback/read_back.h"

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

std::string make_bmp(const BmpLayout& layout, const std::string& pixel_data) {
    std::vector<Rgb> palette = layout.palette;
    if (palette.empty() && layout.bits_per_pixel <= 8) {
        const int entries = 1 << layout.bits_per_pixel;
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
    put_le32(header, field(layout.info_size_field, 40));
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
    return header + pixel_data;
}

std::string make_bmp(const BmpLayout& layout, const std::function<std::uint8_t(int, int)>& pixel) {
    const int bits = layout.bits_per_pixel;
    const int width = layout.width > 0 ? layout.width : 0;
    const int rows = layout.height < 0 ? -layout.height : layout.height;
    std::string pixels;
    for (int i = 0; i < rows; ++i) {
        const int y = layout.height < 0 ? i : rows - 1 - i;
        std::string row;
        if (bits == 24 || bits == 32) {
            for (int x = 0; x < width; ++x) {
                const Rgb colour = display_colour(pixel(x, y));
                row += {static_cast<char>(colour.b), static_cast<char>(colour.g),
                        static_cast<char>(colour.r)};
                if (bits == 32) {
                    row += '\0';
                }
            }
        } else {
            const int per_byte = 8 / bits;
            row.assign(static_cast<std::size_t>((width * bits + 7) / 8), '\0');
            for (int x = 0; x < width; ++x) {
                const int value = pixel(x, y) & ((1 << bits) - 1);
                row[x / per_byte] =
                    static_cast<char>(row[x / per_byte] | value << (8 - bits * (x % per_byte + 1)));
            }
        }
        row.resize((row.size() + 3) & ~std::size_t{3}, '\0');
        pixels += row;
    }
    return make_bmp(layout, pixels);
}

namespace {

void append_png_bytes(png_structp png, png_bytep data, png_size_t length) {
    static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), length);
}

// A test that writes a PNG libpng will not write is broken; stop it there.
[[noreturn]] void stop_on_png_error(png_structp, png_const_charp message) {
    std::fprintf(stderr, "make_png: libpng: %s\n", message);
    std::abort();
}

} // namespace

std::string make_png(const PngLayout& layout, const std::function<PngPixel(int, int)>& sample) {
    const int channels = layout.colour_type == 0 || layout.colour_type == 3 ? 1
                         : layout.colour_type == 4                          ? 2
                         : layout.colour_type == 2                          ? 3
                                                                            : 4;
    const int bits = layout.bit_depth;
    std::vector<std::string> rows;
    for (int y = 0; y < layout.height; ++y) {
        std::string row(static_cast<std::size_t>((layout.width * channels * bits + 7) / 8), '\0');
        for (int x = 0; x < layout.width; ++x) {
            const PngPixel pixel = sample(x, y);
            for (int c = 0; c < channels; ++c) {
                const std::size_t at = static_cast<std::size_t>(x * channels + c);
                if (bits == 16) {
                    row[2 * at] = static_cast<char>(pixel[c] >> 8);
                    row[2 * at + 1] = static_cast<char>(pixel[c] & 0xFF);
                } else {
                    const std::size_t bit = at * static_cast<std::size_t>(bits);
                    row[bit / 8] = static_cast<char>(row[bit / 8] | (pixel[c] & ((1 << bits) - 1))
                                                                        << (8 - bits - bit % 8));
                }
            }
        }
        rows.push_back(row);
    }
    std::string bytes;
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, stop_on_png_error, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &bytes, append_png_bytes, nullptr);
    png_set_IHDR(png, info, static_cast<png_uint_32>(layout.width),
                 static_cast<png_uint_32>(layout.height), bits, layout.colour_type,
                 layout.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    std::vector<png_color> palette;
    if (layout.colour_type == 3) {
        const int entries = layout.palette.empty() ? std::min(16, 1 << bits)
                                                   : static_cast<int>(layout.palette.size());
        for (int i = 0; i < entries; ++i) {
            const Rgb colour = layout.palette.empty() ? display_colour(i) : layout.palette[i];
            palette.push_back(png_color{colour.r, colour.g, colour.b});
        }
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    if (!layout.transparent.empty()) {
        png_color_16 colour{};
        colour.gray = layout.transparent[0];
        if (layout.transparent.size() == 3) {
            colour.red = layout.transparent[0];
            colour.green = layout.transparent[1];
            colour.blue = layout.transparent[2];
        }
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    std::vector<png_bytep> pointers;
    for (std::string& row : rows) {
        pointers.push_back(reinterpret_cast<png_bytep>(row.data()));
    }
    png_write_info(png, info);
    png_write_image(png, pointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return bytes;
}

std::unique_ptr<ByteReader> reader_over(const std::string& bytes) {
    auto reader = std::make_unique<ByteReader>();
    start_reading_memory(*reader, bytes.data(), bytes.size());
    return reader;
}

PictureScratch& picture_scratch() {
    static const std::unique_ptr<PictureScratch> scratch = std::make_unique<PictureScratch>();
    return *scratch;
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

namespace {

// The caller's environment without what would change the programs' or
// make's behaviour: the makefile takes KELVORA and KELVORA_PREVIEW from it,
// and an outer make hands its variables and job slots down in the others.
// The tests then depend on the tree alone.
std::vector<char*> child_environment() {
    static const char* const DROPPED[] = {"KELVORA",      "KELVORA_PREVIEW", "MAKEFLAGS", "MFLAGS",
                                          "GNUMAKEFLAGS", "MAKEOVERRIDES",   "MAKELEVEL"};
    std::vector<char*> kept;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view variable(*entry);
        const std::string_view name = variable.substr(0, variable.find('='));
        if (std::find(std::begin(DROPPED), std::end(DROPPED), name) == std::end(DROPPED)) {
            kept.push_back(*entry);
        }
    }
    kept.push_back(nullptr);
    return kept;
}

// Waits for the process started with its standard output and error in
// `capture`, after the options' fault is put in its way.
Run wait_for(pid_t pid, const TempDir& capture, const RunOptions& options) {
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
    run.out = read_file(capture / "out");
    run.err = read_file(capture / "err");
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.max_rss_kib = usage.ru_maxrss;
    return run;
}

} // namespace

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
    std::vector<char*> environment = child_environment();
    const int spawned =
        posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environment.data());
    setrlimit(RLIMIT_FSIZE, &own_limit);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw std::runtime_error("can't start " + argv[0]);
    }
    return wait_for(pid, capture, options);
}

Run run_in_child(const fs::path& directory, const std::function<int()>& body,
                 const RunOptions& options) {
    TempDir capture;
    const fs::path out = capture / "out";
    const fs::path err = capture / "err";
    std::fflush(nullptr); // nothing buffered here is written twice
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        const int in_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        const int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (in_fd < 0 || out_fd < 0 || err_fd < 0 || dup2(in_fd, STDIN_FILENO) < 0 ||
            dup2(out_fd, STDOUT_FILENO) < 0 || dup2(err_fd, STDERR_FILENO) < 0 ||
            chdir(directory.c_str()) != 0) {
            _exit(125);
        }
        // No core file from a signal that dumps one: it would land among the
        // files a test counts.
        const rlimit no_core{0, 0};
        setrlimit(RLIMIT_CORE, &no_core);
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        if (options.file_size_limit > 0 && options.file_size_limit < limit.rlim_cur) {
            limit.rlim_cur = options.file_size_limit;
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        const int status = body();
        std::fflush(nullptr);
        _exit(status);
    }
    return wait_for(pid, capture, options);
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

std::string read_back_fault(const std::string& picture, const std::string& list,
                            const std::string& output, const std::string& messages,
                            const AsmSyntax& syntax, const std::string* header, bool binary) {
    auto stores = fresh_stores();
    PictureFacts facts;
    const PictureVerdict picture_verdict =
        read_picture(*reader_over(picture), picture_scratch(), stores->grid, facts);
    if (!picture_verdict.taken) {
        return std::string("the picture is refused: ") + picture_verdict.reason;
    }
    const std::vector<ResourceRecord> records = read_back::records_of(*reader_over(list));
    const read_back::Text text = binary ? read_back::read_binary(output, records)
                                        : read_back::read_text(output, records, syntax);
    const read_back::Verdict verdict = read_back::compare(text, records, *stores);
    if (!verdict.fits()) {
        return verdict.describe();
    }
    if (header != nullptr) {
        const read_back::Verdict header_verdict = read_back::read_header(*header, records, text);
        if (!header_verdict.fits()) {
            return "the header: " + header_verdict.describe();
        }
    }
    const std::string expected = read_back::expected_messages(records, syntax);
    return messages == expected ? ""
                                : "the messages are not one per record outside (or label that "
                                  "is no C name): " +
                                      expected;
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

std::vector<std::string> case_names(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (entry.path().extension() == ".txt") {
            names.push_back(entry.path().stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace kelvora::test
