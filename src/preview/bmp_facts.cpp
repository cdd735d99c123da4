// BMP header facts for the preview. Multi-byte fields are read the way the
// converter reads them, so a cut-short header yields the same size here as
// there; the palette and compression, which the converter never looks at,
// are read here alone.
#include "preview/bmp_facts.h"

#include <cinttypes>

#include "cells/stores.h"

namespace kelvora {
namespace {

constexpr std::uint32_t HEADER_BYTES_READ = 29; // what the converter consumes before skipping

// Copies the bytes that exist into the scratch, keeping the rest: a field cut
// short by the end of the file keeps the previous field's bytes, as in the
// converter's loader.
std::uint32_t field32(const std::uint8_t* head, std::size_t length, std::size_t offset,
                      std::uint8_t (&scratch)[4]) {
    for (std::size_t i = 0; i < 4 && offset + i < length; ++i) {
        scratch[i] = head[offset + i];
    }
    return static_cast<std::uint32_t>(scratch[0]) | static_cast<std::uint32_t>(scratch[1]) << 8 |
           static_cast<std::uint32_t>(scratch[2]) << 16 |
           static_cast<std::uint32_t>(scratch[3]) << 24;
}

// Little-endian field that must be wholly present; 0 otherwise.
std::uint32_t plain_field(const std::uint8_t* head, std::size_t length, std::size_t offset,
                          int bytes) {
    if (offset + static_cast<std::size_t>(bytes) > length) {
        return 0;
    }
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = value << 8 | head[offset + static_cast<std::size_t>(i)];
    }
    return value;
}

// The display's sixteen colours: hue bits blue 1, red 2, green 4; bright 8.
Rgb standard_colour(int index) {
    if (index > 15) {
        return Rgb{0, 0, 0};
    }
    const auto level = static_cast<std::uint8_t>(index < 8 ? 0xD7 : 0xFF);
    return Rgb{(index & 2) != 0 ? level : std::uint8_t{0},
               (index & 4) != 0 ? level : std::uint8_t{0},
               (index & 1) != 0 ? level : std::uint8_t{0}};
}

bool size_passes(std::int32_t size) {
    return size > 0 && size <= GRID_SIZE && size % 8 == 0;
}

void read_palette(const std::uint8_t* head, std::size_t length, BmpFacts& facts) {
    for (int i = 0; i < 256; ++i) {
        facts.palette[i] = standard_colour(i);
    }
    facts.palette_entries = 0;
    // Entries are blue, green, red and a spare byte. (The oldest, 12-byte
    // info header had 3-byte entries, but its 16-bit sizes never pass the
    // converter's check, so such a picture never gets this far.)
    constexpr std::uint64_t entry_size = 4;
    const std::uint64_t start = 14 + static_cast<std::uint64_t>(facts.info_size);
    // Entries end where the pixels start and where the bytes read end.
    std::uint64_t end = length;
    if (facts.pixel_offset < end) {
        end = facts.pixel_offset;
    }
    if (start >= end) {
        return;
    }
    const std::uint64_t fit = (end - start) / entry_size;
    const auto wanted = static_cast<std::uint64_t>(facts.palette_wanted);
    const int count = static_cast<int>(fit < wanted ? fit : wanted);
    for (int i = 0; i < count; ++i) {
        const std::uint8_t* entry = head + start + static_cast<std::uint64_t>(i) * entry_size;
        facts.palette[i] = Rgb{entry[2], entry[1], entry[0]};
    }
    facts.palette_entries = count;
}

const char* compression_name(std::uint32_t compression) {
    switch (compression) {
    case 1:
        return "RLE8-compressed";
    case 2:
        return "RLE4-compressed";
    case 3:
    case 6:
        return "stored with bit-field masks";
    case 4:
        return "JPEG-compressed";
    case 5:
        return "PNG-compressed";
    default:
        return "compressed";
    }
}

void print_warning_start(const char* name, std::FILE* messages) {
    std::fprintf(messages, "kelvora-preview: warning: %s: ", name);
}

} // namespace

void read_bmp_facts(const std::uint8_t* head, std::size_t length, std::uint64_t file_size,
                    BmpFacts& facts) {
    std::uint8_t scratch[4] = {0, 0, 0, 0};
    facts.signature_is_bm = length >= 2 && head[0] == 'B' && head[1] == 'M';
    facts.pixel_offset = field32(head, length, 10, scratch);
    facts.width = static_cast<std::int32_t>(field32(head, length, 18, scratch));
    facts.height = static_cast<std::int32_t>(field32(head, length, 22, scratch));
    facts.info_size = plain_field(head, length, 14, 4);
    facts.bits_per_pixel = static_cast<std::uint16_t>(plain_field(head, length, 28, 2));
    if (length == 29) {
        facts.bits_per_pixel = head[28]; // the high byte is missing
    }
    facts.eight_bit_pixels = (facts.bits_per_pixel & 0xFF) == 8;
    // Older, shorter info headers have no compression or colour count.
    facts.compression = facts.info_size >= 20 ? plain_field(head, length, 30, 4) : 0;
    const std::uint32_t colours_used = facts.info_size >= 36 ? plain_field(head, length, 46, 4) : 0;
    if (colours_used != 0) {
        facts.palette_wanted = colours_used < 256 ? static_cast<int>(colours_used) : 256;
    } else {
        facts.palette_wanted = facts.bits_per_pixel <= 8 ? 1 << facts.bits_per_pixel : 0;
    }
    read_palette(head, length, facts);

    facts.pixel_bytes_missing = 0;
    if (header_passes(facts)) {
        const std::uint64_t row_bytes = facts.eight_bit_pixels
                                            ? static_cast<std::uint64_t>(facts.width)
                                            : static_cast<std::uint64_t>(facts.width) / 2;
        const std::uint64_t end =
            facts.pixel_offset + row_bytes * static_cast<std::uint64_t>(facts.height);
        facts.pixel_bytes_missing = file_size < end ? end - file_size : 0;
    }
}

bool header_passes(const BmpFacts& facts) {
    return facts.pixel_offset >= HEADER_BYTES_READ && size_passes(facts.width) &&
           size_passes(facts.height);
}

void describe_header_problem(const BmpFacts& facts, char* text, std::size_t size) {
    if (facts.pixel_offset < HEADER_BYTES_READ) {
        std::snprintf(text, size,
                      "its pixel data would start at byte %" PRIu32 ", inside the header",
                      facts.pixel_offset);
    } else if (facts.height < 0 && facts.height >= -GRID_SIZE) {
        std::snprintf(text, size, "its rows are stored top-down (height %" PRId32 ")",
                      facts.height);
    } else if (!size_passes(facts.width)) {
        std::snprintf(text, size, "it is %" PRId32 " pixels wide", facts.width);
    } else if (!size_passes(facts.height)) {
        std::snprintf(text, size, "it is %" PRId32 " pixels high", facts.height);
    } else {
        std::snprintf(text, size, "its header is not one kelvora reads");
    }
}

void print_bmp_warnings(const BmpFacts& facts, const char* name, std::FILE* messages) {
    const int decoded_bits = facts.eight_bit_pixels ? 8 : 4;
    if (!facts.signature_is_bm) {
        print_warning_start(name, messages);
        std::fputs("it does not start with \"BM\", so it may not be a BMP at all; "
                   "it is read as one all the same\n",
                   messages);
    }
    if (facts.compression != 0) {
        print_warning_start(name, messages);
        std::fprintf(messages,
                     "it is %s (compression %" PRIu32 "); kelvora reads the stored bytes as "
                     "uncompressed %d-bit pixels, so the picture comes out scrambled, as shown. "
                     "Re-save it as an uncompressed 4- or 8-bit BMP.\n",
                     compression_name(facts.compression), facts.compression, decoded_bits);
    }
    if (facts.bits_per_pixel != 4 && facts.bits_per_pixel != 8) {
        print_warning_start(name, messages);
        std::fprintf(messages,
                     "it has %u %s per pixel; kelvora reads its bytes as %d-bit palette "
                     "indices, so the picture comes out scrambled, as shown. Re-save it as an "
                     "indexed (palette) BMP with 16 or 256 colours, uncompressed.\n",
                     static_cast<unsigned>(facts.bits_per_pixel),
                     facts.bits_per_pixel == 1 ? "bit" : "bits", decoded_bits);
    }
    if (facts.pixel_bytes_missing > 0) {
        print_warning_start(name, messages);
        std::fprintf(messages,
                     "the file ends %" PRIu64 " bytes before its pixels do; kelvora repeats the "
                     "last byte it read for the rest, as shown\n",
                     facts.pixel_bytes_missing);
    }
}

} // namespace kelvora
