// A short, small rendering of one variant: the first seconds of an
// animation, sampled as its conversion samples it, each frame reduced to fit
// a box before the effect, for playing while the user chooses. It shares nothing with the snapshots or the
// conversion's results.
#pragma once

#include "engine/engine.h"
#include "imaging/errors.h"
#include "picture.h"
#include "timeline.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qf {

struct PreviewOptions {
    int variant = 0;
    Switches switches;
    int maxWidth = 400; // frames larger than this box are reduced to fit it
    int maxHeight = 300;
    int maxHundredths = 300; // stop once this much play time is rendered
    int maxFrames = 48;
    // The part of the animation and its frame rate, as for the conversion
    // (a bounce plays forward here).
    TimelineOptions timeline;
    // Asked between frames and inside long decodes; true stops the work.
    std::function<bool()> cancelled;
};

// The reduced source frames of a preview and their delays. Read once, they
// serve every variant of the same part of the same file at the same box, so
// a clip is not decoded again (up to a late start) for each variant.
struct PreviewSource {
    std::string path;
    std::filesystem::file_time_type modified;
    TimelineOptions timeline;
    int maxWidth = 0, maxHeight = 0, maxHundredths = 0, maxFrames = 0;
    std::vector<Picture> frames;
    std::vector<int> delays;
};

// Hands each frame (1-based number, the reduced source picture, the rendered
// picture, delay in hundredths of a second as the conversion gives it) to
// sink as soon as it is made, on the calling thread. False with *error when
// the file cannot be read, or with ErrorKind::Cancelled when stopped. With
// kept, the frames come from *kept when it holds those of this file, part
// and box; otherwise the frames read are put in a new *kept once all are in.
using PreviewSink = std::function<void(int frame, const Picture& source, const Picture& rendered, int delay)>;
bool RenderPreview(const std::string& path, const PreviewOptions& options, const PreviewSink& sink,
                   imaging::Error* error, std::shared_ptr<const PreviewSource>* kept = nullptr);

} // namespace qf
