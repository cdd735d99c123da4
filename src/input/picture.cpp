// The picture reader's entry: a PNG by its signature, anything else is
// taken for a BMP.
#include "input/picture.h"

#include "input/picture_png.h"
#include "input/picture_rows.h"

namespace kelvora {

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
    return read_bmp(in, scratch, grid, facts, colours);
}

} // namespace kelvora
