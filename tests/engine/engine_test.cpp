// Results worked out by hand, each pinning a rounding tie, a threshold or a
// formula that the engine and the reference engine could both misread; and
// what the cross-check cannot reach: empty frames and very long runs.
#include "engine/engine.h"
#include "engine/rounding.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace qf {
namespace {

using Bgr = std::array<int, 3>; // blue, green, red

constexpr Bgr G(int v)
{
    return {v, v, v};
}

struct Case {
    std::string what;
    int width, height;
    std::vector<Bgr> pixels; // bottom row first; one pixel fills the frame
    Switches sw;
    int variant, frameNumber;
    int texture; // a flat grey texture, or -1: column x holds 2 x
    int first;   // the rendered pixels checked, from this index on
    std::vector<Bgr> expected;
};

const Case kCases[] = {
    // Sketch lines and their depth.
    {"line depth: 69 / 2 rounds to 34", 4, 3, {G(69)}, {}, 0, 0, 0, 5, {G(34)}},
    {"line depth: 67 / 2 rounds to 34", 4, 3, {G(67)}, {}, 0, 0, 0, 5, {G(34)}},
    {"colour depth (5, 10, 15) boosted by the single 0.7",
     4,
     3,
     {{10, 20, 30}},
     {.ColorSketch = 1},
     0,
     0,
     0,
     5,
     {{2, 10, 18}}},
    {"Color Sketch's grey state counts as ticked",
     4,
     3,
     {{10, 20, 30}},
     {.ColorSketch = 2},
     0,
     0,
     0,
     5,
     {{2, 10, 18}}},
    {"Adjust's grey state counts as unticked",
     4,
     3,
     {{10, 20, 30}},
     {.ColorSketch = 1, .Adjust = 2},
     0,
     0,
     0,
     5,
     {G(0)}},
    {"a difference of 28 is no edge, 29 is; the earlier pixel of equal greys takes the vote",
     3,
     1,
     {G(100), {128, 100, 100}, {100, 100, 129}},
     {.Adjust = 0},
     0,
     0,
     0,
     0,
     {G(255), G(0), G(255)}},
    {"equal greys, red before blue: the earlier pixel takes the vote",
     2,
     1,
     {{0, 0, 255}, {255, 0, 0}},
     {.Adjust = 0},
     0,
     0,
     0,
     0,
     {G(0), G(255)}},
    {"a lone line pixel inside the frame is whitened",
     3,
     3,
     {G(200), G(200), G(200), G(200), G(0), G(200), G(200), G(200), G(200)},
     {},
     0,
     0,
     0,
     4,
     {G(255)}},
    {"line pixels touching diagonally both stay",
     3,
     3,
     {G(0), G(200), G(200), G(200), G(0), G(200), G(200), G(200), G(200)},
     {},
     0,
     0,
     0,
     0,
     {G(0), G(255), G(255), G(255), G(0)}},
    {"a lone line pixel on the border stays",
     3,
     3,
     {G(200), G(200), G(200), G(200), G(200), G(0), G(200), G(200), G(200)},
     {},
     0,
     0,
     0,
     5,
     {G(0)}},
    // The pencil layer.
    {"grey pencil: (0 + 201) / 2 rounds to 100", 2, 1, {G(0)}, {}, 2, 0, 201, 0, {G(100)}},
    {"grey pencil: (0 + 203) / 2 rounds to 102", 2, 1, {G(0)}, {}, 2, 0, 203, 0, {G(102)}},
    {"colour pencil: 0.7 x 100 + 0.3 x 200, paper white",
     2,
     1,
     {G(100), G(200)},
     {.ColorSketch = 1},
     2,
     0,
     200,
     0,
     {G(130), G(255)}},
    {"the texture tiles from the left", 32, 1, {G(0)}, {}, 2, 0, -1, 29, {G(29), G(0), G(1)}},
    {"frame 2 takes the first texture", 32, 1, {G(0)}, {}, 2, 2, -1, 0, {G(0), G(1)}},
    {"frame 3 takes the second, rotated by 27 columns", 32, 1, {G(0)}, {}, 2, 3, -1, 0, {G(27), G(28)}},
    {"frame 5 takes the second", 32, 1, {G(0)}, {}, 2, 5, -1, 0, {G(27), G(28)}},
    {"frame 6 takes the first", 32, 1, {G(0)}, {}, 2, 6, -1, 0, {G(0), G(1)}},
    {"the colour form takes the first at frame 3", 32, 1, {G(0)}, {.ColorSketch = 1}, 2, 3, -1, 1, {G(1)}},
    // Dots.
    {"grey 128: the first pixel is white and carries -127, the next turns black",
     5,
     4,
     {G(128)},
     {.MixColor = 0, .Adjust = 0},
     1,
     0,
     0,
     0,
     {G(255), G(0)}},
    {"-167 x 8 / 42 truncates to -31 and -310 / 20 to -15: 103 - 15 reaches the mean 88",
     3,
     1,
     {G(88), G(103), G(75)},
     {.MixColor = 0, .Adjust = 0},
     1,
     0,
     0,
     0,
     {G(255), G(255), G(0)}},
    {"a dot over grey 201 takes 100.5, rounded to 100",
     5,
     4,
     {G(201)},
     {.MixColor = 0},
     1,
     0,
     0,
     0,
     {G(255), G(100)}},
    {"a colour dot halves each channel: 1.5, 0.5, 127.5",
     5,
     4,
     {{3, 1, 255}},
     {.ColorSketch = 1, .MixColor = 0},
     1,
     0,
     0,
     1,
     {{2, 0, 128}}},
    // Variant layers.
    {"vivid curve, 85 and 170 are ties",
     5,
     1,
     {G(85), G(100), G(128), G(150), G(170)},
     {.MixColor = 0},
     3,
     0,
     0,
     0,
     {G(128), G(146), G(176), G(196), G(212)}},
    {"vivid saturates after the curve", 2, 1, {{0, 128, 255}}, {.MixColor = 0}, 3, 0, 0, 0, {{0, 218, 255}}},
    {"poster: 128 / 256 rounds to 0",
     4,
     1,
     {G(127), G(128), G(129), G(130)},
     {.MixColor = 0},
     9,
     0,
     0,
     0,
     {G(0), G(0), G(255), G(255)}},
    {"contrast: 10 c - 1143",
     4,
     1,
     {G(114), G(115), G(139), G(140)},
     {.MixColor = 0},
     11,
     0,
     0,
     0,
     {G(0), G(7), G(247), G(255)}},
    {"eight greys",
     4,
     1,
     {G(223), G(224), G(240), G(255)},
     {.MixColor = 0},
     13,
     0,
     0,
     0,
     {G(192), G(224), G(224), G(224)}},
    {"grey sketch truncates 332 / 3", 2, 1, {{100, 110, 122}}, {}, 15, 0, 0, 0, {G(110)}},
    {"tint of grey 128: green 127.5 rounds to 128", 2, 1, {G(128)}, {}, 7, 0, 0, 0, {{96, 128, 160}}},
    // Mixing.
    {"a row average whose channel 0 is 0 ends the runs after it",
     4,
     1,
     {{0, 200, 250}, {0, 210, 240}, {1, 190, 250}, {1, 200, 245}},
     {},
     5,
     0,
     0,
     0,
     {{0, 200, 246}, {0, 200, 245}, {1, 195, 247}, {1, 195, 247}}},
    {"a column is smoothed upward over pixels already smoothed",
     1,
     6,
     {G(130), G(150), G(170), G(180), G(160), G(140)},
     {},
     5,
     0,
     0,
     0,
     {G(158), G(159), G(161), G(159), G(156), G(155)}},
    // Style controls: ink moves the dark limit (70 at 50, 18 at 25, 0 at 0,
    // 160 at 100) and the poster's and contrast's thresholds as far; lines
    // move the colour step of an edge (28 at 50, 18 at 100, 48 at 0).
    {"ink 25 inks grey 17, not 18",
     2,
     1,
     {G(17), G(18)},
     {.Adjust = 0, .Ink = 25},
     0,
     0,
     0,
     0,
     {G(0), G(255)}},
    {"ink 0 inks no tone, not even black", 4, 3, {G(0)}, {.Ink = 0}, 0, 0, 0, 5, {G(255)}},
    {"ink 100 inks grey 159", 4, 3, {G(159)}, {.Adjust = 0, .Ink = 100}, 0, 0, 0, 5, {G(0)}},
    {"ink 100: the poster's 218 goes dark, 219 light",
     2,
     1,
     {G(218), G(219)},
     {.MixColor = 0, .Ink = 100},
     9,
     0,
     0,
     0,
     {G(0), G(255)}},
    {"ink 0: the contrast ramp starts 70 lower",
     2,
     1,
     {G(44), G(45)},
     {.MixColor = 0, .Ink = 0},
     11,
     0,
     0,
     0,
     {G(0), G(7)}},
    {"lines 100: a step of 19 is an edge",
     2,
     1,
     {G(100), {119, 100, 100}},
     {.Adjust = 0, .Lines = 100},
     0,
     0,
     0,
     0,
     {G(0), G(255)}},
    {"lines 0: a step of 48 is no edge",
     2,
     1,
     {G(100), {148, 100, 100}},
     {.Adjust = 0, .Lines = 0},
     0,
     0,
     0,
     0,
     {G(255), G(255)}},
    {"lines 0: a line needs two votes",
     4,
     1,
     {G(200), G(100), G(200), G(100)},
     {.Adjust = 0, .Lines = 0},
     0,
     0,
     0,
     0,
     {G(255), G(0), G(255), G(255)}},
    // Finishing filters; the last column and the top row keep their values.
    {"blur: 0.5 rounds to 0", 2, 2, {G(0), G(0), G(1), G(1)}, {.Blur = 1}, 17, 0, 0, 0, {G(0), G(0)}},
    {"blur: 1.5 rounds to 2", 2, 2, {G(1), G(1), G(1), G(3)}, {.Blur = 1}, 17, 0, 0, 0, {G(2), G(1)}},
    {"blur: 2.5 rounds to 2", 2, 2, {G(2), G(3), G(2), G(3)}, {.Blur = 1}, 17, 0, 0, 0, {G(2), G(3)}},
    {"sharpen: 2 x 200 - 100 clamps to 255",
     2,
     2,
     {G(200), G(100), G(100), G(100)},
     {.Sharpen = 1},
     17,
     0,
     0,
     0,
     {G(255)}},
    {"sharpen: 2 x 10 - 85 clamps to 0",
     2,
     2,
     {G(10), G(85), G(85), G(85)},
     {.Sharpen = 1},
     17,
     0,
     0,
     0,
     {G(0)}},
    {"sharpen: 2 x 90 - 30",
     2,
     2,
     {G(90), G(30), G(30), G(30)},
     {.Sharpen = 1},
     17,
     0,
     0,
     0,
     {G(150), G(30)}},
};

ColourPlane MakePlane(int width, int height, const std::function<Bgr(int)>& pixel)
{
    ColourPlane p(4, width, height);
    for (int i = 0; i < width * height; ++i) {
        for (int c = 0; c < 3; ++c) {
            p.data()[4 * i + c] = static_cast<std::uint8_t>(pixel(i)[static_cast<std::size_t>(c)]);
        }
    }
    return p;
}

TEST(Engine, WorkedExamples)
{
    for (const Case& c : kCases) {
        EngineState s;
        s.SetPencilTexture(
            MakePlane(30, 4, [&](int i) { return G(c.texture >= 0 ? c.texture : 2 * (i % 30)); }));
        s.SourcePlanes =
            MakePlane(c.width, c.height, [&](int i) { return c.pixels[c.pixels.size() == 1 ? 0 : i]; });
        s.ComputeEffectLayers(c.variant, c.frameNumber, c.sw);
        s.RenderVariant(c.variant, c.sw);
        for (std::size_t k = 0; k < c.expected.size(); ++k) {
            const std::uint8_t* got = s.SourcePlanes.data() + 4 * (c.first + static_cast<int>(k));
            EXPECT_EQ((Bgr{got[0], got[1], got[2]}), c.expected[k]) << c.what << ", pixel " << c.first + k;
        }
    }
}

// Black lines on a texture whose column x holds 2 x: a still grain keeps
// the first texture through frames 1-12 where the frame before is the same,
// and takes the second (rotated by 27) at frame 3 where a pixel changed.
TEST(Engine, StillGrainHoldsWhereTheFrameDoesNot)
{
    EngineState s;
    s.SetPencilTexture(MakePlane(30, 4, [](int i) { return G(2 * (i % 30)); }));
    s.SourcePlanes = MakePlane(8, 1, [](int) { return G(0); });
    auto pixelAt = [&](int x) { return static_cast<int>(s.SourcePlanes.data()[4 * x]); };
    auto render = [&](int frame, bool still) {
        s.PreviousPlanes = MakePlane(8, 1, [](int i) { return G(i == 5 ? 1 : 0); });
        const ColourPlane source = s.SourcePlanes;
        s.ComputeEffectLayers(2, frame, {.StillGrain = still});
        s.RenderVariant(2, {.StillGrain = still});
        const std::array<int, 3> got{pixelAt(1), pixelAt(4), pixelAt(5)};
        s.SourcePlanes = source;
        return got;
    };
    for (int frame = 1; frame <= 12; ++frame) {
        const bool second = frame % 6 >= 3;
        EXPECT_EQ(render(frame, true), (std::array<int, 3>{1, 4, second ? 2 : 5})) << "frame " << frame;
        EXPECT_EQ(render(frame, false), (second ? std::array<int, 3>{28, 1, 2} : std::array<int, 3>{1, 4, 5}))
            << "moving grain, frame " << frame;
    }
}

// A frame without pixels gives a picture without pixels, and leaves nothing
// behind: a blank white page after it is still a blank white page in every
// variant without paper grain or tint, with blur and sharpen too.
TEST(Engine, AnEmptyFrameLeavesTheNextPageBlank)
{
    for (const int v : {0, 1, 9, 11, 15}) {
        EngineState s;
        s.SetPencilTexture(MakePlane(30, 4, [](int) { return G(128); }));
        s.ComputeEffectLayers(v, 1, Switches{});
        s.RenderVariant(v, Switches{.Sharpen = 1, .Blur = 1});
        EXPECT_TRUE(s.SourcePlanes.empty()) << "variant " << v;
        s.SourcePlanes = MakePlane(6, 5, [](int) { return G(255); });
        s.ComputeEffectLayers(v, 2, Switches{});
        s.RenderVariant(v, Switches{.Sharpen = 1, .Blur = 1});
        for (int i = 0; i < 6 * 5; ++i) {
            const std::uint8_t* got = s.SourcePlanes.data() + 4 * i;
            ASSERT_EQ((Bgr{got[0], got[1], got[2]}), G(255)) << "variant " << v << ", pixel " << i;
        }
    }
}

// A layer is zeroed again at the start of each run, but only filled when
// something may have drawn on it since its last fill: drawn through its
// bytes, one pixel, or a copy or move of another plane, and then emptied,
// it must come back all zero.
TEST(Planes, ZeroedAgainAfterBeingDrawnOn)
{
    const std::vector<std::pair<std::string, std::function<void(ColourPlane&)>>> draws = {
        {"bytes", [](ColourPlane& p) { p.data()[5] = 9; }},
        {"pixel", [](ColourPlane& p) { p(2, 1, 1) = 9; }},
        {"copy",
         [](ColourPlane& p) {
             ColourPlane other(3, 2, 2);
             other(1, 0, 1) = 9;
             p = other;
         }},
        {"move",
         [](ColourPlane& p) {
             ColourPlane other(3, 2, 2);
             other(0, 1, 0) = 9;
             p = std::move(other);
         }},
    };
    for (const auto& [how, draw] : draws) {
        ColourPlane plane(3, 2, 2);
        draw(plane);
        plane.clear();
        plane.reset(3, 2, 2);
        for (std::size_t i = 0; i < plane.size(); ++i) {
            ASSERT_EQ(plane.data()[i], 0) << "drawn on by " << how << ", byte " << i;
        }
    }
}

// The mixing divides run sums by a multiply; runs longer than any frame in
// the cross-check reach the largest divisors, where it could overshoot.
TEST(Engine, RunAveragesDivideExactly)
{
    for (int n = 1; n <= kMaxRunDivisor; ++n) {
        for (int q = 0; q < 255; ++q) {
            for (const int sum : {q * n, q * n + n - 1}) {
                ASSERT_EQ(DivideRun(sum, n), q) << sum << " / " << n;
            }
        }
        ASSERT_EQ(DivideRun(255 * n, n), 255) << n;
    }
}

} // namespace
} // namespace qf
