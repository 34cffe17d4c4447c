// Small frames and textures for the engine tests.
#pragma once

#include "engine/engine.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

namespace qf::test {

using Bgr = std::array<int, 3>; // blue, green, red

// A 4-channel frame, bottom row first; pixel(x, y) gives blue, green, red.
inline ColourPlane MakeFrame(int width, int height, const std::function<Bgr(int x, int y)>& pixel)
{
    ColourPlane frame(4, width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const Bgr p = pixel(x, y);
            for (int c = 0; c < 3; ++c) {
                frame(c, x, y) = static_cast<std::uint8_t>(p[static_cast<std::size_t>(c)]);
            }
            frame(3, x, y) = 255;
        }
    }
    return frame;
}

inline ColourPlane UniformFrame(int width, int height, Bgr colour)
{
    return MakeFrame(width, height, [colour](int, int) { return colour; });
}

// A frame of grey levels given row by row, TOP row first as one reads them.
inline ColourPlane GreyFrame(const std::vector<std::vector<int>>& rowsTopDown)
{
    const int height = static_cast<int>(rowsTopDown.size());
    const int width = static_cast<int>(rowsTopDown[0].size());
    return MakeFrame(width, height, [&](int x, int y) {
        const int g = rowsTopDown[static_cast<std::size_t>(height - 1 - y)][static_cast<std::size_t>(x)];
        return Bgr{g, g, g};
    });
}

// A deterministic frame of smooth colour regions, edges, dark patches and
// noise: enough to exercise every branch of every stage.
inline ColourPlane BusyFrame(int width, int height, std::uint32_t seed)
{
    std::uint32_t state = seed * 2654435761u + 12345u;
    auto next = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    };
    return MakeFrame(width, height, [&](int x, int y) {
        const std::uint32_t r = next();
        const int noise = static_cast<int>(r % 23) - 11;
        const int region = ((x / 7) + (y / 5) * 3 + static_cast<int>(seed)) % 6;
        Bgr base;
        switch (region) {
        case 0: base = {30, 40, 200}; break;   // red
        case 1: base = {0, 220, 230}; break;   // yellow: blue channel 0
        case 2: base = {200, 180, 170}; break; // light
        case 3: base = {20, 25, 30}; break;    // dark
        case 4: base = {x * 255 / (width + 1), 128, y * 255 / (height + 1)}; break;
        default: base = {128, 128, 128}; break;
        }
        if ((r >> 8) % 9 == 0) {
            return base; // some pixels exactly on the region colour
        }
        Bgr p;
        for (int c = 0; c < 3; ++c) {
            p[static_cast<std::size_t>(c)] = std::clamp(base[static_cast<std::size_t>(c)] + noise * (c + 1), 0, 255);
        }
        return p;
    });
}

// A grey 4-channel texture whose value depends on x and y.
inline ColourPlane StripeTexture(int width, int height)
{
    return MakeFrame(width, height, [](int x, int y) {
        const int g = (x * 37 + y * 11) % 256;
        return Bgr{g, g, g};
    });
}

inline ColourPlane UniformTexture(int width, int height, int grey)
{
    return UniformFrame(width, height, {grey, grey, grey});
}

inline Bgr PixelOf(const ColourPlane& plane, int x, int y)
{
    return {plane(0, x, y), plane(1, x, y), plane(2, x, y)};
}

// One variant the way the window renders a snapshot or a frame: the frame is
// read into SourcePlanes, the layers computed, the variant rendered.
inline ColourPlane RenderOne(EngineState& state, const ColourPlane& frame, int variant, int frameNumber,
                             const Switches& switches)
{
    state.SourcePlanes = frame;
    state.ComputeEffectLayers(variant, frameNumber, switches);
    state.RenderVariant(variant, switches);
    return state.SourcePlanes;
}

} // namespace qf::test
