// Grey planes, edge votes, the line sketch and lone pixels.
#include "engine/stages.h"
#include "engine_test_support.h"

#include <gtest/gtest.h>

namespace qf {
namespace {

using test::Bgr;

TEST(GreyPlanes, TruncatedAverageAndFourLevels)
{
    const struct {
        Bgr colour;
        int grey;
        int grey4;
    } cases[] = {
        {{10, 20, 31}, 20, 0},     // 61 / 3 truncates
        {{63, 64, 65}, 64, 64},
        {{127, 127, 129}, 127, 64},
        {{128, 128, 128}, 128, 128},
        {{191, 192, 192}, 191, 128},
        {{255, 255, 255}, 255, 192},
        {{0, 0, 255}, 85, 64},
    };
    for (const auto& c : cases) {
        EngineState s;
        s.SourcePlanes = test::UniformFrame(1, 1, c.colour);
        AllocateWorkBuffers(s, 1, 1, {});
        PrepareGrayPlanes(s);
        EXPECT_EQ(s.GrayPlane(0, 0), c.grey);
        EXPECT_EQ(s.Gray4Plane(0, 0), c.grey4);
        EXPECT_EQ(test::PixelOf(s.SourceCopy, 0, 0), c.colour);
    }
}

// Votes of a two-pixel picture: first pixel at (0, 0), second at `second`.
GreyPlane VotesOfPair(int width, int height, int x2, int y2, Bgr first, Bgr second, int key1, int key2)
{
    ColourPlane colour(3, width, height);
    GreyPlane key(width, height);
    for (int c = 0; c < 3; ++c) {
        colour(c, 0, 0) = static_cast<std::uint8_t>(first[static_cast<std::size_t>(c)]);
        colour(c, x2, y2) = static_cast<std::uint8_t>(second[static_cast<std::size_t>(c)]);
    }
    key(0, 0) = static_cast<std::uint8_t>(key1);
    key(x2, y2) = static_cast<std::uint8_t>(key2);
    GreyPlane votes(width, height);
    CountEdgeVotes(colour, key, votes, 28);
    return votes;
}

TEST(EdgeVotes, DifferenceOfExactlyTheLimitIsNoEdge)
{
    for (int channel = 0; channel < 3; ++channel) {
        Bgr second{100, 100, 100};
        second[static_cast<std::size_t>(channel)] = 128;
        GreyPlane votes = VotesOfPair(2, 1, 1, 0, {100, 100, 100}, second, 100, 109);
        EXPECT_EQ(votes(0, 0) + votes(1, 0), 0) << "channel " << channel;

        second[static_cast<std::size_t>(channel)] = 129;
        votes = VotesOfPair(2, 1, 1, 0, {100, 100, 100}, second, 100, 109);
        EXPECT_EQ(votes(0, 0), 1) << "channel " << channel;
        EXPECT_EQ(votes(1, 0), 0);

        second[static_cast<std::size_t>(channel)] = 71; // 29 below
        votes = VotesOfPair(2, 1, 1, 0, {100, 100, 100}, second, 100, 90);
        EXPECT_EQ(votes(0, 0), 0) << "channel " << channel;
        EXPECT_EQ(votes(1, 0), 1);
    }
}

TEST(EdgeVotes, EqualKeysGiveTheVoteToTheEarlierPixelOfEveryPair)
{
    // Pure red next to pure blue, both grey 85, in each of the four
    // directions a pair is looked at from.
    const Bgr red{0, 0, 255};
    const Bgr blue{255, 0, 0};
    const struct {
        int width, height, x2, y2;
    } pairs[] = {{2, 1, 1, 0}, {1, 2, 0, 1}, {2, 2, 1, 1}};
    for (const auto& p : pairs) {
        const GreyPlane votes = VotesOfPair(p.width, p.height, p.x2, p.y2, red, blue, 85, 85);
        EXPECT_EQ(votes(0, 0), 1);
        EXPECT_EQ(votes(p.x2, p.y2), 0);
    }
    // Bottom row red, top row blue, all keys equal: every edge vote goes to
    // the bottom row, the anti-diagonal one (from (1, 0) to (0, 1)) included.
    ColourPlane colour(3, 2, 2);
    colour(2, 0, 0) = colour(2, 1, 0) = 255;
    colour(0, 0, 1) = colour(0, 1, 1) = 255;
    GreyPlane key(2, 2);
    GreyPlane votes(2, 2);
    CountEdgeVotes(colour, key, votes, 28);
    EXPECT_EQ(votes(0, 0), 2);
    EXPECT_EQ(votes(1, 0), 2);
    EXPECT_EQ(votes(0, 1), 0);
    EXPECT_EQ(votes(1, 1), 0);
}

TEST(EdgeVotes, MatchThePairByPairCountOnABusyFrame)
{
    EngineState s;
    s.SourcePlanes = test::BusyFrame(41, 23, 8);
    AllocateWorkBuffers(s, 41, 23, {});
    PrepareGrayPlanes(s);
    const ColourPlane& c = s.SourceCopy;
    const GreyPlane& k = s.GrayPlane;
    for (const int limit : {-1, 0, 5, 28, 100, 254, 255}) {
        GreyPlane expected(41, 23);
        for (int x = 0; x < 41; ++x) {
            for (int y = 0; y < 23; ++y) {
                for (const auto& [nx, ny] : {std::pair{x + 1, y + 1}, {x, y + 1}, {x + 1, y}, {x - 1, y + 1}}) {
                    if (nx < 0 || nx > 40 || ny > 22) {
                        continue;
                    }
                    bool edge = false;
                    for (int ch = 0; ch < 3; ++ch) {
                        edge = edge || std::abs(c(ch, x, y) - c(ch, nx, ny)) > limit;
                    }
                    if (edge) {
                        ++(k(x, y) > k(nx, ny) ? expected(nx, ny) : expected(x, y));
                    }
                }
            }
        }
        GreyPlane votes(41, 23);
        CountEdgeVotes(c, k, votes, limit);
        EXPECT_EQ(votes, expected) << "limit " << limit;
    }
}

TEST(EdgeVotes, DarkPixelInLightSurroundCollectsAllEightVotes)
{
    EngineState s;
    s.SourcePlanes = test::GreyFrame({{200, 200, 200}, {200, 10, 200}, {200, 200, 200}});
    s.ComputeEffectLayers(0, 0, Switches{});
    EXPECT_EQ(s.EdgeCount(1, 1), 8);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 3; ++x) {
            if (x != 1 || y != 1) {
                EXPECT_EQ(s.EdgeCount(x, y), 0);
            }
        }
    }
}

TEST(SketchLines, UniformFramesAreAllPaperOrAllLine)
{
    for (const int grey : {70, 69, 0, 255}) {
        EngineState s;
        s.SourcePlanes = test::UniformFrame(4, 3, {grey, grey, grey});
        s.ComputeEffectLayers(0, 0, Switches{.Adjust = 0});
        const int expected = grey >= 70 ? 255 : 0;
        for (std::size_t i = 0; i < s.SketchLayer.size(); ++i) {
            ASSERT_EQ(s.SketchLayer.data()[i], expected) << "grey " << grey;
        }
    }
}

TEST(SketchLines, OnlyTheDarkerSideOfAnEdgeIsDrawn)
{
    EngineState s;
    s.SourcePlanes = test::GreyFrame({{100, 100, 200, 200}, {100, 100, 200, 200}, {100, 100, 200, 200}});
    s.ComputeEffectLayers(0, 0, Switches{.Adjust = 0});
    for (int y = 0; y < 3; ++y) {
        EXPECT_EQ(s.SketchLayer(0, 0, y), 255);
        EXPECT_EQ(s.SketchLayer(0, 1, y), 0);
        EXPECT_EQ(s.SketchLayer(0, 2, y), 255);
        EXPECT_EQ(s.SketchLayer(0, 3, y), 255);
    }
}

TEST(LonePixels, InsideWhitenedOnTheBorderKeptTouchingKept)
{
    auto sketchOf = [](const std::vector<std::pair<int, int>>& black) {
        ColourPlane layer(3, 5, 5);
        std::fill(layer.data(), layer.data() + layer.size(), std::uint8_t{255});
        for (auto [x, y] : black) {
            layer(0, x, y) = layer(1, x, y) = layer(2, x, y) = 0;
        }
        RemoveLonePixels(layer);
        return layer;
    };
    EXPECT_EQ(sketchOf({{2, 2}})(0, 2, 2), 255);
    EXPECT_EQ(sketchOf({{1, 3}})(2, 1, 3), 255); // all three channels whitened
    for (auto [x, y] : std::vector<std::pair<int, int>>{{0, 2}, {4, 2}, {2, 0}, {2, 4}, {0, 0}}) {
        EXPECT_EQ(sketchOf({{x, y}})(0, x, y), 0) << x << "," << y;
    }
    const ColourPlane diagonal = sketchOf({{1, 1}, {2, 2}});
    EXPECT_EQ(diagonal(0, 1, 1), 0);
    EXPECT_EQ(diagonal(0, 2, 2), 0);
    const ColourPlane beside = sketchOf({{2, 2}, {3, 2}});
    EXPECT_EQ(beside(0, 2, 2), 0);
    EXPECT_EQ(beside(0, 3, 2), 0);
}

TEST(LonePixels, OnePixelWideOrHighFramesKeepEveryLinePixel)
{
    // A dark dot between light pixels: it gets the votes, and no lone-pixel
    // pass runs on a frame one pixel wide or high.
    for (const bool wide : {true, false}) {
        EngineState s;
        s.SourcePlanes = test::MakeFrame(wide ? 5 : 1, wide ? 1 : 5, [wide](int x, int y) {
            const int g = (wide ? x : y) == 2 ? 100 : 200;
            return Bgr{g, g, g};
        });
        s.ComputeEffectLayers(0, 0, Switches{.Adjust = 0});
        EXPECT_EQ(s.EdgeCount.data()[2], 2);
        EXPECT_EQ(s.SketchLayer.data()[6], 0);
        EXPECT_EQ(s.SketchLayer.data()[3], 255);
    }
}

} // namespace
} // namespace qf
