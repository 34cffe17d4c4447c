#include "snapshots.h"

#include "convert.h"
#include "engine/variants.h"
#include "free_memory.h"
#include "imaging/animation_reader.h"
#include "imaging/errors.h"
#include "output_shaping.h"
#include "pencil_texture.h"
#include "pixel_bridge.h"

namespace qf {

namespace {

struct SnapshotsStopped {};

} // namespace

bool BuildSnapshots(EngineState& state, const Picture& frame1, const Switches& switches,
                    const SnapshotSink& sink, const ProgressFn& progress)
{
    PictureToPlanes(frame1, state.SourcePlanes);
    // One picture receives every variant in turn; each covers it completely.
    Picture snapshot(frame1.width(), frame1.height());
    try {
        state.RenderAllSnapshots(switches, [&](int variant, const ColourPlane& rendered) {
            PlanesToPicture(rendered, snapshot);
            if (sink)
                sink(variant, snapshot);
            if (progress && !progress(static_cast<double>(variant) / kLastVariant * 50.0 + 50.0))
                throw SnapshotsStopped{};
        });
    } catch (const SnapshotsStopped&) {
        return false;
    }
    return true;
}

bool BuildSnapshots(const Picture& frame1, const Switches& switches, const SnapshotSink& sink,
                    const ProgressFn& progress)
{
    EngineState state;
    UseDefaultPencilTexture(state);
    return BuildSnapshots(state, frame1, switches, sink, progress);
}

std::vector<Picture> BuildSnapshots(const Picture& frame1, const Switches& switches,
                                    const ProgressFn& progress)
{
    std::vector<Picture> snapshots;
    snapshots.reserve(kVariantCount);
    const bool finished = BuildSnapshots(
        frame1, switches, [&](int, const Picture& snapshot) { snapshots.push_back(snapshot); }, progress);
    if (!finished)
        snapshots.clear();
    return snapshots;
}

bool EnoughMemoryForSnapshots(int width, int height, bool keepAll, const std::string& file,
                              imaging::Error* error)
{
    const double bytesPerPixel =
        keepAll ? kEngineBytesPerPixel + kVariantCount * kPictureBytesPerPixel : kEngineBytesPerPixel;
    return CheckMemory(bytesPerPixel * width * height, AvailableMemory(), file,
                       "render the snapshots of a frame of " + std::to_string(width) + " x "
                           + std::to_string(height) + " pixels",
                       error);
}

bool OpenForChoosing(const std::string& file, const ChoosingOptions& options, const SnapshotSink& sink,
                     OpenedForChoosing* opened, imaging::Error* error)
{
    *opened = {};
    const std::unique_ptr<imaging::AnimationReader> reader =
        imaging::OpenAnimation(file, error, options.cancelled);
    if (!reader)
        return false;
    opened->info = reader->info();
    opened->damage = reader->damage();
    if (options.animatedOnly && opened->info.frameCount < 2)
        return true;

    std::vector<TimelineFrame> plan;
    if (!PlanTimeline(file, opened->info, options.timeline, &plan, error))
        return false;
    imaging::Size size;
    if (!RenderSize(file, opened->info, 1, ResizeFor(opened->info, options.resize), &size, error))
        return false;
    reader->setFrameSize(size); // a clip's picture comes scaled as a conversion scales it
    // The reader's canvas and the frame it gives are taken before the
    // rendering is weighed below: weighed with it, before either.
    const double sourceBytes = kReaderBytesPerPixel * opened->info.width * opened->info.height;
    if (!CheckMemory(sourceBytes + kEngineBytesPerPixel * size.width * size.height, AvailableMemory(), file,
                     "read and render a frame of " + std::to_string(opened->info.width) + " x "
                         + std::to_string(opened->info.height) + " pixels",
                     error))
        return false;
    if (!reader->skipTo(plan.front().source, error))
        return error && *error
                   ? false
                   : imaging::Fail(error, imaging::ErrorKind::NoImage, file, "ends before the start");
    imaging::RgbaImage decoded;
    if (!reader->readNext(decoded, error)) {
        if (error && !*error)
            imaging::Fail(error, imaging::ErrorKind::NoImage, file, "holds no frame");
        return false;
    }
    opened->damage = reader->damage();
    if (!EnoughMemoryForSnapshots(size.width, size.height, options.keepAll, file, error))
        return false;
    imaging::RgbaImage resized;
    opened->frame1 = ReadFrame(SizedFrame(decoded, size, resized));
    if (!BuildSnapshots(opened->frame1, options.switches, sink, [&](double percent) {
            return (!options.progress || options.progress(percent))
                   && !(options.cancelled && options.cancelled());
        }))
        return imaging::Fail(error, imaging::ErrorKind::Cancelled, file, "stopped");
    opened->rendered = true;
    return true;
}

} // namespace qf
