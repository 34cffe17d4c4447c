// SourceCopy, GrayPlane and Gray4Plane: the frame's colours, its grey level
// (the truncated channel average) and that grey posterised to 0, 64, 128, 192.
#include "stages.h"

#include <cstddef>
#include <cstdint>

namespace qf {

void PrepareGreyPlanes(EngineState& s)
{
    const std::size_t pixels = s.GrayPlane.size();
    const std::size_t srcChannels = static_cast<std::size_t>(s.SourcePlanes.channels());
    const std::uint8_t* src = s.SourcePlanes.data();
    std::uint8_t* copy = s.SourceCopy.data();
    std::uint8_t* grey = s.GrayPlane.data();
    std::uint8_t* grey4 = s.Gray4Plane.data();

    for (std::size_t p = 0; p < pixels; ++p) {
        const std::uint8_t* in = src + p * srcChannels;
        std::uint8_t* out = copy + p * 3;
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        const int g = (in[0] + in[1] + in[2]) / 3;
        grey[p] = static_cast<std::uint8_t>(g);
        grey4[p] = static_cast<std::uint8_t>((g / 64) * 64);
    }
}

} // namespace qf
