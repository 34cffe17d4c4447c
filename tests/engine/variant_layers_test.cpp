// The variant colour stages.
#include "engine/stages.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <functional>

namespace qf {
namespace {

using test::Bgr;

// Runs a stage over a one-row SketchOverColor of the given pixels.
EngineState RunStage(const std::vector<Bgr>& pixels, const std::function<void(EngineState&)>& stage)
{
    EngineState s;
    const int width = static_cast<int>(pixels.size());
    AllocateWorkBuffers(s, width, 1, {});
    for (int x = 0; x < width; ++x) {
        for (int c = 0; c < 3; ++c) {
            s.SketchOverColor(c, x, 0) = static_cast<std::uint8_t>(pixels[static_cast<std::size_t>(x)][static_cast<std::size_t>(c)]);
        }
    }
    stage(s);
    return s;
}

std::vector<Bgr> Greys(const std::vector<int>& values)
{
    std::vector<Bgr> pixels;
    for (const int v : values) {
        pixels.push_back({v, v, v});
    }
    return pixels;
}

TEST(VariantLayers, VividCurveLiftsMidTonesAndRoundsHalvesToEven)
{
    const std::vector<int> in{0, 1, 64, 85, 128, 170, 200, 255};
    const std::vector<int> out{0, 2, 100, 128, 176, 212, 232, 255};
    const EngineState s = RunStage(Greys(in), BuildVividLayer);
    for (std::size_t i = 0; i < in.size(); ++i) {
        const int x = static_cast<int>(i);
        EXPECT_EQ(test::PixelOf(s.VividLayer, x, 0), (Bgr{out[i], out[i], out[i]})) << in[i];
    }
}

TEST(VariantLayers, VividSaturatesAfterTheCurve)
{
    // (0, 128, 255) -> (0, 176, 255), a = 143: 176 + 1.28 * 33 = 218.24.
    const EngineState s = RunStage({{0, 128, 255}}, BuildVividLayer);
    EXPECT_EQ(test::PixelOf(s.VividLayer, 0, 0), (Bgr{0, 218, 255}));
}

TEST(VariantLayers, PosterAndContrastThresholds)
{
    const std::vector<int> in{0, 114, 115, 128, 129, 139, 140, 255};
    const EngineState poster = RunStage(Greys(in), BuildPosterLayer);
    const EngineState contrast = RunStage(Greys(in), BuildContrastLayer);
    const std::vector<int> posterOut{0, 0, 0, 0, 255, 255, 255, 255};
    const std::vector<int> contrastOut{0, 0, 7, 137, 147, 247, 255, 255};
    for (std::size_t i = 0; i < in.size(); ++i) {
        const int x = static_cast<int>(i);
        EXPECT_EQ(poster.PosterLayer(1, x, 0), posterOut[i]) << in[i];
        EXPECT_EQ(contrast.ContrastLayer(2, x, 0), contrastOut[i]) << in[i];
    }
    // Channels are mapped one by one.
    const EngineState mixed = RunStage({{128, 129, 140}}, BuildPosterLayer);
    EXPECT_EQ(test::PixelOf(mixed.PosterLayer, 0, 0), (Bgr{0, 255, 255}));
}

TEST(VariantLayers, SketchGreyPlanesAndTheirEightLevels)
{
    const EngineState s = RunStage({{255, 255, 255}, {31, 31, 31}, {32, 32, 32}, {10, 20, 31}, {0, 0, 0}, {90, 100, 111}},
                                   BuildSketchGrayPlanes);
    const int grey[] = {255, 31, 32, 20, 0, 100};
    const int grey8[] = {224, 0, 32, 0, 0, 96};
    for (int x = 0; x < 6; ++x) {
        EXPECT_EQ(s.SketchGrayPlane(x, 0), grey[x]);
        EXPECT_EQ(s.SketchGray8Plane(x, 0), grey8[x]);
    }
}

} // namespace
} // namespace qf
