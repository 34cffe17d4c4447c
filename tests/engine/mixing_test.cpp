// Similar-colour mixing: hand-worked rows and columns, and the stage against
// a plain column-by-column transcription with literal run scans.
#include "engine/rounding.h"
#include "engine/stages.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qf {
namespace {

using test::Bgr;

// The mixing stage in its plainest form: x outer, y inner, each run
// found by scanning pixel by pixel.
void MixLiterally(EngineState& s)
{
    const int maxX = s.MaxX;
    const int maxY = s.MaxY;
    const EngineSettings& set = s.Settings;
    GreyPlane votes(maxX + 1, maxY + 1);
    const GreyPlane& key = s.Gray4Plane;
    ColourPlane& out = s.SketchOverColor;
    const ColourPlane& src = s.SourceCopy;
    auto ink = [&](int x, int y) { return out(0, x, y) == 0; };

    for (int x = 0; x <= maxX; ++x) {
        for (int y = 0; y <= maxY; ++y) {
            const int nb[4][2] = {{x + 1, y + 1}, {x, y + 1}, {x + 1, y}, {x - 1, y + 1}};
            for (const auto& n : nb) {
                int nx = n[0];
                int ny = n[1];
                if (nx < 0 || nx > maxX || ny > maxY) {
                    nx = x;
                    ny = y;
                }
                if (std::abs(key(x, y) - key(nx, ny)) > set.ColorDiffLimit) {
                    if (key(x, y) > key(nx, ny)) {
                        ++votes(nx, ny);
                    } else {
                        ++votes(x, y);
                    }
                }
            }
        }
    }
    for (int x = 0; x <= maxX; ++x) {
        for (int y = 0; y <= maxY; ++y) {
            int v = votes(x, y) < set.EdgeVoteMin ? 255 : 0;
            if (key(x, y) < set.DarkLimit) {
                v = 0;
            }
            for (int c = 0; c < 3; ++c) {
                out(c, x, y) = static_cast<std::uint8_t>(v);
            }
        }
    }
    for (int x = 1; x <= maxX - 1; ++x) {
        for (int y = 1; y <= maxY - 1; ++y) {
            bool lone = ink(x, y);
            for (int dx = -1; dx <= 1; ++dx) {
                for (int dy = -1; dy <= 1; ++dy) {
                    if ((dx != 0 || dy != 0) && out(0, x + dx, y + dy) != 255) {
                        lone = false;
                    }
                }
            }
            if (lone) {
                out(0, x, y) = out(1, x, y) = out(2, x, y) = 255;
            }
        }
    }
    const int R = set.MixRadius;
    const int V = std::min(RoundHalfEven(set.MixRadius * 0.4), 20);

    for (int x = 0; x <= maxX; ++x) {
        for (int y = 0; y <= maxY; ++y) {
            if (ink(x, y)) {
                out(0, x, y) = out(1, x, y) = out(2, x, y) = 0;
                continue;
            }
            int left = x - R;
            for (int i = x; i >= x - R; --i) {
                if (i >= 0 && ink(i, y)) {
                    left = i + 1;
                    break;
                }
            }
            left = std::max(left, 0);
            const int end = x < maxX - R ? x + R : maxX;
            int right = x + R;
            for (int i = x; i <= end; ++i) {
                if (ink(i, y)) {
                    right = i - 1;
                    break;
                }
            }
            right = std::min(right, maxX);
            const int n = right - left + 1;
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int i = left; i <= right; ++i) {
                    sum += src(c, i, y);
                }
                out(c, x, y) = static_cast<std::uint8_t>(n <= 1 ? src(c, x, y) : sum / n);
            }
        }
    }
    // Vertical (radius V) and, for V > 5, horizontal (radius 3) smoothing of
    // the plane itself.
    auto smooth = [&](bool vertical, int radius) {
        for (int x = 0; x <= maxX; ++x) {
            for (int y = 0; y <= maxY; ++y) {
                if (ink(x, y)) {
                    continue;
                }
                const int at = vertical ? y : x;
                const int max = vertical ? maxY : maxX;
                auto inkAt = [&](int i) { return vertical ? ink(x, i) : ink(i, y); };
                int lo = at - radius;
                for (int i = at; i >= at - radius; --i) {
                    if (i >= 0 && inkAt(i)) {
                        lo = i + 1;
                        break;
                    }
                }
                lo = std::max(lo, 0);
                const int end = at < max - radius ? at + radius : max;
                int hi = at + radius;
                for (int i = at; i <= end; ++i) {
                    if (inkAt(i)) {
                        hi = i - 1;
                        break;
                    }
                }
                hi = std::min(hi, max);
                const int n = hi - lo + 1;
                if (n > 1) {
                    for (int c = 0; c < 3; ++c) {
                        int sum = 0;
                        for (int i = lo; i <= hi; ++i) {
                            sum += vertical ? out(c, x, i) : out(c, i, y);
                        }
                        out(c, x, y) = static_cast<std::uint8_t>(sum / n);
                    }
                }
            }
        }
    };
    smooth(true, V);
    if (V > 5) {
        smooth(false, 3);
    }
    for (int x = 0; x <= maxX; ++x) {
        for (int y = 0; y <= maxY; ++y) {
            if (out(0, x, y) == 0 && out(1, x, y) == 0 && out(2, x, y) == 0) {
                for (int c = 0; c < 3; ++c) {
                    out(c, x, y) = src(c, x, y);
                }
            }
            const ColourPlane& sk = s.SketchLayer;
            if (sk(0, x, y) < 255 || sk(1, x, y) < 255 || sk(2, x, y) < 255) {
                for (int c = 0; c < 3; ++c) {
                    out(c, x, y) = sk(c, x, y);
                }
            }
        }
    }
}

TEST(Mixing, MatchesTheColumnByColumnWalkForEveryRadiusAndShape)
{
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {1, 9}, {9, 1}, {2, 2}, {3, 7}, {40, 30}, {13, 64}, {64, 13}};
    for (const int radius : {0, 1, 2, 4, 10, 13, 15, 30, 60}) {
        for (const auto& size : sizes) {
            for (const std::uint32_t seed : {1u, 2u}) {
                const ColourPlane frame = test::BusyFrame(size.width, size.height, seed);
                for (const Switches sw : {Switches{}, Switches{.ColorSketch = 1, .Adjust = 1}}) {
                    EngineState fast;
                    fast.Settings.MixRadius = radius;
                    fast.SourcePlanes = frame;
                    fast.ComputeEffectLayers(5, 0, sw);

                    EngineState plain;
                    plain.Settings.MixRadius = radius;
                    plain.SourcePlanes = frame;
                    plain.ComputeEffectLayers(0, 0, sw); // stops before mixing
                    MixLiterally(plain);

                    ASSERT_EQ(fast.SketchOverColor, plain.SketchOverColor)
                        << "radius " << radius << " size " << size.width << "x" << size.height << " seed " << seed;
                    ASSERT_EQ(fast.GrayEdgeKey, plain.Gray4Plane);
                }
            }
        }
    }
}

TEST(Mixing, VotesBetweenGreyLevelsForEveryLimit)
{
    const ColourPlane frame = test::BusyFrame(37, 29, 9);
    for (const int limit : {-1, 0, 28, 63, 64, 200, 300, 2147483647}) {
        EngineState fast;
        fast.Settings.ColorDiffLimit = limit;
        fast.SourcePlanes = frame;
        fast.ComputeEffectLayers(5, 0, Switches{});

        EngineState plain;
        plain.Settings.ColorDiffLimit = limit;
        plain.SourcePlanes = frame;
        plain.ComputeEffectLayers(0, 0, Switches{});
        MixLiterally(plain);
        EXPECT_EQ(fast.SketchOverColor, plain.SketchOverColor) << "limit " << limit;
    }
}

TEST(Mixing, FlatFrameComesBackUnchanged)
{
    // Grey 150 (level 128) is paper, grey 100 (level 64) is ink.
    for (const Bgr colour : {Bgr{120, 150, 180}, Bgr{60, 100, 140}}) {
        EngineState s;
        s.SourcePlanes = test::UniformFrame(30, 12, colour);
        s.ComputeEffectLayers(5, 0, Switches{});
        EXPECT_EQ(s.SketchOverColor, s.SourceCopy);
    }
}

TEST(Mixing, LeftScanStopsAtAveragedPixelsWithoutBlue)
{
    // One row, radius 1: grey, grey, yellow x3, grey, grey (all level 128,
    // so all paper). The middle yellow averages to (0, 255, 255), whose
    // channel 0 of 0 ends the run of the pixel right of it. The grey pixels
    // next to yellow are darker and become sketch lines.
    const Bgr g{150, 150, 150};
    const Bgr y{0, 255, 255};
    const Bgr row[] = {g, g, y, y, y, g, g};
    EngineState s;
    s.Settings.MixRadius = 1;
    s.SourcePlanes = test::MakeFrame(7, 1, [&](int x, int) { return row[x]; });
    s.ComputeEffectLayers(5, 0, Switches{.Adjust = 0});
    const Bgr expected[] = {{150, 150, 150}, {0, 0, 0},   {50, 220, 220}, {0, 255, 255},
                            {75, 202, 202},  {0, 0, 0},   {150, 150, 150}};
    for (int x = 0; x < 7; ++x) {
        EXPECT_EQ(test::PixelOf(s.SketchOverColor, x, 0), expected[x]) << "x " << x;
    }
}

TEST(Mixing, RunCutToItselfKeepsItsSourceColour)
{
    // Column 1 is a light stripe between ink columns (grey 100, level 64).
    EngineState s;
    s.SourcePlanes = test::MakeFrame(3, 1, [](int x, int) {
        return x == 1 ? Bgr{140, 150, 160} : Bgr{100, 100, 100};
    });
    s.ComputeEffectLayers(5, 0, Switches{.Adjust = 0});
    EXPECT_EQ(test::PixelOf(s.SketchOverColor, 1, 0), (Bgr{140, 150, 160}));
}

TEST(Mixing, OnePixelWideColumnIsSmoothedUpwardInPlace)
{
    // Greys 150..190 bottom to top: all paper, no lines. Rows keep their
    // colour; the column pass averages up to 4 below and above, reading the
    // rows below as already smoothed.
    EngineState s;
    s.SourcePlanes = test::GreyFrame({{190}, {180}, {170}, {160}, {150}});
    s.ComputeEffectLayers(5, 0, Switches{});
    const int expected[] = {170, 174, 176, 178, 177};
    for (int y = 0; y < 5; ++y) {
        EXPECT_EQ(test::PixelOf(s.SketchOverColor, 0, y), (Bgr{expected[y], expected[y], expected[y]})) << y;
    }
}

} // namespace
} // namespace qf

namespace qf {
namespace {

TEST(Mixing, RunAveragesDivideExactlyByMultiplying)
{
    // The largest remainders are where a multiply by the rounded-up
    // reciprocal could overshoot.
    for (int n = 1; n <= kMaxRunDivisor; ++n) {
        for (int q = 0; q < 255; ++q) {
            for (const int sum : {q * n, q * n + n - 1}) {
                ASSERT_EQ(DivideRun(sum, n), sum / n) << sum << " / " << n;
            }
        }
        ASSERT_EQ(DivideRun(255 * n, n), 255);
    }
}

} // namespace
} // namespace qf
