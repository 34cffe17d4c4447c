// Whole engine runs: early stops and what they leave, the switches, the
// shared snapshot run, several states at once, and small frames worked out
// by hand.
#include "engine/stages.h"
#include "engine/variants.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

#include <thread>

namespace qf {
namespace {

using test::Bgr;

bool AllZero(const ColourPlane& p)
{
    return std::all_of(p.data(), p.data() + p.size(), [](std::uint8_t v) { return v == 0; });
}
bool AllZero(const GreyPlane& p)
{
    return std::all_of(p.data(), p.data() + p.size(), [](std::uint8_t v) { return v == 0; });
}

class EngineRuns : public ::testing::Test {
protected:
    void SetUp() override
    {
        state.SetPencilTexture(test::StripeTexture(13, 9));
        // An earlier frame leaves its dots, tint and keys behind.
        state.SourcePlanes = test::BusyFrame(20, 15, 11);
        state.ComputeEffectLayers(8, 0, Switches{});
        leftDots = state.DitherLayer;
        leftTint = state.TintLayer;
        leftKey = state.GrayEdgeKey;
        state.RenderVariant(8, Switches{});
        state.SourcePlanes = test::BusyFrame(20, 15, 12);
    }

    EngineState state;
    ColourPlane leftDots;
    ColourPlane leftTint;
    GreyPlane leftKey;
};

TEST_F(EngineRuns, SketchAndPencilVariantsStopBeforeMixing)
{
    for (const int variant : {0, 2}) {
        state.ComputeEffectLayers(variant, 0, Switches{});
        EXPECT_TRUE(AllZero(state.SketchOverColor));
        EXPECT_TRUE(AllZero(state.VividLayer) && AllZero(state.PosterLayer) && AllZero(state.ContrastLayer));
        EXPECT_TRUE(AllZero(state.SketchGrayPlane) && AllZero(state.SketchGray8Plane));
        EXPECT_EQ(state.DitherLayer, leftDots);
        EXPECT_EQ(state.TintLayer, leftTint);
        EXPECT_EQ(state.GrayEdgeKey, leftKey);
        EXPECT_FALSE(AllZero(state.SketchLayer));
        EXPECT_FALSE(AllZero(state.PencilLayer));
    }
}

TEST_F(EngineRuns, SketchOverColourVariantStopsBeforeTheDots)
{
    state.ComputeEffectLayers(5, 0, Switches{});
    EXPECT_FALSE(AllZero(state.SketchOverColor));
    EXPECT_EQ(state.DitherLayer, leftDots);
    EXPECT_EQ(state.TintLayer, leftTint);
    EXPECT_NE(state.GrayEdgeKey, leftKey); // mixing made new keys

    // Without mixing the keys of the earlier run stay.
    const GreyPlane keys = state.GrayEdgeKey;
    state.ComputeEffectLayers(6, 0, Switches{.MixColor = 0});
    EXPECT_EQ(state.GrayEdgeKey, keys);
    EXPECT_NE(state.DitherLayer, leftDots);
}

TEST_F(EngineRuns, DotVariantsBuildNoOtherLayer)
{
    for (const int variant : {1, 6}) {
        state.ComputeEffectLayers(variant, 0, Switches{});
        EXPECT_NE(state.DitherLayer, leftDots);
        EXPECT_TRUE(AllZero(state.VividLayer) && AllZero(state.PosterLayer) && AllZero(state.ContrastLayer));
        EXPECT_TRUE(AllZero(state.SketchGrayPlane) && AllZero(state.SketchGray8Plane));
        EXPECT_EQ(state.TintLayer, leftTint);
    }
}

TEST_F(EngineRuns, GreySwitchStatesCountAsTheirTestsSay)
{
    // Color Sketch at 2 is ticked; Adjust, Mix, Blur and Sharpen at 2 are not.
    const ColourPlane frame = state.SourcePlanes;
    const std::pair<Switches, Switches> same[] = {
        {{.ColorSketch = 2}, {.ColorSketch = 1}},
        {{.Adjust = 2}, {.Adjust = 0}},
        {{.MixColor = 2}, {.MixColor = 0}},
        {{.Sharpen = 2, .Blur = 2}, {.Sharpen = 0, .Blur = 0}},
    };
    for (const auto& [grey, meant] : same) {
        for (int v = 0; v < kVariantCount; ++v) {
            EngineState a;
            EngineState b;
            a.SetPencilTexture(state.PencilTexture);
            b.SetPencilTexture(state.PencilTexture);
            EXPECT_EQ(test::RenderOne(a, frame, v, 0, grey), test::RenderOne(b, frame, v, 0, meant)) << "variant " << v;
        }
    }
}

TEST_F(EngineRuns, NothingOfAnEarlierFrameReachesTheNextOne)
{
    // Buffers are reused from frame to frame: a state that has just worked
    // on the negative of a frame (every layer different) must render the
    // frame as a fresh state does, whichever variant ran before.
    const ColourPlane frame = test::BusyFrame(20, 15, 31);
    ColourPlane negative = frame;
    for (std::size_t i = 0; i < negative.size(); ++i) {
        negative.data()[i] = static_cast<std::uint8_t>(255 - negative.data()[i]);
    }
    for (const Switches sw : {Switches{}, Switches{.ColorSketch = 1, .MixColor = 0, .Adjust = 0}}) {
        for (int v = 0; v < kVariantCount; ++v) {
            EngineState fresh;
            fresh.SetPencilTexture(state.PencilTexture);
            const ColourPlane expected = test::RenderOne(fresh, frame, v, 3, sw);
            for (const int before : {v, (v + 1) % kVariantCount, (v + 9) % kVariantCount}) {
                test::RenderOne(state, negative, before, 3, sw);
                ASSERT_EQ(test::RenderOne(state, frame, v, 3, sw), expected) << "variant " << v << " after " << before;
                state.ComputeEffectLayers(before, 3, sw); // a run without rendering
                ASSERT_EQ(test::RenderOne(state, frame, v, 3, sw), expected) << "variant " << v << " after " << before;
            }
        }
    }
}

// The 17 runs as the snapshot list makes them, one after another.
std::vector<ColourPlane> SequentialSnapshots(EngineState& s, const ColourPlane& frame, const Switches& sw)
{
    std::vector<ColourPlane> out;
    for (int v = 0; v < kVariantCount; ++v) {
        out.push_back(test::RenderOne(s, frame, v, 0, sw));
    }
    return out;
}

TEST_F(EngineRuns, SharedSnapshotRunEqualsSeventeenRuns)
{
    const Switches combos[] = {
        Switches{},
        {.ColorSketch = 1, .Sharpen = 1, .MixColor = 0, .Adjust = 1, .Blur = 1},
        {.ColorSketch = 2, .Sharpen = 0, .MixColor = 1, .Adjust = 0, .Blur = 1},
        {.ColorSketch = 0, .Sharpen = 1, .MixColor = 0, .Adjust = 2, .Blur = 0},
    };
    for (const ColourPlane& frame : {test::BusyFrame(31, 22, 13), test::BusyFrame(1, 7, 14)}) {
        for (const Switches& sw : combos) {
            EngineState sequential = state;
            const std::vector<ColourPlane> expected = SequentialSnapshots(sequential, frame, sw);

            EngineState shared = state;
            shared.SourcePlanes = frame;
            std::vector<ColourPlane> got;
            shared.RenderAllSnapshots(sw, [&](int v, const ColourPlane& rendered) {
                EXPECT_EQ(v, static_cast<int>(got.size()));
                got.push_back(rendered);
            });
            ASSERT_EQ(got.size(), expected.size());
            for (int v = 0; v < kVariantCount; ++v) {
                EXPECT_EQ(got[static_cast<std::size_t>(v)], expected[static_cast<std::size_t>(v)]) << "variant " << v;
            }
            // The state is left as the 17 runs leave it.
            EXPECT_EQ(shared.SourcePlanes, sequential.SourcePlanes);
            EXPECT_EQ(shared.DitherLayer, sequential.DitherLayer);
            EXPECT_EQ(shared.TintLayer, sequential.TintLayer);
            EXPECT_EQ(shared.GrayEdgeKey, sequential.GrayEdgeKey);
            EXPECT_EQ(shared.PencilLayer, sequential.PencilLayer);
            EXPECT_EQ(shared.SketchOverColor, sequential.SketchOverColor);
            EXPECT_EQ(shared.VividLayer, sequential.VividLayer);
            EXPECT_EQ(shared.EdgeCount, sequential.EdgeCount);
            EXPECT_EQ(shared.MaxX, sequential.MaxX);
            EXPECT_EQ(shared.MaxY, sequential.MaxY);
        }
    }
}

TEST_F(EngineRuns, StatesOnSeveralThreadsDoNotMeet)
{
    const ColourPlane frames[] = {test::BusyFrame(40, 30, 21), test::BusyFrame(33, 41, 22)};
    std::vector<ColourPlane> alone[2];
    for (int i = 0; i < 2; ++i) {
        EngineState s = state;
        alone[i] = SequentialSnapshots(s, frames[i], Switches{.ColorSketch = i});
    }
    std::vector<ColourPlane> together[2];
    std::thread workers[2];
    for (int i = 0; i < 2; ++i) {
        workers[i] = std::thread([&, i] {
            EngineState s = state;
            for (int round = 0; round < 3; ++round) {
                together[i] = SequentialSnapshots(s, frames[i], Switches{.ColorSketch = i});
            }
        });
    }
    for (auto& w : workers) {
        w.join();
    }
    EXPECT_EQ(together[0], alone[0]);
    EXPECT_EQ(together[1], alone[1]);
}

TEST(EngineFrames, EmptyFrameRunsWithoutPixels)
{
    EngineState s;
    for (int v = 0; v < kVariantCount; ++v) {
        s.ComputeEffectLayers(v, 0, Switches{});
        s.RenderVariant(v, Switches{.Sharpen = 1, .Blur = 1});
    }
    EXPECT_EQ(s.MaxX, -1);
    EXPECT_EQ(s.MaxY, -1);
    EXPECT_TRUE(s.SourcePlanes.empty());
}

// A light half and a dark half in one row: 200, 200, 40, 40.
TEST(EngineFrames, LightAndDarkRowByHand)
{
    // The dark side of the edge gets the line; with the default switches
    // lines take half the grey (20). Mixing averages the light run (200)
    // and gives the ink back its colour before the lines go on top. The
    // mean grey of that is 110: the light pixels carry -55 (shares -10 and
    // -5) and -60, staying white; the dark ones turn to dots of half grey.
    const ColourPlane frame = test::GreyFrame({{200, 200, 40, 40}});
    const struct {
        int variant;
        int expected[4];
    } cases[] = {
        {0, {255, 255, 20, 20}},   {1, {255, 255, 20, 20}}, {2, {255, 255, 60, 60}},  {3, {232, 232, 34, 34}},
        {4, {232, 232, 20, 20}},   {5, {200, 200, 20, 20}}, {6, {200, 200, 20, 20}},  {9, {255, 255, 0, 0}},
        {10, {255, 255, 20, 20}},  {11, {255, 255, 0, 0}},  {13, {192, 192, 0, 0}},  {14, {192, 192, 20, 20}},
        {15, {200, 200, 20, 20}},  {16, {200, 200, 20, 20}},
    };
    for (const auto& c : cases) {
        EngineState s;
        s.SetPencilTexture(test::UniformTexture(3, 3, 100)); // lines: (20 + 100) / 2
        const ColourPlane out = test::RenderOne(s, frame, c.variant, 0, Switches{});
        for (int x = 0; x < 4; ++x) {
            const int g = c.expected[x];
            EXPECT_EQ(test::PixelOf(out, x, 0), (Bgr{g, g, g})) << "variant " << c.variant << " x " << x;
        }
    }
}

// A dark dot in the middle of a light 3 x 3 frame.
TEST(EngineFrames, LoneDarkDotByHand)
{
    // The dot takes all 8 votes but is a lone line pixel, so the sketch is
    // all paper. Mixing: the middle row averages (220 + 20 + 220) / 3 = 153;
    // the column pass then reads already smoothed pixels below:
    // (220 + 153 + 220) / 3 = 197, (197 + 153 + 220) / 3 = 190,
    // (197 + 190 + 220) / 3 = 202 in every column.
    const ColourPlane frame = test::GreyFrame({{220, 220, 220}, {220, 20, 220}, {220, 220, 220}});
    EngineState s;
    s.SetPencilTexture(test::UniformTexture(3, 3, 100));

    const ColourPlane sketch = test::RenderOne(s, frame, 0, 0, Switches{});
    EXPECT_TRUE(std::all_of(sketch.data(), sketch.data() + sketch.size(), [](std::uint8_t v) { return v == 255; }));

    const int rows[3] = {197, 190, 202}; // bottom to top
    const ColourPlane mixed = test::RenderOne(s, frame, 5, 0, Switches{});
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(test::PixelOf(mixed, x, y), (Bgr{rows[y], rows[y], rows[y]})) << x << "," << y;
        }
    }

    // Blurred: (197 + 197 + 190 + 190) / 4 = 193.5 -> 194, then 196; the
    // last column and the top row keep their values.
    const ColourPlane blurred = test::RenderOne(s, frame, 5, 0, Switches{.Blur = 1});
    const int blurredRows[3][3] = {{194, 194, 197}, {196, 196, 190}, {202, 202, 202}};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(blurred(0, x, y), blurredRows[y][x]) << x << "," << y;
        }
    }

    // Dots: mean 196. Row 0: 197 white (e -58), 197 - 5 = 192 black
    // (e 192), 197 white. Row 1 carries 5, 26 + 36, -11: 192 black, 221
    // white, 185 black. Row 2 white. Black dots take half the frame's grey
    // (220 -> 110).
    const ColourPlane dots = test::RenderOne(s, frame, 1, 0, Switches{});
    const int dotRows[3][3] = {{255, 110, 255}, {110, 255, 110}, {255, 255, 255}};
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            EXPECT_EQ(dots(1, x, y), dotRows[y][x]) << x << "," << y;
        }
    }
}

} // namespace
} // namespace qf
