// Sketch depth: the solid black lines of SketchLayer take half the frame's
// brightness at that point, either its colour (then boosted by 0.7) or its
// grey level. Paper (channel 0 at 255) is left alone.
#include "stages.h"

#include "rounding.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace qf {

namespace {

// half[v] = round(v / 2), ties to even: 3 gives 2, 5 gives 2, 255 gives 128.
const std::array<std::uint8_t, 256>& HalfTable()
{
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        for (int v = 0; v < 256; ++v) {
            t[static_cast<std::size_t>(v)] = static_cast<std::uint8_t>(RoundHalfEven(v * 0.5));
        }
        return t;
    }();
    return table;
}

} // namespace

void AdjustSketchDepth(EngineState& s, bool colour)
{
    const auto& half = HalfTable();
    const std::size_t pixels = s.GrayPlane.size();
    std::uint8_t* sketch = s.SketchLayer.data();

    if (colour) {
        const std::uint8_t* src = s.SourceCopy.data();
        for (std::size_t p = 0; p < pixels * 3; p += 3) {
            if (sketch[p] == 0) {
                sketch[p] = half[src[p]];
                sketch[p + 1] = half[src[p + 1]];
                sketch[p + 2] = half[src[p + 2]];
            }
        }
        BoostSaturation(s.SketchLayer, kSketchSaturation);
    } else {
        const std::uint8_t* grey = s.GrayPlane.data();
        for (std::size_t p = 0; p < pixels; ++p) {
            std::uint8_t* out = sketch + p * 3;
            if (out[0] == 0) {
                const std::uint8_t v = half[grey[p]];
                out[0] = out[1] = out[2] = v;
            }
        }
    }
}

} // namespace qf
