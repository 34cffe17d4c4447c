// Colour reduction of frames with more than 256 colours, and below the best
// GIF quality level of every frame (libimagequant).
#pragma once

#include "gif_levels.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qf::imaging {

struct QuantisedImage {
    // Up to 256 entries, packed 0xFFRRGGBB, or 0 for the entry that
    // transparent pixels map to.
    std::vector<std::uint32_t> palette;
    std::vector<std::uint8_t> indexes; // one per pixel, row by row
};

// Reduces width x height straight-RGBA pixels, whose alpha is 0 or 255, to
// at most levels.colours colours, with Floyd-Steinberg dithering of
// levels.dithering (at the best level: 256 colours, high quality, light
// dithering).
// Transparent pixels map to a transparent entry. False (with reason) only
// when the quantiser fails, e.g. for lack of memory.
bool QuantiseRgba(const std::uint8_t* rgba, int width, int height, const GifLevels& levels, QuantisedImage& out,
                  std::string* reason);

} // namespace qf::imaging
