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

#include <cstdint>
#include <memory>
#include <string>

namespace qf::imaging {

struct SoundPart;

// What a clip's bytes are spent on, for telling a whole clip's size from
// parts of it. An encoder starts every clip with a key picture, and a part
// cut for measuring carries one its whole would not; the container's
// headers, too, come once per file.
struct ClipBytes {
    std::int64_t packets = 0; // pictures and sound
    std::int64_t packetCount = 0;
    std::int64_t pictureCount = 0;
    // The first picture beyond the mean of the others, when it is a key picture.
    std::int64_t openingExcess = 0;
};

// Reads a clip's packets; false when it cannot be read.
bool MeasureClip(const std::string& path, ClipBytes* bytes);

// An AV1 clip's pictures from one key picture to the next: what SVT-AV1
// picks itself for 25 frames a second (the rate the writer states), set so
// that an estimate can count a whole clip's key pictures.
inline constexpr int kAv1KeyInterval = 161;

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

// The encoder's rate factor for a quality of 1-100 (kLosslessQuality: the
// default, 70): H.264's 0-51 in tenths, VP9's or AV1's 0-63 whole, lower
// meaning better.
double RateFactorFor(OutputFormat format, int quality, WebmCodec codec = WebmCodec::Vp9);

} // namespace qf::imaging
