// Resizing frames before the effect: the target size of a resize request and
// the resampling itself (stb_image_resize: Mitchell filter when reducing,
// Catmull-Rom when enlarging, in linear light, weighted by alpha).
#pragma once

#include "imaging/image.h"

namespace qf::imaging {

// How the user asked to resize: first by scale, then shrunk (never enlarged)
// to fit within maxWidth x maxHeight keeping the aspect ratio. Zero fields
// ask for nothing.
struct ResizeRequest {
    double scale = 0; // 0: keep the size
    int maxWidth = 0; // 0: no bound
    int maxHeight = 0;

    bool any() const { return scale > 0 || maxWidth > 0 || maxHeight > 0; }
};

struct Size {
    int width = 0;
    int height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

// The size a width x height frame gets; each side at least 1 pixel. Sides are
// rounded to the nearest pixel, halves to even.
Size ResizedSize(int width, int height, const ResizeRequest& request);

// Resamples source (straight RGBA) to width x height into target. Colours are
// weighted by alpha, so transparent pixels do not bleed into their
// neighbours. A source already of that size is copied.
void Resize(const RgbaImage& source, int width, int height, RgbaImage& target);

} // namespace qf::imaging
