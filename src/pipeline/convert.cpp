#include "convert.h"

#include "conversion.h"
#include "imaging/animation_reader.h"
#include "imaging/errors.h"
#include "pixel_bridge.h"

#include <algorithm>

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

imaging::ResizeRequest ResizeFor(const imaging::AnimationInfo& info, const imaging::ResizeRequest& asked)
{
    imaging::ResizeRequest resize = asked;
    if (info.video() && !resize.any())
        resize.maxWidth = resize.maxHeight = kDefaultVideoMaxSide;
    return resize;
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

bool RewriteAnimation(const std::string& source, const std::string& destination,
                      const imaging::OutputSettings& settings, const ProgressFn& progress, imaging::Error* error)
{
    const std::unique_ptr<imaging::AnimationReader> reader = imaging::OpenAnimation(source, error);
    if (!reader)
        return false;
    const imaging::AnimationInfo& info = reader->info();
    const std::unique_ptr<imaging::AnimationWriter> writer = imaging::MakeAnimationWriter(settings);
    if (!writer->open(destination, info.width, info.height, info.loopCount, error))
        return false;
    const auto goOn = [&](std::size_t done) {
        const double percent = info.frameCount > 0 ? 100.0 * static_cast<double>(done) / info.frameCount : 0;
        return !progress || progress(std::min(percent, 100.0))
               || imaging::Fail(error, imaging::ErrorKind::Cancelled, destination, "the save was stopped");
    };
    if (!goOn(0))
        return false;
    imaging::RgbaImage frame;
    for (std::size_t index = 0;; ++index) {
        const imaging::ReadResult read = reader->readNext(frame, error);
        if (read.status == imaging::ReadStatus::End)
            break;
        if (read.status == imaging::ReadStatus::Failed)
            return false;
        const int delay = index < info.delays.size() ? info.delays[index] : 0;
        if (!writer->addFrame(imaging::ImageView::of(frame), delay, error) || !goOn(index + 1))
            return false;
    }
    return writer->finish(error);
}

} // namespace qf
