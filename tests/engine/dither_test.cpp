// The Stucki dither and the dot depth.
#include "engine/rounding.h"
#include "engine/stages.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <vector>

namespace qf {
namespace {

using test::Bgr;

// DitherLayer of a SketchOverColor given directly.
EngineState Dither(const ColourPlane& sketchOverColor, int divisor = 20)
{
    EngineState s;
    s.Settings.DitherErrorDivisor = divisor;
    s.SketchOverColor = sketchOverColor;
    DitherPencil(s);
    return s;
}

ColourPlane Uniform3(int width, int height, int grey)
{
    ColourPlane p(3, width, height);
    std::fill(p.data(), p.data() + p.size(), static_cast<std::uint8_t>(grey));
    return p;
}

// The dither in its plainest form: error rows copied down after every row, every
// share computed by a division of its own.
ColourPlane DitherLiterally(const ColourPlane& in, int divisor)
{
    const int maxX = in.width() - 1;
    const int maxY = in.height() - 1;
    auto grey = [&](int x, int y) { return (in(0, x, y) + in(1, x, y) + in(2, x, y)) / 3; };
    long long total = 0;
    for (int y = 0; y <= maxY; ++y) {
        for (int x = 0; x <= maxX; ++x) {
            total += grey(x, y);
        }
    }
    const int mean = static_cast<int>(total / ((maxX + 1) * (maxY + 1)));
    std::vector<std::vector<int>> rows(4, std::vector<int>(static_cast<std::size_t>(maxX + 1), 0));
    const int weights[13] = {0, 8, 4, 2, 4, 8, 4, 2, 1, 2, 4, 2, 1};
    const int targets[13][2] = {{0, 0},  {1, 1},  {2, 1}, {-2, 2}, {-1, 2}, {0, 2}, {1, 2},
                                {2, 2},  {-2, 3}, {-1, 3}, {0, 3}, {1, 3},  {2, 3}};
    ColourPlane out(3, maxX + 1, maxY + 1);
    for (int y = 0; y <= maxY; ++y) {
        for (int x = 0; x <= maxX; ++x) {
            int v = grey(x, y) + rows[1][static_cast<std::size_t>(x)] * 10 / divisor;
            v = std::clamp(v, 0, 255);
            const int o = v >= mean ? 255 : 0;
            out(0, x, y) = out(1, x, y) = out(2, x, y) = static_cast<std::uint8_t>(o);
            const int e = v - o;
            for (int k = 1; k <= 12; ++k) {
                const int dx = targets[k][0];
                const int row = targets[k][1];
                if (row == 2 && !(y < maxY - 1)) {
                    continue;
                }
                if (row == 3 && !(y < maxY - 2)) {
                    continue;
                }
                if ((dx == 1 && !(x < maxX - 1)) || (dx == 2 && !(x < maxX - 2)) || (dx == -1 && !(x > 0))
                    || (dx == -2 && !(x > 1))) {
                    continue;
                }
                rows[static_cast<std::size_t>(row)][static_cast<std::size_t>(x + dx)] += e * weights[k] / 42;
            }
        }
        rows[1] = rows[2];
        rows[2] = rows[3];
        std::fill(rows[3].begin(), rows[3].end(), 0);
    }
    return out;
}

TEST(Dither, MatchesThePlainDiffusion)
{
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {2, 5}, {3, 3}, {5, 2}, {4, 4}, {47, 31}};
    for (const auto& size : sizes) {
        for (const int divisor : {20, 7, -20}) {
            for (const std::uint32_t seed : {3u, 4u}) {
                EngineState s;
                s.SourcePlanes = test::BusyFrame(size.width, size.height, seed);
                s.ComputeEffectLayers(5, 0, Switches{});
                const ColourPlane expected = DitherLiterally(s.SketchOverColor, divisor);
                EXPECT_EQ(Dither(s.SketchOverColor, divisor).DitherLayer, expected)
                    << size.width << "x" << size.height << " divisor " << divisor;
            }
        }
    }
}

TEST(Dither, BlackAndWhiteFramesGiveWhite)
{
    for (const int grey : {0, 255}) {
        const EngineState s = Dither(Uniform3(6, 5, grey));
        for (std::size_t i = 0; i < s.DitherLayer.size(); ++i) {
            ASSERT_EQ(s.DitherLayer.data()[i], 255) << "grey " << grey;
        }
    }
}

TEST(Dither, UniformGreyStartsWhiteThenBlack)
{
    // Mean 128: (0, 0) is white and carries -127; share 1 is -1016 / 42 =
    // -24, so (1, 0) sees 128 + (-240) / 20 = 116 and turns black.
    const EngineState s = Dither(Uniform3(3, 3, 128));
    EXPECT_EQ(s.DitherLayer(0, 0, 0), 255);
    EXPECT_EQ(s.DitherLayer(0, 1, 0), 0);
}

TEST(Dither, SharesAndCarriedErrorTruncateTowardZero)
{
    // Greys 236, 201, 163: mean 200. (0, 0) is white with e = -19; share 1
    // is -152 / 42 = -3 (not -4) and carries -30 / 20 = -1 (not -2), so
    // (1, 0) sees exactly the mean and is white.
    ColourPlane in(3, 3, 1);
    const int greys[] = {236, 201, 163};
    for (int x = 0; x < 3; ++x) {
        in(0, x, 0) = in(1, x, 0) = in(2, x, 0) = static_cast<std::uint8_t>(greys[x]);
    }
    const EngineState s = Dither(in);
    EXPECT_EQ(s.DitherLayer(0, 0, 0), 255);
    EXPECT_EQ(s.DitherLayer(0, 1, 0), 255);
    EXPECT_EQ(s.DitherLayer(0, 2, 0), 0);
}

TEST(Dither, TwoPixelWideFrameSendsNoErrorRight)
{
    // With MaxX = 1 share 1 needs x < 0: every pixel of the bottom row only
    // sees its own grey.
    ColourPlane in = Uniform3(2, 1, 128);
    const EngineState s = Dither(in);
    EXPECT_EQ(s.DitherLayer(0, 0, 0), 255);
    EXPECT_EQ(s.DitherLayer(0, 1, 0), 255);
}

TEST(DotDepth, BlackDotsTakeHalfTheFrame)
{
    const struct {
        Switches sw;
        Bgr expected;
    } cases[] = {
        {{.ColorSketch = 0, .Adjust = 1}, {100, 100, 100}}, // grey 201 -> 100.5 -> 100
        {{.ColorSketch = 1, .Adjust = 1}, {2, 0, 128}},     // (3, 1, 255) halved per channel
        {{.ColorSketch = 2, .Adjust = 1}, {2, 0, 128}},
        {{.ColorSketch = 1, .Adjust = 2}, {0, 0, 0}},
        {{.ColorSketch = 1, .Adjust = 0}, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        EngineState s;
        s.SourcePlanes = test::UniformFrame(2, 1, {3, 1, 255});
        AllocateWorkBuffers(s, 2, 1, {});
        PrepareGrayPlanes(s);
        s.GrayPlane(0, 0) = 201;
        s.DitherLayer = ColourPlane(3, 2, 1);
        s.DitherLayer(0, 1, 0) = s.DitherLayer(1, 1, 0) = s.DitherLayer(2, 1, 0) = 255;
        AdjustDitherDepth(s, c.sw);
        EXPECT_EQ(test::PixelOf(s.DitherLayer, 0, 0), c.expected);
        EXPECT_EQ(test::PixelOf(s.DitherLayer, 1, 0), (Bgr{255, 255, 255})); // white is never changed
    }
}

} // namespace
} // namespace qf
