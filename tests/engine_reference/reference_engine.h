// A plain second implementation of the effect engine and the variant
// renderer, used only by the tests to check the real engine byte for byte.
// It shares no code with src/engine: every stage is written out in its stated
// loop order with 32-bit ints, float where single precision is the rule,
// ties-to-even rounding and truncating division. Clarity over speed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qfref {

// Bytes indexed (channel, x, y), channel fastest, then x, then y; y = 0 is
// the bottom row. A grey plane has one channel.
struct Plane {
    int C = 0, W = 0, H = 0;
    std::vector<std::uint8_t> px;

    Plane() = default;
    Plane(int c, int w, int h) : C(c), W(w), H(h), px(static_cast<std::size_t>(c) * w * h) {}
    std::uint8_t& operator()(int c, int x, int y)
    {
        return px.at(static_cast<std::size_t>(c + C * (x + W * y)));
    }
    std::uint8_t& operator()(int x, int y) { return (*this)(0, x, y); }
};

// The five check boxes, 0 (unticked), 1 (ticked) or 2 (grey) each.
struct RefSwitches {
    int ColorSketch = 0, Sharpen = 0, MixColor = 1, Adjust = 1, Blur = 0;
};

struct ReferenceEngine {
    Plane SourcePlanes, PencilTexture, PencilTexture2; // 4 channels each
    int ColorDiffLimit = 28, EdgeVoteMin = 1, DarkLimit = 70, MixRadius = 10, DitherErrorDivisor = 20;
    int MaxX = -1, MaxY = -1;
    // Reallocated by every ComputeEffectLayers call.
    Plane GrayPlane, Gray4Plane, SketchGrayPlane, SketchGray8Plane, EdgeCount, SketchLayer, SourceCopy,
        SketchOverColor, VividLayer, PosterLayer, ContrastLayer, PencilLayer, Gray4Color;
    // Reallocated only by their own stage: early stops keep them.
    Plane GrayEdgeKey, DitherLayer, TintLayer;

    // The texture and its copy rotated left by 27 columns.
    void SetPencilTexture(const Plane& texture);
    void ComputeEffectLayers(int VariantIndex, int FrameNumber, const RefSwitches& sw);
    void RenderVariant(int VariantIndex, const RefSwitches& sw);

private:
    void CountEdgeVotes(Plane& C, Plane& K, Plane& V);
    void MixSimilarColours();
    void DitherPencil(const RefSwitches& sw);
    void BuildVariantLayer(int VariantIndex);
};

} // namespace qfref
