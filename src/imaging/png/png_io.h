// PNG export of a frame, and PNG decoding for bundled pictures.
#pragma once

#include "imaging/files/output_paths.h"
#include "imaging/image.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace qf::imaging {

// Writes the view as an RGBA (Rgba layout) or RGB (Rgb, Bgrx) PNG, atomically.
bool WritePng(const std::string& path, const ImageView& image, Error* error);

// The same as the file `name` of a held folder (see OutputFolder).
bool WritePng(const OutputFolder& folder, const std::string& name, const ImageView& image, Error* error);

// Writes several PNG files, named in the held folder, compressed on all
// cores and put on disk together, each replacing its file as WritePng does.
// Stops at the first failure, in the order given.
bool WritePngs(const OutputFolder& folder, const std::vector<std::pair<std::string, ImageView>>& pictures,
               Error* error);

// Decodes a PNG held in memory into RGBA.
bool DecodePng(const std::uint8_t* data, std::size_t size, RgbaImage& image, Error* error);

} // namespace qf::imaging
