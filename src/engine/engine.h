// The staged effect engine: one frame in SourcePlanes becomes the layers of
// the 17 variants (ComputeEffectLayers), and RenderVariant composes one
// variant back into SourcePlanes with the optional blur and sharpen.
//
// All state lives in one EngineState, so several frames can be converted at
// once, one state per worker thread. The five switches and the style
// controls reach the engine as a small value read once per call.
#pragma once

#include "planes.h"

#include <functional>

namespace qf {

// The middle of a style control's range 0-100: the effect as designed.
inline constexpr int kDesignedStyle = 50;

// The five switches, each 0 (unticked), 1 (ticked) or 2 (grey, the third
// state of a check box). Only ColorSketch counts its grey state as ticked;
// the other four leave their step out when grey.
//
// With them travel the style controls: Ink and Lines, 0-100 (values outside
// count as the nearest end), and StillGrain. At kDesignedStyle and with the
// grain moving every variant is exactly as designed.
struct Switches {
    int ColorSketch = 0;
    int Sharpen = 0;
    int MixColor = 1;
    int Adjust = 1;
    int Blur = 0;

    // How dark a tone must be before it turns to solid ink: lower keeps only
    // the outlines and the deepest shadows, higher fills more.
    int Ink = kDesignedStyle;
    // How strong a colour difference must be to draw an outline: lower
    // draws fewer, cleaner lines, higher more detail.
    int Lines = kDesignedStyle;
    // The grain of the grey pencil paper (variant 2) holds still where the
    // source is the same as in the frame before (EngineState::PreviousPlanes)
    // instead of changing every three frames.
    bool StillGrain = false;

    constexpr bool colorSketchTicked() const { return ColorSketch != 0; }
    constexpr bool sharpenTicked() const { return Sharpen == 1; }
    constexpr bool mixColorTicked() const { return MixColor == 1; }
    constexpr bool adjustTicked() const { return Adjust == 1; }
    constexpr bool blurTicked() const { return Blur == 1; }

    friend constexpr bool operator==(const Switches&, const Switches&) = default;
};

// Thresholds fixed at start-up.
struct EngineSettings {
    int ColorDiffLimit = 28;
    int EdgeVoteMin = 1;
    int DarkLimit = 70;
    int MixRadius = 10;
    int DitherErrorDivisor = 20;
};

// Whether a run of VariantIndex with these switches reads PreviousPlanes: a
// still grain on the grey pencil paper.
bool ReadsPreviousFrame(int VariantIndex, const Switches& switches);

class EngineState {
public:
    // Input frame, 4 channels, filled by the pixel bridge. The engine only
    // reads it; RenderVariant writes the finished picture into channels 0-2.
    ColourPlane SourcePlanes;

    // The frame shown before SourcePlanes, as the pixel bridge fills it; read
    // only for a still grain (Switches::StillGrain). Empty for the first
    // frame, or when it differs in size: then nothing counts as changed.
    ColourPlane PreviousPlanes;

    // Pencil-paper textures, 4 channels; set with SetPencilTexture.
    ColourPlane PencilTexture;
    ColourPlane PencilTexture2;

    EngineSettings Settings;

    // Largest column and row index of the current frame.
    int MaxX = -1;
    int MaxY = -1;

    // Work buffers, reallocated zero-filled by every ComputeEffectLayers call.
    // PencilLayer is built only by a run of a variant that shows it; other
    // runs leave it empty.
    ColourPlane SourceCopy;
    GreyPlane GrayPlane;
    GreyPlane Gray4Plane;
    GreyPlane EdgeCount;
    ColourPlane SketchLayer;
    ColourPlane PencilLayer;
    ColourPlane SketchOverColor;
    ColourPlane Gray4Color;
    ColourPlane VividLayer;
    ColourPlane PosterLayer;
    ColourPlane ContrastLayer;
    GreyPlane SketchGrayPlane;
    GreyPlane SketchGray8Plane;

    // Layers that only their own stage reallocates: after an early stop they
    // keep what an earlier call left in them.
    GreyPlane GrayEdgeKey;
    ColourPlane DitherLayer;
    ColourPlane TintLayer;

    // Takes a 4-channel grey paper texture as PencilTexture and derives
    // PencilTexture2, the same texture rotated left by 27 columns.
    void SetPencilTexture(const ColourPlane& texture);

    // Derives the layers that VariantIndex (0-16) reads from the frame in
    // SourcePlanes. FrameNumber is 0 for snapshots and 1..n while converting;
    // it only chooses the grey pencil texture (where the source moves, with a
    // still grain).
    void ComputeEffectLayers(int VariantIndex, int FrameNumber, const Switches& switches);

    // Composes VariantIndex into SourcePlanes channels 0-2, releases the work
    // buffers, then blurs and/or sharpens as the switches say. An index
    // outside 0-16 composes nothing.
    void RenderVariant(int VariantIndex, const Switches& switches);

    // 2 x 2 box average of SourcePlanes channels 0-2, in place.
    void BlurPlanes();
    // Sharpens SourcePlanes channels 0-2 in place.
    void SharpenPlanes(float Amount);

    // The 17 snapshots of the frame in SourcePlanes (frame number 0), each
    // bit-identical to ComputeEffectLayers(v, 0) + RenderVariant(v) run for
    // v = 0..16 in order on a fresh copy of the frame, with the stages every
    // variant shares computed once. sink receives each variant's rendered
    // SourcePlanes in increasing order. Afterwards the state is as that
    // sequence of 17 runs leaves it.
    void RenderAllSnapshots(const Switches& switches,
                            const std::function<void(int variant, const ColourPlane& rendered)>& sink);
};

} // namespace qf
