// Reads an animation frame by frame whatever its format. OpenAnimation tells
// the format by the file's first bytes, never by its name: a GIF, an
// animated WebP, and anything else is tried as a video clip, whose errors
// name a file that is none of them.
#pragma once

#include "imaging/animation_info.h"
#include "imaging/image.h"
#include "imaging/resize.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace qf::imaging {

// What OpenAnimation reads, in words, and the extensions such files have
// (the reader itself goes by content): GIF, WebP, and the clips the video
// reader's demuxers take.
inline constexpr std::string_view kReadableKinds =
    "a GIF, an animated WebP, or a video clip such as MP4, MOV, WebM, MKV, AVI or APNG";
inline constexpr std::string_view kReadableExtensions[] = {"gif",  "webp", "mp4", "m4v",  "mov",
                                                           "webm", "mkv",  "avi", "apng", "png"};

// A clip's frame as decoded, kept to be converted again at another size
// exactly as the reader would have given it at that size
// (AnimationReader::keepPictures).
class ClipPicture {
public:
    virtual ~ClipPicture() = default;
    // The frame upright at width x height, as setFrameSize gives it (one
    // with transparency comes at its own size); false when the library
    // cannot convert it.
    virtual bool toRgba(int width, int height, RgbaImage& out) const = 0;
};

class AnimationReader {
public:
    virtual ~AnimationReader() = default;

    // Asked while frames are decoded; true stops the work with
    // ErrorKind::Cancelled. A WebP is stopped between frames by its caller.
    virtual void setCancelCheck(std::function<bool()> cancelled) = 0;
    virtual const AnimationInfo& info() const = 0;
    // The damage the frames were read despite (for a WebP only a cut).
    virtual const AnimationDamage& damage() const = 0;
    // Frames of a clip may come at this size rather than info()'s (see
    // VideoReader::setFrameSize); other animations come at their own.
    virtual void setFrameSize(Size size) = 0;
    // The next frame: End after the last frame (error left empty), Failed
    // with error set.
    virtual ReadResult readNext(RgbaImage& frame, Error* error) = 0;
    // A clip keeps each frame readNext gives as decoded, to be converted
    // again at another size (VideoReader::keepPictures); other animations
    // keep none.
    virtual void keepPictures(bool) {}
    virtual std::shared_ptr<const ClipPicture> keptPicture() const { return nullptr; }
    // Passes over the next frame: a clip's is decoded but not converted.
    virtual ReadResult skipNext(Error* error) = 0;
    // Passes over the frames before frame `frame` (0-based, counted from the
    // first frame of the file); a clip starts decoding at a key frame near it
    // where it can. Frame, or End when the animation ends first.
    virtual ReadResult skipTo(int frame, Error* error) = 0;
    // Passes over every frame not yet read to find the damage in them
    // (damage()). A GIF's image data is read without decoding a pixel, in
    // the time its codes take whatever the frames' size, and the GIF is
    // then read from its first frame again; other formats decode their
    // frames and have none left to read.
    virtual bool checkFrames(Error* error) = 0;
    // The memory checkFrames takes, in bytes: none to speak of for a GIF, a
    // canvas or two of the animation's size for the others.
    virtual std::int64_t checkingBytes() const = 0;
};

// For readers: the bytes of `canvases` RGBA pictures the size of the
// animation, and a pass decoding every frame left (false with error set when
// one fails), as checkFrames may make.
inline std::int64_t CanvasBytes(const AnimationInfo& info, int canvases)
{
    return std::int64_t{4} * canvases * info.width * info.height;
}

inline bool PassAll(AnimationReader& reader, RgbaImage& frame, Error* error)
{
    while (reader.readNext(frame, error)) {
    }
    return !(error && *error);
}

// Opens path with the reader its content asks for, learning the size, frame
// count, delays and loop count; null with error set when the file cannot be
// read. `cancelled` is asked while the file is walked at open and later
// while frames are decoded.
std::unique_ptr<AnimationReader> OpenAnimation(const std::string& path, Error* error,
                                               std::function<bool()> cancelled = {});

} // namespace qf::imaging
