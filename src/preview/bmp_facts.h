// What the preview needs from a BMP header beyond what the converter reads:
// the palette, the picture's size, and the fields that tell whether the
// converter will read the pixels the way they were written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace kelvora {

struct Rgb {
    std::uint8_t r;
    std::uint8_t g;
    std::uint8_t b;
    bool operator==(const Rgb&) const = default;
};

// The first bytes of the file hold every header field and a 256-entry
// palette behind the largest info header in use.
inline constexpr std::size_t BMP_HEAD_BYTES = 4096;

struct BmpFacts {
    bool signature_is_bm;
    std::uint32_t pixel_offset;
    std::uint32_t info_size;
    std::int32_t width; // as the converter reads them, cut-short fields included
    std::int32_t height;
    std::uint16_t bits_per_pixel; // the whole field; the converter reads its low byte
    std::uint32_t compression;
    bool eight_bit_pixels; // how the converter decodes: one byte a pixel, else two
    int palette_wanted;    // entries the header asks for (colours used, or 2^bits)
    int palette_entries;   // entries present in the file, at most 256
    // Entries past palette_entries hold the display's standard colours for
    // indices 0-15 and black above.
    Rgb palette[256];
    std::uint64_t pixel_bytes_missing; // bytes the file lacks for its pixel rows
};

// Reads the facts from the first `length` bytes of a file of `file_size`
// bytes (length = the whole file when it is shorter than BMP_HEAD_BYTES).
void read_bmp_facts(const std::uint8_t* head, std::size_t length, std::uint64_t file_size,
                    BmpFacts& facts);

// The converter's header check, on the same fields.
bool header_passes(const BmpFacts& facts);

// Why the converter refuses this header, in a few words.
void describe_header_problem(const BmpFacts& facts, char* text, std::size_t size);

// One warning line for each way the converter will read these pixels other
// than they were written: compression, an unusual depth, a missing
// signature, a file that ends before its pixels do.
void print_bmp_warnings(const BmpFacts& facts, const char* name, std::FILE* messages);

} // namespace kelvora
