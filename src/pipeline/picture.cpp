#include "picture.h"

#include <algorithm>
#include <bit>
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

namespace {

// n pixels from red, green, blue, alpha to blue, green, red, pad 255, each
// read and written as one word in loops the compiler vectorises. Returns
// true when they all were opaque, as the result then is.
bool SwapOpaque(const std::uint8_t* __restrict from, std::uint8_t* __restrict to, std::size_t n)
{
    std::uint32_t all = 0xFFFFFFFFu;
    if constexpr (std::endian::native == std::endian::little) {
        for (std::size_t i = 0; i < n; ++i) {
            std::uint32_t v = 0; // alpha, blue, green, red from the top byte down
            std::memcpy(&v, from + 4 * i, 4);
            all &= v;
            const std::uint32_t out = 0xFF000000u | ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
            std::memcpy(to + 4 * i, &out, 4);
        }
        return (all >> 24) == 255u;
    }
    for (std::size_t i = 0; i < n; ++i) {
        all &= from[4 * i + 3];
        to[4 * i] = from[4 * i + 2];
        to[4 * i + 1] = from[4 * i + 1];
        to[4 * i + 2] = from[4 * i];
        to[4 * i + 3] = 255;
    }
    return (all & 0xFFu) == 255u;
}

} // namespace

void ReadPixels(const std::uint8_t* rgba, std::uint8_t* bgrx, std::size_t count)
{
    // Runs of opaque pixels (all of a clip's, most of a GIF's) are only
    // swapped; a run with alpha in it is done again pixel by pixel.
    constexpr std::size_t kRun = 256;
    for (std::size_t start = 0; start < count; start += kRun) {
        const std::size_t n = std::min(kRun, count - start);
        const std::uint8_t* from = rgba + start * 4;
        std::uint8_t* to = bgrx + start * 4;
        if (SwapOpaque(from, to, n))
            continue;
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

void ReadFrame(const imaging::RgbaImage& frame, Picture& picture)
{
    picture.reshape(frame.width, frame.height); // every pixel is written below
    if (picture.empty())
        return;
    ReadPixels(frame.pixels.data(), picture.data(),
               static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height));
}

imaging::ImageView ViewOf(const Picture& picture)
{
    return {picture.data(), picture.width(), picture.height(), picture.bytesPerLine(),
            imaging::PixelLayout::Bgrx};
}

} // namespace qf
