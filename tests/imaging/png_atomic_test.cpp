// PNG export and import, and copying a file into place in one step.
#include "gif_test_support.h"

#include "imaging/atomic_file.h"
#include "imaging/png_io.h"

#include <gtest/gtest.h>

namespace qf::imaging::test {
namespace {

RgbaImage Pattern(int width, int height)
{
    RgbaImage image = Filled(width, height, 0, 0, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetPixel(image, x, y,
                     (static_cast<std::uint32_t>(x * 40) << 24) | (static_cast<std::uint32_t>(y * 30) << 16)
                         | (static_cast<std::uint32_t>((x + y) * 9) << 8) | static_cast<std::uint32_t>(x * 60 % 256));
    return image;
}

TEST(Png, WritesEachLayoutAndReadsItBack)
{
    const RgbaImage source = Pattern(5, 7);
    TempDir dir;
    struct Layout {
        PixelLayout layout;
        int bytes;
        bool keepsAlpha;
    };
    for (const Layout& l : {Layout{PixelLayout::Rgba, 4, true}, Layout{PixelLayout::Rgb, 3, false},
                            Layout{PixelLayout::Bgrx, 4, false}}) {
        const std::ptrdiff_t stride = source.width * l.bytes + 3;
        std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * source.height, 0x77);
        for (int y = 0; y < source.height; ++y) {
            for (int x = 0; x < source.width; ++x) {
                const std::uint32_t p = PixelAt(source, x, y);
                std::uint8_t* d = pixels.data() + y * stride + x * l.bytes;
                const std::uint8_t r = p >> 24, g = (p >> 16) & 0xFF, b = (p >> 8) & 0xFF, a = p & 0xFF;
                if (l.layout == PixelLayout::Bgrx) {
                    d[0] = b, d[1] = g, d[2] = r, d[3] = 0;
                } else {
                    d[0] = r, d[1] = g, d[2] = b;
                    if (l.bytes == 4)
                        d[3] = a;
                }
            }
        }
        const std::string path = dir.file("frame.png");
        Error error;
        ASSERT_TRUE(WritePng(path, ImageView{pixels.data(), source.width, source.height, stride, l.layout}, &error))
            << error.message();
        RgbaImage back;
        const Bytes file = ReadBytes(path);
        ASSERT_TRUE(DecodePng(file.data(), file.size(), back, &error)) << error.message();
        ASSERT_EQ(back.width, source.width);
        ASSERT_EQ(back.height, source.height);
        for (int y = 0; y < source.height; ++y)
            for (int x = 0; x < source.width; ++x) {
                const std::uint32_t expected = l.keepsAlpha ? PixelAt(source, x, y) : (PixelAt(source, x, y) | 0xFF);
                ASSERT_EQ(PixelAt(back, x, y), expected) << int(l.layout) << " at " << x << "," << y;
            }
    }
    EXPECT_EQ(dir.list(), std::vector<std::string>{"frame.png"});
}

TEST(Png, DamagedDataIsRefused)
{
    const std::uint8_t garbage[] = {0x89, 'P', 'N', 'G', 1, 2, 3, 4, 5, 6, 7};
    RgbaImage image;
    Error error;
    EXPECT_FALSE(DecodePng(garbage, sizeof garbage, image, &error));
    EXPECT_EQ(error.kind, ErrorKind::Corrupt);
}

TEST(Png, UnwritableDestinationIsReported)
{
    TempDir dir;
    const RgbaImage image = Pattern(2, 2);
    Error error;
    EXPECT_FALSE(WritePng(dir.file("missing/frame.png"), ImageView::of(image), &error));
    EXPECT_EQ(error.kind, ErrorKind::Unwritable);
    EXPECT_EQ(error.file, dir.file("missing/frame.png"));
}

TEST(CopyFileAtomically, ReplacesTheDestinationWithAnExactCopy)
{
    TempDir dir;
    Bytes content(100000);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i * 31 + 7);
    WriteBytes(dir.file("source.gif"), content);
    WriteBytes(dir.file("target.gif"), Bytes{1, 2, 3});
    Error error;
    ASSERT_TRUE(CopyFileAtomically(dir.file("source.gif"), dir.file("target.gif"), &error)) << error.message();
    EXPECT_EQ(ReadBytes(dir.file("target.gif")), content);
    ASSERT_TRUE(CopyFileAtomically(dir.file("source.gif"), dir.file("second.gif"), &error));
    EXPECT_EQ(ReadBytes(dir.file("second.gif")), content);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"second.gif", "source.gif", "target.gif"}));
}

TEST(CopyFileAtomically, FailuresLeaveTheDestinationAsItWas)
{
    TempDir dir;
    WriteBytes(dir.file("target.gif"), Bytes{1, 2, 3});
    Error error;
    EXPECT_FALSE(CopyFileAtomically(dir.file("none.gif"), dir.file("target.gif"), &error));
    EXPECT_EQ(error.kind, ErrorKind::Unreadable);
    EXPECT_EQ(error.file, dir.file("none.gif"));
    EXPECT_FALSE(CopyFileAtomically(dir.file("target.gif"), dir.file("missing/copy.gif"), &error));
    EXPECT_EQ(error.kind, ErrorKind::Unwritable);
    EXPECT_EQ(ReadBytes(dir.file("target.gif")), (Bytes{1, 2, 3}));
    EXPECT_EQ(dir.list(), std::vector<std::string>{"target.gif"});
}

} // namespace
} // namespace qf::imaging::test
