// The variant colour stages: one more layer derived from the final
// SketchOverColor, chosen by the variant that will be rendered. Every stage
// maps each pixel on its own, so all walk the planes in memory order.
#include "stages.h"

#include "colour_model.h"
#include "rounding.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

namespace {

// vivid[c] = round(c ((255 - c) / 255 * 0.75 + 1)), clamped: lifts the
// mid-tones, keeps 0 and 255.
const std::array<std::uint8_t, 256>& VividCurve()
{
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        for (int c = 0; c < 256; ++c) {
            const double v = c * ((255 - c) / 255.0 * 0.75 + 1.0);
            t[static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(ClampByte(RoundHalfEven(v)));
        }
        return t;
    }();
    return table;
}

// The tint keeps only a pixel's lightness, which depends on nothing but its
// largest and smallest channel; tint[(max * 256 + min) * 3 + c] holds the
// tinted blue, green, red of every such pair.
const std::vector<std::uint8_t>& TintTable()
{
    static const std::vector<std::uint8_t> table = [] {
        std::vector<std::uint8_t> t(256 * 256 * 3, 0);
        for (int mx = 0; mx < 256; ++mx) {
            for (int mn = 0; mn <= mx; ++mn) {
                float hue = 0.0f;
                float saturation = 0.0f;
                float lightness = 0.0f;
                RgbToHsl(mx, mn, mn, hue, saturation, lightness);
                int red = 0;
                int green = 0;
                int blue = 0;
                HslToRgb(kTintHue, kTintSaturation, lightness, red, green, blue);
                std::uint8_t* entry = &t[static_cast<std::size_t>(mx * 256 + mn) * 3];
                entry[0] = static_cast<std::uint8_t>(blue);
                entry[1] = static_cast<std::uint8_t>(green);
                entry[2] = static_cast<std::uint8_t>(red);
            }
        }
        return t;
    }();
    return table;
}

// poster[i] = round(i / 256) * 256, at most 255: 0 up to 128, 255 above.
const std::array<std::uint8_t, 256>& PosterTable()
{
    static const std::array<std::uint8_t, 256> table = [] {
        std::array<std::uint8_t, 256> t{};
        const float step = 256.0f;
        for (int i = 0; i < 256; ++i) {
            const int v = RoundHalfEven(i / static_cast<double>(step)) * 256;
            t[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v > 255 ? 255 : v);
        }
        return t;
    }();
    return table;
}

void BuildVividLayer(EngineState& s)
{
    // The curve, then the saturation boost by 1.28, pixel by pixel.
    const auto& vivid = VividCurve();
    const SaturationBoost boost(kVividSaturation);
    const std::size_t bytes = s.SketchOverColor.size();
    const std::uint8_t* in = s.SketchOverColor.data();
    std::uint8_t* out = s.VividLayer.data();
    for (std::size_t i = 0; i < bytes; i += 3) {
        const int c0 = vivid[in[i]];
        const int c1 = vivid[in[i + 1]];
        const int c2 = vivid[in[i + 2]];
        const int a = ThirdsTable[static_cast<std::size_t>(c0 + c1 + c2)];
        out[i] = boost(c0, a);
        out[i + 1] = boost(c1, a);
        out[i + 2] = boost(c2, a);
    }
}

void BuildTintLayer(EngineState& s)
{
    s.TintLayer.reshape(3, s.SketchOverColor.width(), s.SketchOverColor.height()); // every pixel is written
    const std::uint8_t* tint = TintTable().data();
    const std::size_t bytes = s.SketchOverColor.size();
    const std::uint8_t* in = s.SketchOverColor.data();
    std::uint8_t* out = s.TintLayer.data();
    for (std::size_t p = 0; p < bytes; p += 3) {
        const std::uint8_t b = in[p];
        const std::uint8_t g = in[p + 1];
        const std::uint8_t r = in[p + 2];
        const int mx = std::max({b, g, r});
        const int mn = std::min({b, g, r});
        const std::uint8_t* entry = tint + static_cast<std::size_t>(mx * 256 + mn) * 3;
        out[p] = entry[0];
        out[p + 1] = entry[1];
        out[p + 2] = entry[2];
    }
}

// With more ink, a channel must be brighter by inkShift to reach the same
// level: both tables are read at the value less the shift.
void BuildPosterLayer(EngineState& s, int inkShift)
{
    std::array<std::uint8_t, 256> poster{};
    for (int i = 0; i < 256; ++i) {
        poster[static_cast<std::size_t>(i)] =
            PosterTable()[static_cast<std::size_t>(ClampByte(i - inkShift))];
    }
    const std::size_t bytes = s.SketchOverColor.size();
    const std::uint8_t* in = s.SketchOverColor.data();
    std::uint8_t* out = s.PosterLayer.data();
    for (std::size_t i = 0; i < bytes; ++i) {
        out[i] = poster[in[i]];
    }
}

void BuildContrastLayer(EngineState& s, int inkShift)
{
    const std::size_t bytes = s.SketchOverColor.size();
    const std::uint8_t* in = s.SketchOverColor.data();
    std::uint8_t* out = s.ContrastLayer.data();
    for (std::size_t i = 0; i < bytes; ++i) {
        out[i] = static_cast<std::uint8_t>(ClampByte((in[i] - inkShift) * 10 - 1143));
    }
}

void BuildSketchGreyPlanes(EngineState& s)
{
    const std::size_t pixels = s.SketchGrayPlane.size();
    const std::uint8_t* in = s.SketchOverColor.data();
    std::uint8_t* grey = s.SketchGrayPlane.data();
    std::uint8_t* grey8 = s.SketchGray8Plane.data();
    for (std::size_t p = 0; p < pixels; ++p) {
        const int g = (in[p * 3] + in[p * 3 + 1] + in[p * 3 + 2]) / 3;
        grey[p] = static_cast<std::uint8_t>(g);
        grey8[p] = static_cast<std::uint8_t>(32 * (g / 32));
    }
}

} // namespace

void BuildVariantLayer(EngineState& s, BaseLayer base, int inkShift)
{
    switch (base) {
    case BaseLayer::Vivid:
        BuildVividLayer(s);
        break;
    case BaseLayer::Tint:
        BuildTintLayer(s);
        break;
    case BaseLayer::Poster:
        BuildPosterLayer(s, inkShift);
        break;
    case BaseLayer::Contrast:
        BuildContrastLayer(s, inkShift);
        break;
    case BaseLayer::EightGreys:
    case BaseLayer::Greys:
        BuildSketchGreyPlanes(s);
        break;
    case BaseLayer::Sketch:
    case BaseLayer::Dots:
    case BaseLayer::Pencil:
    case BaseLayer::SketchOverColor:
        break; // made by the earlier stages
    }
}

} // namespace qf
