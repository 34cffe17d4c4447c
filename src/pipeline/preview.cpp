#include "preview.h"

#include "convert.h"
#include "frame_renderer.h"
#include "imaging/animation_reader.h"
#include "imaging/resize.h"
#include "pencil_texture.h"

#include <utility>

namespace qf {

namespace {

// The source frames kept for the preview options at path, as they are now.
PreviewSource SourceKey(const std::string& path, const PreviewOptions& options,
                        const TimelineOptions& timeline)
{
    PreviewSource key;
    key.path = path;
    std::error_code ec;
    key.modified = std::filesystem::last_write_time(path, ec);
    key.timeline = timeline;
    key.maxWidth = options.maxWidth;
    key.maxHeight = options.maxHeight;
    key.maxHundredths = options.maxHundredths;
    key.maxFrames = options.maxFrames;
    return key;
}

bool SameSource(const PreviewSource& a, const PreviewSource& b)
{
    return a.path == b.path && a.modified == b.modified && a.timeline == b.timeline
           && a.maxWidth == b.maxWidth && a.maxHeight == b.maxHeight && a.maxHundredths == b.maxHundredths
           && a.maxFrames == b.maxFrames;
}

} // namespace

bool RenderPreview(const std::string& path, const PreviewOptions& options, const PreviewSink& sink,
                   imaging::Error* error, std::shared_ptr<const PreviewSource>* kept)
{
    const auto stopped = [&] { return options.cancelled && options.cancelled(); };
    TimelineOptions timeline = options.timeline;
    timeline.bounce = false;
    EngineState state;
    UseDefaultPencilTexture(state);
    Picture rendered;
    auto read = std::make_shared<PreviewSource>(SourceKey(path, options, timeline));
    if (kept && *kept && SameSource(**kept, *read)) {
        const PreviewSource& source = **kept;
        for (std::size_t i = 0; i < source.frames.size(); ++i) {
            if (stopped())
                return imaging::Fail(error, imaging::ErrorKind::Cancelled, path, "stopped");
            const int number = static_cast<int>(i) + 1;
            RenderFrame(state, source.frames[i], options.variant, number, options.switches, rendered,
                        i > 0 ? &source.frames[i - 1] : nullptr);
            sink(number, source.frames[i], rendered, source.delays[i]);
        }
        return true;
    }

    const std::unique_ptr<imaging::AnimationReader> reader =
        imaging::OpenAnimation(path, error, options.cancelled);
    if (!reader)
        return false;
    const imaging::AnimationInfo& info = reader->info();
    const imaging::Size size =
        imaging::ResizedSize(info.width, info.height, {0, options.maxWidth, options.maxHeight});
    std::vector<TimelineFrame> plan;
    if (!PlanTimeline(path, info, timeline, &plan, error))
        return false;
    TimelineSource frames(*reader, std::move(plan), path, size);

    // shown: the frame at the preview's size; shownBefore: the one before.
    // A frame that shows the picture before it again (a screen holding
    // still) is not resized again.
    imaging::RgbaImage decoded, previous, shown, shownBefore;
    const FrameLook look{options.variant, options.switches, false};
    RenderedFrame frame;
    int played = 0;
    for (int number = 1; number <= options.maxFrames && played < options.maxHundredths; ++number) {
        if (stopped())
            return imaging::Fail(error, imaging::ErrorKind::Cancelled, path, "stopped");
        int delay = 0;
        const imaging::ReadResult result = frames.next(decoded, &delay, error);
        if (result.status == imaging::ReadStatus::End)
            break;
        if (!result) {
            if (number == 1)
                return false;
            break; // frames after damage are not needed to choose
        }
        const bool resizing = decoded.width != size.width || decoded.height != size.height;
        if (resizing) {
            if (number == 1 || decoded != previous) {
                std::swap(shownBefore, shown);
                imaging::Resize(decoded, size.width, size.height, shown);
            } else {
                shownBefore = shown;
            }
        }
        RenderSourceFrame(state, look, resizing ? shown : decoded, size, number, frame,
                          number > 1 ? (resizing ? &shownBefore : &previous) : nullptr);
        std::swap(previous, decoded); // the next frame's one before; decoded is read anew
        played += delay <= 1 ? 10 : delay;
        sink(number, frame.source, frame.rendered, delay);
        if (kept) {
            read->frames.push_back(frame.source);
            read->delays.push_back(delay);
        }
    }
    if (kept)
        *kept = std::move(read);
    return true;
}

} // namespace qf
