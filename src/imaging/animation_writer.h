// The one interface every animation writer offers (GIF, WebP), so that a
// conversion writes any format through the same stages, and the choice of
// writer for an output format.
//
// A writer takes same-sized frames in order and replaces its destination
// only by a complete file. Frames are given either one at a time
// (addFrame), or through stages that let a conversion encode frames on
// several threads. Each frame passes, in this order:
//
//   take      any thread   keeps what the writer needs of the picture
//   link      in order     the frame joins the animation with its delay
//   prepare   any thread   the colour reduction
//   show      in order     what a player shows before the frame
//   compress  any thread   the compressed data
//   append    in order     the data goes into the file
//
// "In order" stages are called one at a time, in frame order; the others
// on any thread, for different frames at once. A writer may do a stage's
// work for another frame than the one handed to it (the GIF writer encodes
// a frame once its successor is known), or none (the WebP writer encodes in
// link); append says how many frames are complete. The bytes written do not
// depend on the number of threads or on which thread ran a stage.
#pragma once

#include "imaging/animation_info.h"
#include "imaging/image.h"

#include <memory>
#include <string>

namespace qf::imaging {

enum class OutputFormat { Gif, Webp, Mp4, Webm };

// MP4 and WebM are video clips: one pass, with sound, of even sizes.
inline bool IsVideo(OutputFormat format)
{
    return format == OutputFormat::Mp4 || format == OutputFormat::Webm;
}

// The pictures' codec of a WebM: VP9 (libvpx), or AV1 (SVT-AV1), about
// half the size at the same fidelity, for frames of at least kMinAv1Side
// on each side.
enum class WebmCodec { Vp9, Av1 };
inline constexpr int kMinAv1Side = 64;

struct SoundPart;

// The quality that asks for no loss: above every lossy quality (0-100), so a
// higher number never gives a smaller file. A WebP is then lossless; a GIF
// gets its best, near-lossless level.
constexpr int kLosslessQuality = 101;

// How an animation is written.
struct OutputSettings {
    OutputFormat format = OutputFormat::Gif;
    // WebP: kLosslessQuality, or 0-100 lossy at that quality. GIF: the
    // quality level 1-100 of gif_levels.h (0 counts as 1); kLosslessQuality
    // or 100 is the near-lossless default.
    int quality = kLosslessQuality;
    // GIF: consecutive frames that are the same become one frame with their
    // delays added (a WebP always does so).
    bool mergeRepeats = false;
    // MP4, WebM: 1-100 maps to the encoder's rate factor (RateFactorFor);
    // kLosslessQuality gives the default, 70.
    // WebM: the pictures' codec. Any other format takes only Vp9, the
    // default.
    WebmCodec webmCodec = WebmCodec::Vp9;
    // MP4, WebM: read as it is written (standard output): a fragmented MP4,
    // a WebM written without going back.
    bool streamed = false;
    // MP4, WebM: the pictures' bits a second instead of quality's rate
    // factor (an output within a byte budget); 0 uses quality.
    long long videoBitRate = 0;
    // MP4, WebM: the sound's bits a second; 0 the format's usual rate.
    int soundBitRate = 0;
    // MP4 at videoBitRate: 1 encodes a first pass that writes its
    // statistics to passLog, 2 one that reads them; 0 a single pass.
    int pass = 0;
    std::string passLog = {};
    // MP4, WebM: the encoder's threads; 0 as many as it takes for the cores.
    int encoderThreads = 0;
};

// What a writer keeps of one frame between its stages. Made by
// AnimationWriter::newFrame for one writer, and reused frame after frame.
class OutputFrame {
public:
    virtual ~OutputFrame() = default;
};

class AnimationWriter {
public:
    virtual ~AnimationWriter() = default;

    // The sound laid under the pictures, for a format that holds sound
    // (MP4, WebM); the others have none and ignore it. Set before open.
    virtual void setSound(const SoundPart&) {}

    // Starts an animation of width x height at path. loopCount as in
    // AnimationInfo: -1 no loop extension (plays once), 0 forever, n repeats.
    // Creates the temporary file at once, so an unwritable destination fails
    // here (Unwritable); sizes the format cannot hold fail too (TooLarge).
    virtual bool open(const std::string& path, int width, int height, int loopCount, Error* error) = 0;

    // Adds a whole frame with its delay in hundredths of a second (0 to
    // LongestDelay of the format). A frame of another size or a delay out of range is refused
    // (InvalidArgument).
    virtual bool addFrame(const ImageView& frame, int delay, Error* error) = 0;

    // The staged way, in the order of the header comment. picture must stay
    // valid until link returns. prepare and compress fail (LibraryFailed)
    // only when an encoding library does; link and append as addFrame.
    // *completed is set to the number of frames whose data is in the file.
    virtual std::unique_ptr<OutputFrame> newFrame() = 0;
    virtual void take(OutputFrame& frame, const ImageView& picture) = 0;
    virtual bool link(OutputFrame& frame, int delay, Error* error) = 0;
    virtual bool prepare(OutputFrame& frame, Error* error) = 0;
    virtual void show(OutputFrame& frame) = 0;
    virtual bool compress(OutputFrame& frame, Error* error) = 0;
    virtual bool append(OutputFrame& frame, int* completed, Error* error) = 0;

    // Completes the file and moves it over the destination in one step. On
    // failure (a full disk, say) the destination stays as it was.
    virtual bool finish(Error* error) = 0;
    // Drops everything written so far; the destination stays as it was and
    // no temporary file is left behind.
    virtual void abort() = 0;
};

// For writers: the checks every writer makes, in the same words. Of open():
// sides below 1 and a loop count outside -1 to kMaxLoopCount are refused
// (InvalidArgument), sizes beyond the limits of size_limits.h with the
// format's own largest side (TooLarge).
bool CheckAnimation(const std::string& path, int width, int height, int maxSide, int loopCount, Error* error);
// Of frame number (1-based) of width x height: another size than the
// animation's, or a delay outside 0 to maxDelay (InvalidArgument).
bool CheckFrame(const std::string& path, int number, int width, int height, int delay, int animationWidth,
                int animationHeight, Error* error, int maxDelay = kMaxDelay);

// The longest delay one frame holds, in hundredths of a second: a GIF's 16
// bits (655.35 s), a WebP's 24 bits of milliseconds (about 4.7 hours). A
// longer pause is written as the same frame repeated.
int LongestDelay(OutputFormat format);

// A writer of the format and settings asked for.
std::unique_ptr<AnimationWriter> MakeAnimationWriter(const OutputSettings& settings);

// An AV1 clip's pictures from one key picture to the next: what SVT-AV1
// picks itself for 25 frames a second (the rate the writer states), set so
// that an estimate can count a whole clip's key pictures.
inline constexpr int kAv1KeyInterval = 161;

// The encoder's rate factor for a quality of 1-100 (kLosslessQuality: the
// default, 70): H.264's 0-51 in tenths, VP9's or AV1's 0-63 whole, lower
// meaning better.
double RateFactorFor(OutputFormat format, int quality, WebmCodec codec = WebmCodec::Vp9);

} // namespace qf::imaging
