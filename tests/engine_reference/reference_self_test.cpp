// Hand-worked results that the reference engine itself must reproduce before
// it is trusted as the yardstick for the real engine.
#include "reference_engine.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace qfref {
namespace {

Plane Uniform(int w, int h, int b, int g, int r)
{
    Plane p(4, w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            p(0, x, y) = static_cast<std::uint8_t>(b);
            p(1, x, y) = static_cast<std::uint8_t>(g);
            p(2, x, y) = static_cast<std::uint8_t>(r);
        }
    }
    return p;
}

ReferenceEngine EngineWith(const Plane& frame)
{
    ReferenceEngine e;
    Plane texture = Uniform(5, 4, 200, 200, 200);
    e.SetPencilTexture(texture);
    e.SourcePlanes = frame;
    return e;
}

std::array<int, 3> Pixel(Plane& p, int x, int y)
{
    return {p(0, x, y), p(1, x, y), p(2, x, y)};
}

TEST(ReferenceColourModel, RgbToHslEdgeCases)
{
    struct Case {
        int r, g, b;
        float hue, sat, light;
    };
    const Case cases[] = {
        {0, 0, 0, 0.0f, 0.0f, 0.0f},
        {255, 255, 255, 0.0f, 0.0f, 1.0f},
        {255, 0, 0, 0.0f, 1.0f, 0.5f},
        {0, 255, 0, 2.0f, 1.0f, 0.5f},
        {0, 0, 255, 4.0f, 1.0f, 0.5f},
        {255, 0, 255, -1.0f, 1.0f, 0.5f},
        {200, 200, 100, 1.0f, -1.0f, -1.0f},
    };
    for (const Case& c : cases) {
        float hue = 9, sat = 9, light = 9;
        RgbToHsl(c.r, c.g, c.b, hue, sat, light);
        EXPECT_EQ(hue, c.hue) << c.r << "," << c.g << "," << c.b;
        if (c.sat >= 0) {
            EXPECT_EQ(sat, c.sat);
            EXPECT_EQ(light, c.light);
        }
    }
    float hue = 0, sat = 0, light = 0;
    RgbToHsl(255, 0, 128, hue, sat, light);
    EXPECT_NEAR(hue, -0.502, 0.001);
    int r = 0, g = 0, b = 0;
    HslToRgb(hue, sat, light, r, g, b);
    EXPECT_EQ(r, 255);
    EXPECT_EQ(g, 0);
    EXPECT_EQ(b, 128);
}

TEST(ReferenceColourModel, GreyRoundTripAndTint)
{
    for (int v = 0; v <= 255; ++v) {
        float hue = 1, sat = 1, light = 0;
        RgbToHsl(v, v, v, hue, sat, light);
        ASSERT_EQ(hue, 0.0f);
        ASSERT_EQ(sat, 0.0f);
        int r = 0, g = 0, b = 0;
        HslToRgb(hue, sat, light, r, g, b);
        ASSERT_EQ(r, v);
        ASSERT_EQ(g, v);
        ASSERT_EQ(b, v);
    }
    int r = 0, g = 0, b = 0;
    HslToRgb(0.5f, 0.25f, 0.5f, r, g, b);
    EXPECT_EQ(r, 159);
    EXPECT_EQ(g, 128);
    EXPECT_EQ(b, 96);
}

TEST(ReferenceBoostSaturation, SinglePrecisionFactors)
{
    Plane p(3, 2, 1);
    const int in[2][3] = {{5, 10, 15}, {0, 128, 255}};
    for (int x = 0; x < 2; ++x) {
        for (int c = 0; c < 3; ++c) {
            p(c, x, 0) = static_cast<std::uint8_t>(in[x][c]);
        }
    }
    Plane q = p;
    BoostSaturation(p, 70.0f / 100.0f);
    EXPECT_EQ(Pixel(p, 0, 0), (std::array<int, 3>{2, 10, 18}));
    BoostSaturation(q, 128.0f / 100.0f);
    EXPECT_EQ(Pixel(q, 1, 0), (std::array<int, 3>{0, 129, 255}));
}

// Uniform dark frames are all line pixels, so the depth adjustment shows
// directly in SketchLayer.
TEST(ReferenceSketch, DepthAdjustmentOfUniformDarkFrames)
{
    struct Case {
        int b, g, r, colour;
        std::array<int, 3> want;
    };
    const Case cases[] = {
        {69, 69, 69, 0, {34, 34, 34}},
        {67, 67, 67, 0, {34, 34, 34}},
        {0, 0, 0, 0, {0, 0, 0}},
        {10, 20, 30, 1, {2, 10, 18}},
        {10, 20, 30, 2, {2, 10, 18}},
    };
    for (const Case& c : cases) {
        ReferenceEngine e = EngineWith(Uniform(4, 3, c.b, c.g, c.r));
        RefSwitches sw;
        sw.ColorSketch = c.colour;
        e.ComputeEffectLayers(0, 0, sw);
        for (int x = 0; x < 4; ++x) {
            for (int y = 0; y < 3; ++y) {
                ASSERT_EQ(Pixel(e.SketchLayer, x, y), c.want) << c.b << " colour " << c.colour;
            }
        }
        sw.Adjust = 2; // grey state counts as unticked: solid black
        e.ComputeEffectLayers(0, 0, sw);
        EXPECT_EQ(Pixel(e.SketchLayer, 1, 1), (std::array<int, 3>{0, 0, 0}));
    }
}

TEST(ReferenceSketch, VotesAndLonePixels)
{
    // Differences of exactly 28 cast no vote; 29 in one channel casts one.
    // Both pixels of the voting pair have grey 109, so the current (left)
    // pixel takes the vote.
    Plane f = Uniform(3, 1, 100, 100, 100);
    f(0, 1, 0) = 128;
    f(2, 2, 0) = 129;
    ReferenceEngine e = EngineWith(f);
    RefSwitches sw;
    sw.Adjust = 0;
    e.ComputeEffectLayers(0, 0, sw);
    EXPECT_EQ(e.SketchLayer(0, 0, 0), 255);
    EXPECT_EQ(e.SketchLayer(0, 1, 0), 0);
    EXPECT_EQ(e.SketchLayer(0, 2, 0), 255);

    // A black pixel inside white paper vanishes, one on the border stays.
    Plane g = Uniform(4, 4, 200, 200, 200);
    g(0, 1, 1) = g(1, 1, 1) = g(2, 1, 1) = 0;
    g(0, 3, 2) = g(1, 3, 2) = g(2, 3, 2) = 0;
    ReferenceEngine e2 = EngineWith(g);
    e2.ComputeEffectLayers(0, 0, sw);
    EXPECT_EQ(e2.SketchLayer(0, 1, 1), 255);
    EXPECT_EQ(e2.SketchLayer(0, 3, 2), 0);
}

// Worked through by hand: a saturated row whose first average has channel 0
// equal to 0 stops the leftward runs of the pixels after it, and a column
// one pixel wide keeps its colours horizontally but is smoothed vertically
// over the already smoothed pixels below.
TEST(ReferenceMixing, LeftScanStopsAtSaturatedAveragesAndColumnsSmoothInPlace)
{
    struct Case {
        int w, h;
        std::vector<std::array<int, 3>> in;   // in scan order (x outer, y inner)
        std::vector<std::array<int, 3>> want;
    };
    const Case cases[] = {
        {4, 1,
         {{0, 200, 250}, {0, 210, 240}, {1, 190, 250}, {1, 200, 245}},
         {{0, 200, 246}, {0, 200, 245}, {1, 195, 247}, {1, 195, 247}}},
        {1, 6,
         {{130, 130, 130}, {150, 150, 150}, {170, 170, 170}, {180, 180, 180}, {160, 160, 160}, {140, 140, 140}},
         {{158, 158, 158}, {159, 159, 159}, {161, 161, 161}, {159, 159, 159}, {156, 156, 156}, {155, 155, 155}}},
    };
    for (const Case& c : cases) {
        Plane f(4, c.w, c.h);
        std::size_t i = 0;
        for (int x = 0; x < c.w; ++x) {
            for (int y = 0; y < c.h; ++y, ++i) {
                for (int ch = 0; ch < 3; ++ch) {
                    f(ch, x, y) = static_cast<std::uint8_t>(c.in[i][ch]);
                }
            }
        }
        ReferenceEngine e = EngineWith(f);
        RefSwitches sw;
        e.ComputeEffectLayers(5, 0, sw);
        i = 0;
        for (int x = 0; x < c.w; ++x) {
            for (int y = 0; y < c.h; ++y, ++i) {
                EXPECT_EQ(Pixel(e.SketchOverColor, x, y), c.want[i]) << c.w << "x" << c.h << " at " << x << "," << y;
            }
        }
    }
}

TEST(ReferenceDither, FirstPixelsOnUniformGrey128)
{
    ReferenceEngine e = EngineWith(Uniform(5, 4, 128, 128, 128));
    RefSwitches sw;
    sw.MixColor = 0;
    sw.Adjust = 0;
    e.ComputeEffectLayers(1, 0, sw);
    EXPECT_EQ(e.SketchOverColor(0, 0, 0), 128);
    EXPECT_EQ(e.DitherLayer(0, 0, 0), 255);
    EXPECT_EQ(e.DitherLayer(0, 1, 0), 0);

    // With the grey depth adjustment the dot takes half the grey level.
    ReferenceEngine e2 = EngineWith(Uniform(5, 4, 201, 201, 201));
    sw.Adjust = 1;
    e2.ComputeEffectLayers(1, 0, sw);
    bool sawDot = false;
    for (int x = 0; x < 5; ++x) {
        for (int y = 0; y < 4; ++y) {
            const int v = e2.DitherLayer(0, x, y);
            ASSERT_TRUE(v == 255 || v == 100) << v;
            sawDot = sawDot || v == 100;
        }
    }
    EXPECT_TRUE(sawDot); // the first white pixel carries -54, so dots follow
}

// Uniform light frames are paper everywhere, so SketchOverColor is the
// frame itself and each variant stage shows its per-channel curve.
TEST(ReferenceVariantStages, PerChannelCurvesOnUniformFrames)
{
    struct Case {
        int variant, in, out;
    };
    const Case cases[] = {
        {3, 85, 128},  {3, 128, 176}, {3, 170, 212}, {3, 200, 232}, {3, 255, 255},
        {9, 128, 0},   {9, 129, 255}, {11, 114, 0},  {11, 115, 7},  {11, 139, 247},
        {11, 140, 255}, {13, 255, 224}, {15, 201, 201}, {7, 255, 255},
    };
    for (const Case& c : cases) {
        for (int mix = 0; mix <= 1; ++mix) {
            ReferenceEngine e = EngineWith(Uniform(3, 3, c.in, c.in, c.in));
            RefSwitches sw;
            sw.MixColor = mix;
            e.ComputeEffectLayers(c.variant, 0, sw);
            e.RenderVariant(c.variant, sw);
            EXPECT_EQ(Pixel(e.SourcePlanes, 1, 1), (std::array<int, 3>{c.out, c.out, c.out}))
                << "variant " << c.variant << " value " << c.in << " mix " << mix;
        }
    }
    ReferenceEngine e = EngineWith(Uniform(3, 3, 128, 128, 128));
    RefSwitches sw;
    e.ComputeEffectLayers(7, 0, sw);
    e.RenderVariant(7, sw);
    EXPECT_EQ(Pixel(e.SourcePlanes, 2, 2), (std::array<int, 3>{96, 128, 160}));
}

TEST(ReferenceFilters, BlurAndSharpenRounding)
{
    struct Case {
        std::array<int, 4> px; // (0,0) (1,0) (0,1) (1,1)
        bool sharpen;
        int want;
    };
    const Case cases[] = {
        {{0, 0, 1, 1}, false, 0},   {{1, 1, 1, 3}, false, 2},  {{2, 3, 2, 3}, false, 2},
        {{200, 100, 100, 100}, true, 255}, {{10, 85, 85, 85}, true, 0}, {{90, 30, 30, 30}, true, 150},
    };
    for (const Case& c : cases) {
        ReferenceEngine e;
        e.SourcePlanes = Plane(4, 2, 2);
        e.MaxX = 1;
        e.MaxY = 1;
        for (int ch = 0; ch < 3; ++ch) {
            e.SourcePlanes(ch, 0, 0) = static_cast<std::uint8_t>(c.px[0]);
            e.SourcePlanes(ch, 1, 0) = static_cast<std::uint8_t>(c.px[1]);
            e.SourcePlanes(ch, 0, 1) = static_cast<std::uint8_t>(c.px[2]);
            e.SourcePlanes(ch, 1, 1) = static_cast<std::uint8_t>(c.px[3]);
        }
        if (c.sharpen) {
            e.SharpenPlanes(1.0f);
        } else {
            e.BlurPlanes();
        }
        EXPECT_EQ(e.SourcePlanes(1, 0, 0), c.want);
        EXPECT_EQ(e.SourcePlanes(1, 1, 1), c.px[3]); // top row and last column keep their values
    }
}

} // namespace
} // namespace qfref
