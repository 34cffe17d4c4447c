// Colour reduction of frames with more than 256 colours, and below the best
// GIF quality level of every frame (libimagequant).
#pragma once

#include "imaging/colour/gif_levels.h"

#include <cstddef>
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
// at most levels.colours colours chosen by libimagequant, mapped with
// Floyd-Steinberg dithering of levels.dithering (at the best level: 256
// colours, high quality, light dithering).
// Transparent pixels map to a transparent entry. False (with reason) only
// when the quantiser fails, e.g. for lack of memory.
bool QuantiseRgba(const std::uint8_t* rgba, int width, int height, const GifLevels& levels,
                  QuantisedImage& out, std::string* reason);

// Colours chosen for one frame, to reduce frames like it with: remapping
// costs far less than choosing colours, and colours that stay do not
// flicker.
struct ChosenColours {
    std::vector<std::uint32_t> palette; // opaque, packed 0xFFRRGGBB
    // How far the frame's pixels lie from the nearest of them (the mean of
    // the summed squared channel differences, over a sample).
    double error = 0;
};

// Of count pixels, every this many-th is weighed when the error of
// colours for them is told (about 1024 of them).
inline std::size_t ErrorSampleStep(std::size_t count)
{
    constexpr std::size_t kErrorSamples = 1024;
    return count / kErrorSamples > 1 ? count / kErrorSamples : 1;
}

// How far the opaque pixels of every step-th of count pixels lie from the
// nearest of palette's opaque colours, as ChosenColours::error tells it.
double MeanError(const std::uint8_t* rgba, std::size_t count, std::size_t step,
                 const std::vector<std::uint32_t>& palette);

// Chooses colours for the opaque pixels as QuantiseRgba does, leaving one
// entry free for transparent pixels.
bool ChooseColours(const std::uint8_t* rgba, int width, int height, const GifLevels& levels,
                   ChosenColours& out, std::string* reason);

// Reduces pixels as QuantiseRgba does, but to chosen colours. False, and
// nothing reduced, when they do not serve: the pixels lie further from them
// than levels.paletteReuse allows beyond chosen.error, or transparent pixels
// find no free entry.
bool RemapRgba(const std::uint8_t* rgba, int width, int height, const GifLevels& levels,
               const ChosenColours& chosen, QuantisedImage& out);

} // namespace qf::imaging
