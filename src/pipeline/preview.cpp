#include "preview.h"

#include "convert.h"
#include "imaging/animation_reader.h"
#include "imaging/resize.h"
#include "pencil_texture.h"

namespace qf {

bool RenderPreview(const std::string& path, const PreviewOptions& options, const PreviewSink& sink,
                   imaging::Error* error)
{
    const auto stopped = [&] { return options.cancelled && options.cancelled(); };
    imaging::AnimationReader reader;
    reader.setCancelCheck(options.cancelled);
    if (!reader.open(path, error))
        return false;
    const imaging::AnimationInfo& info = reader.info();
    const imaging::Size size =
        imaging::ResizedSize(info.width, info.height, {0, options.maxWidth, options.maxHeight});

    TimelineOptions timeline = options.timeline;
    timeline.bounce = false;
    std::vector<TimelineFrame> plan;
    if (!PlanTimeline(path, info, timeline, &plan, error))
        return false;
    TimelineSource frames(reader, std::move(plan), path, size);

    EngineState state;
    UseDefaultPencilTexture(state);
    imaging::RgbaImage decoded, reduced;
    Picture source, rendered;
    int played = 0;
    for (int number = 1; number <= options.maxFrames && played < options.maxHundredths; ++number) {
        if (stopped())
            return imaging::Fail(error, imaging::ErrorKind::Cancelled, path, "stopped");
        int delay = 0;
        const imaging::ReadResult read = frames.next(decoded, &delay, error);
        if (read.status == imaging::ReadStatus::End)
            break;
        if (!read)
            return number > 1; // frames after damage are not needed to choose
        imaging::Resize(decoded, size.width, size.height, reduced);
        ReadFrame(reduced, source);
        RenderFrame(state, source, options.variant, number, options.switches, rendered);
        played += delay <= 1 ? 10 : delay;
        sink(number, source, rendered, delay);
    }
    return true;
}

} // namespace qf
