// Moves whole pictures between the picture surface and the engine's planes.
#pragma once

#include "engine/planes.h"
#include "picture.h"

namespace qf {

// Sizes planes to the picture (4 channels) and copies it in, bottom row
// first; the picture's pad bytes land in channel 3.
void PictureToPlanes(const Picture& picture, ColourPlane& planes);

// The decoded frame as PictureToPlanes(ReadFrame(frame)) gives it, in one
// pass and without the picture between.
void FrameToPlanes(const imaging::RgbaImage& frame, ColourPlane& planes);

// Draws the planes 1:1 at the picture's top-left corner, clipped to the
// picture; the rest of the picture stays as it was. Channel 3 is not drawn:
// the pad bytes of drawn pixels are 255.
void PlanesToPicture(const ColourPlane& planes, Picture& picture);

} // namespace qf
