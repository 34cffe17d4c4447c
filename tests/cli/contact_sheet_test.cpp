#include "cli/bitmap_font.h"
#include "cli/contact_sheet.h"

#include <gtest/gtest.h>

namespace qf::cli {
namespace {

void SetPixel(Picture& picture, int x, int y, std::uint8_t b, std::uint8_t g, std::uint8_t r)
{
    std::uint8_t* p = picture.scanLine(y) + 4 * x;
    p[0] = b;
    p[1] = g;
    p[2] = r;
}

TEST(ScalePictureTest, EnlargesByRepeatingAndReducesByAveraging)
{
    Picture source(2, 2);
    SetPixel(source, 0, 0, 0, 0, 0);
    SetPixel(source, 1, 0, 100, 10, 1);
    SetPixel(source, 0, 1, 200, 20, 2);
    SetPixel(source, 1, 1, 255, 30, 4);

    const Picture big = ScalePicture(source, 6, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x)
            for (int c = 0; c < 4; ++c)
                ASSERT_EQ(big.scanLine(y)[4 * x + c], source.scanLine(y / 2)[4 * (x / 3) + c]) << x << "," << y;

    const Picture one = ScalePicture(source, 1, 1);
    // (0 + 100 + 200 + 255) / 4 = 138.75, (0 + 10 + 20 + 30) / 4 = 15, (0 + 1 + 2 + 4) / 4 = 1.75
    EXPECT_EQ(one.data()[0], 139);
    EXPECT_EQ(one.data()[1], 15);
    EXPECT_EQ(one.data()[2], 2);
    EXPECT_EQ(one.data()[3], 255);
}

TEST(ContactSheetTest, ThumbnailsKeepTheAspectAndFitTheCell)
{
    struct Case {
        int width, height, thumbWidth, thumbHeight;
    };
    for (const Case c : {Case{320, 240, 320, 240}, Case{40, 32, 160, 128}, Case{960, 720, 320, 240},
                         Case{1000, 100, 320, 32}, Case{1, 1, 4, 4}}) {
        const ContactSheet sheet(c.width, c.height, "title");
        EXPECT_EQ(sheet.thumbnailWidth(), c.thumbWidth) << c.width << "x" << c.height;
        EXPECT_EQ(sheet.thumbnailHeight(), c.thumbHeight) << c.width << "x" << c.height;
        EXPECT_GE(sheet.picture().width(), ContactSheet::kColumns * c.thumbWidth);
        EXPECT_GE(sheet.picture().height(), ContactSheet::kRows * c.thumbHeight);
    }
}

TEST(BitmapFontTest, DrawsInsideItsBoxAndClipsAtTheEdge)
{
    Picture canvas(30, 20);
    DrawText(canvas, 3, 4, "Hi", 1, Colour{255, 255, 255});
    int ink = 0;
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x)
            if (canvas.scanLine(y)[4 * x] == 255) {
                ++ink;
                EXPECT_TRUE(x >= 3 && x < 3 + TextWidth("Hi", 1) && y >= 4 && y < 4 + kGlyphHeight) << x << "," << y;
            }
    EXPECT_GT(ink, 10);

    // Text running off every side is clipped, not written outside the picture.
    DrawText(canvas, -7, -3, "WIDE TEXT OFF THE EDGE", 3, Colour{1, 2, 3});
    DrawText(canvas, 25, 15, "?!", 4, Colour{1, 2, 3});
}

} // namespace
} // namespace qf::cli
