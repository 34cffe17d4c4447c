// The GIF reader: frames composed as browsers show them, broken or hostile
// files, and the size limits at their edges.
#include "support.h"

#include "fuzz_checks.h"
#include "imaging/gif/gif_lzw.h"
#include "imaging/gif/gif_reader.h"
#include "imaging/size_limits.h"

#include <gtest/gtest.h>

#include <map>

namespace qf::test {
namespace {

using imaging::Error;
using imaging::ErrorKind;
using imaging::GifReader;
using imaging::RgbaImage;

const Palette kGlobal = {{0, 0, 0}, {255, 255, 255}, {255, 0, 0}, {0, 0, 255}}; // K W R B
const Palette kLocal = {{0, 255, 0}, {255, 255, 0}};                            // G Y

// A frame as letters, rows joined by '/': K W R B G Y, '.' transparent.
std::string Letters(const RgbaImage& image)
{
    const std::map<std::uint32_t, char> names = {{0x000000ff, 'K'}, {0xffffffff, 'W'}, {0xff0000ff, 'R'},
                                                 {0x0000ffff, 'B'}, {0x00ff00ff, 'G'}, {0xffff00ff, 'Y'},
                                                 {0, '.'}};
    std::string s;
    for (std::size_t i = 0; i < image.pixels.size(); i += 4) {
        const std::uint8_t* p = &image.pixels[i];
        const std::uint32_t rgba = std::uint32_t{p[0]} << 24 | p[1] << 16 | p[2] << 8 | p[3];
        if (i > 0 && i / 4 % image.width == 0)
            s += '/';
        s += names.count(rgba) ? names.at(rgba) : '?';
    }
    return s;
}

std::vector<std::string> DecodeAll(const std::string& path)
{
    std::vector<std::string> frames;
    for (const RgbaImage& frame : ReadAnimation(path))
        frames.push_back(Letters(frame));
    return frames;
}

struct Step {
    Frame frame;
    std::string indexes; // one digit per pixel, in stored order
    int disposal = 0, transparent = -1;
};

Bytes Build(int width, int height, const Palette* global, const std::vector<Step>& steps)
{
    Bytes b;
    PutHeader(b);
    PutScreen(b, width, height, global);
    for (const Step& s : steps) {
        PutControl(b, s.disposal, 0, s.transparent);
        Bytes indexes;
        for (char c : s.indexes)
            indexes.push_back(static_cast<std::uint8_t>(c - '0'));
        PutFrame(b, s.frame, indexes);
    }
    PutTrailer(b);
    return b;
}

TEST(GifReader, FramesAreComposedAsBrowsersShowThem)
{
    struct Composite {
        std::string name;
        int width, height;
        const Palette* global;
        std::vector<Step> steps;
        std::vector<std::string> expected;
    };
    const std::vector<Composite> cases = {
        {"none_and_keep",
         2,
         2,
         &kGlobal,
         {{{0, 0, 2, 2}, "1000", 0}, {{1, 0, 1, 1}, "2", 1}, {{0, 1, 1, 1}, "3"}},
         {"WK/KK", "WR/KK", "WR/BK"}},
        {"background_clears_its_rectangle_to_transparent",
         2,
         2,
         &kGlobal,
         {{{0, 0, 2, 2}, "1111", 1}, {{0, 0, 1, 2}, "22", 2}, {{1, 1, 1, 1}, "3", 1}},
         {"WW/WW", "RW/RW", ".W/.B"}},
        {"previous_restores",
         2,
         2,
         &kGlobal,
         {{{0, 0, 2, 2}, "0000"}, {{0, 0, 1, 1}, "1", 3}, {{1, 0, 1, 1}, "1", 3}, {{1, 1, 1, 1}, "1", 1}},
         {"KK/KK", "WK/KK", "KW/KK", "KK/KW"}},
        {"previous_on_first_frame_restores_transparency",
         2,
         2,
         &kGlobal,
         {{{0, 0, 2, 1}, "12", 3}, {{1, 1, 1, 1}, "3"}},
         {"WR/..", "../.B"}},
        {"four_is_previous_and_undefined_keep",
         3,
         1,
         &kGlobal,
         {{{0, 0, 3, 1}, "000"}, {{0, 0, 1, 1}, "1", 4}, {{1, 0, 1, 1}, "2", 5}, {{2, 0, 1, 1}, "3", 7}},
         {"KKK", "WKK", "KRK", "KRB"}},
        {"transparent_index_shows_what_is_below_for_one_frame",
         2,
         2,
         &kGlobal,
         {{{0, 0, 2, 2}, "1111", 1}, {{0, 0, 2, 2}, "2320", 1, 2}, {{0, 0, 2, 2}, "2222", 1, 3}},
         {"WW/WW", "WB/WK", "RR/RR"}},
        {"transparent_index_outside_the_table", 2, 1, &kGlobal, {{{0, 0, 2, 1}, "12", 0, 200}}, {"WR"}},
        {"local_table_for_its_frame_only",
         2,
         1,
         &kGlobal,
         {{{0, 0, 2, 1, &kLocal}, "01"}, {{1, 0, 1, 1}, "1"}},
         {"GY", "GW"}},
        {"no_table_draws_black", 2, 1, nullptr, {{{0, 0, 2, 1}, "03"}}, {"KK"}},
        {"index_beyond_the_table_draws_nothing",
         2,
         2,
         &kLocal,
         {{{0, 0, 2, 2}, "1111"}, {{0, 0, 2, 2}, "0320"}},
         {"YY/YY", "GY/YG"}},
        {"clipped_to_the_screen",
         2,
         2,
         &kGlobal,
         {{{1, 1, 2, 2}, "2222"}, {{2, 0, 1, 1}, "1"}, {{1, 0, 3, 1}, "123"}},
         {"../.R", "../.R", ".W/.R"}},
        {"too_few_pixels_and_too_many",
         2,
         2,
         &kGlobal,
         {{{0, 0, 2, 2}, "1"}, {{0, 0, 1, 1}, "2222222"}},
         {"W./..", "R./.."}},
        {"zero_sized_screen_takes_the_first_frame",
         0,
         0,
         &kGlobal,
         {{{1, 0, 2, 2}, "1111"}, {{0, 0, 1, 1}, "2"}},
         {".WW/.WW", "RWW/.WW"}},
        // Frames that paint the whole screen, one of them cut short: what
        // it leaves shows the frame before.
        {"whole_screen_frames_and_one_cut_short",
         2,
         2,
         &kGlobal,
         {{{0, 0, 2, 2}, "1111"}, {{0, 0, 2, 2}, "2"}, {{0, 0, 2, 2}, "3333", 2}, {{1, 1, 1, 1}, "0"}},
         {"WW/WW", "RW/WW", "BB/BB", "../.K"}},
        {"whole_screen_frame_that_restores_the_one_before",
         2,
         2,
         &kGlobal,
         {{{0, 0, 2, 2}, "1111"}, {{0, 0, 2, 2}, "2222", 3}, {{0, 0, 1, 1}, "3"}},
         {"WW/WW", "RR/RR", "BW/WW"}},
    };
    for (const Composite& c : cases) {
        TempDir dir;
        WriteBytes(dir.file("a.gif"), Build(c.width, c.height, c.global, c.steps));
        EXPECT_EQ(DecodeAll(dir.file("a.gif")), c.expected) << c.name;
        // Skipping ahead to any frame shows it, and the ones after it, the
        // same (frames before one that paints the whole screen go undecoded).
        for (std::size_t first = 1; first < c.expected.size(); ++first) {
            GifReader reader;
            Error error;
            ASSERT_TRUE(reader.open(dir.file("a.gif"), &error)) << error.message();
            ASSERT_TRUE(reader.skipTo(static_cast<int>(first) + 1, &error)) << error.message();
            RgbaImage frame;
            for (std::size_t k = first; k < c.expected.size(); ++k) {
                ASSERT_TRUE(reader.readNext(frame, &error)) << c.name << " " << first << " " << k;
                EXPECT_EQ(Letters(frame), c.expected[k]) << c.name << ", skipped to " << first + 1;
            }
        }
    }
}

TEST(GifReader, InterlacedRowsGoWhereTheyBelong)
{
    for (int height = 1; height <= 17; ++height) {
        std::string rows, stored; // row y holds colour y % 4
        for (int y = 0; y < height; ++y)
            rows += std::string(1, "KWRB"[y % 4]) + (y + 1 < height ? "/" : "");
        const int passes[][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}}; // first row, step
        for (const auto& [first, step] : passes)
            for (int y = first; y < height; y += step)
                stored += std::string(1, "0123"[y % 4]);
        TempDir dir;
        WriteBytes(dir.file("a.gif"),
                   Build(1, height, &kGlobal, {{{0, 0, 1, height, nullptr, true}, stored}}));
        EXPECT_EQ(DecodeAll(dir.file("a.gif")), std::vector<std::string>{rows}) << "height " << height;
    }
}

// Image data of long strings (a flat frame: each code a string one longer
// than the last, thousands of pixels a code), of short ones (stripes) and of
// too few pixels for the frame: reading the codes alone finds what decoding
// finds.
TEST(GifReader, CodesAloneFindTheDamageDecodingFinds)
{
    TempDir dir;
    const struct {
        const char* name;
        int rowsGiven;
        int period; // of the stripes; 0: flat
        const char* damage;
    } rows[] = {
        {"flat", 300, 0, ""},
        {"stripes", 300, 7, ""},
        {"flat, rows missing", 200, 0, "the image data of frame 2 ends early"},
        {"stripes, rows missing", 299, 3, "the image data of frame 2 ends early"},
    };
    for (const auto& row : rows) {
        Bytes file;
        PutHeader(file);
        PutScreen(file, 300, 300, &kGlobal);
        for (int frame = 0; frame < 2; ++frame) {
            const int given = frame == 0 ? 300 : row.rowsGiven;
            std::vector<std::uint8_t> indexes(300u * static_cast<std::size_t>(given));
            for (std::size_t i = 0; i < indexes.size(); ++i)
                indexes[i] =
                    static_cast<std::uint8_t>(row.period ? i % static_cast<std::size_t>(row.period) % 4 : 1);
            PutControl(file, 1, 10);
            PutDescriptor(file, {0, 0, 300, 300});
            PutImageData(file, 2, imaging::LzwEncode(2, indexes.data(), nullptr, indexes.size()));
        }
        PutTrailer(file);
        const std::string path = dir.file("a.gif");
        WriteBytes(path, file);
        GifReader decoded, checked;
        Error error;
        ASSERT_TRUE(decoded.open(path, &error) && checked.open(path, &error)) << error.message();
        for (RgbaImage frame; decoded.readNext(frame, &error);) {
        }
        ASSERT_TRUE(checked.checkData(&error)) << error.message();
        EXPECT_EQ(decoded.damage().what, row.damage) << row.name;
        EXPECT_EQ(checked.damage().what, row.damage) << row.name;
    }
}

class BrokenGif : public ::testing::TestWithParam<GifCase> {};

// The fuzzers' checks (a clean refusal naming the file, or every frame at
// the screen's size, in order and by number) and the expected answer, in a
// child whose address space is capped far below what the claimed sizes
// would need: claims must never become allocations.
TEST_P(BrokenGif, AnswersCleanlyInLittleMemory)
{
    const GifCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.file(c.name + ".gif");
    WriteBytes(path, c.bytes);
    Limits limits;
    limits.addressSpaceBytes = BuiltWithAddressSanitizer() ? -1 : 512ll << 20;
    const ChildResult child = RunInChild(
        [&] {
            GifReader reader;
            Error error;
            const bool opens = reader.open(path, &error);
            const std::string problem = fuzz::CheckGifFile(path, c.bytes.data(), c.bytes.size());
            for (RgbaImage frame; opens && reader.readNext(frame, &error);) {
            }
            // Reading the codes alone finds the same damage as decoding.
            GifReader checked;
            Error checkError;
            const bool checks = opens && checked.open(path, &checkError) && checked.checkData(&checkError);
            std::printf("%s; %s; %s; checked: %s\n", problem.c_str(), error.message().c_str(),
                        reader.damage().what.c_str(), checked.damage().what.c_str());
            return !problem.empty() || checks != (opens && !error)
                   || checked.damage().what != reader.damage().what
                   || (c.expect != Expect::Either && opens != (c.expect == Expect::Opens))
                   || (opens && reader.info().frameCount < c.minFrames)
                   || (opens && reader.damage().afterFrame != c.damagedAfter)
                   || (c.expect == Expect::TooLarge && error.kind != ErrorKind::TooLarge);
        },
        limits);
    EXPECT_TRUE(child.clean() && child.exitCode == 0) << child.describe();
}

INSTANTIATE_TEST_SUITE_P(Cases, BrokenGif, ::testing::ValuesIn(BrokenGifs()),
                         [](const auto& info) { return info.param.name; });

// Each limit at its edge: the largest allowed file opens, one step beyond is
// refused as too large. Work: frames of up to full HD are allowed whatever
// the file's bytes (2,000 frames of 1 x 1 on a 1920 x 1080 screen: a still
// screen recorded for a minute); on a screen of 4 megapixels, a file of a
// few kilobytes of 1 x 1 frames may show 60 frames, not 80. Memory: a file of 50 bytes may
// ask for a screen of 16.7 megapixels (5000 x 3355), not 16.8 (5000 x 3360).
TEST(GifReader, LimitsHoldAtTheirEdges)
{
    using Row = std::tuple<int, int, int, bool>; // width, height, frames, opens
    for (const auto& [width, height, frames, opens] : std::vector<Row>{{imaging::kMaxSide, 1, 2, true},
                                                                       {5000, 3355, 1, true},
                                                                       {5000, 3360, 1, false},
                                                                       {2, 2, imaging::kMaxFrames, true},
                                                                       {2, 2, imaging::kMaxFrames + 1, false},
                                                                       {1920, 1080, 2000, true},
                                                                       {4000, 1000, 60, true},
                                                                       {4000, 1000, 80, false}}) {
        Bytes b, frame;
        PutHeader(b);
        PutScreen(b, width, height, &kGlobal);
        PutControl(frame, 1, 2);
        PutFrame(frame, {0, 0, 1, 1}, {1});
        for (int f = 0; f < frames; ++f)
            b.insert(b.end(), frame.begin(), frame.end());
        PutTrailer(b);
        TempDir dir;
        WriteBytes(dir.file("a.gif"), b);
        GifReader reader;
        Error error;
        EXPECT_EQ(reader.open(dir.file("a.gif"), &error), opens)
            << width << " x " << height << ", " << frames;
        EXPECT_EQ(error.kind, opens ? ErrorKind::None : ErrorKind::TooLarge) << error.message();
    }
}

// The cancel check stops open between frames and decoding between rows.
TEST(GifReader, CancelCheckStopsOpenAndDecode)
{
    TempDir dir;
    WriteBytes(dir.file("a.gif"), Build(2, 3, &kGlobal, {{{0, 0, 2, 3}, "123123"}}));
    int asked = 0, stopAt = 1;
    GifReader reader;
    reader.setCancelCheck([&] { return ++asked == stopAt; });
    Error error;
    EXPECT_FALSE(reader.open(dir.file("a.gif"), &error));
    EXPECT_EQ(error.kind, ErrorKind::Cancelled);
    stopAt = 0;
    ASSERT_TRUE(reader.open(dir.file("a.gif"), &error)) << error.message();
    stopAt = asked + 2; // the check after the second of three rows
    RgbaImage frame;
    EXPECT_EQ(reader.readNext(frame, &error).status, imaging::ReadStatus::Failed);
    EXPECT_EQ(error.kind, ErrorKind::Cancelled);
}

// Cut short anywhere: the frames read before the damage are the whole
// file's, pixel for pixel, read in order or picked by number (decoding
// again from a clear canvas), and a longer
// piece of the file never shows fewer of them.
TEST(GifReader, CutShortFilesKeepTheirWholeFramesExactly)
{
    const Bytes whole = Build(
        3, 2, &kGlobal,
        {{{0, 0, 2, 1}, "12", 1}, {{1, 0, 2, 2}, "3300", 2}, {{0, 1, 1, 1}, "2", 3}, {{2, 0, 1, 2}, "11"}});
    TempDir dir;
    WriteBytes(dir.file("whole.gif"), whole);
    const std::vector<RgbaImage> expected = ReadAnimation(dir.file("whole.gif"));
    ASSERT_EQ(expected.size(), 4u);
    int before = 0;
    for (std::size_t size = 14; size < whole.size(); ++size) {
        SCOPED_TRACE(testing::Message() << size << " of " << whole.size() << " bytes");
        WriteBytes(dir.file("cut.gif"),
                   Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size)));
        GifReader reader;
        Error error;
        if (!reader.open(dir.file("cut.gif"), &error)) {
            ASSERT_EQ(before, 0) << error.message();
            continue;
        }
        const int kept = reader.damage().afterFrame;
        ASSERT_GE(kept, std::max(before, 1));
        std::vector<RgbaImage> frames;
        for (RgbaImage frame; reader.readNext(frame, &error);)
            frames.push_back(frame);
        ASSERT_EQ(frames.size(), static_cast<std::size_t>(kept)) << error.message();
        for (int f = 0; f < kept; ++f)
            EXPECT_EQ(frames[f].pixels, expected[f].pixels) << "frame " << f + 1;
        for (const int n : {1, kept}) {
            RgbaImage picked;
            ASSERT_TRUE(reader.readFrame(n, picked, &error)) << error.message();
            EXPECT_EQ(picked.pixels, expected[n - 1].pixels) << "frame " << n << " picked";
        }
        before = kept;
    }
    EXPECT_EQ(before, 4);
}

} // namespace
} // namespace qf::test
