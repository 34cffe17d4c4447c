// Writes the animation as a video clip through libavformat and libavcodec:
//  - MP4: H.264 (libx264), yuv420p, the index at the front (+faststart) so
//    that it plays while it downloads; AAC sound;
//  - WebM: VP9 (libvpx), or AV1 (SVT-AV1) for frames of at least 64 x 64;
//    Opus sound.
// Every frame lasts its delay (a variable frame rate where the delays
// vary; delays of 0 and 1 hundredth last 10, as players show a GIF's). A
// clip holds one pass: the loop count has no place in it. Sides are made
// even by repeating the last column or row. Frames are converted to YUV on
// any thread (take) and encoded in order (link) on the encoder's own
// threads; the sound (SoundPart) is encoded when the file opens and laid
// between the pictures as they come. Streamed output (to a pipe) is a
// fragmented MP4, or a WebM written without going back.
#pragma once

#include "imaging/animation_writer.h"
#include "imaging/clip_module.h"

#include <cstdint>
#include <memory>
#include <string>

namespace qf::imaging {

// Reads a clip's packets (ClipBytes); false when it cannot be read.
bool MeasureClip(const std::string& path, ClipBytes* bytes);

class VideoWriter : public AnimationWriter {
public:
    explicit VideoWriter(const OutputSettings& settings);
    ~VideoWriter() override;

    // The sound laid under the pictures; set before open.
    void setSound(const SoundPart& part) override;

    bool open(const std::string& path, int width, int height, int loopCount, Error* error) override;
    bool addFrame(const ImageView& frame, int delay, Error* error) override;
    std::unique_ptr<OutputFrame> newFrame() override;
    void take(OutputFrame& frame, const ImageView& picture) override;
    bool link(OutputFrame& frame, int delay, Error* error) override;
    bool prepare(OutputFrame&, Error*) override { return true; }
    void show(OutputFrame&) override {}
    bool compress(OutputFrame&, Error*) override { return true; }
    bool append(OutputFrame& frame, int* completed, Error* error) override;
    bool finish(Error* error) override;
    void abort() override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qf::imaging
