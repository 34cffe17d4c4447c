// The engine's entry points: the order of the stages, which switches gate
// them, where a run stops early, and the snapshot run that shares the stages
// all 17 variants have in common.
#include "engine.h"

#include "stages.h"
#include "variants.h"

#include <optional>

namespace qf {

namespace {

// The last stage a run of VariantIndex needs. An index that names no variant
// has no layer of its own: its run goes as far as the dots.
Stage LastStageOf(int VariantIndex)
{
    return VariantIndex >= 0 && VariantIndex < kVariantCount
               ? kVariants[static_cast<std::size_t>(VariantIndex)].lastStage
               : Stage::Dots;
}

// The layers a run of VariantIndex writes in full.
LayerPlan PlanFor(int VariantIndex, const Switches& switches, const EngineSettings& settings)
{
    LayerPlan plan;
    plan.pencil = VariantIndex >= 0 && VariantIndex < kVariantCount
                  && kVariants[static_cast<std::size_t>(VariantIndex)].base == BaseLayer::Pencil;
    plan.sketchOverColor = LastStageOf(VariantIndex) >= Stage::SketchOverColor;
    // Only a colour limit below 0 hands the grey levels as colours to the
    // mixing's edge votes; from 0 up the levels themselves are compared.
    plan.gray4Color = plan.sketchOverColor && switches.mixColorTicked() && settings.ColorDiffLimit < 0;
    if (LastStageOf(VariantIndex) == Stage::VariantLayer) {
        const BaseLayer base = kVariants[static_cast<std::size_t>(VariantIndex)].base;
        plan.vivid = base == BaseLayer::Vivid;
        plan.poster = base == BaseLayer::Poster;
        plan.contrast = base == BaseLayer::Contrast;
        plan.sketchGreys = base == BaseLayer::EightGreys || base == BaseLayer::Greys;
    }
    return plan;
}

// The line sketch and its depth, what every variant needs, and the pencil
// layer when the plan shows it: the texture blend costs as much as the line
// sketch itself, and only the pencil variant reads it.
void ComputeSketchStages(EngineState& s, int FrameNumber, const Switches& switches, const LayerPlan& plan)
{
    // A frame without its three colour channels counts as an empty frame.
    const bool usable = s.SourcePlanes.channels() >= 3;
    const int width = usable ? s.SourcePlanes.width() : 0;
    const int height = usable ? s.SourcePlanes.height() : 0;
    s.MaxX = width - 1;
    s.MaxY = height - 1;
    AllocateWorkBuffers(s, width, height, plan);

    const StyleThresholds style = ThresholdsFor(s.Settings, switches);
    PrepareGreyPlanes(s);
    CountEdgeVotes(s.SourceCopy, s.GrayPlane, s.EdgeCount, style.colorDiffLimit);
    DrawSketchLines(s, style.edgeVoteMin, style.darkLimit, switches.adjustTicked(),
                    switches.colorSketchTicked());
    if (plan.pencil) {
        BuildPencilLayer(s, FrameNumber, switches.colorSketchTicked(), switches.StillGrain);
    }
}

// SketchOverColor, mixed or plain.
void ComputeSketchOverColor(EngineState& s, const Switches& switches)
{
    if (switches.mixColorTicked()) {
        MixSimilarColours(s);
    } else {
        BuildSketchOverColor(s);
    }
}

// The dots, softened when sketch depth is adjusted.
void ComputeDots(EngineState& s, const Switches& switches)
{
    DitherPencil(s, ThresholdsFor(s.Settings, switches).inkShift, switches);
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
    grey(s.SketchGrayPlane, plan.sketchGreys);
    grey(s.SketchGray8Plane, plan.sketchGreys);
    grey(s.EdgeCount, false); // votes are counted up from zero
    colour(s.SketchLayer, true);
    colour(s.SourceCopy, true);
    colour(s.SketchOverColor, plan.sketchOverColor);
    colour(s.VividLayer, plan.vivid);
    colour(s.PosterLayer, plan.poster);
    colour(s.ContrastLayer, plan.contrast);
    if (plan.pencil) {
        colour(s.PencilLayer, true);
    } else {
        s.PencilLayer.clear();
    }
    colour(s.Gray4Color, plan.gray4Color);
}

bool ReadsPreviousFrame(int VariantIndex, const Switches& switches)
{
    return switches.StillGrain && !switches.colorSketchTicked() && VariantIndex >= 0
           && VariantIndex < kVariantCount
           && kVariants[static_cast<std::size_t>(VariantIndex)].base == BaseLayer::Pencil;
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
    const Stage last = LastStageOf(VariantIndex);
    ComputeSketchStages(*this, FrameNumber, switches, PlanFor(VariantIndex, switches, Settings));
    if (last >= Stage::SketchOverColor) {
        ComputeSketchOverColor(*this, switches);
    }
    if (last >= Stage::Dots) {
        ComputeDots(*this, switches);
    }
    if (last >= Stage::VariantLayer) {
        BuildVariantLayer(*this, kVariants[static_cast<std::size_t>(VariantIndex)].base,
                          ThresholdsFor(Settings, switches).inkShift);
    }
}

void EngineState::RenderAllSnapshots(const Switches& switches,
                                     const std::function<void(int, const ColourPlane&)>& sink)
{
    // The sketch stages do not depend on the variant, SketchOverColor is the
    // same for every variant that gets that far and so are the dots; each
    // runs once, before the first variant that needs it. A variant layer is
    // built once for all the variants showing it (both sketch grey planes
    // come from one stage). Composing a variant rewrites channels 0-2 of
    // every pixel, so no variant sees what the previous one rendered. Every
    // layer is built before a variant reads it, so none needs zero-filling
    // first.
    LayerPlan plan;
    for (int v = 0; v < kVariantCount; ++v) {
        const LayerPlan p = PlanFor(v, switches, Settings);
        plan.pencil |= p.pencil;
        plan.sketchOverColor |= p.sketchOverColor;
        plan.gray4Color |= p.gray4Color;
        plan.vivid |= p.vivid;
        plan.poster |= p.poster;
        plan.contrast |= p.contrast;
        plan.sketchGreys |= p.sketchGreys;
    }
    ComputeSketchStages(*this, 0, switches, plan);
    Stage done = Stage::Sketch;
    std::optional<BaseLayer> built; // the variant layer built last
    for (int v = 0; v < kVariantCount; ++v) {
        const VariantInfo& variant = kVariants[static_cast<std::size_t>(v)];
        if (variant.lastStage >= Stage::SketchOverColor && done < Stage::SketchOverColor) {
            ComputeSketchOverColor(*this, switches);
            done = Stage::SketchOverColor;
        }
        if (variant.lastStage >= Stage::Dots && done < Stage::Dots) {
            ComputeDots(*this, switches);
            done = Stage::Dots;
        }
        if (variant.lastStage == Stage::VariantLayer && !(built && SameVariantStage(*built, variant.base))) {
            BuildVariantLayer(*this, variant.base, ThresholdsFor(Settings, switches).inkShift);
            built = variant.base;
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
