// The PNG part of the picture reader.
#pragma once

#include <cstddef>
#include <cstdint>

#include "input/picture.h"

namespace kelvora::picture_detail {

inline constexpr std::size_t PNG_SIGNATURE_BYTES = 8;

// True when the first bytes of a file are PNG's signature.
bool is_png_signature(const std::uint8_t* bytes, std::size_t length);

// Reads a PNG whose signature has been read already.
PictureVerdict read_png(ByteReader& in, PictureScratch& scratch, PictureGrid& grid,
                        PictureFacts& facts, Rgb* colours);

} // namespace kelvora::picture_detail
