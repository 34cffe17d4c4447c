// Frames between the GIF reader and the engine, the bundled pencil-paper
// texture, the 17 snapshots and the conversion of a whole animation.
//
// Everything here may run on worker threads: no function keeps state between
// calls except the decoded texture, which is built once, thread-safely.
#pragma once

#include "engine/engine.h"
#include "imaging/image.h"
#include "picture.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qf {

// A decoded frame as the source picture at its natural size; transparent
// pixels become white paper (a partly transparent pixel is laid over white).
Picture ReadFrame(const imaging::RgbaImage& frame);
// The same into picture, reusing its storage.
void ReadFrame(const imaging::RgbaImage& frame, Picture& picture);

// The bundled 104 x 120 pencil-paper texture, read the way the pixel bridge
// reads any picture (bottom row first). Decoded once; thread-safe.
const ColourPlane& DefaultPencilTexture();

// Gives state the bundled pencil-paper textures (PencilTexture and its
// rotated copy PencilTexture2).
void UseDefaultPencilTexture(EngineState& state);

// One frame through the whole chain: picture to planes, ComputeEffectLayers
// (variant, frameNumber), RenderVariant (variant), planes to picture. The
// result has the source's size. state must have its pencil textures set.
Picture RenderFrame(EngineState& state, const Picture& source, int variant, int frameNumber,
                    const Switches& switches);
// The same into rendered, reusing its storage.
void RenderFrame(EngineState& state, const Picture& source, int variant, int frameNumber,
                 const Switches& switches, Picture& rendered);

// A progress report in percent (0-100). Returning false asks the work to stop.
using ProgressFn = std::function<bool(double percent)>;

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

struct ConvertOptions {
    int variant = 0;
    Switches switches;
    int threads = 0;                        // 0: all cores; at most 256
    std::optional<std::string> pngFramesDir; // also write each rendered frame as frame-0001.png, ...
    // i / n * 100 after frame i (and 0 before the first); false cancels. It is
    // called from a worker thread or the calling one, one call at a time, in
    // frame order.
    ProgressFn progress;
};

// Renders every frame of the GIF at input with the chosen variant and writes
// the animation to output with the source's delays and loop count. Frames are
// rendered in parallel and written in order; on any failure or cancel the
// output is left as it was before, error says why (ErrorKind::Cancelled when
// progress asked to stop) and false is returned. With pngFramesDir the frame
// pictures written before a failure stay (each one complete).
bool ConvertAllFrames(const std::string& input, const std::string& output,
                      const ConvertOptions& options, imaging::Error* error);

// The per-variant result cache of the window: when a file named resultFile
// already exists nothing is converted (*reused is set to true) and true is
// returned; otherwise ConvertAllFrames(input, resultFile, options).
bool ConvertAllFramesCached(const std::string& input, const std::string& resultFile,
                            const ConvertOptions& options, bool* reused, imaging::Error* error);

} // namespace qf
