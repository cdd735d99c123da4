// Reads an uncompressed 4- or 8-bit BMP into the picture grid.
#pragma once

#include <cstdint>
#include <cstdio>

#include "cells/stores.h"

namespace kelvora {

// Reads the next four bytes as a little-endian value into `scratch`. When the
// file ends part-way, the bytes not read keep what the scratch held before,
// which is how header fields cut short by the end of the file behave.
std::uint32_t read_le32(std::FILE* stream, std::uint8_t (&scratch)[4]);

// Loads the picture strictly in sequence (no seeking, so pipes work). Returns
// false, storing nothing, when the header fails the check: pixel-data offset
// below 29, width or height outside 1..1024 or not a multiple of 8.
bool load_picture(std::FILE* stream, PictureGrid& grid);

} // namespace kelvora
