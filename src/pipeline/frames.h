// Frames between the GIF reader and the engine, the bundled pencil-paper
// texture, the 17 snapshots and the conversion of a whole animation.
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
// pixels become white paper.
Picture ReadFrame(const imaging::RgbaImage& frame);

// The bundled 104 x 120 pencil-paper texture, read the way the pixel bridge
// reads any picture (bottom row first). Decoded once; thread-safe.
const ColourPlane& DefaultPencilTexture();

// A progress report in percent (0-100). Returning false asks the work to stop.
using ProgressFn = std::function<bool(double percent)>;

// Variants 0 to 16 of frame 1 (frame number 0), in order, each bit-identical
// to a separate engine run. Progress goes from 50 (after variant 0) to 100.
std::vector<Picture> BuildSnapshots(const Picture& frame1, const Switches& switches,
                                    const ProgressFn& progress = {});

struct ConvertOptions {
    int variant = 0;
    Switches switches;
    int threads = 0;                        // 0: all cores
    std::optional<std::string> pngFramesDir; // also write each rendered frame as frame-0001.png, ...
    ProgressFn progress;                     // i / n * 100 after frame i; false cancels
};

// Renders every frame of the GIF at input with the chosen variant and writes
// the animation to output with the source's delays and loop count. Frames are
// rendered in parallel and written in order; on any failure or cancel the
// output is left as it was before.
bool ConvertAllFrames(const std::string& input, const std::string& output,
                      const ConvertOptions& options, imaging::Error* error);

} // namespace qf
