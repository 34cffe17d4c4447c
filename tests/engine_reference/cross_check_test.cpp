// Runs the real engine and the plain reference engine side by side on the
// same frames, switches, variants, frame numbers and settings, and requires
// the rendered pictures and the layers kept across calls to agree byte for
// byte.
#include "reference_engine.h"

#include "engine/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace {

using qfref::Plane;
using qfref::RefSwitches;

qf::ColourPlane ToEngine(const Plane& p)
{
    qf::ColourPlane out(p.C, p.W, p.H);
    std::copy(p.px.begin(), p.px.end(), out.data());
    return out;
}

qf::Switches ToEngine(const RefSwitches& s)
{
    return {s.ColorSketch, s.Sharpen, s.MixColor, s.Adjust, s.Blur};
}

// Empty when equal (two empty planes are, whatever shape they claim), else
// where the engine's bytes first differ from the reference's.
template <class EnginePlane>
std::string Diff(const char* name, const EnginePlane& got, const Plane& want)
{
    if (got.size() == 0 && want.px.empty()) {
        return {};
    }
    if (got.size() != want.px.size() || got.width() != want.W || got.height() != want.H) {
        return std::string(name) + ": shapes differ";
    }
    const auto at = std::mismatch(want.px.begin(), want.px.end(), got.data()).first;
    if (at == want.px.end()) {
        return {};
    }
    const int i = static_cast<int>(at - want.px.begin());
    return std::string(name) + " differs at channel " + std::to_string(i % want.C) + ", x "
           + std::to_string(i / want.C % want.W) + ", y " + std::to_string(i / want.C / want.W) + ": engine "
           + std::to_string(got.data()[i]) + ", reference " + std::to_string(*at);
}

// ------------------------------------------------------------ frames

// std::mt19937's raw output is fixed by the standard, so the frames are the
// same on every platform.
struct Random {
    std::mt19937 rng;
    int below(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }
};

Plane NoiseTexture(int w, int h, unsigned seed)
{
    Random rnd{std::mt19937(seed)};
    Plane t(4, w, h);
    for (int i = 0; i < w * h; ++i) {
        std::fill_n(t.px.begin() + 4 * i, 3, static_cast<std::uint8_t>(rnd.below(256)));
    }
    return t;
}

enum class Kind { Noise, Blocks, Saturated, Speckles, Steps, Flat };

// Noise; one palette colour; flat rectangles of palette colours with a little jitter (long paper
// runs for the mixing, strong edges, dark areas), also with channel 0 at 0;
// light paper with isolated specks (the lone-pixel passes); and neighbours
// whose channels differ by 27 to 30 (votes at the colour limit).
Plane MakeFrame(Kind kind, int w, int h, unsigned seed)
{
    static const int palette[][3] = {
        {0, 0, 255},     {0, 255, 255},   {0, 200, 100},   {255, 0, 0},     {30, 30, 30},    {60, 70, 80},
        {100, 100, 100}, {128, 128, 128}, {150, 160, 170}, {200, 210, 220}, {255, 255, 255}, {0, 0, 0},
        {90, 200, 40},   {250, 120, 10},  {180, 180, 60},  {0, 128, 192},
    };
    Random rnd{std::mt19937(seed)};
    Plane f(4, w, h);
    std::vector<int> colour(static_cast<std::size_t>(w * h), rnd.below(16));
    for (int k = 0; k < 3 + w * h / 40; ++k) {
        const int x0 = rnd.below(w), y0 = rnd.below(h), c = rnd.below(16);
        const int x1 = std::min(w, x0 + 1 + rnd.below(std::max(1, w / 2)));
        const int y1 = std::min(h, y0 + 1 + rnd.below(std::max(1, h / 2)));
        for (int y = y0; y < y1; ++y) {
            std::fill(colour.begin() + x0 + w * y, colour.begin() + x1 + w * y, c);
        }
    }
    const int speckX = rnd.below(3), speckY = rnd.below(3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool speck = x % 3 == speckX && y % 3 == speckY && rnd.below(4) != 0;
            for (int c = 0; c < 3; ++c) {
                int v = palette[colour[static_cast<std::size_t>(x + w * y)]][c] + rnd.below(13) - 6;
                switch (kind) {
                case Kind::Noise:
                    v = rnd.below(256);
                    break;
                case Kind::Blocks:
                    break;
                case Kind::Flat:
                    v = palette[seed % 16][c];
                    break;
                case Kind::Saturated:
                    v = c == 0 ? 0 : v;
                    break;
                case Kind::Speckles:
                    v = speck ? rnd.below(256) / (1 + rnd.below(3)) : 200 + rnd.below(5);
                    break;
                case Kind::Steps:
                    v = c == 0 ? 100 + x % 2 * (27 + y / 2 % 4)
                               : (c == 1 ? 110 + y % 2 * (27 + x / 3 % 4) : 140 + (x + y) % 3 * 14);
                    break;
                }
                f(c, x, y) = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
            }
            f(3, x, y) = static_cast<std::uint8_t>(rnd.below(256));
        }
    }
    return f;
}

// ------------------------------------------------------------ side-by-side runs

struct Pair {
    qf::EngineState engine;
    qfref::ReferenceEngine reference;

    explicit Pair(const Plane& texture = NoiseTexture(104, 120, 7))
    {
        engine.SetPencilTexture(ToEngine(texture));
        reference.SetPencilTexture(texture);
    }

    // One engine call and one rendering on both sides, from the frame.
    ::testing::AssertionResult run(const Plane& frame, int variant, int frameNumber, const RefSwitches& sw)
    {
        engine.SourcePlanes = ToEngine(frame);
        reference.SourcePlanes = frame;
        engine.ComputeEffectLayers(variant, frameNumber, ToEngine(sw));
        reference.ComputeEffectLayers(variant, frameNumber, sw);
        engine.RenderVariant(variant, ToEngine(sw));
        reference.RenderVariant(variant, sw);
        for (const std::string& d :
             {Diff("rendered frame", engine.SourcePlanes, reference.SourcePlanes), kept()}) {
            if (!d.empty()) {
                return ::testing::AssertionFailure()
                       << "variant " << variant << ", frame number " << frameNumber << ", " << frame.W << "x"
                       << frame.H << ", switches " << sw.ColorSketch << sw.Sharpen << sw.MixColor << sw.Adjust
                       << sw.Blur << ": " << d;
            }
        }
        return ::testing::AssertionSuccess();
    }

    // The layers that only their own stage reallocates.
    std::string kept() const
    {
        return Diff("DitherLayer", engine.DitherLayer, reference.DitherLayer)
               + Diff("TintLayer", engine.TintLayer, reference.TintLayer)
               + Diff("GrayEdgeKey", engine.GrayEdgeKey, reference.GrayEdgeKey);
    }
};

// Switch states whose stage choices differ: colour or grey forms, mixing or
// not, depth adjustment or not, each finishing filter, grey states.
const std::vector<RefSwitches> kSomeSwitches = {
    {0, 0, 1, 1, 0}, {1, 0, 1, 1, 0}, {0, 0, 0, 0, 0}, {2, 1, 0, 1, 1}, {1, 1, 1, 0, 0}, {0, 2, 2, 2, 1},
};

// Variants 0..16 and the indexes just outside, which compose nothing.
constexpr int kFirstIndex = -1;
constexpr int kLastIndex = 17;

TEST(EngineCrossCheck, EverySwitchCombination)
{
    const Plane frame = MakeFrame(Kind::Blocks, 10, 7, 11);
    Pair p;
    for (int i = 0; i < 243; ++i) {
        const RefSwitches sw{i % 3, i / 3 % 3, i / 9 % 3, i / 27 % 3, i / 81 % 3};
        for (int v = kFirstIndex; v <= kLastIndex; ++v) {
            ASSERT_TRUE(p.run(frame, v, 0, sw));
        }
    }
}

// Every kind of frame at sizes from one pixel up, one row and one column
// included, and frame sizes changing on one state.
TEST(EngineCrossCheck, FrameKindsAndSizes)
{
    const int sizes[][2] = {{1, 1}, {1, 9}, {9, 1}, {2, 9}, {9, 2}, {2, 2}, {3, 3}, {3, 17}, {37, 23}};
    unsigned seed = 100;
    Pair p;
    for (const auto& [w, h] : sizes) {
        for (const Kind kind :
             {Kind::Noise, Kind::Blocks, Kind::Saturated, Kind::Speckles, Kind::Steps, Kind::Flat}) {
            const Plane frame = MakeFrame(kind, w, h, seed++);
            for (const RefSwitches& sw : kSomeSwitches) {
                for (int v = kFirstIndex; v <= kLastIndex; ++v) {
                    ASSERT_TRUE(p.run(frame, v, 0, sw));
                }
            }
        }
    }
}

// The grey pencil layer alternates its two textures every three frames, the
// colour form always takes the first; textures narrower than the 27-column
// rotation and frames larger than the texture, so the tiling wraps.
TEST(EngineCrossCheck, FrameNumbersAndTextures)
{
    for (const Plane& texture :
         {NoiseTexture(104, 120, 7), NoiseTexture(13, 9, 21), NoiseTexture(40, 3, 22)}) {
        Pair p(texture);
        const Plane frame = MakeFrame(Kind::Blocks, texture.W + 7, 11, 31);
        for (int colour = 0; colour <= 2; ++colour) {
            for (int n = -7; n <= 12; ++n) {
                for (int v : {2, 1}) {
                    ASSERT_TRUE(p.run(frame, v, n, RefSwitches{colour, 0, 1, 1, 0}));
                }
            }
        }
    }
}

// The shared snapshot run renders what 17 runs of the variants in order do,
// and leaves the state as they do.
TEST(EngineCrossCheck, Snapshots)
{
    for (const Plane& frame : {MakeFrame(Kind::Blocks, 23, 17, 61), MakeFrame(Kind::Blocks, 1, 6, 62),
                               MakeFrame(Kind::Noise, 4, 1, 63), MakeFrame(Kind::Saturated, 15, 12, 64)}) {
        for (const RefSwitches& sw : kSomeSwitches) {
            Pair p;
            ASSERT_TRUE(p.run(MakeFrame(Kind::Blocks, 6, 5, 65), 8, 4, sw)); // something in the kept layers
            std::vector<Plane> want;
            for (int v = 0; v <= 16; ++v) {
                p.reference.SourcePlanes = frame;
                p.reference.ComputeEffectLayers(v, 0, sw);
                p.reference.RenderVariant(v, sw);
                want.push_back(p.reference.SourcePlanes);
            }
            p.engine.SourcePlanes = ToEngine(frame);
            int next = 0;
            p.engine.RenderAllSnapshots(ToEngine(sw), [&](int v, const qf::ColourPlane& rendered) {
                ASSERT_EQ(v, next++);
                EXPECT_EQ(Diff("snapshot", rendered, want[static_cast<std::size_t>(v)]), "")
                    << "variant " << v;
            });
            EXPECT_EQ(next, 17);
            EXPECT_EQ(p.kept(), "");
            ASSERT_TRUE(p.run(frame, 5, 2, sw)); // the state goes on as after the 17 runs
            ASSERT_TRUE(p.run(frame, 7, 3, sw));
        }
    }
}

// Mixing radii wider than the start-up one: paper runs of 41 pixels and
// more, whose averages land exactly on a whole value (a blue of 1 along a
// flat row) or just below the next, in frames wider than the runs and
// with a width that is no multiple of 8 or 16.
TEST(EngineCrossCheck, LongPaperRuns)
{
    for (const int radius : {20, 30, 48}) {
        for (const int w : {41, 97, 130}) {
            Plane frame(4, w, 5);
            for (int y = 0; y < 5; ++y) {
                for (int x = 0; x < w; ++x) {
                    const bool step = y >= 3 && x % 7 == 0; // sums one short of a multiple
                    frame(0, x, y) = static_cast<std::uint8_t>(step ? 0 : 1);
                    frame(1, x, y) = static_cast<std::uint8_t>(step ? 240 : 250);
                    frame(2, x, y) = 250;
                    frame(3, x, y) = 255;
                }
            }
            Pair p;
            p.engine.Settings.MixRadius = radius;
            p.reference.MixRadius = radius;
            for (int v : {5, 6}) {
                ASSERT_TRUE(p.run(frame, v, 1, kSomeSwitches[0])) << "radius " << radius;
            }
        }
    }
}

// Rows too wide for the mixing's packed row sums (8224 pixels and more, a
// wide panorama GIF) are mixed one sum at a time: flat cartoon colours come
// out the same either way.
TEST(EngineCrossCheck, RowsWiderThanPackedSums)
{
    for (const Kind kind : {Kind::Blocks, Kind::Speckles}) {
        const Plane frame = MakeFrame(kind, 8231, 3, 71);
        Pair p;
        for (int v : {5, 6}) {
            ASSERT_TRUE(p.run(frame, v, 1, kSomeSwitches[0]));
        }
    }
}

} // namespace
