// The 17 snapshots: frame 1 rendered in every variant, for choosing one.
#pragma once

#include "engine/engine.h"
#include "imaging/animation_info.h"
#include "imaging/image.h"
#include "imaging/resize.h"
#include "picture.h"
#include "progress.h"
#include "timeline.h"

#include <functional>
#include <string>
#include <vector>

namespace qf {

// Variants 0 to 16 of frame 1 (frame number 0), in order, each bit-identical
// to a separate engine run. Progress goes from 50 (after variant 0) to 100.
// Returns an empty vector when progress asked to stop.
std::vector<Picture> BuildSnapshots(const Picture& frame1, const Switches& switches,
                                    const ProgressFn& progress = {});

// Hands each snapshot to sink as soon as it is rendered (variant 0 first), so
// a window can show them one by one; the picture lives until sink returns
// (copy it to keep it). sink and progress run on the calling thread. Returns
// false when progress asked to stop; the snapshots after that point are not
// rendered. With state (pencil textures set), its buffers are reused.
using SnapshotSink = std::function<void(int variant, const Picture& snapshot)>;
bool BuildSnapshots(const Picture& frame1, const Switches& switches, const SnapshotSink& sink,
                    const ProgressFn& progress = {});
bool BuildSnapshots(EngineState& state, const Picture& frame1, const Switches& switches,
                    const SnapshotSink& sink, const ProgressFn& progress = {});

// Whether this process has the memory to render the 17 snapshots of a
// width x height frame (keepAll: all 17 pictures are kept, as the window
// does; otherwise each is handed on as it is made). When it has not, error
// names file, the memory needed and the memory free, and false is returned:
// checked before the planes are touched, since running out of memory then
// ends the program instead of reporting an error.
bool EnoughMemoryForSnapshots(int width, int height, bool keepAll, const std::string& file,
                              imaging::Error* error);

// Opening an animation for choosing a variant, as the window and the
// snapshots command do.
struct ChoosingOptions {
    Switches switches;
    // Frame 1 is resized as a conversion with this request would resize it.
    imaging::ResizeRequest resize;
    // The snapshots show the first frame this part of the animation shows.
    TimelineOptions timeline;
    // The caller keeps all 17 pictures (the window) rather than letting each
    // go when sink returns; decides the memory asked for.
    bool keepAll = false;
    // A still (one frame) is opened but not rendered: the caller refuses it.
    bool animatedOnly = false;
    // 50 to 100 while the snapshots are rendered (BuildSnapshots); false stops.
    ProgressFn progress;
    // Asked inside long decodes; true stops.
    std::function<bool()> cancelled;
};

struct OpenedForChoosing {
    imaging::AnimationInfo info;     // at the source's size
    imaging::AnimationDamage damage; // found in the frames the file still gives
    Picture frame1;                  // at the render size; empty when nothing was rendered
    bool rendered = false;           // all 17 snapshots went to the sink
};

// Opens the animation (GIF, WebP or video clip) at file, reads the first
// frame options.timeline shows, checks there is
// the memory to render it, and hands variants 0 to 16 of it to sink (see
// BuildSnapshots). *opened holds what is known even when this fails. Fails
// with error naming file: unreadable, not an animation, no frame, too large,
// too little memory, a timeline that shows nothing, or Cancelled when progress
// or cancelled asked to stop.
bool OpenForChoosing(const std::string& file, const ChoosingOptions& options, const SnapshotSink& sink,
                     OpenedForChoosing* opened, imaging::Error* error);

} // namespace qf
