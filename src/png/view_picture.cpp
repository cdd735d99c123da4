// The view picture: a row at a time from the right panel's shown colours.
#include "png/view_picture.h"

#include "model/display_colours.h"
#include "png/png_writer.h"

namespace kelvora {

int write_view_picture(int fd, const PreviewImage& image) {
    Rgb palette[16];
    for (int i = 0; i < 16; ++i) {
        palette[i] = display_colour(i);
    }
    const PngShape shape{image.width, image.height, 4, palette, 16, PngCompression::Small};
    return write_png(
        fd, shape,
        [](const void* context, int y, std::uint8_t* row) {
            const PreviewImage& view = *static_cast<const PreviewImage*>(context);
            const std::uint8_t* shown = view.shown + static_cast<std::size_t>(y) * view.width;
            for (int x = 0; x < view.width; ++x) {
                row[x] = view_index(shown[x]);
            }
        },
        &image);
}

} // namespace kelvora
