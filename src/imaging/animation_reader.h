// Reads an animation frame by frame whatever its format: an animated WebP
// (told by its signature) through WebpReader, anything else through
// GifReader, whose errors name a file that is neither.
#pragma once

#include "gif_reader.h"
#include "image.h"
#include "webp_reader.h"

#include <functional>
#include <memory>
#include <string>

namespace qf::imaging {

class AnimationReader {
public:
    // As GifReader::setCancelCheck; a WebP is decoded a frame at a time and
    // is stopped between frames by the caller.
    void setCancelCheck(std::function<bool()> cancelled);
    bool open(const std::string& path, Error* error);
    const AnimationInfo& info() const;
    // The damage the frames were read despite (for a WebP only a cut).
    const AnimationDamage& damage() const;
    // As GifReader::readNext: End after the last frame (error left empty),
    // Failed with error set.
    ReadResult readNext(RgbaImage& frame, Error* error);

private:
    std::function<bool()> cancelled_;
    std::unique_ptr<GifReader> gif_;
    std::unique_ptr<WebpReader> webp_;
};

} // namespace qf::imaging
