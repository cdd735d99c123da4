// Test helpers: building BMPs, in-memory streams, running the program.
#include "test_support.h"

#include <sys/wait.h>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace kelvora::test {
namespace {

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
    const int palette_entries = layout.bits_per_pixel == 8 ? 256 : 16;
    const std::uint32_t standard_offset = 14 + 40 + 4 * palette_entries;
    const std::uint32_t offset = layout.pixel_offset != 0 ? layout.pixel_offset : standard_offset;

    std::string header;
    header += "BM";
    put_le32(header, 0); // file size: not read
    put_le32(header, 0);
    put_le32(header, offset);
    put_le32(header, 40);
    put_le32(header, static_cast<std::uint32_t>(layout.width));
    put_le32(header, static_cast<std::uint32_t>(layout.height));
    put_le16(header, 1);
    put_le16(header, static_cast<std::uint32_t>(layout.bits_per_pixel));
    put_le32(header, layout.compression);
    put_le32(header, 0);
    put_le32(header, 2835);
    put_le32(header, 2835);
    put_le32(header, static_cast<std::uint32_t>(palette_entries));
    put_le32(header, 0);
    for (int i = 0; i < palette_entries; ++i) {
        const auto grey = static_cast<char>(i * 255 / (palette_entries - 1));
        header += {grey, grey, grey, 0};
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

std::FILE* stream_over(const std::string& bytes) {
    std::FILE* file = std::tmpfile();
    if (file == nullptr) {
        throw std::runtime_error("tmpfile failed");
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    return file;
}

std::string contents_of(std::FILE* stream) {
    std::fflush(stream);
    const long end = std::ftell(stream);
    std::string bytes(static_cast<std::size_t>(end), '\0');
    std::rewind(stream);
    const std::size_t got = std::fread(bytes.data(), 1, bytes.size(), stream);
    bytes.resize(got);
    return bytes;
}

std::unique_ptr<Stores> fresh_stores() {
    return std::make_unique<Stores>();
}

std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

TempDir::TempDir() {
    std::random_device random;
    path_ = std::filesystem::temp_directory_path() /
            ("kelvora-test-" + std::to_string(random()) + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

Result convert(const std::string& picture, const std::string& list) {
    TempDir dir;
    write_file(dir / "pic.bmp", picture);
    write_file(dir / "list.txt", list);
    Result result;
    result.messages = run_kelvora(dir.path(), "pic.bmp list.txt out.asm");
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

std::string quoted(const std::string& argument) {
    std::string out = "'";
    for (char c : argument) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::string run_kelvora(const std::filesystem::path& directory, const std::string& arguments,
                        int* status) {
    const std::string command =
        "cd " + quoted(directory.string()) + " && " + quoted(KELVORA_BINARY) + " " + arguments;
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        throw std::runtime_error("popen failed");
    }
    std::string output;
    char chunk[4096];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        output.append(chunk, got);
    }
    const int result = pclose(pipe);
    if (status != nullptr) {
        *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    }
    return output;
}

} // namespace kelvora::test
