// Runs the real engine and the plain reference engine side by side on the same
// frames, switches, variants and frame numbers, and requires the rendered
// pictures and the layers that survive across calls to agree byte for byte.
#include "reference_engine.h"

#include "engine/engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using qfref::Plane;
using qfref::ReferenceEngine;
using qfref::RefSwitches;

// ------------------------------------------------------------ conversions

qf::ColourPlane ToEngine(const Plane& p)
{
    qf::ColourPlane out(p.C, p.W, p.H);
    std::copy(p.px.begin(), p.px.end(), out.data());
    return out;
}

qf::Switches ToEngine(const RefSwitches& s)
{
    qf::Switches out;
    out.ColorSketch = s.ColorSketch;
    out.Sharpen = s.Sharpen;
    out.MixColor = s.MixColor;
    out.Adjust = s.Adjust;
    out.Blur = s.Blur;
    return out;
}

std::string Describe(const RefSwitches& s)
{
    std::ostringstream o;
    o << "switches{ColorSketch " << s.ColorSketch << ", Sharpen " << s.Sharpen << ", MixColor " << s.MixColor
      << ", Adjust " << s.Adjust << ", Blur " << s.Blur << "}";
    return o.str();
}

// Empty when equal, else where and how the engine's bytes differ from the
// reference's. Two empty planes are equal whatever shape they claim.
template <class EnginePlane>
std::string Diff(const char* name, const EnginePlane& got, int gotChannels, const Plane& want)
{
    if (got.size() == 0 && want.px.empty()) {
        return {};
    }
    std::ostringstream o;
    if (gotChannels != want.C || got.width() != want.W || got.height() != want.H) {
        o << name << ": engine shape " << gotChannels << "x" << got.width() << "x" << got.height()
          << ", reference " << want.C << "x" << want.W << "x" << want.H;
        return o.str();
    }
    const std::uint8_t* g = got.data();
    for (std::size_t i = 0; i < want.px.size(); ++i) {
        if (g[i] != want.px[i]) {
            const std::size_t pixel = i / static_cast<std::size_t>(want.C);
            const int x = static_cast<int>(pixel % static_cast<std::size_t>(want.W));
            const int y = static_cast<int>(pixel / static_cast<std::size_t>(want.W));
            const int c = static_cast<int>(i % static_cast<std::size_t>(want.C));
            o << name << " differs at (c " << c << ", x " << x << ", y " << y << "): engine pixel (";
            for (int k = 0; k < want.C; ++k) {
                o << (k ? "," : "") << int(g[pixel * want.C + k]);
            }
            o << "), reference (";
            for (int k = 0; k < want.C; ++k) {
                o << (k ? "," : "") << int(want.px[pixel * want.C + k]);
            }
            o << ")";
            return o.str();
        }
    }
    return {};
}

std::string Diff(const char* name, const qf::ColourPlane& got, const Plane& want)
{
    return Diff(name, got, got.channels(), want);
}

std::string Diff(const char* name, const qf::GreyPlane& got, const Plane& want)
{
    return Diff(name, got, 1, want);
}

// The layers that only their own stage reallocates.
std::string SurvivingLayersDiff(const qf::EngineState& e, const ReferenceEngine& r)
{
    for (const std::string& d : {Diff("DitherLayer", e.DitherLayer, r.DitherLayer),
                                  Diff("TintLayer", e.TintLayer, r.TintLayer),
                                  Diff("GrayEdgeKey", e.GrayEdgeKey, r.GrayEdgeKey)}) {
        if (!d.empty()) {
            return d;
        }
    }
    return {};
}

// The first work layer, in stage order, where the engine disagrees; only a
// hint for a failure, since an engine may leave a layer its variant never
// reads unallocated.
std::string FirstWorkLayerDiff(const qf::EngineState& e, const ReferenceEngine& r)
{
    struct Item {
        const char* name;
        std::string diff;
    };
    const Item items[] = {
        {"SourceCopy", Diff("SourceCopy", e.SourceCopy, r.SourceCopy)},
        {"GrayPlane", Diff("GrayPlane", e.GrayPlane, r.GrayPlane)},
        {"Gray4Plane", Diff("Gray4Plane", e.Gray4Plane, r.Gray4Plane)},
        {"SketchLayer", Diff("SketchLayer", e.SketchLayer, r.SketchLayer)},
        {"PencilLayer", Diff("PencilLayer", e.PencilLayer, r.PencilLayer)},
        {"SketchOverColor", Diff("SketchOverColor", e.SketchOverColor, r.SketchOverColor)},
        {"DitherLayer", Diff("DitherLayer", e.DitherLayer, r.DitherLayer)},
        {"VividLayer", Diff("VividLayer", e.VividLayer, r.VividLayer)},
        {"TintLayer", Diff("TintLayer", e.TintLayer, r.TintLayer)},
        {"PosterLayer", Diff("PosterLayer", e.PosterLayer, r.PosterLayer)},
        {"ContrastLayer", Diff("ContrastLayer", e.ContrastLayer, r.ContrastLayer)},
        {"SketchGrayPlane", Diff("SketchGrayPlane", e.SketchGrayPlane, r.SketchGrayPlane)},
        {"SketchGray8Plane", Diff("SketchGray8Plane", e.SketchGray8Plane, r.SketchGray8Plane)},
    };
    for (const Item& it : items) {
        if (!it.diff.empty()) {
            return it.diff;
        }
    }
    return "no work layer differs";
}

// ------------------------------------------------------------ synthetic pictures

// std::mt19937's raw output is fixed by the standard, so frames are the same
// on every platform (distributions are not).
class Bytes {
public:
    explicit Bytes(unsigned seed) : rng_(seed) {}
    int below(int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); }
    int byte() { return below(256); }

private:
    std::mt19937 rng_;
};

Plane NoiseTexture(int w, int h, unsigned seed)
{
    Bytes rnd(seed);
    Plane t(4, w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const auto v = static_cast<std::uint8_t>(rnd.byte());
            t(0, x, y) = t(1, x, y) = t(2, x, y) = v;
            t(3, x, y) = 255;
        }
    }
    return t;
}

Plane NoiseFrame(int w, int h, unsigned seed)
{
    Bytes rnd(seed);
    Plane f(4, w, h);
    for (auto& b : f.px) {
        b = static_cast<std::uint8_t>(rnd.byte());
    }
    return f;
}

Plane UniformFrame(int w, int h, int b, int g, int r)
{
    Plane f(4, w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            f(0, x, y) = static_cast<std::uint8_t>(b);
            f(1, x, y) = static_cast<std::uint8_t>(g);
            f(2, x, y) = static_cast<std::uint8_t>(r);
            f(3, x, y) = 77;
        }
    }
    return f;
}

// Flat rectangles of palette colours (saturated, dark, mid, light) with a
// little jitter: long paper runs for the mixing, strong edges for the votes,
// dark areas for the line sketch and the dither's dots.
Plane BlockFrame(int w, int h, unsigned seed, int jitter = 6, bool saturated = false)
{
    static const int palette[][3] = {
        {0, 0, 255},    {0, 255, 255},  {0, 200, 100},  {255, 0, 0},    {30, 30, 30},   {60, 70, 80},
        {100, 100, 100}, {128, 128, 128}, {150, 160, 170}, {200, 210, 220}, {255, 255, 255}, {0, 0, 0},
        {90, 200, 40},  {250, 120, 10}, {180, 180, 60}, {0, 128, 192},
    };
    constexpr int kColours = static_cast<int>(sizeof(palette) / sizeof(palette[0]));
    Bytes rnd(seed);
    Plane f(4, w, h);
    std::vector<int> colour(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), rnd.below(kColours));
    const int rects = 3 + (w * h) / 40;
    for (int k = 0; k < rects; ++k) {
        const int x0 = rnd.below(w);
        const int y0 = rnd.below(h);
        const int x1 = std::min(w, x0 + 1 + rnd.below(std::max(1, w / 2)));
        const int y1 = std::min(h, y0 + 1 + rnd.below(std::max(1, h / 2)));
        const int c = rnd.below(kColours);
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                colour[static_cast<std::size_t>(x + w * y)] = c;
            }
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const int* p = palette[colour[static_cast<std::size_t>(x + w * y)]];
            for (int c = 0; c < 3; ++c) {
                int v = p[c] + (jitter > 0 ? rnd.below(2 * jitter + 1) - jitter : 0);
                if (saturated && c == 0) {
                    v = 0;
                }
                f(c, x, y) = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
            }
            f(3, x, y) = static_cast<std::uint8_t>(rnd.byte());
        }
    }
    return f;
}

// Light paper with isolated pixels on a 3 x 3 grid (some on the border, some
// next to it): the lone-pixel passes of the sketch and of the mixing.
Plane SpeckleFrame(int w, int h, unsigned seed)
{
    Bytes rnd(seed);
    Plane f = UniformFrame(w, h, 0, 0, 0);
    const int px = rnd.below(3);
    const int py = rnd.below(3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool speck = x % 3 == px && y % 3 == py && rnd.below(4) != 0;
            for (int c = 0; c < 3; ++c) {
                f(c, x, y) = static_cast<std::uint8_t>(speck ? rnd.byte() / (1 + rnd.below(3)) : 200 + rnd.below(5));
            }
        }
    }
    return f;
}

// Neighbours whose channels differ by 27, 28, 29 or 30: votes exactly at the
// colour limit, horizontally, vertically and diagonally.
Plane ThresholdFrame(int w, int h)
{
    Plane f(4, w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            f(0, x, y) = static_cast<std::uint8_t>(100 + (x % 2) * (27 + (y / 2) % 4));
            f(1, x, y) = static_cast<std::uint8_t>(110 + (y % 2) * (27 + (x / 3) % 4));
            f(2, x, y) = static_cast<std::uint8_t>(140 + ((x + y) % 3) * 14);
        }
    }
    return f;
}

// Smooth ramps: the four-level grey steps without strong colour edges.
Plane GradientFrame(int w, int h)
{
    Plane f(4, w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            f(0, x, y) = static_cast<std::uint8_t>((x * 255) / std::max(1, w - 1));
            f(1, x, y) = static_cast<std::uint8_t>((y * 255) / std::max(1, h - 1));
            f(2, x, y) = static_cast<std::uint8_t>(((x + y) * 255) / std::max(1, w + h - 2));
            f(3, x, y) = 0;
        }
    }
    return f;
}

// ------------------------------------------------------------ side-by-side runs

struct Pair {
    qf::EngineState engine;
    ReferenceEngine reference;

    explicit Pair(const Plane& texture)
    {
        engine.SetPencilTexture(ToEngine(texture));
        reference.SetPencilTexture(texture);
    }
};

const Plane& StandardTexture()
{
    static const Plane t = NoiseTexture(104, 120, 7);
    return t;
}

// One engine call and one rendering on both sides, starting from the frame.
::testing::AssertionResult RunBoth(Pair& p, const Plane& frame, int variant, int frameNumber,
                                   const RefSwitches& sw)
{
    p.engine.SourcePlanes = ToEngine(frame);
    p.reference.SourcePlanes = frame;
    p.engine.ComputeEffectLayers(variant, frameNumber, ToEngine(sw));
    p.reference.ComputeEffectLayers(variant, frameNumber, sw);
    const std::string hint = FirstWorkLayerDiff(p.engine, p.reference);
    p.engine.RenderVariant(variant, ToEngine(sw));
    p.reference.RenderVariant(variant, sw);

    std::string d = Diff("rendered SourcePlanes", p.engine.SourcePlanes, p.reference.SourcePlanes);
    if (d.empty()) {
        d = SurvivingLayersDiff(p.engine, p.reference);
    }
    if (d.empty()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "variant " << variant << ", frame number " << frameNumber << ", "
                                         << frame.W << "x" << frame.H << ", " << Describe(sw) << ": " << d
                                         << " [first differing work layer: " << hint << "]";
}

std::vector<RefSwitches> AllSwitchCombinations()
{
    std::vector<RefSwitches> all;
    for (int i = 0; i < 243; ++i) {
        int v = i;
        RefSwitches s;
        s.ColorSketch = v % 3;
        v /= 3;
        s.Sharpen = v % 3;
        v /= 3;
        s.MixColor = v % 3;
        v /= 3;
        s.Adjust = v % 3;
        v /= 3;
        s.Blur = v % 3;
        all.push_back(s);
    }
    return all;
}

// Variants 0..16 and the two indexes just outside, which compose nothing.
std::vector<int> AllVariantIndexes()
{
    std::vector<int> v{-1};
    for (int i = 0; i <= 17; ++i) {
        v.push_back(i);
    }
    return v;
}

// Switch states whose stage choices differ: colour or grey forms, mixing or
// not, depth adjustment or not, each finishing filter.
std::vector<RefSwitches> RepresentativeSwitches()
{
    return {
        RefSwitches{},
        RefSwitches{1, 0, 1, 1, 0},
        RefSwitches{0, 0, 0, 0, 0},
        RefSwitches{2, 1, 0, 1, 1},
        RefSwitches{1, 1, 1, 0, 0},
        RefSwitches{0, 0, 2, 2, 1},
    };
}

// ------------------------------------------------------------ the checks

TEST(EngineCrossCheck, PencilTexturesMatch)
{
    for (const Plane& t : {StandardTexture(), NoiseTexture(13, 9, 3), NoiseTexture(1, 1, 4)}) {
        Pair p(t);
        EXPECT_EQ(Diff("PencilTexture", p.engine.PencilTexture, p.reference.PencilTexture), "");
        EXPECT_EQ(Diff("PencilTexture2", p.engine.PencilTexture2, p.reference.PencilTexture2), "");
    }
}

TEST(EngineCrossCheck, EverySwitchCombinationAndVariant)
{
    const Plane frames[] = {BlockFrame(12, 9, 11), BlockFrame(37, 23, 12, 10)};
    for (const Plane& frame : frames) {
        Pair p(StandardTexture());
        for (const RefSwitches& sw : AllSwitchCombinations()) {
            for (int v : AllVariantIndexes()) {
                ASSERT_TRUE(RunBoth(p, frame, v, 0, sw));
            }
        }
    }
}

TEST(EngineCrossCheck, FrameShapes)
{
    struct Shape {
        int w, h;
    };
    const Shape shapes[] = {{1, 1}, {1, 9}, {9, 1}, {2, 9}, {9, 2}, {2, 2}, {3, 3}, {3, 17}, {37, 23}, {23, 37}};
    unsigned seed = 100;
    for (const Shape& s : shapes) {
        const Plane frames[] = {NoiseFrame(s.w, s.h, seed++), BlockFrame(s.w, s.h, seed++),
                                GradientFrame(s.w, s.h), BlockFrame(s.w, s.h, seed++, 4, true),
                                SpeckleFrame(s.w, s.h, seed++), ThresholdFrame(s.w, s.h)};
        for (const Plane& frame : frames) {
            Pair p(StandardTexture());
            for (const RefSwitches& sw : RepresentativeSwitches()) {
                for (int v : AllVariantIndexes()) {
                    ASSERT_TRUE(RunBoth(p, frame, v, 0, sw));
                }
            }
        }
    }
}

TEST(EngineCrossCheck, UniformAndSaturatedFrames)
{
    struct Colour {
        int b, g, r;
    };
    const Colour colours[] = {{128, 128, 128}, {0, 0, 0},     {255, 255, 255}, {201, 201, 201}, {69, 69, 69},
                              {0, 0, 255},     {0, 255, 255}, {255, 0, 0},     {10, 20, 30},    {0, 140, 120}};
    for (const Colour& c : colours) {
        const Plane frame = UniformFrame(7, 5, c.b, c.g, c.r);
        Pair p(StandardTexture());
        for (const RefSwitches& sw : RepresentativeSwitches()) {
            for (int v : AllVariantIndexes()) {
                ASSERT_TRUE(RunBoth(p, frame, v, 0, sw));
            }
        }
    }
}

TEST(EngineCrossCheck, RandomFramesWithSeededGenerator)
{
    Bytes pick(2024);
    const std::vector<RefSwitches> all = AllSwitchCombinations();
    Pair p(StandardTexture());
    for (int k = 0; k < 80; ++k) {
        const int w = 1 + pick.below(30);
        const int h = 1 + pick.below(30);
        const unsigned seed = 5000 + static_cast<unsigned>(k);
        const Plane frame = (k % 4 == 0)   ? NoiseFrame(w, h, seed)
                            : (k % 4 == 1) ? BlockFrame(w, h, seed, pick.below(20))
                            : (k % 4 == 2) ? BlockFrame(w, h, seed, 3, true)
                                           : SpeckleFrame(w, h, seed);
        const RefSwitches& sw = all[static_cast<std::size_t>(pick.below(243))];
        for (int v = 0; v <= 16; ++v) {
            ASSERT_TRUE(RunBoth(p, frame, v, pick.below(13), sw));
        }
    }
}

// The grey pencil layer alternates its two textures every three frames; the
// colour form always uses the first.
TEST(EngineCrossCheck, FrameNumbersChooseTheTexture)
{
    const Plane frame = BlockFrame(29, 19, 31, 12);
    Pair p(StandardTexture());
    for (int colour = 0; colour <= 2; ++colour) {
        RefSwitches sw;
        sw.ColorSketch = colour;
        for (int n = -7; n <= 12; ++n) {
            for (int v : {2, 1, 8}) {
                ASSERT_TRUE(RunBoth(p, frame, v, n, sw));
            }
        }
    }
}

// A texture narrower than the 27-column rotation, and frames larger than the
// texture in both directions, so the tiling wraps.
TEST(EngineCrossCheck, TexturesOfOtherSizesTile)
{
    const Plane textures[] = {NoiseTexture(13, 9, 21), NoiseTexture(40, 3, 22), StandardTexture()};
    const Plane frames[] = {BlockFrame(45, 20, 41, 10), BlockFrame(110, 125, 42, 12)};
    for (const Plane& t : textures) {
        Pair p(t);
        for (const Plane& frame : frames) {
            for (int colour = 0; colour <= 1; ++colour) {
                RefSwitches sw;
                sw.ColorSketch = colour;
                for (int n : {0, 3}) {
                    ASSERT_TRUE(RunBoth(p, frame, 2, n, sw));
                }
            }
        }
    }
}

// DitherLayer, TintLayer and GrayEdgeKey survive the early stops of variants
// 0, 2 and 5 and keep the size of the frame that made them.
TEST(EngineCrossCheck, LayersKeptAcrossCallsOnOneState)
{
    const Plane a = BlockFrame(17, 11, 51, 8);
    const Plane b = BlockFrame(9, 14, 52, 8, true);
    const Plane c = NoiseFrame(5, 3, 53);
    struct Step {
        const Plane* frame;
        int variant;
        int mix;
    };
    const Step steps[] = {
        {&a, 8, 1}, {&a, 0, 1}, {&a, 1, 1}, {&b, 2, 1}, {&b, 5, 1}, {&c, 7, 0}, {&a, 5, 0},  {&b, 0, 1},
        {&b, 12, 1}, {&c, 5, 1}, {&a, 2, 1}, {&b, 17, 1}, {&c, -1, 0}, {&a, 8, 2}, {&b, 2, 1}, {&c, 16, 1},
    };
    for (const RefSwitches& base : RepresentativeSwitches()) {
        Pair p(StandardTexture());
        for (const Step& s : steps) {
            RefSwitches sw = base;
            sw.MixColor = s.mix;
            ASSERT_TRUE(RunBoth(p, *s.frame, s.variant, 1, sw));
        }
    }
}

TEST(EngineCrossCheck, SnapshotsMatchSeventeenSequentialRuns)
{
    const Plane frames[] = {BlockFrame(23, 17, 61, 8), BlockFrame(1, 6, 62), NoiseFrame(4, 1, 63),
                            BlockFrame(15, 12, 64, 3, true)};
    for (const Plane& frame : frames) {
        for (const RefSwitches& sw : RepresentativeSwitches()) {
            Pair p(StandardTexture());
            // Leave something in the surviving layers first.
            ASSERT_TRUE(RunBoth(p, BlockFrame(6, 5, 65), 8, 4, sw));

            std::vector<Plane> want;
            for (int v = 0; v <= 16; ++v) {
                p.reference.SourcePlanes = frame;
                p.reference.ComputeEffectLayers(v, 0, sw);
                p.reference.RenderVariant(v, sw);
                want.push_back(p.reference.SourcePlanes);
            }

            p.engine.SourcePlanes = ToEngine(frame);
            int expected = 0;
            p.engine.RenderAllSnapshots(ToEngine(sw), [&](int variant, const qf::ColourPlane& rendered) {
                ASSERT_EQ(variant, expected) << "snapshots out of order";
                EXPECT_EQ(Diff("snapshot", rendered, want[static_cast<std::size_t>(variant)]), "")
                    << "variant " << variant << ", " << frame.W << "x" << frame.H << ", " << Describe(sw);
                ++expected;
            });
            EXPECT_EQ(expected, 17);
            EXPECT_EQ(Diff("SourcePlanes after snapshots", p.engine.SourcePlanes, p.reference.SourcePlanes), "");
            EXPECT_EQ(SurvivingLayersDiff(p.engine, p.reference), "") << Describe(sw);
            // The state goes on exactly as after the sequential runs.
            ASSERT_TRUE(RunBoth(p, frame, 5, 2, sw));
            ASSERT_TRUE(RunBoth(p, frame, 7, 3, sw));
        }
    }
}

// The finishing filters on their own, on frames that were never through the
// engine's stages, including the one-row and one-column shapes they skip.
TEST(EngineCrossCheck, BlurAndSharpenAlone)
{
    const Plane frames[] = {NoiseFrame(8, 6, 71), NoiseFrame(1, 5, 72), NoiseFrame(5, 1, 73), NoiseFrame(2, 2, 74)};
    for (const Plane& frame : frames) {
        for (int which = 0; which < 2; ++which) {
            Pair p(StandardTexture());
            // Sets MaxX and MaxY on both sides.
            RefSwitches none;
            ASSERT_TRUE(RunBoth(p, frame, 17, 0, none));
            p.engine.SourcePlanes = ToEngine(frame);
            p.reference.SourcePlanes = frame;
            if (which == 0) {
                p.engine.BlurPlanes();
                p.reference.BlurPlanes();
            } else {
                p.engine.SharpenPlanes(1.0f);
                p.reference.SharpenPlanes(1.0f);
            }
            EXPECT_EQ(Diff(which == 0 ? "blurred" : "sharpened", p.engine.SourcePlanes, p.reference.SourcePlanes), "");
        }
    }
}

} // namespace

// The start-up thresholds are fixed, but the state carries them; other
// values reach every stage that reads them, and a mixing radius of 15 or
// more turns on the second horizontal smoothing (vertical radius above 5),
// 55 and more caps the vertical radius at 20.
TEST(EngineCrossCheck, OtherSettings)
{
    struct Settings {
        int colorDiffLimit, edgeVoteMin, darkLimit, mixRadius, ditherErrorDivisor;
    };
    const Settings all[] = {{28, 1, 70, 15, 20}, {28, 1, 70, 60, 20}, {10, 2, 100, 3, 7},
                            {40, 1, 30, 0, 20},  {0, 3, 0, 1, 1},     {28, 1, 256, 12, 40}};
    const Plane frames[] = {BlockFrame(37, 23, 81, 8), BlockFrame(9, 40, 82, 4, true), NoiseFrame(6, 5, 83)};
    for (const Settings& s : all) {
        Pair p(StandardTexture());
        p.engine.Settings.ColorDiffLimit = p.reference.ColorDiffLimit = s.colorDiffLimit;
        p.engine.Settings.EdgeVoteMin = p.reference.EdgeVoteMin = s.edgeVoteMin;
        p.engine.Settings.DarkLimit = p.reference.DarkLimit = s.darkLimit;
        p.engine.Settings.MixRadius = p.reference.MixRadius = s.mixRadius;
        p.engine.Settings.DitherErrorDivisor = p.reference.DitherErrorDivisor = s.ditherErrorDivisor;
        for (const Plane& frame : frames) {
            for (const RefSwitches& sw : RepresentativeSwitches()) {
                for (int v : AllVariantIndexes()) {
                    ASSERT_TRUE(RunBoth(p, frame, v, 0, sw)) << "settings " << s.colorDiffLimit << "/" << s.edgeVoteMin
                                                             << "/" << s.darkLimit << "/" << s.mixRadius << "/"
                                                             << s.ditherErrorDivisor;
                }
            }
        }
    }
}
