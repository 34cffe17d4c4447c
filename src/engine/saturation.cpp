// Saturation boost: each channel v of a pixel becomes v + k (v - a), a being
// the truncated average of the pixel's three channels, rounded half to even
// and clamped to 0..255.
//
// k (v - a) is exact in double precision (a single times an integer below
// 512) and, with k held in single precision, never exactly halfway between
// two integers, so round(v + k d) = v + round(k d): the boost is one table
// lookup per channel, indexed by d = v - a.
#include "stages.h"

#include "rounding.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace qf {

void BoostSaturation(ColourPlane& layer, float k)
{
    std::array<int, 511> push{}; // push[d + 255] = round(k * d)
    for (int d = -255; d <= 255; ++d) {
        push[static_cast<std::size_t>(d + 255)] = RoundHalfEven(static_cast<double>(k) * d);
    }

    const std::size_t pixels = static_cast<std::size_t>(layer.width()) * static_cast<std::size_t>(layer.height());
    std::uint8_t* p = layer.data();
    for (std::size_t i = 0; i < pixels; ++i, p += 3) {
        const int c0 = p[0];
        const int c1 = p[1];
        const int c2 = p[2];
        const int a = ThirdsTable[static_cast<std::size_t>(c0 + c1 + c2)];
        p[0] = static_cast<std::uint8_t>(ClampByte(c0 + push[static_cast<std::size_t>(c0 - a + 255)]));
        p[1] = static_cast<std::uint8_t>(ClampByte(c1 + push[static_cast<std::size_t>(c1 - a + 255)]));
        p[2] = static_cast<std::uint8_t>(ClampByte(c2 + push[static_cast<std::size_t>(c2 - a + 255)]));
    }
}

} // namespace qf
