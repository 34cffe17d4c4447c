// The black-on-white line sketch: a pixel is a line (0) when it collected at
// least the votes asked or is darker than the dark limit, paper (255) otherwise;
// then lone line pixels inside the frame are whitened.
#include "stages.h"

#include <cstddef>
#include <cstdint>

namespace qf {

void DrawSketchLines(EngineState& s, int voteMin, int darkLimit)
{
    const std::size_t pixels = s.GrayPlane.size();
    const std::uint8_t* votes = s.EdgeCount.data();
    const std::uint8_t* grey = s.GrayPlane.data();
    std::uint8_t* out = s.SketchLayer.data();

    for (std::size_t p = 0; p < pixels; ++p) {
        std::uint8_t v = votes[p] < voteMin ? 255 : 0;
        if (grey[p] < darkLimit) {
            v = 0;
        }
        out[p * 3] = v;
        out[p * 3 + 1] = v;
        out[p * 3 + 2] = v;
    }
}

// Whitening a pixel needs all its neighbours white, so it can never make a
// neighbour lone: the result does not depend on the visiting order.
void RemoveLonePixels(ColourPlane& layer)
{
    const int width = layer.width();
    const int height = layer.height();
    const std::ptrdiff_t row = static_cast<std::ptrdiff_t>(width) * 3;
    std::uint8_t* base = layer.data();

    for (int y = 1; y + 1 < height; ++y) {
        std::uint8_t* p = base + (static_cast<std::ptrdiff_t>(y) * width + 1) * 3;
        for (int x = 1; x + 1 < width; ++x, p += 3) {
            if (p[0] != 0) {
                continue;
            }
            const std::uint8_t* below = p - row;
            const std::uint8_t* above = p + row;
            if (below[-3] == 255 && below[0] == 255 && below[3] == 255 && p[-3] == 255 && p[3] == 255
                && above[-3] == 255 && above[0] == 255 && above[3] == 255) {
                p[0] = p[1] = p[2] = 255;
            }
        }
    }
}

} // namespace qf
