// Reads an animated WebP frame by frame, each frame composited on the canvas
// by libwebpdemux (blending and disposal as the format defines them, over a
// transparent background). The facts come as a AnimationInfo: durations are
// rounded to hundredths of a second, and the loop count is given in the GIF's
// terms (WebP counts plays, the GIF repeats: 0 stays "forever", a single play
// becomes "no loop extension", n plays become n - 1 repeats).
//
// The whole file is held in memory. A file cut short keeps its whole frames
// (damage() says so). A still WebP (one picture, no animation) and a file
// damaged otherwise are refused (Corrupt), as are files beyond the limits
// of size_limits.h (TooLarge).
#pragma once

#include "imaging/animation_info.h"
#include "imaging/image.h"
#include "imaging/size_limits.h"

#include <memory>
#include <string>

namespace qf::imaging {

class WebpReader {
public:
    WebpReader();
    ~WebpReader();
    WebpReader(WebpReader&&) noexcept;
    WebpReader& operator=(WebpReader&&) noexcept;

    bool open(const std::string& path, Error* error);
    const AnimationInfo& info() const;
    // A file cut short keeps its whole frames; this says where it was cut.
    const AnimationDamage& damage() const;
    // The next frame (RGBA at the canvas size); End after the last frame
    // (error left empty), Failed on damage (error set).
    ReadResult readNext(RgbaImage& frame, Error* error);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace qf::imaging
