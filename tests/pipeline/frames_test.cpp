#include "pipeline/convert.h"
#include "pipeline/pencil_texture.h"
#include "pipeline/snapshots.h"

#include "engine/variants.h"
#include "imaging/gif_reader.h"
#include "imaging/png_io.h"
#include "pipeline/pixel_bridge.h"
#include "test_support.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace qf {
namespace {

using test::PatternFrame;
using test::ScratchDir;

constexpr int kWidth = 48;
constexpr int kHeight = 40;

std::vector<imaging::RgbaImage> PatternFrames(int count)
{
    std::vector<imaging::RgbaImage> frames;
    for (int i = 0; i < count; ++i)
        frames.push_back(PatternFrame(kWidth, kHeight, i));
    return frames;
}

// What the chain must produce for frame number n of a source frame.
Picture Expected(const imaging::RgbaImage& source, int variant, int frameNumber, const Switches& switches = {})
{
    EngineState state;
    UseDefaultPencilTexture(state);
    Picture rendered;
    RenderFrame(state, ReadFrame(source), variant, frameNumber, switches, rendered);
    return rendered;
}

std::string FramePng(const ScratchDir& dir, int number)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%04d.png", number);
    return dir.file(name);
}

MATCHER_P(SamePixels, expected, "")
{
    return arg.width == expected.width && arg.height == expected.height && arg.pixels == expected.pixels;
}

TEST(ReadFrameTest, ConvertsToBlueGreenRedAndPaintsTransparencyWhite)
{
    imaging::RgbaImage frame;
    frame.width = 3;
    frame.height = 1;
    frame.pixels = {10, 20, 30, 255, /**/ 1, 2, 3, 0, /**/ 0, 0, 0, 128};
    const Picture picture = ReadFrame(frame);
    ASSERT_EQ(picture.width(), 3);
    ASSERT_EQ(picture.height(), 1);
    const std::vector<std::uint8_t> expected = {30, 20, 10, 255, /**/ 255, 255, 255, 255, /**/ 127, 127, 127, 255};
    EXPECT_EQ(std::vector<std::uint8_t>(picture.data(), picture.data() + 12), expected);
}

TEST(PencilTextureTest, IsAGreyPaperOf104By120)
{
    const ColourPlane& texture = DefaultPencilTexture();
    ASSERT_EQ(texture.channels(), 4);
    ASSERT_EQ(texture.width(), 104);
    ASSERT_EQ(texture.height(), 120);
    for (int y = 0; y < 120; ++y)
        for (int x = 0; x < 104; ++x) {
            ASSERT_EQ(texture(0, x, y), texture(1, x, y));
            ASSERT_EQ(texture(0, x, y), texture(2, x, y));
        }
    EXPECT_EQ(&DefaultPencilTexture(), &texture);
}

TEST(SnapshotsTest, EqualSeventeenSeparateRunsInOrder)
{
    const imaging::RgbaImage source = PatternFrame(kWidth, kHeight, 2);
    const Picture frame1 = ReadFrame(source);
    const Switches everythingOn{.ColorSketch = 1, .Sharpen = 1, .MixColor = 1, .Adjust = 1, .Blur = 1};
    const Switches greyStates{.ColorSketch = 2, .Sharpen = 2, .MixColor = 2, .Adjust = 2, .Blur = 2};
    const Switches noMixNoAdjust{.ColorSketch = 0, .Sharpen = 0, .MixColor = 0, .Adjust = 0, .Blur = 0};
    for (const Switches& switches : {Switches{}, everythingOn, greyStates, noMixNoAdjust}) {
        SCOPED_TRACE(testing::Message() << "switches " << switches.ColorSketch << switches.Sharpen
                                        << switches.MixColor << switches.Adjust << switches.Blur);
        std::vector<double> progress;
        const std::vector<Picture> snapshots = BuildSnapshots(frame1, switches, [&](double percent) {
            progress.push_back(percent);
            return true;
        });
        ASSERT_EQ(snapshots.size(), 17u);

        EngineState state;
        UseDefaultPencilTexture(state);
        Picture rendered;
        for (int v = 0; v < kVariantCount; ++v) {
            RenderFrame(state, frame1, v, 0, switches, rendered);
            EXPECT_EQ(snapshots[v], rendered) << "variant " << v;
            EXPECT_DOUBLE_EQ(progress[v], 50.0 + 3.125 * v);
        }
    }
}

TEST(SnapshotsTest, StopWhenProgressSaysSo)
{
    const Picture frame1 = ReadFrame(PatternFrame(kWidth, kHeight, 0));
    std::vector<int> delivered;
    int calls = 0;
    const bool finished = BuildSnapshots(
        frame1, Switches{}, [&](int variant, const Picture&) { delivered.push_back(variant); },
        [&](double) { return ++calls < 3; });
    EXPECT_FALSE(finished);
    EXPECT_EQ(delivered, (std::vector<int>{0, 1, 2}));

    calls = 0;
    EXPECT_TRUE(BuildSnapshots(frame1, Switches{}, [&](double) { return ++calls < 5; }).empty());
}

class ConvertTest : public testing::Test {
protected:
    ScratchDir dir;
    std::string input = dir.file("in.gif");
    std::string output = dir.file("out.gif");
};

TEST_F(ConvertTest, KeepsDelaysLoopCountAndRendersEveryFrame)
{
    const auto frames = PatternFrames(3);
    for (const int loop : {-1, 0, 3}) {
        SCOPED_TRACE(testing::Message() << "loop " << loop);
        test::WriteGif(input, frames, {10, 20, 30}, loop);
        ScratchDir pngs;
        ConvertOptions options;
        options.variant = 5;
        options.pngFramesDir = pngs.path();
        imaging::Error error;
        ASSERT_TRUE(ConvertAllFrames(input, output, options, &error)) << error.message();

        imaging::GifReader reader;
        ASSERT_TRUE(reader.open(output, &error)) << error.message();
        EXPECT_EQ(reader.info().width, kWidth);
        EXPECT_EQ(reader.info().height, kHeight);
        EXPECT_EQ(reader.info().frameCount, 3);
        EXPECT_EQ(reader.info().delays, (std::vector<int>{10, 20, 30}));
        EXPECT_EQ(reader.info().loopCount, loop);

        // The PNG frames are the engine's pictures before any colour reduction.
        const auto decoded = test::ReadGifFrames(input);
        for (int i = 1; i <= 3; ++i)
            EXPECT_THAT(test::ReadPngFile(FramePng(pngs, i)), SamePixels(test::ToRgba(Expected(decoded[i - 1], 5, i))))
                << "frame " << i;
    }
}

TEST_F(ConvertTest, FewColourFramesComeBackExactly)
{
    const auto frames = PatternFrames(4);
    test::WriteGif(input, frames, {5, 5, 5, 5}, 0);
    ConvertOptions options;
    options.variant = 0; // black lines on white paper
    imaging::Error error;
    ASSERT_TRUE(ConvertAllFrames(input, output, options, &error)) << error.message();
    const auto source = test::ReadGifFrames(input);
    const auto result = test::ReadGifFrames(output);
    ASSERT_EQ(result.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_THAT(result[i], SamePixels(test::ToRgba(Expected(source[i], 0, i + 1)))) << "frame " << i + 1;
}

TEST_F(ConvertTest, EngineSeesFrameNumbersOneToN)
{
    // Six identical frames: only the frame number differs, and the grey pencil
    // layer (variant 2) switches to the shifted texture for frames 3 to 5.
    const std::vector<imaging::RgbaImage> frames(6, PatternFrame(kWidth, kHeight, 1));
    test::WriteGif(input, frames, std::vector<int>(6, 4), 0);
    ScratchDir pngs;
    ConvertOptions options;
    options.variant = 2;
    options.pngFramesDir = pngs.path();
    imaging::Error error;
    ASSERT_TRUE(ConvertAllFrames(input, output, options, &error)) << error.message();

    std::vector<imaging::RgbaImage> rendered;
    for (int i = 1; i <= 6; ++i)
        rendered.push_back(test::ReadPngFile(FramePng(pngs, i)));
    const imaging::RgbaImage source = test::ReadGifFrames(input)[0];
    for (int i = 1; i <= 6; ++i)
        EXPECT_THAT(rendered[i - 1], SamePixels(test::ToRgba(Expected(source, 2, i)))) << "frame " << i;
    EXPECT_EQ(rendered[0].pixels, rendered[1].pixels);
    EXPECT_NE(rendered[1].pixels, rendered[2].pixels);
    EXPECT_EQ(rendered[2].pixels, rendered[3].pixels);
    EXPECT_EQ(rendered[2].pixels, rendered[4].pixels);
    EXPECT_EQ(rendered[0].pixels, rendered[5].pixels);
}

TEST_F(ConvertTest, ThreadedOutputEqualsSingleThreadedOutput)
{
    test::WriteGif(input, PatternFrames(12), std::vector<int>(12, 7), 0);
    for (const int variant : {6, 12}) {
        std::string reference;
        for (const int threads : {1, 2, 3}) {
            ConvertOptions options;
            options.variant = variant;
            options.switches.Sharpen = 1;
            options.threads = threads;
            imaging::Error error;
            ASSERT_TRUE(ConvertAllFrames(input, output, options, &error)) << error.message();
            if (threads == 1)
                reference = test::ReadBytes(output);
            else
                EXPECT_TRUE(test::ReadBytes(output) == reference) << "variant " << variant << ", " << threads
                                                                  << " threads";
        }
    }
}

TEST_F(ConvertTest, ReportsProgressAfterEveryFrameInOrder)
{
    test::WriteGif(input, PatternFrames(3), {1, 1, 1}, 0);
    std::vector<double> progress;
    ConvertOptions options;
    options.threads = 2;
    options.progress = [&](double percent) {
        progress.push_back(percent);
        return true;
    };
    imaging::Error error;
    ASSERT_TRUE(ConvertAllFrames(input, output, options, &error)) << error.message();
    ASSERT_EQ(progress.size(), 4u);
    EXPECT_EQ(progress[0], 0.0);
    EXPECT_DOUBLE_EQ(progress[1], 100.0 / 3.0);
    EXPECT_DOUBLE_EQ(progress[2], 200.0 / 3.0);
    EXPECT_EQ(progress[3], 100.0);
}

TEST_F(ConvertTest, StillGifGivesOneFrame)
{
    test::WriteGif(input, PatternFrames(1), {0}, -1);
    imaging::Error error;
    ASSERT_TRUE(ConvertAllFrames(input, output, ConvertOptions{}, &error)) << error.message();
    EXPECT_EQ(test::ReadGifFrames(output).size(), 1u);
}

TEST_F(ConvertTest, CancelLeavesTheOutputAsItWas)
{
    test::WriteGif(input, PatternFrames(8), std::vector<int>(8, 3), 0);
    test::WriteBytes(output, "previous result");
    for (const int stopAfter : {0, 1, 5}) {
        int calls = 0;
        ConvertOptions options;
        options.threads = 2;
        options.progress = [&](double) { return calls++ < stopAfter; };
        imaging::Error error;
        EXPECT_FALSE(ConvertAllFrames(input, output, options, &error));
        EXPECT_EQ(error.kind, imaging::ErrorKind::Cancelled);
        EXPECT_EQ(test::ReadBytes(output), "previous result");
        // No temporary file is left beside it.
        EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.gif", "out.gif"}));
    }
}

TEST_F(ConvertTest, FailuresNameTheFileAndLeaveTheOutputAlone)
{
    test::WriteGif(input, PatternFrames(2), {3, 3}, 0);
    test::WriteBytes(dir.file("not-a-gif.gif"), "hello, this is text");
    test::WriteBytes(output, "previous result");
    struct Case {
        std::string input, output;
        std::optional<std::string> pngFrames;
        imaging::ErrorKind kind;
        std::string file;
    };
    const std::string missingFolder = dir.file("no-such-folder");
    const Case cases[] = {
        {dir.file("missing.gif"), output, {}, imaging::ErrorKind::Unreadable, dir.file("missing.gif")},
        {dir.file("not-a-gif.gif"), output, {}, imaging::ErrorKind::NotGif, dir.file("not-a-gif.gif")},
        {input, missingFolder + "/out.gif", {}, imaging::ErrorKind::Unwritable, missingFolder + "/out.gif"},
        {input, output, missingFolder, imaging::ErrorKind::Unwritable, missingFolder},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input + " -> " + c.output);
        ConvertOptions options;
        options.pngFramesDir = c.pngFrames;
        imaging::Error error;
        EXPECT_FALSE(ConvertAllFrames(c.input, c.output, options, &error));
        EXPECT_EQ(error.kind, c.kind) << error.message();
        EXPECT_EQ(error.file, c.file);
        EXPECT_FALSE(error.reason.empty());
        EXPECT_EQ(test::ReadBytes(output), "previous result");
    }
    EXPECT_EQ(dir.entries(), (std::vector<std::string>{"in.gif", "not-a-gif.gif", "out.gif"}));
}

} // namespace
} // namespace qf
