#include "animations.h"

#include "imaging/gif/gif_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace qf::imaging::bench {

namespace {

// A fixed pseudo-random value in 0..255 for a pixel.
int Grain(int x, int y)
{
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return static_cast<int>((h ^ (h >> 16)) & 0xFF);
}

std::uint8_t Clamp(double v)
{
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(std::lround(v)), 0, 255));
}

void Put(RgbaImage& image, int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b)
{
    if (x < 0 || y < 0 || x >= image.width || y >= image.height)
        return;
    std::uint8_t* p = image.pixels.data() + (static_cast<std::size_t>(y) * image.width + x) * 4;
    p[0] = r;
    p[1] = g;
    p[2] = b;
    p[3] = 255;
}

RgbaImage Blank()
{
    RgbaImage image;
    image.width = kWidth;
    image.height = kHeight;
    image.pixels.assign(static_cast<std::size_t>(kWidth) * kHeight * 4, 255);
    return image;
}

RgbaImage Photographic(int frame)
{
    RgbaImage image = Blank();
    // A still, grainy landscape of soft gradients.
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double grain = (Grain(x, y) - 128) / 20.0;
            Put(image, x, y, Clamp(128 + 90 * std::sin(x * 0.013 + y * 0.007) + grain),
                Clamp(120 + 80 * std::sin(y * 0.011 - x * 0.004 + 1) + grain),
                Clamp(140 + 70 * std::cos((x + y) * 0.009) + grain));
        }
    }
    // A band of water whose ripples drift one pixel a frame.
    for (int y = 250; y < 300; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double wave =
                30 * std::sin((x + frame) * 0.08 + y * 0.3) + (Grain(x + frame, y) - 128) / 16.0;
            Put(image, x, y, Clamp(40 + wave), Clamp(90 + wave), Clamp(160 + wave));
        }
    }
    // Shaded balls moving over it.
    const double t = frame * 0.06;
    const double balls[3][6] = {{240 + 160 * std::cos(t), 130 + 70 * std::sin(2 * t), 46, 230, 80, 60},
                                {120 + 60 * std::sin(1.3 * t), 200 + 40 * std::cos(t), 38, 70, 200, 90},
                                {360 + 50 * std::cos(0.7 * t), 90 + 50 * std::sin(t), 54, 240, 220, 120}};
    for (const auto& ball : balls) {
        const double cx = ball[0], cy = ball[1], radius = ball[2];
        for (int y = static_cast<int>(cy - radius); y <= static_cast<int>(cy + radius); ++y) {
            for (int x = static_cast<int>(cx - radius); x <= static_cast<int>(cx + radius); ++x) {
                const double dx = x - cx, dy = y - cy;
                const double d = std::sqrt(dx * dx + dy * dy) / radius;
                if (d > 1)
                    continue;
                const double light = 1.1 - 0.6 * d - 0.3 * (dx + dy) / radius / 2;
                Put(image, x, y, Clamp(ball[3] * light), Clamp(ball[4] * light), Clamp(ball[5] * light));
            }
        }
    }
    return image;
}

void Ink(RgbaImage& image, int x, int y)
{
    Put(image, x, y, 0, 0, 0);
}

RgbaImage TwoColour(int frame)
{
    RgbaImage image = Blank();
    // A clock hand sweeping round, drawn two pixels wide.
    const double angle = frame * 0.09;
    for (int r = 0; r < 120; ++r) {
        const int x = 150 + static_cast<int>(std::lround(r * std::cos(angle)));
        const int y = 170 + static_cast<int>(std::lround(r * std::sin(angle)));
        Ink(image, x, y);
        Ink(image, x + 1, y);
    }
    // A still circle outline round it.
    for (int a = 0; a < 2000; ++a) {
        const double u = a * 2 * 3.14159265358979 / 2000;
        Ink(image, 150 + static_cast<int>(std::lround(125 * std::cos(u))),
            170 + static_cast<int>(std::lround(125 * std::sin(u))));
    }
    // Lines of "handwriting" scrolling up two pixels a frame.
    for (int line = 0; line < 30; ++line) {
        const int y0 = 20 + line * 14 - frame * 2;
        for (int word = 0; word < 6; ++word) {
            const int x0 = 300 + word * 28;
            const int length = 10 + Grain(word, line) % 14;
            for (int x = x0; x < x0 + length; ++x) {
                const int wobble = (Grain(x, line) % 5) - 2;
                const int y = ((y0 + wobble) % 420 + 420) % 420;
                if (y < kHeight - 4) {
                    Ink(image, x, y);
                    if (Grain(x, line + 100) % 3 == 0)
                        Ink(image, x, y - 3);
                }
            }
        }
    }
    // A bouncing ball outline.
    const double by = 300 - std::fabs(std::sin(frame * 0.15)) * 120;
    const double bx = 40 + frame * 2.5;
    for (int a = 0; a < 400; ++a) {
        const double u = a * 2 * 3.14159265358979 / 400;
        Ink(image, static_cast<int>(std::lround(bx + 18 * std::cos(u))),
            static_cast<int>(std::lround(by + 18 * std::sin(u))));
    }
    return image;
}

} // namespace

const char* NameOf(Content content)
{
    return content == Content::Photographic ? "photographic" : "two-colour";
}

RgbaImage MakeFrame(Content content, int i)
{
    return content == Content::Photographic ? Photographic(i) : TwoColour(i);
}

bool WriteAnimation(Content content, const std::string& path)
{
    GifAnimationWriter writer;
    Error error;
    bool ok = writer.open(path, kWidth, kHeight, 0, &error);
    for (int i = 0; ok && i < kFrames; ++i) {
        const RgbaImage frame = MakeFrame(content, i);
        ok = writer.addFrame(ImageView::of(frame), 4, &error);
    }
    ok = ok && writer.finish(&error);
    if (!ok)
        std::fprintf(stderr, "%s\n", error.message().c_str());
    return ok;
}

} // namespace qf::imaging::bench
