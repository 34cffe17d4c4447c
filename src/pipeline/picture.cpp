#include "picture.h"

#include <algorithm>
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
    // Runs of opaque pixels (all of a clip's, most of a GIF's) have red and
    // blue swapped in loops the compiler vectorises; a run with alpha in it
    // goes pixel by pixel.
    constexpr std::size_t kRun = 256;
    for (std::size_t start = 0; start < count; start += kRun) {
        const std::size_t n = std::min(kRun, count - start);
        const std::uint8_t* from = src + start * 4;
        std::uint8_t* to = dst + start * 4;
        unsigned alpha = 255;
        for (std::size_t i = 0; i < n; ++i)
            alpha &= from[4 * i + 3];
        if (alpha == 255) {
            // Red, green, blue, alpha in; blue, green, red, pad out.
            for (std::size_t i = 0; i < n; ++i) {
                to[4 * i] = from[4 * i + 2];
                to[4 * i + 1] = from[4 * i + 1];
                to[4 * i + 2] = from[4 * i];
                to[4 * i + 3] = 255;
            }
            continue;
        }
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* p = from + 4 * i;
            std::uint8_t* q = to + 4 * i;
            // Laid over white paper; alpha 0 gives exactly 255.
            const unsigned a = p[3];
            const unsigned paper = 255u * (255u - a);
            q[0] = static_cast<std::uint8_t>((p[2] * a + paper + 127u) / 255u);
            q[1] = static_cast<std::uint8_t>((p[1] * a + paper + 127u) / 255u);
            q[2] = static_cast<std::uint8_t>((p[0] * a + paper + 127u) / 255u);
            q[3] = 255;
        }
    }
}

imaging::ImageView ViewOf(const Picture& picture)
{
    return {picture.data(), picture.width(), picture.height(), picture.bytesPerLine(),
            imaging::PixelLayout::Bgrx};
}

} // namespace qf
