// The display's view as a picture kelvora converts (--picture): indexed, a
// pixel for each picture pixel, in the display's sixteen colours and their
// order. Every black shown is written as 8, which a conversion keeps as a
// colour of its cell, where 0 is background that the record's colour gives
// a partner (and in a sprite, transparent); a sprite's transparent pixels
// and all that lies outside every record are 0.
#pragma once

#include <cstdint>

#include "draw/cell_changes.h"
#include "draw/render.h"

namespace kelvora {

// The picture's index for what the right panel shows at a pixel.
constexpr std::uint8_t view_index(std::uint8_t shown) {
    if (shown == SHOWN_OUTSIDE || shown == SHOWN_TRANSPARENT) {
        return 0;
    }
    return display_class(shown) == 0 ? 8 : shown;
}

// Writes the view of the image's size as a PNG with a palette of the
// display's sixteen colours, four bits a pixel: 0, or the errno of the
// failure.
int write_view_picture(int fd, const PreviewImage& image);

} // namespace kelvora
