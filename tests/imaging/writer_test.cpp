// The animation writer and PNG export: what a GIF cannot hold, pixel
// layouts, and the writer between reduced and exact frames: a frame of more
// than 256 colours is reduced, yet its still pixels keep what the frame
// before showed (no crawling dither), and a frame of at most 256 colours
// after it decodes exactly even where it kept the reduced frame's pixels.
#include "support.h"

#include "imaging/animation_writer.h"
#include "imaging/gif/gif_writer.h"
#include "imaging/png/png_io.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <webp/demux.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>

namespace qf::test {
namespace {

// The frames written as a GIF at quality, each lasting 5 hundredths, and read
// back; none when the writer refuses them.
std::vector<imaging::RgbaImage> ThroughGif(const std::string& path, int quality,
                                           const std::vector<imaging::RgbaImage>& frames)
{
    imaging::GifAnimationWriter writer;
    imaging::Error error;
    writer.setQuality(quality);
    bool ok = writer.open(path, frames[0].width, frames[0].height, 0, &error);
    for (const imaging::RgbaImage& frame : frames)
        ok = ok && writer.addFrame(imaging::ImageView::of(frame), 5, &error);
    ok = ok && writer.finish(&error);
    EXPECT_TRUE(ok) << error.message();
    return ok ? ReadAnimation(path) : std::vector<imaging::RgbaImage>{};
}

TEST(GifAnimationWriter, StillPixelsStayAndFewColoursStayExactAroundReducedFrames)
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
                                      : noise     ? random() & 0xFFFFFF
                                                  : 0x204060;
            frame.pixels[i * 4] = static_cast<std::uint8_t>(rgb >> 16);
            frame.pixels[i * 4 + 1] = static_cast<std::uint8_t>(rgb >> 8);
            frame.pixels[i * 4 + 2] = static_cast<std::uint8_t>(rgb);
        }
        frames.push_back(frame);
    }
    TempDir dir;
    imaging::GifAnimationWriter writer;
    imaging::Error error;
    ASSERT_TRUE(writer.open(dir.file("a.gif"), 24, 16, 0, &error)) << error.message();
    for (const imaging::RgbaImage& frame : frames)
        ASSERT_TRUE(writer.addFrame(imaging::ImageView::of(frame), 5, &error)) << error.message();
    ASSERT_TRUE(writer.finish(&error)) << error.message();

    const std::vector<imaging::RgbaImage> decoded = ReadAnimation(dir.file("a.gif"));
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

// A pixel drawn in one frame and transparent in the next shows nothing
// there, whether the frames keep their few colours or are reduced from
// noise: the frame before is cleared, not left showing through. The
// transparent pixels come after more than 256 colours of noise.
TEST(GifAnimationWriter, PixelsTurningTransparentShowNothing)
{
    constexpr int kWidth = 32;
    constexpr int kHeight = 24;
    for (const bool noise : {false, true}) {
        SCOPED_TRACE(noise ? "reduced frames" : "exact frames");
        std::mt19937 random(3);
        std::vector<imaging::RgbaImage> frames;
        for (int f = 0; f < 3; ++f) {
            imaging::RgbaImage frame{kWidth, kHeight, std::vector<std::uint8_t>(kWidth * kHeight * 4, 0)};
            for (int i = 0; i < kWidth * kHeight; ++i) {
                // The middle frame's bottom left corner is transparent.
                if (f == 1 && i / kWidth >= 16 && i % kWidth < 16)
                    continue;
                const std::uint32_t rgb = noise ? random() & 0xFFFFFF : 0xC02020;
                frame.pixels[i * 4] = static_cast<std::uint8_t>(rgb >> 16);
                frame.pixels[i * 4 + 1] = static_cast<std::uint8_t>(rgb >> 8);
                frame.pixels[i * 4 + 2] = static_cast<std::uint8_t>(rgb);
                frame.pixels[i * 4 + 3] = 255;
            }
            frames.push_back(frame);
        }
        TempDir dir;
        const std::vector<imaging::RgbaImage> decoded = ThroughGif(dir.file("t.gif"), 100, frames);
        ASSERT_EQ(decoded.size(), frames.size());
        for (std::size_t f = 0; f < frames.size(); ++f)
            for (int i = 0; i < kWidth * kHeight; ++i)
                ASSERT_EQ(decoded[f].pixels[i * 4 + 3], frames[f].pixels[i * 4 + 3])
                    << "pixel " << i << " of frame " << f + 1;
    }
}

// A frame of noise with a clear band down its middle is reduced; the next
// adds red bars either side of the band, a change stored exactly, whose
// rectangle spans the band: the band stays clear and the bars red.
TEST(GifAnimationWriter, AClearBandInsideAnExactFramesRectangleStaysClear)
{
    std::mt19937 random(7);
    imaging::RgbaImage noise{32, 16, std::vector<std::uint8_t>(32 * 16 * 4, 0)};
    for (int i = 0; i < 32 * 16; ++i) {
        if (i % 32 >= 10 && i % 32 < 14)
            continue;
        const std::uint32_t rgb = random() & 0xFFFFFF;
        noise.pixels[i * 4] = static_cast<std::uint8_t>(rgb >> 16);
        noise.pixels[i * 4 + 1] = static_cast<std::uint8_t>(rgb >> 8);
        noise.pixels[i * 4 + 2] = static_cast<std::uint8_t>(rgb);
        noise.pixels[i * 4 + 3] = 255;
    }
    imaging::RgbaImage bars = noise;
    const auto bar = [](int i) { return i / 32 >= 4 && i / 32 < 12 && i % 32 >= 6 && i % 32 < 18; };
    for (int i = 0; i < 32 * 16; ++i)
        if (bar(i) && bars.pixels[i * 4 + 3] == 255)
            std::copy_n(std::array<std::uint8_t, 3>{255, 0, 0}.begin(), 3, bars.pixels.begin() + i * 4);
    TempDir dir;
    const std::vector<imaging::RgbaImage> decoded = ThroughGif(dir.file("t.gif"), 100, {noise, bars});
    ASSERT_EQ(decoded.size(), 2u);
    for (int i = 0; i < 32 * 16; ++i) {
        const std::uint8_t* p = &decoded[1].pixels[static_cast<std::size_t>(i) * 4];
        ASSERT_EQ(p[3], bars.pixels[i * 4 + 3]) << "pixel " << i;
        if (bar(i) && p[3] == 255) {
            ASSERT_EQ(std::vector<int>(p, p + 3), (std::vector<int>{255, 0, 0})) << "pixel " << i;
        }
    }
}

// Every quality level: frames of at most 256 colours come back with no
// channel further from the frame given than the level allows, exactly at
// 100, and a lower level never gives a larger file. The frames drift by a
// pixel and flicker between near colours, so that the held still pixels,
// the kept pixels and the lossy runs have work, and carry a few rare bright
// dots that a reduced palette would lose.
TEST(GifAnimationWriter, EveryQualityLevelStaysWithinItsErrorBound)
{
    std::mt19937 random(7);
    std::vector<std::uint32_t> palette;
    for (int i = 0; i < 100; ++i) {
        const std::uint32_t base = random() & 0xF8F8F8;
        palette.push_back(base);
        palette.push_back(base + (random() & 0x030303));
    }
    std::vector<imaging::RgbaImage> frames;
    for (int f = 0; f < 6; ++f) {
        imaging::RgbaImage frame{48, 32, std::vector<std::uint8_t>(48 * 32 * 4, 255)};
        for (int i = 0; i < 48 * 32; ++i) {
            const int x = i % 48 + f, y = i / 48;
            std::uint32_t rgb =
                palette[static_cast<std::size_t>((x / 4 + y / 4 * 3) % 100 * 2 + random() % 2)];
            if (i % 301 == 7)
                rgb = 0xFF00FFu >> (i % 3 * 4); // rare bright dots a small palette would drop
            if (i % 301 == 150)
                rgb = 0x020202; // near black, yet drawn where nothing is shown yet
            frame.pixels[i * 4] = static_cast<std::uint8_t>(rgb >> 16);
            frame.pixels[i * 4 + 1] = static_cast<std::uint8_t>(rgb >> 8);
            frame.pixels[i * 4 + 2] = static_cast<std::uint8_t>(rgb);
        }
        frames.push_back(frame);
    }
    TempDir dir;
    std::uintmax_t larger = 0;
    for (const int quality : {100, 90, 70, 50, 30, 10, 1}) {
        SCOPED_TRACE(quality);
        const std::vector<imaging::RgbaImage> decoded = ThroughGif(dir.file("q.gif"), quality, frames);
        ASSERT_EQ(decoded.size(), frames.size());
        int largest = 0;
        for (std::size_t f = 0; f < frames.size(); ++f) {
            for (std::size_t i = 0; i < frames[f].pixels.size(); ++i)
                largest = std::max(largest, std::abs(decoded[f].pixels[i] - frames[f].pixels[i]));
        }
        EXPECT_LE(largest, imaging::LevelsFor(quality).maxChannelError());
        const std::uintmax_t size = std::filesystem::file_size(dir.file("q.gif"));
        if (larger > 0) {
            EXPECT_LE(size, larger);
        }
        larger = size;
    }
}

// The frames of a GIF as giflib's own decoder reads them, each drawn over
// what the frames before left, as a browser shows them; none when giflib
// cannot read the file.
std::vector<imaging::RgbaImage> ReadWithGiflib(const std::string& path)
{
    int code = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &code);
    if (!gif)
        return {};
    std::vector<imaging::RgbaImage> frames;
    if (DGifSlurp(gif) == GIF_OK) {
        imaging::RgbaImage canvas{
            gif->SWidth, gif->SHeight,
            std::vector<std::uint8_t>(static_cast<std::size_t>(gif->SWidth * gif->SHeight) * 4)};
        for (int f = 0; f < gif->ImageCount; ++f) {
            const SavedImage& image = gif->SavedImages[f];
            const GifImageDesc& at = image.ImageDesc;
            const ColorMapObject* colours = at.ColorMap ? at.ColorMap : gif->SColorMap;
            GraphicsControlBlock control{};
            DGifSavedExtensionToGCB(gif, f, &control);
            for (int y = 0; y < at.Height; ++y)
                for (int x = 0; x < at.Width; ++x) {
                    const int index = image.RasterBits[y * at.Width + x];
                    if (index == control.TransparentColor)
                        continue;
                    const GifColorType& c = colours->Colors[index];
                    std::uint8_t* p =
                        &canvas
                             .pixels[static_cast<std::size_t>((at.Top + y) * canvas.width + at.Left + x) * 4];
                    p[0] = c.Red, p[1] = c.Green, p[2] = c.Blue, p[3] = 255;
                }
            frames.push_back(canvas);
            if (control.DisposalMode == DISPOSE_BACKGROUND)
                for (int y = 0; y < at.Height; ++y)
                    std::fill_n(
                        &canvas.pixels[static_cast<std::size_t>((at.Top + y) * canvas.width + at.Left) * 4],
                        at.Width * 4, 0);
        }
    }
    DGifCloseFile(gif, &code);
    return frames;
}

// A picture that repeats its patterns (a random tile of 60 colours, 40 x 30,
// over 240 x 180, moving a few pixels a frame) fills the string table many
// times in each frame: below the best level the encoder keeps full tables
// where that codes shorter, which the format allows. giflib's decoder reads
// every frame to the same pixels as ours, and those stay within the level's
// error bound of the frames given, at every level.
TEST(GifAnimationWriter, GiflibReadsTheSameFramesAtEveryLevel)
{
    constexpr int kWidth = 240, kHeight = 180, kTileWidth = 40, kTileHeight = 30;
    std::mt19937 random(13);
    std::vector<std::uint32_t> tile(kTileWidth * kTileHeight);
    for (std::uint32_t& rgb : tile)
        rgb = (random() % 60) * 0x040301u + 0x102030u;
    std::vector<imaging::RgbaImage> frames;
    for (int f = 0; f < 3; ++f) {
        imaging::RgbaImage frame{kWidth, kHeight, std::vector<std::uint8_t>(kWidth * kHeight * 4, 255)};
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const std::uint32_t rgb =
                    tile[static_cast<std::size_t>(y % kTileHeight * kTileWidth + (x + 3 * f) % kTileWidth)];
                std::uint8_t* p = &frame.pixels[static_cast<std::size_t>(y * kWidth + x) * 4];
                p[0] = static_cast<std::uint8_t>(rgb >> 16), p[1] = static_cast<std::uint8_t>(rgb >> 8),
                p[2] = static_cast<std::uint8_t>(rgb);
            }
        frames.push_back(frame);
    }
    TempDir dir;
    for (const int quality : {100, 90, 60, 20}) {
        SCOPED_TRACE(quality);
        const std::vector<imaging::RgbaImage> ours = ThroughGif(dir.file("q.gif"), quality, frames);
        const std::vector<imaging::RgbaImage> giflib = ReadWithGiflib(dir.file("q.gif"));
        ASSERT_EQ(ours.size(), frames.size());
        ASSERT_EQ(giflib.size(), frames.size());
        for (std::size_t f = 0; f < frames.size(); ++f) {
            SCOPED_TRACE(f + 1);
            EXPECT_EQ(giflib[f].pixels, ours[f].pixels);
            int largest = 0;
            for (std::size_t i = 0; i < frames[f].pixels.size(); ++i)
                largest = std::max(largest, std::abs(ours[f].pixels[i] - frames[f].pixels[i]));
            EXPECT_LE(largest, imaging::LevelsFor(quality).maxChannelError());
        }
    }
}

// Below the best level, grain that flickers a few levels about one colour
// plays as one still colour halfway between, while a flicker a viewer sees
// plainly still flickers.
TEST(GifAnimationWriter, FaintFlickerHoldsStillBelowTheBestLevel)
{
    constexpr int kWidth = 24, kHeight = 16;
    std::vector<imaging::RgbaImage> frames;
    for (int f = 0; f < 4; ++f) {
        imaging::RgbaImage frame{kWidth, kHeight, std::vector<std::uint8_t>(kWidth * kHeight * 4, 255)};
        for (int i = 0; i < kWidth * kHeight; ++i) {
            const bool left = i % kWidth < kWidth / 2;
            const int grey = f % 2 == 0 ? 100 : (left ? 104 : 140);
            std::fill_n(&frame.pixels[static_cast<std::size_t>(i) * 4], 3, static_cast<std::uint8_t>(grey));
        }
        frames.push_back(frame);
    }
    TempDir dir;
    const std::vector<imaging::RgbaImage> decoded = ThroughGif(dir.file("q.gif"), 90, frames);
    ASSERT_EQ(decoded.size(), frames.size());
    const int leftPixel = kWidth / 4 * 4, rightPixel = (kWidth * 3 / 4) * 4;
    for (std::size_t f = 0; f < frames.size(); ++f) {
        SCOPED_TRACE(f + 1);
        EXPECT_EQ(decoded[f].pixels[leftPixel], 102);
        EXPECT_NEAR(decoded[f].pixels[rightPixel], frames[f].pixels[rightPixel], 8);
    }
}

// Frames of many colours share the colours chosen for the first of their
// run only where those serve them: a frame of other hues in the same run
// keeps its own hues (each channel within a few levels on average), at the
// default level and below it.
TEST(GifAnimationWriter, ASharedPaletteServesOnlyFramesItFits)
{
    struct Hues {
        int low[3], high[3]; // each pixel's red, green and blue drawn from these ranges
    };
    const Hues hues[] = {{{0, 0, 128}, {63, 127, 255}}, // blues
                         {{0, 0, 128}, {63, 127, 255}}, // blues again: served
                         {{160, 0, 0}, {255, 95, 63}},  // reds
                         {{0, 160, 0}, {95, 255, 63}}}; // greens
    std::mt19937 random(11);
    std::vector<imaging::RgbaImage> frames;
    for (const Hues& h : hues) {
        imaging::RgbaImage frame{64, 48, std::vector<std::uint8_t>(64 * 48 * 4, 255)};
        for (std::size_t i = 0; i < frame.pixels.size(); i += 4)
            for (int c = 0; c < 3; ++c)
                frame.pixels[i + static_cast<std::size_t>(c)] = static_cast<std::uint8_t>(
                    h.low[c] + static_cast<int>(random() % static_cast<unsigned>(h.high[c] - h.low[c] + 1)));
        frames.push_back(frame);
    }
    TempDir dir;
    for (const int quality : {100, 40}) {
        SCOPED_TRACE(quality);
        const std::vector<imaging::RgbaImage> decoded = ThroughGif(dir.file("h.gif"), quality, frames);
        ASSERT_EQ(decoded.size(), frames.size());
        for (std::size_t f = 0; f < frames.size(); ++f) {
            double squared = 0;
            for (std::size_t i = 0; i < frames[f].pixels.size(); ++i) {
                const int d = decoded[f].pixels[i] - frames[f].pixels[i];
                squared += d * d;
            }
            EXPECT_LT(squared / static_cast<double>(frames[f].pixels.size()), 200.0) << "frame " << f + 1;
        }
    }
}

// Film's pictures come coded more and less finely in a repeating pattern.
// One grainy gradient, its grain heavier in every 4th frame from the 2nd:
// the heavy frames lie further from colours chosen for a light one than
// the allowance, but the frames after the first heavy one are served by
// its colours, not each by a table of its own.
TEST(GifAnimationWriter, FramesGrainierInAPatternShareColours)
{
    constexpr int kWidth = 96, kHeight = 64, kFrames = 12;
    std::mt19937 random(5);
    std::vector<imaging::RgbaImage> frames;
    for (int f = 0; f < kFrames; ++f) {
        const int grain = f % 4 == 1 ? 12 : 6;
        std::uniform_int_distribution<int> noise(-grain, grain);
        imaging::RgbaImage frame{kWidth, kHeight, std::vector<std::uint8_t>(kWidth * kHeight * 4, 255)};
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const int base[3] = {x * 255 / (kWidth - 1), y * 255 / (kHeight - 1), 128};
                for (int c = 0; c < 3; ++c)
                    frame.pixels[static_cast<std::size_t>((y * kWidth + x) * 4 + c)] =
                        static_cast<std::uint8_t>(std::clamp(base[c] + noise(random), 0, 255));
            }
        frames.push_back(frame);
    }
    TempDir dir;
    ASSERT_EQ(ThroughGif(dir.file("g.gif"), imaging::kBestQuality, frames).size(), frames.size());
    int code = 0;
    GifFileType* gif = DGifOpenFileName(dir.file("g.gif").c_str(), &code);
    ASSERT_NE(gif, nullptr);
    const int read = DGifSlurp(gif);
    std::set<std::vector<int>> tables;
    for (int f = 0; read == GIF_OK && f < gif->ImageCount; ++f) {
        const ColorMapObject* colours = gif->SavedImages[f].ImageDesc.ColorMap;
        colours = colours ? colours : gif->SColorMap;
        std::vector<int> table;
        for (int i = 0; colours && i < colours->ColorCount; ++i)
            table.push_back(colours->Colors[i].Red << 16 | colours->Colors[i].Green << 8
                            | colours->Colors[i].Blue);
        tables.insert(table);
    }
    DGifCloseFile(gif, &code);
    ASSERT_EQ(read, GIF_OK);
    EXPECT_LE(tables.size(), 2U);
}

// Sizes, loop counts and delays a GIF cannot hold, and calls out of order:
// each refused with its kind, and no file left behind.
TEST(GifAnimationWriter, RefusesWhatAGifCannotHold)
{
    using imaging::ErrorKind;
    const imaging::RgbaImage frame{3, 2, std::vector<std::uint8_t>(24, 255)},
        wide{4, 2, std::vector<std::uint8_t>(32)};
    const struct {
        int width, height, loopCount;
        const imaging::RgbaImage* frame; // null: finish() without a frame
        int delay;
        ErrorKind kind;
    } rows[] = {
        {0, 2, 0, nullptr, 5, ErrorKind::InvalidArgument},
        {3, -1, 0, nullptr, 5, ErrorKind::InvalidArgument},
        {65536, 1, 0, &frame, 5, ErrorKind::TooLarge},
        {10001, 10000, 0, &frame, 5, ErrorKind::TooLarge},
        {3, 2, -2, &frame, 5, ErrorKind::InvalidArgument},
        {3, 2, 65536, &frame, 5, ErrorKind::InvalidArgument},
        {3, 2, 0, &frame, -1, ErrorKind::InvalidArgument},
        {3, 2, 0, &frame, 65536, ErrorKind::InvalidArgument},
        {3, 2, 0, &wide, 5, ErrorKind::InvalidArgument},
        {3, 2, 0, nullptr, 5, ErrorKind::NoImage},
        {3, 2, 65535, &frame, 65535, ErrorKind::None},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << " x " << row.height << ", loop " << row.loopCount
                                        << ", delay " << row.delay);
        TempDir dir;
        imaging::Error error;
        {
            imaging::GifAnimationWriter writer;
            if (writer.open(dir.file("a.gif"), row.width, row.height, row.loopCount, &error)
                && (!row.frame || writer.addFrame(imaging::ImageView::of(*row.frame), row.delay, &error)))
                writer.finish(&error);
        }
        EXPECT_EQ(error.kind, row.kind) << error.message();
        EXPECT_EQ(dir.list(), std::vector<std::string>(row.kind == ErrorKind::None, "a.gif"));
    }
    imaging::GifAnimationWriter unopened;
    imaging::Error error;
    EXPECT_FALSE(unopened.addFrame(imaging::ImageView::of(frame), 5, &error));
    EXPECT_EQ(error.kind, ErrorKind::InvalidArgument);
}

// The pipeline's BGRX surface and plain RGB rows, with padding at the end
// of each row, come back as the same colours, opaque: pictures of a few
// colours (stored unfiltered) and of more than 256 (filtered) alike.
TEST(WritePng, EveryLayoutRoundTrips)
{
    for (const auto& [width, height] : {std::pair{5, 3}, std::pair{20, 15}})
        for (const auto& [layout, bytes, red, blue] : {std::tuple{imaging::PixelLayout::Rgb, 3, 0, 2},
                                                       {imaging::PixelLayout::Bgrx, 4, 2, 0},
                                                       {imaging::PixelLayout::Rgba, 4, 0, 2}}) {
            const int stride = width * bytes + 7;
            std::vector<std::uint8_t> pixels(static_cast<std::size_t>(stride) * height, 0xEE);
            std::vector<std::uint8_t> expected;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    std::uint8_t* p = &pixels[y * stride + x * bytes];
                    p[red] = static_cast<std::uint8_t>(13 * x + 1);
                    p[1] = static_cast<std::uint8_t>(17 * y + 2);
                    p[blue] = static_cast<std::uint8_t>(x * y + 3);
                    if (bytes == 4)
                        p[3] =
                            layout == imaging::PixelLayout::Rgba ? static_cast<std::uint8_t>(12 * x) : 0x11;
                    const bool alpha = layout == imaging::PixelLayout::Rgba;
                    expected.insert(expected.end(),
                                    {p[red], p[1], p[blue], alpha ? p[3] : std::uint8_t{255}});
                }
            TempDir dir;
            imaging::Error error;
            ASSERT_TRUE(
                imaging::WritePng(dir.file("a.png"), {pixels.data(), width, height, stride, layout}, &error))
                << error.message();
            const imaging::RgbaImage decoded = ReadPng(dir.file("a.png"));
            EXPECT_EQ(decoded.width, width);
            EXPECT_EQ(decoded.height, height);
            EXPECT_EQ(decoded.pixels, expected)
                << width << " x " << height << ", layout " << static_cast<int>(layout);
        }
}

// After a reduced frame, a frame of more than 256 colours whose differences
// from what a decoder shows have fewer is stored exactly: it mends what the
// reduction left.
TEST(GifAnimationWriter, FewDifferencesFromWhatIsShownMendTheReduction)
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
    imaging::GifAnimationWriter writer;
    imaging::Error error;
    ASSERT_TRUE(writer.open(dir.file("a.gif"), 24, 16, 0, &error)) << error.message();
    for (const imaging::RgbaImage* frame : {&first, &second})
        ASSERT_TRUE(writer.addFrame(imaging::ImageView::of(*frame), 5, &error)) << error.message();
    ASSERT_TRUE(writer.finish(&error)) << error.message();
    const std::vector<imaging::RgbaImage> decoded = ReadAnimation(dir.file("a.gif"));
    ASSERT_EQ(decoded.size(), 2u);
    EXPECT_NE(decoded[0].pixels, first.pixels);
    EXPECT_EQ(decoded[1].pixels, second.pixels);
}

// Frames of a slow pan over many colours, some of which can be reduced to
// colours shared with the frames before them and some not: written frame
// by frame, and through the stages with the stages free to run in any order
// run backwards, the bytes are the same at every kind of level.
TEST(GifAnimationWriter, TheOrderStagesRunInChangesNothing)
{
    constexpr int kWidth = 40, kHeight = 24, kFrames = 20;
    std::vector<imaging::RgbaImage> frames;
    for (int f = 0; f < kFrames; ++f) {
        imaging::RgbaImage frame{kWidth, kHeight, std::vector<std::uint8_t>(kWidth * kHeight * 4, 255)};
        for (int i = 0; i < kWidth * kHeight; ++i) {
            const int x = i % kWidth + f, y = i / kWidth + (f >= 12 ? 90 : 0); // a cut at frame 13
            frame.pixels[i * 4] = static_cast<std::uint8_t>(x * 5 + y * 3);
            frame.pixels[i * 4 + 1] = static_cast<std::uint8_t>(x * y);
            frame.pixels[i * 4 + 2] = static_cast<std::uint8_t>(y * 7 - x);
        }
        frames.push_back(frame);
    }
    TempDir dir;
    for (const int quality : {100, 40}) {
        imaging::Error error;
        imaging::GifAnimationWriter inTurn;
        inTurn.setQuality(quality);
        ASSERT_TRUE(inTurn.open(dir.file("turn.gif"), kWidth, kHeight, 0, &error)) << error.message();
        for (const imaging::RgbaImage& frame : frames)
            ASSERT_TRUE(inTurn.addFrame(imaging::ImageView::of(frame), 5, &error)) << error.message();
        ASSERT_TRUE(inTurn.finish(&error)) << error.message();

        imaging::GifAnimationWriter staged;
        staged.setQuality(quality);
        ASSERT_TRUE(staged.open(dir.file("staged.gif"), kWidth, kHeight, 0, &error)) << error.message();
        std::vector<std::unique_ptr<imaging::OutputFrame>> out;
        for (const imaging::RgbaImage& frame : frames) {
            out.push_back(staged.newFrame());
            staged.take(*out.back(), imaging::ImageView::of(frame));
            ASSERT_TRUE(staged.link(*out.back(), 5, &error)) << error.message();
        }
        for (auto frame = out.rbegin(); frame != out.rend(); ++frame)
            ASSERT_TRUE(staged.prepare(**frame, &error)) << error.message();
        for (auto& frame : out)
            staged.show(*frame);
        for (auto frame = out.rbegin(); frame != out.rend(); ++frame)
            ASSERT_TRUE(staged.compress(**frame, &error)) << error.message();
        int completed = 0;
        for (auto& frame : out)
            ASSERT_TRUE(staged.append(*frame, &completed, &error)) << error.message();
        ASSERT_TRUE(staged.finish(&error)) << error.message();
        EXPECT_TRUE(ReadBytes(dir.file("staged.gif")) == ReadBytes(dir.file("turn.gif")))
            << "quality " << quality;
    }
}

// A long WebP (encoded in runs of frames joined into one file): every
// frame comes back with its own picture and delay, those repeated across
// the joins and the transparent ones too, and the loop count holds.
TEST(WebpWriter, AThousandFramesComeBackOneByOne)
{
    TempDir dir;
    const int count = 1025;   // the last run a single frame
    auto colour = [](int f) { // runs of repeats around frames 512 and 1024
        const int run = (f >= 508 && f < 516) || f >= 1020 ? 508 : f;
        return std::array<std::uint8_t, 4>{static_cast<std::uint8_t>(run * 7),
                                           static_cast<std::uint8_t>(run / 5), 200,
                                           static_cast<std::uint8_t>(run % 9 == 0 ? 0 : 255)};
    };
    const std::unique_ptr<imaging::AnimationWriter> writer =
        imaging::MakeAnimationWriter({imaging::OutputFormat::Webp});
    imaging::Error error;
    ASSERT_TRUE(writer->open(dir.file("a.webp"), 2, 2, 3, &error)) << error.message();
    for (int f = 0; f < count; ++f) {
        const auto c = colour(f);
        std::vector<std::uint8_t> pixels;
        for (int i = 0; i < 4; ++i)
            pixels.insert(pixels.end(), c.begin(), c.end());
        ASSERT_TRUE(writer->addFrame({pixels.data(), 2, 2, 8, imaging::PixelLayout::Rgba}, 1 + f % 4, &error))
            << error.message();
    }
    ASSERT_TRUE(writer->finish(&error)) << error.message();
    imaging::AnimationInfo info;
    const std::vector<imaging::RgbaImage> frames = ReadAnimation(dir.file("a.webp"), &info);
    ASSERT_EQ(frames.size(), static_cast<std::size_t>(count));
    EXPECT_EQ(info.loopCount, 3);
    for (int f = 0; f < count; ++f) {
        const auto c = colour(f);
        const std::uint8_t* p = frames[static_cast<std::size_t>(f)].pixels.data();
        EXPECT_EQ(info.delays[static_cast<std::size_t>(f)], 1 + f % 4) << f;
        if (c[3] == 0)
            EXPECT_EQ(p[3], 0) << f;
        else
            EXPECT_TRUE(std::equal(c.begin(), c.end(), p)) << f;
    }
}

// A WebP of 30 frames a second (33 ms each, as WebPs made from video
// store them) plays its 0.99 s: delays of 3 and 4 hundredths, not 3 for
// each (0.90 s). One of 60 frames a second (16 ms) gets no delay of 1
// hundredth, which a browser would hold for a tenth of a second: 2 each,
// the shortest it plays as stored.
TEST(WebpReader, FramesOfThirtyMillisecondsKeepTheirTime)
{
    TempDir dir;
    const std::unique_ptr<imaging::AnimationWriter> writer =
        imaging::MakeAnimationWriter({imaging::OutputFormat::Webp});
    imaging::Error error;
    ASSERT_TRUE(writer->open(dir.file("a.webp"), 2, 2, 0, &error)) << error.message();
    for (int f = 0; f < 30; ++f) {
        std::vector<std::uint8_t> pixels;
        for (int i = 0; i < 4; ++i)
            pixels.insert(pixels.end(), {static_cast<std::uint8_t>(f * 8), 40, 90, 255});
        ASSERT_TRUE(writer->addFrame({pixels.data(), 2, 2, 8, imaging::PixelLayout::Rgba}, 5, &error));
    }
    ASSERT_TRUE(writer->finish(&error)) << error.message();
    const Bytes written = ReadBytes(dir.file("a.webp"));
    const auto framesOf = [&](std::uint8_t ms) { // every frame's duration set to ms, read back
        Bytes bytes = written;
        for (std::size_t at = 12; at + 8 <= bytes.size();) {
            const std::size_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16;
            if (std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                            bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4)
                == "ANMF")
                bytes[at + 8 + 12] = ms;
            at += 8 + size + (size & 1);
        }
        WriteBytes(dir.file("b.webp"), bytes);
        imaging::AnimationInfo info;
        EXPECT_EQ(ReadAnimation(dir.file("b.webp"), &info).size(), 30u);
        return info.delays;
    };
    int total = 0;
    for (const int delay : framesOf(33)) {
        EXPECT_TRUE(delay == 3 || delay == 4) << delay;
        total += delay;
    }
    EXPECT_EQ(total, 99);
    EXPECT_EQ(framesOf(16), std::vector<int>(30, 2));
}

// Frames over each other in every way a WebP can stack them (drawn over the
// canvas or in its place, the canvas kept or cleared after each, partly
// see-through, in part of the canvas) come out as libwebp's own animation
// decoder composes them, pixel for pixel.
TEST(WebpReader, StacksFramesAsLibwebpDoes)
{
    TempDir dir;
    const int width = 24, height = 16;
    const std::unique_ptr<imaging::AnimationWriter> writer =
        imaging::MakeAnimationWriter({imaging::OutputFormat::Webp});
    imaging::Error error;
    ASSERT_TRUE(writer->open(dir.file("a.webp"), width, height, 0, &error)) << error.message();
    for (int f = 0; f < 6; ++f) { // a see-through square moving over a half-transparent ground
        std::vector<std::uint8_t> pixels;
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < width; ++x) {
                const bool square = x >= 3 * f && x < 3 * f + 6 && y >= 4 && y < 10;
                const std::uint8_t alpha = square ? 160 : y < 5 ? 0 : y < 11 ? 90 : 255;
                pixels.insert(pixels.end(), {static_cast<std::uint8_t>(square ? 250 : 20),
                                             static_cast<std::uint8_t>(x * 10), 90, alpha});
            }
        }
        ASSERT_TRUE(writer->addFrame({pixels.data(), width, height, width * 4, imaging::PixelLayout::Rgba}, 5,
                                     &error));
    }
    ASSERT_TRUE(writer->finish(&error)) << error.message();
    const Bytes written = ReadBytes(dir.file("a.webp"));
    for (int pattern = 0; pattern < 4; ++pattern) { // the blend and disposal bits of each frame
        Bytes bytes = written;
        int frame = 0;
        for (std::size_t at = 12; at + 8 <= bytes.size(); ++frame) {
            const std::size_t size = bytes[at + 4] | bytes[at + 5] << 8 | bytes[at + 6] << 16;
            if (std::string(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                            bytes.begin() + static_cast<std::ptrdiff_t>(at) + 4)
                == "ANMF")
                bytes[at + 8 + 15] = static_cast<std::uint8_t>((frame * (pattern + 1) + pattern) % 4);
            at += 8 + size + (size & 1);
        }
        WriteBytes(dir.file("b.webp"), bytes);
        const std::vector<imaging::RgbaImage> ours = ReadAnimation(dir.file("b.webp"));
        const WebPData data{bytes.data(), bytes.size()};
        WebPAnimDecoderOptions options;
        WebPAnimDecoderOptionsInit(&options);
        options.color_mode = MODE_RGBA;
        const std::unique_ptr<WebPAnimDecoder, void (*)(WebPAnimDecoder*)> reference(
            WebPAnimDecoderNew(&data, &options), WebPAnimDecoderDelete);
        ASSERT_TRUE(reference);
        ASSERT_EQ(ours.size(), 6u);
        for (std::size_t f = 0; f < ours.size(); ++f) {
            std::uint8_t* canvas = nullptr;
            int timestamp = 0;
            ASSERT_TRUE(WebPAnimDecoderGetNext(reference.get(), &canvas, &timestamp));
            EXPECT_TRUE(std::equal(ours[f].pixels.begin(), ours[f].pixels.end(), canvas))
                << "pattern " << pattern << ", frame " << f;
        }
    }
}

} // namespace
} // namespace qf::test
