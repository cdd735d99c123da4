// Helpers shared by the tests: BMP files built in memory, streams over byte
// strings, a fresh set of stores, and running the real program.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "cells/stores.h"

namespace kelvora::test {

struct BmpLayout {
    std::int32_t width = 8;
    std::int32_t height = 8;
    int bits_per_pixel = 8;
    // Pixel-data offset; 0 means "right after a standard header and palette".
    std::uint32_t pixel_offset = 0;
    std::uint32_t compression = 0;
};

// A BMP with a 40-byte info header and a grey palette. `pixel(x, y)` gives
// the index at (x, y), y = 0 at the top; rows are written bottom-up. For 4-bit
// pictures only the low nibble is used.
std::string make_bmp(const BmpLayout& layout, const std::function<std::uint8_t(int, int)>& pixel);

// A stream over the bytes, positioned at the start (works for empty input).
std::FILE* stream_over(const std::string& bytes);

// Everything written to the stream so far.
std::string contents_of(std::FILE* stream);

// A zeroed set of stores, as the program starts with.
std::unique_ptr<Stores> fresh_stores();

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

// What one run of the real program left: the output file and the messages.
struct Result {
    std::string output;
    std::string messages;
};

// Writes the picture and the list into a fresh directory and runs kelvora
// there on them, with out.asm as the output.
Result convert(const std::string& picture, const std::string& list);

std::string repeat(const std::string& text, int times);

// The small picture of the documentation: the left cell has colour 2 in its
// four left columns and colour 6 in its four right columns; the right cell is 0.
std::string logo_picture(int bits);

// Its two cells as block lines with default colour 7, and an empty first cell.
inline const std::string LEFT_CELL = "\tdb 0x0f,0x0f,0x0f,0x0f,0x0f,0x0f,0x0f,0x0f,0x16\n";
inline const std::string RIGHT_CELL = "\tdb 0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x16\n";
inline const std::string EMPTY_CELL = "\tdb 0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x00,0x47\n";

// Runs the kelvora binary in `directory` with the arguments (each quoted) and
// returns what it printed on standard output; `status` gets the exit status.
std::string run_kelvora(const std::filesystem::path& directory, const std::string& arguments,
                        int* status = nullptr);

// Quotes one argument for the shell.
std::string quoted(const std::string& argument);

} // namespace kelvora::test
