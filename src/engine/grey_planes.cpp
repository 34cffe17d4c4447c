// SourceCopy, GrayPlane and Gray4Plane: the frame's colours, its grey level
// (the truncated channel average) and that grey posterised to 0, 64, 128, 192.
#include "stages.h"

#include "pixel_loops.h"

#include <cstddef>
#include <cstdint>

namespace qf {

QF_PIXEL_LOOP void PrepareGreyPlanes(EngineState& s)
{
    const std::size_t pixels = s.GrayPlane.size();
    const std::size_t srcChannels = static_cast<std::size_t>(s.SourcePlanes.channels());
    const std::uint8_t* __restrict src = s.SourcePlanes.data();
    std::uint8_t* __restrict copy = s.SourceCopy.data();
    std::uint8_t* __restrict grey = s.GrayPlane.data();
    std::uint8_t* __restrict grey4 = s.Gray4Plane.data();

    auto prepare = [&](std::size_t channels) {
        for (std::size_t p = 0; p < pixels; ++p) {
            const std::uint8_t* in = src + p * channels;
            std::uint8_t* out = copy + p * 3;
            out[0] = in[0];
            out[1] = in[1];
            out[2] = in[2];
            const unsigned g = Third(static_cast<unsigned>(in[0] + in[1] + in[2]));
            grey[p] = static_cast<std::uint8_t>(g);
            grey4[p] = static_cast<std::uint8_t>(g & 0xC0u); // (g / 64) * 64
        }
    };
    // Frames from pictures have four channels; a fixed stride lets the
    // compiler lay the loop out for it.
    if (srcChannels == 4) {
        prepare(4);
    } else {
        prepare(srcChannels);
    }
}

} // namespace qf
