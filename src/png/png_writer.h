// Writes the preview as a PNG: the left panel beside the right, every
// picture pixel zoomed to a square of scale x scale, with the changed pixels
// and the record frames marked on the right. A preview has few colours, so
// it is written with a palette (an RGB PNG only when it has more than 256),
// and compressed quickly: its long runs of one colour compress well anyway.
#pragma once

#include "draw/render.h"

namespace kelvora {

inline constexpr int MAX_SCALE = 16;
inline constexpr int MAX_PREVIEW_WIDTH = 16384; // both panels, in PNG pixels

inline constexpr Rgb FRAME_COLOUR{0xFF, 0x80, 0x00}; // not one of the display's colours
inline constexpr Rgb OUTLINE_DARK{0x00, 0x00, 0x00};
inline constexpr Rgb OUTLINE_LIGHT{0xFF, 0xFF, 0xFF};
inline constexpr Rgb TINT_COLOUR{0xFF, 0x00, 0xFF};
// From this scale up a changed pixel is outlined; below it there is no room
// for an outline inside the pixel, so it is tinted instead.
inline constexpr int OUTLINE_SCALE = 3;

// The largest scale up to 8 that keeps the preview within 1024 x 1024 PNG
// pixels, and at least 1: small sheets come out large enough to see.
int automatic_scale(int width, int height);

// Frames and outlines are this many PNG pixels wide: one, and a quarter of
// a zoomed pixel from scale 8 up.
int mark_width(int scale);

Rgb tinted(Rgb colour);

// What the right panel shows at one PNG pixel: (dx, dy) is the position
// inside the zoomed picture pixel (x, y).
enum class RightPanelPart : unsigned char { Shown, Tinted, Frame, OutlineDark, OutlineLight };
RightPanelPart right_panel_part(const PreviewImage& image, int x, int y, int dx, int dy, int scale);

// Writes the preview's PNG to the file descriptor: 0, or the errno of the
// failure (EIO when libpng itself gave up).
int write_preview_png(int fd, const PreviewImage& image, const PictureGrid& grid, int scale);

// How a PNG's rows are compressed: fast, for long runs of one colour; not
// at all, where coding costs more than it saves; or as small as zlib makes
// them, for a picture kept.
enum class PngCompression : unsigned char { Runs, Stored, Small };

// What a PNG is besides its rows.
struct PngShape {
    int width;
    int height;
    int bit_depth;      // 8; or 4, 2 or 1 for a palette, the rows still a pixel a byte
    const Rgb* palette; // null for RGB
    int palette_size;
    PngCompression compression;
};

// Puts row y of the PNG into `row`: a byte a pixel, or three without a
// palette.
using PngRows = void (*)(const void* context, int y, std::uint8_t* row);

// Writes a PNG whose rows are composed one at a time: 0, or the errno of
// the failure.
int write_png(int fd, const PngShape& shape, PngRows rows, const void* context);

} // namespace kelvora
