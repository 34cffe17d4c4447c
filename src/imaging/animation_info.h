// What a reader learns of an animation, whatever its format: its size,
// frames, delays and loop count, the work it asks for, and any damage its
// frames were read despite.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qf::imaging {

// The longest delay of a frame (hundredths of a second) and the most
// repeats a GIF stores (16 bits each); every writer takes the same.
inline constexpr int kMaxDelay = 65535;
inline constexpr int kMaxLoopCount = 65535;

// Browsers play a delay under two hundredths of a second as a tenth: frames
// that are merged or dropped add their delays as they are played.
inline constexpr int kShortestPlayedDelay = 2;
inline constexpr int PlayedDelay(int delay)
{
    return delay < kShortestPlayedDelay ? 10 : delay;
}

struct AnimationInfo {
    // The logical screen. A screen stored with no width or height takes the
    // extent of the first frame instead, as browsers do.
    int width = 0;
    int height = 0;
    int frameCount = 0;      // frames that decode (a file cut short keeps those before the cut)
    std::vector<int> delays; // one per frame, in hundredths of a second, exactly as stored
    int loopCount = -1;      // -1: no loop extension; 0: forever; n: the stored repeat count
    // The work the animation asks of a reader and of a converter: for a GIF
    // or WebP, pixels decoded plus, per frame, the screen's area composited
    // and rendered; for a clip, its frames' decoding (kVideoDecodeShare).
    std::int64_t work = 0;
    // The file's size in bytes, which bounds the work and the pictures it
    // may ask for (size_limits.h).
    std::int64_t fileBytes = 0;
    // A video clip: its frames' starts in microseconds from the first, then
    // its end (frameCount + 1 entries), and its nominal frame rate. Empty and
    // 0 for a GIF or WebP, whose delays are the timing.
    std::vector<std::int64_t> frameTimes;
    double frameRate = 0;
    // A clip: its first frame's time in the clip's own timeline, in
    // microseconds (where its sound is found).
    std::int64_t clipStart = 0;
    // A clip: each frame's coded bytes, and whether it is coded on its own
    // (a key picture), in the order the frames are shown. How much a frame
    // costs its codec says how much it changed from the pictures it builds
    // on, without decoding it.
    std::vector<std::int64_t> codedBytes;
    std::vector<std::uint8_t> codedAlone;
    bool video() const { return !frameTimes.empty(); }
};

// Damage in a file that still has frames to show. open() finds a file cut
// short, bytes that are no GIF block and unreadable code sizes; readNext()
// also finds damaged image data in the frames it decodes. The earliest
// damage found is kept.
struct AnimationDamage {
    int afterFrame = -1; // frames 1..afterFrame are whole; -1: no damage found
    int framesRead = 0;  // the frames the file still gives (AnimationInfo::frameCount)
    std::string what;    // e.g. "the file is cut short", "the image data of frame 25 is damaged"

    explicit operator bool() const { return afterFrame >= 0; }
    // "is damaged after frame 24 (the file is cut short); 24 frames were read",
    // or for damage inside the frames read "is damaged in frame 3 (...); 9
    // frames were read, the damaged ones as far as they decode"
    std::string message() const;
};

// What readNext did: decoded a frame, found no frame left, or failed.
enum class ReadStatus { Frame, End, Failed };

struct ReadResult {
    ReadStatus status = ReadStatus::Failed;
    // True for a frame, so `while (reader.readNext(frame, &error))` reads
    // every frame; tell End from Failed by status.
    explicit operator bool() const { return status == ReadStatus::Frame; }
};

} // namespace qf::imaging
