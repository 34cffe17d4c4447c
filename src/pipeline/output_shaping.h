// What a conversion does around the effect when the user asks for it:
// resizing the frames before the effect, keeping the source's transparency in
// the output, and the output's format.
#pragma once

#include "imaging/animation_writer.h"
#include "imaging/image.h"
#include "imaging/resize.h"
#include "picture.h"

#include <cstdint>
#include <string>

namespace qf {

using imaging::OutputFormat;

// The size the frames of info are rendered at: the resized size when a
// resize is asked for, else their own. Fails (TooLarge, naming file) when the
// result is beyond the imaging limits, is a larger picture than the file
// may ask to hold (imaging::PictureLimit), or when the work with keptFrames
// rendered at that size exceeds what the file may ask for
// (imaging::WorkLimit): a clip's decoding plus its kept frames rendered; a
// GIF's or WebP's own work, or its kept frames rendered where enlarged
// frames make that more.
bool RenderSize(const std::string& file, const imaging::AnimationInfo& info, int keptFrames,
                const imaging::ResizeRequest& request, imaging::Size* size, imaging::Error* error);

// The frame the effect works on: decoded itself, or decoded resampled to size
// in resized. Returns the one used.
const imaging::RgbaImage& SizedFrame(const imaging::RgbaImage& decoded, imaging::Size size,
                                     imaging::RgbaImage& resized);

// rendered's colours with frame's alpha, into output (same size): where the
// source is transparent the result is too.
void KeepTransparency(const Picture& rendered, const imaging::RgbaImage& frame, imaging::RgbaImage& output);

} // namespace qf
