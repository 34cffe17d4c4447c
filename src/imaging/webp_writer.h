// Writes an animated WebP from same-sized frames given one at a time, with
// libwebp's animation encoder, atomically like the GIF writer: the
// destination is replaced only by a complete file.
//
// Lossless by default: decoding gives back exactly the frames given (fully
// transparent pixels may come back with other colours). Delays are given in
// hundredths of a second, as for GIF, and stored in milliseconds; the loop
// count is given in the GIF's terms (AnimationInfo) and stored in WebP's, which
// counts plays. Consecutive identical frames may be merged into one frame
// with their delays added, so the timing is kept but the frame count may drop.
// The encoded frames are held in memory until finish().
#pragma once

#include "image.h"

#include <memory>
#include <string>
#include <vector>

namespace qf::imaging {

struct WebpOptions {
    int quality = -1; // -1: lossless; 0-100: lossy at that quality
};

class WebpWriter {
public:
    WebpWriter();
    ~WebpWriter(); // abandons an unfinished animation (see abort)
    WebpWriter(const WebpWriter&) = delete;
    WebpWriter& operator=(const WebpWriter&) = delete;

    // Starts an animation of width x height. Creates the temporary file at
    // once, so an unwritable destination fails here (Unwritable).
    bool open(const std::string& path, int width, int height, int loopCount, const WebpOptions& options,
              Error* error);
    // Appends a frame with its delay (0 to 65535 hundredths of a second). A
    // frame of another size or a delay out of range is refused
    // (InvalidArgument).
    bool addFrame(const ImageView& frame, int delay, Error* error);
    // Encodes the file and moves it over the destination in one step.
    bool finish(Error* error);
    // Drops everything; the destination stays as it was.
    void abort();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qf::imaging
