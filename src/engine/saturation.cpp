// Saturation boost: each channel v of a pixel becomes v + k (v - a), a being
// the truncated average of the pixel's three channels, rounded half to even
// and clamped to 0..255.
//
// The result depends only on v and a, so it is a 256 x 256 table per factor;
// the two factors the engine uses keep theirs for the life of the program.
#include "stages.h"

#include "rounding.h"

namespace qf {

namespace {

std::vector<std::uint8_t> MakeTable(float k)
{
    std::vector<std::uint8_t> table(256 * 256);
    for (int a = 0; a < 256; ++a) {
        for (int v = 0; v < 256; ++v) {
            const double boosted = v + static_cast<double>(k) * (v - a);
            table[static_cast<std::size_t>(a * 256 + v)] =
                static_cast<std::uint8_t>(ClampByte(RoundHalfEven(boosted)));
        }
    }
    return table;
}

} // namespace

SaturationBoost::SaturationBoost(float k)
{
    if (k == kSketchSaturation) {
        static const std::vector<std::uint8_t> sketch = MakeTable(kSketchSaturation);
        table_ = sketch.data();
    } else if (k == kVividSaturation) {
        static const std::vector<std::uint8_t> vivid = MakeTable(kVividSaturation);
        table_ = vivid.data();
    } else {
        own_ = MakeTable(k);
        table_ = own_.data();
    }
}

void BoostSaturation(ColourPlane& layer, float k)
{
    const SaturationBoost boost(k);
    const std::size_t bytes = layer.size();
    std::uint8_t* p = layer.data();
    for (std::size_t i = 0; i < bytes; i += 3) {
        const int a = ThirdsTable[static_cast<std::size_t>(p[i] + p[i + 1] + p[i + 2])];
        p[i] = boost(p[i], a);
        p[i + 1] = boost(p[i + 1], a);
        p[i + 2] = boost(p[i + 2], a);
    }
}

} // namespace qf
