// The picture reader's entry: a PNG by its signature, anything else is
// taken for a BMP. A file that is refused and does not start like a BMP is
// named for what it seems to be instead: the BMP reader's reason (a width
// read from the bytes of text, say) would only puzzle.
#include "input/picture.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "input/picture_png.h"
#include "input/picture_rows.h"

namespace kelvora {
namespace {

constexpr const char* SAVE_AGAIN = "save the picture as a PNG or BMP";

bool starts_with(const std::uint8_t* bytes, std::size_t length, const char* text) {
    const std::size_t size = std::strlen(text);
    return length >= size && std::memcmp(bytes, text, size) == 0;
}

// Text as an editor writes it: printable ASCII, blanks and line ends, and
// the bytes of UTF-8 above ASCII.
bool looks_like_text(const std::uint8_t* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t c = bytes[i];
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') {
            return false;
        }
        if (c == 0x7F) {
            return false;
        }
    }
    return length > 0;
}

// The reason for a file that is neither a BMP nor a PNG, from its first bytes.
PictureVerdict name_non_picture(const std::uint8_t* bytes, std::size_t length) {
    using picture_detail::refuse;
    PictureVerdict verdict{};
    if (length >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) {
        verdict = refuse("it is no BMP or PNG but a JPEG; %s", SAVE_AGAIN);
    } else if (starts_with(bytes, length, "GIF87a") || starts_with(bytes, length, "GIF89a")) {
        verdict = refuse("it is no BMP or PNG but a GIF; %s", SAVE_AGAIN);
    } else if (looks_like_text(bytes, length)) {
        verdict = refuse("it is no BMP or PNG but text; %s", SAVE_AGAIN);
    } else {
        verdict = refuse("it is no BMP or PNG: it starts with the bytes %02x %02x; %s", bytes[0],
                         length > 1 ? bytes[1] : 0, SAVE_AGAIN);
    }
    verdict.no_picture = true;
    return verdict;
}

} // namespace

PictureVerdict read_picture(ByteReader& in, PictureScratch& scratch, PictureGrid& grid,
                            PictureFacts& facts, Rgb* colours) {
    using namespace picture_detail;
    facts = PictureFacts{};
    for (int i = 0; i < 256; ++i) {
        facts.palette[i] = display_colour(i);
    }
    scratch.head_length = read_bytes(in, scratch.head, PNG_SIGNATURE_BYTES);
    if (is_png_signature(scratch.head, scratch.head_length)) {
        return read_png(in, scratch, grid, facts, colours);
    }
    const PictureVerdict verdict = read_bmp(in, scratch, grid, facts, colours);
    // An empty file is said to be one, as the BMP reader says.
    if (verdict.taken || facts.signature_is_bm || scratch.head_length == 0) {
        return verdict;
    }
    return name_non_picture(scratch.head, scratch.head_length);
}

bool hint_swapped_names(PictureVerdict& verdict, const char* list_path) {
    if (verdict.taken || !verdict.no_picture) {
        return false;
    }
    std::uint8_t head[picture_detail::PNG_SIGNATURE_BYTES] = {};
    std::size_t length = 0;
    const int fd = open(list_path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd >= 0) {
        const ssize_t got = read(fd, head, sizeof head);
        length = got > 0 ? static_cast<std::size_t>(got) : 0;
        close(fd);
    }
    if (!starts_with(head, length, "BM") && !picture_detail::is_png_signature(head, length)) {
        return false;
    }
    const std::size_t used = std::strlen(verdict.reason);
    std::snprintf(verdict.reason + used, sizeof verdict.reason - used,
                  "; the list %s starts like a picture: give the picture first, then the list",
                  list_path);
    return true;
}

} // namespace kelvora
