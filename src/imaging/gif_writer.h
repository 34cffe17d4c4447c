// Writes an animated GIF from same-sized frames given one at a time: exact
// colours whenever a frame has at most 256 of them, unchanged pixels left
// transparent over the previous frame, written atomically.
#pragma once

#include "image.h"

#include <memory>
#include <string>

namespace qf::imaging {

class AnimationWriter {
public:
    AnimationWriter();
    ~AnimationWriter(); // abandons an unfinished animation (see abort)
    AnimationWriter(const AnimationWriter&) = delete;
    AnimationWriter& operator=(const AnimationWriter&) = delete;

    // Starts an animation of width x height. loopCount as in GifInfo: -1
    // writes no loop extension, 0 loops forever, n repeats n times.
    bool open(const std::string& path, int width, int height, int loopCount, Error* error);

    // Appends a frame with its delay in hundredths of a second.
    bool addFrame(const ImageView& frame, int delay, Error* error);

    // Completes the file and moves it over the destination in one step.
    bool finish(Error* error);

    // Drops everything written so far; the destination stays as it was and
    // no temporary file is left behind.
    void abort();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qf::imaging
