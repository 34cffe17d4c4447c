#include "frame_renderer.h"

#include "output_shaping.h"
#include "pencil_texture.h"
#include "pixel_bridge.h"

namespace qf {

void RenderFrame(EngineState& state, const Picture& source, int variant, int frameNumber,
                 const Switches& switches, Picture& rendered)
{
    PictureToPlanes(source, state.SourcePlanes);
    state.ComputeEffectLayers(variant, frameNumber, switches);
    state.RenderVariant(variant, switches);
    rendered.reset(source.width(), source.height());
    PlanesToPicture(state.SourcePlanes, rendered);
}

void RenderSourceFrame(EngineState& state, const FrameLook& look, const imaging::RgbaImage& decoded,
                       imaging::Size size, int frameNumber, RenderedFrame& out)
{
    if (state.PencilTexture.empty())
        UseDefaultPencilTexture(state);
    const imaging::RgbaImage& sized = SizedFrame(decoded, size, out.resized);
    ReadFrame(sized, out.source);
    RenderFrame(state, out.source, look.variant, frameNumber, look.switches, out.rendered);
    out.transparent = look.keepTransparency;
    if (look.keepTransparency)
        KeepTransparency(out.rendered, sized, out.withAlpha);
}

} // namespace qf
