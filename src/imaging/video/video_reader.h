// Reads a video clip (MP4, MOV, WebM, MKV, AVI, APNG, ...) frame by frame
// through libavformat and libavcodec, as RGBA at the size it is shown:
//  - the container is told by its content alone (the file's name is never
//    shown to the library), and only containers of moving pictures are
//    accepted: a still picture, a file with no video stream or one whose
//    codec this build cannot decode is refused with the reason;
//  - the stream's rotation is applied, so a portrait phone clip stays
//    upright; audio and every other stream are skipped;
//  - each frame's time comes from its timestamp, so a variable frame rate
//    plays as recorded.
// open() walks the packets once without decoding them, which gives the frame
// count and every frame's time and finds a file cut short; the frames are
// then decoded in order, on the library's threads, holding only the frames
// in its pipeline. A clip cut short keeps the frames that are whole and
// reports the damage as a GIF does.
#pragma once

#include "imaging/animation_info.h"
#include "imaging/animation_reader.h"
#include "imaging/image.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace qf::imaging {

class VideoReader {
public:
    VideoReader();
    ~VideoReader();
    VideoReader(const VideoReader&) = delete;
    VideoReader& operator=(const VideoReader&) = delete;

    // Asked between packets, at open and while decoding; true stops the work
    // with ErrorKind::Cancelled.
    void setCancelCheck(std::function<bool()> cancelled);

    // Refuses what is no clip (NotAnimation), a clip without frames (NoImage) and
    // clips beyond the limits of size_limits.h (TooLarge). info().frameTimes
    // holds every frame's start in microseconds from the first, and the end.
    bool open(const std::string& path, Error* error);
    const AnimationInfo& info() const;
    const AnimationDamage& damage() const;

    // Asks for frames of width x height (upright) rather than info()'s size:
    // opaque frames are then scaled by the library as their colours are
    // converted (bicubic, in the clip's gamma), others still come at info()'s
    // size. 0 x 0 asks for info()'s size again.
    void setFrameSize(int width, int height);

    // Keeps each frame readNext gives as the decoder gave it (keptPicture),
    // to be converted again at another size.
    void keepPictures(bool keep);
    // The frame readNext gave last, as decoded; null unless kept.
    std::shared_ptr<const ClipPicture> keptPicture() const;

    // The next frame in order (RGBA at info()'s size or the size asked for); End after the last one
    // (error left empty), Failed with error set.
    ReadResult readNext(RgbaImage& frame, Error* error);
    // As readNext for a frame that is not shown: decoded (the frames after it
    // depend on it) but not converted.
    ReadResult skipNext(Error* error);
    // Passes over the frames before frame `frame` (0-based), so that it is
    // the next read; one already passed stays passed. Where the clip's index
    // allows, decoding starts at the last key frame at or before it, which
    // gives the same pictures as decoding every frame before; else (no key
    // frames, an APNG, a seek landing elsewhere) the frames are decoded from
    // the beginning. Frame, or End when the clip ends first.
    ReadResult skipTo(int frame, Error* error);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    ReadResult next(RgbaImage* frame, Error* error);
};

// A clip's frame read at one size, made smaller (width x height) with the
// filter the reader scales a clip's pictures with: what setFrameSize would
// have given, near enough to keep its grain and edges as sharp. False when
// the library cannot scale it.
bool ScaleClipFrame(const RgbaImage& frame, int width, int height, RgbaImage& out);

} // namespace qf::imaging
