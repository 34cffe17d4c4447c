// Reads an animation frame by frame whatever its format, told by the file's
// first bytes: a GIF through GifReader, an animated WebP through WebpReader,
// anything else through VideoReader, whose errors name a file that is none
// of them.
#pragma once

#include "gif_reader.h"
#include "image.h"
#include "resize.h"
#include "video_reader.h"
#include "webp_reader.h"

#include <functional>
#include <memory>
#include <string>

namespace qf::imaging {

class AnimationReader {
public:
    // As GifReader::setCancelCheck; a WebP is decoded a frame at a time and
    // is stopped between frames by the caller; a clip between packets.
    void setCancelCheck(std::function<bool()> cancelled);
    bool open(const std::string& path, Error* error);
    const AnimationInfo& info() const;
    // The damage the frames were read despite (for a WebP only a cut).
    const AnimationDamage& damage() const;
    // Frames of a clip may come at this size rather than info()'s (see
    // VideoReader::setFrameSize); other animations come at their own.
    void setFrameSize(Size size);
    // As GifReader::readNext: End after the last frame (error left empty),
    // Failed with error set.
    ReadResult readNext(RgbaImage& frame, Error* error);
    // Passes over the next frame: a clip's is decoded but not converted.
    ReadResult skipNext(Error* error);
    // Passes over the frames before frame `frame` (0-based, counted from the
    // first frame of the file); a clip starts decoding at a key frame near it
    // where it can. Frame, or End when the animation ends first.
    ReadResult skipTo(int frame, Error* error);

private:
    std::function<bool()> cancelled_;
    std::unique_ptr<GifReader> gif_;
    std::unique_ptr<WebpReader> webp_;
    std::unique_ptr<VideoReader> video_;
    RgbaImage skipped_;
    int read_ = 0; // frames of a GIF or WebP read or passed
};

} // namespace qf::imaging
