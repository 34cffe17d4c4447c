// Writes an animated GIF from same-sized frames given one at a time: exact
// colours whenever a frame has at most 256 of them, unchanged pixels left
// transparent over the previous frame, written atomically.
//
// Decoding the file gives back exactly the frames given whenever each frame
// has at most 256 colours (alpha below 128 counts as transparent, which
// reads back as 0, 0, 0, 0). One global colour table serves while the whole
// animation fits in 256 colours. Frames with more colours are reduced with
// libimagequant; pixels that stay the same from one frame given to the next
// are never redrawn, so the dither does not crawl (see FrameEncoder).
// Frames can be encoded on several threads: the writer itself only keeps
// the global colour table and appends finished frames in order, and the
// bytes do not depend on how many threads encoded them. Memory stays at a
// few frames whatever the frame count: encoded frames wait in an unnamed
// working file beside the destination until finish().
#pragma once

#include "gif_frame_encoder.h"
#include "image.h"

#include <memory>
#include <optional>
#include <string>

namespace qf::imaging {

class GifAnimationWriter {
public:
    GifAnimationWriter();
    ~GifAnimationWriter(); // abandons an unfinished animation (see abort)
    GifAnimationWriter(const GifAnimationWriter&) = delete;
    GifAnimationWriter& operator=(const GifAnimationWriter&) = delete;

    // Starts an animation of width x height. loopCount as in AnimationInfo: -1
    // writes no loop extension, 0 loops forever, n repeats n times (up to
    // 65535). Creates the temporary file at once, so an unwritable
    // destination fails here (Unwritable). Sizes beyond the limits of
    // size_limits.h are refused (TooLarge), sides below 1 and a loop count out
    // of range too (InvalidArgument).
    bool open(const std::string& path, int width, int height, int loopCount, Error* error);

    // The quality level (1 to 100, see gif_levels.h) of the frames linked
    // from now on; 100, the default, keeps frames of at most 256 colours
    // exact. Kept from one animation to the next.
    void setQuality(int quality);

    // Appends a frame with its delay in hundredths of a second (0 to 65535,
    // stored exactly). A frame of another size or a delay out of range is
    // refused (InvalidArgument) and the animation goes on without it; a failure to
    // write abandons the animation as abort() does.
    bool addFrame(const ImageView& frame, int delay, Error* error);

    // The same in three steps, for callers that encode on several threads:
    //  1. link(): in frame order, hands over the next frame. Once a frame's
    //     successor is known its encoding depends on nothing else, and *job
    //     is set to it (the first call leaves *job empty).
    //  2. FrameEncoder::prepare(*job) on any thread (the colour reduction).
    //  3. show(): in frame order, gives the job what a decoder shows before
    //     its frame.
    //  4. FrameEncoder::encode(*job) on any thread.
    //  5. append(): in frame order, adds the encoded frame.
    // finish() encodes the last frame itself. A refused frame is handled as
    // in addFrame(); append() fails only when the file cannot be written,
    // and then abandons the animation.
    bool link(std::shared_ptr<const PackedFrame> frame, int delay, std::optional<FrameJob>* job,
              Error* error);
    void show(FrameJob& job);
    bool append(const EncodedFrame& frame, Error* error);

    // Completes the file and moves it over the destination in one step. On
    // failure (a full disk, say) the destination stays as it was.
    bool finish(Error* error);

    // Drops everything written so far; the destination stays as it was and
    // no temporary file is left behind.
    void abort();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qf::imaging
