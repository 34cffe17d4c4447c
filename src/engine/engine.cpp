// The engine's entry points: the order of the stages, which switches gate
// them, where a run stops early, and the snapshot run that shares the stages
// all 17 variants have in common.
#include "engine.h"

#include "stages.h"

namespace qf {

namespace {

// The variants whose runs stop before the colours are mixed (steps 9) and
// before the dots are made (step 11).
constexpr bool StopsBeforeMixing(int VariantIndex)
{
    return VariantIndex == 0 || VariantIndex == 2;
}
constexpr bool StopsBeforeDots(int VariantIndex)
{
    return StopsBeforeMixing(VariantIndex) || VariantIndex == 5;
}

// Steps 1 to 8: everything every variant needs.
void ComputeSketchStages(EngineState& s, int FrameNumber, const Switches& switches)
{
    // A frame without its three colour channels counts as an empty frame.
    const bool usable = s.SourcePlanes.channels() >= 3;
    const int width = usable ? s.SourcePlanes.width() : 0;
    const int height = usable ? s.SourcePlanes.height() : 0;
    s.MaxX = width - 1;
    s.MaxY = height - 1;
    AllocateWorkBuffers(s, width, height);

    PrepareGrayPlanes(s);
    CountEdgeVotes(s.SourceCopy, s.GrayPlane, s.EdgeCount, s.Settings.ColorDiffLimit);
    DrawSketchLines(s);
    RemoveLonePixels(s.SketchLayer);
    if (switches.adjustTicked()) {
        AdjustSketchDepth(s, switches.colorSketchTicked());
    }
    BuildPencilLayer(s, FrameNumber, switches.colorSketchTicked());
}

// Step 10: SketchOverColor, mixed or plain.
void ComputeSketchOverColor(EngineState& s, const Switches& switches)
{
    if (switches.mixColorTicked()) {
        MixSimilarColors(s);
    } else {
        BuildSketchOverColor(s);
    }
}

// Step 12: the dots.
void ComputeDots(EngineState& s, const Switches& switches)
{
    DitherPencil(s);
    AdjustDitherDepth(s, switches);
}

} // namespace

void AllocateWorkBuffers(EngineState& s, int width, int height)
{
    s.GrayPlane.reset(width, height);
    s.Gray4Plane.reset(width, height);
    s.SketchGrayPlane.reset(width, height);
    s.SketchGray8Plane.reset(width, height);
    s.EdgeCount.reset(width, height);
    s.SketchLayer.reset(3, width, height);
    s.SourceCopy.reset(3, width, height);
    s.SketchOverColor.reset(3, width, height);
    s.VividLayer.reset(3, width, height);
    s.PosterLayer.reset(3, width, height);
    s.ContrastLayer.reset(3, width, height);
    s.PencilLayer.reset(3, width, height);
    s.Gray4Color.reset(3, width, height);
}

void EngineState::SetPencilTexture(const ColourPlane& texture)
{
    PencilTexture = texture;
    const int width = texture.width();
    const int height = texture.height();
    const int channels = texture.channels();
    PencilTexture2.reset(channels, width, height);
    if (width == 0) {
        return;
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int from = (x + 27) % width;
            for (int c = 0; c < channels; ++c) {
                PencilTexture2(c, x, y) = texture(c, from, y);
            }
        }
    }
}

void EngineState::ComputeEffectLayers(int VariantIndex, int FrameNumber, const Switches& switches)
{
    ComputeSketchStages(*this, FrameNumber, switches);
    if (StopsBeforeMixing(VariantIndex)) {
        return;
    }
    ComputeSketchOverColor(*this, switches);
    if (StopsBeforeDots(VariantIndex)) {
        return;
    }
    ComputeDots(*this, switches);
    BuildVariantLayer(*this, VariantIndex);
}

void EngineState::RenderAllSnapshots(const Switches& switches,
                                     const std::function<void(int, const ColourPlane&)>& sink)
{
    // Steps 1 to 8 do not depend on the variant, step 10 is the same for
    // every variant that reaches it and so is step 12; each runs once. The
    // variant layers come in pairs sharing one stage (13 to 16 all share
    // the sketch grey planes). Composing a variant rewrites channels 0-2 of
    // every pixel, so no variant sees what the previous one rendered.
    ComputeSketchStages(*this, 0, switches);
    int builtLayerOf = -1; // the first variant of the pair whose layer is built
    for (int v = 0; v < 17; ++v) {
        if (v == 1) {
            ComputeSketchOverColor(*this, switches);
            ComputeDots(*this, switches);
        }
        const int pairStart = v >= 13 ? 13 : (v >= 3 && v % 2 == 0 ? v - 1 : v);
        if (v >= 3 && pairStart != builtLayerOf) {
            BuildVariantLayer(*this, v);
            builtLayerOf = pairStart;
        }
        ComposeVariant(*this, v);
        FinishPlanes(*this, switches);
        if (sink) {
            sink(v, SourcePlanes);
        }
    }
    ReleaseWorkBuffers(*this);
}

} // namespace qf
