// Converting a whole animation: every frame rendered with one variant and
// written as an animated GIF or WebP, on worker threads. ConvertAllFrames is
// the one call; Conversion (conversion.h) runs it stage by stage, and
// ConvertBatch (batch.h) runs many.
#pragma once

#include "engine/engine.h"
#include "folders.h"
#include "frame_renderer.h"
#include "imaging/animation_writer.h"
#include "imaging/resize.h"
#include "output_shaping.h"
#include "picture.h"
#include "progress.h"
#include "timeline.h"

#include <functional>
#include <optional>
#include <string>

namespace qf::imaging {
struct AnimationDamage;
}

namespace qf {

struct ConvertOptions {
    int variant = 0;
    Switches switches;
    int threads = 0; // 0: all cores; at most 256
    // Also write each rendered frame as frame-0001.png, ... into this folder,
    // held open (imaging::OpenOutputFolder) by the caller.
    std::optional<imaging::OutputFolder> pngFrames;
    // i / n * 100 after frame i (and 0 before the first); false cancels. It is
    // called from a worker thread or the calling one, one call at a time, in
    // frame order.
    ProgressFn progress;
    // Told, once the input is open, how many frames its timeline keeps (the
    // frames before any frame step): the count progress is shown against.
    std::function<void(int frames)> planned;
    // Asked also inside long decodes, from any thread; true cancels.
    std::function<bool()> cancelled;
    // Frames resized as asked before the effect (imaging/resize.h). A video
    // clip with no resize asked for is shrunk to fit kDefaultVideoMaxSide
    // square: a 4K clip does not become a 4K GIF by accident.
    imaging::ResizeRequest resize;
    // The part of the animation shown, its frame rate, speed and bounce.
    TimelineOptions timeline;
    // Consecutive frames that render identically become one frame with their
    // delays added. Always so for a video clip (and in a WebP).
    bool mergeRepeats = false;
    // Where a source frame is transparent, the output frame is too; the
    // effect still sees the frame laid over white.
    bool keepTransparency = false;
    // The output's format and quality (imaging/animation_writer.h).
    imaging::OutputSettings output;
    // An MP4 or WebM made from a clip has the clip's sound (not when it
    // bounces).
    bool sound = true;
    // Keep frames 1, 1 + frameStep, ...: each kept frame shows for its own
    // delay plus those of the frames dropped after it, so the timing holds.
    int frameStep = 1;
    // Run in the task arena the caller runs in (set up with its threads,
    // shared by several conversions at once) instead of one of threads.
    bool inCurrentArena = false;
};

// The largest side a video clip is converted at unless a resize is asked for.
constexpr int kDefaultVideoMaxSide = 640;

// The resize an animation gets: the one asked for, else for a video clip a
// fit within kDefaultVideoMaxSide square.
imaging::ResizeRequest ResizeFor(const imaging::AnimationInfo& info, const imaging::ResizeRequest& asked);

// Renders every frame of the animation (GIF, WebP or video clip) at input
// with the chosen variant and writes the animation to output with the
// source's delays and loop count. Frames are rendered in parallel and written
// in order; on any failure or cancel the output is left as it was before,
// error says why (ErrorKind::Cancelled when progress asked to stop) and false
// is returned. With pngFrames the frame
// pictures written before a failure stay (each one complete). damage, when
// given, receives the damage the reader found in frames it still could read.
bool ConvertAllFrames(const std::string& input, const std::string& output, const ConvertOptions& options,
                      imaging::Error* error, imaging::AnimationDamage* damage = nullptr);

// Writes the animation at source (GIF or WebP) to destination as settings
// ask, frame for frame with its delays and loop count and without an
// effect (the window saves a converted GIF as WebP this way). The
// destination is replaced only by a complete file. progress, when set, gets
// 0 before the first frame and i / n * 100 after frame i; false stops the
// work (Cancelled, naming destination) and leaves the destination as it was.
// Errors name the file at fault.
bool RewriteAnimation(const std::string& source, const std::string& destination,
                      const imaging::OutputSettings& settings, const ProgressFn& progress,
                      imaging::Error* error);

} // namespace qf
