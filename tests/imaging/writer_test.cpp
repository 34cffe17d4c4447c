// The animation writer between reduced and exact frames: a frame of more
// than 256 colours is reduced, yet its still pixels keep what the frame
// before showed (no crawling dither), and a frame of at most 256 colours
// after it decodes exactly even where it kept the reduced frame's pixels.
#include "support.h"

#include "imaging/gif_writer.h"

#include <gtest/gtest.h>

#include <random>

namespace qf::test {
namespace {

TEST(AnimationWriter, StillPixelsStayAndFewColoursStayExactAroundReducedFrames)
{
    // The left half never changes: 192 colours. The right half is noise in
    // the reduced frames (R) and one colour in the exact ones (E).
    const bool reduced[] = {true, true, false, true, true, false, false};
    std::mt19937 random(5);
    std::vector<imaging::RgbaImage> frames;
    for (bool noise : reduced) {
        imaging::RgbaImage frame{24, 16, std::vector<std::uint8_t>(24 * 16 * 4, 255)};
        for (int i = 0; i < 24 * 16; ++i) {
            const std::uint32_t rgb = i % 24 < 12 ? (static_cast<std::uint32_t>(i) * 0x9E3779u) & 0xFFFFFF
                                      : noise      ? random() & 0xFFFFFF
                                                   : 0x204060;
            frame.pixels[i * 4] = static_cast<std::uint8_t>(rgb >> 16);
            frame.pixels[i * 4 + 1] = static_cast<std::uint8_t>(rgb >> 8);
            frame.pixels[i * 4 + 2] = static_cast<std::uint8_t>(rgb);
        }
        frames.push_back(frame);
    }
    TempDir dir;
    imaging::AnimationWriter writer;
    imaging::Error error;
    ASSERT_TRUE(writer.open(dir.file("a.gif"), 24, 16, 0, &error)) << error.message();
    for (const imaging::RgbaImage& frame : frames)
        ASSERT_TRUE(writer.addFrame(imaging::ImageView::of(frame), 5, &error)) << error.message();
    ASSERT_TRUE(writer.finish(&error)) << error.message();

    const std::vector<imaging::RgbaImage> decoded = ReadGif(dir.file("a.gif"));
    ASSERT_EQ(decoded.size(), frames.size());
    for (std::size_t f = 0; f < frames.size(); ++f) {
        if (!reduced[f]) {
            EXPECT_EQ(decoded[f].pixels, frames[f].pixels) << "frame " << f + 1 << " is not exact";
        } else if (f > 0) {
            for (int i = 0; i < 24 * 16 * 4; ++i)
                ASSERT_TRUE(i / 4 % 24 >= 12 || decoded[f].pixels[i] == decoded[f - 1].pixels[i])
                    << "still pixel " << i / 4 << " changed in frame " << f + 1;
        }
    }
}

// After a reduced frame, a frame of more than 256 colours whose differences
// from what a decoder shows have fewer is stored exactly: it mends what the
// reduction left.
TEST(AnimationWriter, FewDifferencesFromWhatIsShownMendTheReduction)
{
    imaging::RgbaImage first{24, 16, std::vector<std::uint8_t>(24 * 16 * 4, 255)};
    for (int i = 0; i < 24 * 16; ++i) {
        const std::uint32_t rgb = (static_cast<std::uint32_t>(i % 270) * 0x9E3779u) & 0xFFFFFF;
        for (int c = 0; c < 3; ++c)
            first.pixels[i * 4 + c] = static_cast<std::uint8_t>(rgb >> (16 - 8 * c));
    }
    imaging::RgbaImage second = first;
    second.pixels[0] ^= 0x80;
    TempDir dir;
    imaging::AnimationWriter writer;
    imaging::Error error;
    ASSERT_TRUE(writer.open(dir.file("a.gif"), 24, 16, 0, &error)) << error.message();
    for (const imaging::RgbaImage* frame : {&first, &second})
        ASSERT_TRUE(writer.addFrame(imaging::ImageView::of(*frame), 5, &error)) << error.message();
    ASSERT_TRUE(writer.finish(&error)) << error.message();
    const std::vector<imaging::RgbaImage> decoded = ReadGif(dir.file("a.gif"));
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_NE(decoded[0].pixels, first.pixels);
    EXPECT_EQ(decoded[1].pixels, second.pixels);
}

} // namespace
} // namespace qf::test
