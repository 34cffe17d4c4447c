// The stages of ComputeEffectLayers, in the order the engine runs them, and
// the two operators several stages share (CountEdgeVotes, BoostSaturation).
//
// Each stage is a plain function over the planes of an EngineState. It reads
// the frame size from the planes it is given; all planes of one run share
// it. Stages never allocate per pixel; scratch rows are allocated per call.
#pragma once

#include "engine.h"
#include "planes.h"
#include "variants.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

// Saturation factors, held in single precision: 70/100 for the colour sketch
// depth, 128/100 for the colour pencil layer and the vivid layer.
inline constexpr float kSketchSaturation = static_cast<float>(70.0 / 100.0);
inline constexpr float kVividSaturation = static_cast<float>(128.0 / 100.0);

// The fixed hue (in sextants) and saturation of the tint variants.
inline constexpr float kTintHue = 0.5f;
inline constexpr float kTintSaturation = 0.25f;

// The sum of a pixel's three channels (0..765) to their truncated average.
inline constexpr std::array<int, 766> ThirdsTable = [] {
    std::array<int, 766> t{};
    for (int i = 0; i < 766; ++i) {
        t[i] = i / 3;
    }
    return t;
}();

// The same truncated average as a multiply and a shift, for loops that
// vectorise, where a table look-up or a division would not: 21846 / 65536
// exceeds 1/3 by less than 1/3 / 765, so no sum reaches the next whole
// number early.
constexpr unsigned Third(unsigned sum)
{
    return (sum * 21846u) >> 16;
}
static_assert([] {
    for (unsigned sum = 0; sum < ThirdsTable.size(); ++sum) {
        if (Third(sum) != static_cast<unsigned>(ThirdsTable[sum])) {
            return false;
        }
    }
    return true;
}());

// Which of the layers a run leaves zero-filled will be written in full by
// the run: those are only resized at its start.
struct LayerPlan {
    bool pencil = false; // PencilLayer is built only for a run that shows it
    bool sketchOverColor = false;
    bool gray4Color = false;
    bool vivid = false;
    bool poster = false;
    bool contrast = false;
    bool sketchGreys = false;
};

// The thresholds of one run: the start-up settings as the style controls
// turn them. At the designed controls they are the settings themselves.
struct StyleThresholds {
    int darkLimit = 0;      // a grey below this is ink in the line sketch
    int colorDiffLimit = 0; // the colour step the line sketch's edge votes need
    int edgeVoteMin = 0;    // the votes a line pixel needs
    // How far darkLimit moved from the setting: the dots', the poster's and
    // the contrast layer's thresholds move as far.
    int inkShift = 0;
};
StyleThresholds ThresholdsFor(const EngineSettings& settings, const Switches& switches);

// The start of a run: every work buffer the engine reallocates at the start of
// each run, at width x height, storage reused. The buffers every run writes
// in full (SourceCopy, GrayPlane, Gray4Plane, SketchLayer) and those the plan
// names are only resized; all others are zero-filled. PencilLayer is emptied
// (its storage kept) when the plan does not build it.
void AllocateWorkBuffers(EngineState& s, int width, int height, const LayerPlan& plan);

// grey_planes: SourceCopy, GrayPlane and Gray4Plane from SourcePlanes.
void PrepareGreyPlanes(EngineState& s);

// edge_votes: for every pair of 8-connected neighbours whose colours differ
// by more than limit in some channel, the pixel with the smaller key (the
// earlier pixel of the pair on equal keys) gets one vote in votes.
void CountEdgeVotes(const ColourPlane& colour, const GreyPlane& key, GreyPlane& votes, int limit);

// sketch_lines: SketchLayer from EdgeCount and GrayPlane: a line where a
// pixel has at least voteMin votes or is darker than darkLimit, white paper
// elsewhere; lone line pixels inside the frame are whitened; with adjust the
// lines take half the frame's brightness, in grey, or with colour in colour
// boosted by 0.7.
void DrawSketchLines(EngineState& s, int voteMin, int darkLimit, bool adjust, bool colour);
// One row of a mask of ink (0) and paper (255): ink whose eight neighbours
// in the rows below and above and beside it are all paper becomes paper;
// the first and last pixel never change. lone is scratch of the row's width.
void WhitenLoneInk(const std::uint8_t* below, std::uint8_t* row, const std::uint8_t* above,
                   std::uint8_t* lone, int width);

// saturation: pushes each channel of every pixel away from the pixel's
// channel average by the factor k, clamped to 0..255.
void BoostSaturation(ColourPlane& layer, float k);

// The boost of one channel: v + k (v - a) rounded half to even and clamped,
// for a channel value v of a pixel whose channel average is a, as a table.
class SaturationBoost {
public:
    explicit SaturationBoost(float k);
    SaturationBoost(const SaturationBoost&) = delete; // table_ may point into own_
    SaturationBoost& operator=(const SaturationBoost&) = delete;
    std::uint8_t operator()(int v, int a) const
    {
        return table_[static_cast<std::size_t>(a) * 256 + static_cast<std::size_t>(v)];
    }

private:
    std::vector<std::uint8_t> own_;
    const std::uint8_t* table_ = nullptr;
};

// pencil_layer: the lines of SketchLayer on the pencil-paper texture
// (PencilLayer), and the lines over the frame's colours (SketchOverColor).
// With stillGrain the grey form keeps the first texture wherever the frame
// is the same as PreviousPlanes.
void BuildPencilLayer(EngineState& s, int FrameNumber, bool colour, bool stillGrain);
void BuildSketchOverColor(EngineState& s);

// similar_colour_mixing: SketchOverColor as a flat-colour cartoon.
void MixSimilarColours(EngineState& s);

// stucki_dither: DitherLayer, the Stucki error-diffused dots of
// SketchOverColor, softened as they are made when sketch depth is adjusted
// (AdjustDitherDepth). The dots' threshold is the mean grey moved by inkShift.
void DitherPencil(EngineState& s, int inkShift, const Switches& switches);

// variant_layers: runs the stage that builds `base` from SketchOverColor, if
// it has one. The poster's and the contrast's thresholds move by inkShift.
void BuildVariantLayer(EngineState& s, BaseLayer base, int inkShift);
// Whether one stage builds both layers: the two sketch grey planes share it.
constexpr bool SameVariantStage(BaseLayer a, BaseLayer b)
{
    auto stage = [](BaseLayer layer) { return layer == BaseLayer::Greys ? BaseLayer::EightGreys : layer; };
    return stage(a) == stage(b);
}

// render: composes VariantIndex from the layers into SourcePlanes channels
// 0-2; a pixel some needed layer does not cover keeps its value.
void ComposeVariant(EngineState& s, int VariantIndex);
// Empties every buffer the engine allocates at the start of a run except
// PencilLayer.
void ReleaseWorkBuffers(EngineState& s);
// Blur, then sharpen, of SourcePlanes as the switches say.
void FinishPlanes(EngineState& s, const Switches& switches);

} // namespace qf
