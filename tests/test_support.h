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

struct BmpSpec {
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
std::string make_bmp(const BmpSpec& spec, const std::function<std::uint8_t(int, int)>& pixel);

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

// Runs the kelvora binary in `directory` with the arguments (each quoted) and
// returns what it printed on standard output; `status` gets the exit status.
std::string run_kelvora(const std::filesystem::path& directory, const std::string& arguments,
                        int* status = nullptr);

// Quotes one argument for the shell.
std::string quoted(const std::string& argument);

} // namespace kelvora::test
