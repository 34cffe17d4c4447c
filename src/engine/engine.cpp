// The engine's entry points: the order of the stages, which switches gate
// them, where a run stops early, and the snapshot run that shares the stages
// all 17 variants have in common.
#include "engine.h"

#include "stages.h"

namespace qf {

namespace {

// The variants whose runs stop before the colours are mixed, and those
// that stop before the dots are made.
constexpr bool StopsBeforeMixing(int VariantIndex)
{
    return VariantIndex == 0 || VariantIndex == 2;
}
constexpr bool StopsBeforeDots(int VariantIndex)
{
    return StopsBeforeMixing(VariantIndex) || VariantIndex == 5;
}

// The layers a run of VariantIndex writes in full.
LayerPlan PlanFor(int VariantIndex, const Switches& switches)
{
    LayerPlan plan;
    plan.sketchOverColor = !StopsBeforeMixing(VariantIndex);
    plan.gray4Color = plan.sketchOverColor && switches.mixColorTicked();
    plan.vivid = VariantIndex == 3 || VariantIndex == 4;
    plan.poster = VariantIndex == 9 || VariantIndex == 10;
    plan.contrast = VariantIndex == 11 || VariantIndex == 12;
    plan.sketchGrays = VariantIndex >= 13 && VariantIndex <= 16;
    return plan;
}

// The line sketch, its depth and the pencil layer: what every variant needs.
void ComputeSketchStages(EngineState& s, int FrameNumber, const Switches& switches, const LayerPlan& plan)
{
    // A frame without its three colour channels counts as an empty frame.
    const bool usable = s.SourcePlanes.channels() >= 3;
    const int width = usable ? s.SourcePlanes.width() : 0;
    const int height = usable ? s.SourcePlanes.height() : 0;
    s.MaxX = width - 1;
    s.MaxY = height - 1;
    AllocateWorkBuffers(s, width, height, plan);

    PrepareGrayPlanes(s);
    CountEdgeVotes(s.SourceCopy, s.GrayPlane, s.EdgeCount, s.Settings.ColorDiffLimit);
    DrawSketchLines(s);
    RemoveLonePixels(s.SketchLayer);
    if (switches.adjustTicked()) {
        AdjustSketchDepth(s, switches.colorSketchTicked());
    }
    BuildPencilLayer(s, FrameNumber, switches.colorSketchTicked());
}

// SketchOverColor, mixed or plain.
void ComputeSketchOverColor(EngineState& s, const Switches& switches)
{
    if (switches.mixColorTicked()) {
        MixSimilarColors(s);
    } else {
        BuildSketchOverColor(s);
    }
}

// The dots.
void ComputeDots(EngineState& s, const Switches& switches)
{
    DitherPencil(s);
    AdjustDitherDepth(s, switches);
}

} // namespace

void AllocateWorkBuffers(EngineState& s, int width, int height, const LayerPlan& plan)
{
    auto colour = [&](ColourPlane& p, bool written) {
        if (written) {
            p.reshape(3, width, height);
        } else {
            p.reset(3, width, height);
        }
    };
    auto grey = [&](GreyPlane& p, bool written) {
        if (written) {
            p.reshape(width, height);
        } else {
            p.reset(width, height);
        }
    };
    grey(s.GrayPlane, true);
    grey(s.Gray4Plane, true);
    grey(s.SketchGrayPlane, plan.sketchGrays);
    grey(s.SketchGray8Plane, plan.sketchGrays);
    grey(s.EdgeCount, false); // votes are counted up from zero
    colour(s.SketchLayer, true);
    colour(s.SourceCopy, true);
    colour(s.SketchOverColor, plan.sketchOverColor);
    colour(s.VividLayer, plan.vivid);
    colour(s.PosterLayer, plan.poster);
    colour(s.ContrastLayer, plan.contrast);
    colour(s.PencilLayer, true);
    colour(s.Gray4Color, plan.gray4Color);
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
    ComputeSketchStages(*this, FrameNumber, switches, PlanFor(VariantIndex, switches));
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
    // The sketch stages do not depend on the variant, SketchOverColor is the
    // same for every variant that gets that far and so are the dots; each
    // runs once. The variant layers come in pairs sharing one stage (13 to
    // 16 all share the sketch grey planes), built for the first of the pair.
    // Composing a variant rewrites channels 0-2 of every pixel, so no
    // variant sees what the previous one rendered. Every layer is built
    // before a variant reads it, so none needs zero-filling first.
    const LayerPlan plan{true, switches.mixColorTicked(), true, true, true, true};
    ComputeSketchStages(*this, 0, switches, plan);
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
