#include "frame_renderer.h"

#include "output_shaping.h"
#include "pencil_texture.h"
#include "pixel_bridge.h"

namespace qf {

namespace {

// The variant rendered from the frame state's planes hold (and the frame
// before, when it is read), drawn onto rendered at width x height.
void RenderPlanes(EngineState& state, int variant, int frameNumber, const Switches& switches, int width,
                  int height, Picture& rendered)
{
    state.ComputeEffectLayers(variant, frameNumber, switches);
    state.RenderVariant(variant, switches);
    const ColourPlane& planes = state.SourcePlanes;
    // Planes that cover the picture draw every pixel of it: it needs no
    // black fill first.
    if (planes.channels() >= 3 && planes.width() >= width && planes.height() >= height)
        rendered.reshape(width, height);
    else
        rendered.reset(width, height);
    PlanesToPicture(planes, rendered);
}

} // namespace

void RenderFrame(EngineState& state, const Picture& source, int variant, int frameNumber,
                 const Switches& switches, Picture& rendered, const Picture* previous)
{
    PictureToPlanes(source, state.SourcePlanes);
    if (previous && ReadsPreviousFrame(variant, switches))
        PictureToPlanes(*previous, state.PreviousPlanes);
    else
        state.PreviousPlanes.clear();
    RenderPlanes(state, variant, frameNumber, switches, source.width(), source.height(), rendered);
}

void RenderSourceFrame(EngineState& state, const FrameLook& look, const imaging::RgbaImage& decoded,
                       imaging::Size size, int frameNumber, RenderedFrame& out,
                       const imaging::RgbaImage* previous)
{
    if (state.PencilTexture.empty())
        UseDefaultPencilTexture(state);
    const imaging::RgbaImage& sized = SizedFrame(decoded, size, out.resized);
    const bool readsPrevious = previous && ReadsPreviousFrame(look.variant, look.switches);
    if (out.keepSource) {
        ReadFrame(sized, out.source);
        if (readsPrevious)
            ReadFrame(SizedFrame(*previous, size, out.previousResized), out.previous);
        RenderFrame(state, out.source, look.variant, frameNumber, look.switches, out.rendered,
                    readsPrevious ? &out.previous : nullptr);
    } else {
        FrameToPlanes(sized, state.SourcePlanes);
        if (readsPrevious)
            FrameToPlanes(SizedFrame(*previous, size, out.previousResized), state.PreviousPlanes);
        else
            state.PreviousPlanes.clear();
        RenderPlanes(state, look.variant, frameNumber, look.switches, sized.width, sized.height,
                     out.rendered);
    }
    out.transparent = look.keepTransparency;
    if (look.keepTransparency)
        KeepTransparency(out.rendered, sized, out.withAlpha);
}

} // namespace qf
