// Video clips read as a person sees them played: the clips were made with
// the left half red, the right half blue and green rising by 25 each frame.
#include "support.h"

#include "imaging/animation_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace qf::test {
namespace {

std::string Clip(const std::string& name)
{
    return std::string(QF_CLIPS) + "/" + name;
}

struct ClipCase {
    const char* file;
    int width, height;
    std::vector<int> delays; // as recorded, in hundredths
    bool turned;             // shown a quarter turn clockwise: red on top
};

class VideoClip : public ::testing::TestWithParam<ClipCase> {};

TEST_P(VideoClip, FramesTimingAndOrientation)
{
    const ClipCase& c = GetParam();
    imaging::AnimationReader reader;
    imaging::Error error;
    ASSERT_TRUE(reader.open(Clip(c.file), &error)) << error.message();
    const imaging::AnimationInfo& info = reader.info();
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    EXPECT_EQ(info.delays, c.delays);
    imaging::RgbaImage frame;
    int k = 0;
    while (reader.readNext(frame, &error)) {
        ASSERT_EQ(frame.width, c.width);
        const auto at = [&](int x, int y) {
            return &frame.pixels[(static_cast<std::size_t>(y) * frame.width + x) * 4];
        };
        // Red where the clip's left half is shown, blue at the other end.
        const std::uint8_t* red = c.turned ? at(c.width / 2, 1) : at(1, c.height / 2);
        const std::uint8_t* blue = c.turned ? at(c.width / 2, c.height - 2) : at(c.width - 2, c.height / 2);
        EXPECT_GT(red[0], 200) << "frame " << k;
        EXPECT_LT(red[2], 60) << "frame " << k;
        EXPECT_GT(blue[2], 200) << "frame " << k;
        EXPECT_LT(blue[0], 60) << "frame " << k;
        EXPECT_NEAR(red[1], 25 * k, 12) << "frame " << k;
        ++k;
    }
    EXPECT_EQ(k, static_cast<int>(c.delays.size())) << error.message();
    EXPECT_FALSE(error);
    EXPECT_FALSE(reader.damage());
}

INSTANTIATE_TEST_SUITE_P(Clips, VideoClip,
                         ::testing::Values(
                             // H.264 in MP4, recorded upright on its side at a variable rate.
                             ClipCase{
                                 "turned-vfr.mp4", 16, 32, {10, 10, 10, 10, 10, 20, 20, 20, 20, 10}, true},
                             // VP9 in WebM at 10 frames a second.
                             ClipCase{"ten.webm", 32, 16, {10, 10, 10, 10, 10, 10, 10, 10, 10, 10}, false}));

// A clip cut in its fifth frame keeps the four before; a file with sound
// only, and what is no clip at all, are refused with the reason.
TEST(VideoClip, CutShortKeepsWholeFramesAndNoVideoIsRefused)
{
    imaging::AnimationReader reader;
    imaging::Error error;
    ASSERT_TRUE(reader.open(Clip("cut-short.mp4"), &error)) << error.message();
    imaging::RgbaImage frame;
    int frames = 0;
    while (reader.readNext(frame, &error))
        ++frames;
    EXPECT_EQ(frames, 4);
    EXPECT_FALSE(error);
    EXPECT_EQ(reader.damage().afterFrame, 4);
    EXPECT_EQ(reader.damage().what, "the file is cut short");

    EXPECT_FALSE(reader.open(Clip("sound.webm"), &error));
    EXPECT_EQ(error.reason, "has no video stream");
    TempDir dir;
    WriteBytes(dir.file("notes.mp4"), Bytes(300, 'x'));
    EXPECT_FALSE(reader.open(dir.file("notes.mp4"), &error));
    EXPECT_EQ(error.reason, "is not a GIF, an animated WebP or a video clip");
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    png.resize(300);
    WriteBytes(dir.file("photo.mp4"), png);
    EXPECT_FALSE(reader.open(dir.file("photo.mp4"), &error));
    EXPECT_EQ(error.reason, "is a still picture, not an animation");
}

} // namespace
} // namespace qf::test
