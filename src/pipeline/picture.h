// The picture surface frames live on between the GIF reader, the engine and
// the window: 32-bit pixels of blue, green, red and a pad byte, top row first,
// 4 * width bytes per row. A QImage of format RGB32 has this exact layout.
#pragma once

#include "imaging/image.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qf {

class Picture {
public:
    Picture() = default;
    // A width x height picture, every pixel black with the pad byte at 255.
    Picture(int width, int height);

    // Makes this the picture Picture(width, height) would be, reusing the
    // storage it already has: a picture refilled frame after frame costs no
    // new memory.
    void reset(int width, int height);
    // The same size as reset gives, with the pixels left unpainted: for a
    // caller that writes every one of them.
    void reshape(int width, int height);

    int width() const { return width_; }
    int height() const { return height_; }
    bool empty() const { return pixels_.empty(); }
    std::ptrdiff_t bytesPerLine() const { return static_cast<std::ptrdiff_t>(width_) * 4; }

    std::uint8_t* data() { return pixels_.data(); }
    const std::uint8_t* data() const { return pixels_.data(); }
    std::uint8_t* scanLine(int y) { return pixels_.data() + bytesPerLine() * y; }
    const std::uint8_t* scanLine(int y) const { return pixels_.data() + bytesPerLine() * y; }

    friend bool operator==(const Picture&, const Picture&) = default;

private:
    std::vector<std::uint8_t> pixels_;
    int width_ = 0;
    int height_ = 0;
};

// A decoded frame as the source picture at its natural size; transparent
// pixels become white paper (a partly transparent pixel is laid over white).
Picture ReadFrame(const imaging::RgbaImage& frame);
// The same into picture, reusing its storage.
void ReadFrame(const imaging::RgbaImage& frame, Picture& picture);
// count pixels of a decoded frame (red, green, blue, alpha) as ReadFrame
// gives them (blue, green, red, pad 255, laid over white paper).
void ReadPixels(const std::uint8_t* rgba, std::uint8_t* bgrx, std::size_t count);

// The picture as the imaging code reads it (PNG and GIF writing).
imaging::ImageView ViewOf(const Picture& picture);

} // namespace qf
