#include "frame_renderer.h"

#include "output_shaping.h"
#include "pencil_texture.h"
#include "pixel_bridge.h"

namespace qf {

void RenderFrame(EngineState& state, const Picture& source, int variant, int frameNumber,
                 const Switches& switches, Picture& rendered, const Picture* previous)
{
    PictureToPlanes(source, state.SourcePlanes);
    if (previous && ReadsPreviousFrame(variant, switches))
        PictureToPlanes(*previous, state.PreviousPlanes);
    else
        state.PreviousPlanes.clear();
    state.ComputeEffectLayers(variant, frameNumber, switches);
    state.RenderVariant(variant, switches);
    rendered.reset(source.width(), source.height());
    PlanesToPicture(state.SourcePlanes, rendered);
}

void RenderSourceFrame(EngineState& state, const FrameLook& look, const imaging::RgbaImage& decoded,
                       imaging::Size size, int frameNumber, RenderedFrame& out,
                       const imaging::RgbaImage* previous)
{
    if (state.PencilTexture.empty())
        UseDefaultPencilTexture(state);
    const imaging::RgbaImage& sized = SizedFrame(decoded, size, out.resized);
    ReadFrame(sized, out.source);
    const bool readsPrevious = previous && ReadsPreviousFrame(look.variant, look.switches);
    if (readsPrevious)
        ReadFrame(SizedFrame(*previous, size, out.previousResized), out.previous);
    RenderFrame(state, out.source, look.variant, frameNumber, look.switches, out.rendered,
                readsPrevious ? &out.previous : nullptr);
    out.transparent = look.keepTransparency;
    if (look.keepTransparency)
        KeepTransparency(out.rendered, sized, out.withAlpha);
}

} // namespace qf
