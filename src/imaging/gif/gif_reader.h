// Reads an animated GIF frame by frame, each frame composited at the logical
// screen size the way current browsers show it:
//  - the canvas starts transparent; disposal 2 clears the frame's rectangle
//    to transparent, 3 (and 4, which some encoders write for it) restores
//    what was there before the frame, 0, 1 and 5 to 7 keep the frame;
//  - frames reaching outside the screen are clipped, and their rows below
//    the screen are not decoded; a screen stored with no width or height
//    takes the extent of the first frame;
//  - a frame without any colour table draws every index opaque black; an
//    index beyond the table draws nothing, like the transparent index;
//  - pixel data that ends early, or turns damaged, leaves the rest of the
//    frame as it was; pixels beyond the frame's size are ignored;
//  - minimum code sizes up to 11 are read (giflib alone stops at 8);
//  - a file cut short keeps the frames whose data is complete; bytes that
//    are no GIF block end the animation there, as does the trailer.
// Damage that leaves frames to show is not an error: damage() says what it
// is and after which frame, for a warning.
// Only the canvas, and for restore-to-previous the area it restores, are
// held in memory; frame count, delays and loop count are learned at open by
// walking the records without decoding pixels.
#pragma once

#include "imaging/animation_info.h"
#include "imaging/image.h"
#include "imaging/size_limits.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qf::imaging {

class GifReader {
public:
    GifReader();
    ~GifReader();
    GifReader(GifReader&&) noexcept;
    GifReader& operator=(GifReader&&) noexcept;

    // Asked between frames at open and between rows while decoding; true
    // stops the work with ErrorKind::Cancelled. Kept across open().
    void setCancelCheck(std::function<bool()> cancelled);

    // Opens the file and learns its size, frame count, delays and loop count.
    // Refuses files that are not GIFs, hold no frame, are cut short before
    // their first full frame, or ask for more than the limits of
    // size_limits.h (ErrorKind::TooLarge, naming the limit).
    bool open(const std::string& path, Error* error);

    const AnimationInfo& info() const;
    const AnimationDamage& damage() const;

    // Decodes the next frame in order into frame (RGBA at the logical screen
    // size). Returns End after the last frame (error left empty) and Failed
    // with error set. Holds only the canvas and, for restore-to-previous, the
    // area it restores.
    ReadResult readNext(RgbaImage& frame, Error* error);

    // Moves on so that readNext decodes frame n (1-based) next, passing over
    // the frames before it undecoded where a later frame paints the whole
    // screen. Never goes back.
    bool skipTo(int frameNumber, Error* error);

    // Reads the image data of every frame from the start, finding the
    // damage readNext would find in it (damage()), without decoding a pixel
    // or holding a canvas. Then readNext starts again from frame 1.
    bool checkData(Error* error);

    // Frame n (1-based), seeking or re-decoding as needed.
    bool readFrame(int frameNumber, RgbaImage& frame, Error* error);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qf::imaging
