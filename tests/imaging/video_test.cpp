// Video clips read as a person sees them played: the clips were made with
// the left half red, the right half blue and green rising by 25 each frame.
#include "support.h"

#include "imaging/animation_reader.h"
#include "imaging/video/video_reader.h"

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
    bool clearRight = false; // the right half transparent
};

class VideoClip : public ::testing::TestWithParam<ClipCase> {};

TEST_P(VideoClip, FramesTimingAndOrientation)
{
    const ClipCase& c = GetParam();
    imaging::Error error;
    const auto reader = imaging::OpenAnimation(Clip(c.file), &error);
    ASSERT_TRUE(reader) << error.message();
    const imaging::AnimationInfo& info = reader->info();
    EXPECT_EQ(info.width, c.width);
    EXPECT_EQ(info.height, c.height);
    EXPECT_EQ(info.delays, c.delays);
    imaging::RgbaImage frame;
    int k = 0;
    while (reader->readNext(frame, &error)) {
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
        EXPECT_EQ(red[3], 255) << "frame " << k;
        // The line below shows the same: no comb of two fields.
        const std::uint8_t* below = c.turned ? at(c.width / 2 + 1, 1) : at(1, c.height / 2 + 1);
        EXPECT_NEAR(below[0], red[0], 40) << "frame " << k;
        EXPECT_NEAR(below[1], red[1], 40) << "frame " << k;
        EXPECT_EQ(blue[3], c.clearRight ? 0 : 255) << "frame " << k;
        ++k;
    }
    EXPECT_EQ(k, static_cast<int>(c.delays.size())) << error.message();
    EXPECT_FALSE(error);
    EXPECT_FALSE(reader->damage());
}

INSTANTIATE_TEST_SUITE_P(Clips, VideoClip,
                         ::testing::Values(
                             // H.264 in MP4, recorded upright on its side at a variable rate.
                             ClipCase{
                                 "turned-vfr.mp4", 16, 32, {10, 10, 10, 10, 10, 20, 20, 20, 20, 10}, true},
                             // VP9 in WebM at 10 frames a second.
                             ClipCase{"ten.webm", 32, 16, {10, 10, 10, 10, 10, 10, 10, 10, 10, 10}, false},
                             // H.264 of 48 x 16 pixels each half as wide as high: shown 24 x 16.
                             ClipCase{"narrow-pixels.mp4", 24, 16, std::vector<int>(10, 10), false},
                             // VP9 in WebM with its right half clear, kept beside the picture.
                             ClipCase{"clear-right.webm", 32, 16, std::vector<int>(10, 10), false, true},
                             // MPEG-2 in an MPEG program stream, 7 of its 10 packets without the
                             // time they are shown.
                             ClipCase{"program-stream.mpg", 32, 16, std::vector<int>(10, 10), false},
                             // HEVC of high dynamic range, white at 203 cd/m², in PQ and in HLG.
                             ClipCase{"hdr-pq.mp4", 32, 16, std::vector<int>(10, 10), false},
                             ClipCase{"hdr-hlg.mp4", 32, 16, std::vector<int>(10, 10), false},
                             // H.264 interlaced, top field first: each picture's top field holds
                             // the pattern, its bottom field, a field later, black.
                             ClipCase{"woven.mp4", 32, 32, std::vector<int>(10, 10), false}));

// Passing over the frames before a late one gives the picture and the
// frames that follow as playing from the beginning does. twelve.mp4 (32 x 24,
// 5 fps, 12 s, a key frame every 4 frames, B-frames) shows a black square on
// the left for 6 s, then on the right, and below it a block 4 pixels wide
// that steps 4 pixels right every frame, back to the left edge every 8.
TEST(VideoClip, PassingOverFramesKeepsTheirPicturesAndNumbers)
{
    struct Case {
        const char* file;
        int target;       // the frame asked for
        int frames;       // read from it on
        int damagedAfter; // -1: whole
    };
    const Case cases[] = {
        {"twelve.mp4", 3, 57, -1},  // before the second key frame
        {"twelve.mp4", 35, 25, -1}, // 7 s: three frames past a key frame
        {"twelve.mp4", 36, 24, -1}, // on a key frame
        {"twelve.mp4", 59, 1, -1},
        {"twelve.mp4", 60, 0, -1},
        {"cut-short.mp4", 2, 2, 4}, // its packets are all key frames
        {"cut-short.mp4", 6, 0, 4},
        // A transport stream cut anywhere: its first pictures refer to ones
        // before the cut. Its frames are those that show (the last twelve of
        // the 30 recorded, green rising by 8 a frame to 232 at the last), in
        // order or passed to alike.
        {"mid-stream.ts", 0, 12, -1},
        {"mid-stream.ts", 11, 1, -1},
        {"mid-stream.ts", 12, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.file) + " from frame " + std::to_string(c.target));
        imaging::Error error;
        const auto reader = imaging::OpenAnimation(Clip(c.file), &error);
        ASSERT_TRUE(reader) << error.message();
        EXPECT_EQ(reader->skipTo(c.target, &error).status,
                  c.frames > 0 ? imaging::ReadStatus::Frame : imaging::ReadStatus::End);
        imaging::RgbaImage frame;
        int k = 0;
        for (; reader->readNext(frame, &error); ++k) {
            if (c.file == std::string("mid-stream.ts")) {
                EXPECT_EQ(reader->info().frameCount, 12);
                EXPECT_NEAR(frame.pixels[(8 * 32 + 2) * 4 + 1], 232 - 8 * (11 - c.target - k), 6);
            }
            if (c.file != std::string("twelve.mp4"))
                continue;
            const auto dark = [&](int x, int y) { return frame.pixels[(y * 32 + x) * 4 + 1] < 100; };
            const int shown = c.target + k;
            EXPECT_EQ(dark(5, 7), shown < 30) << "frame " << shown;
            EXPECT_EQ(dark(26, 7), shown >= 30) << "frame " << shown;
            int block = 0;
            while (block < 32 && !dark(block, 18))
                ++block;
            EXPECT_EQ(block, shown % 8 * 4) << "frame " << shown;
        }
        EXPECT_EQ(k, c.frames);
        EXPECT_FALSE(error) << error.message();
        EXPECT_EQ(reader->damage().afterFrame, c.damagedAfter);
    }
}

// A frame kept as decoded and converted later at half size is the frame
// the reader gives at that size, turned as the clip is shown.
TEST(VideoClip, AKeptPictureAtHalfSizeIsTheFrameReadAtThatSize)
{
    for (const char* name : {"twelve.mp4", "turned-vfr.mp4"}) {
        SCOPED_TRACE(name);
        imaging::Error error;
        const auto whole = imaging::OpenAnimation(Clip(name), &error);
        const auto half = imaging::OpenAnimation(Clip(name), &error);
        ASSERT_TRUE(whole && half) << error.message();
        const imaging::Size size{whole->info().width / 2, whole->info().height / 2};
        whole->keepPictures(true);
        half->setFrameSize(size);
        imaging::RgbaImage frame, wanted, kept;
        ASSERT_TRUE(whole->skipTo(3, &error) && whole->readNext(frame, &error)) << error.message();
        ASSERT_TRUE(half->skipTo(3, &error) && half->readNext(wanted, &error)) << error.message();
        ASSERT_TRUE(whole->keptPicture() && whole->keptPicture()->toRgba(size.width, size.height, kept));
        EXPECT_EQ(kept.width, size.width);
        EXPECT_EQ(kept.height, size.height);
        EXPECT_TRUE(kept.pixels == wanted.pixels);
    }
}

// A clip cut in its fifth frame keeps the four before; a file with sound
// only, and what is no clip at all, are refused with the reason.
TEST(VideoClip, CutShortKeepsWholeFramesAndNoVideoIsRefused)
{
    imaging::Error error;
    const auto reader = imaging::OpenAnimation(Clip("cut-short.mp4"), &error);
    ASSERT_TRUE(reader) << error.message();
    imaging::RgbaImage frame;
    int frames = 0;
    while (reader->readNext(frame, &error))
        ++frames;
    EXPECT_EQ(frames, 4);
    EXPECT_FALSE(error);
    EXPECT_EQ(reader->damage().afterFrame, 4);
    EXPECT_EQ(reader->damage().what, "the file is cut short");

    EXPECT_FALSE(imaging::OpenAnimation(Clip("sound.webm"), &error));
    EXPECT_EQ(error.reason, "has no video stream");
    TempDir dir;
    // A text of 300 bytes, and one shorter than a box header.
    for (const std::size_t size : {std::size_t{300}, std::size_t{6}}) {
        WriteBytes(dir.file("notes.mp4"), Bytes(size, 'x'));
        EXPECT_FALSE(imaging::OpenAnimation(dir.file("notes.mp4"), &error));
        EXPECT_EQ(error.reason, "is not a GIF, an animated WebP or a video clip") << size;
    }
    Bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    png.resize(300);
    WriteBytes(dir.file("photo.mp4"), png);
    EXPECT_FALSE(imaging::OpenAnimation(dir.file("photo.mp4"), &error));
    EXPECT_EQ(error.reason, "is a still picture, not an animation");

    // A recording stopped before its index was written (twelve.mp4 keeps it
    // at the end), whole up to its index or cut inside it.
    const Bytes twelve = ReadBytes(Clip("twelve.mp4"));
    for (const std::size_t kept : {std::size_t{2000}, std::size_t{3874}, twelve.size() - 100}) {
        WriteBytes(dir.file("cut.mp4"), Bytes(twelve.begin(), twelve.begin() + static_cast<long>(kept)));
        EXPECT_FALSE(imaging::OpenAnimation(dir.file("cut.mp4"), &error)) << kept;
        EXPECT_EQ(error.kind, imaging::ErrorKind::Corrupt) << kept;
        EXPECT_NE(error.reason.find("cut short before its index"), std::string::npos) << error.reason;
    }
    // An MJPEG clip whose pictures claim 8000 x 8000 pixels and hold 64 x 64:
    // no frame decodes, and the clip is at fault.
    const auto broken = imaging::OpenAnimation(Clip("no-picture.avi"), &error);
    ASSERT_TRUE(broken) << error.message();
    EXPECT_EQ(broken->readNext(frame, &error).status, imaging::ReadStatus::Failed);
    EXPECT_EQ(error.kind, imaging::ErrorKind::Corrupt);
    EXPECT_NE(error.reason.find("is a video none of whose frames can be decoded"), std::string::npos)
        << error.reason;
}

// Checking a clip for damage, as info does, finds where reading each frame
// ends: a clip cut in its fifth frame; one whose pictures grow from 32 to 48
// pixels square after its third (made by joining two MJPEG clips); a whole
// one.
TEST(VideoClip, CheckingFindsTheDamageReadingFinds)
{
    const struct {
        const char* file;
        int frames;
        int damagedAfter; // -1: whole
        const char* what;
    } cases[] = {
        {"cut-short.mp4", 4, 4, "the file is cut short"},
        {"grows.avi", 3, 3, "a frame changes size or cannot be converted"},
        {"twelve.mp4", 60, -1, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        imaging::Error error;
        const auto reader = imaging::OpenAnimation(Clip(c.file), &error);
        ASSERT_TRUE(reader) << error.message();
        EXPECT_TRUE(reader->checkFrames(&error)) << error.message();
        EXPECT_EQ(reader->info().frameCount, c.frames);
        EXPECT_EQ(reader->damage().afterFrame, c.damagedAfter);
        EXPECT_EQ(reader->damage().what, c.what);
    }
}

// A damaged clip (made by fuzzing) of which three frames decode when it is
// read from its start: passed over to any frame, the damage reported lies
// within the frames passed and read (a later picture once came as the frame
// passed to, and the damage then lay beyond every frame read).
TEST(VideoClip, PassingToAFrameThatNeverDecodesEndsThere)
{
    const std::string path = std::string(QF_REGRESSIONS) + "/video/passed-to-a-frame-that-never-decodes.mp4";
    imaging::Error error;
    const int count = imaging::OpenAnimation(path, &error)->info().frameCount;
    for (int passed = 0; passed <= count; ++passed) {
        const auto reader = imaging::OpenAnimation(path, &error);
        ASSERT_TRUE(reader) << error.message();
        imaging::ReadResult result = reader->skipTo(passed, &error);
        imaging::RgbaImage frame;
        int frames = 0;
        while (result && (result = reader->readNext(frame, &error)))
            ++frames;
        ASSERT_TRUE(reader->damage()) << passed;
        EXPECT_LE(reader->damage().afterFrame, passed + frames) << passed;
    }
}

} // namespace
} // namespace qf::test
