// The one recipe that turns a source frame into the frame written: sized as
// the conversion asks, read onto the picture surface, the variant rendered,
// the source's transparency kept when asked. The conversion, the size
// estimate and the preview all render their frames through it, so what is
// estimated and what is previewed is what is written.
#pragma once

#include "engine/engine.h"
#include "imaging/image.h"
#include "imaging/resize.h"
#include "picture.h"

namespace qf {

// One frame through the whole chain: picture to planes, ComputeEffectLayers
// (variant, frameNumber), RenderVariant (variant), planes to picture. rendered
// gets the source's size. state must have its pencil textures set. previous
// is the frame shown before source, null for the first one; the engine reads
// it only for a still grain (ReadsPreviousFrame).
void RenderFrame(EngineState& state, const Picture& source, int variant, int frameNumber,
                 const Switches& switches, Picture& rendered, const Picture* previous = nullptr);

// How every frame of one conversion is rendered.
struct FrameLook {
    int variant = 0;
    Switches switches;
    // Where the source is transparent the frame written is too.
    bool keepTransparency = false;
};

// What the render stage hands on: the frame as it is written. Its buffers
// are kept from one frame to the next.
struct RenderedFrame {
    imaging::RgbaImage resized;         // the source at the render size, when that differs
    Picture source;                     // what the engine reads
    imaging::RgbaImage previousResized; // the frame before, at the render size
    Picture previous;                   // and as the engine reads it
    Picture rendered;                   // what the engine made of it
    imaging::RgbaImage withAlpha;       // rendered with the source's transparency
    bool transparent = false;           // withAlpha is the frame written
    // source (and previous) are filled, for a caller that shows them; else
    // the frame goes straight onto the engine's planes and they stay empty.
    bool keepSource = true;

    // What is written: rendered, or withAlpha.
    imaging::ImageView picture() const
    {
        return transparent ? imaging::ImageView::of(withAlpha) : ViewOf(rendered);
    }
};

// Renders decoded (a source frame at any size) at size as look asks, as
// frame frameNumber (1-based, as the engine counts frames). Gives state the
// bundled pencil textures when it has none. previous is the source frame
// shown before this one (null for the first), read only for a still grain.
void RenderSourceFrame(EngineState& state, const FrameLook& look, const imaging::RgbaImage& decoded,
                       imaging::Size size, int frameNumber, RenderedFrame& out,
                       const imaging::RgbaImage* previous = nullptr);

} // namespace qf
