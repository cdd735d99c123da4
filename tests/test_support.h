// Helpers shared by the tests: BMP files built in memory, readers over byte
// strings, a fresh set of stores, temporary folders and one way of running
// the real programs.
#pragma once

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "input/byte_reader.h"
#include "input/picture.h"
#include "model/stores.h"
#include "output/asm_syntax.h"

namespace kelvora::test {

struct BmpLayout {
    std::int32_t width = 8;
    std::int32_t height = 8;
    int bits_per_pixel = 8;
    // Pixel-data offset; 0 means "right after a standard header and palette".
    std::uint32_t pixel_offset = 0;
    std::uint32_t compression = 0;
    std::vector<Rgb> palette = {}; // empty: a grey ramp of 16 or 256 entries
    // What the header says, where a test wants it to say something else than
    // the layout: -1 keeps the true value.
    std::int64_t colours_used_field = -1;
    std::int64_t bits_field = -1;
    std::int64_t offset_field = -1;
    std::int64_t info_size_field = -1;
};

// A BMP with a 40-byte info header. `pixel(x, y)` gives the index at (x, y),
// y = 0 at the top; rows are written bottom-up, or top-down for a negative
// height. Indices are packed at 1, 2, 4 or 8 bits, rows padded to 4 bytes;
// at 24 and 32 bits each pixel is written in its display colour.
std::string make_bmp(const BmpLayout& layout, const std::function<std::uint8_t(int, int)>& pixel);

// The same header with the given bytes as the pixel data (run-length data,
// say).
std::string make_bmp(const BmpLayout& layout, const std::string& pixel_data);

struct PngLayout {
    int width = 8;
    int height = 8;
    int colour_type = 3; // palette 3, grey 0, grey and alpha 4, RGB 2, RGBA 6
    int bit_depth = 8;
    bool interlaced = false;
    std::vector<Rgb> palette = {}; // palette pictures: the display's 16 colours when empty
    // A transparent colour (tRNS) for grey or RGB pictures, when set.
    std::vector<std::uint16_t> transparent = {};
};

// A PNG written through libpng. `sample(x, y)` gives the pixel's channels in
// order (index; grey; grey, alpha; red, green, blue; red, green, blue,
// alpha), each at the layout's bit depth.
using PngPixel = std::array<std::uint16_t, 4>;
std::string make_png(const PngLayout& layout, const std::function<PngPixel(int, int)>& sample);

// A reader over the bytes, which must outlive it.
std::unique_ptr<ByteReader> reader_over(const std::string& bytes);

// A zeroed set of stores, as the program starts with.
std::unique_ptr<Stores> fresh_stores();

// The picture reader's working memory, one for the test process.
PictureScratch& picture_scratch();

std::string read_file(const std::filesystem::path& path);
void write_file(const std::filesystem::path& path, const std::string& bytes);

// A directory of its own for one test, removed afterwards.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  private:
    std::filesystem::path path_;
};

// What one run of a program left behind.
struct Run {
    std::string out; // standard output
    std::string err; // standard error
    int status;      // the exit status, or 128 + the signal that ended it
    long max_rss_kib;
};

// Faults a test puts in a program's way.
struct RunOptions {
    // The largest file the program may write (RLIMIT_FSIZE), in bytes; 0 for
    // no other limit than the tests' own.
    std::uint64_t file_size_limit = 0;
    // Called with the program's process id once it has started, before it is
    // waited for: to kill it, or to play the other end of a FIFO.
    std::function<void(pid_t)> while_running;
};

// Runs the program (argv[0], found on PATH unless it is a path) in
// `directory`, with standard input empty.
Run run_program(const std::filesystem::path& directory, const std::vector<std::string>& argv,
                const RunOptions& options = {});

// Runs `body` as run_program runs a program, in a process of its own: forked
// from the tests, so that a test can call the library with what no command
// line can ask for. What `body` returns is the exit status.
Run run_in_child(const std::filesystem::path& directory, const std::function<int()>& body,
                 const RunOptions& options = {});

// The programs under test, with these arguments.
Run run_kelvora(const std::filesystem::path& directory, const std::vector<std::string>& arguments,
                const RunOptions& options = {});
Run run_preview(const std::filesystem::path& directory, const std::vector<std::string>& arguments,
                const RunOptions& options = {});

// What one conversion by the real program left: the output file and the messages.
struct Result {
    std::string output;
    std::string messages;
};

// Writes the picture and the list into a fresh directory and runs kelvora
// there on them, with out.asm as the output.
Result convert(const std::string& picture, const std::string& list);

// Reads a run's output back and compares it with the picture and the list
// converted afresh in this process (read as --binary's bytes where `binary`):
// "" when every line and byte is what the conversion makes, the header (where given) declares what
// the output holds, and the messages are one per record outside the grid (or label that is no C
// name where the syntax wants them), else the first line that is not, and why.
std::string read_back_fault(const std::string& picture, const std::string& list,
                            const std::string& output, const std::string& messages,
                            const AsmSyntax& syntax = DEFAULT_SYNTAX,
                            const std::string* header = nullptr, bool binary = false);

std::string repeat(const std::string& text, int times);

// A small picture: the left cell has colour 2 in its four left columns and
// colour 6 in its four right columns; the right cell is 0.
std::string logo_picture(int bits);

// The cases in a folder of whole runs as data: the names of its lists, sorted.
std::vector<std::string> case_names(const std::filesystem::path& folder);

// Its two cells as block lines with default colour 7, and an empty first cell.
inline const std::string LEFT_CELL = "\tdb 0x0f,0x0f,0x0f,0x0f,0x0f,0x0f,0x0f,0x0f,0x16\n";
inline const std::string RIGHT_CELL = "\tdb 0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x16\n";
inline const std::string EMPTY_CELL = "\tdb 0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x47\n";

const std::filesystem::path SOURCE_DIR = KELVORA_SOURCE_DIR;

} // namespace kelvora::test
