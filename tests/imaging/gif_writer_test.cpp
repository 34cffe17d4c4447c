// The animation writer: what it writes decodes to exactly the frames given
// (by this reader and by giflib's own decoder), small and flicker-free, and
// it replaces files atomically.
#include "gif_test_support.h"

#include "imaging/gif_reader.h"
#include "imaging/gif_writer.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <functional>
#include <random>
#include <set>

#include <sys/resource.h>

namespace qf::imaging::test {
namespace {

using Frames = std::vector<RgbaImage>;

bool Write(const std::string& path, const Frames& frames, const std::vector<int>& delays, int loop,
           Error* error, PixelLayout layout = PixelLayout::Rgba)
{
    AnimationWriter writer;
    if (!writer.open(path, frames[0].width, frames[0].height, loop, error))
        return false;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const RgbaImage& f = frames[i];
        std::vector<std::uint8_t> converted;
        ImageView view = ImageView::of(f);
        if (layout != PixelLayout::Rgba) {
            const int bytes = layout == PixelLayout::Rgb ? 3 : 4;
            // Rows with a gap at the end, to exercise the stride.
            const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(f.width) * bytes + 5;
            converted.assign(static_cast<std::size_t>(stride) * static_cast<std::size_t>(f.height), 0xEE);
            for (int y = 0; y < f.height; ++y) {
                for (int x = 0; x < f.width; ++x) {
                    const std::uint8_t* s = f.pixels.data() + (static_cast<std::size_t>(y) * f.width + x) * 4;
                    std::uint8_t* d = converted.data() + y * stride + x * bytes;
                    if (layout == PixelLayout::Rgb) {
                        d[0] = s[0], d[1] = s[1], d[2] = s[2];
                    } else {
                        d[0] = s[2], d[1] = s[1], d[2] = s[0], d[3] = 0x11;
                    }
                }
            }
            view = ImageView{converted.data(), f.width, f.height, stride, layout};
        }
        if (!writer.addFrame(view, delays.empty() ? 0 : delays[i], error))
            return false;
    }
    return writer.finish(error);
}

// Transparent pixels read back as 0, 0, 0, 0 whatever colour they had.
RgbaImage Normalised(RgbaImage image)
{
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        if (image.pixels[i + 3] < 128) {
            image.pixels[i] = image.pixels[i + 1] = image.pixels[i + 2] = image.pixels[i + 3] = 0;
        } else {
            image.pixels[i + 3] = 255;
        }
    }
    return image;
}

// A decoder built on giflib's own decompressor, for the subset of the
// format the writer uses (disposal 1 and 2, frames inside the screen).
Frames DecodeWithGiflib(const std::string& path)
{
    int code = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &code);
    if (!gif) {
        ADD_FAILURE() << "giflib cannot open " << path;
        return {};
    }
    Frames frames;
    if (DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << "giflib cannot read " << path << ": " << GifErrorString(gif->Error);
        DGifCloseFile(gif, &code);
        return {};
    }
    RgbaImage canvas = Filled(gif->SWidth, gif->SHeight, 0, 0, 0, 0);
    for (int i = 0; i < gif->ImageCount; ++i) {
        const SavedImage& image = gif->SavedImages[i];
        GraphicsControlBlock control{};
        control.TransparentColor = NO_TRANSPARENT_COLOR;
        DGifSavedExtensionToGCB(gif, i, &control);
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        const GifImageDesc& d = image.ImageDesc;
        for (int y = 0; y < d.Height; ++y) {
            for (int x = 0; x < d.Width; ++x) {
                const int index = image.RasterBits[y * d.Width + x];
                if (index == control.TransparentColor)
                    continue;
                EXPECT_LT(index, map->ColorCount) << "index beyond the table in frame " << i + 1;
                const GifColorType c = map->Colors[index];
                SetPixel(canvas, d.Left + x, d.Top + y,
                         (static_cast<std::uint32_t>(c.Red) << 24) | (c.Green << 16) | (c.Blue << 8) | 0xFF);
            }
        }
        frames.push_back(canvas);
        if (control.DisposalMode == DISPOSE_BACKGROUND) {
            for (int y = 0; y < d.Height; ++y)
                for (int x = 0; x < d.Width; ++x)
                    SetPixel(canvas, d.Left + x, d.Top + y, 0);
        }
    }
    DGifCloseFile(gif, &code);
    return frames;
}

struct FileFacts {
    bool globalTable = false;
    int localTables = 0;
    std::vector<int> frameAreas; // width * height of each stored frame
};

FileFacts Inspect(const std::string& path)
{
    FileFacts facts;
    int code = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &code);
    if (!gif || DGifSlurp(gif) != GIF_OK) {
        ADD_FAILURE() << "giflib cannot read " << path;
        if (gif)
            DGifCloseFile(gif, &code);
        return facts;
    }
    facts.globalTable = gif->SColorMap != nullptr;
    for (int i = 0; i < gif->ImageCount; ++i) {
        const GifImageDesc& d = gif->SavedImages[i].ImageDesc;
        facts.localTables += d.ColorMap ? 1 : 0;
        facts.frameAreas.push_back(d.Width * d.Height);
    }
    DGifCloseFile(gif, &code);
    return facts;
}

std::uint32_t Rgba(std::uint32_t rgb)
{
    return (rgb << 8) | 0xFF;
}

// ---------------------------------------------------------------------------
// Frames with at most 256 colours come back exactly.

struct ExactCase {
    const char* name;
    std::function<Frames()> make;
    bool oneGlobalTable; // the whole animation fits in 256 colours
};

// Test names show the case name, not its bytes.
void PrintTo(const ExactCase& c, std::ostream* os)
{
    *os << c.name;
}

Frames MovingSquare()
{
    Frames frames;
    for (int f = 0; f < 6; ++f) {
        RgbaImage image = Filled(40, 30, 255, 255, 255);
        for (int y = 5; y < 15; ++y)
            for (int x = 3 + f * 4; x < 13 + f * 4; ++x)
                SetPixel(image, x, y, Rgba(0x000000));
        frames.push_back(image);
    }
    return frames;
}

Frames GreyLevelsNoise()
{
    std::mt19937 random(3);
    Frames frames;
    RgbaImage image = Filled(33, 17, 0, 0, 0);
    for (int f = 0; f < 5; ++f) {
        for (int i = 0; i < 200; ++i) {
            const std::uint32_t v = (random() % 8) * 36;
            SetPixel(image, static_cast<int>(random() % 33), static_cast<int>(random() % 17),
                     Rgba((v << 16) | (v << 8) | v));
        }
        frames.push_back(image);
    }
    return frames;
}

// 256 colours in every frame; later frames move some of them around, so
// unchanged pixels sit among changed ones and no index is free for
// transparency.
Frames FullPaletteWithStillPixels()
{
    Frames frames;
    RgbaImage image = Filled(16, 16, 0, 0, 0);
    for (int i = 0; i < 256; ++i)
        SetPixel(image, i % 16, i / 16, Rgba(static_cast<std::uint32_t>(i) * 0x010305u));
    frames.push_back(image);
    for (int f = 1; f < 4; ++f) {
        for (int i = 0; i < 16; ++i) {
            const int a = (i * 7 + f) % 256, b = (i * 13 + 3 * f) % 256;
            const std::uint32_t pa = PixelAt(image, a % 16, a / 16), pb = PixelAt(image, b % 16, b / 16);
            SetPixel(image, a % 16, a / 16, pb);
            SetPixel(image, b % 16, b / 16, pa);
        }
        frames.push_back(image);
    }
    return frames;
}

// Every frame changes all 256 colours around one pixel that keeps its
// colour: no index is left over to mark that pixel unchanged.
Frames FullPaletteNoFreeIndex()
{
    Frames frames;
    for (int f = 0; f < 3; ++f) {
        RgbaImage image = Filled(17, 16, 0, 0, 0);
        for (int p = 0; p < 17 * 16; ++p) {
            const int colour = p == 8 * 17 + 8 ? 0 : (p + f) % 256;
            SetPixel(image, p % 17, p / 17, Rgba(static_cast<std::uint32_t>(colour) * 0x010305u));
        }
        frames.push_back(image);
    }
    return frames;
}

// Each frame has its own 200 colours: more than 256 in all.
Frames ManyColoursAcrossFrames()
{
    Frames frames;
    for (int f = 0; f < 4; ++f) {
        RgbaImage image = Filled(20, 10, 0, 0, 0);
        for (int i = 0; i < 200; ++i)
            SetPixel(image, i % 20, i / 20, Rgba(0x100000u * static_cast<std::uint32_t>(f) + static_cast<std::uint32_t>(i) * 0x000107u));
        frames.push_back(image);
    }
    // A frame that again uses only colours of the first frame.
    frames.push_back(frames[0]);
    return frames;
}

// Transparent pixels appear, vanish and come back.
Frames WithTransparency()
{
    Frames frames;
    for (int f = 0; f < 5; ++f) {
        RgbaImage image = Filled(12, 8, 0, 0, 0, 0);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 12; ++x)
                if ((x + f) % 4 != 0 && y != f)
                    SetPixel(image, x, y, Rgba(x < 6 ? 0xFF0000 : 0x00FF00));
        frames.push_back(image);
    }
    frames.push_back(Filled(12, 8, 9, 9, 9, 0)); // wholly transparent
    frames.push_back(frames[1]);
    return frames;
}

// Frames of more than 256 colours, which are reduced, alternate with frames
// of few colours that keep half of their pixels: those must still decode
// exactly, whatever the reduced frame before showed there.
Frames FewColoursAfterReduced()
{
    std::mt19937 random(5);
    Frames frames;
    for (int f = 0; f < 4; ++f) {
        RgbaImage image = Filled(24, 16, 0, 0, 0);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 24; ++x)
                SetPixel(image, x, y, x < 12 ? Rgba((static_cast<std::uint32_t>(x * 16 + y) * 0x9E3779u) & 0xFFFFFF)
                                     : f % 2 ? Rgba(0x204060) : Rgba(random() & 0xFFFFFF));
        frames.push_back(image);
    }
    return frames;
}

std::size_t ColourCount(const RgbaImage& image)
{
    std::set<std::uint32_t> colours;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            colours.insert(PixelAt(image, x, y));
    return colours.size();
}

Frames IdenticalFrames()
{
    Frames frames(4, Filled(9, 9, 10, 20, 30));
    SetPixel(frames[2], 4, 4, Rgba(0xFFFFFF));
    return frames;
}

class ExactRoundTrip : public ::testing::TestWithParam<ExactCase> {};

TEST_P(ExactRoundTrip, DecodesToTheFramesGiven)
{
    const Frames frames = GetParam().make();
    for (PixelLayout layout : {PixelLayout::Rgba, PixelLayout::Rgb, PixelLayout::Bgrx}) {
        bool transparent = false;
        for (const RgbaImage& f : frames)
            for (std::size_t i = 3; i < f.pixels.size(); i += 4)
                transparent = transparent || f.pixels[i] == 0;
        if (transparent && layout != PixelLayout::Rgba)
            continue;
        TempDir dir;
        const std::string path = dir.file("out.gif");
        Error error;
        ASSERT_TRUE(Write(path, frames, {}, 0, &error, layout)) << error.message();
        const Frames ours = DecodeAll(path);
        const Frames giflib = DecodeWithGiflib(path);
        ASSERT_EQ(ours.size(), frames.size());
        ASSERT_EQ(giflib.size(), frames.size());
        for (std::size_t i = 0; i < frames.size(); ++i) {
            if (ColourCount(frames[i]) > 256)
                continue; // reduced
            const RgbaImage expected = Normalised(frames[i]);
            EXPECT_TRUE(ours[i].pixels == expected.pixels) << "frame " << i + 1 << ", layout " << int(layout);
            EXPECT_TRUE(giflib[i].pixels == expected.pixels) << "giflib, frame " << i + 1;
        }
        const FileFacts facts = Inspect(path);
        if (GetParam().oneGlobalTable) {
            EXPECT_TRUE(facts.globalTable);
            EXPECT_EQ(facts.localTables, 0);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Writer, ExactRoundTrip,
    ::testing::Values(ExactCase{"two_colours_moving_square", MovingSquare, true},
                      ExactCase{"eight_grey_levels", GreyLevelsNoise, true},
                      ExactCase{"full_palette_with_still_pixels", FullPaletteWithStillPixels, true},
                      ExactCase{"full_palette_no_free_index", FullPaletteNoFreeIndex, true},
                      ExactCase{"many_colours_across_frames", ManyColoursAcrossFrames, false},
                      ExactCase{"pixels_turning_transparent", WithTransparency, true},
                      ExactCase{"identical_frames", IdenticalFrames, true},
                      ExactCase{"few_colours_after_reduced", FewColoursAfterReduced, false}),
    [](const ::testing::TestParamInfo<ExactCase>& info) { return std::string(info.param.name); });

TEST(AnimationWriter, StoresOnlyTheRectangleThatChanged)
{
    Frames frames = MovingSquare();
    frames.push_back(frames.back());
    TempDir dir;
    Error error;
    ASSERT_TRUE(Write(dir.file("a.gif"), frames, {}, 0, &error)) << error.message();
    const FileFacts facts = Inspect(dir.file("a.gif"));
    ASSERT_EQ(facts.frameAreas.size(), frames.size());
    EXPECT_EQ(facts.frameAreas[0], 40 * 30);
    // The square moves 4 pixels right: 14 x 10 pixels change.
    EXPECT_EQ(facts.frameAreas[1], 14 * 10);
    EXPECT_EQ(facts.frameAreas.back(), 1); // nothing changed
}

TEST(AnimationWriter, DelaysAndLoopCountAreStoredExactly)
{
    const Frames frames = MovingSquare();
    const std::vector<int> delays = {0, 1, 7, 65535, 10, 3};
    for (int loop : {-1, 0, 1, 65535}) {
        TempDir dir;
        Error error;
        ASSERT_TRUE(Write(dir.file("a.gif"), frames, delays, loop, &error)) << error.message();
        GifReader reader;
        ASSERT_TRUE(reader.open(dir.file("a.gif"), &error)) << error.message();
        EXPECT_EQ(reader.info().delays, delays);
        EXPECT_EQ(reader.info().loopCount, loop);
    }
}

// ---------------------------------------------------------------------------
// More than 256 colours: reduced, close to the frames given, and still areas
// keep their pixels from frame to frame.

Frames Photographic(int count)
{
    std::mt19937 random(11);
    Frames frames;
    RgbaImage image = Filled(64, 48, 0, 0, 0);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            SetPixel(image, x, y,
                     Rgba((static_cast<std::uint32_t>(x * 4) << 16) | (static_cast<std::uint32_t>(y * 5) << 8)
                          | (random() % 64 + 96)));
    for (int f = 0; f < count; ++f) {
        // The right half changes every frame; the left half stays.
        for (int y = 0; y < 48; ++y)
            for (int x = 32; x < 64; ++x)
                SetPixel(image, x, y, Rgba(random() & 0xFFFFFF));
        frames.push_back(image);
    }
    return frames;
}

TEST(AnimationWriter, ReducedFramesStayCloseAndStillAreasDoNotCrawl)
{
    const Frames frames = Photographic(4);
    TempDir dir;
    Error error;
    ASSERT_TRUE(Write(dir.file("a.gif"), frames, {}, 0, &error)) << error.message();
    const Frames decoded = DecodeAll(dir.file("a.gif"));
    ASSERT_EQ(decoded.size(), frames.size());
    for (std::size_t f = 0; f < frames.size(); ++f) {
        long long difference = 0;
        for (int y = 0; y < 48; ++y) {
            for (int x = 0; x < 32; ++x) {
                for (int shift : {24, 16, 8}) {
                    const int a = static_cast<int>((PixelAt(frames[f], x, y) >> shift) & 0xFF);
                    const int b = static_cast<int>((PixelAt(decoded[f], x, y) >> shift) & 0xFF);
                    difference += std::abs(a - b);
                }
                ASSERT_EQ(PixelAt(decoded[f], x, y) & 0xFF, 0xFFu) << "opaque pixels stay opaque";
                if (f > 0) {
                    ASSERT_EQ(PixelAt(decoded[f], x, y), PixelAt(decoded[f - 1], x, y))
                        << "still pixel " << x << "," << y << " changed in frame " << f + 1;
                }
            }
        }
        EXPECT_LT(static_cast<double>(difference) / (48 * 32 * 3), 8.0) << "frame " << f + 1;
    }
}

// ---------------------------------------------------------------------------
// Writing safely

TEST(AnimationWriter, ReplacesAnExistingFileOnlyWhenFinished)
{
    TempDir dir;
    const std::string path = dir.file("a.gif");
    WriteBytes(path, Bytes{'o', 'l', 'd'});
    const Frames frames = MovingSquare();
    {
        AnimationWriter writer;
        Error error;
        ASSERT_TRUE(writer.open(path, 40, 30, 0, &error));
        ASSERT_TRUE(writer.addFrame(ImageView::of(frames[0]), 5, &error));
        EXPECT_EQ(ReadBytes(path), (Bytes{'o', 'l', 'd'})) << "untouched while writing";
        writer.abort();
    }
    EXPECT_EQ(ReadBytes(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(dir.list(), std::vector<std::string>{"a.gif"}) << "no temporary file left";
    {
        AnimationWriter writer;
        Error error;
        ASSERT_TRUE(writer.open(path, 40, 30, 0, &error));
        ASSERT_TRUE(writer.addFrame(ImageView::of(frames[0]), 5, &error));
        // Destroyed without finish: abandoned like abort().
    }
    EXPECT_EQ(ReadBytes(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(dir.list(), std::vector<std::string>{"a.gif"});
    Error error;
    ASSERT_TRUE(Write(path, frames, {}, 0, &error)) << error.message();
    EXPECT_EQ(DecodeAll(path).size(), frames.size());
    EXPECT_EQ(dir.list(), std::vector<std::string>{"a.gif"});
}

TEST(AnimationWriter, UnwritableDestinationsFailAtOpenWithTheReason)
{
    TempDir dir;
    WriteBytes(dir.file("file"), Bytes{1});
    for (const std::string& path : {dir.file("missing/a.gif"), dir.file("file/a.gif"), dir.path().string()}) {
        AnimationWriter writer;
        Error error;
        EXPECT_FALSE(writer.open(path, 4, 4, 0, &error)) << path;
        EXPECT_EQ(error.kind, ErrorKind::Unwritable) << path;
        EXPECT_EQ(error.file, path);
        EXPECT_FALSE(error.reason.empty());
    }
    EXPECT_EQ(dir.list(), std::vector<std::string>{"file"});
}

TEST(AnimationWriter, AFullDiskFailsCleanlyAndKeepsTheOldFile)
{
    TempDir dir;
    const std::string path = dir.file("a.gif");
    WriteBytes(path, Bytes{'o', 'l', 'd'});
    const Frames frames = Photographic(6);

    // A file size limit makes writes fail as on a full disk.
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto* previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    AnimationWriter writer;
    Error error;
    bool ok = writer.open(path, 64, 48, 0, &error);
    for (std::size_t i = 0; ok && i < frames.size(); ++i)
        ok = writer.addFrame(ImageView::of(frames[i]), 4, &error);
    if (ok)
        ok = writer.finish(&error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(ok);
    EXPECT_EQ(error.kind, ErrorKind::Unwritable);
    EXPECT_EQ(error.file, path);
    EXPECT_FALSE(error.reason.empty());
    EXPECT_EQ(ReadBytes(path), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(dir.list(), std::vector<std::string>{"a.gif"});
}

TEST(AnimationWriter, RefusesWhatAGifCannotHold)
{
    TempDir dir;
    const std::string path = dir.file("a.gif");
    Error error;
    {
        AnimationWriter writer;
        EXPECT_FALSE(writer.open(path, 0, 10, 0, &error));
        EXPECT_EQ(error.kind, ErrorKind::InvalidArgument);
        EXPECT_FALSE(writer.open(path, 20000, 10000, 0, &error));
        EXPECT_EQ(error.kind, ErrorKind::TooLarge);
        EXPECT_FALSE(writer.open(path, 10, 10, 70000, &error));
    }
    {
        AnimationWriter writer;
        ASSERT_TRUE(writer.open(path, 10, 10, 0, &error));
        const RgbaImage wrongSize = Filled(11, 10, 0, 0, 0);
        EXPECT_FALSE(writer.addFrame(ImageView::of(wrongSize), 0, &error));
        EXPECT_EQ(error.kind, ErrorKind::InvalidArgument);
        const RgbaImage frame = Filled(10, 10, 0, 0, 0);
        EXPECT_FALSE(writer.addFrame(ImageView::of(frame), 65536, &error));
        EXPECT_FALSE(writer.addFrame(ImageView::of(frame), -1, &error));
        EXPECT_FALSE(writer.finish(&error));
        EXPECT_EQ(error.kind, ErrorKind::NoImage);
    }
    EXPECT_TRUE(dir.list().empty());
}

} // namespace
} // namespace qf::imaging::test
