// The RGB / HSL colour model and the tint built on it.
#include "engine/colour_model.h"
#include "engine/stages.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

namespace qf {
namespace {

struct Hsl {
    float hue, saturation, lightness;
};

Hsl ToHsl(int red, int green, int blue)
{
    Hsl h{};
    RgbToHsl(red, green, blue, h.hue, h.saturation, h.lightness);
    return h;
}

std::array<int, 3> ToRgb(float hue, float saturation, float lightness)
{
    std::array<int, 3> rgb{};
    HslToRgb(hue, saturation, lightness, rgb[0], rgb[1], rgb[2]);
    return rgb;
}

TEST(ColourModel, GreysBlackAndWhite)
{
    for (const int v : {0, 1, 127, 128, 200, 255}) {
        const Hsl h = ToHsl(v, v, v);
        EXPECT_EQ(h.hue, 0.0f);
        EXPECT_EQ(h.saturation, 0.0f);
        EXPECT_EQ(h.lightness, static_cast<float>(v / 255.0));
        EXPECT_EQ(ToRgb(h.hue, h.saturation, h.lightness), (std::array<int, 3>{v, v, v}));
    }
}

TEST(ColourModel, HuesOfThePrimariesAndTies)
{
    const Hsl red = ToHsl(255, 0, 0);
    EXPECT_EQ(red.hue, 0.0f);
    EXPECT_EQ(red.saturation, 1.0f); // lightness 0.5 takes the first formula
    EXPECT_EQ(red.lightness, 0.5f);
    EXPECT_EQ(ToHsl(0, 255, 0).hue, 2.0f);
    EXPECT_EQ(ToHsl(0, 0, 255).hue, 4.0f);
    EXPECT_EQ(ToHsl(255, 0, 255).hue, -1.0f); // magenta: red wins the tie
    EXPECT_EQ(ToHsl(200, 200, 100).hue, 1.0f);
    EXPECT_EQ(ToHsl(100, 200, 200).hue, 3.0f); // green wins over blue

    const Hsl pink = ToHsl(255, 0, 128);
    EXPECT_NEAR(pink.hue, -0.502, 0.001);
    EXPECT_EQ(ToRgb(pink.hue, pink.saturation, pink.lightness), (std::array<int, 3>{255, 0, 128}));
}

TEST(ColourModel, TintHalvesRoundToEven)
{
    // Lightness 0.5: m1 = 0.375, m2 = 0.625; green lies halfway at 127.5.
    EXPECT_EQ(ToRgb(kTintHue, kTintSaturation, 0.5f), (std::array<int, 3>{159, 128, 96}));
    // Hue 5 and above is not wrapped: red goes on growing past m2.
    EXPECT_EQ(ToRgb(5.5f, 1.0f, 0.5f), (std::array<int, 3>{382, 0, 255})); // 382.5
}

TEST(TintLayer, KeepsOnlyTheLightness)
{
    // Every colour of a slice through the cube, against the model itself.
    for (const int blue : {0, 77, 128, 255}) {
        EngineState s;
        s.SketchOverColor.reset(3, 256, 256);
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                s.SketchOverColor(0, x, y) = static_cast<std::uint8_t>(blue);
                s.SketchOverColor(1, x, y) = static_cast<std::uint8_t>(x);
                s.SketchOverColor(2, x, y) = static_cast<std::uint8_t>(y);
            }
        }
        BuildTintLayer(s);
        for (int y = 0; y < 256; ++y) {
            for (int x = 0; x < 256; ++x) {
                const Hsl h = ToHsl(y, x, blue);
                const auto rgb = ToRgb(kTintHue, kTintSaturation, h.lightness);
                ASSERT_GE(std::min({rgb[0], rgb[1], rgb[2]}), 0);
                ASSERT_LE(std::max({rgb[0], rgb[1], rgb[2]}), 255);
                ASSERT_EQ(test::PixelOf(s.TintLayer, x, y), (test::Bgr{rgb[2], rgb[1], rgb[0]}))
                    << "red " << y << " green " << x << " blue " << blue;
            }
        }
    }
}

TEST(TintLayer, GreyBlackAndWhite)
{
    EngineState s;
    s.SketchOverColor = ColourPlane(3, 3, 1);
    const int greys[] = {128, 0, 255};
    for (int x = 0; x < 3; ++x) {
        for (int c = 0; c < 3; ++c) {
            s.SketchOverColor(c, x, 0) = static_cast<std::uint8_t>(greys[x]);
        }
    }
    BuildTintLayer(s);
    EXPECT_EQ(test::PixelOf(s.TintLayer, 0, 0), (test::Bgr{96, 128, 160}));
    EXPECT_EQ(test::PixelOf(s.TintLayer, 1, 0), (test::Bgr{0, 0, 0}));
    EXPECT_EQ(test::PixelOf(s.TintLayer, 2, 0), (test::Bgr{255, 255, 255}));
}

} // namespace
} // namespace qf
