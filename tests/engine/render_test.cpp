// Variant composition, the work buffers it releases, blur and sharpen.
#include "engine/rounding.h"
#include "engine/stages.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qf {
namespace {

using test::Bgr;

// A 2 x 1 state whose every layer holds its own recognisable value.
EngineState LabelledLayers()
{
    EngineState s;
    s.SourcePlanes = test::UniformFrame(2, 1, {1, 2, 3});
    s.MaxX = 1;
    s.MaxY = 0;
    AllocateWorkBuffers(s, 2, 1, {});
    s.DitherLayer.reset(3, 2, 1);
    s.TintLayer.reset(3, 2, 1);
    auto fill = [](ColourPlane& p, int v) {
        for (std::size_t i = 0; i < p.size(); ++i) {
            p.data()[i] = static_cast<std::uint8_t>(v + static_cast<int>(i % 3));
        }
    };
    fill(s.SketchLayer, 10);
    fill(s.PencilLayer, 20);
    fill(s.VividLayer, 30);
    fill(s.SketchOverColor, 40);
    fill(s.TintLayer, 50);
    fill(s.PosterLayer, 60);
    fill(s.ContrastLayer, 70);
    fill(s.DitherLayer, 80);
    s.SketchGray8Plane(0, 0) = s.SketchGray8Plane(1, 0) = 90;
    s.SketchGrayPlane(0, 0) = s.SketchGrayPlane(1, 0) = 95;
    // Pixel 1 of the dots is white: the base shows through there.
    s.DitherLayer(0, 1, 0) = s.DitherLayer(1, 1, 0) = s.DitherLayer(2, 1, 0) = 255;
    return s;
}

TEST(Render, EachVariantShowsItsLayerAndItsDots)
{
    const struct {
        int variant;
        Bgr atDot;   // pixel 0: a dot pixel of DitherLayer
        Bgr atWhite; // pixel 1: a white pixel of DitherLayer
    } cases[] = {
        {0, {10, 11, 12}, {10, 11, 12}},  {1, {80, 81, 82}, {255, 255, 255}}, {2, {20, 21, 22}, {20, 21, 22}},
        {3, {30, 31, 32}, {30, 31, 32}},  {4, {80, 81, 82}, {30, 31, 32}},    {5, {40, 41, 42}, {40, 41, 42}},
        {6, {80, 81, 82}, {40, 41, 42}},  {7, {50, 51, 52}, {50, 51, 52}},    {8, {80, 81, 82}, {50, 51, 52}},
        {9, {60, 61, 62}, {60, 61, 62}},  {10, {80, 81, 82}, {60, 61, 62}},   {11, {70, 71, 72}, {70, 71, 72}},
        {12, {80, 81, 82}, {70, 71, 72}}, {13, {90, 90, 90}, {90, 90, 90}},   {14, {80, 81, 82}, {90, 90, 90}},
        {15, {95, 95, 95}, {95, 95, 95}}, {16, {80, 81, 82}, {95, 95, 95}},   {17, {1, 2, 3}, {1, 2, 3}},
        {-1, {1, 2, 3}, {1, 2, 3}},
    };
    for (const auto& c : cases) {
        EngineState s = LabelledLayers();
        s.RenderVariant(c.variant, Switches{});
        EXPECT_EQ(test::PixelOf(s.SourcePlanes, 0, 0), c.atDot) << "variant " << c.variant;
        EXPECT_EQ(test::PixelOf(s.SourcePlanes, 1, 0), c.atWhite) << "variant " << c.variant;
        EXPECT_EQ(s.SourcePlanes(3, 0, 0), 255); // the fourth channel is never written
    }
}

TEST(Render, AlmostWhiteDotIsStillADot)
{
    EngineState s = LabelledLayers();
    s.DitherLayer(2, 1, 0) = 254;
    s.RenderVariant(4, Switches{});
    EXPECT_EQ(test::PixelOf(s.SourcePlanes, 1, 0), (Bgr{255, 255, 254}));
}

TEST(Render, ReleasesTheWorkBuffersButNotTheLastingLayers)
{
    EngineState s = LabelledLayers();
    s.GrayEdgeKey.reset(2, 1);
    s.RenderVariant(0, Switches{});
    EXPECT_TRUE(s.GrayPlane.empty() && s.Gray4Plane.empty() && s.SketchGrayPlane.empty()
                && s.SketchGray8Plane.empty() && s.EdgeCount.empty() && s.SketchLayer.empty()
                && s.SourceCopy.empty() && s.SketchOverColor.empty() && s.VividLayer.empty()
                && s.PosterLayer.empty() && s.ContrastLayer.empty() && s.Gray4Color.empty());
    EXPECT_EQ(s.SketchLayer, ColourPlane());
    EXPECT_EQ(s.PencilLayer.size(), 6u);
    EXPECT_EQ(s.DitherLayer.size(), 6u);
    EXPECT_EQ(s.TintLayer.size(), 6u);
    EXPECT_EQ(s.GrayEdgeKey.size(), 2u);
    // Rendering again composes nothing from the released layers.
    s.RenderVariant(0, Switches{});
    EXPECT_EQ(test::PixelOf(s.SourcePlanes, 0, 0), (Bgr{10, 11, 12}));
}

// The filters computed from an untouched copy of the frame.
ColourPlane FilterFromCopy(const ColourPlane& in, bool blur)
{
    ColourPlane out = in;
    for (int x = 0; x + 1 < in.width(); ++x) {
        for (int y = 0; y + 1 < in.height(); ++y) {
            for (int c = 0; c < 3; ++c) {
                const int p = in(c, x, y);
                const int s = in(c, x, y + 1) + in(c, x + 1, y) + in(c, x + 1, y + 1);
                int v;
                if (blur) {
                    v = RoundHalfEven((p + s) / 4.0);
                } else {
                    const float k2 = static_cast<float>(-1.0 / 3.0);
                    v = RoundHalfEven(p * 2.0) + RoundHalfEven(static_cast<double>(k2) * s);
                }
                out(c, x, y) = static_cast<std::uint8_t>(std::clamp(v, 0, 255));
            }
        }
    }
    return out;
}

TEST(Render, BlurAndSharpenFilterFromUnfilteredNeighbours)
{
    const ColourPlane frame = test::BusyFrame(23, 17, 5);
    for (const bool blur : {true, false}) {
        EngineState s;
        s.SourcePlanes = frame;
        s.MaxX = 22;
        s.MaxY = 16;
        if (blur) {
            s.BlurPlanes();
        } else {
            s.SharpenPlanes(1.0f);
        }
        EXPECT_EQ(s.SourcePlanes, FilterFromCopy(frame, blur)) << (blur ? "blur" : "sharpen");
    }
    // Blur first, then sharpen.
    EngineState s;
    s.SourcePlanes = frame;
    s.ComputeEffectLayers(17, 0, Switches{});
    s.RenderVariant(17, Switches{.Sharpen = 1, .Blur = 1});
    EXPECT_EQ(s.SourcePlanes, FilterFromCopy(FilterFromCopy(frame, true), false));
}

TEST(Render, BlurRoundsQuartersToEven)
{
    const struct {
        int p00, p10, p01, p11, expected;
    } cases[] = {{0, 1, 0, 1, 0}, {1, 1, 1, 3, 2}, {2, 3, 2, 3, 2}, {255, 255, 255, 255, 255}, {3, 3, 3, 2, 3}};
    for (const auto& c : cases) {
        EngineState s;
        s.SourcePlanes = ColourPlane(4, 2, 2);
        s.MaxX = s.MaxY = 1;
        s.SourcePlanes(1, 0, 0) = static_cast<std::uint8_t>(c.p00);
        s.SourcePlanes(1, 1, 0) = static_cast<std::uint8_t>(c.p10);
        s.SourcePlanes(1, 0, 1) = static_cast<std::uint8_t>(c.p01);
        s.SourcePlanes(1, 1, 1) = static_cast<std::uint8_t>(c.p11);
        s.BlurPlanes();
        EXPECT_EQ(s.SourcePlanes(1, 0, 0), c.expected);
        EXPECT_EQ(s.SourcePlanes(1, 1, 0), c.p10); // last column and top row keep their values
        EXPECT_EQ(s.SourcePlanes(1, 1, 1), c.p11);
    }
}

TEST(Render, SharpenDoublesAndSubtractsAThirdOfTheNeighbours)
{
    const struct {
        int p, n1, n2, n3, expected;
    } cases[] = {{200, 100, 100, 100, 255}, {10, 85, 85, 85, 0}, {100, 100, 100, 100, 100}, {100, 101, 101, 101, 99}};
    for (const auto& c : cases) {
        EngineState s;
        s.SourcePlanes = ColourPlane(4, 2, 2);
        s.MaxX = s.MaxY = 1;
        s.SourcePlanes(0, 0, 0) = static_cast<std::uint8_t>(c.p);
        s.SourcePlanes(0, 0, 1) = static_cast<std::uint8_t>(c.n1);
        s.SourcePlanes(0, 1, 0) = static_cast<std::uint8_t>(c.n2);
        s.SourcePlanes(0, 1, 1) = static_cast<std::uint8_t>(c.n3);
        s.SharpenPlanes(1.0f);
        EXPECT_EQ(s.SourcePlanes(0, 0, 0), c.expected);
    }
}

TEST(Render, OnePixelWideOrHighFramesAreComposedButNotFiltered)
{
    for (const auto& [w, h] : {std::pair{1, 6}, std::pair{6, 1}}) {
        const ColourPlane frame = test::BusyFrame(w, h, 6);
        EngineState s;
        s.SourcePlanes = frame;
        s.ComputeEffectLayers(5, 0, Switches{});
        const ColourPlane layer = s.SketchOverColor;
        s.RenderVariant(5, Switches{.Sharpen = 1, .Blur = 1});
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                EXPECT_EQ(test::PixelOf(s.SourcePlanes, x, y), test::PixelOf(layer, x, y));
            }
        }
    }
}

TEST(Render, OutOfRangeVariantStillBlurs)
{
    const ColourPlane frame = test::BusyFrame(5, 4, 7);
    for (const int variant : {17, -1}) {
        EngineState s;
        s.SourcePlanes = frame;
        s.ComputeEffectLayers(variant, 0, Switches{});
        s.RenderVariant(variant, Switches{.Blur = 1});
        EXPECT_EQ(s.SourcePlanes, FilterFromCopy(frame, true));
    }
}

} // namespace
} // namespace qf
