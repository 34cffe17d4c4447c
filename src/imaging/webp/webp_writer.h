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

#include "imaging/animation_writer.h"
#include "imaging/image.h"

#include <memory>
#include <string>

namespace qf::imaging {

class WebpWriter : public AnimationWriter {
public:
    // quality kLosslessQuality: lossless; 0-100: lossy at that quality.
    explicit WebpWriter(int quality = kLosslessQuality);
    ~WebpWriter() override; // abandons an unfinished animation (see abort)
    WebpWriter(const WebpWriter&) = delete;
    WebpWriter& operator=(const WebpWriter&) = delete;

    // Sides above 16383 pixels are refused (TooLarge), a quality outside 0-100
    // that is not kLosslessQuality too (InvalidArgument).
    bool open(const std::string& path, int width, int height, int loopCount, Error* error) override;
    // An animation too long for WebP's millisecond timestamps is refused
    // (TooLarge).
    bool addFrame(const ImageView& frame, int delay, Error* error) override;

    // The stages of animation_writer.h: libwebp's animation encoder takes
    // the frames in order, so link encodes the frame (addFrame) and the
    // other stages have nothing to do.
    std::unique_ptr<OutputFrame> newFrame() override;
    void take(OutputFrame& frame, const ImageView& picture) override;
    bool link(OutputFrame& frame, int delay, Error* error) override;
    bool prepare(OutputFrame&, Error*) override { return true; }
    void show(OutputFrame&) override {}
    bool compress(OutputFrame&, Error*) override { return true; }
    bool append(OutputFrame& frame, int* completed, Error* error) override;

    // Encodes the file and moves it over the destination in one step.
    bool finish(Error* error) override;
    void abort() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qf::imaging
