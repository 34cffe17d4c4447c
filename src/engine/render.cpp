// Variant rendering: the chosen variant is composed from the engine's layers
// into SourcePlanes channels 0-2, the work buffers are emptied, and the
// picture is blurred and/or sharpened as the switches say.
#include "stages.h"

#include "pixel_loops.h"
#include "rounding.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace qf {

namespace {

// What a variant shows: a colour layer or a grey plane as its base, with or
// without the dots of DitherLayer over it.
struct Composition {
    const ColourPlane* base = nullptr;
    const GreyPlane* greyBase = nullptr;
    bool dots = false;
};

Composition CompositionOf(const EngineState& s, int VariantIndex)
{
    if (VariantIndex < 0 || VariantIndex >= kVariantCount) {
        return {};
    }
    const VariantInfo& variant = kVariants[static_cast<std::size_t>(VariantIndex)];
    const bool dots = variant.dots;
    switch (variant.base) {
    case BaseLayer::Sketch:
        return {&s.SketchLayer, nullptr, dots};
    case BaseLayer::Dots:
        return {&s.DitherLayer, nullptr, dots};
    case BaseLayer::Pencil:
        return {&s.PencilLayer, nullptr, dots};
    case BaseLayer::Vivid:
        return {&s.VividLayer, nullptr, dots};
    case BaseLayer::SketchOverColor:
        return {&s.SketchOverColor, nullptr, dots};
    case BaseLayer::Tint:
        return {&s.TintLayer, nullptr, dots};
    case BaseLayer::Poster:
        return {&s.PosterLayer, nullptr, dots};
    case BaseLayer::Contrast:
        return {&s.ContrastLayer, nullptr, dots};
    case BaseLayer::EightGreys:
        return {nullptr, &s.SketchGray8Plane, dots};
    case BaseLayer::Greys:
        return {nullptr, &s.SketchGrayPlane, dots};
    }
    return {};
}

// One row of a composition: each pixel of out takes the dot's three channels
// where dots has a dot (a pixel that is not white), else the base's. The
// dots of a dither are scattered like noise, so the choice is made with a
// mask rather than a branch. A grey base (Grey) has one channel, given to
// all three. The strides are template arguments for the planes the engine
// makes (4-channel frames, 3-channel layers), so that the compiler can lay
// the row out without a multiply per pixel.
template <bool Grey, std::size_t OutChannels, std::size_t DotChannels>
QF_PIXEL_LOOP void ComposeRow(std::uint8_t* __restrict out, std::size_t outChannels,
                              const std::uint8_t* __restrict base, std::size_t baseChannels,
                              const std::uint8_t* __restrict dots, std::size_t dotChannels, int width)
{
    if constexpr (OutChannels != 0) {
        outChannels = OutChannels;
    }
    if constexpr (DotChannels != 0) {
        dotChannels = DotChannels;
        baseChannels = Grey ? 1 : DotChannels;
    }
    constexpr std::size_t b1 = Grey ? 0 : 1;
    constexpr std::size_t b2 = Grey ? 0 : 2;
    const std::size_t n = static_cast<std::size_t>(width);
    if (dots == nullptr) {
        for (std::size_t x = 0; x < n; ++x) {
            const std::uint8_t* b = base + x * baseChannels;
            std::uint8_t* o = out + x * outChannels;
            o[0] = b[0];
            o[1] = b[b1];
            o[2] = b[b2];
        }
        return;
    }
    for (std::size_t x = 0; x < n; ++x) {
        const std::uint8_t* b = base + x * baseChannels;
        const std::uint8_t* d = dots + x * dotChannels;
        std::uint8_t* o = out + x * outChannels;
        const unsigned white = (d[0] & d[1] & d[2]) == 255 ? 1u : 0u;
        const unsigned dot = white - 1u; // all ones for a dot
        o[0] = static_cast<std::uint8_t>((d[0] & dot) | (b[0] & ~dot));
        o[1] = static_cast<std::uint8_t>((d[1] & dot) | (b[b1] & ~dot));
        o[2] = static_cast<std::uint8_t>((d[2] & dot) | (b[b2] & ~dot));
    }
}

// The region of the frame that the planes of one composition cover.
void ClipTo(const ColourPlane& layer, int& width, int& height)
{
    if (layer.channels() < 3) {
        width = height = 0;
    }
    width = std::min(width, layer.width());
    height = std::min(height, layer.height());
}

} // namespace

void ComposeVariant(EngineState& s, int VariantIndex)
{
    const Composition comp = CompositionOf(s, VariantIndex);
    if (comp.base == nullptr && comp.greyBase == nullptr) {
        return;
    }
    ColourPlane& target = s.SourcePlanes;
    int width = std::min(s.MaxX + 1, target.width());
    int height = std::min(s.MaxY + 1, target.height());
    ClipTo(target, width, height);
    if (comp.base != nullptr) {
        ClipTo(*comp.base, width, height);
    } else {
        width = std::min(width, comp.greyBase->width());
        height = std::min(height, comp.greyBase->height());
    }
    if (comp.dots) {
        ClipTo(s.DitherLayer, width, height);
    }
    if (width <= 0 || height <= 0) {
        return;
    }

    const std::size_t targetChannels = static_cast<std::size_t>(target.channels());
    const std::size_t dotChannels = static_cast<std::size_t>(s.DitherLayer.channels());
    const std::size_t baseChannels =
        comp.base != nullptr ? static_cast<std::size_t>(comp.base->channels()) : 0;
    // The frames and layers the engine makes, and any others.
    const bool usual = targetChannels == 4 && (!comp.dots || dotChannels == 3)
                       && (comp.base == nullptr || baseChannels == 3);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = target.data() + target.index(0, 0, y);
        const std::uint8_t* dots = comp.dots ? s.DitherLayer.data() + s.DitherLayer.index(0, 0, y) : nullptr;
        if (comp.base != nullptr) {
            const std::uint8_t* base = comp.base->data() + comp.base->index(0, 0, y);
            if (usual) {
                ComposeRow<false, 4, 3>(out, 4, base, 3, dots, 3, width);
            } else {
                ComposeRow<false, 0, 0>(out, targetChannels, base, baseChannels, dots, dotChannels, width);
            }
        } else {
            const std::uint8_t* grey = comp.greyBase->data() + comp.greyBase->index(0, y);
            if (usual) {
                ComposeRow<true, 4, 3>(out, 4, grey, 1, dots, 3, width);
            } else {
                ComposeRow<true, 0, 0>(out, targetChannels, grey, 1, dots, dotChannels, width);
            }
        }
    }
}

void ReleaseWorkBuffers(EngineState& s)
{
    // The storage is kept for the next run; the planes are empty.
    s.GrayPlane.clear();
    s.Gray4Plane.clear();
    s.SketchGrayPlane.clear();
    s.SketchGray8Plane.clear();
    s.EdgeCount.clear();
    s.SketchLayer.clear();
    s.SourceCopy.clear();
    s.SketchOverColor.clear();
    s.VividLayer.clear();
    s.PosterLayer.clear();
    s.ContrastLayer.clear();
    s.Gray4Color.clear();
}

void FinishPlanes(EngineState& s, const Switches& switches)
{
    if (switches.blurTicked()) {
        s.BlurPlanes();
    }
    if (switches.sharpenTicked()) {
        s.SharpenPlanes(1.0f);
    }
}

void EngineState::RenderVariant(int VariantIndex, const Switches& switches)
{
    ComposeVariant(*this, VariantIndex);
    ReleaseWorkBuffers(*this);
    FinishPlanes(*this, switches);
}

// Both filters read only the neighbours to the right of and above a pixel,
// which are filtered after it, so walking rows upward and each row left to
// right filters from unfiltered values exactly as a column-by-column walk
// does. Column MaxX and row MaxY keep their values.

void EngineState::BlurPlanes()
{
    const int width = std::min(MaxX + 1, SourcePlanes.width());
    const int height = std::min(MaxY + 1, SourcePlanes.height());
    if (width < 2 || height < 2 || SourcePlanes.channels() < 3) {
        return;
    }
    static const std::array<std::uint8_t, 1021> quarter = [] {
        std::array<std::uint8_t, 1021> t{};
        for (int sum = 0; sum <= 1020; ++sum) {
            t[static_cast<std::size_t>(sum)] = static_cast<std::uint8_t>(ClampByte(RoundHalfEven(sum / 4.0)));
        }
        return t;
    }();

    const std::size_t channels = static_cast<std::size_t>(SourcePlanes.channels());
    const std::size_t row = channels * static_cast<std::size_t>(SourcePlanes.width());
    for (int y = 0; y + 1 < height; ++y) {
        std::uint8_t* p = SourcePlanes.data() + SourcePlanes.index(0, 0, y);
        for (int x = 0; x + 1 < width; ++x, p += channels) {
            for (std::size_t c = 0; c < 3; ++c) {
                const int sum = p[c] + p[c + channels] + p[c + row] + p[c + row + channels];
                p[c] = quarter[static_cast<std::size_t>(sum)];
            }
        }
    }
}

void EngineState::SharpenPlanes(float Amount)
{
    const int width = std::min(MaxX + 1, SourcePlanes.width());
    const int height = std::min(MaxY + 1, SourcePlanes.height());
    if (width < 2 || height < 2 || SourcePlanes.channels() < 3) {
        return;
    }
    // k1 = Amount + 1 and k2 = -Amount / 3, each held in single precision.
    const float k1 = static_cast<float>(static_cast<double>(Amount) + 1.0);
    const float k2 = static_cast<float>(-static_cast<double>(Amount) / 3.0);
    // own[P] = round(P k1); around[S] = round(k2 S), S the sum of the three
    // neighbours.
    std::array<double, 256> own{};
    for (int v = 0; v < 256; ++v) {
        own[static_cast<std::size_t>(v)] = std::nearbyint(v * static_cast<double>(k1));
    }
    std::array<double, 766> around{};
    for (int sum = 0; sum < 766; ++sum) {
        around[static_cast<std::size_t>(sum)] = std::nearbyint(static_cast<double>(k2) * sum);
    }

    const std::size_t channels = static_cast<std::size_t>(SourcePlanes.channels());
    const std::size_t row = channels * static_cast<std::size_t>(SourcePlanes.width());
    for (int y = 0; y + 1 < height; ++y) {
        std::uint8_t* p = SourcePlanes.data() + SourcePlanes.index(0, 0, y);
        for (int x = 0; x + 1 < width; ++x, p += channels) {
            for (std::size_t c = 0; c < 3; ++c) {
                const int sum = p[c + row] + p[c + channels] + p[c + row + channels];
                const double v = own[p[c]] + around[static_cast<std::size_t>(sum)];
                // Clamped to 0..255 (a non-number counts as 0).
                p[c] = static_cast<std::uint8_t>(v > 255.0 ? 255.0 : (v >= 0.0 ? v : 0.0));
            }
        }
    }
}

} // namespace qf
