#include "pipeline/pixel_bridge.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace qf {
namespace {

// A picture whose every pixel is distinct: blue = x, green = row, red = a mix.
Picture Numbered(int width, int height)
{
    Picture picture(width, height);
    for (int row = 0; row < height; ++row) {
        std::uint8_t* p = picture.scanLine(row);
        for (int x = 0; x < width; ++x, p += 4) {
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(row);
            p[2] = static_cast<std::uint8_t>(x * 7 + row * 13);
        }
    }
    return picture;
}

TEST(PictureTest, NewAndResetPicturesAreOpaqueBlack)
{
    Picture picture = Numbered(5, 4);
    picture.reset(3, 2);
    EXPECT_EQ(picture.bytesPerLine(), 12);
    for (int i = 0; i < 24; ++i)
        EXPECT_EQ(picture.data()[i], i % 4 == 3 ? 255 : 0) << i;
    EXPECT_EQ(picture, Picture(3, 2));
    picture.reset(7, 0);
    EXPECT_TRUE(picture.empty());
    EXPECT_EQ(picture.width(), 0);
    EXPECT_TRUE(Picture(-3, 5).empty());
}

TEST(PixelBridgeTest, ReadsBottomRowFirst)
{
    const Picture picture = Numbered(120, 80);
    ColourPlane planes;
    PictureToPlanes(picture, planes);
    ASSERT_EQ(planes.channels(), 4);
    ASSERT_EQ(planes.width(), 120);
    ASSERT_EQ(planes.height(), 80);
    // Picture row r is plane row H - 1 - r: the bottom-left pixel is (c, 0, 0),
    // the top-left (c, 0, H - 1).
    for (int row = 0; row < 80; ++row)
        for (int x = 0; x < 120; ++x)
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(planes(c, x, 79 - row), picture.scanLine(row)[4 * x + c])
                    << "c " << c << " x " << x << " row " << row;
    EXPECT_EQ(planes(1, 0, 0), 79);
    EXPECT_EQ(planes(1, 0, 79), 0);
}

TEST(PixelBridgeTest, SecondReadReplacesThePlanes)
{
    ColourPlane planes;
    PictureToPlanes(Numbered(9, 4), planes);
    PictureToPlanes(Numbered(3, 5), planes);
    EXPECT_EQ(planes.width(), 3);
    EXPECT_EQ(planes.height(), 5);
    ColourPlane again;
    PictureToPlanes(Numbered(3, 5), again);
    EXPECT_EQ(planes, again);

    PictureToPlanes(Picture(), planes);
    EXPECT_TRUE(planes.empty());
}

TEST(PixelBridgeTest, UnchangedWriteReproducesThePicture)
{
    for (const auto& [w, h] : {std::pair{1, 1}, {1, 7}, {7, 1}, {33, 17}}) {
        const Picture picture = Numbered(w, h);
        ColourPlane planes;
        PictureToPlanes(picture, planes);
        Picture target(w, h);
        PlanesToPicture(planes, target);
        EXPECT_EQ(target, picture) << w << " x " << h;
    }
}

TEST(PixelBridgeTest, WriteIgnoresTheFourthChannel)
{
    ColourPlane planes(4, 2, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            planes(0, x, y) = 10;
            planes(1, x, y) = 20;
            planes(2, x, y) = 30;
            planes(3, x, y) = 0;
        }
    Picture picture(2, 2);
    PlanesToPicture(planes, picture);
    for (int i = 0; i < 16; i += 4) {
        EXPECT_EQ(picture.data()[i], 10);
        EXPECT_EQ(picture.data()[i + 1], 20);
        EXPECT_EQ(picture.data()[i + 2], 30);
        EXPECT_EQ(picture.data()[i + 3], 255);
    }
}

TEST(PixelBridgeTest, WriteIsDrawnAtTheTopLeftAndClipped)
{
    struct Case {
        int planesW, planesH, pictureW, pictureH;
    };
    for (const Case k : {Case{10, 8, 4, 3}, Case{4, 3, 10, 8}, Case{10, 3, 4, 8}, Case{3, 10, 8, 4}}) {
        SCOPED_TRACE(testing::Message() << k.planesW << "x" << k.planesH << " onto " << k.pictureW << "x"
                                        << k.pictureH);
        const Picture source = Numbered(k.planesW, k.planesH);
        ColourPlane planes;
        PictureToPlanes(source, planes);

        Picture target(k.pictureW, k.pictureH);
        for (int i = 0; i < k.pictureW * k.pictureH * 4; ++i)
            target.data()[i] = 0xA5;
        PlanesToPicture(planes, target);

        for (int row = 0; row < k.pictureH; ++row)
            for (int x = 0; x < k.pictureW; ++x) {
                const std::uint8_t* got = target.scanLine(row) + 4 * x;
                if (x < k.planesW && row < k.planesH) {
                    const std::uint8_t* want = source.scanLine(row) + 4 * x;
                    ASSERT_EQ(got[0], want[0]) << x << "," << row;
                    ASSERT_EQ(got[1], want[1]) << x << "," << row;
                    ASSERT_EQ(got[2], want[2]) << x << "," << row;
                } else {
                    // Outside the drawn block the picture stays as it was.
                    for (int c = 0; c < 4; ++c)
                        ASSERT_EQ(got[c], 0xA5) << x << "," << row;
                }
            }
    }
}

} // namespace
} // namespace qf
