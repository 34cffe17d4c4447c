#include "convert.h"

#include "conversion.h"
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

bool ConvertAllFrames(const std::string& input, const std::string& output, const ConvertOptions& options,
                      imaging::Error* error, imaging::AnimationDamage* damage)
{
    imaging::Error localError;
    imaging::Error& err = error ? *error : localError;
    err = {};
    Conversion conversion(options);
    const bool opened = conversion.open(input, output, &err);
    const bool converted = opened && conversion.run(&err);
    if (damage && (opened || conversion.damage()))
        *damage = conversion.damage();
    return converted;
}

} // namespace qf
