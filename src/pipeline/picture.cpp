#include "picture.h"

#include <cstring>

namespace qf {

Picture::Picture(int width, int height)
{
    reset(width, height);
}

void Picture::reshape(int width, int height)
{
    width_ = width > 0 && height > 0 ? width : 0;
    height_ = width > 0 && height > 0 ? height : 0;
    pixels_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_) * 4);
}

void Picture::reset(int width, int height)
{
    reshape(width, height);
    const std::size_t count = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
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

Picture ReadFrame(const imaging::RgbaImage& frame)
{
    Picture picture;
    ReadFrame(frame, picture);
    return picture;
}

void ReadFrame(const imaging::RgbaImage& frame, Picture& picture)
{
    picture.reshape(frame.width, frame.height); // every pixel is written below
    if (picture.empty())
        return;
    const std::size_t count = static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height);
    const std::uint8_t* src = frame.pixels.data();
    std::uint8_t* dst = picture.data();
    for (std::size_t i = 0; i < count; ++i, src += 4, dst += 4) {
        const unsigned a = src[3];
        if (a == 255) {
            // Red, green, blue, alpha in; blue, green, red, pad out.
            const std::uint8_t out[4] = {src[2], src[1], src[0], 255};
            std::memcpy(dst, out, 4);
            continue;
        }
        // Laid over white paper; alpha 0 gives exactly 255.
        const unsigned paper = 255u * (255u - a);
        dst[0] = static_cast<std::uint8_t>((src[2] * a + paper + 127u) / 255u);
        dst[1] = static_cast<std::uint8_t>((src[1] * a + paper + 127u) / 255u);
        dst[2] = static_cast<std::uint8_t>((src[0] * a + paper + 127u) / 255u);
        dst[3] = 255;
    }
}

imaging::ImageView ViewOf(const Picture& picture)
{
    return {picture.data(), picture.width(), picture.height(), picture.bytesPerLine(),
            imaging::PixelLayout::Bgrx};
}

} // namespace qf
