#include "snapshots.h"

#include "engine/variants.h"
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
            if (progress && !progress(static_cast<double>(variant) / 16.0 * 50.0 + 50.0))
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

} // namespace qf
