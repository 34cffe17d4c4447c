// Mapping pixels to a chosen palette with error diffusion.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace qf::imaging {

// Finds the palette entry nearest a colour by summed squared channel
// difference, ties going to the lower entry. Transparent entries (0) are
// never chosen.
class NearestColour {
public:
    // palette: packed 0xFFRRGGBB, or 0 for a transparent entry.
    explicit NearestColour(const std::vector<std::uint32_t>& palette);

    bool empty() const { return entries_.empty(); }
    // The entry nearest (r, g, b); guess, an entry likely to be near (such
    // as the neighbour's), only speeds the search up.
    int find(int r, int g, int b, int guess) const;

private:
    struct Entry {
        std::int32_t r, g, b, sum;
        std::int32_t index;
    };
    // Opaque entries by the sum of their channels: a colour whose sum differs
    // from the query's by s lies at least s^2 / 3 away from it, so the search
    // walks out both ways from the query's sum and stops where that passes
    // the nearest found so far.
    std::vector<Entry> entries_;
    std::array<std::uint16_t, 3 * 255 + 2> firstAtSum_{};
    std::vector<std::uint32_t> palette_;
};

// Maps width x height straight-RGBA pixels (alpha 0 or 255) to palette, row
// by row from the top, with serpentine Floyd-Steinberg error diffusion of
// strength dithering (0: none, 1: full). Transparent pixels map to the
// palette's transparent entry and pass no error on. indexes holds one entry
// per pixel. The palette has at least one opaque entry, and a transparent
// one when any pixel is transparent.
void MapToPalette(const std::uint8_t* rgba, int width, int height, const std::vector<std::uint32_t>& palette,
                  float dithering, std::uint8_t* indexes);

} // namespace qf::imaging
