// Writes an animated GIF from same-sized frames given one at a time: exact
// colours whenever a frame has at most 256 of them, unchanged pixels left
// transparent over the previous frame, written atomically.
//
// Decoding the file gives back exactly the frames given whenever each frame
// has at most 256 colours (alpha below 128 counts as transparent, which
// reads back as 0, 0, 0, 0). One global colour table serves while the whole
// animation fits in 256 colours. Frames with more colours are reduced with
// libimagequant, to colours shared by runs of frames where they serve;
// pixels that stay the same from one frame given to the next are never
// redrawn, so the dither does not crawl (see FrameEncoder).
// Frames can be encoded on several threads: the writer itself only keeps
// the global colour table and appends finished frames in order, and the
// bytes do not depend on how many threads encoded them. Memory stays at a
// few frames whatever the frame count: encoded frames wait in an unnamed
// working file beside the destination until finish().
#pragma once

#include "imaging/animation_writer.h"
#include "imaging/gif/gif_frame_encoder.h"
#include "imaging/image.h"

#include <memory>
#include <string>

namespace qf::imaging {

class GifAnimationWriter : public AnimationWriter {
public:
    // With mergeRepeats, a frame the same as the one before is not written:
    // its delay is added to that frame's (up to the 65535 a delay holds).
    explicit GifAnimationWriter(bool mergeRepeats = false);
    ~GifAnimationWriter() override; // abandons an unfinished animation (see abort)
    GifAnimationWriter(const GifAnimationWriter&) = delete;
    GifAnimationWriter& operator=(const GifAnimationWriter&) = delete;

    // Sizes beyond the limits of size_limits.h are refused (TooLarge), sides
    // below 1 and a loop count above kMaxLoopCount too (InvalidArgument).
    bool open(const std::string& path, int width, int height, int loopCount, Error* error) override;

    // The quality level (1 to 100, see gif_levels.h) of the frames linked
    // from now on; 100, the default, keeps frames of at most 256 colours
    // exact. Kept from one animation to the next.
    void setQuality(int quality);

    // A refused frame leaves the animation going on without it; a failure
    // to write abandons the animation as abort() does.
    bool addFrame(const ImageView& frame, int delay, Error* error) override;

    // The stages of animation_writer.h: take packs the frame's colours;
    // link hands the frame over, and once a frame's successor is known its
    // encoding depends on nothing else, so the encoding of the previous
    // frame travels on with this frame through prepare (FrameEncoder::prepare),
    // show, compress (FrameEncoder::encode) and append. finish() encodes the
    // last frame itself. append fails only when the file cannot be written,
    // and then abandons the animation.
    std::unique_ptr<OutputFrame> newFrame() override;
    void take(OutputFrame& frame, const ImageView& picture) override;
    bool link(OutputFrame& frame, int delay, Error* error) override;
    bool prepare(OutputFrame& frame, Error* error) override;
    void show(OutputFrame& frame) override;
    bool compress(OutputFrame& frame, Error* error) override;
    bool append(OutputFrame& frame, int* completed, Error* error) override;

    bool finish(Error* error) override;
    void abort() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qf::imaging
