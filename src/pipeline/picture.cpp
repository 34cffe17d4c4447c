#include "picture.h"

namespace qf {

Picture::Picture(int width, int height)
{
    reset(width, height);
}

void Picture::reset(int width, int height)
{
    width_ = width > 0 && height > 0 ? width : 0;
    height_ = width > 0 && height > 0 ? height : 0;
    const std::size_t count = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    pixels_.resize(count * 4);
    // Black with an opaque pad byte: the 32-bit pixel 0xFF000000 in memory
    // order blue, green, red, pad.
    std::uint8_t* p = pixels_.data();
    for (std::size_t i = 0; i < count; ++i, p += 4) {
        p[0] = 0;
        p[1] = 0;
        p[2] = 0;
        p[3] = 255;
    }
}

} // namespace qf
