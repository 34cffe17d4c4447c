// Saturation boost, sketch depth, the pencil layer and sketch over colour.
#include "engine/rounding.h"
#include "engine/stages.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qf {
namespace {

using test::Bgr;

TEST(Saturation, SinglePrecisionFactorsDecideTheRounding)
{
    EXPECT_EQ(kSketchSaturation, 0.699999988079071044921875f);
    EXPECT_EQ(kVividSaturation, 1.2799999713897705078125f);
    ColourPlane layer(3, 2, 1);
    const Bgr before[] = {{5, 10, 15}, {0, 128, 255}};
    for (int x = 0; x < 2; ++x) {
        for (int c = 0; c < 3; ++c) {
            layer(c, x, 0) = static_cast<std::uint8_t>(before[x][static_cast<std::size_t>(c)]);
        }
    }
    ColourPlane sketchBoost = layer;
    BoostSaturation(sketchBoost, kSketchSaturation);
    EXPECT_EQ(test::PixelOf(sketchBoost, 0, 0), (Bgr{2, 10, 18})); // 1.50000006 -> 2, 18.49999994 -> 18
    BoostSaturation(layer, kVividSaturation);
    EXPECT_EQ(test::PixelOf(layer, 1, 0), (Bgr{0, 129, 255}));
}

// A state holding one pixel: a line pixel when `line`, with the given frame colour.
EngineState OnePixel(Bgr colour, bool line)
{
    EngineState s;
    s.SourcePlanes = test::UniformFrame(1, 1, colour);
    AllocateWorkBuffers(s, 1, 1, {});
    PrepareGrayPlanes(s);
    const std::uint8_t v = line ? 0 : 255;
    s.SketchLayer(0, 0, 0) = s.SketchLayer(1, 0, 0) = s.SketchLayer(2, 0, 0) = v;
    return s;
}

TEST(SketchDepth, GreyFormHalvesTheGreyLevelTiesToEven)
{
    const struct {
        int grey, expected;
    } cases[] = {{69, 34}, {67, 34}, {0, 0}, {1, 0}, {3, 2}, {255, 128}};
    for (const auto& c : cases) {
        EngineState s = OnePixel({c.grey, c.grey, c.grey}, true);
        AdjustSketchDepth(s, false);
        EXPECT_EQ(test::PixelOf(s.SketchLayer, 0, 0), (Bgr{c.expected, c.expected, c.expected})) << c.grey;
    }
}

TEST(SketchDepth, SwitchesChooseTheForm)
{
    // A dark frame is all line. Adjust at 0 or 2 keeps the lines black;
    // Color Sketch at 1 or 2 gives the colour form.
    const ColourPlane frame = test::UniformFrame(3, 3, {10, 20, 30});
    const struct {
        Switches sw;
        Bgr expected;
    } cases[] = {
        {{.ColorSketch = 0, .Adjust = 0}, {0, 0, 0}},
        {{.ColorSketch = 1, .Adjust = 2}, {0, 0, 0}},
        {{.ColorSketch = 0, .Adjust = 1}, {10, 10, 10}},
        {{.ColorSketch = 1, .Adjust = 1}, {2, 10, 18}},
        {{.ColorSketch = 2, .Adjust = 1}, {2, 10, 18}},
    };
    for (const auto& c : cases) {
        EngineState s;
        s.SourcePlanes = frame;
        s.ComputeEffectLayers(0, 0, c.sw);
        EXPECT_EQ(test::PixelOf(s.SketchLayer, 1, 1), c.expected);
    }
}

TEST(PencilLayer, GreyFormAveragesLineAndTextureTiesToEven)
{
    const struct {
        int texture, expected;
    } cases[] = {{201, 100}, {203, 102}, {0, 0}, {255, 128}};
    for (const auto& c : cases) {
        EngineState s = OnePixel({0, 0, 0}, true);
        s.SetPencilTexture(test::UniformTexture(4, 4, c.texture));
        BuildPencilLayer(s, 0, false);
        EXPECT_EQ(test::PixelOf(s.PencilLayer, 0, 0), (Bgr{c.expected, c.expected, c.expected}));
    }
}

TEST(PencilLayer, ColourFormBlendsSevenTenthsFrameThreeTenthsTexture)
{
    EngineState s = OnePixel({100, 100, 100}, true);
    s.SetPencilTexture(test::UniformTexture(4, 4, 200));
    BuildPencilLayer(s, 0, true);
    EXPECT_EQ(test::PixelOf(s.PencilLayer, 0, 0), (Bgr{130, 130, 130}));

    // A coloured line pixel: blended per channel in double precision, then
    // boosted by 1.28: (10, 100, 200) over 50 gives (22, 85, 155), a = 87,
    // then 22 - 83.2, 85 - 2.56 and 155 + 87.04.
    EngineState colour = OnePixel({10, 100, 200}, true);
    colour.SetPencilTexture(test::UniformTexture(4, 4, 50));
    BuildPencilLayer(colour, 0, true);
    EXPECT_EQ(test::PixelOf(colour.PencilLayer, 0, 0), (Bgr{0, 82, 242}));
}

TEST(PencilLayer, PaperIsPlainWhiteInBothForms)
{
    for (const bool colour : {false, true}) {
        EngineState s = OnePixel({10, 100, 200}, false);
        s.SetPencilTexture(test::UniformTexture(4, 4, 50));
        BuildPencilLayer(s, 0, colour);
        EXPECT_EQ(test::PixelOf(s.PencilLayer, 0, 0), (Bgr{255, 255, 255}));
    }
}

TEST(PencilLayer, TextureTilesFromTheBottomLeftAndAlternatesEveryThreeFrames)
{
    const ColourPlane texture = test::StripeTexture(5, 3);
    EngineState s;
    s.SetPencilTexture(texture);
    // PencilTexture2 is the texture rotated left by 27 columns (27 mod 5 = 2).
    EXPECT_EQ(s.PencilTexture2(0, 0, 1), texture(0, 2, 1));
    EXPECT_EQ(s.PencilTexture2(1, 4, 2), texture(1, 1, 2));

    const ColourPlane frame = test::UniformFrame(12, 7, {0, 0, 0}); // all line, depth 0
    const struct {
        int frameNumber;
        bool second;
    } frames[] = {{0, false}, {1, false}, {2, false}, {3, true}, {4, true}, {5, true},
                  {6, false}, {9, true},  {12, false}, {-3, false}};
    for (const auto& f : frames) {
        s.SourcePlanes = frame;
        s.ComputeEffectLayers(2, f.frameNumber, Switches{});
        const ColourPlane& t = f.second ? s.PencilTexture2 : s.PencilTexture;
        for (int y = 0; y < 7; ++y) {
            for (int x = 0; x < 12; ++x) {
                const int expected = RoundHalfEven(t(0, x % 5, y % 3) / 2.0);
                ASSERT_EQ(s.PencilLayer(0, x, y), expected) << "frame " << f.frameNumber << " at " << x << "," << y;
            }
        }
    }
    // The colour form always reads the first texture.
    s.SourcePlanes = frame;
    s.ComputeEffectLayers(2, 3, Switches{.ColorSketch = 1});
    EXPECT_EQ(s.PencilLayer(0, 1, 0), RoundHalfEven(texture(0, 1, 0) * 0.3));
}

TEST(SketchOverColor, PaperShowsTheFrameLinesShowTheSketch)
{
    EngineState s;
    s.SourcePlanes = test::GreyFrame({{100, 100, 200, 200}, {100, 100, 200, 200}});
    s.SetPencilTexture(test::UniformTexture(2, 2, 90));
    s.ComputeEffectLayers(5, 0, Switches{.MixColor = 0, .Adjust = 0});
    for (int y = 0; y < 2; ++y) {
        EXPECT_EQ(test::PixelOf(s.SketchOverColor, 0, y), (Bgr{100, 100, 100}));
        EXPECT_EQ(test::PixelOf(s.SketchOverColor, 1, y), (Bgr{0, 0, 0}));
        EXPECT_EQ(test::PixelOf(s.SketchOverColor, 3, y), (Bgr{200, 200, 200}));
    }
    // All paper: SketchOverColor is the frame itself, PencilLayer all white.
    const ColourPlane frame = test::UniformFrame(3, 2, {90, 140, 200});
    s.SourcePlanes = frame;
    s.ComputeEffectLayers(5, 0, Switches{.MixColor = 0});
    EXPECT_EQ(s.SketchOverColor, s.SourceCopy);
    for (std::size_t i = 0; i < s.PencilLayer.size(); ++i) {
        EXPECT_EQ(s.PencilLayer.data()[i], 255);
    }
}

} // namespace
} // namespace qf
