#include "imaging/resize.h"

#include <stb_image_resize.h>

#include <algorithm>
#include <cmath>
#include <new>

namespace qf::imaging {

Size ResizedSize(int width, int height, const ResizeRequest& request)
{
    double w = width, h = height;
    if (request.scale > 0) {
        w *= request.scale;
        h *= request.scale;
    }
    // The largest factor that keeps both sides within the bounds, applied to
    // both sides so the aspect ratio stays.
    double fit = 1.0;
    if (request.maxWidth > 0 && w > request.maxWidth)
        fit = std::min(fit, request.maxWidth / w);
    if (request.maxHeight > 0 && h > request.maxHeight)
        fit = std::min(fit, request.maxHeight / h);
    w *= fit;
    h *= fit;
    auto side = [](double value, int bound) {
        double rounded = std::max(1.0, std::nearbyint(value));
        if (bound > 0)
            rounded = std::min<double>(rounded, bound);
        return static_cast<int>(std::min(rounded, 1e9));
    };
    return {side(w, request.maxWidth), side(h, request.maxHeight)};
}

void Resize(const RgbaImage& source, int width, int height, RgbaImage& target)
{
    target.width = width;
    target.height = height;
    if (source.width == width && source.height == height) {
        target.pixels = source.pixels;
        return;
    }
    target.pixels.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4);
    const int ok = stbir_resize_uint8_generic(
        source.pixels.data(), source.width, source.height, source.width * 4, target.pixels.data(), width,
        height, width * 4, 4, 3, 0, STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_SRGB, nullptr);
    if (!ok)
        throw std::bad_alloc();
}

} // namespace qf::imaging
