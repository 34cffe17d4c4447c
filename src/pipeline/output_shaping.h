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

// The size frames of width x height are rendered at: the resized size when a
// resize is asked for, else their own. Fails (TooLarge, naming file) when the
// result is beyond the imaging limits, or when enlarging the frames would
// make the work (AnimationInfo::work at the source size) exceed the most any file
// may ask for.
bool RenderSize(const std::string& file, int width, int height, std::int64_t work,
                const imaging::ResizeRequest& request, imaging::Size* size, imaging::Error* error);

// The frame the effect works on: decoded itself, or decoded resampled to size
// in resized. Returns the one used.
const imaging::RgbaImage& SizedFrame(const imaging::RgbaImage& decoded, imaging::Size size,
                                     imaging::RgbaImage& resized);

// rendered's colours with frame's alpha, into output (same size): where the
// source is transparent the result is too.
void KeepTransparency(const Picture& rendered, const imaging::RgbaImage& frame, imaging::RgbaImage& output);

} // namespace qf
