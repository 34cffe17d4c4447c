// SourceCopy, GrayPlane and Gray4Plane: the frame's colours, its grey level
// (the truncated channel average) and that grey posterised to 0, 64, 128, 192.
#include "stages.h"

#include "pixel_loops.h"

#include <cstddef>
#include <cstdint>

namespace qf {

namespace {

// The truncated third of a channel sum (0..765) as a multiply and a shift,
// which vectorises where a division does not: 21846 / 65536 exceeds 1/3 by
// less than 1/3 / 765, so no sum reaches the next whole number early.
constexpr unsigned Third(unsigned sum)
{
    return (sum * 21846u) >> 16;
}

constexpr bool ThirdIsExact()
{
    for (unsigned sum = 0; sum <= 765; ++sum) {
        if (Third(sum) != sum / 3) {
            return false;
        }
    }
    return true;
}
static_assert(ThirdIsExact());

} // namespace

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
