// The largest pictures and animations read and written, and the most work
// a file may ask for. Beyond them files are refused (ErrorKind::TooLarge)
// before the work starts.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

namespace qf::imaging {

// A GIF stores every width, height and position in 16 bits, so 65535 pixels
// is the format's own limit on a side. It is the only side limit: the writer
// needs it (a GIF cannot store more) and PNG reading uses the same; nothing
// else depends on the shape of a picture, only on its area.
constexpr int kMaxSide = 65535;

// At most 100 megapixels a picture: the canvas alone is 400 MB of RGBA, and
// every converting worker holds many times that.
constexpr std::int64_t kMaxPixels = 100'000'000;

// Whether a picture of width x height is within the limits: sides of at
// most maxSide pixels (the format's own), area of at most kMaxPixels.
inline bool WithinSizeLimits(std::int64_t width, std::int64_t height, std::int64_t maxSide = kMaxSide)
{
    return width <= maxSide && height <= maxSide && width * height <= kMaxPixels;
}

// "W x H pixels, beyond the limit of S pixels a side and N megapixels": how
// every refusal of a picture beyond the limits reads.
inline std::string BeyondSizeLimits(std::int64_t width, std::int64_t height, std::int64_t maxSide = kMaxSide)
{
    return std::to_string(width) + " x " + std::to_string(height) + " pixels, beyond the limit of "
           + std::to_string(maxSide) + " pixels a side and " + std::to_string(kMaxPixels / 1'000'000)
           + " megapixels";
}

// At most this many frames.
constexpr int kMaxFrames = 100'000;

// At most this many bytes are taken from a pipe or standard input, which
// has no size to weigh before reading: more than any animation within the
// limits above needs, far less than an endless stream would fill a disk with.
constexpr std::int64_t kMaxStreamBytes = 1ll << 30;

// Work counts pixels: those decoded from the file (rows below the screen are
// not decoded), and for every frame the screen's area, which is composited,
// copied out and rendered whatever the frame's own size. A file may ask for
// 100 megapixels of work, plus 20,000 pixels for each of its bytes, and never
// more than 20 gigapixels. Rendering takes from about 60 nanoseconds a pixel
// (line sketches) to about a microsecond (the mixed-colour variants) on one
// core, so the bytes of a file of a few kilobytes buy no more than a few
// seconds to a minute or two, and no file more than hours. Real animations
// carry far more bytes for the pixels they show, except a still screen's
// frames, allowed for themselves up to full HD (kFreeFrameArea below):
// frames of a few bytes on a larger screen are what these limits refuse.
constexpr std::int64_t kWorkFloor = 100'000'000;
constexpr std::int64_t kWorkPerByte = 20'000;
constexpr std::int64_t kMaxWork = 20'000'000'000;

inline std::int64_t WorkLimit(std::int64_t fileBytes)
{
    return std::min(kMaxWork, kWorkFloor + kWorkPerByte * std::clamp<std::int64_t>(fileBytes, 0, kMaxWork));
}

// A screen recording held still stores each frame in a few dozen bytes
// whatever the screen's size: FFmpeg's GIF of a still 1920 x 1080 screen,
// 20 s at 30 fps (600 frames, 28,111 bytes), asks for 44,000 pixels of work
// a byte, and was refused. No allowance a byte tells such a file from one
// made to ask for work, but the frames are in the file, each shown and
// rendered: an animation may have every frame it holds composed and
// rendered at up to full HD (kFreeFrameArea) beyond what its bytes allow,
// within kMaxWork. Larger frames count beyond that against the bytes.
constexpr int kFreeFrameWidth = 1920;
constexpr int kFreeFrameHeight = 1080;
constexpr std::int64_t kFreeFrameArea = std::int64_t{kFreeFrameWidth} * kFreeFrameHeight;

// The work an animation of fileBytes may ask for when it composes or
// renders `frames` pictures of `area` pixels.
inline std::int64_t AnimationWorkLimit(std::int64_t fileBytes, std::int64_t frames, std::int64_t area)
{
    return std::min(kMaxWork, WorkLimit(fileBytes)
                                  + std::clamp<std::int64_t>(frames, 0, kMaxWork)
                                        * std::clamp<std::int64_t>(area, 0, kFreeFrameArea));
}

// A video decoder's work is bounded by the frame: decoding a coded pixel
// costs a small part of rendering one (a few nanoseconds against 60 to
// 1000), counted as a quarter. A clip's work is every frame decoded at
// its coded size, weighed so, plus every frame kept rendered at the size it
// is rendered at.
constexpr std::int64_t kVideoDecodeShare = 4;

// Memory: a picture held (a GIF's or WebP's screen, or frames resized for
// the effect, which holds about 120 bytes a pixel) may be of 16.7
// megapixels (4096 x 4096) whatever the file; beyond that the file must
// carry a byte for every 256 pixels. Real pictures that large carry far
// more (a photograph or a screen of text a byte for a few pixels); a
// file of a few kilobytes whose frames claim 100 megapixels, which LZW can
// fill at 2,700 pixels a byte, is refused before a picture is allocated.
constexpr std::int64_t kPictureFloor = 4096ll * 4096;
constexpr std::int64_t kPicturePixelsPerByte = 256;

inline std::int64_t PictureLimit(std::int64_t fileBytes)
{
    return std::min(kMaxPixels,
                    kPictureFloor
                        + kPicturePixelsPerByte * std::clamp<std::int64_t>(fileBytes, 0, kMaxPixels));
}

// "W x H pixels, more than a FILE of N bytes may ask to hold (P megapixels:
// 16.7 plus 256 pixels a byte)": how every refusal of a picture beyond
// PictureLimit reads; kind names the file ("GIF", "animated WebP", "video").
inline std::string BeyondPictureLimit(std::int64_t width, std::int64_t height, std::int64_t fileBytes,
                                      const std::string& kind)
{
    const std::int64_t limit = PictureLimit(fileBytes);
    return std::to_string(width) + " x " + std::to_string(height) + " pixels, more than " + kind + " of "
           + std::to_string(fileBytes) + " bytes may ask to hold (" + std::to_string(limit / 1'000'000) + "."
           + std::to_string(limit / 100'000 % 10) + " megapixels: 16.7 plus "
           + std::to_string(kPicturePixelsPerByte) + " pixels a byte)";
}

} // namespace qf::imaging
