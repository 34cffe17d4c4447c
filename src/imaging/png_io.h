// PNG export of a frame, and PNG decoding for bundled pictures.
#pragma once

#include "image.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace qf::imaging {

// Writes the view as an RGBA (Rgba layout) or RGB (Rgb, Bgrx) PNG, atomically.
bool WritePng(const std::string& path, const ImageView& image, Error* error);

// Decodes a PNG held in memory into RGBA.
bool DecodePng(const std::uint8_t* data, std::size_t size, RgbaImage& image, Error* error);

} // namespace qf::imaging
