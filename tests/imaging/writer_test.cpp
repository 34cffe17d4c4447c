// The animation writer. Exact round trips of frames with at most 256 colours
// in every pixel layout, with delays and loop counts, are the fuzz checks'
// (fuzz_replay_test.cpp); here: richer frames reduced, and what a GIF cannot
// hold.
#include "support.h"

#include "imaging/gif_reader.h"
#include "imaging/gif_writer.h"

#include <gtest/gtest.h>

#include <random>

namespace qf::test {
namespace {

using imaging::Error;
using imaging::RgbaImage;

// Frames of a gradient whose left half stays while the right half is noise.
std::vector<RgbaImage> Photographic(int count)
{
    std::mt19937 random(11);
    std::vector<RgbaImage> frames;
    RgbaImage image{64, 48, std::vector<std::uint8_t>(64 * 48 * 4, 255)};
    for (int f = 0; f < count; ++f) {
        for (int y = 0; y < 48; ++y)
            for (int x = f == 0 ? 0 : 32; x < 64; ++x) {
                std::uint8_t* p = &image.pixels[static_cast<std::size_t>(y * 64 + x) * 4];
                const bool still = x < 32;
                p[0] = static_cast<std::uint8_t>(still ? x * 4 : random());
                p[1] = static_cast<std::uint8_t>(still ? y * 5 : random());
                p[2] = static_cast<std::uint8_t>(still ? random() % 64 + 96 : random());
            }
        frames.push_back(image);
    }
    return frames;
}

// More than 256 colours: close to the frames given, opaque, and the still
// half keeps its pixels from frame to frame instead of crawling.
TEST(AnimationWriter, ReducedFramesStayCloseAndStillAreasStayStill)
{
    const auto frames = Photographic(4);
    TempDir dir;
    Error error;
    imaging::AnimationWriter writer;
    ASSERT_TRUE(writer.open(dir.file("a.gif"), 64, 48, 0, &error)) << error.message();
    for (const RgbaImage& frame : frames)
        ASSERT_TRUE(writer.addFrame(imaging::ImageView::of(frame), 5, &error)) << error.message();
    ASSERT_TRUE(writer.finish(&error)) << error.message();
    imaging::GifReader reader;
    ASSERT_TRUE(reader.open(dir.file("a.gif"), &error)) << error.message();
    RgbaImage previous, decoded;
    for (const RgbaImage& frame : frames) {
        ASSERT_TRUE(reader.readNext(decoded, &error)) << error.message();
        long difference = 0;
        for (std::size_t i = 0; i < decoded.pixels.size(); ++i) {
            const bool still = (i / 4) % 64 < 32;
            difference += still ? std::abs(decoded.pixels[i] - frame.pixels[i]) : 0;
            ASSERT_TRUE(!still || previous.pixels.empty() || decoded.pixels[i] == previous.pixels[i]) << i;
        }
        EXPECT_LT(difference / (decoded.pixels.size() / 2.0), 8.0);
        previous = decoded;
    }
}

TEST(AnimationWriter, RefusesWhatAGifCannotHold)
{
    TempDir dir;
    Error error;
    imaging::AnimationWriter writer;
    EXPECT_FALSE(writer.open(dir.file("a.gif"), 0, 10, 0, &error));
    EXPECT_FALSE(writer.open(dir.file("a.gif"), 20000, 10, 0, &error));
    EXPECT_FALSE(writer.open(dir.file("a.gif"), 10, 10, 70000, &error));
    ASSERT_TRUE(writer.open(dir.file("a.gif"), 10, 10, 0, &error));
    const RgbaImage wrongSize{11, 10, std::vector<std::uint8_t>(11 * 10 * 4)};
    const RgbaImage frame{10, 10, std::vector<std::uint8_t>(10 * 10 * 4)};
    EXPECT_FALSE(writer.addFrame(imaging::ImageView::of(wrongSize), 0, &error));
    EXPECT_FALSE(writer.addFrame(imaging::ImageView::of(frame), 65536, &error));
    EXPECT_FALSE(writer.addFrame(imaging::ImageView::of(frame), -1, &error));
    EXPECT_FALSE(writer.finish(&error)) << "no frame was added";
    EXPECT_TRUE(dir.list().empty());
}

} // namespace
} // namespace qf::test
