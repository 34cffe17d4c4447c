// Pixels mapped to a palette: the nearest colour, ties and transparency, and
// what error diffusion does to a flat area; and colours chosen for a frame.
#include "imaging/colour/palette_map.h"
#include "imaging/colour/quantise.h"

#include <gtest/gtest.h>

#include <random>
#include <thread>

namespace qf::test {
namespace {

using imaging::MapToPalette;
using imaging::NearestColour;

std::uint32_t Rgb(int r, int g, int b)
{
    return 0xFF000000u | static_cast<std::uint32_t>(r << 16 | g << 8 | b);
}

int DistanceTo(std::uint32_t c, int r, int g, int b)
{
    const int dr = static_cast<int>((c >> 16) & 0xFF) - r;
    const int dg = static_cast<int>((c >> 8) & 0xFF) - g;
    const int db = static_cast<int>(c & 0xFF) - b;
    return dr * dr + dg * dg + db * db;
}

TEST(NearestColour, FindsTheClosestEntry)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> channel(0, 255);
    // Colours crowded along the grey line, where the sum of channels tells
    // entries apart least, and a transparent entry that must never be chosen.
    std::vector<std::uint32_t> palette = {0u};
    for (int i = 0; i < 200; ++i) {
        const int grey = channel(random);
        palette.push_back(Rgb(grey, std::clamp(grey + channel(random) / 16 - 8, 0, 255), 255 - grey));
    }
    for (int i = 0; i < 55; ++i)
        palette.push_back(Rgb(channel(random), channel(random), channel(random)));
    const NearestColour nearest(palette);
    for (int n = 0; n < 20000; ++n) {
        const int r = channel(random), g = channel(random), b = channel(random);
        int best = 1 << 30;
        for (std::size_t e = 1; e < palette.size(); ++e)
            best = std::min(best, DistanceTo(palette[e], r, g, b));
        const int found = nearest.find(r, g, b);
        ASSERT_GT(found, 0);
        ASSERT_EQ(DistanceTo(palette[static_cast<std::size_t>(found)], r, g, b), best)
            << r << " " << g << " " << b;
    }
}

TEST(NearestColour, EqualDistancesGoToTheLowerEntry)
{
    // Mid grey 128 lies 1 from 127 and from 129 in each channel.
    const NearestColour nearest({Rgb(129, 129, 129), Rgb(127, 127, 127), Rgb(129, 129, 129)});
    EXPECT_EQ(nearest.find(128, 128, 128), 0);
}

struct EdgeTie {
    const char* name;
    std::vector<std::uint32_t> palette;
    int r, g, b;
    int expected;
};

TEST(NearestColour, AnEntryOutsideACubeTiedAtItsCornerStillWins)
{
    // Black lies 3 * 15^2 from white-ward corner (15, 15, 15) of the cube of
    // 16 levels at black, and (30, 30, 30) just as far outside it: the
    // lower entry wins. The same at the cube of 8 levels: (14, 14, 14) and
    // black lie 3 * 7^2 from (7, 7, 7), with sixteen reds further off
    // making the list of the larger cube more than 16 long.
    std::vector<std::uint32_t> eighteen = {Rgb(14, 14, 14), Rgb(0, 0, 0)};
    for (int k = 0; k < 16; ++k)
        eighteen.push_back(Rgb(35, k, 0));
    const std::vector<EdgeTie> cases = {
        {"16 levels", {Rgb(30, 30, 30), Rgb(0, 0, 0)}, 15, 15, 15, 0},
        {"8 levels", eighteen, 7, 7, 7, 0},
    };
    for (const EdgeTie& c : cases) {
        const NearestColour nearest(c.palette);
        EXPECT_EQ(nearest.find(c.r, c.g, c.b), c.expected) << c.name;
    }
}

TEST(NearestColour, AnotherPaletteForgetsTheColoursFoundBefore)
{
    // Black and white swap places: the same colours asked again find their
    // new entries.
    NearestColour nearest({Rgb(0, 0, 0), Rgb(255, 255, 255)});
    EXPECT_EQ(nearest.find(10, 10, 10), 0);
    EXPECT_EQ(nearest.find(250, 250, 250), 1);
    nearest.assign({Rgb(255, 255, 255), Rgb(0, 0, 0)});
    EXPECT_EQ(nearest.find(10, 10, 10), 1);
    EXPECT_EQ(nearest.find(250, 250, 250), 0);
}

TEST(NearestColour, WhiteAndBlackAskedFirstFindTheirEntries)
{
    // The first question of a palette meets only empty slots, whatever the
    // colour: pure white and pure black included.
    const std::vector<std::uint32_t> palette = {0u, Rgb(250, 250, 250), Rgb(5, 5, 5)};
    for (const int grey : {255, 0}) {
        NearestColour nearest(palette);
        EXPECT_EQ(nearest.find(grey, grey, grey), grey == 255 ? 1 : 2) << grey;
    }
}

struct Flat {
    const char* name;
    int grey;
    float dithering;
    int black, white; // pixels of 16 x 16 expected to come out so (-1: any)
};

TEST(MapToPalette, FlatAreas)
{
    // Black, white and a transparent entry.
    const std::vector<std::uint32_t> palette = {Rgb(0, 0, 0), 0u, Rgb(255, 255, 255)};
    const Flat cases[] = {
        {"a palette colour stays that colour, dithered or not", 255, 1.0f, 0, 256},
        {"a dark grey without dithering is all black", 60, 0.0f, 256, 0},
        {"mid grey without dithering is all black", 127, 0.0f, 256, 0},
        // Dithered, black and white mix to about the grey's brightness.
        {"mid grey dithered mixes black and white", 127, 1.0f, -1, -1},
    };
    for (const Flat& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::uint8_t> rgba;
        for (int i = 0; i < 256; ++i)
            rgba.insert(rgba.end(), {static_cast<std::uint8_t>(c.grey), static_cast<std::uint8_t>(c.grey),
                                     static_cast<std::uint8_t>(c.grey), 255});
        std::vector<std::uint8_t> indexes(256, 9);
        MapToPalette(rgba.data(), 16, 16, palette, c.dithering, indexes.data());
        const auto black = std::count(indexes.begin(), indexes.end(), 0);
        const auto white = std::count(indexes.begin(), indexes.end(), 2);
        EXPECT_EQ(black + white, 256);
        if (c.black >= 0) {
            EXPECT_EQ(black, c.black);
            EXPECT_EQ(white, c.white);
        } else {
            // Light diffusion: clearly both, and the mean no brighter than
            // the grey nor darker than a third of it.
            EXPECT_GT(white, 256 * 127 / 255 / 3);
            EXPECT_LE(white, 256 * 127 / 255 + 8);
        }
    }
}

TEST(MapToPalette, TransparentPixelsTakeTheTransparentEntry)
{
    // Left half transparent, right half a red that lies between two entries.
    const std::vector<std::uint32_t> palette = {Rgb(200, 0, 0), Rgb(100, 0, 0), 0u};
    std::vector<std::uint8_t> rgba;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            rgba.insert(rgba.end(), {static_cast<std::uint8_t>(x < 4 ? 0 : 150), 0, 0,
                                     static_cast<std::uint8_t>(x < 4 ? 0 : 255)});
    std::vector<std::uint8_t> indexes(64, 9);
    MapToPalette(rgba.data(), 8, 8, palette, 1.0f, indexes.data());
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) {
            const int index = indexes[static_cast<std::size_t>(y * 8 + x)];
            if (x < 4)
                EXPECT_EQ(index, 2) << x << "," << y;
            else
                EXPECT_TRUE(index == 0 || index == 1) << x << "," << y;
        }
}

struct Diffused {
    const char* name;
    int paletteStep; // greys 0, step, 2 step, ... up to 255
    bool grain;      // every pixel its own random grey, else a gentle ramp
    bool allNearest; // every pixel takes its nearest grey (no diffusion)
};

TEST(RemapRgba, GrainIsMappedToTheNearestColourAndSmoothColourIsDiffused)
{
    // A frame's own grain breaks up bands where the palette's steps are
    // small: each pixel simply takes its nearest colour. A smooth ramp still
    // has its error diffused, and so has grain where the steps are coarse.
    const Diffused cases[] = {
        {"grain, fine steps", 6, true, true},
        {"a ramp, fine steps", 6, false, false},
        {"grain, coarse steps", 17, true, false},
    };
    constexpr int kWidth = 256;
    constexpr int kHeight = 64;
    for (const Diffused& c : cases) {
        SCOPED_TRACE(c.name);
        imaging::ChosenColours chosen;
        for (int grey = 0; grey <= 255; grey += c.paletteStep)
            chosen.palette.push_back(Rgb(grey, grey, grey));
        chosen.error = 1000; // serves any frame
        std::mt19937 random(5);
        std::uniform_int_distribution<int> noise(64, 191);
        std::vector<int> greys;
        std::vector<std::uint8_t> rgba;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const int grey = c.grain ? noise(random) : 64 + x / 2;
                greys.push_back(grey);
                const auto g = static_cast<std::uint8_t>(grey);
                rgba.insert(rgba.end(), {g, g, g, 255});
            }
        imaging::QuantisedImage out;
        ASSERT_TRUE(imaging::RemapRgba(rgba.data(), kWidth, kHeight,
                                       imaging::LevelsFor(imaging::kBestQuality), chosen, out));
        int farther = 0; // pixels given a grey further than the nearest
        for (std::size_t i = 0; i < greys.size(); ++i) {
            const int shown = static_cast<int>(out.palette.at(out.indexes[i]) & 0xFF);
            const int step = c.paletteStep;
            const int below = greys[i] / step * step;
            const int nearest = greys[i] - below <= below + step - greys[i] ? below : below + step;
            farther += std::abs(shown - greys[i]) > std::abs(nearest - greys[i]) ? 1 : 0;
        }
        if (c.allNearest)
            EXPECT_EQ(farther, 0);
        else
            EXPECT_GT(farther, kWidth * kHeight / 50);
    }
}

// Frames are reduced on whichever thread is free, so the colours chosen for
// a frame must not depend on what that thread chose colours for before.
// Two frames share the colours of their lower half: any count or colour
// left over from the first would weigh those colours differently in the
// second. Film-like frames of tens of thousands of colours, and frames of
// a thousand (larger areas of one colour).
TEST(ChooseColours, DoNotDependOnTheFrameChosenBefore)
{
    constexpr int kSize = 256;
    // Pixel (x, y) of the frame: its lower half the same in both frames.
    auto frame = [](int cell, bool second) {
        std::vector<std::uint8_t> rgba;
        for (int y = 0; y < kSize; ++y)
            for (int x = 0; x < kSize; ++x) {
                const int cx = x / cell * cell;
                const int cy = y / cell * cell;
                const bool shared = y < kSize / 2;
                rgba.insert(rgba.end(), {static_cast<std::uint8_t>(shared || !second ? cx : 255 - cx),
                                         static_cast<std::uint8_t>(cy),
                                         static_cast<std::uint8_t>(shared || !second ? (cx ^ cy) : 40), 255});
            }
        return rgba;
    };
    const imaging::GifLevels levels = imaging::LevelsFor(imaging::kBestQuality);
    auto choose = [&](const std::vector<std::uint8_t>& rgba) {
        imaging::ChosenColours chosen;
        std::string reason;
        EXPECT_TRUE(imaging::ChooseColours(rgba.data(), kSize, kSize, levels, chosen, &reason)) << reason;
        return chosen.palette;
    };
    for (const int cell : {1, 8}) {
        const std::vector<std::uint8_t> first = frame(cell, false);
        const std::vector<std::uint8_t> second = frame(cell, true);
        std::vector<std::uint32_t> alone;
        std::vector<std::uint32_t> after;
        std::thread([&] { alone = choose(second); }).join();
        std::thread([&] {
            choose(first);
            after = choose(second);
        }).join();
        EXPECT_GT(alone.size(), 200u) << cell;
        EXPECT_EQ(after, alone) << "cells of " << cell << " pixels";
    }
}
} // namespace
} // namespace qf::test
